#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "controls/form1_controls.h"
#include "controls/services.h"

namespace plyfold::dialogs {
class DialogPresenter;
class CCommonDialogs;
}  // namespace plyfold::dialogs
namespace plyfold::merge {
struct MergeOutcome;
struct RowReport;
}  // namespace plyfold::merge

namespace plyfold::app {

// What the main window's commands ask of the window itself.
class WindowService {
public:
    virtual ~WindowService() = default;
    // Closes the main window; the view then runs Form_Unload.
    virtual void closeMainWindow() = 0;
    // Shows the Settings dialog (Dialog2) or the About box (Dialog1) modally.
    virtual void showSettingsDialog() = 0;
    virtual void showAboutBox() = 0;
    // The handle the common dialogs take as their owner.
    virtual void* windowHandle() = 0;
    // Asks for the sheet filter's patterns, showing the current ones; nothing when the user
    // cancels. A window without the dialog never changes the filter.
    virtual std::optional<std::string> askSheetFilter(const std::string& current) {
        (void)current;
        return std::nullopt;
    }
    // Asks for the header row, showing the current one; nothing when the user cancels. A
    // window without the dialog never changes the row.
    virtual std::optional<int32_t> askHeaderRow(int32_t current) {
        (void)current;
        return std::nullopt;
    }
};

// The program's folder and the folder its saved list and settings file live in
// (state::chooseStateFolder); one folder for both unless told otherwise.
struct ProgramFolders {
    ProgramFolders(std::string folder) : program(folder), state(std::move(folder)) {}
    ProgramFolders(const char* folder) : ProgramFolders(std::string(folder)) {}
    ProgramFolders(std::string programFolder, std::string stateFolder)
        : program(std::move(programFolder)), state(std::move(stateFolder)) {}

    std::string program;
    std::string state;
};

// The lists whose rows name a sheet to preview.
enum class PreviewList { Worksheets, Queue };

struct Form1Services {
    controls::MessageBoxService* messages = nullptr;
    controls::PointerService* pointer = nullptr;
    controls::ShellService* shell = nullptr;
    dialogs::DialogPresenter* dialogs = nullptr;
    WindowService* window = nullptr;
};

// The main window's logic: its controls and every event handler, under the names of the
// controls and events. The view calls a handler for each user event and shows the controls'
// state.
class Form1 {
public:
    Form1(ProgramFolders folders, Form1Services services);

    controls::Form1Controls& controls() { return m_controls; }
    const controls::Form1Controls& controls() const { return m_controls; }

    // Start-up and shutdown. Form_Load sets up the controls and restores the saved source
    // list; SetUpControls does the first part alone, for a front end without a saved list.
    // Form_Unload saves the list (as the settings file says) and tells in one box, naming the
    // folder and the reason, when that failed.
    void Form_Load();
    void SetUpControls();
    void Form_Unload();
    void Command9_Click();  // Exit

    // Merge options.
    void Combo1_Click();
    void Option1_Click();
    void Option2_Click();
    void Text1_LostFocus();

    // Merge command. Command18_Click runs the merge the options choose under the wait pointer,
    // shows "Merge Failed!" with the cause as its details after a failure, and once the result
    // is open the merge report (ShowMergeReport).
    void Command18_Click();
    void Merge_Click();
    // The one-sheet merge Combo1 chooses, with "Merge Failed!" after a failure; fills the
    // outcome and leaves the report to the caller.
    void MergeToOneSheet(merge::MergeOutcome& outcome);

    // Settings, help, home page, About. Help opens the first manual of HelpLocations that
    // exists, through the shell; when none does, a box names the places it belongs.
    void Settings_Click();
    void Command12_Click();
    void Help_Click();
    void Command13_Click();
    void HomePage_Click();
    void About_Click();

    // Source list.
    void Command8_Click();
    void Command6_Click();
    void Command7_Click();
    void Command5_Click();
    void Command4_Click();
    void Addexcel_Click();
    void AddFolder_Click();
    void RemoveItem_Click();
    void RemoveAll_Click();
    void ListView1_ItemClick();
    // Files and folders dropped on the source list, added as Add Excel and Add Folder add
    // them, in the order dropped: a folder becomes a folder entry, a file of a kind the folder
    // scan lists a file entry. The last entry added is selected and listed. Anything else (a
    // missing path, a file of another kind) is left out and named in one message.
    void DropSources(const std::vector<std::string>& paths);

    // The full path a row of one of the four lists stands for, shown as its tool tip: a source
    // entry's path; a workbook's path under the selected source; the selected workbook's path
    // and, on a line of its own, the worksheet's name; a queue entry's path and sheet alike.
    // "" for a list of none of them or a row it does not have.
    std::string RowToolTip(const controls::ListModel& list, int row) const;

    // Workbook and worksheet browser.
    void ListView2_ItemClick();
    void ListView3_DblClick();

    // Merge queue.
    void Command20_Click();
    void Command16_Click();
    void Command10_Click();
    void Command11_Click();
    void Command14_Click();
    void Command15_Click();
    void Command17_Click();
    void ListView4_DblClick();

    // Preview Sheet: the sheet of the selected row of a list (the worksheet list's row of the
    // browsed workbook, or a merge-queue entry), opened read-only in a server instance of its
    // own and shown alone, its window titled as a preview that offers no save. Failures (no
    // row, a missing or unreadable file, no such worksheet) are told in a box naming the file
    // and sheet; the file is only read.
    void PreviewSheet(PreviewList list);
    void PreviewWorksheet_Click();
    void PreviewQueueItem_Click();

    // The Sheet Names menu: what the one-workbook merge names its copies (the checked item).
    void SheetNamesSource_Click();
    void SheetNamesFile_Click();
    void SheetNamesFileSheet_Click();
    // Sheet Filter...: asks for the patterns that "Add All Sheets" and "Add All Excel Files"
    // queue worksheets by (controls::Form1Controls::sheetFilter); empty takes every sheet.
    void SheetFilter_Click();
    // The Merge Options menu. MatchHeaders_Click and SourceColumn_Click flip their option;
    // HeaderRow_Click asks for the header row (1 to the last row of a sheet) and refuses any
    // other answer, keeping the row it had.
    void MatchHeaders_Click();
    void SourceColumn_Click();
    void HeaderRow_Click();
    // Flips whether the folder scan lists subfolders too, and lists the shown source again.
    void IncludeSubfolders_Click();

    // Saved jobs: the merge queue with its check marks and the merge options, in a file.
    void SaveJob_Click();
    void OpenJob_Click();

    // Where Help looks last: the manual of the source tree the program was built from
    // (compiled in); empty to look nowhere there.
    void setSourceTreeManual(std::string path) { m_sourceTreeManual = std::move(path); }

    // What the user is told after a merge whose result opened: one information box listing
    // the queue rows left out, then what the result does not carry, then the blocks whose
    // header row differs from the first block's, with "Save Report..." (the whole queue as a
    // tab-separated report) when rows were left out. Nothing when there is nothing to tell.
    void ShowMergeReport(const merge::MergeOutcome& outcome);

private:
    // The common dialog wrapper, owned by the main window.
    dialogs::CCommonDialogs commonDialog() const;
    void showMergeFailed(const merge::MergeOutcome& outcome);
    // One information box naming the workbooks the last folder scan left out as results of
    // earlier merges; nothing when it left none out.
    void tellLeftOutWorkbooks() const;
    // Asks for a file and writes the report of the rows there, whole or not at all.
    void saveMergeReport(const std::vector<merge::RowReport>& rows);

    controls::Form1Controls m_controls;
    Form1Services m_services;
    // The job file saved or opened last; the job dialogs start there.
    std::string m_jobPath;
    std::string m_sourceTreeManual;
};

}  // namespace plyfold::app
