#pragma once

#include <string>
#include <vector>

#include "merge/merge_request.h"

namespace plyfold::controls {
struct Form1Controls;
}

namespace plyfold::merge {

// The three merges as the main window runs them: each builds a merge request from the merge
// queue (ListView4), the options (Check1, Check2), BlockGap and the text dialect, sets the
// progress bar to every row's index, and returns true when the result was built and handed,
// visible, to the result presenter; false after a failure, whose server instance has been quit.
// Once the result window is open, each shows what the result lacks (if anything) in one
// information box.

// Stacks the used ranges one under another on one new sheet, BlockGap empty rows apart; with
// Check1 every block after the first loses its first row; with Check2 the columns are fitted.
// A failure is described in a message box first, naming the file and sheet it concerns.
bool MergeSheetsVertically(controls::Form1Controls& form);

// The same side by side, BlockGap empty columns apart, Check1 dropping first columns. A
// failure shows no message of its own.
bool MergeSheetsHorizontally(controls::Form1Controls& form);

// Copies every checked worksheet whole into one new workbook, in queue order. A failure
// shows no message of its own.
bool MergeToOneWorkbook(controls::Form1Controls& form);

// The merge of the mode as the three above run it (the vertical merge describing its failure
// in a box of its own), filling the outcome instead of telling the user what the result lacks:
// that is the caller's, with the rest of what the user learns after the merge.
bool runWindowMerge(controls::Form1Controls& form, MergeMode mode, MergeOutcome& outcome);

// What the result lacks, one line per source and feature under a line that says so.
std::string uncarriedText(const std::vector<UncarriedFeature>& uncarried);

// The name the one-workbook merge gives the new workbook's own sheet while the copies go in.
inline constexpr const char* kPlaceholderSheetName = "PLYFOLD7Q4XK2M9ZT3W8";

}  // namespace plyfold::merge
