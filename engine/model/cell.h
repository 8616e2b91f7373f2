#pragma once

#include <cstdint>
#include <string_view>

namespace plyfold::engine {

enum class CellType : uint8_t { Blank, Number, Text, Boolean, Error };

// The error values a cell can hold, in the order of their codes in the file formats.
enum class ErrorValue : uint8_t { Null, Div0, Value, Ref, Name, Num, NA, GettingData };

std::string_view errorText(ErrorValue error);  // "#DIV/0!" ...
bool parseErrorText(std::string_view text, ErrorValue& error);

enum CellFlags : uint8_t {
    kArrayFormula = 1,   // the formula is the anchor of an array formula
    kSharedFormula = 2,  // the formula is one the workbook holds for many cells (SharedFormula)
};

// One stored cell: 24 bytes. A cell exists only when it has a value, a formula or a
// non-default style. For a formula cell the value is its cached result.
struct Cell {
    union Value {
        double number;
        uint32_t text;  // id in the workbook's string pool
        bool boolean;
        ErrorValue error;
    } value{0.0};
    uint32_t style = 0;  // id in the workbook's style table
    // 0 none, else id + 1 in the workbook's formula pool, or in its shared formulas when the
    // cell has kSharedFormula.
    uint32_t formula = 0;
    uint16_t column = 0;  // 0-based
    CellType type = CellType::Blank;
    uint8_t flags = 0;
    // 0 none, else id + 1 in the workbook's rich texts: the runs of a text cell whose parts
    // are formatted apart (Workbook::richTextOf).
    uint32_t richText = 0;

    bool hasFormula() const { return formula != 0; }
    uint32_t formulaId() const { return formula - 1; }
    bool hasSharedFormula() const { return formula != 0 && (flags & kSharedFormula) != 0; }
};
static_assert(sizeof(Cell) <= 24);

}  // namespace plyfold::engine
