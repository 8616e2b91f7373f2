#include "discovery/path_helpers.h"

#include <sys/stat.h>

#include "controls/form1_controls.h"

namespace plyfold::discovery {
namespace {

constexpr char kSeparator = '/';
constexpr size_t kLongestName = 32767;

// The last component of the path, ignoring separators at its end; empty for the root.
std::string_view lastComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == kSeparator) {
        path.remove_suffix(1);
    }
    size_t slash = path.rfind(kSeparator);
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool isHiddenName(std::string_view name) {
    return !name.empty() && name.front() == '.' && name != "." && name != "..";
}

std::string selectedText(const controls::ListModel& list) {
    return list.hasSelection() ? list.text(list.selectedIndex()) : std::string();
}

std::string resolveWorkbook(const std::string& source, const std::string& workbookName) {
    switch (GetPathKind(source)) {
        case kPathFile:
            return source;
        case kPathFolder: {
            std::string candidate = JoinPath(source, workbookName);
            return GetPathKind(candidate) == kPathFile ? candidate : std::string();
        }
        default:
            return {};
    }
}

}  // namespace

int GetPathKind(const std::string& path) {
    if (path.empty() || path.find_first_of(std::string_view("*?\0", 3)) != std::string::npos) {
        return kPathMissing;
    }
    if (isHiddenName(lastComponent(path))) {
        return kPathMissing;
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return kPathMissing;
    }
    if (S_ISDIR(info.st_mode)) {
        return kPathFolder;
    }
    return S_ISREG(info.st_mode) ? kPathFile : kPathMissing;
}

std::string GetFileExtension(const std::string& name) {
    if (name.size() > kLongestName) {
        return {};
    }
    size_t stop = name.find_last_of(". ");
    std::string extension = stop == std::string::npos ? name : name.substr(stop + 1);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return extension;
}

int SourceIconForFile(const std::string& path) {
    std::string extension = GetFileExtension(path);
    if (extension == "txt") {
        return kIconText;
    }
    if (extension == "csv") {
        return kIconCsv;
    }
    if (extension == "dbf") {
        return kIconDbf;
    }
    return kIconWorkbook;
}

std::string GetSelectedWorkbookPath(const controls::Form1Controls& form) {
    return resolveWorkbook(selectedText(form.ListView1), selectedText(form.ListView2));
}

std::string GetWorkbookPathAt(const controls::Form1Controls& form, int32_t row) {
    const controls::ListModel& workbooks = form.ListView2;
    std::string name = row >= 1 && row <= workbooks.count() ? workbooks.text(row) : std::string();
    return resolveWorkbook(selectedText(form.ListView1), name);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == kSeparator) {
        return folder + name;
    }
    return folder + kSeparator + name;
}

}  // namespace plyfold::discovery
