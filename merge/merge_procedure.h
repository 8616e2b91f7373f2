#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation/automation.h"
#include "merge/merge_request.h"

namespace plyfold::merge::detail {

// Walks the queue of a merge in row order, the way every merge does: unchecked rows and rows
// whose file is missing are skipped, each run of consecutive merged rows with the same path
// opens its workbook once, and the progress is told of every row. Remembers the row being
// merged, so that a failure can name it.
class QueueWalk {
public:
    explicit QueueWalk(const MergeRequest& request) : m_request(request) {}

    // Calls mergeSheet with the source worksheet of every row to merge. The held copy is
    // dropped before a source is closed.
    void forEachSheet(automation::Application& server,
                      const std::function<void(const automation::Worksheet&)>& mergeSheet);

    // Fails when no row named an existing file, since then nothing was merged.
    void checkSomethingMerged() const;
    // Closes the last source opened; fails as checkSomethingMerged does.
    void closeLastSource();

    // The row being merged, while a row is being merged.
    const QueueRow* currentRow() const { return m_current; }

    // What the merged sources hold that the result lacks, once each by source and feature.
    const std::vector<UncarriedFeature>& uncarried() const { return m_uncarried; }
    // Adds what the merge of the current row's sheet leaves behind.
    void noteLeftBehind(const std::string& sheet, const std::string& feature);

private:
    static bool shouldMerge(const QueueRow& row);
    void noteUncarried(const std::string& path, const std::string& sheet,
                       const std::vector<std::string>& features);
    const automation::Workbook& openSource(automation::Application& server,
                                           const std::string& path);

    const MergeRequest& m_request;
    std::optional<automation::Workbook> m_openSource;
    std::string m_previousPath;
    const QueueRow* m_current = nullptr;
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

    const MergeRequest& m_request;
    QueueWalk m_walk;
    std::shared_ptr<automation::Application> m_server;
    std::optional<automation::Workbook> m_result;
};

MergeOutcome mergeToOneSheet(const MergeRequest& request);
MergeOutcome mergeToOneWorkbook(const MergeRequest& request);

}  // namespace plyfold::merge::detail
