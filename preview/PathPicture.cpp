#include "preview/PathPicture.h"

#include <QBuffer>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QLineF>
#include <QPainter>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>
#include <vector>

namespace Pelindra::Preview {

namespace {

// 96 dots per inch, in the dots per metre QImage counts in.
constexpr int kDotsPerMetre = 3780;
constexpr int kDotsPerInch = 96;

QString Text(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QPointF Unit(QPointF v) {
    const double length = std::hypot(v.x(), v.y());
    return length > 0 ? v / length : QPointF();
}

QPointF Along(const SensorPoint& direction) {
    return {direction.x, direction.y};
}

// Where every part of the picture goes for one area and font.
struct Layout {
    double lineHeight = 0;
    QString header;
    QRectF headerRect;
    QRectF plot;
    QRectF legend;
    QTransform transform;
};

Layout LayOut(const PathGeometry& path, const QFontMetricsF& metrics, const QRect& area,
              const PictureStyle& style) {
    Layout layout;
    const double lh = metrics.height();
    layout.lineHeight = lh;
    const QRectF inner = QRectF(area).adjusted(lh * 0.75, lh * 0.5, -lh * 0.75, -lh * 0.5);

    layout.header = Text(TotalsText(path, style.decimalSeparator));
    const std::string frame = FrameText(path, style.decimalSeparator);
    if (!frame.empty()) layout.header += '\n' + Text(frame);
    const QRectF headerBounds =
        metrics.boundingRect(QRectF(inner.left(), inner.top(), inner.width(), 1e6),
                             Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, layout.header);
    layout.headerRect = QRectF(inner.left(), inner.top(), inner.width(), headerBounds.height());

    const double legendHeight = lh * 5;
    layout.legend =
        QRectF(inner.left(), inner.bottom() - legendHeight, inner.width(), legendHeight);
    const double plotTop = layout.headerRect.bottom() + lh * 0.5;
    layout.plot = QRectF(inner.left(), plotTop, inner.width(),
                         std::max(lh, layout.legend.top() - lh * 0.25 - plotTop));

    // Room around the path for the labels beside its ends and ticks.
    QRectF room = layout.plot.adjusted(lh * 3, lh * 1.5, -lh * 3, -lh * 1.5);
    if (room.width() < lh || room.height() < lh) room = layout.plot;
    const double width = path.boundsMax.x - path.boundsMin.x;
    const double height = path.boundsMax.y - path.boundsMin.y;
    const double scale = std::min(room.width() / width, room.height() / height);
    const double middleX = (path.boundsMin.x + path.boundsMax.x) / 2;
    const double middleY = (path.boundsMin.y + path.boundsMax.y) / 2;
    // One scale for both axes, so the path keeps its true shape; +Y runs down the screen.
    layout.transform = QTransform(scale, 0, 0, scale, room.center().x() - scale * middleX,
                                  room.center().y() - scale * middleY);
    return layout;
}

// A rectangle of `size` beside `point` in direction `away`, kept within `bounds`.
QRectF Beside(QPointF point, QPointF away, double gap, QSizeF size, const QRectF& bounds) {
    const QPointF centre =
        point + away * gap + QPointF(away.x() * size.width() / 2, away.y() * size.height() / 2);
    QRectF rect(centre - QPointF(size.width() / 2, size.height() / 2), size);
    if (rect.right() > bounds.right()) rect.moveRight(bounds.right());
    if (rect.left() < bounds.left()) rect.moveLeft(bounds.left());
    if (rect.bottom() > bounds.bottom()) rect.moveBottom(bounds.bottom());
    if (rect.top() < bounds.top()) rect.moveTop(bounds.top());
    return rect;
}

QSizeF TextSize(const QFontMetricsF& metrics, const QString& text) {
    return {metrics.horizontalAdvance(text), metrics.height()};
}

void Arrow(QPainter& painter, QPointF from, QPointF to, double head) {
    painter.drawLine(from, to);
    const QPointF back = Unit(from - to) * head;
    const QPointF side(-back.y() * 0.5, back.x() * 0.5);
    painter.drawPolygon(QPolygonF({to, to + back + side, to + back - side}));
}

void PaintLegend(QPainter& painter, const PathGeometry& path, const Layout& layout,
                 const QFontMetricsF& metrics, const PictureStyle& style) {
    const double lh = layout.lineHeight;
    const QRectF& band = layout.legend;
    const QColor ink = style.palette.color(QPalette::Text);
    painter.setPen(QPen(ink, std::max(1.0, lh / 10)));
    painter.setBrush(ink);
    const double length = lh * 2.2;
    const double head = lh * 0.4;
    const double gap = lh * 0.2;

    // The sensor's axes, from the top left corner of the band.
    const QPointF origin(band.left() + lh * 0.3, band.top() + lh * 0.6);
    const QPointF xTip = origin + QPointF(length, 0);
    const QPointF yTip = origin + QPointF(0, length);
    Arrow(painter, origin, xTip, head);
    Arrow(painter, origin, yTip, head);
    const QString xText = "+X";
    const QString yText = "+Y";
    painter.drawText(Beside(xTip, {1, 0}, gap, TextSize(metrics, xText), band), Qt::AlignCenter,
                     xText);
    painter.drawText(Beside(yTip, {1, 0}, gap, TextSize(metrics, yText), band), Qt::AlignCenter,
                     yText);

    // Sky north and east as the sensor sees them.
    if (path.sky) {
        const QPointF centre = band.center();
        for (const auto& [direction, name] :
             {std::pair{path.sky->north, QString("N")}, std::pair{path.sky->east, QString("E")}}) {
            const QPointF tip = centre + Along(direction) * (band.height() / 2 - lh * 1.3);
            Arrow(painter, centre, tip, head);
            painter.drawText(Beside(tip, Along(direction), gap, TextSize(metrics, name), band),
                             Qt::AlignCenter, name);
        }
    }

    // The scale bar at the right, its length in sensor pixels and on the sky.
    const double barLength = path.scaleBarPixels * layout.transform.m11();
    const double right = band.right() - lh * 0.3;
    const double y = band.top() + lh * 1.2;
    const QString barText = Text(ScaleBarText(path, style.decimalSeparator));
    painter.drawLine(QPointF(right - barLength, y), QPointF(right, y));
    for (double x : {right - barLength, right}) {
        painter.drawLine(QPointF(x, y - lh * 0.3), QPointF(x, y + lh * 0.3));
    }
    const QSizeF barTextSize = TextSize(metrics, barText);
    painter.drawText(
        Beside(QPointF(right - barLength / 2, y + lh * 0.3), {0, 1}, gap, barTextSize, band),
        Qt::AlignCenter, barText);
}

}  // namespace

PathPicture::PathPicture(PathGeometry path) : path_(std::move(path)) {}

const QPolygonF& PathPicture::DeviceLine(const QTransform& transform) const {
    if (lineTransform_ && *lineTransform_ == transform) return line_;
    line_.clear();
    const std::size_t count = path_.points.size();
    QPointF kept = transform.map(QPointF(path_.points.front().x, path_.points.front().y));
    line_ << kept;
    for (std::size_t i = 1; i < count; ++i) {
        const QPointF point = transform.map(QPointF(path_.points[i].x, path_.points[i].y));
        const QPointF d = point - kept;
        if (d.x() * d.x() + d.y() * d.y() >= 1 || i + 1 == count) {
            line_ << point;
            kept = point;
        }
    }
    lineTransform_ = transform;
    return line_;
}

void PathPicture::paint(QPainter& painter, const QRect& area, const PictureStyle& style) const {
    painter.save();
    painter.setFont(style.font);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(area, style.palette.color(QPalette::Base));
    const QFontMetricsF metrics(style.font, painter.device());
    const Layout layout = LayOut(path_, metrics, area, style);
    transform_ = layout.transform;
    const double lh = layout.lineHeight;
    const QColor ink = style.palette.color(QPalette::Text);
    const QColor faint = style.palette.color(QPalette::PlaceholderText);
    auto device = [&](const SensorPoint& p) { return layout.transform.map(QPointF(p.x, p.y)); };

    painter.setPen(ink);
    painter.drawText(layout.headerRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     layout.header);

    if (path_.frame) {
        const double halfWidth = path_.frame->widthPixels / 2.0;
        const double halfHeight = path_.frame->heightPixels / 2.0;
        painter.setPen(QPen(faint, std::max(1.0, lh / 12), Qt::DashLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(
            QRectF(device({-halfWidth, -halfHeight}), device({halfWidth, halfHeight})));
    }

    painter.setPen(QPen(style.palette.color(QPalette::Highlight), std::max(2.0, lh / 6),
                        Qt::SolidLine, Qt::RoundCap, Qt::BevelJoin));
    painter.drawPolyline(DeviceLine(layout.transform));

    // Ticks across the path; those closer than a few pixels to the last one would only
    // thicken the line.
    const double tickHalf = lh * 0.3;
    std::vector<QLineF> tickLines;
    std::vector<std::pair<QPointF, const Tick*>> labelled;
    std::optional<QPointF> lastTick;
    for (const Tick& tick : path_.ticks) {
        const QPointF at = device(tick.at);
        if (lastTick && QLineF(*lastTick, at).length() < 3) continue;
        lastTick = at;
        const QPointF along = Along(tick.along);
        const QPointF across = along.isNull() ? QPointF(0, -1) : QPointF(along.y(), -along.x());
        tickLines.emplace_back(at - across * tickHalf, at + across * tickHalf);
        if (!tick.label.empty()) labelled.emplace_back(at, &tick);
    }
    painter.setPen(QPen(ink, std::max(1.0, lh / 12)));
    painter.drawLines(tickLines.data(), static_cast<int>(tickLines.size()));

    // The ends first; an hour label that would cover a text already placed is left out.
    const double markRadius = lh * 0.35;
    const double gap = lh * 0.25;
    std::vector<QRectF> placed;
    const QPointF start = device(path_.start());
    const QPointF end = device(path_.end());
    const std::size_t lines = path_.points.size() - 1;
    QPointF firstAlong = lines > 0 ? Unit(device(path_.points[1]) - start) : QPointF();
    QPointF lastAlong = lines > 0 ? Unit(end - device(path_.points[lines - 1])) : QPointF();
    if (firstAlong.isNull()) firstAlong = QPointF(0, 1);
    if (lastAlong.isNull()) lastAlong = QPointF(0, 1);
    const QString startText = Text(StartText(path_));
    const QString endText = Text(EndText(path_, style.decimalSeparator));
    placed.push_back(
        Beside(start, -firstAlong, markRadius + gap, TextSize(metrics, startText), layout.plot));
    placed.push_back(
        Beside(end, lastAlong, markRadius + gap, TextSize(metrics, endText), layout.plot));
    painter.setPen(ink);
    painter.drawText(placed[0], Qt::AlignCenter, startText);
    painter.drawText(placed[1], Qt::AlignCenter, endText);
    // An hour label goes on the left of the path, or on its right where the left is taken.
    for (const auto& [at, tick] : labelled) {
        const QString text = Text(tick->label);
        const QPointF along = Along(tick->along);
        const QPointF away = along.isNull() ? QPointF(0, -1) : QPointF(along.y(), -along.x());
        for (const QPointF side : {away, -away}) {
            const QRectF rect =
                Beside(at + side * tickHalf, side, gap, TextSize(metrics, text), layout.plot);
            if (std::none_of(placed.begin(), placed.end(),
                             [&](const QRectF& other) { return other.intersects(rect); })) {
                placed.push_back(rect);
                painter.drawText(rect, Qt::AlignCenter, text);
                break;
            }
        }
    }

    if (path_.frame && path_.frame->exitMinutes) {
        const QPointF exit = device(path_.frame->exitAt);
        const double size = lh * 0.3;
        painter.setPen(QPen(ink, std::max(1.5, lh / 8)));
        painter.drawLine(exit + QPointF(-size, -size), exit + QPointF(size, size));
        painter.drawLine(exit + QPointF(-size, size), exit + QPointF(size, -size));
    }

    // The start an open ring, the end a filled disc.
    painter.setPen(QPen(ink, std::max(1.5, lh / 8)));
    painter.setBrush(style.palette.color(QPalette::Base));
    painter.drawEllipse(start, markRadius, markRadius);
    painter.setBrush(ink);
    painter.drawEllipse(end, markRadius, markRadius);

    PaintLegend(painter, path_, layout, metrics, style);
    painter.restore();
}

void PaintMessage(QPainter& painter, const QRect& area, const PictureStyle& style,
                  const QString& text) {
    painter.save();
    painter.fillRect(area, style.palette.color(QPalette::Base));
    painter.setFont(style.font);
    painter.setPen(style.palette.color(QPalette::Text));
    const double margin = QFontMetricsF(style.font, painter.device()).height();
    painter.drawText(QRectF(area).adjusted(margin, margin, -margin, -margin),
                     Qt::AlignCenter | Qt::TextWordWrap, text);
    painter.restore();
}

std::optional<PictureFormat> PictureFormatFor(const QString& fileName) {
    const QString suffix = QFileInfo(fileName).suffix();
    if (suffix.compare("png", Qt::CaseInsensitive) == 0) return PictureFormat::Png;
    if (suffix.compare("svg", Qt::CaseInsensitive) == 0) return PictureFormat::Svg;
    return std::nullopt;
}

std::variant<QByteArray, std::string> PictureBytes(const PathPicture& picture, PictureFormat format,
                                                   QSize size, const PictureStyle& style) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly)) return std::string("cannot hold the picture in memory");
    const QRect area(QPoint(0, 0), size);
    if (format == PictureFormat::Png) {
        QImage image(size, QImage::Format_RGB32);
        if (image.isNull()) return std::string("cannot make an image of this size");
        image.setDotsPerMeterX(kDotsPerMetre);
        image.setDotsPerMeterY(kDotsPerMetre);
        QPainter painter(&image);
        picture.paint(painter, area, style);
        painter.end();
        if (!image.save(&buffer, "PNG")) return std::string("cannot encode the picture as PNG");
        return bytes;
    }
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(size);
    svg.setViewBox(area);
    svg.setResolution(kDotsPerInch);
    svg.setTitle("Path of the guide point");
    svg.setDescription("Drawn by Pelindra");
    QPainter painter;
    if (!painter.begin(&svg)) return std::string("cannot start an SVG drawing");
    picture.paint(painter, area, style);
    if (!painter.end()) return std::string("cannot finish the SVG drawing");
    return bytes;
}

QPalette NightPalette() {
    const QColor black(0x0a, 0x00, 0x00);
    const QColor red(0xd0, 0x2a, 0x2a);
    const QColor dimRed(0x70, 0x1c, 0x1c);
    QPalette palette(red, QColor(0x24, 0x04, 0x04), QColor(0x4a, 0x0c, 0x0c),
                     QColor(0x08, 0x00, 0x00), QColor(0x30, 0x06, 0x06), red,
                     QColor(0xff, 0x50, 0x50), black, QColor(0x16, 0x02, 0x02));
    palette.setColor(QPalette::AlternateBase, QColor(0x1a, 0x02, 0x02));
    palette.setColor(QPalette::ButtonText, red);
    palette.setColor(QPalette::Highlight, QColor(0x96, 0x14, 0x14));
    palette.setColor(QPalette::HighlightedText, QColor(0xff, 0x8a, 0x8a));
    palette.setColor(QPalette::Link, QColor(0xff, 0x40, 0x40));
    palette.setColor(QPalette::LinkVisited, QColor(0xb0, 0x30, 0x30));
    palette.setColor(QPalette::ToolTipBase, QColor(0x24, 0x04, 0x04));
    palette.setColor(QPalette::ToolTipText, red);
    palette.setColor(QPalette::PlaceholderText, QColor(0x8c, 0x24, 0x24));
    palette.setColor(QPalette::Shadow, Qt::black);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
                                     QPalette::HighlightedText, QPalette::PlaceholderText}) {
        palette.setColor(QPalette::Disabled, role, dimRed);
    }
    palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x40, 0x0a, 0x0a));
    return palette;
}

QPalette PaperPalette() {
    QPalette palette(Qt::black, QColor(0xef, 0xef, 0xef), Qt::white, QColor(0xa0, 0xa0, 0xa0),
                     QColor(0xc0, 0xc0, 0xc0), Qt::black, Qt::white, Qt::white, Qt::white);
    palette.setColor(QPalette::Highlight, QColor(0x1f, 0x6f, 0xd0));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::PlaceholderText, QColor(0x70, 0x70, 0x70));
    return palette;
}

}  // namespace Pelindra::Preview
