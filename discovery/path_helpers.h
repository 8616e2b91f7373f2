#pragma once

#include <cstdint>
#include <string>

namespace plyfold::controls {
struct Form1Controls;
}

namespace plyfold::discovery {

// What a path names.
enum PathKind : int { kPathMissing = 0, kPathFolder = 1, kPathFile = 2 };

// Small-icon indexes of the source list.
enum SourceIcon : int {
    kIconWorkbook = 1,
    kIconFolder = 2,
    kIconNotFound = 3,
    kIconText = 4,
    kIconCsv = 5,
    kIconDbf = 6,
};

// 0 when the path does not exist or cannot be examined, 1 for a folder, 2 for a plain file.
// Hidden entries (names beginning with ".") and paths with wildcards are 0, and so is
// anything that is neither a folder nor a regular file (a device, a pipe). Never fails.
int GetPathKind(const std::string& path);

// The lower-case text after the last "." or blank of the name; the whole name lowered when
// it has neither; "" when the name ends in one or is longer than 32,767 characters.
std::string GetFileExtension(const std::string& name);

// The icon of a source file: 4 for "txt", 5 for "csv", 6 for "dbf", else 1.
int SourceIconForFile(const std::string& path);

// The icon of a source entry: its file's icon, the folder icon, or the not-found icon.
int SourceIconForPath(const std::string& path);

// The workbook that the selections of the source list and the workbook list designate: the
// source itself when it is a file, the folder joined with the selected workbook name when that
// is a file, else "". A list with no selected row counts as an empty name.
std::string GetSelectedWorkbookPath(const controls::Form1Controls& form);
// The same with the given row (1-based) of the workbook list instead of its selection.
std::string GetWorkbookPathAt(const controls::Form1Controls& form, int32_t row);

// The folder joined with a name, without doubling the separator.
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace plyfold::discovery
