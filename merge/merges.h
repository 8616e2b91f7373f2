#pragma once

namespace plyfold::controls {
struct Form1Controls;
}

namespace plyfold::merge {

// The three merges of the checked merge queue rows, in row order. Each runs in a server
// instance of its own, opens a source once per run of consecutive merged rows with the same
// path, skips unchecked rows and rows whose file is missing, and sets the progress bar to
// every row's index. On success the result is handed, visible, to the result presenter and
// true is returned; on any failure the instance is quit and false is returned.

// Stacks the used ranges one under another on one new sheet, BlockGap empty rows apart; with
// Check1 every block after the first loses its first row; with Check2 the columns are fitted.
// A failure is described in a message box first.
bool MergeSheetsVertically(controls::Form1Controls& form);

// The same side by side, BlockGap empty columns apart, Check1 dropping first columns. A
// failure shows no message of its own.
bool MergeSheetsHorizontally(controls::Form1Controls& form);

// Copies every checked worksheet whole into one new workbook, in queue order.
bool MergeToOneWorkbook(controls::Form1Controls& form);

// The name the one-workbook merge gives the new workbook's own sheet while the copies go in.
inline constexpr const char* kPlaceholderSheetName = "PLYFOLD7Q4XK2M9ZT3W8";

}  // namespace plyfold::merge
