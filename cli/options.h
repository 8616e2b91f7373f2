#pragma once

#include <cstdint>
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
    MergeMode mode = MergeMode::Vertical;
    int32_t gap = 0;
    bool skipFirst = false;
    bool autofit = true;
    uint64_t memoryLimit = 0;  // bytes; 0 the default
    bool list = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    std::string output;
    // Merge what can be merged, leaving out (and naming) the rows that cannot.
    bool keepGoing = false;
    // Where the tab-separated report of every queue row goes; empty for none.
    std::string report;
    engine::TextDialect textDialect;
    engine::CsvValues csvValues = engine::CsvValues::Shown;
    bool csvValuesGiven = false;
};

struct UsageError {
    std::string message;
};

// Reads the command line (without the program name). "--" ends the options, so sources
// may begin with a dash.
std::variant<Options, UsageError> parseOptions(const std::vector<std::string>& arguments);

std::string usageText();

}  // namespace plyfold::cli
