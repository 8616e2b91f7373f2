#pragma once

#include "cli/options.h"

namespace plyfold::cli {

enum ExitStatus : int { kSuccess = 0, kFailure = 1, kUsage = 2 };

// Prints each source's workbooks and their worksheets to standard output.
int runList(const Options& options);

// Builds the merge request from the sources and options, runs the merge and writes the result.
int runMerge(const Options& options);

}  // namespace plyfold::cli
