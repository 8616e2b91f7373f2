#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <tuple>
#include <vector>

#include "app/form1.h"
#include "automation/automation.h"
#include "engine/io/workbook_io.h"
#include "engine/model/workbook.h"
#include "merge/merge_job.h"
#include "tests/support/capture_presenter.h"
#include "tests/support/grid_workbook.h"
#include "tests/support/model_comparison.h"
#include "tests/support/program_run.h"
#include "tests/support/recording_services.h"
#include "tests/support/scripted_presenter.h"
#include "tests/support/temp_dir.h"

namespace plyfold::app {
namespace {

namespace fs = std::filesystem;
using merge::MergeJob;
using merge::MergeMode;
using merge::QueueRow;
using test::taggedGrid;
using Filters = std::vector<std::pair<std::string, std::string>>;

int g_window = 0;

class OwnerWindow : public WindowService {
public:
    void closeMainWindow() override {}
    void showSettingsDialog() override {}
    void showAboutBox() override {}
    void* windowHandle() override { return &g_window; }
    // The Header Row dialog: records the row it shows, answers from headerRows (none left:
    // cancelled).
    std::optional<int32_t> askHeaderRow(int32_t current) override {
        shownHeaderRows.push_back(current);
        if (headerRows.empty()) {
            return std::nullopt;
        }
        const std::optional<int32_t> answer = headerRows.front();
        headerRows.pop_front();
        return answer;
    }
    std::deque<std::optional<int32_t>> headerRows;
    std::vector<int32_t> shownHeaderRows;
};

class Form1Jobs : public ::testing::Test {
protected:
    Form1Jobs() : form(dir.file("program"), {&messages, &pointer, nullptr, &dialogs, &window}) {
        form.SetUpControls();
    }
    controls::Form1Controls& c() { return form.controls(); }
    void queue(const std::string& path, const std::string& sheet, bool checked = true) {
        const int row = c().ListView4.add(path);
        c().ListView4.setSubItem(row, sheet);
        c().ListView4.setChecked(row, checked);
    }
    std::vector<QueueRow> queueRows() {
        std::vector<QueueRow> rows;
        for (int row = 1; row <= c().ListView4.count(); ++row) {
            rows.push_back(QueueRow{c().ListView4.text(row), c().ListView4.subItem(row),
                                    c().ListView4.isChecked(row)});
        }
        return rows;
    }
    void chooseOneSheet(int comboIndex) {
        c().Option1.setValue(true);
        c().Option2.setValue(false);
        form.Option1_Click();
        c().Combo1.setListIndex(comboIndex);
        form.Combo1_Click();
    }
    void chooseWorkbook() {
        c().Option1.setValue(false);
        c().Option2.setValue(true);
        form.Option2_Click();
    }
    void saveJob(const std::string& path) {
        dialogs.saveAnswers.push_back(path);
        form.SaveJob_Click();
    }
    void openJob(const std::string& path) {
        dialogs.openAnswers.push_back(path);
        form.OpenJob_Click();
    }

    test::TempDir dir;
    test::RecordingMessages messages;
    test::RecordingPointer pointer;
    test::ScriptedPresenter dialogs;
    OwnerWindow window;
    Form1 form;
};

TEST_F(Form1Jobs, SaveJobWritesTheQueueAndEveryOption) {
    queue(dir.file("a.xlsx"), "Sales");
    queue(dir.file("b.csv"), "b", false);
    queue("/elsewhere/c.xls", "Sheet 1");
    chooseOneSheet(1);
    c().Text1.setText("3");
    c().Check1.setValue(1);
    c().Check2.setValue(0);
    saveJob(dir.file("monthly"));

    ASSERT_TRUE(messages.shown.empty()) << messages.shown[0].first;
    ASSERT_EQ(dialogs.saveRequests.size(), 1u);
    EXPECT_EQ(dialogs.saveRequests[0].filters, (Filters{{"Plyfold job (*.plyjob)", "*.plyjob"}}));
    EXPECT_EQ(dialogs.owners.back(), &g_window);
    MergeJob expected;
    expected.rows = queueRows();
    expected.mode = MergeMode::Horizontal;
    expected.gap = "3";
    expected.dropFirstLine = true;
    expected.autofit = false;
    EXPECT_EQ(merge::readJobFile(dir.file("monthly.plyjob")), expected);
    EXPECT_NE(test::readFile(dir.file("monthly.plyjob")).find("queue\tyes\ta.xlsx\tSales\n"),
              std::string::npos)
        << "a file beside the job is written relative to it";

    chooseWorkbook();
    saveJob(dir.file("monthly.plyjob"));
    EXPECT_EQ(merge::readJobFile(dir.file("monthly.plyjob")).mode, MergeMode::Workbook);
    EXPECT_EQ(dialogs.saveRequests.back().initialFolder, dir.path().string() + "/")
        << "the next job starts where the last one went";
}

TEST_F(Form1Jobs, TheSheetNamesChoiceIsSavedAndOpenedWithTheJob) {
    using controls::SheetNamesChoice;
    using merge::SheetNaming;
    test::writeGridWorkbook(dir.file("a.xlsx"), {{"Sales", taggedGrid("a", 1, 1)}});
    queue(dir.file("a.xlsx"), "Sales");
    chooseWorkbook();
    EXPECT_EQ(c().sheetNames, SheetNamesChoice::SourceSheet) << "the default";
    const std::vector<std::tuple<void (Form1::*)(), SheetNamesChoice, SheetNaming>> cases = {
        {&Form1::SheetNamesFile_Click, SheetNamesChoice::File, SheetNaming::File},
        {&Form1::SheetNamesFileSheet_Click, SheetNamesChoice::FileAndSheet,
         SheetNaming::FileAndSheet},
        {&Form1::SheetNamesSource_Click, SheetNamesChoice::SourceSheet, SheetNaming::Source},
    };
    for (const auto& [click, choice, naming] : cases) {
        (form.*click)();
        EXPECT_EQ(c().sheetNames, choice);
        saveJob(dir.file("names.plyjob"));
        EXPECT_EQ(merge::readJobFile(dir.file("names.plyjob")).sheetNaming, naming);
        // Another choice in between: opening the job brings the saved one back.
        if (choice == SheetNamesChoice::File) {
            form.SheetNamesFileSheet_Click();
        } else {
            form.SheetNamesFile_Click();
        }
        openJob(dir.file("names.plyjob"));
        ASSERT_TRUE(messages.shown.empty()) << messages.shown[0].first;
        EXPECT_EQ(c().sheetNames, choice);
    }
}

TEST_F(Form1Jobs, MatchHeadersAndSourceColumnFlipTheirOptionOnly) {
    const std::pair<void (Form1::*)(), bool controls::Form1Controls::*> cases[] = {
        {&Form1::MatchHeaders_Click, &controls::Form1Controls::matchHeaders},
        {&Form1::SourceColumn_Click, &controls::Form1Controls::sourceColumn},
    };
    for (const auto& [click, option] : cases) {
        EXPECT_FALSE(c().*option) << "off by default";
        (form.*click)();
        EXPECT_TRUE(c().*option);
        for (const auto& [otherClick, other] : cases) {
            if (other != option) {
                EXPECT_FALSE(c().*other);
            }
        }
        EXPECT_EQ(c().headerRow, 1);
        (form.*click)();
        EXPECT_FALSE(c().*option);
    }
    EXPECT_TRUE(messages.shown.empty());
}

// Each answer in turn: the row shown before it, and the row kept after it; an answer past a
// sheet's rows is refused and the row stays.
TEST_F(Form1Jobs, HeaderRowTakesARowOfASheetAndKeepsItsRowOtherwise) {
    const struct {
        std::optional<int32_t> answer;
        int32_t after;
        bool refused;
    } steps[] = {
        {3, 3, false},        {std::nullopt, 3, false},      {0, 3, true},  {-5, 3, true},
        {1'048'577, 3, true}, {1'048'576, 1'048'576, false}, {1, 1, false},
    };
    int32_t shown = 1;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.answer ? std::to_string(*step.answer) : "cancelled");
        messages.shown.clear();
        window.headerRows = {step.answer};
        form.HeaderRow_Click();
        ASSERT_FALSE(window.shownHeaderRows.empty());
        EXPECT_EQ(window.shownHeaderRows.back(), shown);
        EXPECT_EQ(c().headerRow, step.after);
        if (step.refused) {
            ASSERT_EQ(messages.shown.size(), 1u);
            EXPECT_EQ(messages.shown[0].second, controls::MessageIcon::Critical);
            EXPECT_EQ(messages.shown[0].first,
                      "The header row must be a whole number from 1 to 1048576.");
        } else {
            EXPECT_TRUE(messages.shown.empty());
        }
        shown = step.after;
    }
    EXPECT_EQ(window.shownHeaderRows.size(), std::size(steps));

    Form1 bare(dir.file("program"), {&messages, &pointer, nullptr, &dialogs, nullptr});
    bare.SetUpControls();
    bare.HeaderRow_Click();
    EXPECT_EQ(bare.controls().headerRow, 1) << "no window, no dialog";
}

// The options set through the menu's handlers are saved with the job and opened again; a job
// without them gives back the defaults.
TEST_F(Form1Jobs, TheMergeOptionsAreSavedAndOpenedWithTheJob) {
    test::writeGridWorkbook(dir.file("a.xlsx"), {{"Sales", taggedGrid("a", 1, 1)}});
    queue(dir.file("a.xlsx"), "Sales");
    const struct {
        bool matchHeaders;
        bool sourceColumn;
        int32_t headerRow;
    } cases[] = {{true, false, 4}, {false, true, 1}, {true, true, 1'048'576}, {false, false, 2}};
    for (const auto& options : cases) {
        SCOPED_TRACE(options.headerRow);
        if (c().matchHeaders != options.matchHeaders) {
            form.MatchHeaders_Click();
        }
        if (c().sourceColumn != options.sourceColumn) {
            form.SourceColumn_Click();
        }
        window.headerRows = {options.headerRow};
        form.HeaderRow_Click();
        saveJob(dir.file("options.plyjob"));
        const MergeJob saved = merge::readJobFile(dir.file("options.plyjob"));
        EXPECT_EQ(saved.matchHeaders, options.matchHeaders);
        EXPECT_EQ(saved.sourceColumn, options.sourceColumn);
        EXPECT_EQ(saved.headerRow, options.headerRow);

        // Other options in between: opening the job brings the saved ones back.
        form.MatchHeaders_Click();
        form.SourceColumn_Click();
        c().headerRow = options.headerRow + 1;
        openJob(dir.file("options.plyjob"));
        ASSERT_TRUE(messages.shown.empty()) << messages.shown[0].first;
        EXPECT_EQ(c().matchHeaders, options.matchHeaders);
        EXPECT_EQ(c().sourceColumn, options.sourceColumn);
        EXPECT_EQ(c().headerRow, options.headerRow);
    }

    form.MatchHeaders_Click();
    form.SourceColumn_Click();
    c().headerRow = 7;
    test::writeFile(dir.file("plain.plyjob"), "queue\tyes\ta.xlsx\tSales\n");
    openJob(dir.file("plain.plyjob"));
    EXPECT_FALSE(c().matchHeaders);
    EXPECT_FALSE(c().sourceColumn);
    EXPECT_EQ(c().headerRow, 1);
}

TEST_F(Form1Jobs, AJobNeverTakesASpreadsheetsName) {
    queue(dir.file("a.xlsx"), "S");
    test::writeFile(dir.file("jan.xlsx"), "a source");
    const struct {
        const char* chosen;
        const char* written;
    } cases[] = {{"jan.xlsx", "jan.xlsx.plyjob"},
                 {"m", "m.plyjob"},
                 {"m.PlyJob", "m.PlyJob"},
                 {".plyjob", ".plyjob.plyjob"}};
    for (const auto& name : cases) {
        saveJob(dir.file(name.chosen));
        EXPECT_TRUE(fs::exists(dir.file(name.written))) << name.chosen;
    }
    EXPECT_EQ(test::readFile(dir.file("jan.xlsx")), "a source");
}

TEST_F(Form1Jobs, TheGapIsSavedAsTheMergeWouldReadIt) {
    queue(dir.file("a.xlsx"), "S");
    const struct {
        const char* text;
        const char* saved;
    } cases[] = {{"2", "2"},  {"007", "007"}, {"2.5", "2"}, {"3.5", "4"},  {"abc", "0"},
                 {"-3", "0"}, {"", "0"},      {" 5 ", "5"}, {"&H10", "16"}};
    for (const auto& gap : cases) {
        c().Text1.setText(gap.text);
        saveJob(dir.file("gap.plyjob"));
        EXPECT_EQ(merge::readJobFile(dir.file("gap.plyjob")).gap, gap.saved) << gap.text;
        EXPECT_EQ(c().Text1.text(), gap.text) << "the box keeps its text";
    }
}

TEST_F(Form1Jobs, ASaveThatFailsSaysWhyAndACancelDoesNothing) {
    queue(dir.file("a.xlsx"), "S");
    form.SaveJob_Click();  // cancelled
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 0);

    const std::string path = dir.file("no folder/m.plyjob");
    saveJob(path);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].second, controls::MessageIcon::Critical);
    EXPECT_EQ(messages.shown[0].first.rfind("The job was not saved.\n\n", 0), 0u);
    EXPECT_NE(messages.shown[0].first.find("'" + path + "'"), std::string::npos)
        << messages.shown[0].first;

    messages.shown.clear();
    c().ListView4.setSubItem(1, "Tab\there");
    saveJob(dir.file("m.plyjob"));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].first.find("holds a TAB"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.file("m.plyjob")));
}

TEST_F(Form1Jobs, OpenJobReplacesTheQueueAndSetsTheOptionsThroughTheirHandlers) {
    test::writeFile(dir.file("a.xlsx"), "x");
    test::writeFile(dir.file("b.xlsx"), "x");
    test::writeFile(dir.file("h.plyjob"),
                    "mode = horizontal\ngap = 4\nskip-first = yes\nautofit = no\n"
                    "queue\tyes\ta.xlsx\tS\nqueue\tno\tb.xlsx\tT\n");
    test::writeFile(dir.file("w.plyjob"), "mode = workbook\nqueue\tyes\ta.xlsx\tOnly\n");
    queue("/old.xlsx", "Old");
    chooseWorkbook();

    openJob(dir.file("h.plyjob"));
    EXPECT_TRUE(messages.shown.empty());
    const std::vector<QueueRow> rows = {{dir.file("a.xlsx"), "S", true},
                                        {dir.file("b.xlsx"), "T", false}};
    EXPECT_EQ(queueRows(), rows);
    EXPECT_TRUE(c().Option1.value());
    EXPECT_FALSE(c().Option2.value());
    EXPECT_EQ(c().Combo1.listIndex(), 1);
    EXPECT_EQ(c().Check1.caption(), "Ignore first column on subsequent worksheets");
    EXPECT_EQ(c().Text1.text(), "4");
    EXPECT_EQ(c().Check1.value(), 1);
    EXPECT_EQ(c().Check2.value(), 0);
    for (const controls::Control* control : std::initializer_list<const controls::Control*>{
             &c().Combo1, &c().Text1, &c().Check1, &c().Check2}) {
        EXPECT_TRUE(control->isEnabled());
    }
    const dialogs::FileDialogRequest& request = dialogs.openRequests.at(0);
    EXPECT_EQ(request.title, "Open Job");
    EXPECT_EQ(request.filters,
              (Filters{{"Plyfold job (*.plyjob)", "*.plyjob"}, {"All files (*.*)", "*.*"}}));
    EXPECT_TRUE(request.fileMustExist);

    openJob(dir.file("w.plyjob"));
    EXPECT_EQ(queueRows(), (std::vector<QueueRow>{{dir.file("a.xlsx"), "Only", true}}));
    EXPECT_FALSE(c().Option1.value());
    EXPECT_TRUE(c().Option2.value());
    EXPECT_FALSE(c().Combo1.isEnabled());
    EXPECT_FALSE(c().Text1.isEnabled());
    EXPECT_FALSE(c().Check1.isEnabled());
    EXPECT_EQ(c().Text1.text(), "0");
    EXPECT_EQ(c().Check2.value(), 1);
    EXPECT_EQ(dialogs.openRequests.back().initialFileName, dir.file("h.plyjob"))
        << "the next job is looked for beside the last one";
}

TEST_F(Form1Jobs, OpeningAJobWhoseFilesMovedListsTheMissingRowsAndKeepsThem) {
    test::writeFile(dir.file("here.xlsx"), "x");
    test::writeFile(dir.file("m.plyjob"),
                    "queue\tyes\there.xlsx\tA\nqueue\tyes\tgone.xlsx\tB\n"
                    "queue\tno\tgone too.xlsx\tC\nqueue\tyes\t/nowhere/x.csv\tx\n");
    openJob(dir.file("m.plyjob"));
    EXPECT_EQ(c().ListView4.count(), 4);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].second, controls::MessageIcon::Information);
    EXPECT_EQ(messages.shown[0].first,
              "2 worksheets of the job name files that do not exist:\n\n'" + dir.file("gone.xlsx") +
                  "', sheet 'B': the file does not exist\n'/nowhere/x.csv', sheet 'x': the file "
                  "does not exist");
}

TEST_F(Form1Jobs, AJobThatCannotBeOpenedChangesNothingAndSaysWhy) {
    queue("/kept.xlsx", "Kept");
    c().Text1.setText("9");
    test::writeFile(dir.file("bad.plyjob"),
                    "mode = workbook\nqueue\tyes\ta.xlsx\tS\ncolour = red\n");
    const struct {
        std::string path;
        std::string says;
    } cases[] = {
        {dir.file("bad.plyjob"),
         "'" + dir.file("bad.plyjob") + "', line 3: unknown setting 'colour'"},
        {dir.file("none.plyjob"), "'" + dir.file("none.plyjob") + "'"},
        {dir.path().string(), "'" + dir.path().string() + "'"},
    };
    for (const auto& failure : cases) {
        messages.shown.clear();
        openJob(failure.path);
        ASSERT_EQ(messages.shown.size(), 1u) << failure.path;
        EXPECT_EQ(messages.shown[0].second, controls::MessageIcon::Critical);
        EXPECT_EQ(messages.shown[0].first.rfind("The job was not opened.\n\n", 0), 0u);
        EXPECT_NE(messages.shown[0].first.find(failure.says), std::string::npos)
            << messages.shown[0].first;
        EXPECT_EQ(queueRows(), (std::vector<QueueRow>{{"/kept.xlsx", "Kept", true}}));
        EXPECT_TRUE(c().Option1.value());
        EXPECT_EQ(c().Text1.text(), "9");
    }
    messages.shown.clear();
    form.OpenJob_Click();  // cancelled
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(Form1Jobs, WithoutADialogPresenterTheJobCommandsDoNothing) {
    Form1 bare(dir.file("program"), {&messages, &pointer, nullptr, nullptr, nullptr});
    bare.SetUpControls();
    bare.SaveJob_Click();
    bare.OpenJob_Click();
    EXPECT_TRUE(messages.shown.empty());
}

// A job saved by the window and run by the command line gives what the window's merge gives.
class WindowAndCommandLine : public Form1Jobs {
protected:
    void SetUp() override {
        fs::create_directory(dir.path() / "data");
        test::writeGridWorkbook(dir.file("data/north.xlsx"),
                                {{"Sales",
                                  {{std::string("Region"), std::string("Units")},
                                   {std::string("North"), 12.0},
                                   {std::string("=A2"), std::string("=B2*2")}}},
                                 {"Notes", taggedGrid("n", 2, 3)}});
        test::writeGridWorkbook(dir.file("data/south.xlsx"),
                                {{"Sales",
                                  {{std::string("Region"), std::string("Units")},
                                   {std::string("South with a longer name"), 7.5}}}});
        test::writeFile(dir.file("data/east.csv"), "Region,Units\r\nEast,3\r\n");
        queue(dir.file("data/north.xlsx"), "Sales");
        queue(dir.file("data/north.xlsx"), "Notes", false);
        queue(dir.file("data/south.xlsx"), "Sales");
        queue(dir.file("data/east.csv"), "east");
    }
    // The window's result, saved as the result window saves it.
    std::string mergeInTheWindow(const std::string& name) {
        test::CapturePresenter presenter;
        form.Command18_Click();
        EXPECT_TRUE(messages.shown.empty()) << messages.shown.at(0).first;
        EXPECT_EQ(presenter.shown.size(), 1u);
        const std::string path = dir.file(name);
        engine::saveWorkbook(*presenter.shown.at(0).book, path);
        return path;
    }
    std::string runTheJob(const std::string& job, const std::string& name) {
        const test::ProgramRun run = test::runProgram(
            PLYFOLD_MERGE_PROGRAM, {"--job", job, "-o", dir.file(name)}, dir.path().string());
        EXPECT_EQ(run.status, 0) << run.err;
        return dir.file(name);
    }
};

TEST_F(WindowAndCommandLine, GiveTheSameResultCellForCellInEveryMode) {
    const std::function<void()> settings[] = {
        [&] {
            chooseOneSheet(0);
            c().Text1.setText("1");
            c().Check1.setValue(1);
        },
        [&] {
            chooseOneSheet(1);
            c().Text1.setText("2.5");  // the window reads 2
            c().Check2.setValue(0);
        },
        [&] { chooseWorkbook(); },
    };
    int index = 0;
    for (const auto& set : settings) {
        SCOPED_TRACE(index);
        set();
        const std::string job = dir.file("job" + std::to_string(index) + ".plyjob");
        saveJob(job);
        const std::string windowResult =
            mergeInTheWindow("window" + std::to_string(index) + ".xlsx");
        const std::string commandLine = runTheJob(job, "cli" + std::to_string(index) + ".xlsx");
        auto expected = engine::openWorkbook(windowResult);
        auto actual = engine::openWorkbook(commandLine);
        ASSERT_GT(expected->sheetCount(), 0);
        for (int sheet = 0; sheet < expected->sheetCount(); ++sheet) {
            EXPECT_EQ(test::sheetRows(*actual, sheet), test::sheetRows(*expected, sheet));
        }
        EXPECT_EQ(test::workbookDifferences(*expected, *actual), std::vector<std::string>());
        ++index;
    }
}

}  // namespace
}  // namespace plyfold::app
