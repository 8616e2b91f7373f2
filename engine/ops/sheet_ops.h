#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/model/cell_ref.h"

namespace plyfold::engine {

class Sheet;
class Workbook;

// What a spreadsheet's plain paste does: the cells of range on source are written to target
// with range.first landing on topLeft. Values and styles are copied (styles and texts mapped
// into the target workbook), formulas have their relative references shifted by the move,
// merged ranges inside the block come along, and the target rectangle is cleared first.
// Dates keep their meaning across workbooks of different date systems. Throws when the
// block would reach past the last row or column of the sheet.
void pasteBlock(const Sheet& source, const CellRange& range, Sheet& target, CellRef topLeft);

// pasteBlock with the block's columns rearranged: its rows land from topRow on, its i-th
// column in target column targetColumns[i] (0-based, distinct). Formula references that read
// only cells of the block follow those cells; a range whose columns no longer lie side by
// side in order reads the source's cells from the other workbook, as a reference outside the
// block does. Merged ranges and array formulas are cut where columns part.
void pasteBlockRearranged(const Sheet& source, const CellRange& range, Sheet& target,
                          int32_t topRow, const std::vector<int32_t>& targetColumns);

// Deletes whole rows or columns: later ones move up or left, merged ranges shrink, and every
// formula of the workbook that refers to the sheet is updated.
void deleteRows(Sheet& sheet, int32_t first, int32_t count);
void deleteColumns(Sheet& sheet, int32_t first, int32_t count);

// A full copy of source (cells, styles, merges, column widths, row heights, hidden or very
// hidden) inserted into target before index (0-based), named after the source or after name
// when one is given (a valid sheet name). A taken name becomes "Name (2)", "Name (3)", ...
// The copy's formulas that name its source sheet name the copy.
Sheet& copySheet(const Sheet& source, Workbook& target, int32_t beforeIndex,
                 std::string_view name = {});

// Sets every used column's width to fit its widest displayed text.
void autoFitColumns(Sheet& sheet);

}  // namespace plyfold::engine
