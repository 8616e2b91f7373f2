#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/common/text_dialect.h"
#include "merge/merge_request.h"

namespace plyfold::merge {

// The extension the window gives a job file it saves.
inline constexpr std::string_view kJobExtension = ".plyjob";

// A merge saved to run again: the queue with its check marks and every merge option, as both
// front ends keep them. docs/JOB_FILES.md describes the file.
struct MergeJob {
    std::vector<QueueRow> rows;
    MergeMode mode = MergeMode::Vertical;
    // The gap as the window's gap box holds it; the command line takes only a whole number.
    std::string gap = "0";
    bool dropFirstLine = false;
    bool autofit = true;
    engine::TextDialect textDialect;
    SheetNaming sheetNaming = SheetNaming::Source;
    int32_t headerRow = 1;
    bool matchHeaders = false;
    bool sourceColumn = false;
    // Where the result goes; empty when the job names no result file.
    std::string output;

    friend bool operator==(const MergeJob&, const MergeJob&) = default;
};

// A job that cannot be read or written; the message names the file (and the line) and what
// is wrong with it.
class JobError : public std::runtime_error {
public:
    explicit JobError(const std::string& message, int line = 0)
        : std::runtime_error(message), m_line(line) {}
    // The 1-based line of the job text at fault; 0 when the fault is not in one line.
    int line() const { return m_line; }

private:
    int m_line;
};

// The job as text for a job file in jobFolder: paths inside that folder are written relative
// to it, others in full (a relative path is first taken from the current folder). Throws
// JobError for what the format cannot hold: a TAB or a line break in a path or a sheet name,
// a line break in the gap, a delimiter that is not a printable character.
std::string writeJobText(const MergeJob& job, const std::string& jobFolder);

// Reads the text of the job file at jobPath (which need not exist): relative paths are taken
// from the job file's folder. Throws JobError naming the line number and what is wrong.
MergeJob readJobText(std::string_view text, const std::string& jobPath);

// The same with the file itself; JobError messages lead with the file's name.
MergeJob readJobFile(const std::string& jobPath);
// Writes the file whole or not at all.
void writeJobFile(const MergeJob& job, const std::string& jobPath);

// The gap text as a whole number 0 or more; nothing for anything else (blanks, signs,
// fractions, a number past the 32-bit range).
std::optional<int32_t> wholeGap(std::string_view text);

// The header row text as a row number from 1 to the last row of a sheet; nothing for anything
// else.
std::optional<int32_t> headerRowNumber(std::string_view text);

// The checked rows whose file does not exist, as rows left out ("the file does not exist").
std::vector<RowReport> rowsWithMissingFiles(const std::vector<QueueRow>& rows);

// The rows of rowsWithMissingFiles under a line that counts them, one "'path', sheet 'Name': the
// file does not exist" line each.
std::string missingFilesText(const std::vector<RowReport>& missing);

}  // namespace plyfold::merge
