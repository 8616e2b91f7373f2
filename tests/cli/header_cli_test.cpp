#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/io/workbook_io.h"
#include "engine/model/workbook.h"
#include "tests/support/grid_workbook.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace plyfold::cli {
namespace {

namespace fs = std::filesystem;
using test::Grid;
using V = std::vector<std::string>;

const std::string kJanuary = "01-January.xlsx";
const std::string kFebruary = "02-February.xlsx";
const std::string kMarch = "03-March.xlsx";
const std::string kApril = "04-April.xlsx";

// Four monthly workbooks whose Sales columns drifted: February reorders them and adds Region
// and Check (a sum over columns that part when matched), March lacks Units and adds Discount,
// April has every header in another order and case. Total multiplies Units and Price of its
// own row wherever they stand. January and March also hold a Notes sheet. The same months are
// written twice: in "months" with the header in row 1, in "titled" under a title row.
class HeaderCli : public ::testing::Test {
protected:
    void SetUp() override {
        for (const bool titled : {false, true}) {
            const std::string folder = titled ? "titled" : "months";
            fs::create_directory(dir.path() / folder);
            // Row k of a sheet as the file holds it: one lower under the title.
            auto r = [titled](int k) { return std::to_string(k + (titled ? 1 : 0)); };
            auto sales = [&](const std::string& month, Grid grid) {
                if (titled) {
                    grid.insert(grid.begin(), {month + " 2026 sales"});
                }
                return grid;
            };
            test::writeGridWorkbook(
                dir.file(folder + "/" + kJanuary),
                {{"Sales", sales("January", {{"Date", "Units", "Price", "Total"},
                                             {1.0, 10.0, 2.0, "=B" + r(2) + "*C" + r(2)},
                                             {2.0, 11.0, 3.0, "=B" + r(3) + "*C" + r(3)}})},
                 {"Notes", {{"January notes"}}}});
            test::writeGridWorkbook(
                dir.file(folder + "/" + kFebruary),
                {{"Sales",
                  sales("February", {{"Price", "Region", "Date", "Units", "Total", "Check"},
                                     {4.0, "West", 3.0, 12.0, "=A" + r(2) + "*D" + r(2),
                                      "=SUM(A" + r(2) + ":D" + r(2) + ")"},
                                     {5.0, "East", 4.0, 13.0, "=A" + r(3) + "*D" + r(3),
                                      "=SUM(A" + r(3) + ":D" + r(3) + ")"}})}});
            test::writeGridWorkbook(
                dir.file(folder + "/" + kMarch),
                {{"Sales", sales("March", {{"Date", "Price", "Discount", "Total"},
                                           {5.0, 6.0, 1.0, "=B" + r(2) + "-C" + r(2)}})},
                 {"Notes", {{"March notes"}}}});
            test::writeGridWorkbook(
                dir.file(folder + "/" + kApril),
                {{"Sales", sales("April", {{"TOTAL", "units", "Date", "Price"},
                                           {"=B" + r(2) + "*D" + r(2), 14.0, 7.0, 2.0}})}});
        }
    }
    test::ProgramRun run(const V& arguments) {
        return test::runProgram(PLYFOLD_MERGE_PROGRAM, arguments, dir.path().string());
    }
    V rowsOf(const std::string& path) {
        auto book = engine::openWorkbook(path);
        return test::sheetRows(*book, 0);
    }
    // The line naming a block whose header row differs from the first block's.
    std::string differs(const std::string& path, const std::string& difference) {
        return "plyfold-merge: '" + path +
               "', sheet 'Sales': its header row differs from the first block's: " + difference +
               " (stacked by position; --match-headers matches them)\n";
    }
    // The lines for February, March and April of the folder when stacked by position.
    std::string everyMonthDiffers(const std::string& folder) {
        return differs(dir.file(folder + "/" + kFebruary), "adds Region, Check") +
               differs(dir.file(folder + "/" + kMarch), "lacks Units; adds Discount") +
               differs(dir.file(folder + "/" + kApril), "the same headers in another order");
    }

    test::TempDir dir;
};

// The result of matching the months by header with the first row dropped, read back from
// either folder (the title rows left out with --header-row 2): February's Check reads its
// own file, in the rows the file holds them.
V matchedMonths(bool titled) {
    const std::string feb2 = titled ? "A3:D3" : "A2:D2";
    const std::string feb3 = titled ? "A4:D4" : "A3:D3";
    return {"Date|Units|Price|Total|Region|Check|Discount",
            "1|10|2|=B2*C2|||",
            "2|11|3|=B3*C3|||",
            "3|12|4|=C4*B4|West|=SUM([1]Sales!" + feb2 + ")|",
            "4|13|5|=C5*B5|East|=SUM([1]Sales!" + feb3 + ")|",
            "5||6|=C6-G6|||1",
            "7|14|2|=B7*C7|||"};
}

TEST_F(HeaderCli, EveryOptionAloneAndCombined) {
    const struct {
        const char* what;
        V arguments;
        bool titled;
        V rows;
        bool differences;  // February, March and April named on standard error
    } cases[] = {
        {"matching, every header row kept",
         {"--match-headers"},
         false,
         {"Date|Units|Price|Total|Region|Check|Discount", "1|10|2|=B2*C2|||", "2|11|3|=B3*C3|||",
          "Date|Units|Price|Total|Region|Check|", "3|12|4|=C5*B5|West|=SUM([1]Sales!A2:D2)|",
          "4|13|5|=C6*B6|East|=SUM([1]Sales!A3:D3)|", "Date||Price|Total|||Discount",
          "5||6|=C8-G8|||1", "Date|units|Price|TOTAL|||", "7|14|2|=B10*C10|||"},
         false},
        {"matching, the first row dropped",
         {"--match-headers", "--skip-first"},
         false,
         matchedMonths(false),
         false},
        {"matching with a source column",
         {"--match-headers", "--source-column", "--skip-first"},
         false,
         {"Source|Date|Units|Price|Total|Region|Check|Discount",
          "01-January.xlsx:Sales|1|10|2|=C2*D2|||", "01-January.xlsx:Sales|2|11|3|=C3*D3|||",
          "02-February.xlsx:Sales|3|12|4|=D4*C4|West|=SUM([1]Sales!A2:D2)|",
          "02-February.xlsx:Sales|4|13|5|=D5*C5|East|=SUM([1]Sales!A3:D3)|",
          "03-March.xlsx:Sales|5||6|=D6-H6|||1", "04-April.xlsx:Sales|7|14|2|=C7*D7|||"},
         false},
        {"matching with gaps",
         {"--match-headers", "--skip-first", "--gap", "1"},
         false,
         {"Date|Units|Price|Total|Region|Check|Discount", "1|10|2|=B2*C2|||", "2|11|3|=B3*C3|||",
          "||||||", "3|12|4|=C5*B5|West|=SUM([1]Sales!A2:D2)|",
          "4|13|5|=C6*B6|East|=SUM([1]Sales!A3:D3)|", "||||||", "5||6|=C8-G8|||1", "||||||",
          "7|14|2|=B10*C10|||"},
         false},
        {"a source column alone names the header rows too",
         {"--source-column"},
         false,
         {"01-January.xlsx:Sales|Date|Units|Price|Total||", "01-January.xlsx:Sales|1|10|2|=C2*D2||",
          "01-January.xlsx:Sales|2|11|3|=C3*D3||",
          "02-February.xlsx:Sales|Price|Region|Date|Units|Total|Check",
          "02-February.xlsx:Sales|4|West|3|12|=B5*E5|=SUM(B5:E5)",
          "02-February.xlsx:Sales|5|East|4|13|=B6*E6|=SUM(B6:E6)",
          "03-March.xlsx:Sales|Date|Price|Discount|Total||", "03-March.xlsx:Sales|5|6|1|=C8-D8||",
          "04-April.xlsx:Sales|TOTAL|units|Date|Price||", "04-April.xlsx:Sales|=C10*E10|14|7|2||"},
         false},
        {"by position, the first row dropped",
         {"--skip-first"},
         false,
         {"Date|Units|Price|Total||", "1|10|2|=B2*C2||", "2|11|3|=B3*C3||",
          "4|West|3|12|=A4*D4|=SUM(A4:D4)", "5|East|4|13|=A5*D5|=SUM(A5:D5)", "5|6|1|=B6-C6||",
          "=B7*D7|14|7|2||"},
         true},
        {"matching below titles",
         {"--header-row", "2", "--match-headers", "--skip-first"},
         true,
         matchedMonths(true),
         false},
        {"titles left out by position: the header rows compared though none is dropped",
         {"--header-row", "2"},
         true,
         {"Date|Units|Price|Total||", "1|10|2|=B2*C2||", "2|11|3|=B3*C3||",
          "Price|Region|Date|Units|Total|Check", "4|West|3|12|=A5*D5|=SUM(A5:D5)",
          "5|East|4|13|=A6*D6|=SUM(A6:D6)", "Date|Price|Discount|Total||", "5|6|1|=B8-C8||",
          "TOTAL|units|Date|Price||", "=B10*D10|14|7|2||"},
         true},
        {"titles left out by position, with a source column",
         {"--header-row", "2", "--skip-first", "--source-column"},
         true,
         {"Source|Date|Units|Price|Total||", "01-January.xlsx:Sales|1|10|2|=C2*D2||",
          "01-January.xlsx:Sales|2|11|3|=C3*D3||",
          "02-February.xlsx:Sales|4|West|3|12|=B4*E4|=SUM(B4:E4)",
          "02-February.xlsx:Sales|5|East|4|13|=B5*E5|=SUM(B5:E5)",
          "03-March.xlsx:Sales|5|6|1|=C6-D6||", "04-April.xlsx:Sales|=C7*E7|14|7|2||"},
         true},
        {"everything at once",
         {"--header-row", "2", "--match-headers", "--source-column", "--skip-first", "--gap", "1"},
         true,
         {"Source|Date|Units|Price|Total|Region|Check|Discount",
          "01-January.xlsx:Sales|1|10|2|=C2*D2|||", "01-January.xlsx:Sales|2|11|3|=C3*D3|||",
          "|||||||", "02-February.xlsx:Sales|3|12|4|=D5*C5|West|=SUM([1]Sales!A3:D3)|",
          "02-February.xlsx:Sales|4|13|5|=D6*C6|East|=SUM([1]Sales!A4:D4)|", "|||||||",
          "03-March.xlsx:Sales|5||6|=D8-H8|||1", "|||||||",
          "04-April.xlsx:Sales|7|14|2|=C10*D10|||"},
         false},
    };
    const std::string out = dir.file("out.xlsx");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string folder = c.titled ? "titled" : "months";
        V arguments = {"-q", "--sheets", "Sales"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        arguments.insert(arguments.end(), {dir.file(folder), "-o", out});
        fs::remove(out);
        const test::ProgramRun r = run(arguments);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, c.differences ? everyMonthDiffers(folder) : "");
        auto book = engine::openWorkbook(out);
        EXPECT_EQ(test::sheetRows(*book, 0), c.rows);
        // A range whose columns part reads February's own file, which the result names (its
        // links are read with the sheet's cells).
        const bool readsFebruary = c.rows[3].find("[1]") != std::string::npos ||
                                   c.rows[4].find("[1]") != std::string::npos;
        ASSERT_EQ(book->externalBooks().size(), readsFebruary ? 1u : 0u);
        if (readsFebruary) {
            const fs::path linked = book->externalBooks()[0].path;
            EXPECT_EQ(linked.filename(), kFebruary) << linked;
            EXPECT_EQ(linked.parent_path().filename(), folder) << linked;
        }
    }
}

TEST_F(HeaderCli, TheHorizontalMergeNamesEachBlockInARowAbove) {
    const V rows = {
        "01-January.xlsx:Sales|01-January.xlsx:Sales|01-January.xlsx:Sales|01-January.xlsx:Sales|"
        "02-February.xlsx:Sales|02-February.xlsx:Sales|02-February.xlsx:Sales|"
        "02-February.xlsx:Sales|02-February.xlsx:Sales|02-February.xlsx:Sales",
        "Date|Units|Price|Total|Price|Region|Date|Units|Total|Check",
        "1|10|2|=B3*C3|4|West|3|12|=E3*H3|=SUM(E3:H3)",
        "2|11|3|=B4*C4|5|East|4|13|=E4*H4|=SUM(E4:H4)"};
    for (const bool titled : {false, true}) {
        SCOPED_TRACE(titled ? "titled, --header-row 2" : "headers in row 1");
        const std::string folder = titled ? "titled/" : "months/";
        V arguments = {"-q", "--mode", "horizontal", "--source-column", "--sheets", "Sales"};
        if (titled) {
            arguments.insert(arguments.end(), {"--header-row", "2"});
        }
        arguments.insert(arguments.end(), {dir.file(folder + kJanuary),
                                           dir.file(folder + kFebruary), "-o", dir.file("h.xlsx")});
        const test::ProgramRun r = run(arguments);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "") << "the horizontal merge compares no header rows";
        EXPECT_EQ(rowsOf(dir.file("h.xlsx")), rows);
    }
}

// The job's keys give the options; a key the command line gives again is the command line's.
TEST_F(HeaderCli, AJobCarriesTheOptionsAndTheCommandLineOverridesThem) {
    auto writeJob = [&](const std::string& settings) {
        std::string text = "mode = vertical\nskip-first = yes\n" + settings;
        for (const std::string& month : {kJanuary, kFebruary, kMarch, kApril}) {
            text += "queue\tyes\ttitled/" + month + "\tSales\n";
        }
        text += "queue\tyes\ttitled/" + kJanuary + "\tNotes\n";
        test::writeFile(dir.file("monthly.plyjob"), text);
        return dir.file("monthly.plyjob");
    };
    // January's Notes hold a title only: nothing lies below it.
    const std::string job = writeJob("header-row = 2\nmatch-headers = yes\n");
    test::ProgramRun r = run({"-q", "--job", job, "-o", dir.file("a.xlsx")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(rowsOf(dir.file("a.xlsx")), matchedMonths(true));

    // Row 5 lies below every sheet: the command line's row 2 must replace it.
    writeJob("header-row = 5\nmatch-headers = yes\nsource-column = yes\n");
    r = run({"-q", "--header-row", "2", "--job", job, "-o", dir.file("b.xlsx")});
    ASSERT_EQ(r.status, 0) << r.err;
    const V withSource = rowsOf(dir.file("b.xlsx"));
    ASSERT_EQ(withSource.size(), 7u);
    EXPECT_EQ(withSource[0], "Source|Date|Units|Price|Total|Region|Check|Discount");
    EXPECT_EQ(withSource[3], "02-February.xlsx:Sales|3|12|4|=D4*C4|West|=SUM([1]Sales!A3:D3)|");
    EXPECT_EQ(withSource[6], "04-April.xlsx:Sales|7|14|2|=C7*D7|||");

    // The job's header row by position: the differing blocks are named as from the command
    // line, and --match-headers given on the command line then mends them.
    writeJob("header-row = 2\n");
    r = run({"-q", "--job", job, "-o", dir.file("c.xlsx")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, everyMonthDiffers("titled"));
    r = run({"-q", "--job", job, "--match-headers", "-o", dir.file("d.xlsx")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(rowsOf(dir.file("d.xlsx")), matchedMonths(true));

    const struct {
        const char* settings;
        V arguments;
        const char* message;
    } refused[] = {
        {"match-headers = yes\n",
         {"--mode", "horizontal"},
         "--match-headers applies only to --mode vertical"},
        {"source-column = yes\n",
         {"--mode", "workbook"},
         "--source-column applies only to --mode vertical or horizontal"},
        {"header-row = 0\n", {}, "header-row must be a row number from 1 to 1048576, not '0'"},
        {"header-row = 2x\n", {}, "header-row must be a row number from 1 to 1048576, not '2x'"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.settings);
        writeJob(c.settings);
        V arguments = {"--job", job, "-o", dir.file("refused.xlsx")};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        r = run(arguments);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir.file("refused.xlsx")));
    }
}

// A result written into the folder it merged is left out of the next run and said so, whatever
// the header options; the second result is the first one again.
TEST_F(HeaderCli, AnEarlierResultInTheFolderIsLeftOut) {
    const std::string months = dir.file("months");
    const V options = {"-q", "--exclude-sheets", "notes", "--match-headers", "--skip-first"};
    V first = options;
    first.insert(first.end(), {months, "-o", dir.file("months/all.xlsx")});
    test::ProgramRun r = run(first);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(rowsOf(dir.file("months/all.xlsx")), matchedMonths(false));

    V again = options;
    again.insert(again.end(), {"--source-column", months, "-o", dir.file("months/again.xlsx")});
    r = run(again);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "plyfold-merge: '" + dir.file("months/all.xlsx") +
                         "' left out: a result Plyfold wrote (--include-results merges it)\n");
    const V rows = rowsOf(dir.file("months/again.xlsx"));
    ASSERT_EQ(rows.size(), 7u) << ::testing::PrintToString(rows);
    EXPECT_EQ(rows.back(), "04-April.xlsx:Sales|7|14|2|=C7*D7|||");

    // Kept on request, the earlier result matches every column by its header.
    V included = options;
    included.insert(included.end(), {"--include-results", months, "-o", dir.file("inc.xlsx")});
    r = run(included);
    ASSERT_EQ(r.status, 0) << r.err;
    const V inc = rowsOf(dir.file("inc.xlsx"));
    // again.xlsx then all.xlsx follow the months; again.xlsx's Source column is new.
    ASSERT_EQ(inc.size(), 7u + 6u + 6u) << ::testing::PrintToString(inc);
    EXPECT_EQ(inc[0], "Date|Units|Price|Total|Region|Check|Discount|Source");
    EXPECT_EQ(inc[7], "1|10|2|=B8*C8||||01-January.xlsx:Sales");
    EXPECT_EQ(inc[13], "1|10|2|=B14*C14||||");
}

TEST_F(HeaderCli, ListingIgnoresTheHeaderOptions) {
    const std::string months = dir.file("months");
    const std::string listing = months +
                                "\n  01-January.xlsx\n    Sales  A1:D3  3 rows\n"
                                "    Notes  A1  1 row\n"
                                "  02-February.xlsx\n    Sales  A1:F3  3 rows\n"
                                "  03-March.xlsx\n    Sales  A1:D2  2 rows\n"
                                "    Notes  A1  1 row\n"
                                "  04-April.xlsx\n    Sales  A1:D2  2 rows\n";
    for (const V& options : {V{}, V{"--match-headers", "--source-column", "--header-row", "2"},
                             V{"--header-row", "3", "--skip-first"}}) {
        V arguments = {"--list"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.push_back(months);
        const test::ProgramRun r = run(arguments);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, listing) << ::testing::PrintToString(options);
    }
}

TEST_F(HeaderCli, HeaderOptionsMisusedAreUsageErrors) {
    const std::string jan = dir.file("months/" + kJanuary);
    const struct {
        V arguments;
        std::string message;
    } cases[] = {
        {{"--match-headers", "--mode", "horizontal"},
         "--match-headers applies only to --mode vertical"},
        {{"--mode", "workbook", "--match-headers"},
         "--match-headers applies only to --mode vertical"},
        {{"--source-column", "--mode", "workbook"},
         "--source-column applies only to --mode vertical or horizontal"},
        {{"--header-row", "2", "--mode", "workbook"},
         "--header-row applies only to --mode vertical or horizontal"},
        {{"--header-row", "1", "--mode", "workbook"},
         "--header-row applies only to --mode vertical or horizontal"},
        {{"--header-row", "0"}, "--header-row takes a row number from 1 to 1048576, not '0'"},
        {{"--header-row", "x"}, "--header-row takes a row number from 1 to 1048576, not 'x'"},
        {{"--header-row", "1048577"},
         "--header-row takes a row number from 1 to 1048576, not '1048577'"},
        {{"--header-row=-2"}, "--header-row takes a row number from 1 to 1048576, not '-2'"},
        {{"--header-row", "2.0"}, "--header-row takes a row number from 1 to 1048576, not '2.0'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        V arguments = c.arguments;
        arguments.insert(arguments.end(), {jan, "-o", dir.file("out.xlsx")});
        const test::ProgramRun r = run(arguments);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir.file("out.xlsx")));
    }
    const test::ProgramRun last = run({jan, "-o", dir.file("out.xlsx"), "--header-row"});
    EXPECT_EQ(last.status, 2);
    EXPECT_NE(last.err.find("option --header-row needs a value"), std::string::npos) << last.err;
}

}  // namespace
}  // namespace plyfold::cli
