#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "controls/controls.h"
#include "controls/list_model.h"
#include "controls/services.h"
#include "engine/common/text_dialect.h"

namespace plyfold::controls {

// What the one-workbook merge names its copies, as the menu bar's Sheet Names choice holds it.
enum class SheetNamesChoice { SourceSheet, File, FileAndSheet };

// The controls of the main window that the procedures read and change by name, the shared
// block gap, and the services the procedures call. The main window owns one; tests build
// one without a window.
struct Form1Controls {
    ListModel ListView1;  // source list
    ListModel ListView2;  // workbooks of the selected source
    ListModel ListView3;  // worksheets of the chosen workbook
    ListModel ListView4;  // merge queue
    OptionButton Option1;
    OptionButton Option2;
    ComboBox Combo1;
    CheckBox Check1;
    CheckBox Check2;
    TextBox Text1;
    Label Label1;
    ProgressBar ProgressBar1;
    int32_t BlockGap = 0;
    // How the merges read .csv and .txt sources: the saved setting (Form_Load, the Settings
    // dialog's OK) or the dialect of an opened job.
    engine::TextDialect textDialect;
    // The Sheet Names menu's checked choice (source sheet names unless changed).
    SheetNamesChoice sheetNames = SheetNamesChoice::SourceSheet;
    // The sheet filter of "Add All Sheets" and "Add All Excel Files": patterns separated by
    // blanks or semicolons, "-" or "!" before an exclusion; empty queues every worksheet.
    std::string sheetFilter;
    // The merge options of the Options menu: columns matched by header (vertical merge), a
    // column naming each block's source, and the header row of every block (1-based).
    bool matchHeaders = false;
    bool sourceColumn = false;
    int32_t headerRow = 1;

    // The folder scan of a source lists its subfolders' files too ("Include Subfolders").
    bool includeSubfolders = false;
    // The files the last folder scan left out as results of earlier merges.
    std::vector<std::string> leftOutWorkbooks;

    // The folder that holds the program (and help.chm); the file dialogs start there.
    std::string programFolder;
    // The folder of the saved list and the settings file: the program folder, or the user's
    // configuration folder when the program folder is not the program's to write.
    std::string stateFolder;

    MessageBoxService* messages = nullptr;
    PointerService* pointer = nullptr;

    void showMessage(std::string_view text, MessageIcon icon) const {
        if (messages) {
            messages->showMessage(text, icon);
        }
    }
    void setMousePointer(MousePointer value) const {
        if (pointer) {
            pointer->setMousePointer(value);
        }
    }
};

// Shows the wait pointer for its lifetime, then the default pointer again.
class WaitPointerScope {
public:
    explicit WaitPointerScope(const Form1Controls& form) : m_form(form) {
        m_form.setMousePointer(MousePointer::Wait);
    }
    ~WaitPointerScope() { m_form.setMousePointer(MousePointer::Default); }
    WaitPointerScope(const WaitPointerScope&) = delete;
    WaitPointerScope& operator=(const WaitPointerScope&) = delete;

private:
    const Form1Controls& m_form;
};

}  // namespace plyfold::controls
