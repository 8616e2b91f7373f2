#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plyfold::controls {
struct Form1Controls;
}

namespace plyfold::discovery {

// The worksheet names of the workbook at path, in sheet order, read in a server instance of
// its own. Throws SpreadsheetError, naming the file, when it cannot be read.
std::vector<std::string> worksheetNamesOf(const std::string& path);

// A worksheet as a listing shows it: hidden covers very hidden too.
struct WorksheetEntry {
    std::string name;
    bool hidden = false;
};

// worksheetNamesOf with each worksheet's hidden state.
std::vector<WorksheetEntry> worksheetsOf(const std::string& path);

class SheetFilter;

// A worksheet with what its cells span.
struct WorksheetExtent {
    WorksheetEntry sheet;
    std::string usedRange;  // "A1:J25001"; "A1" on an empty sheet
    int32_t rows = 0;       // rows of the used range; 0 on an empty sheet
    std::string problem;    // why the sheet's cells could not be read; then no range
};

// The worksheets of the workbook at path that the filter accepts, in sheet order, each read
// for its used range (the sheets left out are not read). A sheet whose cells cannot be read
// is listed with the problem, and the sheets after it still are. Throws SpreadsheetError,
// naming the file, when the workbook cannot be read.
std::vector<WorksheetExtent> worksheetExtentsOf(const std::string& path, const SheetFilter& filter);

// Empties the worksheet list (ListView3), makes it visible and, when the selections of the
// source and workbook lists designate a workbook, lists its worksheet names in sheet order,
// checked; hidden and very hidden worksheets are listed greyed (and can be queued like the
// others). Chart sheets are not worksheets and are left out. Only the sheet list is read.
// A failure is reported in two critical boxes: its description, then
// "Open excel file failed!"; the names listed before it stay.
void ListWorksheets(controls::Form1Controls& form);

// Appends one checked merge-queue entry (ListView4: the path, then the worksheet name) for
// every worksheet of the workbook at path that the form's sheet filter accepts (every one
// when it is empty), in sheet order, and scrolls the last into view.
// Entries of hidden worksheets are greyed, as the worksheet list shows them.
// Failures are reported as ListWorksheets reports them; entries already appended stay. A
// workbook without worksheets appends nothing, quietly.
void QueueAllWorksheets(controls::Form1Controls& form, const std::string& path);

}  // namespace plyfold::discovery
