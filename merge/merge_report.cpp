#include "merge/merge_report.h"

#include <algorithm>
#include <cstdio>

#include "engine/common/text.h"

namespace plyfold::merge {
namespace {

std::string counted(int64_t n, std::string_view one, std::string_view many) {
    return engine::withThousands(n) + " " + std::string(n == 1 ? one : many);
}

void appendField(std::string& out, std::string_view field) {
    for (char c : field) {
        out.push_back(c == '\t' || c == '\r' || c == '\n' ? ' ' : c);
    }
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", std::max(seconds, 0.0));
    return text;
}

}  // namespace

std::string_view statusName(RowStatus status) {
    switch (status) {
        case RowStatus::Merged:
            return "merged";
        case RowStatus::Missing:
            return "missing";
        case RowStatus::Unreadable:
            return "unreadable";
        case RowStatus::NoSuchSheet:
            return "no such sheet";
        case RowStatus::Unchecked:
            break;
    }
    return "unchecked";
}

std::string RowReport::leftOutMessage() const {
    std::string text = "'" + path + "'";
    if (!sheet.empty()) {
        text += ", sheet '" + sheet + "'";
    }
    return text + ": " + message;
}

RowReport RowReport::missingFile(std::string path, std::string sheet) {
    return RowReport{std::move(path),          std::move(sheet), RowStatus::Missing, 0, 0,
                     "the file does not exist"};
}

std::vector<RowReport> MergeOutcome::leftOut() const {
    std::vector<RowReport> left;
    for (const RowReport& row : rows) {
        if (row.wasLeftOut()) {
            left.push_back(row);
        }
    }
    return left;
}

std::string reportText(const std::vector<RowReport>& rows) {
    std::string text = "path\tsheet\tstatus\trows\tcolumns\tmessage\n";
    for (const RowReport& row : rows) {
        appendField(text, row.path);
        text += '\t';
        appendField(text, row.sheet);
        text += '\t';
        text += statusName(row.status);
        text += '\t' + std::to_string(row.rows) + '\t' + std::to_string(row.columns) + '\t';
        appendField(text, row.message);
        text += '\n';
    }
    return text;
}

std::string summaryText(const MergeSummary& summary, MergeMode mode, std::string_view resultName) {
    std::string text = "Merged " + counted(summary.worksheets, "worksheet", "worksheets") +
                       " from " + counted(summary.files, "file", "files") + ": ";
    if (mode == MergeMode::Workbook) {
        text += counted(summary.sheets, "sheet", "sheets");
    } else {
        text += counted(summary.rows, "row", "rows") + " x " +
                counted(summary.columns, "column", "columns");
    }
    if (!resultName.empty()) {
        text += " -> " + std::string(resultName);
    }
    return text + " in " + secondsText(summary.seconds) + " s";
}

std::string rowsUnder(std::string headline, const std::vector<RowReport>& rows) {
    headline += ":\n";
    for (const RowReport& row : rows) {
        headline += "\n" + row.leftOutMessage();
    }
    return headline;
}

std::string leftOutText(const std::vector<RowReport>& leftOut) {
    return rowsUnder(leftOut.size() == 1
                         ? "1 worksheet of the queue was left out of the merge"
                         : std::to_string(leftOut.size()) +
                               " worksheets of the queue were left out of the merge",
                     leftOut);
}

std::string headerDifferencesText(const std::vector<HeaderDifference>& differences) {
    if (differences.empty()) {
        return {};
    }
    const bool one = differences.size() == 1;
    std::string text = counted(static_cast<int64_t>(differences.size()), "block", "blocks") +
                       (one ? " has" : " have") +
                       " a header row that differs from the first block's and " +
                       (one ? "was" : "were") +
                       " stacked by position; matching columns by header would put each column "
                       "under its own header:\n";
    for (const HeaderDifference& difference : differences) {
        text += "\n" + difference.message();
    }
    return text;
}

}  // namespace plyfold::merge
