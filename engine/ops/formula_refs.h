#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace plyfold::engine {

namespace formula {
struct Reference;
}

// Formula texts are stored without their leading "=", in the A1 style of the file format.

// The formula as it reads after being copied rowOffset rows down and columnOffset columns
// right: relative parts of cell and range references move, absolute ($) parts stay. A
// reference pushed off the sheet becomes #REF!. Texts in quotes and names are untouched.
std::string shiftFormula(std::string_view text, int32_t rowOffset, int32_t columnOffset);

// Which references an edit of a sheet concerns: references without a sheet name inside
// that sheet, and references naming it (compared without regard to case) anywhere.
struct SheetScope {
    std::string_view editedSheet;   // the sheet whose rows or columns are deleted
    std::string_view formulaSheet;  // the sheet that holds the formula
};

// The formula after rows [first, first + count) (0-based) of the edited sheet have been
// deleted: references below move up, a reference to a deleted cell becomes #REF!, and a
// range loses the deleted rows (becoming #REF! only when nothing is left of it).
std::string formulaAfterDeletingRows(std::string_view text, int32_t first, int32_t count,
                                     const SheetScope& scope);
std::string formulaAfterDeletingColumns(std::string_view text, int32_t first, int32_t count,
                                        const SheetScope& scope);

// The formula with every reference to a sheet that the predicate reports as missing
// replaced by #REF!, for formulas copied into a workbook that lacks their sheets.
std::string formulaWithMissingSheetsAsRef(std::string_view text,
                                          const std::function<bool(std::string_view)>& sheetExists);

// The formula with references naming oldName (compared without regard to case) made to name
// newName, for a sheet copied under another name that refers to itself by name.
std::string formulaWithSheetRenamed(std::string_view text, std::string_view oldName,
                                    std::string_view newName);

// The formula with each reference passed to rewrite, which returns false to keep it as
// written, or true after appending its replacement to the text it is given.
std::string rewriteFormulaReferences(
    std::string_view text,
    const std::function<bool(const formula::Reference&, std::string&)>& rewrite);

// shiftFormula for cells pasted into another workbook: references to other workbooks stay as
// they are, since the cells they read do not move with the paste.
std::string shiftLocalReferences(std::string_view text, int32_t rowOffset, int32_t columnOffset);

}  // namespace plyfold::engine
