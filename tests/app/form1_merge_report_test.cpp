#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/form1.h"
#include "automation/automation.h"
#include "merge/merge_job.h"
#include "merge/merge_report.h"
#include "merge/merge_request.h"
#include "state/saved_list.h"
#include "tests/support/capture_presenter.h"
#include "tests/support/grid_workbook.h"
#include "tests/support/recording_services.h"
#include "tests/support/scripted_presenter.h"
#include "tests/support/temp_dir.h"

namespace plyfold::app {
namespace {

using merge::RowReport;
using merge::RowStatus;

std::vector<std::vector<std::string>> tsvLines(const std::string& text) {
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        size_t start = 0;
        while (true) {
            const size_t tab = line.find('\t', start);
            fields.push_back(line.substr(start, tab - start));
            if (tab == std::string::npos) {
                break;
            }
            start = tab + 1;
        }
        lines.push_back(fields);
    }
    return lines;
}

class MergeReportTest : public ::testing::Test {
protected:
    MergeReportTest() : form(dir.path().string(), services()) { form.Form_Load(); }

    Form1Services services() {
        Form1Services s;
        s.messages = &messages;
        s.dialogs = &dialogs;
        return s;
    }
    controls::Form1Controls& c() { return form.controls(); }
    void queue(const std::string& path, const std::string& sheet, bool checked = true) {
        const int row = c().ListView4.add(path);
        c().ListView4.setSubItem(row, sheet);
        c().ListView4.setChecked(row, checked);
    }
    std::string book(const std::string& name) {
        const std::string path = dir.file(name);
        test::writeGridWorkbook(path, {{"Data", test::taggedGrid(name, 3, 2)}});
        return path;
    }

    // A merge that left out a missing file and a missing sheet, and could not carry a feature.
    merge::MergeOutcome builtOutcome() {
        merge::MergeOutcome outcome;
        outcome.rows = {
            RowReport{dir.file("a.xlsx"), "Data", RowStatus::Merged, 3, 2, ""},
            RowReport{dir.file("gone.xlsx"), "Data", RowStatus::Missing, 0, 0, "no such file"},
            RowReport{dir.file("c.xlsx"), "Data", RowStatus::Unchecked, 0, 0, ""},
            RowReport{dir.file("a.xlsx"), "Nope", RowStatus::NoSuchSheet, 0, 0,
                      "the workbook has no worksheet 'Nope'"},
        };
        outcome.uncarried = {{dir.file("a.xlsx"), "Data", "sparklines"}};
        return outcome;
    }

    test::TempDir dir;
    test::RecordingMessages messages;
    test::ScriptedPresenter dialogs;
    Form1 form;
};

TEST_F(MergeReportTest, OneBoxListsTheRowsLeftOutThenWhatIsNotCarriedAndSavesTheReport) {
    const std::string report = dir.file("report.tsv");
    messages.actionAnswers = {true};
    dialogs.saveAnswers = {report};
    form.ShowMergeReport(builtOutcome());

    ASSERT_EQ(messages.shown.size(), 1u);
    const std::string& text = messages.shown[0].first;
    EXPECT_EQ(messages.shown[0].second, controls::MessageIcon::Information);
    EXPECT_EQ(messages.actions[0], "Save Report...");
    EXPECT_EQ(text.rfind("2 worksheets of the queue were left out of the merge:", 0), 0u) << text;
    const size_t gone = text.find("'" + dir.file("gone.xlsx") + "', sheet 'Data': no such file");
    const size_t nope = text.find("sheet 'Nope': the workbook has no worksheet 'Nope'");
    const size_t uncarried = text.find("sheet 'Data': not carried into the result: sparklines");
    ASSERT_NE(gone, std::string::npos) << text;
    ASSERT_NE(nope, std::string::npos) << text;
    ASSERT_NE(uncarried, std::string::npos) << text;
    EXPECT_LT(gone, nope);
    EXPECT_LT(nope, uncarried);
    EXPECT_EQ(text.find("c.xlsx"), std::string::npos) << "unchecked rows are not listed";

    ASSERT_EQ(dialogs.saveRequests.size(), 1u);
    const auto& request = dialogs.saveRequests[0];
    EXPECT_EQ(
        request.filters,
        (std::vector<std::pair<std::string, std::string>>{{"Tab-separated report", "*.tsv"}}));
    EXPECT_EQ(std::filesystem::path(request.initialFolder), dir.path() / "");
    const auto lines = tsvLines(test::readFile(report));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0],
              (std::vector<std::string>{"path", "sheet", "status", "rows", "columns", "message"}));
    const std::vector<std::vector<std::string>> rows(lines.begin() + 1, lines.end());
    EXPECT_EQ(rows[0],
              (std::vector<std::string>{dir.file("a.xlsx"), "Data", "merged", "3", "2", ""}));
    EXPECT_EQ(rows[1][2], "missing");
    EXPECT_EQ(rows[1][5], "no such file");
    EXPECT_EQ(rows[2][2], "unchecked");
    EXPECT_EQ(rows[3][1], "Nope");
    EXPECT_EQ(rows[3][2], "no such sheet");
    EXPECT_EQ(messages.shown.size(), 1u) << "a saved report shows nothing more";
}

// What the box offers depends on what there is to tell; OK, a cancelled dialog or no dialogs
// at all save nothing.
TEST_F(MergeReportTest, OnlyRowsLeftOutOfferTheReport) {
    merge::MergeOutcome carriedAll;
    carriedAll.rows = {RowReport{dir.file("a.xlsx"), "Data", RowStatus::Merged, 3, 2, ""},
                       RowReport{dir.file("b.xlsx"), "Data", RowStatus::Unchecked, 0, 0, ""}};
    form.ShowMergeReport(carriedAll);
    EXPECT_TRUE(messages.shown.empty());

    merge::MergeOutcome uncarriedOnly = carriedAll;
    uncarriedOnly.uncarried = {{dir.file("a.xlsx"), "", "VBA project (macros)"}};
    form.ShowMergeReport(uncarriedOnly);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.actions[0], "");
    EXPECT_EQ(messages.shown[0].first.rfind("The result does not carry everything", 0), 0u);

    messages.shown.clear();
    messages.actions.clear();
    messages.actionAnswers = {false, true};
    form.ShowMergeReport(builtOutcome());  // OK
    EXPECT_TRUE(dialogs.saveRequests.empty());
    form.ShowMergeReport(builtOutcome());  // Save Report..., then the dialog is cancelled
    EXPECT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.actions, (std::vector<std::string>{"Save Report...", "Save Report..."}));
    EXPECT_EQ(dialogs.saveRequests.size(), 1u);
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_NE(entry.path().extension(), ".tsv") << entry.path();
    }

    test::RecordingMessages plain;
    Form1Services s;
    s.messages = &plain;
    Form1 withoutDialogs(dir.path().string(), s);
    withoutDialogs.ShowMergeReport(builtOutcome());
    ASSERT_EQ(plain.shown.size(), 1u);
    EXPECT_EQ(plain.actions[0], "") << "nothing to save with";
    EXPECT_NE(plain.shown[0].first.find("gone.xlsx"), std::string::npos);
}

// Header rows that differ join the one box, last; they alone offer no report to save.
TEST_F(MergeReportTest, DifferingHeaderRowsAreToldInTheSameBox) {
    const std::vector<merge::HeaderDifference> differences = {
        {dir.file("b.xlsx"), "Feb", "lacks Units"},
        {dir.file("c.xlsx"), "Mar", "the same headers in another order"},
    };
    merge::MergeOutcome merged;
    merged.rows = {RowReport{dir.file("a.xlsx"), "Jan", RowStatus::Merged, 3, 2, ""}};
    merged.headerDifferences = differences;
    merge::MergeOutcome withEverything = builtOutcome();
    withEverything.headerDifferences = differences;
    const struct {
        const char* what;
        merge::MergeOutcome outcome;
        const char* action;
        std::vector<std::string> inOrder;  // what the box says, in this order
    } cases[] = {
        {"only header rows", merged, "", {merge::headerDifferencesText(differences)}},
        {"after the rows left out and what is not carried",
         withEverything,
         "Save Report...",
         {"2 worksheets of the queue were left out", "not carried into the result: sparklines",
          "\n\n2 blocks have a header row that differs", differences[0].message(),
          differences[1].message()}},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        messages.shown.clear();
        messages.actions.clear();
        form.ShowMergeReport(t.outcome);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].second, controls::MessageIcon::Information);
        EXPECT_EQ(messages.actions[0], t.action);
        const std::string& text = messages.shown[0].first;
        size_t at = 0;
        for (const std::string& part : t.inOrder) {
            const size_t found = text.find(part, at);
            ASSERT_NE(found, std::string::npos) << part << "\nin\n" << text;
            at = found + part.size();
        }
        EXPECT_EQ(at, text.size()) << "the header rows come last";
    }
    EXPECT_TRUE(dialogs.saveRequests.empty());
}

TEST_F(MergeReportTest, TheReportNeverReplacesASourceAndAFailedWriteSaysWhy) {
    const std::string source = book("a.xlsx");
    const std::string before = test::readFile(source);
    std::filesystem::create_directory(dir.path() / "sub");
    struct Case {
        std::string answer;
        std::string mentions;
    };
    const Case cases[] = {
        // The same file by another name.
        {(dir.path() / "sub" / ".." / "a.xlsx").string(), "a file queued as a source"},
        {dir.file("no such folder/report.tsv"),
         "Cannot save '" + dir.file("no such folder/report.tsv")},
        {(dir.path() / "sub").string(), "Cannot save '" + (dir.path() / "sub").string()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        messages.shown.clear();
        messages.actionAnswers = {true};
        dialogs.saveAnswers = {c.answer};
        form.ShowMergeReport(builtOutcome());
        ASSERT_EQ(messages.shown.size(), 2u);
        EXPECT_EQ(messages.shown[1].second, controls::MessageIcon::Critical);
        EXPECT_EQ(messages.shown[1].first.rfind("The report was not saved", 0), 0u)
            << messages.shown[1].first;
        EXPECT_NE(messages.shown[1].first.find(c.mentions), std::string::npos)
            << messages.shown[1].first;
    }
    EXPECT_EQ(test::readFile(source), before);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "sub"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "no such folder"));
}

// A failed merge keeps its "Merge Failed!" and gives the cause (file, sheet, description) as the
// box's details; the vertical merge still describes the failure in a box of its own first.
TEST_F(MergeReportTest, MergeFailedCarriesTheCauseAsDetails) {
    test::CapturePresenter presenter;
    const std::string fake = dir.file("fake.xlsx");
    test::writeFile(fake, "this is no workbook");
    const std::string good = book("good.xlsx");
    const std::string whole = test::readFile(good);
    const std::string truncated = dir.file("truncated.xlsx");
    test::writeFile(truncated, whole.substr(0, whole.size() / 2));
    const std::string locked = std::string(PLYFOLD_CORPUS_DIR) + "/calamine__pass_protected.xlsx";
    struct Case {
        const char* what;
        const std::string path;
        const char* sheet;
        bool oneSheet;
        int combo;
    };
    const Case cases[] = {
        {"workbook, unreadable file", fake, "Data", false, 0},
        {"horizontal, unreadable file", fake, "Data", true, 1},
        {"workbook, missing sheet", good, "Nope", false, 0},
        {"horizontal, missing sheet", good, "Nope", true, 1},
        {"vertical, unreadable file", fake, "Data", true, 0},
        {"vertical, truncated file", truncated, "Data", true, 0},
        {"workbook, password-protected file", locked, "Data", false, 0},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.what);
        messages.shown.clear();
        messages.details.clear();
        c().ListView4.clear();
        queue(good, "Data");
        queue(t.path, t.sheet);
        c().Option1.setValue(t.oneSheet);
        c().Option2.setValue(!t.oneSheet);
        c().Combo1.setListIndex(t.combo);
        form.Command18_Click();
        const bool vertical = t.oneSheet && t.combo == 0;
        ASSERT_EQ(messages.shown.size(), vertical ? 2u : 1u);
        const size_t last = messages.shown.size() - 1;
        EXPECT_EQ(messages.shown[last].first, "Merge Failed!");
        EXPECT_EQ(messages.shown[last].second, controls::MessageIcon::Critical);
        const std::string& details = messages.details[last];
        EXPECT_NE(details.find("'" + t.path + "'"), std::string::npos) << details;
        EXPECT_NE(details.find(std::string("'") + t.sheet + "'"), std::string::npos) << details;
        if (vertical) {
            EXPECT_EQ(messages.shown[0].first, details);
            EXPECT_EQ(messages.details[0], "");
        }
        EXPECT_EQ(c().ProgressBar1.value(), 0);
    }
}

// The window's merge reports a vanished file after its result opens, in one box.
TEST_F(MergeReportTest, AVanishedFileIsNamedAfterTheMerge) {
    test::CapturePresenter presenter;
    const std::string good = book("good.xlsx");
    const std::string gone = dir.file("gone.xlsx");
    queue(good, "Data");
    queue(gone, "Data");
    messages.actionAnswers = {true};
    dialogs.saveAnswers = {dir.file("report.tsv")};
    form.Command18_Click();
    ASSERT_TRUE(presenter.server);
    EXPECT_EQ(presenter.server->statusBar().rfind(
                  "Merged 1 worksheet from 1 file: 3 rows x 2 columns", 0),
              0u)
        << presenter.server->statusBar();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].first.find("'" + gone + "', sheet 'Data'"), std::string::npos)
        << messages.shown[0].first;
    const auto lines = tsvLines(test::readFile(dir.file("report.tsv")));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1][2], "merged");
    EXPECT_EQ(lines[2][2], "missing");
}

// A job keeps the window's text settings, and opening it gives them back to the window.
TEST_F(MergeReportTest, JobsCarryTheWindowsTextSettings) {
    const engine::TextDialect dialect{'|', engine::DecimalSeparator::Point,
                                      engine::DateOrder::MonthDayYear};
    queue(book("good.xlsx"), "Data");
    c().textDialect = dialect;
    const std::string job = dir.file("monthly.plyjob");
    dialogs.saveAnswers = {job};
    form.SaveJob_Click();
    EXPECT_EQ(merge::readJobFile(job).textDialect, dialect);

    Form1 other(dir.path().string(), services());
    other.Form_Load();
    EXPECT_EQ(other.controls().textDialect, engine::TextDialect{});
    dialogs.openAnswers = {job};
    other.OpenJob_Click();
    EXPECT_EQ(other.controls().ListView4.count(), 1);
    EXPECT_EQ(other.controls().textDialect, dialect);
    EXPECT_TRUE(messages.shown.empty());
}

// The saved text settings reach the reader: a file the guess would split at its semicolons is
// read whole when the setting says comma, and its decimal commas read as the setting says.
TEST_F(MergeReportTest, TheWindowsMergesReadTextSourcesAsTheSettingsSay) {
    const std::string semicolons = dir.file("semicolons.csv");
    test::writeFile(semicolons, "x;y\r\n1;2,5\r\n3;4,25\r\n");
    struct Case {
        const char* settings;
        std::vector<std::string> rows;  // cells separated by "|"
    };
    const Case cases[] = {
        {"1\r\n", {"x|y", "1|2.5", "3|4.25"}},
        {"1\r\ndelimiter=comma\r\n", {"x;y|", "1;2|5", "3;4|25"}},
        {"1\r\ndecimal=point\r\n", {"x|y", "1|2,5", "3|4,25"}},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.settings);
        test::writeFile(dir.file("set.txt"), t.settings);
        test::CapturePresenter presenter;
        Form1 window(dir.path().string(), services());
        window.Form_Load();
        const int row = window.controls().ListView4.add(semicolons);
        window.controls().ListView4.setSubItem(row, "semicolons");
        window.controls().ListView4.setChecked(row, true);
        window.Command18_Click();
        ASSERT_EQ(presenter.shown.size(), 1u);
        EXPECT_EQ(test::sheetRows(*presenter.shown[0].book, 0), t.rows);
    }
}

TEST_F(MergeReportTest, LoadTakesTheSavedTextSettings) {
    EXPECT_EQ(c().textDialect, engine::TextDialect{});
    state::writeSettings(dir.path().string(), 1,
                         {';', engine::DecimalSeparator::Comma, engine::DateOrder::DayMonthYear});
    Form1 loaded(dir.path().string(), services());
    EXPECT_EQ(loaded.controls().textDialect, engine::TextDialect{}) << "before Form_Load";
    loaded.Form_Load();
    EXPECT_EQ(loaded.controls().textDialect,
              (engine::TextDialect{';', engine::DecimalSeparator::Comma,
                                   engine::DateOrder::DayMonthYear}));
}

}  // namespace
}  // namespace plyfold::app
