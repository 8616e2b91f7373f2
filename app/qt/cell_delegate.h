#pragma once

#include <QStyledItemDelegate>

namespace plyfold::gui {

struct CellBorders;

// Paints a sheet cell: the colour behind a patterned fill, the cell as usual (with wrapping
// when the cell asks for it), then the edges of its border.
class CellDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // Draws the edges inside rect, so neighbouring cells do not paint over them.
    static void paintBorders(QPainter* painter, const QRect& rect, const CellBorders& borders);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

}  // namespace plyfold::gui
