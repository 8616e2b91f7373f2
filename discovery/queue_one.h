#pragma once

#include <string>

namespace plyfold::controls {
struct Form1Controls;
class ListModel;
}  // namespace plyfold::controls

namespace plyfold::discovery {

// Appends a checked merge-queue entry (row text the workbook path, first sub-item the
// worksheet name), repaints the queue and scrolls the new entry into view.
void AppendQueueEntry(controls::ListModel& queue, const std::string& workbookPath,
                      const std::string& worksheetName);

// Appends the queue entry of a row of the worksheet list (ListView3) as AppendQueueEntry
// does; the entry of a hidden worksheet is greyed, as its row is.
void AppendListedWorksheet(controls::ListModel& queue, const std::string& workbookPath,
                           const controls::ListModel& worksheets, int row);

// Queues the worksheet selected in the worksheet list (ListView3) of the designated workbook.
// With no designated workbook it shows "File does not exist!" (critical) and queues nothing;
// with an empty worksheet list, or one with no selected row, it does nothing. The queue's
// selection does not change.
void QueueSelectedWorksheet(controls::Form1Controls& form);

// Removes the selected queue entry and selects the one above it, or the new first entry when
// the first was removed. Does nothing when the queue is empty or has no selected entry; never
// fails and never shows anything.
void RemoveSelectedQueueItem(controls::Form1Controls& form);

}  // namespace plyfold::discovery
