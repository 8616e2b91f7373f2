#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

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
    std::string gap = "0";
    bool skipFirst = false;
    bool autofit = true;
    uint64_t memoryLimit = 0;  // bytes; 0 the default
    bool list = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    std::string output;
};

struct UsageError {
    std::string message;
};

// Reads the command line (without the program name). "--" ends the options, so sources
// may begin with a dash.
std::variant<Options, UsageError> parseOptions(const std::vector<std::string>& arguments);

std::string usageText();

}  // namespace plyfold::cli
