#include "engine/common/file_kind.h"

#include <array>
#include <utility>

#include "engine/common/text.h"

namespace plyfold::files {

FileType fileTypeOfExtension(std::string_view extension) {
    static constexpr std::array<std::pair<std::string_view, FileType>, 8> kTypes{{
        {"xls", FileType::Xls},
        {"xlsx", FileType::Xlsx},
        {"xlsm", FileType::Xlsm},
        {"xltx", FileType::Xltx},
        {"xltm", FileType::Xltm},
        {"csv", FileType::Csv},
        {"txt", FileType::Text},
        {"dbf", FileType::Dbf},
    }};
    for (const auto& [name, type] : kTypes) {
        if (engine::equalsIgnoringAsciiCase(extension, name)) {
            return type;
        }
    }
    return FileType::Other;
}

FileType fileTypeOfName(std::string_view path) {
    const size_t stop = path.find_last_of("./");
    if (stop == std::string_view::npos || path[stop] != '.') {
        return FileType::Other;
    }
    return fileTypeOfExtension(path.substr(stop + 1));
}

bool isWorkbookType(FileType type) {
    return type == FileType::Xls || type == FileType::Xlsx || type == FileType::Xlsm;
}

}  // namespace plyfold::files
