#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/model/cell_ref.h"

namespace plyfold::engine {

class FormulaCarrier;
class Sheet;

using RuleFormulaRewrite = std::function<std::string(std::string_view)>;

// Every formula of the sheet's conditional formats (thresholds included) and validation
// rules, replaced by what rewrite makes of it.
void rewriteRuleFormulas(Sheet& sheet, const RuleFormulaRewrite& rewrite);

// The same for the rules whose ranges all lie within area.
void rewriteRuleFormulasWithin(Sheet& sheet, const CellRange& area,
                               const RuleFormulaRewrite& rewrite);

// For a sheet copy: the conditional formats and validation rules of source, whole, on copy,
// their formulas rewritten (nullptr keeps them), their differential styles mapped into the
// copy's workbook.
void copySheetRules(const Sheet& source, Sheet& copy, const RuleFormulaRewrite& rewrite);

// For a paste of block (of source) with block.first landing on topLeft of target: the target's
// rules give up the cells of the rectangle pasted over, and the source's rules come along cut
// to the block and moved. A rule's formulas read from the top-left cell of its ranges, so
// where cutting moves that cell they are moved with it. Into another workbook the carrier
// carries them as it carries the cells' formulas.
void pasteSheetRules(const Sheet& source, const CellRange& block, Sheet& target, CellRef topLeft,
                     FormulaCarrier* carrier);

// For lines [first, first + count) (rows, or columns where `columns`) deleted from sheet:
// ranges move and shrink, rules left without cells go, and formulas are updated by rewrite
// (which updates references for the deletion as the formulas of the sheet's cells are).
void deleteLinesFromRules(Sheet& sheet, int32_t first, int32_t count, bool columns,
                          const RuleFormulaRewrite& rewrite);

}  // namespace plyfold::engine
