#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "engine/model/cell.h"
#include "engine/model/cell_ref.h"

namespace plyfold::engine {

// A value of another workbook's cell as this workbook last saw it.
struct ExternalValue {
    CellType type = CellType::Blank;
    double number = 0.0;  // also a boolean as 0 or 1
    ErrorValue error = ErrorValue::Ref;
    std::string text;

    bool operator==(const ExternalValue&) const = default;
};

// One sheet of another workbook: its name and the values of the cells that formulas read.
struct ExternalSheet {
    std::string name;
    std::map<std::pair<int32_t, int32_t>, ExternalValue> cells;  // by (row, column), 0-based
};

// A defined name of another workbook that formulas read; sheet is the index in the book's
// sheets for a name scoped to one, -1 for a workbook-wide name.
struct ExternalName {
    std::string name;
    std::string formula;
    int32_t sheet = -1;
};

// Another workbook that formulas of this one read, written in them as "[n]Sheet!A1" with n
// its 1-based place in Workbook::externalBooks(). It keeps the values those formulas read,
// so that they compute without the other file.
struct ExternalBook {
    std::string path;  // the file: an absolute path, or a location as a file named it
    std::vector<ExternalSheet> sheets;
    std::vector<ExternalName> names;

    // The index of the sheet, compared without regard to case; -1 when the book lacks it.
    int32_t sheetIndex(std::string_view name) const;
    // The index of the sheet, added when missing.
    int32_t addSheet(std::string_view name);
};

// A name that stands for a formula: "Rate" for Summary!$B$1. Names scoped to one sheet
// belong to that sheet (Sheet::definedNames()), the others to the workbook.
struct DefinedName {
    std::string name;
    std::string formula;  // without "=", as formulas of cells are stored
    std::string comment;
    bool hidden = false;
};

// The name in names equal to name without regard to case; nullptr when none.
const DefinedName* findDefinedName(const std::vector<DefinedName>& names, std::string_view name);

// Where a sheet copied from another workbook came from.
struct SheetOrigin {
    std::string path;   // the source workbook's file
    std::string sheet;  // the sheet's name there
};

}  // namespace plyfold::engine
