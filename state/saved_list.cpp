#include "state/saved_list.h"

#include <optional>

#include "controls/list_model.h"
#include "engine/common/atomic_file.h"
#include "engine/common/file_access.h"
#include "state/text_file.h"

namespace plyfold::state {
namespace {

// The file's lines as far as kMostStateFileBytes, or nothing when it is missing, cannot be read
// or is no regular file: both files are optional, and one that cannot be read counts as absent.
std::optional<std::string> readIfReadable(const std::string& path) {
    // Checked before opening: opening a pipe or a device can have effects of its own.
    if (!files::isFile(path)) {
        return std::nullopt;
    }
    std::string bytes;
    try {
        bytes = files::readFirstBytes(path, kMostStateFileBytes + 1);
    } catch (const files::FileError&) {
        return std::nullopt;
    }
    if (bytes.size() > kMostStateFileBytes) {
        // A line cut at the bound is no entry: keep the lines that end within it.
        const size_t lastEnd = bytes.rfind('\r', kMostStateFileBytes - 1);
        bytes.resize(lastEnd == std::string::npos ? 0 : lastEnd + 1);
    }
    return bytes;
}

// Replaces the file, or throws StateFileRefused when its name is taken by anything but a file
// or a link: the user put that there, and it is not ours to replace.
void replaceStateFile(const std::string& path, std::string_view bytes) {
    const std::optional<files::EntryKind> kind = files::entryKind(path);
    if (kind && kind != files::EntryKind::File && kind != files::EntryKind::Link) {
        throw StateFileRefused(path);
    }
    files::replaceFile(path, bytes);
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

StateFileRefused::StateFileRefused(const std::string& path)
    : files::FileError(ErrorNumber::FileAccess,
                       "'" + path + "' is not a regular file, so it was left as it is.", path, 0) {}

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
    replaceStateFile(fileInFolder(programFolder, kSavedListFile), bytes);
}

int readAutoSaveFlag(const std::string& programFolder) {
    return settingsFirstLine(programFolder) == "1" ? 1 : 0;
}

void writeAutoSaveFlag(const std::string& programFolder, int checkValue) {
    replaceStateFile(fileInFolder(programFolder, kSettingsFile),
                     checkValue == 1 ? "1\r\n" : "0\r\n");
}

}  // namespace plyfold::state
