#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/io/xls/biff_formula.h"
#include "engine/io/xls/biff_globals.h"

namespace plyfold::engine {
class Workbook;
}

namespace plyfold::engine::xls {

// Reads what the formulas of a BIFF8 workbook stream refer through (SUPBOOK, EXTERNNAME,
// EXTERNSHEET and NAME records of the globals) and gives the workbook its external books and
// its defined names (sheet-scoped ones to their sheets). modelSheetOf gives, for each sheet of
// the globals in order, the index of the sheet the workbook made of it, or -1 for a sheet it
// left out. Damage ends the reading quietly: what was read stays. A name whose formula cannot
// be read is left out and listed in the workbook's uncarried features.
BiffFormulaLinks readFormulaLinks(std::string_view stream, const BiffGlobals& globals,
                                  const std::vector<int32_t>& modelSheetOf, Workbook& workbook);

// The name a NAME record's one-character code stands for ("_xlnm.Print_Area", "Auto_Open");
// empty for a code no built-in name has.
std::string_view builtInNameOf(uint8_t code);
// The name of a built-in NAME record: its code's name, then the characters after the code.
std::string builtInName(std::string_view stored);

}  // namespace plyfold::engine::xls
