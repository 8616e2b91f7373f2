#include "discovery/list_workbooks.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "controls/form1_controls.h"
#include "discovery/natural_order.h"
#include "discovery/path_helpers.h"
#include "engine/common/file_kind.h"

namespace plyfold::discovery {
namespace {

// The groups of the workbook list, in the order they are listed.
enum FileGroup : int { kGroupWorkbook, kGroupCsv, kGroupDbf, kGroupText, kGroupCount, kNoGroup };

// The group of a name by its type. "xls" stands for every workbook type a spreadsheet reads
// under that pattern: .xls, .xlsx and .xlsm.
FileGroup groupOf(std::string_view name) {
    const files::FileType type = files::fileTypeOfName(name);
    if (files::isWorkbookType(type)) {
        return kGroupWorkbook;
    }
    switch (type) {
        case files::FileType::Csv:
            return kGroupCsv;
        case files::FileType::Dbf:
            return kGroupDbf;
        case files::FileType::Text:
            return kGroupText;
        default:
            return kNoGroup;
    }
}

// The names of the folder's files, by group: regular files and links that end at one, hidden
// names left out. Throws files::FileError when the folder cannot be listed.
std::array<std::vector<std::string>, kGroupCount> scanFolder(const std::string& folder) {
    std::array<std::vector<std::string>, kGroupCount> groups;
    for (files::FolderEntry& entry : files::listFolder(folder)) {
        if (entry.kind != files::EntryKind::File || files::isHiddenName(entry.name)) {
            continue;
        }
        FileGroup group = groupOf(entry.name);
        if (group != kNoGroup) {
            groups[group].push_back(std::move(entry.name));
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

std::optional<files::FileError> ListWorkbooks(controls::Form1Controls& form,
                                              const std::string& source) {
    controls::ListModel& list = form.ListView2;
    std::optional<files::FileError> failure;
    list.clear();
    try {
        for (std::string& name : workbookNamesOf(source)) {
            list.setChecked(list.add(std::move(name)), true);
        }
    } catch (const files::FileError& error) {
        failure = error;
    }
    list.setVisible(true);
    list.refresh();
    return failure;
}

}  // namespace plyfold::discovery
