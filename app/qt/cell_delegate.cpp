#include "app/qt/cell_delegate.h"

#include <QPainter>

#include "app/qt/sheet_table_model.h"

namespace plyfold::gui {
namespace {

struct EdgePen {
    int width = 1;
    Qt::PenStyle style = Qt::SolidLine;
    bool twoLines = false;
};

EdgePen penFor(engine::BorderStyle style) {
    using engine::BorderStyle;
    switch (style) {
        case BorderStyle::Thin:
            return {1, Qt::SolidLine};
        case BorderStyle::Medium:
            return {2, Qt::SolidLine};
        case BorderStyle::Thick:
            return {3, Qt::SolidLine};
        case BorderStyle::Double:
            return {3, Qt::SolidLine, true};
        case BorderStyle::Dashed:
            return {1, Qt::DashLine};
        case BorderStyle::Dotted:
        case BorderStyle::Hair:
            return {1, Qt::DotLine};
        case BorderStyle::MediumDashed:
            return {2, Qt::DashLine};
        case BorderStyle::DashDot:
            return {1, Qt::DashDotLine};
        case BorderStyle::MediumDashDot:
        case BorderStyle::SlantDashDot:
            return {2, Qt::DashDotLine};
        case BorderStyle::DashDotDot:
            return {1, Qt::DashDotDotLine};
        case BorderStyle::MediumDashDotDot:
            return {2, Qt::DashDotDotLine};
        case BorderStyle::None:
            break;
    }
    return {0, Qt::NoPen};
}

enum class Side { Left, Right, Top, Bottom };

// One edge as strips of the cell's own pixels: `offset` pixels in from the side.
void drawEdge(QPainter* painter, const QRect& rect, Side side, const BorderLine& line) {
    const EdgePen pen = penFor(line.style);
    if (pen.width == 0) {
        return;
    }
    auto strip = [&](int offset, int width) {
        QPen qpen(line.color, 1, pen.style, Qt::FlatCap);
        painter->setPen(qpen);
        for (int i = 0; i < width; ++i) {
            const int d = offset + i;
            switch (side) {
                case Side::Left:
                    painter->drawLine(rect.left() + d, rect.top(), rect.left() + d, rect.bottom());
                    break;
                case Side::Right:
                    painter->drawLine(rect.right() - d, rect.top(), rect.right() - d,
                                      rect.bottom());
                    break;
                case Side::Top:
                    painter->drawLine(rect.left(), rect.top() + d, rect.right(), rect.top() + d);
                    break;
                case Side::Bottom:
                    painter->drawLine(rect.left(), rect.bottom() - d, rect.right(),
                                      rect.bottom() - d);
                    break;
            }
        }
    };
    if (pen.twoLines) {
        strip(0, 1);
        strip(2, 1);
    } else {
        strip(0, pen.width);
    }
}

}  // namespace

void CellDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.data(SheetTableModel::WrapRole).toBool()) {
        option->features |= QStyleOptionViewItem::WrapText;
    } else {
        option->features &= ~QStyleOptionViewItem::WrapText;
    }
}

void CellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    const QVariant under = index.data(SheetTableModel::PatternColorRole);
    if (under.isValid()) {
        painter->fillRect(option.rect, under.value<QColor>());
    }
    QStyledItemDelegate::paint(painter, option, index);
    const QVariant borders = index.data(SheetTableModel::BordersRole);
    if (borders.isValid()) {
        paintBorders(painter, option.rect, borders.value<CellBorders>());
    }
}

void CellDelegate::paintBorders(QPainter* painter, const QRect& rect, const CellBorders& borders) {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    drawEdge(painter, rect, Side::Left, borders.left);
    drawEdge(painter, rect, Side::Right, borders.right);
    drawEdge(painter, rect, Side::Top, borders.top);
    drawEdge(painter, rect, Side::Bottom, borders.bottom);
    painter->restore();
}

}  // namespace plyfold::gui
