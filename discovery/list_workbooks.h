#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/common/file_access.h"

namespace plyfold::controls {
struct Form1Controls;
}

namespace plyfold::discovery {

// How a folder source is scanned.
struct FolderScanOptions {
    // Subfolders too, at every level, by the same rules: each folder's own files first, then
    // its subfolders in natural order, each one whole before the next. Hidden folders are
    // skipped; a link to a folder is followed, but a folder already scanned (by device and
    // inode) is not scanned again, so link loops end.
    bool recursive = false;
    // Keep the .xlsx and .xlsm files that a merge wrote (see automation::isMergeResultFile).
    bool includeResults = false;
    // A file the run is about to write, left out (even with includeResults) when the scan
    // finds it under any name and an earlier merge wrote it; a source of that name stays
    // listed, for the caller to refuse to replace it. Empty for none.
    std::string outputFile;
};

// Bounds that keep a hostile tree from running away: folders deeper below the top than
// kMaxScanDepth, and folders past the first kMaxScannedFolders, are not scanned.
inline constexpr int kMaxScanDepth = 32;
inline constexpr int kMaxScannedFolders = 10000;

enum class LeftOutReason { MergeResult, OutputFile };

// A file the scan found and left out, by its name relative to the source.
struct LeftOutWorkbook {
    std::string name;
    LeftOutReason reason = LeftOutReason::MergeResult;

    bool operator==(const LeftOutWorkbook&) const = default;
};

struct WorkbookScan {
    // The names to list, relative to the source: "Jan.xlsx", "2026/01-January.xlsx".
    std::vector<std::string> names;
    std::vector<LeftOutWorkbook> leftOut;
    // Subfolders that could not be listed (relative names); their files are missing.
    std::vector<std::string> unlistedFolders;
    // Whether a bound cut the scan short.
    bool cutShort = false;
};

// Whether a folder scan lists a file of this name: .xls, .xlsx, .xlsm, .csv, .dbf and .txt,
// without regard to case.
bool IsListedFileName(std::string_view name);

// The scan of a source: a file's own name (never left out: it was named), or the files of a
// folder in their groups and natural order. Throws files::FileError when the source is no
// file and cannot be listed as a folder.
WorkbookScan scanWorkbooks(const std::string& source, const FolderScanOptions& options = {});

// The names of scanWorkbooks alone.
std::vector<std::string> workbookNamesOf(const std::string& source,
                                         const FolderScanOptions& options = {});

// Fills the workbook list (ListView2) for one source entry, every row checked. A file source
// gives one row, its own name. Anything else is scanned as a folder: its regular files (links
// to files included, hidden names left out) ending in .xls, .xlsx or .xlsm, then .csv, then
// .dbf, then .txt, without regard to case, each group in natural order; with the form's
// includeSubfolders, its subfolders too (see FolderScanOptions). Results of earlier merges are
// left out, and the form's leftOutWorkbooks names them. A source that cannot
// be listed as a folder (missing, unreadable, neither a file nor a folder) gives no rows and
// shows nothing; the failure is returned for a caller that wants it. The list is made visible
// and repainted in every case.
std::optional<files::FileError> ListWorkbooks(controls::Form1Controls& form,
                                              const std::string& source);

}  // namespace plyfold::discovery
