#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "app/form1.h"
#include "automation/automation.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/recording_services.h"
#include "tests/support/temp_dir.h"

namespace plyfold::app {
namespace {

using test::RecordingMessages;
using test::RecordingPointer;
using test::RecordingShell;

class Form1Test : public ::testing::Test {
protected:
    Form1Test() : form(dir.path().string(), services()) {}

    Form1Services services() {
        Form1Services s;
        s.messages = &messages;
        s.pointer = &pointer;
        s.shell = &shell;
        return s;
    }
    controls::Form1Controls& c() { return form.controls(); }
    void queue(const std::string& path, const std::string& sheet, bool checked = true) {
        int row = c().ListView4.add(path);
        c().ListView4.setSubItem(row, sheet);
        c().ListView4.setChecked(row, checked);
    }

    test::TempDir dir;
    RecordingMessages messages;
    RecordingPointer pointer;
    RecordingShell shell;
    Form1 form;
};

TEST_F(Form1Test, LoadSetsTheInitialValues) {
    test::writeFile(dir.file("EXCEL.txt"), "/nowhere/a.xlsx\r\n");
    form.Form_Load();
    EXPECT_EQ(c().ListView1.count(), 1);
    EXPECT_EQ(c().ListView1.smallIcon(1), 3);
    EXPECT_FALSE(c().ListView1.hasSelection());
    EXPECT_EQ(c().ListView2.count() + c().ListView3.count() + c().ListView4.count(), 0);
    EXPECT_TRUE(c().Option1.value());
    EXPECT_FALSE(c().Option2.value());
    EXPECT_EQ(c().Combo1.listIndex(), 0);
    ASSERT_EQ(c().Combo1.items().size(), 2u);
    EXPECT_EQ(c().Combo1.items()[0], "Vertical merger");
    EXPECT_EQ(c().Combo1.items()[1], "Horizontal Merger");
    EXPECT_EQ(c().Check1.value(), 0);
    EXPECT_EQ(c().Check1.caption(), "Ignore first row on subsequent worksheets");
    EXPECT_EQ(c().Check2.value(), 1);
    EXPECT_EQ(c().Check2.caption(),
              "Changes the width of a table column to accommodate the width of the text ");
    EXPECT_EQ(c().Text1.text(), "0");
    EXPECT_EQ(c().BlockGap, 0);
    EXPECT_EQ(c().ProgressBar1.value(), 0);
    EXPECT_EQ(c().ProgressBar1.maximum(), 100);
    for (const controls::Control* control : std::initializer_list<const controls::Control*>{
             &c().Combo1, &c().Text1, &c().Check1, &c().Check2}) {
        EXPECT_TRUE(control->isEnabled());
    }
    ASSERT_EQ(c().ListView4.columnHeaders().size(), 2u);
    EXPECT_EQ(c().ListView4.columnHeaders()[1].text, "Sheets be Merged");
    EXPECT_EQ(c().ListView1.columnHeaders()[0].widthTwips, 10200);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(Form1Test, OptionsKeepTheirValuesWhileDisabled) {
    form.Form_Load();
    c().Check1.setValue(1);
    c().Combo1.setListIndex(1);
    form.Combo1_Click();
    EXPECT_EQ(c().Check1.caption(), "Ignore first column on subsequent worksheets");
    EXPECT_EQ(c().Check1.value(), 1);
    c().Text1.setText("x");
    form.Text1_LostFocus();
    EXPECT_EQ(c().Text1.text(), "x");
    c().Option2.setValue(true);
    c().Option1.setValue(false);
    form.Option2_Click();
    EXPECT_FALSE(c().Combo1.isEnabled());
    EXPECT_FALSE(c().Text1.isEnabled());
    EXPECT_FALSE(c().Check1.isEnabled());
    EXPECT_FALSE(c().Check2.isEnabled());
    EXPECT_TRUE(c().Label1.isEnabled());
    form.Option1_Click();
    EXPECT_TRUE(c().Check1.isEnabled());
    EXPECT_EQ(c().Check1.value(), 1);
    EXPECT_EQ(c().Combo1.listIndex(), 1);
    c().Combo1.setListIndex(0);
    form.Combo1_Click();
    EXPECT_EQ(c().Check1.caption(), "Ignore first row on subsequent worksheets");
}

TEST_F(Form1Test, MergeWithNothingCheckedAsksForFilesAfterNormalisingTheGap) {
    form.Form_Load();
    for (const char* text : {"-1", "", "abc"}) {
        c().Text1.setText(text);
        messages.shown.clear();
        form.Command18_Click();
        EXPECT_EQ(c().Text1.text(), "0");
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].first, "Please select some excel files to Merge!");
        EXPECT_EQ(messages.shown[0].second, controls::MessageIcon::Information);
    }
    queue("/x.xlsx", "Sheet1", false);
    c().ProgressBar1.setMaximum(7);
    messages.shown.clear();
    form.Merge_Click();
    EXPECT_EQ(messages.texts(),
              std::vector<std::string>{"Please select some excel files to Merge!"});
    EXPECT_EQ(c().ProgressBar1.maximum(), 7) << "the progress bar is not touched";
}

TEST_F(Form1Test, APositiveGapKeepsItsText) {
    form.Form_Load();
    c().Text1.setText("2.5");
    form.Command18_Click();
    EXPECT_EQ(c().BlockGap, 2);
    EXPECT_EQ(c().Text1.text(), "2.5");
    c().Text1.setText("&HFFFF");
    form.Command18_Click();
    EXPECT_EQ(c().BlockGap, 0);
    EXPECT_EQ(c().Text1.text(), "0");
}

// Without a server every merge fails: each shows its own messages and one "Merge Failed!".
class NoServerTest : public Form1Test {
protected:
    void SetUp() override {
        automation::ServerRegistry::instance().unregisterServer("Excel.Application");
    }
    void TearDown() override {
        automation::ServerRegistry::instance().registerServer(
            "Excel.Application", [] { return std::make_shared<automation::Application>(); });
    }
};

TEST_F(NoServerTest, EachMergeReportsItsFailureAsSpecifiedAndResetsTheProgress) {
    form.Form_Load();
    for (int row = 0; row < 5; ++row) {
        queue("/q" + std::to_string(row) + ".xlsx", "Sheet1", row % 2 == 0 && row < 3);
    }
    form.Command18_Click();
    EXPECT_EQ(c().ProgressBar1.maximum(), 5);
    EXPECT_EQ(c().ProgressBar1.value(), 0);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_NE(messages.shown[0].first.find("Excel.Application"), std::string::npos);
    EXPECT_EQ(messages.shown[0].second, controls::MessageIcon::Critical);
    EXPECT_EQ(messages.shown[1].first, "Merge Failed!");
    EXPECT_FALSE(pointer.isWaiting());

    messages.shown.clear();
    c().Combo1.setListIndex(1);
    form.Command18_Click();
    EXPECT_EQ(messages.texts(), std::vector<std::string>{"Merge Failed!"});

    messages.shown.clear();
    c().Option1.setValue(false);
    c().Option2.setValue(true);
    form.Command18_Click();
    EXPECT_EQ(messages.texts(), std::vector<std::string>{"Merge Failed!"});
    EXPECT_EQ(messages.shown[0].second, controls::MessageIcon::Critical);
}

TEST_F(Form1Test, HelpAndHomePageGoToTheShell) {
    test::writeFile(dir.file("help.chm"), "help");
    form.Command12_Click();
    form.Help_Click();
    form.Command13_Click();
    form.HomePage_Click();
    ASSERT_EQ(shell.opened.size(), 4u);
    EXPECT_EQ(shell.opened[0].first, dir.file("help.chm"));
    EXPECT_EQ(shell.opened[0], shell.opened[1]);
    EXPECT_EQ(shell.opened[2], shell.opened[3]);
    EXPECT_EQ(shell.opened[2].first.rfind("https://", 0), 0u);
    EXPECT_EQ(shell.opened[2].second, controls::ShowCommand::Show);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(Form1Test, ExitWithoutAWindowRunsTheUnloadSteps) {
    form.Form_Load();
    c().ListView1.add("/data/one.xlsx");
    form.Command9_Click();
    EXPECT_EQ(test::readFile(dir.file("EXCEL.txt")), "/data/one.xlsx\r\n");
}

TEST_F(Form1Test, UnloadWhenTheListCannotBeSavedKeepsTheOldOneAndSaysWhere) {
    test::writeFile(dir.file("EXCEL.txt"), "/data/old.xlsx\r\n");
    form.Form_Load();
    c().ListView1.add("/data/new.xlsx");
    test::FailingFileSystem files;
    files.fail(test::FileOperation::Rename, dir.path().string(), EIO);
    form.Form_Unload();
    EXPECT_EQ(files.failuresGiven(), 1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(
        messages.shown[0].first.rfind(
            "The source list could not be saved in the folder '" + dir.path().string() + "'.", 0),
        0u);
    EXPECT_NE(messages.shown[0].first.find("Input/output error"), std::string::npos);
    EXPECT_EQ(messages.shown[0].second, controls::MessageIcon::Critical);
    EXPECT_EQ(test::readFile(dir.file("EXCEL.txt")), "/data/old.xlsx\r\n");
}

// A list file that is a pipe or a folder: the load restores nothing and does not block, and the
// unload leaves it as it is and says why the list was not saved.
TEST_F(Form1Test, UnloadKeepsWhatIsNoListFileAndSaysWhy) {
    for (const char* what : {"pipe", "folder"}) {
        SCOPED_TRACE(what);
        test::TempDir folder;
        const std::string list = folder.file("EXCEL.txt");
        if (std::string(what) == "pipe") {
            ASSERT_EQ(::mkfifo(list.c_str(), 0600), 0);
        } else {
            std::filesystem::create_directory(list);
        }
        RecordingMessages shown;
        Form1Services s = services();
        s.messages = &shown;
        Form1 other(folder.path().string(), s);
        other.Form_Load();
        EXPECT_EQ(other.controls().ListView1.count(), 0);
        other.controls().ListView1.add("/data/one.xlsx");
        other.Form_Unload();
        ASSERT_EQ(shown.shown.size(), 1u);
        EXPECT_EQ(shown.shown[0].first, "The source list was not saved: '" + list +
                                            "' is not a regular file, so it was left as it is.");
        EXPECT_EQ(shown.shown[0].second, controls::MessageIcon::Critical);
        EXPECT_NE(std::filesystem::symlink_status(list).type(),
                  std::filesystem::file_type::regular);
    }
}

}  // namespace
}  // namespace plyfold::app
