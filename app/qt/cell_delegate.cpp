#include "app/qt/cell_delegate.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QTableView>

#include <algorithm>

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

using Content = SheetTableModel::Content;

Content contentOf(const QModelIndex& index) {
    const QVariant content = index.data(SheetTableModel::ContentRole);
    return content.isValid() ? content.value<Content>() : Content::Empty;
}

bool isSpanned(const QTableView* view, int row, int column) {
    return view && (view->rowSpan(row, column) > 1 || view->columnSpan(row, column) > 1);
}

// True when a text may run on across the cell at (row, column): it holds nothing and is no
// part of a merged range.
bool takesRunOn(const QTableView* view, const QModelIndex& index, int column) {
    const QAbstractItemModel* model = index.model();
    if (column < 0 || column >= model->columnCount()) {
        return false;
    }
    return contentOf(model->index(index.row(), column)) == Content::Empty &&
           !isSpanned(view, index.row(), column);
}

QColor textColor(const QStyleOptionViewItem& option, bool selected) {
    const QPalette::ColorGroup group =
        option.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    return option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
}

void drawText(QPainter* painter, const CellText& text, const QRect& clip, const QColor& color) {
    painter->save();
    painter->setClipRect(clip, Qt::IntersectClip);
    painter->setFont(text.font);
    painter->setPen(color);
    const int flags = static_cast<int>(text.alignment) | (text.wrap ? Qt::TextWordWrap : 0);
    painter->drawText(text.rect, flags, text.text);
    painter->restore();
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

QRectF CellDelegate::textArea(const QRect& cell) {
    return QRectF(cell).adjusted(kMargin, 0, -(kMargin + kGridLine), -kGridLine);
}

CellText CellDelegate::layOut(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem styled = option;
    initStyleOption(&styled, index);
    CellText shown;
    shown.font = styled.font;
    shown.alignment = styled.displayAlignment;
    shown.wrap = styled.features & QStyleOptionViewItem::WrapText;
    shown.rect = textArea(option.rect);
    shown.text = styled.text;
    if (shown.text.isEmpty() || shown.wrap) {
        return shown;
    }
    const QFontMetricsF metrics(shown.font);
    const qreal width = metrics.horizontalAdvance(shown.text);
    const QRectF area = shown.rect;
    if (width <= area.width()) {
        return shown;
    }
    switch (contentOf(index)) {
        case Content::Number: {
            // A number cut short would read as another number: it shows as many # as fit.
            const qreal hash = metrics.horizontalAdvance(QLatin1Char('#'));
            const int count = hash > 0 ? static_cast<int>(area.width() / hash) : 0;
            shown.text = QString(std::max(count, 0), QLatin1Char('#'));
            break;
        }
        case Content::Text: {
            shown.runsOn = true;
            qreal left = area.left();
            if (shown.alignment & Qt::AlignRight) {
                left = area.right() - width;
            } else if (shown.alignment & Qt::AlignHCenter) {
                left = area.center().x() - width / 2;
            }
            shown.rect = QRectF(left, area.top(), width, area.height());
            break;
        }
        default:
            break;  // cut at the cell's edges
    }
    return shown;
}

void CellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    const QVariant under = index.data(SheetTableModel::PatternColorRole);
    if (under.isValid()) {
        painter->fillRect(option.rect, under.value<QColor>());
    }
    QStyleOptionViewItem styled = option;
    initStyleOption(&styled, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    // The background, the selection and the focus frame; the text is drawn below, unelided.
    QStyleOptionViewItem panel = styled;
    panel.text.clear();
    panel.features &= ~QStyleOptionViewItem::HasDisplay;
    style->drawControl(QStyle::CE_ItemViewItem, &panel, painter, widget);

    const auto* view = qobject_cast<const QTableView*>(widget);
    const bool selected = option.state & QStyle::State_Selected;
    const int row = index.row();
    const int column = index.column();
    const QRect inside = option.rect.adjusted(0, 0, -kGridLine, -kGridLine);
    bool acrossRight = false;  // a text runs across the right edge: no gridline there
    const CellText own = layOut(option, index);
    if (!own.text.isEmpty()) {
        QRect clip = inside;
        if (own.runsOn && own.rect.right() > inside.right() &&
            takesRunOn(view, index, column + 1)) {
            clip.setRight(option.rect.right());
            acrossRight = true;
        }
        drawText(painter, own, clip, textColor(styled, selected));
    } else if (view && contentOf(index) == Content::Empty && !isSpanned(view, row, column)) {
        if (const auto* model = qobject_cast<const SheetTableModel*>(index.model())) {
            const int before = model->filledColumnBefore(row, column);
            if (before >= 0 && paintRunOn(painter, option, index, before)) {
                acrossRight = true;
            }
            const int after = model->filledColumnAfter(row, column);
            if (after >= 0 && paintRunOn(painter, option, index, after)) {
                acrossRight = true;
            }
        }
    }

    if (!index.data(Qt::BackgroundRole).isValid()) {
        const int hint = style->styleHint(QStyle::SH_Table_GridLineColor, &option, widget);
        painter->save();
        painter->setPen(QColor::fromRgba(static_cast<QRgb>(hint)));
        const QRect& r = option.rect;
        painter->drawLine(r.left(), r.bottom(), r.right(), r.bottom());
        if (!acrossRight) {
            painter->drawLine(r.right(), r.top(), r.right(), r.bottom());
        }
        painter->restore();
    }
    const QVariant borders = index.data(SheetTableModel::BordersRole);
    if (borders.isValid()) {
        paintBorders(painter, option.rect, borders.value<CellBorders>());
    }
}

bool CellDelegate::paintRunOn(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index, int fromColumn) const {
    const auto* view = qobject_cast<const QTableView*>(option.widget);
    const int row = index.row();
    const int column = index.column();
    if (isSpanned(view, row, fromColumn) || view->isColumnHidden(fromColumn)) {
        return false;
    }
    const QModelIndex source = index.model()->index(row, fromColumn);
    QStyleOptionViewItem from = option;
    from.rect = view->visualRect(source);
    from.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    const CellText text = layOut(from, source);
    if (!text.runsOn) {
        return false;
    }
    const QRect& cell = option.rect;
    if (fromColumn < column ? text.rect.right() <= cell.left() : text.rect.left() >= cell.right()) {
        return false;
    }
    // Every cell between the text and this one holds nothing: only a merged range can stop it.
    for (int between = std::min(fromColumn, column) + 1; between < std::max(fromColumn, column);
         ++between) {
        if (isSpanned(view, row, between)) {
            return false;
        }
    }
    QRect clip = cell.adjusted(0, 0, 0, -kGridLine);
    const bool acrossRight = text.rect.right() > cell.right() &&
                             (column + 1 == fromColumn || takesRunOn(view, index, column + 1));
    if (!acrossRight) {
        clip.setRight(cell.right() - kGridLine);
    }
    QStyleOptionViewItem styled = from;
    initStyleOption(&styled, source);
    drawText(painter, text, clip, textColor(styled, option.state & QStyle::State_Selected));
    return acrossRight;
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
