#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/automation.h"
#include "engine/common/text_dialect.h"
#include "merge/sheet_naming.h"

namespace plyfold::merge {

// One row of the merge queue: a workbook file, one of its worksheets, and whether the row
// takes part in the merge.
struct QueueRow {
    std::string path;
    std::string sheet;
    bool checked = true;

    friend bool operator==(const QueueRow&, const QueueRow&) = default;
};

// What a merge does with a checked row it cannot merge.
enum class UnmergeableRows {
    // A row whose file is missing is left out; a file that cannot be read, or a sheet it
    // lacks, fails the merge (the window's merges).
    SkipMissingFiles,
    // Every such row is left out and the merge goes on with the others.
    LeaveOut,
};

enum class MergeMode {
    Vertical,    // used ranges stacked on one new sheet
    Horizontal,  // used ranges side by side on one new sheet
    Workbook,    // every worksheet copied whole into one new workbook
};

// A merge to run: the whole queue (unchecked rows too, so progress can count every row) and
// the options. Both front ends fill one: the window from its controls, the command line from
// its arguments.
struct MergeRequest {
    std::vector<QueueRow> rows;
    MergeMode mode = MergeMode::Vertical;
    // Empty rows (vertical) or columns (horizontal) between blocks; 0 or more.
    int32_t gap = 0;
    // Every block after the first loses its first row (vertical) or column (horizontal).
    bool dropFirstLine = false;
    // The result's column widths are fitted to their contents at the end.
    bool autofit = true;
    // The memory the merge may use for the workbooks it reads and builds, in bytes; 0 is the
    // server's default (a share of the machine's memory). Past it the merge fails, naming the
    // file and sheet being read.
    uint64_t memoryLimit = 0;
    // How .csv and .txt sources are read.
    engine::TextDialect textDialect;
    UnmergeableRows unmergeable = UnmergeableRows::SkipMissingFiles;
    // What the one-workbook merge names the copies; the other merges ignore it.
    SheetNaming sheetNaming = SheetNaming::Source;
    // The row of every block (1-based, counted from the top of its used range) that holds its
    // header: the rows above it are titles and are left out, and it is the row the later
    // blocks drop and, with matchHeaders, the row that names their columns.
    int32_t headerRow = 1;
    // Vertical merge: every block's columns go under the result's column of the same header
    // (case-blind, blanks trimmed; a repeated header matches its repeat in order), and a
    // header the result lacks adds a column. Off, blocks are stacked by position.
    bool matchHeaders = false;
    // A first column (vertical) or row (horizontal) naming each block's source, "FILE:SHEET".
    bool sourceColumn = false;
    // Told the 1-based index of every queue row the merge reaches, merged or skipped.
    std::function<void(int row)> progress;
};

// Why a merge failed: the error's number and description, and the queue row being merged
// when it happened (empty when it came before or after the rows, such as nothing to merge).
struct MergeFailure {
    int number = 0;
    std::string description;
    std::string path;
    std::string sheet;

    // The description, led by the file and sheet it concerns when there is one.
    std::string message() const;
};

// Something a merged source holds that the result lacks, since nothing here can carry it: a
// pivot table (its cells are kept as values), a form or ActiveX control, a VBA project... The
// sheet is empty for what belongs to the workbook as a whole.
struct UncarriedFeature {
    std::string path;
    std::string sheet;
    std::string feature;

    // "'path', sheet 'Name': pivot table" (without the sheet for the workbook's own).
    std::string message() const;
    friend bool operator==(const UncarriedFeature&, const UncarriedFeature&) = default;
};

// What became of one queue row.
enum class RowStatus { Merged, Missing, Unreadable, NoSuchSheet, Unchecked };

// "merged", "missing", "unreadable", "no such sheet", "unchecked".
std::string_view statusName(RowStatus status);

struct RowReport {
    std::string path;
    std::string sheet;
    RowStatus status = RowStatus::Unchecked;
    // What the row's block added to the result (after a dropped first row or column); the
    // copied sheet's used range in the one-workbook merge.
    int32_t rows = 0;
    int32_t columns = 0;
    // Why the row was left out; empty for merged and unchecked rows.
    std::string message;

    // A checked row that was not merged.
    bool wasLeftOut() const {
        return status != RowStatus::Merged && status != RowStatus::Unchecked;
    }
    // "'path', sheet 'Name': why" for a row left out.
    std::string leftOutMessage() const;
    // The report of a row whose file does not exist.
    static RowReport missingFile(std::string path, std::string sheet);
};

// A block whose header row differs from the first block's, in a vertical merge by position.
struct HeaderDifference {
    std::string path;
    std::string sheet;
    // What differs: "lacks Units; adds Region", "the same headers in another order".
    std::string difference;

    // "'path', sheet 'Name': its header row differs from the first block's: ..."
    std::string message() const;
    friend bool operator==(const HeaderDifference&, const HeaderDifference&) = default;
};

// The figures of a finished merge's one-line summary.
struct MergeSummary {
    int worksheets = 0;  // merged queue rows
    int files = 0;       // distinct files they came from
    int32_t rows = 0;    // the result sheet's used rows and columns (one-sheet merges)
    int32_t columns = 0;
    int sheets = 0;  // the result's sheets (one-workbook merge)
    double seconds = 0;
};

// What a merge gives back. On success the server instance runs, visible, holding the result
// workbook (already handed to the registered result presenter); the caller may save it and
// then quit the instance, or leave it to the presenter. On failure the instance has been quit.
struct MergeOutcome {
    std::shared_ptr<automation::Application> server;
    std::optional<automation::Workbook> result;
    std::optional<MergeFailure> failure;
    // What the merged sources hold and the result lacks, once each by source and feature, in
    // the order met; filled on success.
    std::vector<UncarriedFeature> uncarried;
    // One report per queue row done with, in queue order: every row on success, the rows
    // before the failing one on failure.
    std::vector<RowReport> rows;
    MergeSummary summary;
    // The blocks of a vertical merge by position whose header row differs from the first
    // block's, in queue order; empty when matching by header.
    std::vector<HeaderDifference> headerDifferences;

    bool succeeded() const { return !failure.has_value(); }
    // The checked rows that were not merged.
    std::vector<RowReport> leftOut() const;
};

// Runs the merge the request describes. Every source is only read; each run of consecutive
// merged rows with the same path opens its file once; unchecked rows and rows whose file is
// missing are skipped.
MergeOutcome runMerge(const MergeRequest& request);

}  // namespace plyfold::merge
