#include <gtest/gtest.h>

#include "merge/merge_report.h"
#include "merge/merge_request.h"
#include "tests/discovery/fixtures.h"
#include "tests/merge/merge_fixture.h"

namespace plyfold::merge {
namespace {

using test::taggedGrid;
using V = std::vector<std::string>;

class RowReportTest : public test::MergeTest {
protected:
    void SetUp() override {
        a = writeBook("a.xlsx", {{"S", taggedGrid("a", 2, 2)}});
        b = writeBook("b.xlsx", {{"T", taggedGrid("b", 2, 3)}, {"U", taggedGrid("u", 1, 1)}});
        broken = dir.file("broken.xlsx");
        test::writeFile(broken, "PK\x03\x04 not really a workbook");
    }
    MergeRequest request(MergeMode mode, UnmergeableRows unmergeable) const {
        MergeRequest r;
        r.mode = mode;
        r.unmergeable = unmergeable;
        r.dropFirstLine = true;
        r.rows = {{a, "S", true},    {a, "S", false},     {dir.file("gone.xlsx"), "S", true},
                  {a, "Nope", true}, {broken, "S", true}, {broken, "S2", true},
                  {b, "T", true}};
        return r;
    }
    // "status rows x columns" of every row.
    static V described(const std::vector<RowReport>& rows) {
        V lines;
        for (const RowReport& row : rows) {
            lines.push_back(std::string(statusName(row.status)) + " " + std::to_string(row.rows) +
                            "x" + std::to_string(row.columns));
        }
        return lines;
    }
    std::string a, b, broken;
};

// Merged rows say what they added (a dropped first row or column not counted), rows left out
// say why, and the summary counts what went into the result, in every mode.
TEST_F(RowReportTest, LeavingOutReportsEveryRowAndSumsUpTheRest) {
    struct Case {
        MergeMode mode;
        const char* merged;  // what b's block added after dropping its first line
        MergeSummary summary;
        const char* statusBar;
    };
    const Case cases[] = {
        {MergeMode::Vertical, "merged 1x3", {2, 2, 3, 3, 0, 0}, "3 rows x 3 columns"},
        {MergeMode::Horizontal, "merged 2x2", {2, 2, 2, 4, 0, 0}, "2 rows x 4 columns"},
        {MergeMode::Workbook, "merged 2x3", {2, 2, 0, 0, 2, 0}, "2 sheets"},
    };
    for (const Case& c : cases) {
        MergeOutcome outcome = runMerge(request(c.mode, UnmergeableRows::LeaveOut));
        ASSERT_TRUE(outcome.succeeded()) << outcome.failure->message();
        EXPECT_EQ(described(outcome.rows),
                  (V{"merged 2x2", "unchecked 0x0", "missing 0x0", "no such sheet 0x0",
                     "unreadable 0x0", "unreadable 0x0", c.merged}));
        const std::vector<RowReport> left = outcome.leftOut();
        ASSERT_EQ(left.size(), 4u);
        EXPECT_EQ(left[0].leftOutMessage(),
                  "'" + dir.file("gone.xlsx") + "', sheet 'S': the file does not exist");
        EXPECT_EQ(left[1].message, "the workbook has no worksheet of this name");
        EXPECT_NE(left[2].message.find(broken), std::string::npos) << left[2].message;
        EXPECT_EQ(left[3].message, left[2].message) << "a file that cannot be opened is read once";
        EXPECT_EQ(outcome.summary.worksheets, c.summary.worksheets);
        EXPECT_EQ(outcome.summary.files, c.summary.files);
        EXPECT_EQ(outcome.summary.rows, c.summary.rows);
        EXPECT_EQ(outcome.summary.columns, c.summary.columns);
        EXPECT_EQ(outcome.summary.sheets, c.summary.sheets);
        const std::string statusBar = outcome.server->statusBar();
        EXPECT_TRUE(statusBar.starts_with(
            "Merged 2 worksheets from 2 files: " + std::string(c.statusBar) + " in "))
            << statusBar;
        outcome.server->Quit();
    }
}

// The window's merges skip a missing file but fail on a file or sheet they cannot read.
TEST_F(RowReportTest, SkippingMissingFilesOnlyFailsOnWhatCannotBeRead) {
    MergeRequest r = request(MergeMode::Vertical, UnmergeableRows::SkipMissingFiles);
    MergeOutcome outcome = runMerge(r);
    ASSERT_FALSE(outcome.succeeded());
    EXPECT_EQ(outcome.failure->sheet, "Nope");
    EXPECT_EQ(described(outcome.rows), (V{"merged 2x2", "unchecked 0x0", "missing 0x0"}));

    r.rows.erase(r.rows.begin() + 3, r.rows.end() - 1);
    outcome = runMerge(r);
    ASSERT_TRUE(outcome.succeeded()) << outcome.failure->message();
    EXPECT_EQ(outcome.leftOut().size(), 1u);
    EXPECT_EQ(outcome.leftOut()[0].status, RowStatus::Missing);
    outcome.server->Quit();
}

// A sheet whose cells cannot be read is left out; the workbook's other sheets still merge.
TEST_F(RowReportTest, ASheetThatCannotBeReadIsLeftOutAndItsNeighboursMerge) {
    test::replacePackagePart(b, "xl/worksheets/sheet1.xml", "<worksheet><sheetData><row");
    MergeRequest r;
    r.unmergeable = UnmergeableRows::LeaveOut;
    r.rows = {{b, "T", true}, {b, "U", true}};
    MergeOutcome outcome = runMerge(r);
    ASSERT_TRUE(outcome.succeeded()) << outcome.failure->message();
    EXPECT_EQ(described(outcome.rows), (V{"unreadable 0x0", "merged 1x1"}));
    EXPECT_NE(outcome.rows[0].message.find("'T'"), std::string::npos) << outcome.rows[0].message;
    EXPECT_EQ(resultRows(), (V{"u11"}));
}

TEST(MergeReportText, FieldsStayOnTheirLineAndFiguresReadWell) {
    const std::vector<RowReport> rows = {
        {"/d/a.xlsx", "S", RowStatus::Merged, 1200, 11, ""},
        {"/d/b\tc.xlsx", "x\ny", RowStatus::NoSuchSheet, 0, 0, "why\r\nnot"},
        {"/d/c.csv", "c", RowStatus::Unchecked, 0, 0, ""},
    };
    EXPECT_EQ(reportText(rows),
              "path\tsheet\tstatus\trows\tcolumns\tmessage\n"
              "/d/a.xlsx\tS\tmerged\t1200\t11\t\n"
              "/d/b c.xlsx\tx y\tno such sheet\t0\t0\twhy  not\n"
              "/d/c.csv\tc\tunchecked\t0\t0\t\n");
    MergeSummary summary{24, 12, 3604, 11, 0, 0.44};
    EXPECT_EQ(summaryText(summary, MergeMode::Vertical, "year.xlsx"),
              "Merged 24 worksheets from 12 files: 3,604 rows x 11 columns -> year.xlsx in 0.4 s");
    summary = MergeSummary{1, 1, 1, 1, 1, 0.05};
    EXPECT_EQ(summaryText(summary, MergeMode::Workbook, ""),
              "Merged 1 worksheet from 1 file: 1 sheet in 0.1 s");
    EXPECT_EQ(leftOutText({rows[1]}),
              "1 worksheet of the queue was left out of the merge:\n\n"
              "'/d/b\tc.xlsx', sheet 'x\ny': why\r\nnot");
}

TEST(MergeReportText, HeaderDifferencesAreCountedThenListedOneALine) {
    const HeaderDifference first{"/d/a.xlsx", "Jan", "lacks Units; adds Region"};
    const HeaderDifference second{"/d/b.csv", "b", "the same headers in another order"};
    const std::string tail =
        " stacked by position; matching columns by header would put each column under its own "
        "header:\n";
    const struct {
        std::vector<HeaderDifference> differences;
        std::string text;
    } cases[] = {
        {{}, ""},
        {{first},
         "1 block has a header row that differs from the first block's and was" + tail +
             "\n'/d/a.xlsx', sheet 'Jan': its header row differs from the first block's: lacks "
             "Units; adds Region"},
        {{first, second},
         "2 blocks have a header row that differs from the first block's and were" + tail + "\n" +
             first.message() + "\n" + second.message()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(headerDifferencesText(c.differences), c.text);
    }
}

}  // namespace
}  // namespace plyfold::merge
