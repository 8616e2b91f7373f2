#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation/automation.h"
#include "merge/merge_request.h"

namespace plyfold::merge::detail {

// What one block added to the result.
struct BlockSize {
    int32_t rows = 0;
    int32_t columns = 0;
};

// Walks the queue of a merge in row order, the way every merge does: unchecked rows and rows
// whose file is missing are skipped (with the request's LeaveOut policy also rows whose file
// or sheet cannot be read), each run of consecutive merged rows with the same path opens its
// workbook once, and the progress is told of every row. Reports what became of every row, and
// remembers the row being merged, so that a failure can name it.
class QueueWalk {
public:
    explicit QueueWalk(const MergeRequest& request) : m_request(request) {}

    // Calls mergeSheet with the source worksheet of every row to merge; it returns what the
    // block added to the result. The held copy is dropped before a source is closed.
    void forEachSheet(automation::Application& server,
                      const std::function<BlockSize(const automation::Worksheet&)>& mergeSheet);

    // Fails when no row was merged.
    void checkSomethingMerged() const;
    // Closes the last source opened; fails as checkSomethingMerged does.
    void closeLastSource();

    // The row being merged, while a row is being merged.
    const QueueRow* currentRow() const { return m_current; }

    // What became of every row reached, in queue order.
    const std::vector<RowReport>& reports() const { return m_reports; }
    // The rows merged and the distinct files they came from.
    int mergedCount() const;
    int mergedFileCount() const;

    // What the merged sources hold that the result lacks, once each by source and feature.
    const std::vector<UncarriedFeature>& uncarried() const { return m_uncarried; }
    // Adds what the merge of the current row's sheet leaves behind.
    void noteLeftBehind(const std::string& sheet, const std::string& feature);

private:
    void mergeRow(automation::Application& server, const QueueRow& row, RowReport& report,
                  const std::function<BlockSize(const automation::Worksheet&)>& mergeSheet);
    std::optional<automation::Worksheet> readableSheet(automation::Application& server,
                                                       const QueueRow& row, RowReport& report);
    void noteUncarried(const std::string& path, const std::string& sheet,
                       const std::vector<std::string>& features);
    const automation::Workbook& openSource(automation::Application& server,
                                           const std::string& path);

    const MergeRequest& m_request;
    std::optional<automation::Workbook> m_openSource;
    std::string m_previousPath;
    // The last file that could not be opened and why, so its other rows are not read again.
    std::string m_unreadablePath;
    std::string m_unreadableReason;
    const QueueRow* m_current = nullptr;
    std::vector<RowReport> m_reports;
    std::vector<UncarriedFeature> m_uncarried;
};

// The frame every merge runs in: a server instance of its own, the queue walk, and the
// turning of a failure into the outcome (the instance quit, the row being merged named).
class MergeProcedure {
public:
    explicit MergeProcedure(const MergeRequest& request) : m_request(request), m_walk(request) {}
    virtual ~MergeProcedure() = default;
    MergeProcedure(const MergeProcedure&) = delete;
    MergeProcedure& operator=(const MergeProcedure&) = delete;

    MergeOutcome run();

protected:
    // Builds the result in m_server, from start to finish; throws on failure.
    virtual void merge() = 0;

    // Starts the server instance, alerts off, and adds the result workbook.
    automation::Workbook startServer();

    // The summary of the finished merge, but its time.
    MergeSummary summary() const;

    const MergeRequest& m_request;
    QueueWalk m_walk;
    std::shared_ptr<automation::Application> m_server;
    std::optional<automation::Workbook> m_result;
    // The blocks whose header row differs from the first block's (vertical merge by position).
    std::vector<HeaderDifference> m_headerDifferences;
};

MergeOutcome mergeToOneSheet(const MergeRequest& request);
MergeOutcome mergeToOneWorkbook(const MergeRequest& request);

}  // namespace plyfold::merge::detail
