#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "engine/common/file_access.h"
#include "engine/common/text_dialect.h"

namespace plyfold::controls {
class ListModel;
}

namespace plyfold::state {

// Both files live in one folder (state_folder.h chooses it); every function here takes it.
inline constexpr const char* kSavedListFile = "EXCEL.txt";
inline constexpr const char* kSettingsFile = "set.txt";

// The most of either file that is read: a longer file is read as far as its last whole line
// within this many bytes. A list of paths this long is a list of tens of thousands of entries.
inline constexpr size_t kMostStateFileBytes = size_t{8} << 20;

// Neither file is written over something that is not a regular file (a folder, a pipe, a
// device): the save throws this, naming the file, and leaves it as it is. A symbolic link there
// is replaced by the new file, never followed.
class StateFileRefused : public files::FileError {
public:
    explicit StateFileRefused(const std::string& path);
};

// The small icon a restored source entry gets for its path.
using IconOfPath = std::function<int(const std::string& path)>;

// Appends one source-list row per line of the saved list in the folder, in file
// order, each with the icon iconOf gives its path. A missing or unreadable file, or anything
// that is not a regular file (it is never opened, so a pipe cannot block), restores nothing.
void restoreSourceList(const std::string& folder, controls::ListModel& sourceList,
                       const IconOfPath& iconOf);

// Writes every row of the source list to the saved list, one path and CR LF a row, unless the
// settings file's first line is exactly "0". The file is replaced whole or not at all: a
// failure to write loses nothing already saved and throws files::FileError naming the file
// (StateFileRefused when the name is taken by something other than a file or a link).
void saveSourceList(const std::string& folder, const controls::ListModel& sourceList);

// The value the Settings dialog's check box starts with: whether the list would be saved at
// exit. 0 when the settings file's first line is exactly "0", else 1 (also for any other line,
// and for an empty, missing or unreadable file, which let the save go on).
int readAutoSaveFlag(const std::string& folder);

// Replaces the settings file's first line with "1" or "0" for a check box value of 1 or 0,
// keeping the lines after it (every line ends in CR LF). Throws files::FileError, leaving the
// old file whole, when it cannot be written (StateFileRefused as the save does).
void writeAutoSaveFlag(const std::string& folder, int checkValue);

// The dialect the window reads .csv and .txt sources with, from the settings file's lines after
// the first: "delimiter=" comma, semicolon, tab or pipe (or the character itself),
// "decimal=" point or comma, "date-order=" dmy, mdy or ymd. Whatever is missing, unknown or
// unreadable is automatic, as is all of it for a missing or unreadable file.
engine::TextDialect readTextDialect(const std::string& folder);

// Replaces the settings file with the flag line (as writeAutoSaveFlag writes it) and the
// dialect's three lines ("automatic" for what is guessed), keeping any other line the file had
// after its first. Readers of the flag look only at the first line. Throws as
// writeAutoSaveFlag does.
void writeSettings(const std::string& folder, int checkValue, const engine::TextDialect& dialect);

}  // namespace plyfold::state
