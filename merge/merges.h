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
// Given an outcome, each fills it and leaves telling the user what the result lacks to the
// caller; without one, each shows that (if anything) in one information box once the result
// window is open.

// Stacks the used ranges one under another on one new sheet, BlockGap empty rows apart; with
// Check1 every block after the first loses its first row; with Check2 the columns are fitted.
// A failure is described in a message box first, naming the file and sheet it concerns.
bool MergeSheetsVertically(controls::Form1Controls& form, MergeOutcome* outcome = nullptr);

// The same side by side, BlockGap empty columns apart, Check1 dropping first columns. A
// failure shows no message of its own.
bool MergeSheetsHorizontally(controls::Form1Controls& form, MergeOutcome* outcome = nullptr);

// Copies every checked worksheet whole into one new workbook, in queue order. A failure
// shows no message of its own.
bool MergeToOneWorkbook(controls::Form1Controls& form, MergeOutcome* outcome = nullptr);

// What the result lacks, one line per source and feature under a line that says so.
std::string uncarriedText(const std::vector<UncarriedFeature>& uncarried);

// The name the one-workbook merge gives the new workbook's own sheet while the copies go in.
inline constexpr const char* kPlaceholderSheetName = "PLYFOLD7Q4XK2M9ZT3W8";

}  // namespace plyfold::merge
