#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/form1.h"
#include "automation/automation.h"
#include "discovery/path_helpers.h"

namespace plyfold::app {
namespace {

// The workbook whose worksheets the browser lists, whether or not its file still exists: what
// the source and workbook lists designate, else the path it was listed under, so that a box can
// name a file that went away.
std::string browsedWorkbookPath(const controls::Form1Controls& c) {
    std::string path = discovery::GetSelectedWorkbookPath(c);
    if (!path.empty() || !c.ListView1.hasSelection()) {
        return path;
    }
    const std::string& source = c.ListView1.text(c.ListView1.selectedIndex());
    if (!c.ListView2.hasSelection()) {
        return source;
    }
    // A file source lists one workbook, its own name.
    const std::string& name = c.ListView2.text(c.ListView2.selectedIndex());
    return std::filesystem::path(source).filename() == name ? source
                                                            : discovery::JoinPath(source, name);
}

// Leaves the sheet the one the workbook shows: visible, active, every other sheet (chart sheets
// too) hidden. Only the instance's copy changes; a hidden sheet can be previewed this way.
void showAlone(const automation::Workbook& book, automation::Worksheet sheet) {
    sheet.setVisible(automation::SheetVisibility::Visible);
    sheet.Select();
    const automation::SheetCollection sheets = book.Sheets();
    const std::string name = sheet.name();
    for (int32_t i = 1; i <= sheets.count(); ++i) {
        automation::Worksheet other = sheets(i);
        if (other.name() != name && other.Visible() == automation::SheetVisibility::Visible) {
            other.setVisible(automation::SheetVisibility::Hidden);
        }
    }
}

std::string fileNameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

}  // namespace

void Form1::PreviewSheet(PreviewList which) {
    controls::Form1Controls& c = m_controls;
    const controls::ListModel& list = which == PreviewList::Worksheets ? c.ListView3 : c.ListView4;
    if (!list.hasSelection()) {
        c.showMessage("Please select a worksheet to preview.", controls::MessageIcon::Information);
        return;
    }
    const int row = list.selectedIndex();
    const std::string path =
        which == PreviewList::Worksheets ? browsedWorkbookPath(c) : list.text(row);
    const std::string sheet = which == PreviewList::Worksheets ? list.text(row) : list.subItem(row);
    auto fail = [&](const std::string& why) {
        c.showMessage("Cannot preview the sheet '" + sheet + "' of '" + path + "'.\n" + why,
                      controls::MessageIcon::Critical);
    };
    if (discovery::GetPathKind(path) != discovery::kPathFile) {
        fail("The file does not exist.");
        return;
    }
    // Told once the wait is over.
    std::optional<std::string> failure;
    {
        controls::WaitPointerScope wait(c);
        std::shared_ptr<automation::Application> server;
        try {
            server = automation::CreateObject(automation::kSpreadsheetProgId);
            server->setDisplayAlerts(false);
            server->setTextDialect(c.textDialect);
            const automation::Workbook book =
                server->Workbooks().Open(path, automation::OpenAccess::ReadOnly);
            const automation::Worksheet shown = book.Worksheets()(sheet);
            // The cells are read now, so that a sheet that cannot be read is told here rather
            // than met by the window.
            shown.UsedRange();
            showAlone(book, shown);
            server->setSourcePaths({path});
            server->setCaption("Preview of " + fileNameOf(path) + ", sheet " + shown.name() +
                               " (read-only)");
            server->setStatusBar("Read-only preview of " + path);
            server->setVisible(true);
        } catch (...) {
            failure = automation::currentError().description();
            if (server) {
                server->Quit();
            }
        }
    }
    if (failure) {
        fail(*failure);
    }
}

void Form1::PreviewWorksheet_Click() {
    PreviewSheet(PreviewList::Worksheets);
}

void Form1::PreviewQueueItem_Click() {
    PreviewSheet(PreviewList::Queue);
}

}  // namespace plyfold::app
