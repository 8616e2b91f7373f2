#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/model/cell_ref.h"

namespace plyfold::engine {

struct Cell;
class Workbook;

// The cells at which text, as it reads at anchor, can be read moved by their distance from
// anchor (shiftFormula) without any of its references leaving the sheet. Empty (first past
// last) when there is no such cell.
CellRange formulaReach(std::string_view text, CellRef anchor);

// Adds a formula that many cells share to the workbook (text as it reads at anchor) and
// returns its id, for a cell's formula with kSharedFormula.
uint32_t addSharedFormula(Workbook& workbook, std::string_view text, CellRef anchor);

// The formula of the cell at `at` as it reads there (without "="): its own text, or its
// shared formula moved from the anchor. Empty for a cell without a formula.
std::string cellFormula(const Workbook& workbook, const Cell& cell, CellRef at);

// How deleting lines [first, first + count) (rows, or columns) treats the cells of one shared
// formula. The cells fall into runs along the deleted axis, split wherever one of their
// relative references (or the cell itself) passes into or out of the deleted lines, or a
// reference with one relative and one absolute end turns round. Within a run every cell's
// formula changes alike relative to the cell, so the run can go on sharing one formula, unless
// a relative reference of its cells points into the deleted lines (touchesDeleted): such a
// reference is cut to a fixed line, which each row (or column) of cells sees at another
// distance, so only the cells of one line change alike.
class SharedFormulaDeletion {
public:
    SharedFormulaDeletion(std::string_view text, CellRef anchor, bool rows, int32_t first,
                          int32_t count);

    // The run of the cell at position (its row, or its column, before the deletion).
    uint32_t runOf(int32_t position) const;
    bool touchesDeleted(int32_t position) const;

private:
    int32_t m_first;
    int64_t m_end;
    std::vector<int32_t> m_runStarts;  // sorted
    std::vector<int32_t> m_relative;   // distances from the cell of its relative references
};

}  // namespace plyfold::engine
