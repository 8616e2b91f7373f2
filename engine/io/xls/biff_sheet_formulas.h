#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/io/xls/biff_formula.h"
#include "engine/io/xls/biff_records.h"
#include "engine/model/cell_ref.h"

namespace plyfold::engine {
class Sheet;
struct Cell;
}  // namespace plyfold::engine

namespace plyfold::engine::xls {

// Gathers the formulas of one sheet's substream while its cells are read, and gives them to
// the sheet's cells once they are all placed: a cell's own formula, a formula shared by many
// cells (SHRFMLA) or the anchor of an array formula (ARRAY). A formula whose tokens cannot be
// read leaves the cell its cached value, and the sheet lists it as not carried.
class BiffSheetFormulas {
public:
    // sheet: the index of the sheet in the workbook stream.
    BiffSheetFormulas(const BiffFormulaLinks& links, int32_t sheet)
        : m_links(links), m_sheet(sheet) {}

    // A FORMULA record, as the cell values hand it on (BiffCellValue::formula).
    void addCell(uint32_t row, uint16_t column, std::string_view formulaRecord);
    // Takes a SHRFMLA or ARRAY record; others are not its business (false).
    bool takeRecord(const BiffRecord& record);
    // Sets the formulas of the sheet's cells, found through cellOf (nullptr for a cell that
    // is not there), adds its array formulas and lists what it cannot carry.
    void apply(Sheet& sheet, const std::function<Cell*(CellRef)>& cellOf) const;

    static constexpr uint16_t kSharedFormulaRecord = 0x04BC;
    static constexpr uint16_t kArrayRecord = 0x0221;

private:
    struct Group {
        CellRange range;
        std::string_view tokens;
        std::string_view extra;
    };
    struct FormulaCell {
        CellRef at;
        std::string_view tokens;
        std::string_view extra;
    };
    static bool group(std::string_view data, size_t headSize, Group& out);
    const Group* findGroup(const std::map<std::pair<int32_t, int32_t>, Group>& groups,
                           CellRef anchor) const;

    const BiffFormulaLinks& m_links;
    const int32_t m_sheet;
    std::vector<FormulaCell> m_cells;
    std::map<std::pair<int32_t, int32_t>, Group> m_shared;  // by anchor (row, column)
    std::map<std::pair<int32_t, int32_t>, Group> m_arrays;
};

}  // namespace plyfold::engine::xls
