#include "engine/io/csv/file_sheet_name.h"

#include "engine/common/text.h"
#include "engine/common/text_decoding.h"
#include "engine/model/limits.h"

namespace plyfold::engine::csv {
namespace {

void trimApostrophes(std::string& name) {
    size_t first = name.find_first_not_of('\'');
    if (first == std::string::npos) {
        name.clear();
        return;
    }
    size_t last = name.find_last_not_of('\'');
    name = name.substr(first, last - first + 1);
}

}  // namespace

std::string sheetNameForFile(std::string_view path) {
    size_t slash = path.find_last_of('/');
    std::string_view fileName = slash == std::string_view::npos ? path : path.substr(slash + 1);
    size_t dot = fileName.find_last_of('.');
    if (dot != std::string_view::npos && dot > 0) {
        fileName = fileName.substr(0, dot);
    }
    std::string name;
    if (isUtf8(fileName)) {
        name.assign(fileName);
    } else {
        appendWindows1252AsUtf8(name, fileName);
    }
    for (char& c : name) {
        if (std::string_view(":\\/?*[]").find(c) != std::string_view::npos) {
            c = '_';
        }
    }
    trimApostrophes(name);
    name = std::string(utf16Prefix(name, kMaxSheetNameLength));
    trimApostrophes(name);  // the cut may leave one at the end
    return name.empty() ? std::string("Sheet1") : name;
}

}  // namespace plyfold::engine::csv
