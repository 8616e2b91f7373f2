#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "engine/common/text_dialect.h"
#include "merge/merge_request.h"

namespace plyfold::cli {

using merge::MergeMode;

// A source as given: a file, a folder, or FILE:SHEET (resolved against the file system
// later), with the sheets that --sheet picked after it.
struct SourceArgument {
    std::string text;
    std::vector<std::string> sheets;
};

struct Options {
    std::vector<SourceArgument> sources;
    std::vector<std::string> queueFiles;
    // --sheets and --exclude-sheets: which worksheets file and folder sources contribute.
    std::vector<std::string> sheetPatterns;
    std::vector<std::string> excludedSheetPatterns;
    MergeMode mode = MergeMode::Vertical;
    int32_t gap = 0;
    bool skipFirst = false;
    bool autofit = true;
    // What the one-workbook merge names its copies.
    merge::SheetNaming sheetNaming = merge::SheetNaming::Source;
    // Every block's header row (1-based); the rows above it are titles, left out.
    int32_t headerRow = 1;
    // The vertical merge puts each column under its header.
    bool matchHeaders = false;
    // A first column (vertical) or row (horizontal) naming each block's file and sheet.
    bool sourceColumn = false;
    uint64_t memoryLimit = 0;  // bytes; 0 the default
    bool list = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    std::string output;
    // Merge what can be merged, leaving out (and naming) the rows that cannot.
    bool keepGoing = false;
    // A folder source's subfolders too.
    bool recursive = false;
    // A folder source keeps the workbooks an earlier merge wrote.
    bool includeResults = false;
    // Where the tab-separated report of every queue row goes; empty for none.
    std::string report;
    engine::TextDialect textDialect;
    engine::CsvValues csvValues = engine::CsvValues::Shown;
    // --job FILE: the queue and options come from a job file; options given besides override
    // the job's.
    std::string jobFile;
    // The options given, by the name they were given under ("--mode", "-o"), so that a job's
    // settings give way to them.
    std::set<std::string> given;

    bool isGiven(const std::string& name) const { return given.count(name) != 0; }
};

struct UsageError {
    std::string message;
};

// Reads the command line (without the program name). "--" ends the options, so sources
// may begin with a dash.
std::variant<Options, UsageError> parseOptions(const std::vector<std::string>& arguments);

std::string usageText();

// Why the options' result file cannot hold the result of a merge in their mode (not .xlsx or
// .csv, a workbook result as .csv, --csv-values for a workbook file); nothing when it can.
std::optional<std::string> resultFileProblem(const Options& options);

}  // namespace plyfold::cli
