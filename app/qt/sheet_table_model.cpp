#include "app/qt/sheet_table_model.h"

#include <QBrush>

#include <algorithm>

#include "app/qt/qt_text.h"
#include "engine/model/cell_ref.h"
#include "engine/model/limits.h"
#include "engine/model/sheet.h"
#include "engine/model/workbook.h"
#include "engine/ops/number_format.h"

namespace plyfold::gui {
namespace {

Qt::BrushStyle brushStyleFor(engine::PatternType pattern) {
    using engine::PatternType;
    switch (pattern) {
        case PatternType::Solid:
            return Qt::SolidPattern;
        case PatternType::DarkGray:
            return Qt::Dense3Pattern;
        case PatternType::MediumGray:
            return Qt::Dense4Pattern;
        case PatternType::LightGray:
            return Qt::Dense5Pattern;
        case PatternType::Gray125:
            return Qt::Dense6Pattern;
        case PatternType::Gray0625:
            return Qt::Dense7Pattern;
        case PatternType::DarkHorizontal:
        case PatternType::LightHorizontal:
            return Qt::HorPattern;
        case PatternType::DarkVertical:
        case PatternType::LightVertical:
            return Qt::VerPattern;
        case PatternType::DarkDown:
        case PatternType::LightDown:
            return Qt::FDiagPattern;
        case PatternType::DarkUp:
        case PatternType::LightUp:
            return Qt::BDiagPattern;
        case PatternType::DarkGrid:
        case PatternType::LightGrid:
            return Qt::CrossPattern;
        case PatternType::DarkTrellis:
        case PatternType::LightTrellis:
            return Qt::DiagCrossPattern;
        case PatternType::None:
            break;
    }
    return Qt::NoBrush;
}

BorderLine borderLine(const engine::BorderEdge& edge) {
    BorderLine line;
    line.style = edge.style;
    line.color = SheetTableModel::qtColor(edge.color).value_or(QColor(Qt::black));
    return line;
}

}  // namespace

SheetTableModel::SheetTableModel(const engine::Sheet& sheet, QObject* parent)
    : QAbstractTableModel(parent), m_sheet(sheet), m_workbook(sheet.workbook()) {
    int lastRow = 0;
    int lastColumn = 0;
    if (auto used = sheet.usedRange()) {
        lastRow = used->last.row;
        lastColumn = used->last.column;
    }
    for (const engine::CellRange& merge : sheet.merges()) {
        lastRow = std::max(lastRow, merge.last.row);
        lastColumn = std::max(lastColumn, merge.last.column);
    }
    m_rows = std::clamp(lastRow + 1, kMinimumRows, engine::kMaxRows);
    m_columns = std::clamp(lastColumn + 1, kMinimumColumns, engine::kMaxColumns);
    m_fonts.resize(m_workbook.styles().fontCount());
}

const engine::Row* SheetTableModel::rowAt(int row) const {
    const std::vector<engine::Row>& rows = m_sheet.rows();
    auto rowIt = std::lower_bound(rows.begin(), rows.end(), row,
                                  [](const engine::Row& r, int index) { return r.index < index; });
    return rowIt == rows.end() || rowIt->index != row ? nullptr : &*rowIt;
}

namespace {

bool isFilled(const engine::Cell& cell) {
    return cell.type != engine::CellType::Blank || cell.hasFormula();
}

}  // namespace

int SheetTableModel::filledColumnBefore(int row, int column) const {
    const engine::Row* found = rowAt(row);
    if (!found) {
        return -1;
    }
    const std::vector<engine::Cell>& cells = found->cells;
    auto it = std::lower_bound(cells.begin(), cells.end(), column,
                               [](const engine::Cell& c, int col) { return c.column < col; });
    while (it != cells.begin()) {
        --it;
        if (isFilled(*it)) {
            return it->column;
        }
    }
    return -1;
}

int SheetTableModel::filledColumnAfter(int row, int column) const {
    const engine::Row* found = rowAt(row);
    if (!found) {
        return -1;
    }
    const std::vector<engine::Cell>& cells = found->cells;
    auto it = std::upper_bound(cells.begin(), cells.end(), column,
                               [](int col, const engine::Cell& c) { return col < c.column; });
    for (; it != cells.end(); ++it) {
        if (isFilled(*it)) {
            return it->column;
        }
    }
    return -1;
}

const engine::Cell* SheetTableModel::cellAt(int row, int column) const {
    const engine::Row* found = rowAt(row);
    if (!found) {
        return nullptr;
    }
    const std::vector<engine::Cell>& cells = found->cells;
    auto cellIt = std::lower_bound(cells.begin(), cells.end(), column,
                                   [](const engine::Cell& c, int col) { return c.column < col; });
    if (cellIt == cells.end() || cellIt->column != column) {
        return nullptr;
    }
    return &*cellIt;
}

int SheetTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int SheetTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_columns;
}

Qt::ItemFlags SheetTableModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

std::optional<QColor> SheetTableModel::qtColor(const engine::Color& color) {
    if (color.kind != engine::Color::Kind::Rgb) {
        return std::nullopt;
    }
    // Files often leave the alpha byte at 0; a spreadsheet shows every colour opaque.
    return QColor::fromRgb(color.argb & 0xFFFFFFu);
}

QFont SheetTableModel::qtFont(const engine::Font& font) {
    QFont result(toQString(font.name));
    result.setPointSizeF(font.size > 0 ? font.size : 11.0);
    result.setBold(font.bold);
    result.setItalic(font.italic);
    result.setUnderline(font.underline != engine::Underline::None);
    result.setStrikeOut(font.strike);
    return result;
}

const QFont& SheetTableModel::fontFor(uint32_t fontId) const {
    const engine::StyleTable& styles = m_workbook.styles();
    if (fontId >= styles.fontCount()) {
        fontId = 0;
    }
    if (fontId >= m_fonts.size()) {
        m_fonts.resize(styles.fontCount());
    }
    if (!m_fonts[fontId]) {
        m_fonts[fontId] = qtFont(styles.font(fontId));
    }
    return *m_fonts[fontId];
}

QVariant SheetTableModel::alignmentFor(const engine::Cell& cell,
                                       const engine::CellStyle& style) const {
    using engine::HorizontalAlign;
    Qt::Alignment horizontal = Qt::AlignLeft;
    switch (style.alignment.horizontal) {
        case HorizontalAlign::General:
            // A spreadsheet puts numbers right, texts left, truth values and errors centred.
            switch (cell.type) {
                case engine::CellType::Number:
                    horizontal = Qt::AlignRight;
                    break;
                case engine::CellType::Boolean:
                case engine::CellType::Error:
                    horizontal = Qt::AlignHCenter;
                    break;
                default:
                    horizontal = Qt::AlignLeft;
                    break;
            }
            break;
        case HorizontalAlign::Left:
        case HorizontalAlign::Fill:
            horizontal = Qt::AlignLeft;
            break;
        case HorizontalAlign::Center:
        case HorizontalAlign::CenterContinuous:
        case HorizontalAlign::Distributed:
            horizontal = Qt::AlignHCenter;
            break;
        case HorizontalAlign::Right:
            horizontal = Qt::AlignRight;
            break;
        case HorizontalAlign::Justify:
            horizontal = Qt::AlignJustify;
            break;
    }
    Qt::Alignment vertical = Qt::AlignBottom;
    switch (style.alignment.vertical) {
        case engine::VerticalAlign::Bottom:
            vertical = Qt::AlignBottom;
            break;
        case engine::VerticalAlign::Top:
            vertical = Qt::AlignTop;
            break;
        default:
            vertical = Qt::AlignVCenter;
            break;
    }
    return QVariant::fromValue(horizontal | vertical);
}

QVariant SheetTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    const engine::Cell* cell = cellAt(index.row(), index.column());
    if (!cell) {
        if (role == Qt::TextAlignmentRole) {
            return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignBottom));
        }
        return {};
    }
    const engine::StyleTable& styles = m_workbook.styles();
    const engine::CellStyle& style =
        styles.style(cell->style < styles.styleCount() ? cell->style : 0);
    switch (role) {
        case Qt::DisplayRole:
            return toQString(engine::displayText(m_workbook, *cell));
        case Qt::FontRole:
            return fontFor(style.font);
        case Qt::ForegroundRole: {
            const uint32_t fontId = style.font < styles.fontCount() ? style.font : 0;
            if (auto color = qtColor(styles.font(fontId).color)) {
                return QBrush(*color);
            }
            return {};
        }
        case Qt::BackgroundRole: {
            const engine::Fill& fill =
                styles.fill(style.fill < styles.fillCount() ? style.fill : 0);
            const Qt::BrushStyle brush = brushStyleFor(fill.pattern);
            if (brush == Qt::NoBrush) {
                return {};
            }
            auto color = qtColor(fill.foreground);
            if (!color && brush == Qt::SolidPattern) {
                return {};
            }
            return QBrush(color.value_or(QColor(Qt::black)), brush);
        }
        case PatternColorRole: {
            const engine::Fill& fill =
                styles.fill(style.fill < styles.fillCount() ? style.fill : 0);
            const Qt::BrushStyle brush = brushStyleFor(fill.pattern);
            if (brush == Qt::NoBrush || brush == Qt::SolidPattern) {
                return {};
            }
            return qtColor(fill.background).value_or(QColor(Qt::white));
        }
        case Qt::TextAlignmentRole:
            return alignmentFor(*cell, style);
        case WrapRole:
            return style.alignment.wrapText;
        case ContentRole:
            switch (cell->type) {
                case engine::CellType::Number:
                    return QVariant::fromValue(Content::Number);
                case engine::CellType::Text:
                    return QVariant::fromValue(Content::Text);
                case engine::CellType::Blank:
                    return QVariant::fromValue(cell->hasFormula() ? Content::Other
                                                                  : Content::Empty);
                default:
                    return QVariant::fromValue(Content::Other);
            }
        case BordersRole: {
            if (style.border >= styles.borderCount()) {
                return {};
            }
            const engine::Border& border = styles.border(style.border);
            CellBorders edges{borderLine(border.left), borderLine(border.right),
                              borderLine(border.top), borderLine(border.bottom)};
            for (const BorderLine* edge : {&edges.left, &edges.right, &edges.top, &edges.bottom}) {
                if (edge->style != engine::BorderStyle::None) {
                    return QVariant::fromValue(edges);
                }
            }
            return {};
        }
        default:
            return {};
    }
}

QVariant SheetTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == Qt::DisplayRole) {
        if (orientation == Qt::Horizontal) {
            return toQString(engine::columnName(section));
        }
        return QString::number(section + 1);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    }
    return {};
}

}  // namespace plyfold::gui
