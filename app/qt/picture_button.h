#pragma once

#include <QToolButton>

namespace plyfold::gui {

// A tool-bar button with its picture above its caption. The style's own layout keeps a margin
// around the picture that leaves too little room for the caption under a 48-pixel picture in a
// 65-pixel button, so the button draws its panel through the style and places picture and
// caption itself, centred together.
class PictureButton : public QToolButton {
public:
    using QToolButton::QToolButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace plyfold::gui
