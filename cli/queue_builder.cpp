#include "cli/queue_builder.h"

#include <string_view>

#include "cli/folder_scan.h"
#include "discovery/list_workbooks.h"
#include "discovery/list_worksheets.h"
#include "discovery/path_helpers.h"
#include "engine/common/error.h"
#include "engine/common/file_access.h"

namespace plyfold::cli {

discovery::SheetFilter sheetFilterOf(const Options& options) {
    return discovery::SheetFilter(options.sheetPatterns, options.excludedSheetPatterns);
}

std::optional<ResolvedSource> resolveSource(const SourceArgument& argument) {
    const int kind = discovery::GetPathKind(argument.text);
    if (kind != discovery::kPathMissing) {
        return ResolvedSource{argument.text, kind == discovery::kPathFolder, argument.sheets};
    }
    const size_t colon = argument.text.rfind(':');
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    std::string file = argument.text.substr(0, colon);
    if (discovery::GetPathKind(file) != discovery::kPathFile) {
        return std::nullopt;
    }
    ResolvedSource source{file, false, {argument.text.substr(colon + 1)}};
    source.sheets.insert(source.sheets.end(), argument.sheets.begin(), argument.sheets.end());
    return source;
}

void QueueBuilder::addSource(const ResolvedSource& source) {
    if (!source.sheets.empty()) {
        for (const std::string& sheet : source.sheets) {
            m_rows.push_back(merge::QueueRow{source.path, sheet, true});
        }
        return;
    }
    if (!source.isFolder) {
        addWorkbook(source.path);
        return;
    }
    discovery::FolderScanOptions options;
    options.recursive = m_recursive;
    options.includeResults = m_includeResults;
    options.outputFile = m_outputFile;
    const discovery::WorkbookScan scan = discovery::scanWorkbooks(source.path, options);
    for (const std::string& name : scan.names) {
        addWorkbook(discovery::JoinPath(source.path, name));
    }
    addScanNotes(source.path, scan, m_notes);
}

void QueueBuilder::addWorkbook(const std::string& path) {
    try {
        const std::vector<std::string> sheets = discovery::worksheetNamesOf(path);
        bool anyTaken = false;
        for (const std::string& sheet : sheets) {
            if (m_filter.accepts(sheet)) {
                m_rows.push_back(merge::QueueRow{path, sheet, true});
                anyTaken = true;
            }
        }
        // A workbook without worksheets gives nothing quietly, as it always has.
        if (!anyTaken && !sheets.empty()) {
            m_notes.push_back("'" + path + "': no worksheet matches the sheet filter");
        }
    } catch (const SpreadsheetError& error) {
        addProblem(
            merge::RowReport{path, {}, merge::RowStatus::Unreadable, 0, 0, error.description()});
    }
}

void QueueBuilder::addMissingSource(const SourceArgument& argument) {
    if (argument.sheets.empty()) {
        addProblem(merge::RowReport{
            argument.text, {}, merge::RowStatus::Missing, 0, 0, "the file does not exist"});
    }
    for (const std::string& sheet : argument.sheets) {
        addProblem(merge::RowReport::missingFile(argument.text, sheet));
    }
}

void QueueBuilder::addProblem(merge::RowReport problem) {
    m_problems.emplace_back(m_rows.size(), std::move(problem));
}

std::vector<merge::RowReport> QueueBuilder::withProblems(
    const std::vector<merge::RowReport>& rows) const {
    std::vector<merge::RowReport> all;
    all.reserve(rows.size() + m_problems.size());
    auto problem = m_problems.begin();
    for (size_t i = 0; i <= rows.size(); ++i) {
        for (; problem != m_problems.end() && problem->first == i; ++problem) {
            all.push_back(problem->second);
        }
        if (i < rows.size()) {
            all.push_back(rows[i]);
        }
    }
    // A failed merge reports only the rows it reached.
    for (; problem != m_problems.end(); ++problem) {
        all.push_back(problem->second);
    }
    return all;
}

std::optional<std::string> QueueBuilder::addQueueFile(const std::string& queueFile) {
    std::string bytes;
    try {
        bytes = files::readFile(queueFile);
    } catch (const files::FileError& error) {
        return "cannot read the queue file: " + error.description();
    }
    std::string_view rest = bytes;
    for (int number = 1; !rest.empty(); ++number) {
        const size_t end = rest.find('\n');
        std::string line(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty()) {
            continue;
        }
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) {
            return "line " + std::to_string(number) + " of '" + queueFile +
                   "' has no TAB between path and sheet";
        }
        m_rows.push_back(merge::QueueRow{line.substr(0, tab), line.substr(tab + 1), true});
    }
    return std::nullopt;
}

}  // namespace plyfold::cli
