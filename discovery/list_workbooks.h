#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/common/file_access.h"

namespace plyfold::controls {
struct Form1Controls;
}

namespace plyfold::discovery {

// The workbook names of a source, as ListWorkbooks lists them: a file's own name, or the
// files of a folder in their groups and natural order. Throws files::FileError when the source
// is no file and cannot be listed as a folder.
std::vector<std::string> workbookNamesOf(const std::string& source);

// Fills the workbook list (ListView2) for one source entry, every row checked. A file source
// gives one row, its own name. Anything else is scanned as a folder: its regular files (links
// to files included, hidden names left out) ending in .xls, .xlsx or .xlsm, then .csv, then
// .dbf, then .txt, without regard to case, each group in natural order. A source that cannot
// be listed as a folder (missing, unreadable, neither a file nor a folder) gives no rows and
// shows nothing; the failure is returned for a caller that wants it. The list is made visible
// and repainted in every case.
std::optional<files::FileError> ListWorkbooks(controls::Form1Controls& form,
                                              const std::string& source);

}  // namespace plyfold::discovery
