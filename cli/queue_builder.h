#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
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

// Builds the merge queue, every row checked, in the order the arguments give.
class QueueBuilder {
public:
    // Appends the source's rows: the picked sheets of a file, or every worksheet of the file
    // or of the folder's workbooks (as the folder scan lists them), in sheet order. A workbook
    // that cannot be listed is reported on standard error as the window reports it, and the
    // builder remembers the failure; the other workbooks are still listed.
    void addSource(const ResolvedSource& source);

    // Appends the rows of a queue file, one "path<TAB>sheet" line each (CR LF or LF; blank
    // lines skipped). Returns an error text for an unreadable file or a line without a TAB.
    std::optional<std::string> addQueueFile(const std::string& queueFile);

    const std::vector<merge::QueueRow>& rows() const { return m_rows; }
    bool hasFailed() const { return m_failed; }

private:
    void addWorkbook(const std::string& path);

    std::vector<merge::QueueRow> m_rows;
    bool m_failed = false;
};

}  // namespace plyfold::cli
