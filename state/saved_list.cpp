#include "state/saved_list.h"

#include <optional>

#include "controls/list_model.h"
#include "engine/common/atomic_file.h"
#include "engine/common/file_access.h"
#include "state/text_file.h"

namespace plyfold::state {
namespace {

// The whole file, or nothing when it is missing or cannot be read: both files are optional,
// and one that cannot be read counts as absent.
std::optional<std::string> readIfReadable(const std::string& path) {
    try {
        return files::readFile(path);
    } catch (const files::FileError&) {
        return std::nullopt;
    }
}

std::optional<std::string> settingsFirstLine(const std::string& programFolder) {
    auto bytes = readIfReadable(fileInFolder(programFolder, kSettingsFile));
    if (!bytes) {
        return std::nullopt;
    }
    auto lines = splitLines(*bytes);
    if (lines.empty()) {
        return std::nullopt;
    }
    return lines.front();
}

}  // namespace

void restoreSourceList(const std::string& programFolder, controls::ListModel& sourceList,
                       const IconOfPath& iconOf) {
    auto bytes = readIfReadable(fileInFolder(programFolder, kSavedListFile));
    if (!bytes) {
        return;
    }
    for (std::string& line : splitLines(*bytes)) {
        int icon = iconOf(line);
        int row = sourceList.add(std::move(line));
        sourceList.setSmallIcon(row, icon);
    }
    sourceList.refresh();
}

void saveSourceList(const std::string& programFolder, const controls::ListModel& sourceList) {
    if (settingsFirstLine(programFolder) == "0") {
        return;
    }
    std::string bytes;
    for (int row = 1; row <= sourceList.count(); ++row) {
        bytes += sourceList.text(row);
        bytes += "\r\n";
    }
    files::replaceFile(fileInFolder(programFolder, kSavedListFile), bytes);
}

int readAutoSaveFlag(const std::string& programFolder) {
    return settingsFirstLine(programFolder) == "1" ? 1 : 0;
}

void writeAutoSaveFlag(const std::string& programFolder, int checkValue) {
    files::replaceFile(fileInFolder(programFolder, kSettingsFile),
                       checkValue == 1 ? "1\r\n" : "0\r\n");
}

}  // namespace plyfold::state
