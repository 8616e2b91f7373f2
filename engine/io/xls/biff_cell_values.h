#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/io/xls/biff_globals.h"
#include "engine/io/xls/biff_records.h"
#include "engine/model/cell.h"

namespace plyfold::engine::xls {

// One value of a sheet's cell records: a constant or the cached result of a formula.
struct BiffCellValue {
    uint32_t row = 0;
    uint16_t column = 0;
    CellType type = CellType::Blank;
    double number = 0.0;
    bool boolean = false;
    ErrorValue error = ErrorValue::NA;
    bool isDate = false;  // a number whose cell format shows a date or time
    uint16_t xf = 0;      // the cell format (XF index)
    std::string text;     // UTF-8
    // The index of a text in the shared strings (LABELSST), whose formatting runs it keeps.
    static constexpr uint32_t kNotShared = UINT32_MAX;
    uint32_t sharedString = kNotShared;
    std::vector<BiffTextRun> runs;  // of a text formatted in parts (RSTRING)
    // A formula cell's whole FORMULA record, whose value is its cached result (Blank when
    // it has none); empty for a constant.
    std::string_view formula;
};

// Handed each record of a sheet's substream that is not a cell (its layout, links, notes...).
using BiffRecordVisitor = std::function<void(const BiffRecord&, BiffRecordCursor&)>;

// Reads the values of one sheet's substream (from its BOF to its EOF, past the substreams of
// charts embedded in it) in file order and hands each to visit; blank cells (BLANK, MULBLANK)
// come as values of type Blank with their cell format, empty texts are left out, formula cells
// never (with no value when the file holds no result).
// Texts of LABELSST come from sharedStrings; 8-bit texts of BIFF5 are converted from the
// workbook's code page. Throws BiffDamage when a record is cut short, a shared text is
// missing, or the stream ends before the sheet does. Records that are not cells go to
// otherRecord, when given.
void readSheetValues(std::string_view stream, const BiffSheetInfo& sheet,
                     const BiffGlobals& globals, const std::vector<std::string>& sharedStrings,
                     const std::function<void(BiffCellValue&)>& visit,
                     const BiffRecordVisitor& otherRecord = {});

}  // namespace plyfold::engine::xls
