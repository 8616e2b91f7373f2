#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "controls/form1_controls.h"

namespace plyfold::merge {

// What the one-workbook merge names each copied worksheet.
enum class SheetNaming {
    Source,        // the source sheet's name ("Sales")
    File,          // the source file's name without folder and extension ("01-January")
    FileAndSheet,  // both ("01-January Sales")
};

// The window's choice as a naming, and back.
SheetNaming sheetNamingFor(controls::SheetNamesChoice choice);
controls::SheetNamesChoice sheetNamesChoiceFor(SheetNaming naming);

// "source", "file", "file-sheet": the spelling of the command line and of job files.
std::string_view sheetNamingName(SheetNaming naming);
std::optional<SheetNaming> parseSheetNaming(std::string_view name);

// The name the copy of sheet (of the file at path) asks for: a valid sheet name, with the
// characters a sheet name may not hold replaced by '_', no apostrophe at either end, cut to
// 31 characters. The result's " (2)", " (3)", ... keeps it unique.
std::string copySheetName(SheetNaming naming, const std::string& path, const std::string& sheet);

}  // namespace plyfold::merge
