#include "discovery/list_worksheets.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "automation/automation.h"
#include "controls/form1_controls.h"
#include "discovery/path_helpers.h"
#include "discovery/sheet_filter.h"

namespace plyfold::discovery {
namespace {

constexpr const char* kOpenFailedMessage = "Open excel file failed!";

// One reading of a workbook's sheet list: a server instance of its own and the workbook it
// opened, both held only for the call. Whatever is set when a failure comes is closed and
// quit before the failure is reported.
class WorkbookReading {
public:
    explicit WorkbookReading(controls::Form1Controls& form) : m_form(form) {}
    WorkbookReading(const WorkbookReading&) = delete;
    WorkbookReading& operator=(const WorkbookReading&) = delete;

    // Starts the server and opens the workbook with alerts on, then switches them off.
    void open(const std::string& path) {
        m_server = automation::CreateObject(automation::kSpreadsheetProgId);
        m_book = m_server->Workbooks().Open(path);
        m_server->setDisplayAlerts(false);
    }

    automation::SheetCollection worksheets() const { return m_book->Worksheets(); }

    void finish() {
        m_book->Close();
        m_book.reset();
        m_server->Quit();
        m_server.reset();
    }

    // For use inside a catch block: releases what is held and shows the failure.
    void reportFailure() {
        const SpreadsheetError error = automation::currentError();
        // Cleaning up must not hide the failure being reported, so its own errors are dropped.
        if (m_book) {
            try {
                m_book->Close();
            } catch (...) {
            }
            m_book.reset();
        }
        if (m_server) {
            try {
                m_server->Quit();
            } catch (...) {
            }
            m_server.reset();
        }
        m_form.showMessage(error.description(), controls::MessageIcon::Critical);
        m_form.showMessage(kOpenFailedMessage, controls::MessageIcon::Critical);
    }

private:
    controls::Form1Controls& m_form;
    std::shared_ptr<automation::Application> m_server;
    std::optional<automation::Workbook> m_book;
};

}  // namespace

std::vector<std::string> worksheetNamesOf(const std::string& path) {
    std::vector<std::string> names;
    for (WorksheetEntry& entry : worksheetsOf(path)) {
        names.push_back(std::move(entry.name));
    }
    return names;
}

namespace {

// Opens the workbook in a server instance of its own and calls visit with each worksheet, in
// sheet order; the instance is quit whether or not the reading fails.
void forEachWorksheet(const std::string& path,
                      const std::function<void(const automation::Worksheet&)>& visit) {
    auto server = automation::CreateObject(automation::kSpreadsheetProgId);
    try {
        automation::Workbook book = server->Workbooks().Open(path);
        const automation::SheetCollection sheets = book.Worksheets();
        const int32_t count = sheets.count();
        for (int32_t i = 1; i <= count; ++i) {
            visit(sheets(i));
        }
        book.Close();
    } catch (...) {
        const SpreadsheetError error = automation::currentError();
        server->Quit();
        throw error;
    }
    server->Quit();
}

WorksheetEntry entryOf(const automation::Worksheet& sheet) {
    return {sheet.name(), sheet.Visible() != automation::SheetVisibility::Visible};
}

}  // namespace

std::vector<WorksheetEntry> worksheetsOf(const std::string& path) {
    std::vector<WorksheetEntry> entries;
    forEachWorksheet(path, [&entries](const automation::Worksheet& sheet) {
        entries.push_back(entryOf(sheet));
    });
    return entries;
}

std::vector<WorksheetExtent> worksheetExtentsOf(const std::string& path,
                                                const SheetFilter& filter) {
    std::vector<WorksheetExtent> extents;
    forEachWorksheet(path, [&](const automation::Worksheet& sheet) {
        WorksheetExtent extent;
        extent.sheet = entryOf(sheet);
        if (!filter.accepts(extent.sheet.name)) {
            return;
        }
        try {
            const automation::Range used = sheet.UsedRange();
            extent.usedRange = used.Address();
            std::erase(extent.usedRange, '$');
            extent.rows = sheet.hasCells() ? used.Rows().count() : 0;
        } catch (...) {
            extent.problem = automation::currentError().description();
        }
        extents.push_back(std::move(extent));
    });
    return extents;
}

void ListWorksheets(controls::Form1Controls& form) {
    controls::ListModel& list = form.ListView3;
    list.clear();
    list.setVisible(true);
    const std::string path = GetSelectedWorkbookPath(form);
    if (path.empty()) {
        return;
    }
    WorkbookReading reading(form);
    try {
        reading.open(path);
        const automation::SheetCollection sheets = reading.worksheets();
        const int32_t count = sheets.count();
        for (int32_t i = 1; i <= count; ++i) {
            const automation::Worksheet sheet = sheets(i);
            int row = list.add(sheet.name());
            list.setChecked(row, true);
            if (sheet.Visible() != automation::SheetVisibility::Visible) {
                list.setGreyed(row, true);
            }
        }
        reading.finish();
        list.refresh();
    } catch (...) {
        reading.reportFailure();
    }
}

void QueueAllWorksheets(controls::Form1Controls& form, const std::string& path) {
    controls::ListModel& queue = form.ListView4;
    const SheetFilter filter = SheetFilter::fromText(form.sheetFilter);
    WorkbookReading reading(form);
    try {
        reading.open(path);
        const automation::SheetCollection sheets = reading.worksheets();
        const int32_t count = sheets.count();
        int lastRow = 0;
        for (int32_t i = 1; i <= count; ++i) {
            const automation::Worksheet sheet = sheets(i);
            std::string name = sheet.name();
            if (!filter.accepts(name)) {
                continue;
            }
            queue.add(path);
            lastRow = queue.count();
            queue.setChecked(lastRow, true);
            queue.setSubItem(lastRow, std::move(name));
            if (sheet.Visible() != automation::SheetVisibility::Visible) {
                queue.setGreyed(lastRow, true);
            }
            queue.refresh();
        }
        if (lastRow > 0) {
            queue.ensureVisible(lastRow);
        }
        reading.finish();
    } catch (...) {
        reading.reportFailure();
    }
}

}  // namespace plyfold::discovery
