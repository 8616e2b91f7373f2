#include "merge/merge_procedure.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

#include "engine/common/file_access.h"

namespace plyfold::merge::detail {

bool QueueWalk::shouldMerge(const QueueRow& row) {
    return row.checked && files::pathKind(row.path) == files::PathKind::File;
}

void QueueWalk::forEachSheet(automation::Application& server,
                             const std::function<void(const automation::Worksheet&)>& mergeSheet) {
    for (size_t i = 0; i < m_request.rows.size(); ++i) {
        const QueueRow& row = m_request.rows[i];
        if (shouldMerge(row)) {
            m_current = &row;
            const automation::Workbook& book = openSource(server, row.path);
            const automation::Worksheet sheet = book.Worksheets()(row.sheet);
            mergeSheet(sheet);
            noteUncarried(row.path, {}, book.uncarriedFeatures());
            noteUncarried(row.path, sheet.name(), sheet.uncarriedFeatures());
            m_current = nullptr;
        }
        if (m_request.progress) {
            m_request.progress(static_cast<int>(i) + 1);
        }
    }
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
        }
        m_openSource = server.Workbooks().Open(path);
        m_previousPath = path;
    }
    return *m_openSource;
}

void QueueWalk::checkSomethingMerged() const {
    if (m_previousPath.empty()) {
        throw SpreadsheetError(
            ErrorNumber::ObjectNotSet,
            "Nothing was merged: none of the checked files in the queue exists.");
    }
}

void QueueWalk::closeLastSource() {
    checkSomethingMerged();
    m_openSource->Close(automation::SaveChanges::Yes);
    m_openSource.reset();
}

automation::Workbook MergeProcedure::startServer() {
    m_server = automation::CreateObject(automation::kSpreadsheetProgId);
    if (m_request.memoryLimit != 0) {
        m_server->setMemoryLimit(m_request.memoryLimit);
    }
    m_server->setDisplayAlerts(false);
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
    return *m_result;
}

MergeOutcome MergeProcedure::run() {
    MergeOutcome outcome;
    try {
        merge();
        outcome.server = m_server;
        outcome.result = m_result;
        outcome.uncarried = m_walk.uncarried();
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
    return outcome;
}

}  // namespace plyfold::merge::detail
