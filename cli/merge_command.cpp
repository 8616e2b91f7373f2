#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "cli/queue_builder.h"
#include "cli/terminal_services.h"
#include "engine/common/atomic_file.h"
#include "engine/common/file_access.h"
#include "merge/merge_report.h"
#include "merge/merge_request.h"

namespace plyfold::cli {
namespace {

// Fills the queue; false (with the status to end with) when a queue file is unusable. Sources
// that name nothing, or workbooks that cannot be listed, are noted in the queue as problems.
bool fillQueue(const Options& options, QueueBuilder& queue, int& status) {
    for (const std::string& queueFile : options.queueFiles) {
        if (auto error = queue.addQueueFile(queueFile)) {
            printMessage(*error);
            status = kUsage;
            return false;
        }
    }
    queue.setSheetFilter(sheetFilterOf(options));
    for (const SourceArgument& argument : options.sources) {
        if (auto source = resolveSource(argument)) {
            queue.addSource(*source);
        } else {
            queue.addMissingSource(argument);
        }
    }
    // Notes, not failures: a folder scan or a filter that leaves a workbook out does what it
    // was asked.
    for (const std::string& note : queue.notes()) {
        printMessage(note);
    }
    return true;
}

// The input a file the run writes would replace: a queued file, or a queue file, that is the
// same file (through a link or a hard link too); nothing when it replaces no input.
std::optional<std::string> inputReplacedBy(const std::string& written, const Options& options,
                                           const std::vector<merge::QueueRow>& rows) {
    std::vector<std::string> inputs = options.queueFiles;
    if (!options.jobFile.empty()) {
        inputs.push_back(options.jobFile);
    }
    inputs.reserve(inputs.size() + rows.size());
    for (const merge::QueueRow& row : rows) {
        inputs.push_back(row.path);
    }
    return files::findSameFile(written, inputs);
}

// Whether two paths name one file, existing or not (a link to it is found by findSameFile).
bool sameName(const std::string& a, const std::string& b) {
    std::error_code error;
    const auto first = std::filesystem::weakly_canonical(a, error);
    const auto second = std::filesystem::weakly_canonical(b, error);
    return !error && first == second;
}

// A message when a file the run writes would replace an input or the other file written.
std::optional<std::string> unsafeOutput(const Options& options,
                                        const std::vector<merge::QueueRow>& rows) {
    const std::pair<const char*, const std::string*> written[] = {{"result", &options.output},
                                                                  {"report", &options.report}};
    for (const auto& [what, path] : written) {
        if (path->empty()) {
            continue;
        }
        if (auto input = inputReplacedBy(*path, options, rows)) {
            return std::string("the ") + what + " '" + *path + "' would replace '" + *input +
                   "', an input of this merge: write it to another file";
        }
    }
    if (!options.report.empty() && (sameName(options.report, options.output) ||
                                    files::findSameFile(options.report, {options.output}))) {
        return "the report and the result are the same file: write the report to another file";
    }
    return std::nullopt;
}

bool hasCheckedRow(const std::vector<merge::QueueRow>& rows) {
    for (const merge::QueueRow& row : rows) {
        if (row.checked) {
            return true;
        }
    }
    return false;
}

merge::MergeRequest requestFor(const Options& options, const std::vector<merge::QueueRow>& rows) {
    merge::MergeRequest request;
    request.rows = rows;
    request.mode = options.mode;
    request.gap = options.gap;
    request.dropFirstLine = options.skipFirst;
    request.autofit = options.autofit;
    request.sheetNaming = options.sheetNaming;
    request.headerRow = options.headerRow;
    request.matchHeaders = options.matchHeaders;
    request.sourceColumn = options.sourceColumn;
    request.memoryLimit = options.memoryLimit;
    request.textDialect = options.textDialect;
    // Every problem is found in one run; whether the result is written is decided after.
    request.unmergeable = merge::UnmergeableRows::LeaveOut;
    return request;
}

// Writes the report when one was asked for; false after printing why it could not be.
bool writeReport(const Options& options, const std::vector<merge::RowReport>& rows) {
    if (options.report.empty()) {
        return true;
    }
    try {
        files::replaceFile(options.report, merge::reportText(rows));
        return true;
    } catch (const files::FileError& error) {
        printMessage("the report was not written: " + error.description());
        return false;
    }
}

// Names every row left out; returns how many there were.
size_t printLeftOut(const std::vector<merge::RowReport>& rows) {
    size_t count = 0;
    for (const merge::RowReport& row : rows) {
        if (row.wasLeftOut()) {
            printMessage(row.leftOutMessage());
            ++count;
        }
    }
    return count;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int runMerge(const Options& options) {
    QueueBuilder queue(options);
    int status = kSuccess;
    if (!fillQueue(options, queue, status)) {
        return status;
    }
    return mergeQueue(options, queue);
}

int mergeQueue(const Options& options, const QueueBuilder& queue) {
    const auto start = std::chrono::steady_clock::now();
    int status = kSuccess;
    if (auto unsafe = unsafeOutput(options, queue.rows())) {
        printMessage(*unsafe);
        return kUsage;
    }
    if (!hasCheckedRow(queue.rows()) && !queue.hasProblems()) {
        printMessage("Please select some excel files to Merge!");
        return kFailure;
    }
    merge::MergeRequest request = requestFor(options, queue.rows());

    std::unique_ptr<TerminalProgress> progress;
    if (!options.quiet && stderrIsTerminal()) {
        progress = std::make_unique<TerminalProgress>(static_cast<int>(request.rows.size()));
        request.progress = [&progress](int row) { progress->show(row); };
    }
    merge::MergeOutcome outcome =
        hasCheckedRow(request.rows) ? merge::runMerge(request) : merge::MergeOutcome{};
    progress.reset();
    std::vector<merge::RowReport> rows = queue.withProblems(outcome.rows);
    const size_t left = printLeftOut(rows);
    if (!outcome.succeeded() || !outcome.result) {
        if (outcome.failure) {
            printMessage(outcome.failure->message());
            if (!outcome.failure->path.empty()) {
                rows.push_back(merge::RowReport{outcome.failure->path, outcome.failure->sheet,
                                                merge::RowStatus::Unreadable, 0, 0,
                                                outcome.failure->description});
            }
        }
        printMessage("Merge Failed!");
        writeReport(options, rows);
        return kFailure;
    }
    if (left > 0 && !options.keepGoing) {
        outcome.server->Quit();
        printMessage(
            "nothing was written: " +
            (left == 1 ? std::string("1 worksheet") : std::to_string(left) + " worksheets") +
            " of the queue could not be merged (--keep-going merges the others)");
        writeReport(options, rows);
        return kFailure;
    }
    // Said whether or not the save succeeds: the sources hold it either way.
    for (const merge::UncarriedFeature& feature : outcome.uncarried) {
        printMessage(feature.message());
    }
    for (const merge::HeaderDifference& difference : outcome.headerDifferences) {
        printMessage(difference.message() + " (stacked by position; --match-headers matches them)");
    }
    status = kSuccess;
    try {
        outcome.result->SaveAs(options.output, options.csvValues);
    } catch (const SpreadsheetError& error) {
        printMessage(error.description());
        status = kFailure;
    }
    outcome.server->Quit();
    if (!writeReport(options, rows)) {
        status = kFailure;
    }
    if (status == kSuccess && !options.quiet) {
        outcome.summary.seconds = secondsSince(start);
        std::printf("%s\n",
                    merge::summaryText(outcome.summary, options.mode, options.output).c_str());
        std::fflush(stdout);
    }
    return status;
}

}  // namespace plyfold::cli
