#pragma once

#include <QFontMetricsF>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QWidget>
#include <algorithm>
#include <cmath>

// The window layouts are given in twips and were drawn at 12 twips per pixel; Qt's
// high-DPI scaling takes the logical pixels from there.
inline constexpr double kTwipsPerPixel = 12;

// The font the layouts fit as drawn, in logical pixels: DejaVu Sans 9 pt at 96 dpi, the
// default without a desktop theme. Rounded up a little, so that font itself gives scale 1.
inline constexpr double kDesignLetterWidth = 7.41;  // average advance of A-Z and a-z
inline constexpr double kDesignLineHeight = 14;

// Pixels for twips in one window. A font larger than the design font grows the whole
// layout (positions, sizes and client area alike) by the larger of its ratios of letter
// width and line height, the way dialog units follow a dialog's font, so no caption is
// cut. A smaller font keeps the layout as drawn.
class TwipsScale {
  public:
    explicit TwipsScale(const QWidget* window) {
        window->ensurePolished();  // a style sheet's font applies only from then on
        // Logical pixels: QT_SCALE_FACTOR and the device pixel ratio leave them alone.
        const QFontMetricsF metrics(window->font(), window);
        const QString letters =
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        const double letterWidth = metrics.horizontalAdvance(letters) / double(letters.size());
        scale_ =
            std::max({1.0, letterWidth / kDesignLetterWidth, metrics.height() / kDesignLineHeight});
    }

    double scale() const { return scale_; }

    // At the design scale, for what does not follow the font, such as a place on the screen.
    static int AsDrawn(int twips) { return static_cast<int>(std::lround(twips / kTwipsPerPixel)); }

    int operator()(int twips) const {
        return static_cast<int>(std::lround(twips * scale_ / kTwipsPerPixel));
    }

    QRect operator()(int left, int top, int width, int height) const {
        return {(*this)(left), (*this)(top), (*this)(width), (*this)(height)};
    }

    // Unrounded, for drawing.
    QPointF point(int x, int y) const {
        return {x * scale_ / kTwipsPerPixel, y * scale_ / kTwipsPerPixel};
    }

  private:
    double scale_ = 1;
};
