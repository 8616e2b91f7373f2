#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/cell.h"
#include "engine/xls/biff_globals.h"

namespace plyfold::engine::xls {

// A value FreeXL leaves out: the cached result of a formula (number, text, boolean or
// error) or a boolean or error constant.
struct BiffCellValue {
    uint32_t row = 0;
    uint16_t column = 0;
    CellType type = CellType::Blank;
    double number = 0.0;
    bool boolean = false;
    ErrorValue error = ErrorValue::NA;
    bool isDate = false;  // a number whose cell format shows a date or time
    std::string text;     // UTF-8
};

// Reads those values from the substream of one sheet (from its BOF to its EOF), sorted by
// row and column; 8-bit texts of BIFF5 are converted from the workbook's code page.
std::vector<BiffCellValue> scanSheetValues(std::string_view stream, const BiffSheetInfo& sheet,
                                           const BiffGlobals& globals);

}  // namespace plyfold::engine::xls
