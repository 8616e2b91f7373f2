#include "app/form1.h"

#include <string>
#include <utility>
#include <vector>

#include "dialogs/common_dialogs.h"
#include "discovery/list_workbooks.h"
#include "discovery/list_worksheets.h"
#include "discovery/path_helpers.h"
#include "discovery/queue_one.h"
#include "discovery/sheet_filter.h"

namespace plyfold::app {

// The commands of the source list, the browser and the merge queue.

namespace {

// A failure that reaches a command ends it without a message of its own; what the command
// did before stays, and the wait pointer is restored by its scope on the way out.
template <typename Body>
void endQuietlyOnFailure(Body&& body) {
    try {
        std::forward<Body>(body)();
    } catch (...) {
    }
}

// Moves the selected row of a list one place up (-1) or down (+1), keeping everything the
// row shows, then selects it and scrolls it into view. Nothing happens at either end or when
// no row is selected.
void moveSelectedRow(controls::ListModel& list, int step) {
    const int count = list.count();
    const int from = list.selectedIndex();
    if (count == 0 || from == 0) {
        return;
    }
    const int to = from + step;
    if (to < 1 || to > count) {
        return;
    }
    const controls::ListItem row = list.item(from);
    list.remove(from);
    list.insert(to, row.text);
    list.setSubItem(to, row.subItem);
    list.setChecked(to, row.checked);
    list.setSmallIcon(to, row.smallIcon);
    list.setGreyed(to, row.greyed);
    list.select(to);
    list.ensureVisible(to);
}

// Lists the workbooks of the source, then the worksheets of the designated workbook, under
// the wait pointer.
void listSource(controls::Form1Controls& c, const std::string& source) {
    controls::WaitPointerScope wait(c);
    discovery::ListWorkbooks(c, source);
    discovery::ListWorksheets(c);
}

}  // namespace

// Several files chosen at once each become an entry, in the order chosen; the last is the one
// selected and listed.
void Form1::Command8_Click() {
    controls::Form1Controls& c = m_controls;
    endQuietlyOnFailure([&] {
        dialogs::CCommonDialogs dialog = commonDialog();
        dialog.setTitle("Select Excel File");
        dialog.setMultiSelect(true);
        if (!dialog.ShowOpen()) {
            return;
        }
        int row = 0;
        for (const std::string& path : dialog.FileNames()) {
            row = c.ListView1.add(path);
            c.ListView1.setSmallIcon(row, discovery::SourceIconForFile(path));
        }
        c.ListView1.select(row);
        c.ListView1.ensureVisible(row);
        c.ListView1.refresh();
        listSource(c, c.ListView1.text(row));
    });
}

void Form1::Command6_Click() {
    controls::Form1Controls& c = m_controls;
    endQuietlyOnFailure([&] {
        dialogs::CCommonDialogs dialog = commonDialog();
        dialog.setTitle("Add all excel files in folder");
        if (!dialog.ShowFolder() || dialog.Path().empty()) {
            return;
        }
        const std::string path = dialog.Path();
        const int row = c.ListView1.add(path);
        c.ListView1.setSmallIcon(row, discovery::kIconFolder);
        c.ListView1.select(row);
        controls::WaitPointerScope wait(c);
        discovery::ListWorkbooks(c, path);
        c.ListView1.refresh();
        c.ListView1.ensureVisible(row);
        discovery::ListWorksheets(c);
        tellLeftOutWorkbooks();
    });
}

void Form1::DropSources(const std::vector<std::string>& paths) {
    controls::Form1Controls& c = m_controls;
    std::vector<std::string> leftOut;
    endQuietlyOnFailure([&] {
        int row = 0;
        bool lastIsFolder = false;
        for (const std::string& path : paths) {
            const int kind = discovery::GetPathKind(path);
            if (kind == discovery::kPathFolder) {
                row = c.ListView1.add(path);
                c.ListView1.setSmallIcon(row, discovery::kIconFolder);
            } else if (kind == discovery::kPathFile && discovery::IsListedFileName(path)) {
                row = c.ListView1.add(path);
                c.ListView1.setSmallIcon(row, discovery::SourceIconForFile(path));
            } else {
                leftOut.push_back(path);
                continue;
            }
            lastIsFolder = kind == discovery::kPathFolder;
        }
        if (row == 0) {
            return;
        }
        c.ListView1.select(row);
        c.ListView1.ensureVisible(row);
        c.ListView1.refresh();
        listSource(c, c.ListView1.text(row));
        if (lastIsFolder) {
            tellLeftOutWorkbooks();
        }
    });
    if (leftOut.empty()) {
        return;
    }
    std::string text = leftOut.size() == 1
                           ? std::string("1 dropped item was left out")
                           : std::to_string(leftOut.size()) + " dropped items were left out";
    text +=
        ": only folders and spreadsheet files (.xls, .xlsx, .xlsm, .csv, .txt, .dbf) can be "
        "sources.";
    // A long list would not fit a message box; the first ones tell what happened.
    constexpr size_t kShownNames = 10;
    for (size_t i = 0; i < leftOut.size() && i < kShownNames; ++i) {
        text += "\n" + leftOut[i];
    }
    if (leftOut.size() > kShownNames) {
        text += "\n...";
    }
    c.showMessage(text, controls::MessageIcon::Information);
}

void Form1::Command7_Click() {
    controls::Form1Controls& c = m_controls;
    endQuietlyOnFailure([&] {
        const int count = c.ListView1.count();
        const int removed = c.ListView1.selectedIndex();
        if (count == 0 || removed == 0) {
            return;
        }
        c.ListView1.remove(removed);
        if (count == 1) {
            c.ListView2.clear();
            c.ListView3.clear();
            return;
        }
        const int selected = removed >= 2 ? removed - 1 : 1;
        c.ListView1.select(selected);
        listSource(c, c.ListView1.text(selected));
    });
}

void Form1::Command5_Click() {
    endQuietlyOnFailure([&] { moveSelectedRow(m_controls.ListView1, -1); });
}

void Form1::Command4_Click() {
    endQuietlyOnFailure([&] { moveSelectedRow(m_controls.ListView1, +1); });
}

void Form1::Addexcel_Click() {
    Command8_Click();
}
void Form1::AddFolder_Click() {
    Command6_Click();
}
void Form1::RemoveItem_Click() {
    Command7_Click();
}

void Form1::RemoveAll_Click() {
    m_controls.ListView1.clear();
    m_controls.ListView2.clear();
    m_controls.ListView3.clear();
}

void Form1::ListView1_ItemClick() {
    controls::Form1Controls& c = m_controls;
    endQuietlyOnFailure([&] {
        if (c.ListView1.isEmpty() || !c.ListView1.hasSelection()) {
            return;
        }
        const std::string source = c.ListView1.text(c.ListView1.selectedIndex());
        c.ListView2.clear();
        c.ListView3.clear();
        listSource(c, source);
    });
}

void Form1::ListView2_ItemClick() {
    controls::Form1Controls& c = m_controls;
    endQuietlyOnFailure([&] {
        controls::WaitPointerScope wait(c);
        discovery::ListWorksheets(c);
    });
}

void Form1::ListView3_DblClick() {
    endQuietlyOnFailure([&] { discovery::QueueSelectedWorksheet(m_controls); });
}

void Form1::Command20_Click() {
    controls::Form1Controls& c = m_controls;
    endQuietlyOnFailure([&] {
        if (!c.ListView1.isEmpty() && !c.ListView1.hasSelection()) {
            return;
        }
        const std::string source =
            c.ListView1.isEmpty() ? std::string() : c.ListView1.text(c.ListView1.selectedIndex());
        const int workbookCount = c.ListView2.count();
        controls::WaitPointerScope wait(c);
        switch (discovery::GetPathKind(source)) {
            case discovery::kPathFile:
                discovery::QueueAllWorksheets(c, source);
                break;
            case discovery::kPathFolder:
                for (int row = 1; row <= workbookCount; ++row) {
                    // The check mark is read first: an unchecked row needs no file lookup.
                    if (!c.ListView2.isChecked(row)) {
                        continue;
                    }
                    const std::string path = discovery::GetWorkbookPathAt(c, row);
                    if (!path.empty()) {
                        discovery::QueueAllWorksheets(c, path);
                    }
                }
                break;
            default:
                break;
        }
    });
}

void Form1::Command16_Click() {
    controls::Form1Controls& c = m_controls;
    endQuietlyOnFailure([&] {
        controls::WaitPointerScope wait(c);
        const discovery::SheetFilter filter = discovery::SheetFilter::fromText(c.sheetFilter);
        const int worksheetCount = c.ListView3.count();
        for (int row = 1; row <= worksheetCount; ++row) {
            if (!filter.accepts(c.ListView3.text(row))) {
                continue;
            }
            const std::string path = discovery::GetSelectedWorkbookPath(c);
            if (path.empty()) {
                c.showMessage("File does not exist!", controls::MessageIcon::Critical);
                break;
            }
            discovery::AppendListedWorksheet(c.ListView4, path, c.ListView3, row);
        }
    });
}

void Form1::SheetFilter_Click() {
    if (!m_services.window) {
        return;
    }
    if (auto text = m_services.window->askSheetFilter(m_controls.sheetFilter)) {
        // Kept as typed, so the dialog shows it the same way next time; blanks alone are empty.
        const bool blank = text->find_first_not_of(" \t;") == std::string::npos;
        m_controls.sheetFilter = blank ? std::string() : std::move(*text);
    }
}

void Form1::Command10_Click() {
    endQuietlyOnFailure([&] { discovery::QueueSelectedWorksheet(m_controls); });
}

void Form1::Command11_Click() {
    discovery::RemoveSelectedQueueItem(m_controls);
}

void Form1::Command14_Click() {
    endQuietlyOnFailure([&] { moveSelectedRow(m_controls.ListView4, -1); });
}

void Form1::Command15_Click() {
    endQuietlyOnFailure([&] { moveSelectedRow(m_controls.ListView4, +1); });
}

void Form1::Command17_Click() {
    m_controls.ListView4.clear();
}

void Form1::ListView4_DblClick() {
    discovery::RemoveSelectedQueueItem(m_controls);
}

std::string Form1::RowToolTip(const controls::ListModel& list, int row) const {
    const controls::Form1Controls& c = m_controls;
    if (row < 1 || row > list.count()) {
        return {};
    }
    // The workbook of a row of the workbook list, whether or not its file is still there.
    auto workbookPath = [&c](int workbookRow) {
        const std::string& name = c.ListView2.text(workbookRow);
        if (!c.ListView1.hasSelection()) {
            return name;
        }
        const std::string& source = c.ListView1.text(c.ListView1.selectedIndex());
        // A file source lists its own name, and is that workbook even once its file went.
        const int kind = discovery::GetPathKind(source);
        const bool isFile =
            kind == discovery::kPathFile ||
            (kind == discovery::kPathMissing && source.size() > name.size() &&
             source.ends_with(name) && source[source.size() - name.size() - 1] == '/');
        return isFile ? source : discovery::JoinPath(source, name);
    };
    if (&list == &c.ListView1) {
        return list.text(row);
    }
    if (&list == &c.ListView2) {
        return workbookPath(row);
    }
    if (&list == &c.ListView3) {
        // The worksheets are a file source's whatever the workbook list selects.
        std::string workbook;
        if (c.ListView1.hasSelection() &&
            discovery::GetPathKind(c.ListView1.text(c.ListView1.selectedIndex())) ==
                discovery::kPathFile) {
            workbook = c.ListView1.text(c.ListView1.selectedIndex());
        } else if (c.ListView2.hasSelection()) {
            workbook = workbookPath(c.ListView2.selectedIndex());
        }
        return workbook.empty() ? list.text(row) : workbook + "\n" + list.text(row);
    }
    if (&list == &c.ListView4) {
        return list.text(row) + "\n" + list.subItem(row);
    }
    return {};
}

dialogs::CCommonDialogs Form1::commonDialog() const {
    dialogs::CCommonDialogs dialog(m_controls.programFolder);
    dialog.Init(m_services.window ? m_services.window->windowHandle() : nullptr,
                m_services.dialogs);
    return dialog;
}

}  // namespace plyfold::app
