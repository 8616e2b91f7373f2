#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "merge/merge_request.h"

namespace plyfold::merge {

// The report of a merge as tab-separated text: a header line, then one line per queue row
// with its path, sheet, status, rows and columns contributed, and message. TABs and line
// breaks inside a field become blanks, so every row stays one line.
std::string reportText(const std::vector<RowReport>& rows);

// "Merged 24 worksheets from 12 files: 3,604 rows x 11 columns -> year.xlsx in 0.4 s";
// without the arrow when resultName is empty, and with the sheet count for a workbook result.
std::string summaryText(const MergeSummary& summary, MergeMode mode, std::string_view resultName);

// The headline, a colon, and each row's "'path', sheet 'Name': why" on a line of its own.
std::string rowsUnder(std::string headline, const std::vector<RowReport>& rows);

// The rows left out, one "'path', sheet 'Name': why" line each, under a line that counts them.
std::string leftOutText(const std::vector<RowReport>& leftOut);

// The blocks whose header row differs from the first block's, one message() line each, under a
// line that counts them, says they were stacked by position and that matching columns by header
// would line them up. Empty when there are none.
std::string headerDifferencesText(const std::vector<HeaderDifference>& differences);

}  // namespace plyfold::merge
