#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/model/cell.h"
#include "engine/model/cell_ref.h"

namespace plyfold::engine::xls {

// What the formulas of a workbook stream name outside themselves: the workbook's own sheets,
// the books the EXTERNSHEET table points into (SUPBOOK records) and the defined names.
struct BiffFormulaLinks {
    struct Book {
        enum class Kind : uint8_t { Self, AddIn, External, Other };
        Kind kind = Kind::Other;
        int32_t externalIndex = -1;       // of an external book: its index in externalBooks()
        std::vector<std::string> sheets;  // of an external book, UTF-8
        std::vector<std::string> names;   // EXTERNNAME records in order: add-in functions...
    };
    // One entry of the EXTERNSHEET table: a book and a run of its sheets.
    struct SheetRun {
        uint16_t book = 0;
        uint16_t first = 0;  // 0xFFFE: the book itself, no sheet; 0xFFFF: a deleted sheet
        uint16_t last = 0;
    };
    std::vector<Book> books;
    std::vector<SheetRun> sheetRuns;
    std::vector<std::string> sheetNames;  // the workbook's sheets as the model names them
    std::vector<std::string> names;       // NAME records in order, as formulas write them
    std::vector<int32_t> nameSheets;      // for each: the index of its sheet, -1 for none
    bool readable = true;  // false for the formulas of BIFF2 to BIFF4, which are not read
    bool biff8 = true;     // false for BIFF5
    std::string codePage = "CP1252";  // the iconv name of BIFF5's 8-bit texts
};

// The formula text (without "=") that the tokens of a cell, shared formula or name give when
// read at cell `at` (references relative to the cell are made absolute from it) of the sheet
// with index `sheet` (-1 for a workbook's name), where a name scoped to another sheet is
// written with that sheet. extra is what follows the tokens in the record: the constants of
// array tokens. nullopt when a token is not one a formula can hold here or the tokens do not
// form one formula. extraRead, when given, is set to the bytes of extra the tokens use.
std::optional<std::string> decompileBiffFormula(std::string_view tokens, std::string_view extra,
                                                CellRef at, const BiffFormulaLinks& links,
                                                int32_t sheet = -1, size_t* extraRead = nullptr);

// The error value of a BIFF error code; false for a code no error has.
bool errorOfBiffCode(uint8_t code, ErrorValue& error);

// The text of a number as formulas write it: shortest round trip, "1E+100" for large ones.
std::string formulaNumberText(double value);

}  // namespace plyfold::engine::xls
