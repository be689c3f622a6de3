#pragma once

#include <QRect>
#include <cmath>

// The window layouts are given in twips and were drawn at 12 twips per pixel; Qt's
// high-DPI scaling takes the logical pixels from there.
inline constexpr double kTwipsPerPixel = 12;

inline int Twips(int twips) {
    return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}

inline QRect Twips(int left, int top, int width, int height) {
    return {Twips(left), Twips(top), Twips(width), Twips(height)};
}
