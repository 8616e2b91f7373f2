#pragma once

#include <string>
#include <vector>

#include "cli/options.h"
#include "discovery/list_workbooks.h"

namespace plyfold::cli {

// How the options scan folder sources: --recursive, --include-results, and the result file
// left out.
discovery::FolderScanOptions scanOptionsOf(const Options& options);

// Adds a line to notes for each file a folder scan left out, each subfolder it could not
// list, and a scan cut short.
void addScanNotes(const std::string& folder, const discovery::WorkbookScan& scan,
                  std::vector<std::string>& notes);

}  // namespace plyfold::cli
