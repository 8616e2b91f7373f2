#pragma once

#include <QFont>
#include <QRectF>
#include <QString>
#include <QStyledItemDelegate>

namespace plyfold::gui {

struct CellBorders;

// What a cell shows and where, as a spreadsheet lays it out.
struct CellText {
    QString text;  // what is drawn: "###" for a number its column is too narrow for
    QRectF rect;   // where the text is laid out; wider than the cell when a text runs on
    Qt::Alignment alignment;
    QFont font;
    bool wrap = false;
    bool runsOn = false;  // a text wider than its cell, shown on in empty neighbours
};

// Paints a sheet cell as a spreadsheet does: the colour behind a patterned fill, the cell's
// background, its text with a margin of a few pixels (a number too wide for its column shows
// "###", a text runs on into empty cells beside it and is cut at a filled one, nothing is
// elided), the gridline on its right and bottom edges (none under a fill, none where a text
// runs across), then the edges of its border. The view must not draw a grid of its own.
class CellDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Pixels between a cell's edge and its text, on either side; the gridline takes one more
    // on the right, as in a spreadsheet.
    static constexpr int kMargin = 2;
    static constexpr int kGridLine = 1;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // The text a cell shows in option.rect and where it goes.
    CellText layOut(const QStyleOptionViewItem& option, const QModelIndex& index) const;
    // The room a cell's text has inside a cell's rectangle.
    static QRectF textArea(const QRect& cell);

    // Draws the edges inside rect, so neighbouring cells do not paint over them.
    static void paintBorders(QPainter* painter, const QRect& rect, const CellBorders& borders);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    // Draws into this empty cell the part of a neighbour's text that runs on across it; true
    // when that text goes on across the cell's right edge.
    bool paintRunOn(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index,
                    int fromColumn) const;
};

}  // namespace plyfold::gui
