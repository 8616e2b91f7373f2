#include "app/qt/picture_button.h"

#include <QStyleOptionToolButton>
#include <QStylePainter>

#include <algorithm>

namespace plyfold::gui {

void PictureButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionToolButton panel;
    initStyleOption(&panel);
    panel.text.clear();
    panel.icon = QIcon();
    painter.drawComplexControl(QStyle::CC_ToolButton, panel);

    const QSize picture = iconSize();
    const int captionHeight = fontMetrics().height();
    const int shift = isDown() ? 1 : 0;
    const int top = std::max(1, (height() - picture.height() - captionHeight) / 2) + shift;
    const QRect pictureRect(QPoint((width() - picture.width()) / 2 + shift, top), picture);
    icon().paint(&painter, pictureRect, Qt::AlignCenter,
                 isEnabled() ? QIcon::Normal : QIcon::Disabled);
    const QRect captionRect(shift, pictureRect.bottom() + 1, width(), captionHeight);
    painter.drawItemText(captionRect, Qt::AlignHCenter | Qt::AlignTop, palette(), isEnabled(),
                         text(), QPalette::ButtonText);
}

}  // namespace plyfold::gui
