#pragma once

#include "cli/options.h"

namespace plyfold::cli {

enum ExitStatus : int { kSuccess = 0, kFailure = 1, kUsage = 2 };

// Prints each source's workbooks and their worksheets to standard output.
int runList(const Options& options);

// Queues the sources, runs the window's Merge command headless and writes the result.
int runMerge(const Options& options);

}  // namespace plyfold::cli
