#pragma once

#include <QColor>
#include <QProxyStyle>

class QPixmap;

// The platform's own style with what a dark screen needs on top of it. Styles such as
// Fusion draw the outlines of check boxes, radio buttons, text boxes and buttons a shade
// darker than the window, which vanishes on a dark or Night Mode palette; here they get an
// outline in the text colour there. In Night Mode pictures and icons are turned red, so no
// white or blue light reaches eyes adapted to the dark. On a light palette nothing changes.
class ReadableStyle : public QProxyStyle {
    Q_OBJECT

  public:
    // Wraps a new instance of the application's current style.
    ReadableStyle();

    // The application's style, made this one when it is not yet.
    static ReadableStyle* Installed();

    void setNightMode(bool on);
    bool nightMode() const { return nightMode_; }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawItemPixmap(QPainter* painter, const QRect& rect, int alignment,
                        const QPixmap& pixmap) const override;
    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;

  private:
    bool nightMode_ = false;
};

// The contrast ratio of two colours as the Web Content Accessibility Guidelines define it:
// from 1 (the same) to 21 (black on white).
double ContrastRatio(const QColor& a, const QColor& b);

// The picture in shades of dim red, its transparency kept.
QPixmap NightTinted(const QPixmap& pixmap);
