#include "merge/sheet_naming.h"

#include <filesystem>

#include "engine/common/text.h"
#include "engine/model/limits.h"

namespace plyfold::merge {
namespace {

// The file name without folder or extension; either slash separates folders, since a queue
// row may come from a job written on another system.
std::string fileStem(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        name.erase(dot);
    }
    return name;
}

void trimApostrophes(std::string& name) {
    const size_t first = name.find_first_not_of('\'');
    if (first == std::string::npos) {
        name.clear();
        return;
    }
    name = name.substr(first, name.find_last_not_of('\'') - first + 1);
}

}  // namespace

SheetNaming sheetNamingFor(controls::SheetNamesChoice choice) {
    switch (choice) {
        case controls::SheetNamesChoice::SourceSheet:
            return SheetNaming::Source;
        case controls::SheetNamesChoice::File:
            return SheetNaming::File;
        case controls::SheetNamesChoice::FileAndSheet:
            return SheetNaming::FileAndSheet;
    }
    return SheetNaming::Source;
}

controls::SheetNamesChoice sheetNamesChoiceFor(SheetNaming naming) {
    switch (naming) {
        case SheetNaming::Source:
            return controls::SheetNamesChoice::SourceSheet;
        case SheetNaming::File:
            return controls::SheetNamesChoice::File;
        case SheetNaming::FileAndSheet:
            return controls::SheetNamesChoice::FileAndSheet;
    }
    return controls::SheetNamesChoice::SourceSheet;
}

std::string_view sheetNamingName(SheetNaming naming) {
    switch (naming) {
        case SheetNaming::Source:
            return "source";
        case SheetNaming::File:
            return "file";
        case SheetNaming::FileAndSheet:
            return "file-sheet";
    }
    return "source";
}

std::optional<SheetNaming> parseSheetNaming(std::string_view name) {
    for (SheetNaming naming : {SheetNaming::Source, SheetNaming::File, SheetNaming::FileAndSheet}) {
        if (name == sheetNamingName(naming)) {
            return naming;
        }
    }
    return std::nullopt;
}

std::string copySheetName(SheetNaming naming, const std::string& path, const std::string& sheet) {
    if (naming == SheetNaming::Source) {
        return sheet;
    }
    std::string name = fileStem(path);
    if (naming == SheetNaming::FileAndSheet) {
        name += " " + sheet;
    }
    for (char& c : name) {
        if (std::string_view(":\\/?*[]").find(c) != std::string_view::npos) {
            c = '_';
        }
    }
    trimApostrophes(name);
    // Cutting may leave an apostrophe at the end again.
    name = std::string(engine::utf16Prefix(name, engine::kMaxSheetNameLength));
    trimApostrophes(name);
    return name.empty() ? sheet : name;
}

}  // namespace plyfold::merge
