#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/terminal_services.h"
#include "merge/merge_job.h"

namespace plyfold::cli {
namespace {

// The options of the merge: the job's, except those given on the command line.
Options optionsWithJob(const Options& commandLine, const merge::MergeJob& job) {
    Options options = commandLine;
    if (!commandLine.isGiven("--mode")) {
        options.mode = job.mode;
    }
    if (!commandLine.isGiven("--gap")) {
        options.gap = merge::wholeGap(job.gap).value_or(0);
    }
    if (!commandLine.isGiven("--skip-first")) {
        options.skipFirst = job.dropFirstLine;
    }
    if (!commandLine.isGiven("--no-autofit")) {
        options.autofit = job.autofit;
    }
    if (!commandLine.isGiven("--sheet-names")) {
        options.sheetNaming = job.sheetNaming;
    }
    if (!commandLine.isGiven("--header-row")) {
        options.headerRow = job.headerRow;
    }
    if (!commandLine.isGiven("--match-headers")) {
        options.matchHeaders = job.matchHeaders;
    }
    if (!commandLine.isGiven("--source-column")) {
        options.sourceColumn = job.sourceColumn;
    }
    if (!commandLine.isGiven("--delimiter")) {
        options.textDialect.delimiter = job.textDialect.delimiter;
    }
    if (!commandLine.isGiven("--decimal-comma")) {
        options.textDialect.decimal = job.textDialect.decimal;
    }
    if (!commandLine.isGiven("--date-order")) {
        options.textDialect.dateOrder = job.textDialect.dateOrder;
    }
    if (options.output.empty()) {
        options.output = job.output;
    }
    return options;
}

}  // namespace

int runJob(const Options& commandLine) {
    merge::MergeJob job;
    try {
        job = merge::readJobFile(commandLine.jobFile);
    } catch (const merge::JobError& error) {
        printMessage(error.what());
        return kUsage;
    }
    const Options options = optionsWithJob(commandLine, job);
    if (options.output.empty()) {
        printMessage("no result file given: the job '" + commandLine.jobFile +
                     "' names none (use -o RESULT)");
        return kUsage;
    }
    if (auto problem = resultFileProblem(options)) {
        printMessage(*problem);
        return kUsage;
    }
    if (!commandLine.isGiven("--gap") && !merge::wholeGap(job.gap)) {
        printMessage("'" + commandLine.jobFile + "': the gap '" + job.gap +
                     "' is not a whole number 0 or more");
        return kUsage;
    }
    // A job whose files moved gives no result that quietly lacks them: the merge names them.
    QueueBuilder queue;
    queue.addRows(job.rows);
    return mergeQueue(options, queue);
}

}  // namespace plyfold::cli
