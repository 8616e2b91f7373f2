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
using V = std::vector<std::string>;

// Monthly workbooks whose sheet sets differ, each sheet one cell naming month and sheet.
class SheetFilterCli : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(dir.path() / "months");
        jan = month("01-January.xlsx", {"Sales", "Costs", "Notes"});
        feb = month("02-February.xlsx", {"Sales", "Notes"});
        mar = month("03-March.xlsx", {"Costs", "\xC3\x89t\xC3\xA9"});  // Été
    }
    std::string month(const std::string& name, const V& sheets) {
        test::NamedGrids grids;
        for (const std::string& sheet : sheets) {
            grids.push_back({sheet, test::Grid{{name.substr(0, 2) + " " + sheet}}});
        }
        const std::string path = dir.file("months/" + name);
        test::writeGridWorkbook(path, grids);
        return path;
    }
    test::ProgramRun run(const V& arguments) {
        return test::runProgram(PLYFOLD_MERGE_PROGRAM, arguments, dir.path().string());
    }
    // The cells of the vertical result, one a line.
    V merged() {
        auto book = engine::openWorkbook(dir.file("out.xlsx"));
        return test::sheetRows(*book, 0);
    }
    std::string note(const std::string& path) {
        return "plyfold-merge: '" + path + "': no worksheet matches the sheet filter\n";
    }

    test::TempDir dir;
    std::string jan, feb, mar;
};

TEST_F(SheetFilterCli, FiltersEveryFileAndFolderSource) {
    const std::string months = dir.file("months");
    const struct {
        V arguments;
        V rows;
        V notesFor;
    } cases[] = {
        {{"--sheets", "Sales", months}, {"01 Sales", "02 Sales"}, {mar}},
        {{"--sheets", "sALES", months}, {"01 Sales", "02 Sales"}, {mar}},
        {{"--exclude-sheets", "notes", months},
         {"01 Sales", "01 Costs", "02 Sales", "03 Costs", "03 \xC3\x89t\xC3\xA9"},
         {}},
        {{"--sheets", "s*", "--sheets", "c?sts", months},
         {"01 Sales", "01 Costs", "02 Sales", "03 Costs"},
         {}},
        {{"--sheets", "*", "--exclude-sheets", "[sn]*", months},
         {"01 Costs", "03 Costs", "03 \xC3\x89t\xC3\xA9"},
         {feb}},
        {{"--sheets", "\xC3\xA9T\xC3\x89", months}, {"03 \xC3\x89t\xC3\xA9"}, {jan, feb}},
        {{"--sheets", "???", months}, {"03 \xC3\x89t\xC3\xA9"}, {jan, feb}},
        // A filter applies to files given alone and after folders alike.
        {{"--sheets", "Notes", feb, months}, {"02 Notes", "01 Notes", "02 Notes"}, {mar}},
        {{"--exclude-sheets", "*", jan, "--sheets", "Costs", months}, {}, {jan, jan, feb, mar}},
    };
    for (const auto& k : cases) {
        V arguments = k.arguments;
        arguments.insert(arguments.end(), {"-o", dir.file("out.xlsx")});
        fs::remove(dir.file("out.xlsx"));
        const test::ProgramRun r = run(arguments);
        std::string notes;
        for (const std::string& path : k.notesFor) {
            notes += note(path);
        }
        const std::string what = ::testing::PrintToString(k.arguments);
        if (k.rows.empty()) {
            EXPECT_EQ(r.status, 1) << what;
            EXPECT_EQ(r.err, notes + "plyfold-merge: Please select some excel files to Merge!\n")
                << what;
            EXPECT_FALSE(fs::exists(dir.file("out.xlsx"))) << what;
            continue;
        }
        ASSERT_EQ(r.status, 0) << what << r.err;
        EXPECT_EQ(r.err, notes) << what;
        EXPECT_EQ(merged(), k.rows) << what;
    }
}

TEST_F(SheetFilterCli, PickedSheetsAndQueueFilesAreTakenAsNamed) {
    const std::string queueFile = dir.file("queue.tsv");
    test::writeFile(queueFile, feb + "\tNotes\r\n");
    const test::ProgramRun r = run({"--sheets", "Sales", "--queue", queueFile, jan + ":Costs", feb,
                                    "--sheet", "Notes", mar, "-o", dir.file("out.xlsx")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, note(mar));
    EXPECT_EQ(merged(), (V{"02 Notes", "01 Costs", "02 Notes"}));
}

TEST_F(SheetFilterCli, AnUnreadableWorkbookIsNamedAsAProblemNotAsFilteredOut) {
    test::writeFile(dir.file("months/04-April.xlsx"), "PK\x03\x04 damaged");
    const test::ProgramRun r =
        run({"--keep-going", "--sheets", "Costs", dir.file("months"), "-o", dir.file("out.xlsx")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(note(feb)), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("04-April.xlsx"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(note(dir.file("months/04-April.xlsx"))), std::string::npos) << r.err;
    EXPECT_EQ(merged(), (V{"01 Costs", "03 Costs"}));
}

TEST_F(SheetFilterCli, ListShowsTheMatchingWorksheetsWithTheirExtent) {
    test::writeGridWorkbook(dir.file("big.xlsx"),
                            {{"Data", test::taggedGrid("d", 1234, 10)}, {"Empty", {}}}, "C2");
    const test::ProgramRun all = run({"--list", dir.file("big.xlsx")});
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.out, dir.file("big.xlsx") +
                           "\n  big.xlsx\n    Data  C2:L1235  1,234 rows\n    Empty  A1  0 rows\n");
    const test::ProgramRun some =
        run({"--list", "--exclude-sheets", "n*", "--sheets", "*s", dir.file("months")});
    ASSERT_EQ(some.status, 0) << some.err;
    EXPECT_EQ(some.out, dir.file("months") +
                            "\n  01-January.xlsx\n    Sales  A1  1 row\n    Costs  A1  1 row\n"
                            "  02-February.xlsx\n    Sales  A1  1 row\n"
                            "  03-March.xlsx\n    Costs  A1  1 row\n");
}

TEST_F(SheetFilterCli, PatternsMisusedAreUsageErrors) {
    const struct {
        V arguments;
        std::string message;
    } cases[] = {
        {{"--sheets", "", jan, "-o", "out.xlsx"},
         "--sheets needs a pattern (* matches every worksheet)"},
        {{"--exclude-sheets=", jan, "-o", "out.xlsx"},
         "--exclude-sheets needs a pattern (* matches every worksheet)"},
        {{jan, "-o", "out.xlsx", "--sheets"}, "option --sheets needs a value"},
        {{"--job", "x.plyjob", "--sheets", "S*"},
         "--sheets and --exclude-sheets filter file and folder sources; a job's queue names its "
         "worksheets"},
    };
    for (const auto& k : cases) {
        const test::ProgramRun r = run(k.arguments);
        EXPECT_EQ(r.status, 2) << k.message;
        EXPECT_NE(r.err.find(k.message), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace plyfold::cli
