#include "discovery/list_workbooks.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string_view>
#include <vector>

#include "controls/form1_controls.h"
#include "discovery/natural_order.h"
#include "discovery/path_helpers.h"

namespace plyfold::discovery {
namespace {

// The groups of the workbook list, in the order they are listed.
enum FileGroup : int { kGroupWorkbook, kGroupCsv, kGroupDbf, kGroupText, kGroupCount, kNoGroup };

char foldCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsFolded(std::string_view text, std::string_view lower) {
    return text.size() == lower.size() &&
           std::equal(text.begin(), text.end(), lower.begin(),
                      [](char a, char b) { return foldCase(a) == b; });
}

// The group of a name by the text after its last full stop. "xls" stands for every workbook
// type a spreadsheet reads under that pattern: .xls, .xlsx and .xlsm.
FileGroup groupOf(std::string_view name) {
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return kNoGroup;
    }
    std::string_view extension = name.substr(dot + 1);
    if (equalsFolded(extension, "xls") || equalsFolded(extension, "xlsx") ||
        equalsFolded(extension, "xlsm")) {
        return kGroupWorkbook;
    }
    if (equalsFolded(extension, "csv")) {
        return kGroupCsv;
    }
    if (equalsFolded(extension, "dbf")) {
        return kGroupDbf;
    }
    if (equalsFolded(extension, "txt")) {
        return kGroupText;
    }
    return kNoGroup;
}

// True when the entry is a regular file or a link that ends at one. A link to a folder, a
// dangling link and a link loop are not files.
bool isRegularFile(int folder, const dirent& entry) {
    if (entry.d_type == DT_REG) {
        return true;
    }
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) {
        return false;
    }
    struct stat info {};
    return fstatat(folder, entry.d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
}

struct DirectoryCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};

// The names of the folder's files, by group. A folder that cannot be opened gives none; a
// failure part way through keeps what was read.
std::array<std::vector<std::string>, kGroupCount> scanFolder(const std::string& folder) {
    std::array<std::vector<std::string>, kGroupCount> groups;
    std::unique_ptr<DIR, DirectoryCloser> directory(opendir(folder.c_str()));
    if (!directory) {
        return groups;
    }
    const int descriptor = dirfd(directory.get());
    while (const dirent* entry = readdir(directory.get())) {
        std::string_view name = entry->d_name;
        if (name.empty() || name.front() == '.') {
            continue;
        }
        FileGroup group = groupOf(name);
        if (group != kNoGroup && isRegularFile(descriptor, *entry)) {
            groups[group].emplace_back(name);
        }
    }
    return groups;
}

// The last component of a path, as the file system stores it.
std::string fileNameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::vector<std::string> workbookNamesOf(const std::string& source) {
    if (GetPathKind(source) == kPathFile) {
        return {fileNameOf(source)};
    }
    std::vector<std::string> all;
    for (auto& names : scanFolder(source)) {
        std::sort(names.begin(), names.end(),
                  [](const std::string& a, const std::string& b) { return naturalLess(a, b); });
        all.insert(all.end(), std::make_move_iterator(names.begin()),
                   std::make_move_iterator(names.end()));
    }
    return all;
}

void ListWorkbooks(controls::Form1Controls& form, const std::string& source) {
    controls::ListModel& list = form.ListView2;
    try {
        list.clear();
        for (std::string& name : workbookNamesOf(source)) {
            list.setChecked(list.add(std::move(name)), true);
        }
    } catch (...) {
        // A listing that fails keeps what it has listed; the caller is not told.
    }
    list.setVisible(true);
    list.refresh();
}

}  // namespace plyfold::discovery
