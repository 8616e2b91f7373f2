#pragma once

#include <QRect>

#include <cmath>

namespace plyfold::gui {

// Window layouts are given in twips; at 96 dots per inch a pixel is 15 twips.
inline constexpr int kTwipsPerPixel = 15;

inline int twipsToPixels(int twips) {
    return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

inline QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}

}  // namespace plyfold::gui
