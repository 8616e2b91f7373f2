#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plyfold::engine::formula {

// The parts of a table a structured reference names, as flags: none stands for the data rows.
enum TableItem : uint8_t {
    kTableAll = 1,
    kTableData = 2,
    kTableHeaders = 4,
    kTableTotals = 8,
    kTableThisRow = 16,
};

// A structured reference taken apart: Sales[Qty], Sales[[#Headers],[Qty]:[Price]],
// Sales[#All], Sales[@Qty], or a bare [@Qty] inside a table.
struct StructuredReference {
    std::string table;        // as written; empty for a bare reference
    uint8_t items = 0;        // TableItem flags
    std::string firstColumn;  // with its escapes undone; empty for every column
    std::string lastColumn;   // equal to firstColumn for one column
};

// Parses a whole structured reference; nullopt when text is not one (or combines parts that
// are not next to each other, such as headers and totals).
std::optional<StructuredReference> parseStructuredReference(std::string_view text);

// A column name as written inside brackets: ' [ ] and # escaped with an apostrophe.
std::string escapedColumnName(std::string_view name);

}  // namespace plyfold::engine::formula
