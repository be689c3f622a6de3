#include "ui/ReadableStyle.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QStyleFactory>
#include <QStyleOption>
#include <cmath>

namespace {

// At least 3:1 against the window is what an outline needs to be seen (WCAG's non-text
// contrast).
constexpr double kLeastContrast = 3.0;

double Luminance(const QColor& colour) {
    const auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}

bool IsDark(const QPalette& palette) {
    return Luminance(palette.color(QPalette::Window)) < 0.18;
}

// The colour for outlines on a dark window: the text's, which is made to be read there.
QColor Outline(const QPalette& palette) {
    const QColor window = palette.color(QPalette::Window);
    QColor outline = palette.color(QPalette::WindowText);
    // A text colour too dim for that is lightened until it reads.
    for (int step = 0; step < 8 && ContrastRatio(outline, window) < kLeastContrast; ++step) {
        outline = outline.lighter(130);
    }
    return outline;
}

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QPixmap NightTinted(const QPixmap& pixmap) {
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grey = qGray(line[x]);
            line[x] = qRgba(grey, grey / 10, grey / 10, qAlpha(line[x]));
        }
    }
    QPixmap tinted = QPixmap::fromImage(image);
    tinted.setDevicePixelRatio(pixmap.devicePixelRatio());
    return tinted;
}

ReadableStyle::ReadableStyle()
    : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

ReadableStyle* ReadableStyle::Installed() {
    if (auto* style = qobject_cast<ReadableStyle*>(QApplication::style())) return style;
    auto* style = new ReadableStyle;
    QApplication::setStyle(style);
    return style;
}

void ReadableStyle::setNightMode(bool on) {
    nightMode_ = on;
}

void ReadableStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                  QPainter* painter, const QWidget* widget) const {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    if (!option || !IsDark(option->palette)) return;
    QRectF outline;
    bool round = false;
    switch (element) {
        case PE_IndicatorCheckBox:
        case PE_FrameLineEdit:
        case PE_PanelButtonCommand:
            outline = QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5);
            break;
        case PE_IndicatorRadioButton:
            outline = QRectF(option->rect).adjusted(1, 1, -1, -1);
            round = true;
            break;
        default:
            return;
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, round);
    QColor colour = Outline(option->palette);
    if (!(option->state & State_Enabled)) colour = colour.darker(150);
    // A circle drawn smooth spreads a thin line over two pixels: a little wider, it reads.
    painter->setPen(QPen(colour, round ? 1.5 : 1));
    painter->setBrush(Qt::NoBrush);
    if (round) {
        painter->drawEllipse(outline);
    } else {
        painter->drawRect(outline);
    }
    painter->restore();
}

void ReadableStyle::drawItemPixmap(QPainter* painter, const QRect& rect, int alignment,
                                   const QPixmap& pixmap) const {
    QProxyStyle::drawItemPixmap(painter, rect, alignment,
                                nightMode_ ? NightTinted(pixmap) : pixmap);
}

QIcon ReadableStyle::standardIcon(StandardPixmap icon, const QStyleOption* option,
                                  const QWidget* widget) const {
    const QIcon plain = QProxyStyle::standardIcon(icon, option, widget);
    if (!nightMode_ || plain.isNull()) return plain;
    QIcon tinted;
    for (int size : {16, 22, 32, 48, 64}) {
        tinted.addPixmap(NightTinted(plain.pixmap(size)));
    }
    return tinted;
}
