#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "app/about_box.h"
#include "app/settings_dialog.h"
#include "controls/list_model.h"
#include "state/saved_list.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/recording_services.h"
#include "tests/support/temp_dir.h"

namespace plyfold::app {
namespace {

using test::readFile;
using test::writeFile;

// What OK writes after the flag line when every text setting is left automatic.
constexpr const char* kAutomaticLines =
    "delimiter=automatic\r\ndecimal=automatic\r\ndate-order=automatic\r\n";

TEST(SettingsDialog, OpensFromTheFileAndWritesOnlyOnOk) {
    test::TempDir dir;
    writeFile(dir.file("set.txt"), "1\r\n");
    Dialog2 dialog(dir.path().string());
    EXPECT_EQ(dialog.Check1.caption(), "Automatically save the current list .");
    dialog.Form_Load();
    EXPECT_EQ(dialog.Check1.value(), 1);
    dialog.Check1.setValue(0);
    dialog.OKButton_Click();
    EXPECT_TRUE(dialog.isCloseRequested());
    EXPECT_EQ(readFile(dir.file("set.txt")), std::string("0\r\n") + kAutomaticLines);

    Dialog2 again(dir.path().string());
    again.Form_Load();
    EXPECT_EQ(again.Check1.value(), 0);
    again.Check1.setValue(1);
    again.CancelButton_Click();
    EXPECT_TRUE(again.isCloseRequested());
    EXPECT_EQ(readFile(dir.file("set.txt")), std::string("0\r\n") + kAutomaticLines);
}

// The box opens checked exactly when the list would be saved at exit, so OK without a change
// keeps the saving as it was (and the lines after the flag).
TEST(SettingsDialog, OpensShowingWhatTheExitWillDoAndOkWithoutAChangeKeepsIt) {
    struct Case {
        const char* settings;  // nullptr: no file
        int checked;
        std::string afterOk;  // the file after OK without a change
    };
    const std::string automatic = kAutomaticLines;
    const Case cases[] = {
        {nullptr, 1, "1\r\n" + automatic},
        {"", 1, "1\r\n" + automatic},
        {"0\r\n", 0, "0\r\n" + automatic},
        {"1\r\n", 1, "1\r\n" + automatic},
        {"2\r\n", 1, "1\r\n" + automatic},
        {"yes\r\n", 1, "1\r\n" + automatic},
        {"0 \r\n", 1, "1\r\n" + automatic},
        {"\r\n0\r\n", 1, "1\r\n" + automatic + "0\r\n"},
        {"0\r\nlater=kept\r\n", 0, "0\r\n" + automatic + "later=kept\r\n"},
        {"no\r\ndelimiter=tab\r\nlater=kept\r\n", 1,
         "1\r\ndelimiter=tab\r\ndecimal=automatic\r\ndate-order=automatic\r\nlater=kept\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings ? c.settings : "no file");
        test::TempDir dir;
        if (c.settings) {
            writeFile(dir.file("set.txt"), c.settings);
        }
        writeFile(dir.file("EXCEL.txt"), "/old.xlsx\r\n");
        controls::ListModel list;
        list.add("/new.xlsx");
        Dialog2 dialog(dir.path().string());
        dialog.Form_Load();
        EXPECT_EQ(dialog.Check1.value(), c.checked);
        dialog.OKButton_Click();
        EXPECT_EQ(readFile(dir.file("set.txt")), c.afterOk);
        state::saveSourceList(dir.path().string(), list);
        EXPECT_EQ(readFile(dir.file("EXCEL.txt")), c.checked ? "/new.xlsx\r\n" : "/old.xlsx\r\n");

        Dialog2 again(dir.path().string());
        again.Form_Load();
        EXPECT_EQ(again.Check1.value(), c.checked);
    }
}

TEST(SettingsDialog, OkClosesQuietlyWhenTheFileCannotBeWritten) {
    test::TempDir dir;
    writeFile(dir.file("set.txt"), "1\r\n");
    test::FailingFileSystem files;
    files.fail(test::FileOperation::Create, dir.path().string(), EACCES);
    test::RecordingMessages messages;
    Dialog2 dialog(dir.path().string(), &messages);
    dialog.Form_Load();
    dialog.Check1.setValue(0);
    dialog.OKButton_Click();
    EXPECT_TRUE(dialog.isCloseRequested());
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(files.failuresGiven(), 1);
    EXPECT_EQ(readFile(dir.file("set.txt")), "1\r\n");
}

// A settings file that is a folder is kept, and OK says why the setting was not saved; an
// ordinary failure stays quiet (above).
TEST(SettingsDialog, OkSaysWhyItKeepsSomethingThatIsNoSettingsFile) {
    test::TempDir dir;
    std::filesystem::create_directory(dir.path() / "set.txt");
    test::RecordingMessages messages;
    Dialog2 dialog(dir.path().string(), &messages);
    dialog.Form_Load();
    EXPECT_EQ(dialog.Check1.value(), 1);
    dialog.Check1.setValue(0);
    dialog.OKButton_Click();
    EXPECT_TRUE(dialog.isCloseRequested());
    EXPECT_EQ(messages.texts(),
              std::vector<std::string>{"The setting was not saved: '" + dir.file("set.txt") +
                                       "' is not a regular file, so it was left as it is."});
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "set.txt"));
}

// The three lists open from the file, OK writes what they show after the unchanged flag line,
// Cancel writes nothing; what the file does not say (or says in words the dialog does not
// know) opens as Automatic.
TEST(SettingsDialog, TextSettingsRoundTripThroughTheFile) {
    test::TempDir dir;
    writeFile(dir.file("set.txt"), "1\r\n");
    Dialog2 dialog(dir.path().string());
    dialog.Form_Load();
    EXPECT_EQ(dialog.Check1.value(), 1);
    EXPECT_EQ(dialog.DelimiterCombo.items(),
              (std::vector<std::string>{"Automatic", "Comma", "Semicolon", "Tab", "Pipe"}));
    EXPECT_EQ(dialog.DecimalCombo.items(),
              (std::vector<std::string>{"Automatic", "Point", "Comma"}));
    EXPECT_EQ(dialog.DateOrderCombo.items(),
              (std::vector<std::string>{"Automatic", "Day-month-year", "Month-day-year",
                                        "Year-month-day"}));
    for (const controls::ComboBox* combo :
         {&dialog.DelimiterCombo, &dialog.DecimalCombo, &dialog.DateOrderCombo}) {
        EXPECT_EQ(combo->listIndex(), 0);
    }
    EXPECT_EQ(dialog.textDialect(), engine::TextDialect{});

    dialog.DelimiterCombo.setListIndex(3);  // Tab
    dialog.DecimalCombo.setListIndex(2);    // Comma
    dialog.DateOrderCombo.setListIndex(1);  // Day-month-year
    dialog.OKButton_Click();
    EXPECT_EQ(readFile(dir.file("set.txt")),
              "1\r\ndelimiter=tab\r\ndecimal=comma\r\ndate-order=dmy\r\n");

    Dialog2 again(dir.path().string());
    again.Form_Load();
    EXPECT_EQ(again.Check1.value(), 1);
    EXPECT_EQ(again.DelimiterCombo.listIndex(), 3);
    EXPECT_EQ(again.DecimalCombo.listIndex(), 2);
    EXPECT_EQ(again.DateOrderCombo.listIndex(), 1);
    EXPECT_EQ(again.textDialect(), (engine::TextDialect{'\t', engine::DecimalSeparator::Comma,
                                                        engine::DateOrder::DayMonthYear}));
    again.DelimiterCombo.setListIndex(4);
    again.DateOrderCombo.setListIndex(3);
    again.CancelButton_Click();
    EXPECT_EQ(readFile(dir.file("set.txt")),
              "1\r\ndelimiter=tab\r\ndecimal=comma\r\ndate-order=dmy\r\n");

    writeFile(dir.file("set.txt"), "0\r\ndelimiter=colon\r\ndecimal=dot\r\ndate-order=ydm\r\n");
    Dialog2 unknown(dir.path().string());
    unknown.Form_Load();
    EXPECT_EQ(unknown.Check1.value(), 0);
    EXPECT_EQ(unknown.textDialect(), engine::TextDialect{});
    unknown.DelimiterCombo.setListIndex(4);
    unknown.OKButton_Click();
    EXPECT_EQ(readFile(dir.file("set.txt")),
              "0\r\ndelimiter=pipe\r\ndecimal=automatic\r\ndate-order=automatic\r\n");
}

TEST(AboutBox, LinksOpenThroughTheShellWithTheirShowCommands) {
    test::RecordingShell shell;
    Dialog1 about(&shell);
    about.Label2_Click();
    about.Label8_Click();
    ASSERT_EQ(shell.opened.size(), 2u);
    EXPECT_EQ(shell.opened[0].first, "mailto:" + std::string(Dialog1::kLabel2));
    EXPECT_EQ(shell.opened[0].second, controls::ShowCommand::ShowMaximized);
    EXPECT_EQ(shell.opened[1].first, std::string(Dialog1::kLabel8));
    EXPECT_EQ(shell.opened[1].second, controls::ShowCommand::Show);
    EXPECT_EQ(Dialog1::label5().size(), 291u);
    EXPECT_EQ(Dialog1::label5().back(), '\n');
}

}  // namespace
}  // namespace plyfold::app
