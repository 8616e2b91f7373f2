#pragma once

#include <vector>

#include "cli/options.h"
#include "cli/queue_builder.h"
#include "merge/merge_request.h"

namespace plyfold::cli {

enum ExitStatus : int { kSuccess = 0, kFailure = 1, kUsage = 2 };

// Prints each source's workbooks and their worksheets to standard output.
int runList(const Options& options);

// Builds the merge request from the sources and options, runs the merge and writes the result.
int runMerge(const Options& options);

// Merges the queue as the options say and writes the result; names the rows and sources that
// could not be merged, and writes nothing then unless the options keep going.
int mergeQueue(const Options& options, const QueueBuilder& queue);

// Merges the queue and options of the job file (--job), the options given besides overriding
// the job's, and writes the result to -o or to the job's output.
int runJob(const Options& options);

}  // namespace plyfold::cli
