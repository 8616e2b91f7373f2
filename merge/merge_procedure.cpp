#include "merge/merge_procedure.h"

#include <algorithm>
#include <chrono>
#include <string_view>
#include <unordered_set>

#include "engine/common/file_access.h"
#include "merge/merge_report.h"

namespace plyfold::merge::detail {

void QueueWalk::forEachSheet(
    automation::Application& server,
    const std::function<BlockSize(const automation::Worksheet&)>& mergeSheet) {
    for (size_t i = 0; i < m_request.rows.size(); ++i) {
        const QueueRow& row = m_request.rows[i];
        RowReport report{row.path, row.sheet, RowStatus::Unchecked, 0, 0, {}};
        if (row.checked) {
            mergeRow(server, row, report, mergeSheet);
        }
        m_reports.push_back(std::move(report));
        if (m_request.progress) {
            m_request.progress(static_cast<int>(i) + 1);
        }
    }
}

void QueueWalk::mergeRow(automation::Application& server, const QueueRow& row, RowReport& report,
                         const std::function<BlockSize(const automation::Worksheet&)>& mergeSheet) {
    if (files::pathKind(row.path) != files::PathKind::File) {
        report = RowReport::missingFile(row.path, row.sheet);
        return;
    }
    m_current = &row;
    const std::optional<automation::Worksheet> sheet = readableSheet(server, row, report);
    if (sheet) {
        const BlockSize added = mergeSheet(*sheet);
        report.status = RowStatus::Merged;
        report.rows = added.rows;
        report.columns = added.columns;
        noteUncarried(row.path, {}, m_openSource->uncarriedFeatures());
        noteUncarried(row.path, sheet->name(), sheet->uncarriedFeatures());
    }
    m_current = nullptr;
}

// The row's worksheet, its cells read. A file that cannot be opened, a sheet it lacks or cells
// that cannot be read fail the merge, unless the request leaves such rows out: then the report
// says why and there is no sheet. Running out of memory always fails the merge.
std::optional<automation::Worksheet> QueueWalk::readableSheet(automation::Application& server,
                                                              const QueueRow& row,
                                                              RowReport& report) {
    const bool leaveOut = m_request.unmergeable == UnmergeableRows::LeaveOut;
    if (leaveOut && row.path == m_unreadablePath) {
        report.status = RowStatus::Unreadable;
        report.message = m_unreadableReason;
        return std::nullopt;
    }
    RowStatus problem = RowStatus::Unreadable;
    try {
        const automation::Workbook& book = openSource(server, row.path);
        problem = RowStatus::NoSuchSheet;
        automation::Worksheet sheet = book.Worksheets()(row.sheet);
        problem = RowStatus::Unreadable;
        sheet.lastUsedRow();  // reads the cells
        return sheet;
    } catch (...) {
        const SpreadsheetError error = automation::currentError();
        const bool outOfMemory = error.number() == static_cast<int>(ErrorNumber::OutOfMemory);
        if (!leaveOut || outOfMemory ||
            (problem == RowStatus::NoSuchSheet &&
             error.number() != static_cast<int>(ErrorNumber::SubscriptOutOfRange))) {
            throw;
        }
        report.status = problem;
        report.message = problem == RowStatus::NoSuchSheet
                             ? "the workbook has no worksheet of this name"
                             : error.description();
        if (!m_openSource) {
            m_unreadablePath = row.path;
            m_unreadableReason = report.message;
        }
        return std::nullopt;
    }
}

int QueueWalk::mergedCount() const {
    return static_cast<int>(
        std::count_if(m_reports.begin(), m_reports.end(),
                      [](const RowReport& r) { return r.status == RowStatus::Merged; }));
}

int QueueWalk::mergedFileCount() const {
    std::unordered_set<std::string_view> files;
    for (const RowReport& report : m_reports) {
        if (report.status == RowStatus::Merged) {
            files.insert(report.path);
        }
    }
    return static_cast<int>(files.size());
}

void QueueWalk::noteUncarried(const std::string& path, const std::string& sheet,
                              const std::vector<std::string>& features) {
    for (const std::string& feature : features) {
        UncarriedFeature found{path, sheet, feature};
        if (std::find(m_uncarried.begin(), m_uncarried.end(), found) == m_uncarried.end()) {
            m_uncarried.push_back(std::move(found));
        }
    }
}

void QueueWalk::noteLeftBehind(const std::string& sheet, const std::string& feature) {
    if (m_current) {
        noteUncarried(m_current->path, sheet, {feature});
    }
}

const automation::Workbook& QueueWalk::openSource(automation::Application& server,
                                                  const std::string& path) {
    if (path != m_previousPath || !m_openSource) {
        if (m_openSource) {
            server.setCutCopyMode(false);
            m_openSource->Close(automation::SaveChanges::Yes);
            m_openSource.reset();
            m_previousPath.clear();
        }
        m_openSource = server.Workbooks().Open(path);
        m_previousPath = path;
    }
    return *m_openSource;
}

void QueueWalk::checkSomethingMerged() const {
    if (mergedCount() > 0) {
        return;
    }
    const bool allMissing = std::all_of(m_reports.begin(), m_reports.end(), [](const RowReport& r) {
        return r.status == RowStatus::Missing || r.status == RowStatus::Unchecked;
    });
    throw SpreadsheetError(ErrorNumber::ObjectNotSet,
                           allMissing ? "Nothing was merged: none of the checked files in the "
                                        "queue exists."
                                      : "Nothing was merged: every checked worksheet of the "
                                        "queue was left out.");
}

void QueueWalk::closeLastSource() {
    checkSomethingMerged();
    if (m_openSource) {
        m_openSource->Close(automation::SaveChanges::Yes);
        m_openSource.reset();
    }
}

automation::Workbook MergeProcedure::startServer() {
    m_server = automation::CreateObject(automation::kSpreadsheetProgId);
    if (m_request.memoryLimit != 0) {
        m_server->setMemoryLimit(m_request.memoryLimit);
    }
    m_server->setDisplayAlerts(false);
    m_server->setTextDialect(m_request.textDialect);
    // Every queued file, merged or not, so that the result is never saved over one of them.
    std::vector<std::string> sources;
    std::unordered_set<std::string_view> seen;
    for (const QueueRow& row : m_request.rows) {
        if (seen.insert(row.path).second) {
            sources.push_back(row.path);
        }
    }
    m_server->setSourcePaths(std::move(sources));
    m_result = m_server->Workbooks().Add();
    m_result->markAsMergeResult();
    return *m_result;
}

MergeSummary MergeProcedure::summary() const {
    MergeSummary summary;
    summary.worksheets = m_walk.mergedCount();
    summary.files = m_walk.mergedFileCount();
    if (m_request.mode == MergeMode::Workbook) {
        summary.sheets = m_result->Sheets().count();
    } else {
        const automation::Worksheet sheet = m_result->Worksheets()(1);
        summary.rows = sheet.lastUsedRow();
        summary.columns = sheet.lastUsedColumn();
    }
    return summary;
}

MergeOutcome MergeProcedure::run() {
    const auto start = std::chrono::steady_clock::now();
    MergeOutcome outcome;
    try {
        merge();
        outcome.server = m_server;
        outcome.result = m_result;
        outcome.uncarried = m_walk.uncarried();
        outcome.headerDifferences = m_headerDifferences;
        outcome.summary = summary();
        outcome.summary.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        m_server->setStatusBar(summaryText(outcome.summary, m_request.mode, {}));
    } catch (...) {
        const SpreadsheetError error = automation::currentError();
        MergeFailure failure{error.number(), error.description(), {}, {}};
        if (const QueueRow* row = m_walk.currentRow()) {
            failure.path = row->path;
            failure.sheet = row->sheet;
        }
        outcome.failure = std::move(failure);
        if (m_server) {
            m_server->Quit();
        }
    }
    outcome.rows = m_walk.reports();
    return outcome;
}

}  // namespace plyfold::merge::detail
