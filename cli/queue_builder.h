#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/options.h"
#include "discovery/sheet_filter.h"
#include "merge/merge_request.h"

namespace plyfold::cli {

// A source argument matched against the file system.
struct ResolvedSource {
    std::string path;
    bool isFolder = false;
    std::vector<std::string> sheets;
};

// The path itself when it exists, else FILE:SHEET split at the last colon when FILE is a
// file; nothing when neither exists.
std::optional<ResolvedSource> resolveSource(const SourceArgument& argument);

// The sheet filter of --sheets and --exclude-sheets.
discovery::SheetFilter sheetFilterOf(const Options& options);

// Builds the merge queue, every row checked, in the order the arguments give, and notes the
// sources that give no row: a named file that does not exist, a workbook that cannot be listed.
class QueueBuilder {
public:
    QueueBuilder() = default;
    // Folder sources are scanned as the options say: --recursive, --include-results, and the
    // result file left out.
    explicit QueueBuilder(const Options& options)
        : m_recursive(options.recursive),
          m_includeResults(options.includeResults),
          m_outputFile(options.output) {}
    // The worksheets that sources contributing every worksheet give; picked sheets, queue
    // files and a job's rows are taken as named.
    void setSheetFilter(discovery::SheetFilter filter) { m_filter = std::move(filter); }

    // Appends the source's rows: the picked sheets of a file, or every worksheet of the file
    // or of the folder's workbooks (as the folder scan lists them), in sheet order. A workbook
    // that cannot be listed is noted as a problem; the other workbooks are still listed. What
    // the folder scan left out is noted (see notes()).
    void addSource(const ResolvedSource& source);
    // Appends rows as they are (a job's queue, unchecked rows too).
    void addRows(const std::vector<merge::QueueRow>& rows) {
        m_rows.insert(m_rows.end(), rows.begin(), rows.end());
    }
    // Notes a source argument that names nothing that exists.
    void addMissingSource(const SourceArgument& argument);

    // Appends the rows of a queue file, one "path<TAB>sheet" line each (CR LF or LF; blank
    // lines skipped). Returns an error text for an unreadable file or a line without a TAB.
    std::optional<std::string> addQueueFile(const std::string& queueFile);

    const std::vector<merge::QueueRow>& rows() const { return m_rows; }
    bool hasProblems() const { return !m_problems.empty(); }
    // Notes for standard error, one line each, none a failure: what folder scans left out or
    // could not reach, and workbooks none of whose worksheets matches the sheet filter.
    const std::vector<std::string>& notes() const { return m_notes; }

    // The reports of the queue's rows (as the merge gave them, one per row, in order) with the
    // noted problems placed where their sources stood among the arguments.
    std::vector<merge::RowReport> withProblems(const std::vector<merge::RowReport>& rows) const;

private:
    void addWorkbook(const std::string& path);
    void addProblem(merge::RowReport problem);

    bool m_recursive = false;
    bool m_includeResults = false;
    std::string m_outputFile;
    std::vector<merge::QueueRow> m_rows;
    std::vector<std::string> m_notes;
    // Each problem with the number of queue rows before it.
    std::vector<std::pair<size_t, merge::RowReport>> m_problems;
    discovery::SheetFilter m_filter;
};

}  // namespace plyfold::cli
