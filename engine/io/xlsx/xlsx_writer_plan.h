#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "engine/io/xlsx/drawing_writer.h"
#include "engine/io/xlsx/table_writer.h"
#include "engine/io/xlsx/xlsx_writer.h"
#include "engine/model/workbook.h"

namespace plyfold::engine::xlsx {

inline constexpr uint32_t kNoSharedString = UINT32_MAX;
inline constexpr uint32_t kFirstCustomFormatId = 164;

// The texts the cells use, each once, in the order the cells first use them. The workbook's
// pool may hold texts no cell uses any more (cleared cells, sources' leftovers); they are
// not written.
struct SharedStringTable {
    std::vector<uint32_t> indexOfText;  // by pool id: the index in the part, or kNoSharedString
    std::vector<uint32_t> texts;        // pool ids in the order of the part
    uint64_t references = 0;            // cells that refer to the part
    // Texts written with their runs (Workbook::richTextOf), each once: by rich text id, the
    // index in the part or kNoSharedString; by index in the part, the Cell::richText written
    // there (0 for a plain text). Both empty while no cell has runs.
    std::vector<uint32_t> indexOfRich;
    std::vector<uint32_t> richOf;
};

// What every part writer needs to know, worked out in one pass over the workbook before
// anything is written.
struct PackagePlan {
    const Workbook* workbook = nullptr;
    PackageKind kind = PackageKind::Workbook;
    std::time_t created = 0;
    int32_t activeSheet = 0;
    // As written: a file needs at least one visible sheet, and its active sheet visible.
    std::vector<SheetVisibility> visibility;
    SharedStringTable sharedStrings;
    // By format code id: the numFmtId written, or -1 when no style uses the code.
    std::vector<int32_t> numberFormatIds;
    // Format code ids of the custom codes, in the order of their ids from 164.
    std::vector<uint32_t> customFormatCodes;
    TablePlan tables;
    DrawingPlan drawings;

    int32_t sheetCount() const { return static_cast<int32_t>(visibility.size()); }
    static std::string worksheetPartName(int32_t index);  // "xl/worksheets/sheet1.xml", ...
};

// Loads every sheet, checks the model can be written (throws SpreadsheetError naming the
// sheet when it holds a reference to a missing text, formula or style, or cells out of
// order) and collects the shared strings and number formats.
PackagePlan planPackage(const Workbook& workbook, const XlsxWriteOptions& options);

}  // namespace plyfold::engine::xlsx
