#include "cli/folder_scan.h"

#include "discovery/path_helpers.h"

namespace plyfold::cli {

discovery::FolderScanOptions scanOptionsOf(const Options& options) {
    discovery::FolderScanOptions scan;
    scan.recursive = options.recursive;
    scan.includeResults = options.includeResults;
    scan.outputFile = options.output;
    return scan;
}

void addScanNotes(const std::string& folder, const discovery::WorkbookScan& scan,
                  std::vector<std::string>& notes) {
    for (const discovery::LeftOutWorkbook& left : scan.leftOut) {
        const std::string path = "'" + discovery::JoinPath(folder, left.name) + "' left out: ";
        notes.push_back(path + (left.reason == discovery::LeftOutReason::OutputFile
                                    ? "it is the result file of this merge"
                                    : "a result Plyfold wrote (--include-results merges it)"));
    }
    for (const std::string& name : scan.unlistedFolders) {
        notes.push_back("'" + discovery::JoinPath(folder, name) +
                        "' left out: the folder cannot be listed");
    }
    if (scan.cutShort) {
        notes.push_back("'" + folder + "': only " + std::to_string(discovery::kMaxScannedFolders) +
                        " folders, at most " + std::to_string(discovery::kMaxScanDepth) +
                        " levels deep, are scanned; the others are left out");
    }
}

}  // namespace plyfold::cli
