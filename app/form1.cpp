#include "app/form1.h"

#include "app/about_box.h"
#include "app/block_gap.h"
#include "app/help_locations.h"
#include "discovery/path_helpers.h"
#include "engine/common/file_access.h"
#include "merge/merge_request.h"
#include "merge/merges.h"
#include "state/saved_list.h"

namespace plyfold::app {
namespace {

constexpr const char* kRowCaption = "Ignore first row on subsequent worksheets";
constexpr const char* kColumnCaption = "Ignore first column on subsequent worksheets";

}  // namespace

Form1::Form1(ProgramFolders folders, Form1Services services)
    : m_services(services), m_sourceTreeManual(SourceTreeManual()) {
    controls::Form1Controls& c = m_controls;
    c.programFolder = std::move(folders.program);
    c.stateFolder = std::move(folders.state);
    c.messages = services.messages;
    c.pointer = services.pointer;
    c.Option1.setCaption("Plyfold to one new sheet");
    c.Option2.setCaption("Plyfold into one new workbook");
    c.Check1.setCaption(kRowCaption);
    c.Check2.setCaption(
        "Changes the width of a table column to accommodate the width of the text ");
    c.Label1.setCaption("Insert the number of row or column between the sheets:");
    c.Text1.setText("0");
}

void Form1::Form_Load() {
    SetUpControls();
    m_controls.textDialect = state::readTextDialect(m_controls.stateFolder);
    state::restoreSourceList(m_controls.stateFolder, m_controls.ListView1,
                             discovery::SourceIconForPath);
    m_controls.ListView1.refresh();
}

void Form1::SetUpControls() {
    controls::Form1Controls& c = m_controls;
    c.Check2.setValue(1);
    c.ListView1.addColumnHeader("Please Select the Excel File or Folder to Merge", 10200);
    c.ListView2.addColumnHeader("WorkBooks", 1900);
    c.ListView3.addColumnHeader("WorkSheets", 1900);
    c.ListView4.addColumnHeader("Excel File", 3100);
    c.ListView4.addColumnHeader("Sheets be Merged", 1900);
    c.BlockGap = 0;
    c.Combo1.addItem("Vertical merger");
    c.Combo1.addItem("Horizontal Merger");
    c.Combo1.setListIndex(0);
    Combo1_Click();
    c.Option1.setValue(true);
    c.Option2.setValue(false);
    Option1_Click();
}

void Form1::Form_Unload() {
    try {
        state::saveSourceList(m_controls.stateFolder, m_controls.ListView1);
    } catch (const state::StateFileRefused& refused) {
        // Something the user put in the list's place is kept: say why the list was not saved.
        m_controls.showMessage("The source list was not saved: " + refused.description(),
                               controls::MessageIcon::Critical);
    } catch (const files::FileError& error) {
        // The list saved before is kept whole; the user learns why this one was not.
        m_controls.showMessage("The source list could not be saved in the folder '" +
                                   m_controls.stateFolder + "'.\n\n" + error.description(),
                               controls::MessageIcon::Critical);
    }
}

void Form1::Command9_Click() {
    if (m_services.window) {
        m_services.window->closeMainWindow();
    } else {
        Form_Unload();
    }
}

void Form1::Combo1_Click() {
    m_controls.Check1.setCaption(m_controls.Combo1.listIndex() == 0 ? kRowCaption : kColumnCaption);
}

void Form1::Option1_Click() {
    m_controls.Combo1.setEnabled(true);
    m_controls.Text1.setEnabled(true);
    m_controls.Check1.setEnabled(true);
    m_controls.Check2.setEnabled(true);
}

void Form1::Option2_Click() {
    m_controls.Combo1.setEnabled(false);
    m_controls.Text1.setEnabled(false);
    m_controls.Check1.setEnabled(false);
    m_controls.Check2.setEnabled(false);
}

// The gap box is read only by the Merge command.
void Form1::Text1_LostFocus() {}

void Form1::Command18_Click() {
    controls::Form1Controls& c = m_controls;
    const int rowCount = c.ListView4.count();
    c.BlockGap = ReadGapNumber(c.Text1.text());
    if (c.BlockGap < 1) {
        c.BlockGap = 0;
        c.Text1.setText("0");
    }
    int checked = 0;
    for (int row = 1; row <= rowCount; ++row) {
        checked += c.ListView4.isChecked(row) ? 1 : 0;
    }
    if (checked == 0) {
        c.showMessage("Please select some excel files to Merge!",
                      controls::MessageIcon::Information);
        return;
    }
    c.ProgressBar1.setMaximum(rowCount);
    merge::MergeOutcome outcome;
    {
        controls::WaitPointerScope wait(c);
        if (c.Option1.value()) {
            MergeToOneSheet(outcome);
        } else if (!merge::MergeToOneWorkbook(c, &outcome)) {
            showMergeFailed(outcome);
        }
    }
    c.ProgressBar1.setValue(0);
    // Told once the wait is over, so that the report's file dialog takes input as usual.
    if (outcome.succeeded()) {
        ShowMergeReport(outcome);
    }
}

void Form1::Merge_Click() {
    Command18_Click();
}

void Form1::MergeToOneSheet(merge::MergeOutcome& outcome) {
    const bool merged = m_controls.Combo1.listIndex() == 0
                            ? merge::MergeSheetsVertically(m_controls, &outcome)
                            : merge::MergeSheetsHorizontally(m_controls, &outcome);
    if (!merged) {
        showMergeFailed(outcome);
    }
}

void Form1::Settings_Click() {
    if (m_services.window) {
        m_services.window->showSettingsDialog();
    }
}

void Form1::Command12_Click() {
    if (!m_services.shell) {
        return;
    }
    const std::vector<std::string> locations =
        HelpLocations(m_controls.programFolder, m_sourceTreeManual);
    for (const std::string& location : locations) {
        if (files::isFile(location)) {
            m_services.shell->open(location, controls::ShowCommand::Show);
            return;
        }
    }
    std::string text = "The manual was not found. It belongs in one of these places:\n";
    for (const std::string& location : locations) {
        text += "\n" + location;
    }
    m_controls.showMessage(text, controls::MessageIcon::Information);
}

void Form1::Help_Click() {
    Command12_Click();
}

void Form1::Command13_Click() {
    if (m_services.shell) {
        m_services.shell->open(std::string(kHomePageAddress), controls::ShowCommand::Show);
    }
}

void Form1::HomePage_Click() {
    Command13_Click();
}

void Form1::About_Click() {
    if (m_services.window) {
        m_services.window->showAboutBox();
    }
}

}  // namespace plyfold::app
