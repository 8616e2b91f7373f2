#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/model/cell_ref.h"
#include "engine/model/drawing.h"

namespace plyfold::engine {

class FormulaCarrier;
class Sheet;

using FormulaRewrite = std::function<std::string(std::string_view)>;

// The objects of source as a copy of the sheet holds them: pictures and other parts shared,
// each chart a part of its own with its series, categories and titles passed through rewrite
// (none keeps them as written).
std::vector<DrawingObject> copiedDrawings(const Sheet& source, const FormulaRewrite& rewrite);

// The objects of source whose top-left corner lies in block, moved by offset cells as a paste
// of the block to target moves them (distances into cells kept). A chart's references to cells
// of the block move with it onto target; its other references read the source where they
// stood: as external references through carrier, into another workbook, or as written within
// one.
std::vector<DrawingObject> pastedDrawings(const Sheet& source, const CellRange& block,
                                          const Sheet& target, CellRef offset,
                                          FormulaCarrier* carrier);

// Before lines [first, first + count) of target are deleted that cut through block of source
// pasted there with block.first at topLeft: the references of the charts pasted with it that
// read only cells of those lines read the source instead, through carrier, so that the
// deletion leaves them showing what they did (a series title in a dropped header row).
void chartsReadLinesFromSource(const Sheet& source, const CellRange& block, Sheet& target,
                               CellRef topLeft, int32_t first, int32_t count, bool columns,
                               FormulaCarrier& carrier);

// Moves the objects of sheet after lines [first, first + count) were deleted (rows, or columns
// where columns): later ones move up or left, one reaching into the lines shrinks, one lying
// wholly in them goes, as cells that carry them do.
void drawingsAfterDeleting(Sheet& sheet, int32_t first, int32_t count, bool columns);

// Passes every chart formula of the sheet's objects through rewrite; charts that change get
// parts of their own.
void rewriteChartFormulas(Sheet& sheet, const FormulaRewrite& rewrite);

}  // namespace plyfold::engine
