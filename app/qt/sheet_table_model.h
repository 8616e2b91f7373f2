#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QMetaType>

#include <optional>
#include <vector>

#include "engine/model/style.h"

namespace plyfold::engine {
class Sheet;
class Workbook;
struct Cell;
struct Row;
}  // namespace plyfold::engine

namespace plyfold::gui {

// One edge of a cell's border as the delegate paints it.
struct BorderLine {
    engine::BorderStyle style = engine::BorderStyle::None;
    QColor color;
};

struct CellBorders {
    BorderLine left, right, top, bottom;
};

// Shows an engine sheet as a table, reading the sheet's own rows (never a copy): the grid
// runs through the last used row and column (at least a screenful), headers are row numbers
// and column letters, cells show their displayed text with their font, fill, alignment,
// wrapping and borders.
class SheetTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Role {
        BordersRole = Qt::UserRole + 1,  // CellBorders, when the cell has any edge
        WrapRole,                        // bool
        PatternColorRole,                // the colour behind a patterned fill
        ContentRole,                     // Content: how the cell's text behaves when too wide
    };

    // What a cell holds, as far as showing it in too narrow a column goes: a number (a date
    // is one) turns into "###", a text runs on into empty neighbours, anything else is cut.
    enum class Content { Empty, Number, Text, Other };

    // The grid shown around a small sheet, as a spreadsheet shows empty rows and columns.
    static constexpr int kMinimumRows = 100;
    static constexpr int kMinimumColumns = 26;

    explicit SheetTableModel(const engine::Sheet& sheet, QObject* parent = nullptr);

    const engine::Sheet& sheet() const { return m_sheet; }
    // The stored cell at a 0-based position, found by binary search; nullptr when none.
    const engine::Cell* cellAt(int row, int column) const;
    // The nearest column left of (before) or right of (after) `column` in `row` whose cell
    // holds something; -1 when none does.
    int filledColumnBefore(int row, int column) const;
    int filledColumnAfter(int row, int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The font a cell shows for a font of the workbook's style table.
    static QFont qtFont(const engine::Font& font);
    // An RGB colour of the workbook; nullopt for none or automatic.
    static std::optional<QColor> qtColor(const engine::Color& color);

private:
    const engine::Row* rowAt(int row) const;
    const QFont& fontFor(uint32_t fontId) const;
    QVariant alignmentFor(const engine::Cell& cell, const engine::CellStyle& style) const;

    const engine::Sheet& m_sheet;
    const engine::Workbook& m_workbook;
    int m_rows = 0;
    int m_columns = 0;
    mutable std::vector<std::optional<QFont>> m_fonts;  // by font id, made when first shown
};

}  // namespace plyfold::gui

Q_DECLARE_METATYPE(plyfold::gui::CellBorders)
Q_DECLARE_METATYPE(plyfold::gui::SheetTableModel::Content)
