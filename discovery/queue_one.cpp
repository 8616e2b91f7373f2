#include "discovery/queue_one.h"

#include "controls/form1_controls.h"
#include "discovery/path_helpers.h"

namespace plyfold::discovery {

void AppendQueueEntry(controls::ListModel& queue, const std::string& workbookPath,
                      const std::string& worksheetName) {
    queue.add(workbookPath);
    const int row = queue.count();
    queue.setChecked(row, true);
    queue.setSubItem(row, worksheetName);
    queue.refresh();
    queue.ensureVisible(row);
}

void AppendListedWorksheet(controls::ListModel& queue, const std::string& workbookPath,
                           const controls::ListModel& worksheets, int row) {
    AppendQueueEntry(queue, workbookPath, worksheets.text(row));
    if (worksheets.isGreyed(row)) {
        queue.setGreyed(queue.count(), true);
    }
}

void QueueSelectedWorksheet(controls::Form1Controls& form) {
    const std::string path = GetSelectedWorkbookPath(form);
    if (path.empty()) {
        form.showMessage("File does not exist!", controls::MessageIcon::Critical);
        return;
    }
    const controls::ListModel& worksheets = form.ListView3;
    if (worksheets.isEmpty() || !worksheets.hasSelection()) {
        return;
    }
    AppendListedWorksheet(form.ListView4, path, worksheets, worksheets.selectedIndex());
}

void RemoveSelectedQueueItem(controls::Form1Controls& form) {
    controls::ListModel& queue = form.ListView4;
    try {
        const int count = queue.count();
        const int removed = queue.selectedIndex();
        if (count == 0 || removed == 0) {
            return;
        }
        queue.remove(removed);
        if (count - 1 == 0) {
            return;
        }
        queue.select(removed > 1 ? removed - 1 : 1);
    } catch (...) {
        // Removing a queue entry never reports anything.
    }
}

}  // namespace plyfold::discovery
