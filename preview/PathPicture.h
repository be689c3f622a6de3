#pragma once

#include <QByteArray>
#include <QFont>
#include <QPalette>
#include <QPolygonF>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTransform>
#include <optional>
#include <string>
#include <variant>

#include "preview/PathGeometry.h"

class QPainter;

namespace Pelindra::Preview {

// The colours and the font of a picture: the window's own, or fixed ones for a file.
// Roles used: Base (background), Text (texts, ticks, marks, arrows), Highlight (the
// path), PlaceholderText (the sensor's frame and the axes).
struct PictureStyle {
    QPalette palette;
    QFont font;
    std::string decimalSeparator = ".";
};

// The picture of a path: the totals and the sensor note on top, the path in the middle
// at one scale on both axes (+X to the right, +Y down, as a guide camera's image is
// shown), and along the bottom the axes, sky north and east, and a scale bar.
class PathPicture {
  public:
    explicit PathPicture(PathGeometry path);

    const PathGeometry& path() const { return path_; }

    // Draws the whole picture over `area` of the painter's device.
    void paint(QPainter& painter, const QRect& area, const PictureStyle& style) const;

    // Sensor pixels to device pixels, as the last paint placed them.
    const QTransform& sensorToDevice() const { return transform_; }

  private:
    // The path as device points, closer ones than a pixel left out; kept while the
    // placement stays the same, so a repaint only draws.
    const QPolygonF& DeviceLine(const QTransform& transform) const;

    PathGeometry path_;
    mutable QTransform transform_;
    mutable std::optional<QTransform> lineTransform_;
    mutable QPolygonF line_;
};

// What stands in for the picture while there is no path: the reason, centred.
void PaintMessage(QPainter& painter, const QRect& area, const PictureStyle& style,
                  const QString& text);

enum class PictureFormat { Png, Svg };

// By the file name's suffix, either case: ".png" or ".svg"; nullopt for anything else.
[[nodiscard]] std::optional<PictureFormat> PictureFormatFor(const QString& fileName);

// The picture as the bytes of a PNG image or an SVG drawing of `size` pixels (96 dpi), or
// why it could not be made.
[[nodiscard]] std::variant<QByteArray, std::string> PictureBytes(const PathPicture& picture,
                                                                 PictureFormat format, QSize size,
                                                                 const PictureStyle& style);

// Dim red on black, for eyes adapted to the dark: every role a palette has.
QPalette NightPalette();
// Black on white with a blue path, for files that end up in documents.
QPalette PaperPalette();

}  // namespace Pelindra::Preview
