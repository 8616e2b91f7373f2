#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/block_gap.h"
#include "cli/commands.h"
#include "cli/queue_builder.h"
#include "cli/terminal_services.h"
#include "engine/common/file_access.h"
#include "merge/merge_request.h"

namespace plyfold::cli {
namespace {

// Fills the queue; false when a source is missing, a queue file is unusable or a workbook
// cannot be listed (a merge of fewer sources than asked would look like success).
bool fillQueue(const Options& options, QueueBuilder& queue, int& status) {
    for (const std::string& queueFile : options.queueFiles) {
        if (auto error = queue.addQueueFile(queueFile)) {
            printMessage(*error);
            status = kUsage;
            return false;
        }
    }
    for (const SourceArgument& argument : options.sources) {
        auto source = resolveSource(argument);
        if (!source) {
            printMessage(argument.text + ": File does not exist!");
            status = kFailure;
            return false;
        }
        queue.addSource(*source);
    }
    status = kFailure;
    return !queue.hasFailed();
}

// The gap as the window reads its gap box: less than 1 is 0.
int32_t gapOf(const std::string& text) {
    const int32_t gap = app::ReadGapNumber(text);
    return gap < 1 ? 0 : gap;
}

// The input the result would replace: a queued file, or a queue file, that is the same file as
// the result (through a link or a hard link too); nothing when the result replaces no input.
std::optional<std::string> inputReplacedBy(const Options& options,
                                           const std::vector<merge::QueueRow>& rows) {
    std::vector<std::string> inputs = options.queueFiles;
    if (!options.jobFile.empty()) {
        inputs.push_back(options.jobFile);
    }
    inputs.reserve(inputs.size() + rows.size());
    for (const merge::QueueRow& row : rows) {
        inputs.push_back(row.path);
    }
    return files::findSameFile(options.output, inputs);
}

bool hasCheckedRow(const std::vector<merge::QueueRow>& rows) {
    for (const merge::QueueRow& row : rows) {
        if (row.checked) {
            return true;
        }
    }
    return false;
}

}  // namespace

int runMerge(const Options& options) {
    QueueBuilder queue;
    int status = kSuccess;
    if (!fillQueue(options, queue, status)) {
        return status;
    }
    return mergeQueue(options, queue.rows());
}

int mergeQueue(const Options& options, const std::vector<merge::QueueRow>& rows) {
    int status = kSuccess;
    if (auto input = inputReplacedBy(options, rows)) {
        printMessage("the result '" + options.output + "' would replace '" + *input +
                     "', an input of this merge: write it to another file");
        return kUsage;
    }
    merge::MergeRequest request;
    request.rows = rows;
    request.mode = options.mode;
    request.gap = gapOf(options.gap);
    request.dropFirstLine = options.skipFirst;
    request.autofit = options.autofit;
    request.memoryLimit = options.memoryLimit;
    request.textDialect = options.textDialect;
    if (!hasCheckedRow(request.rows)) {
        printMessage("Please select some excel files to Merge!");
        return kFailure;
    }

    std::unique_ptr<TerminalProgress> progress;
    if (!options.quiet && stderrIsTerminal()) {
        progress = std::make_unique<TerminalProgress>(static_cast<int>(request.rows.size()));
        request.progress = [&progress](int row) { progress->show(row); };
    }
    merge::MergeOutcome outcome = merge::runMerge(request);
    progress.reset();
    if (!outcome.succeeded()) {
        printMessage(outcome.failure->message());
        printMessage("Merge Failed!");
        return kFailure;
    }
    // Said whether or not the save succeeds: the sources hold it either way.
    for (const merge::UncarriedFeature& feature : outcome.uncarried) {
        printMessage(feature.message());
    }
    try {
        outcome.result->SaveAs(options.output);
    } catch (const SpreadsheetError& error) {
        printMessage(error.description());
        status = kFailure;
    }
    outcome.server->Quit();
    return status;
}

}  // namespace plyfold::cli
