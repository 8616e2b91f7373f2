#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/io/xlsx/xlsx_writer_plan.h"
#include "engine/io/xlsx/zip_writer.h"

namespace plyfold::engine::xlsx {

// The formula texts as written. A reference to a sheet the workbook does not hold (left by a
// sheet copied from another workbook) would make spreadsheet programs drop the formula as
// damaged, so it becomes #REF!. Each formula is looked at once per save.
class FormulaTexts {
public:
    explicit FormulaTexts(const Workbook& workbook);
    std::string_view text(uint32_t formulaId);
    // The same for a formula held outside the pool (conditional formats, validation rules).
    std::string written(std::string_view text) const;

private:
    const Workbook& m_workbook;
    std::vector<uint32_t> m_state;  // by formula id: 0 not seen, 1 as stored, k + 2 m_rewritten[k]
    std::vector<std::string> m_rewritten;
};

// xl/worksheets/sheetN.xml for sheet index of the plan's workbook, streamed row by row.
void writeWorksheet(ZipWriter& zip, const PackagePlan& plan, int32_t index, FormulaTexts& formulas);

}  // namespace plyfold::engine::xlsx
