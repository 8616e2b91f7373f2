#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/model/cell_ref.h"

namespace plyfold::engine {

// One column of a table: its name (the header cell's text) and what its totals row and its
// cells compute.
struct TableColumn {
    uint32_t id = 0;  // as read; the writer numbers columns afresh
    std::string name;
    std::string totalsRowFunction;  // "sum", "average", ..., "custom"; empty for none
    std::string totalsRowLabel;
    std::string totalsRowFormula;         // for "custom", without "="
    std::string calculatedColumnFormula;  // the formula every data cell holds, without "="
};

// How the table is drawn: a named table style and which of its stripes show.
struct TableStyleInfo {
    std::string name;
    bool showFirstColumn = false;
    bool showLastColumn = false;
    bool showRowStripes = true;
    bool showColumnStripes = false;
};

// A table (list object) of a worksheet: a named rectangle of header row, data rows and
// totals row, whose columns formulas can name (Sales[Qty]).
struct Table {
    uint32_t id = 0;          // as read; the writer numbers tables afresh
    std::string name;         // the table's own name
    std::string displayName;  // the name formulas use; equal to name in files programs write
    CellRange range;          // header, data and totals rows
    int32_t headerRowCount = 1;
    int32_t totalsRowCount = 0;
    bool totalsRowShown = true;
    std::string comment;
    std::optional<CellRange> autoFilter;
    std::optional<TableStyleInfo> style;
    std::vector<TableColumn> columns;  // one a column of the range, left to right

    // The rows between the header and the totals; nullopt when the table has none.
    std::optional<CellRange> dataRange() const;
    // The index of the column with this name (compared without regard to case), or -1.
    int32_t columnIndex(std::string_view columnName) const;
};

// Whether text may name a table: a letter, "_" or "\" first, then letters, digits, "_", "."
// and "\", at most 255 characters, not a cell reference ("AB2") nor an R1C1 one ("R2C3"),
// and not "C", "R", "TRUE" or "FALSE".
bool isValidTableName(std::string_view text);

}  // namespace plyfold::engine
