#include "discovery/path_helpers.h"

#include "controls/form1_controls.h"
#include "engine/common/file_access.h"
#include "engine/common/file_kind.h"

namespace plyfold::discovery {
namespace {

constexpr char kSeparator = '/';
constexpr size_t kLongestName = 32767;

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
    switch (files::pathKind(path)) {
        case files::PathKind::Folder:
            return kPathFolder;
        case files::PathKind::File:
            return kPathFile;
        case files::PathKind::Missing:
            break;
    }
    return kPathMissing;
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
    // GetFileExtension stops at a blank as well as at a ".": "notes txt" has the text icon.
    switch (files::fileTypeOfExtension(GetFileExtension(path))) {
        case files::FileType::Text:
            return kIconText;
        case files::FileType::Csv:
            return kIconCsv;
        case files::FileType::Dbf:
            return kIconDbf;
        default:
            return kIconWorkbook;
    }
}

int SourceIconForPath(const std::string& path) {
    switch (GetPathKind(path)) {
        case kPathFile:
            return SourceIconForFile(path);
        case kPathFolder:
            return kIconFolder;
        default:
            return kIconNotFound;
    }
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
