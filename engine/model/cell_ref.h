#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plyfold::engine {

// A cell position, 0-based: row 0 is row "1", column 0 is column "A".
struct CellRef {
    int32_t row = 0;
    int32_t column = 0;
    friend bool operator==(const CellRef&, const CellRef&) = default;
};

// An inclusive rectangle of cells.
struct CellRange {
    CellRef first;
    CellRef last;
    int32_t rowCount() const { return last.row - first.row + 1; }
    int32_t columnCount() const { return last.column - first.column + 1; }
    bool contains(CellRef ref) const {
        return ref.row >= first.row && ref.row <= last.row && ref.column >= first.column &&
               ref.column <= last.column;
    }
    friend bool operator==(const CellRange&, const CellRange&) = default;
};

// "A", "B", ..., "Z", "AA", ... for a 0-based column.
std::string columnName(int32_t column);
// The 0-based column of "A".."XFD" (any case), or nullopt.
std::optional<int32_t> parseColumnName(std::string_view name);
// "B7" for row 6, column 1.
std::string cellName(CellRef ref);
// "$B$7".
std::string absoluteCellName(CellRef ref);
// "A1:C3", or "A1" for a single cell.
std::string rangeName(const CellRange& range);
// Parses "B7", "$B$7" or "b7" within the sheet limits.
std::optional<CellRef> parseCellName(std::string_view text);
// Parses "A1:C3", "$A$1:$C$3" or a single cell, normalised so first <= last.
std::optional<CellRange> parseRangeName(std::string_view text);

// Whether a word reads in a formula as a cell (B7, R1C1, RC) or a logical value (TRUE), so that
// it cannot stand unquoted as a sheet, table or defined name.
bool readsAsCellOrLogical(std::string_view word);

}  // namespace plyfold::engine
