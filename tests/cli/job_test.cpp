#include <gtest/gtest.h>

#include <filesystem>

#include "engine/io/workbook_io.h"
#include "engine/model/workbook.h"
#include "tests/support/grid_workbook.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace plyfold::cli {
namespace {

namespace fs = std::filesystem;
using test::taggedGrid;
using V = std::vector<std::string>;

// A job file as a person writes it, beside the workbooks it names: relative paths, an
// unchecked row, the result in a folder of the job's.
constexpr const char* kJob =
    "# the monthly figures\n"
    "mode = vertical\n"
    "skip-first = yes\n"
    "output = out/year.xlsx\n"
    "\n"
    "queue\tyes\tfeb.xlsx\tData\n"
    "queue\tno\tdata/jan.xlsx\tNotes\n"
    "queue\tyes\tdata/jan.xlsx\tData\n";

class JobRun : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir.path() / "jobs" / "data");
        fs::create_directories(dir.path() / "jobs" / "out");
        test::writeGridWorkbook(dir.file("jobs/data/jan.xlsx"), {{"Data", taggedGrid("j", 3, 2)},
                                                                 {"Notes", taggedGrid("n", 1, 1)}});
        test::writeGridWorkbook(dir.file("jobs/feb.xlsx"), {{"Data", taggedGrid("f", 3, 2)}});
        job = dir.file("jobs/monthly.plyjob");
        test::writeFile(job, kJob);
    }
    test::ProgramRun run(const std::vector<std::string>& arguments) {
        return test::runProgram(PLYFOLD_MERGE_PROGRAM, arguments, dir.path().string());
    }
    std::vector<std::string> rowsOf(const std::string& path, int sheet = 0) {
        auto book = engine::openWorkbook(path);
        return test::sheetRows(*book, sheet);
    }
    test::TempDir dir;
    std::string job;
};

TEST_F(JobRun, TheJobsQueueAndOptionsGoToItsOutput) {
    test::ProgramRun r = run({"--job", job});
    ASSERT_EQ(r.status, 0) << r.err;
    // The unchecked row stays out; the checked ones in queue order, the header kept once.
    EXPECT_EQ(rowsOf(dir.file("jobs/out/year.xlsx")),
              (V{"f11|f12", "f21|f22", "f31|f32", "j21|j22", "j31|j32"}));
}

TEST_F(JobRun, TheCommandLineOverridesTheJob) {
    test::ProgramRun r = run({"--job", job, "-o", dir.file("other.xlsx")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(rowsOf(dir.file("other.xlsx")).size(), 5u);
    EXPECT_FALSE(fs::exists(dir.file("jobs/out/year.xlsx"))) << "-o replaces the job's output";

    r = run({"--mode", "horizontal", "--gap", "1", "--job", job, "--output=" + dir.file("h.xlsx")});
    ASSERT_EQ(r.status, 0) << r.err;
    // The job's skip-first still holds: the second block loses its first column.
    EXPECT_EQ(rowsOf(dir.file("h.xlsx")), (V{"f11|f12||j12", "f21|f22||j22", "f31|f32||j32"}));

    r = run({"--job", job, "--mode", "workbook", "-o", dir.file("w.xlsx")});
    ASSERT_EQ(r.status, 0) << r.err;
    auto book = engine::openWorkbook(dir.file("w.xlsx"));
    EXPECT_EQ(book->sheetCount(), 2) << "the unchecked row is not copied";
}

TEST_F(JobRun, TheJobsSheetNamesHoldUnlessTheCommandLineGivesOthers) {
    test::writeFile(job,
                    "mode = workbook\nsheet-names = file-sheet\noutput = out/w.xlsx\n"
                    "queue\tyes\tfeb.xlsx\tData\nqueue\tyes\tdata/jan.xlsx\tData\n");
    auto names = [](const std::string& path) {
        auto book = engine::openWorkbook(path);
        V got;
        for (int32_t i = 0; i < book->sheetCount(); ++i) {
            got.push_back(book->sheet(i).name());
        }
        return got;
    };
    test::ProgramRun r = run({"--job", job});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(names(dir.file("jobs/out/w.xlsx")), (V{"feb Data", "jan Data"}));
    r = run({"--job", job, "--sheet-names", "source", "-o", dir.file("s.xlsx")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(names(dir.file("s.xlsx")), (V{"Data", "Data (2)"}));
    // A one-sheet job may carry the window's choice: it does not stop the run.
    test::writeFile(job,
                    "mode = vertical\nsheet-names = file\noutput = out/v.xlsx\n"
                    "queue\tyes\tfeb.xlsx\tData\n");
    r = run({"--job", job});
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(JobRun, AJobInAMovedFolderStillRuns) {
    fs::rename(dir.path() / "jobs", dir.path() / "moved");
    test::ProgramRun r = run({"--job", dir.file("moved/monthly.plyjob")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(rowsOf(dir.file("moved/out/year.xlsx")).size(), 5u);
}

TEST_F(JobRun, MissingFilesOfCheckedRowsStopTheRunBeforeAnythingIsWritten) {
    fs::remove(dir.file("jobs/feb.xlsx"));
    test::ProgramRun r = run({"--job", job});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "plyfold-merge: '" + dir.file("jobs/feb.xlsx") +
                         "', sheet 'Data': the file does not exist\n"
                         "plyfold-merge: nothing was written: 1 worksheet of the queue could not "
                         "be merged (--keep-going merges the others)\n");
    EXPECT_FALSE(fs::exists(dir.file("jobs/out/year.xlsx")));
    r = run({"--job", job, "--keep-going", "--quiet"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir.file("jobs/out/year.xlsx")));

    // A missing file of an unchecked row does not matter.
    test::writeGridWorkbook(dir.file("jobs/feb.xlsx"), {{"Data", taggedGrid("f", 1, 1)}});
    fs::remove(dir.file("jobs/data/jan.xlsx"));
    test::writeFile(job, "queue\tyes\tfeb.xlsx\tData\nqueue\tno\tdata/jan.xlsx\tData\n");
    r = run({"--job", job, "-o", dir.file("out.xlsx")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(rowsOf(dir.file("out.xlsx")), V{"f11"});
}

TEST_F(JobRun, ABadJobOrAMissingResultIsAUsageError) {
    struct Case {
        const char* name;
        std::string jobText;  // empty: the fixture's job
        std::vector<std::string> extra;
        std::string message;  // part of standard error
    };
    std::string workbookJob = kJob;
    workbookJob.replace(workbookJob.find("vertical"), 8, "workbook");
    const Case cases[] = {
        {"unknown setting",
         "mode = vertical\nsheet-colour = yes\n",
         {},
         "', line 2: unknown setting 'sheet-colour'"},
        {"no result", "queue\tyes\tfeb.xlsx\tData\n", {}, "names none (use -o RESULT)"},
        {"gap not whole",
         std::string(kJob) + "gap = 2.5\n",
         {},
         "the gap '2.5' is not a whole number"},
        {"result not a workbook", "", {"-o", dir.file("x.txt")}, "the result must be a .xlsx file"},
        {"workbook as csv", workbookJob, {"-o", dir.file("x.csv")}, "write it as .xlsx"},
        {"sources beside the job", "", {dir.file("jobs/feb.xlsx")}, "give no sources"},
        {"a queue file beside", "", {"--queue", dir.file("q.tsv")}, "give no sources"},
        {"list", "", {"--list"}, "--list does not read a job"},
        {"twice", "", {"--job", dir.file("jobs/monthly.plyjob")}, "--job may be given once"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::writeFile(job, c.jobText.empty() ? std::string(kJob) : c.jobText);
        std::vector<std::string> arguments{"--job", job};
        arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
        test::ProgramRun r = run(arguments);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir.file("jobs/out/year.xlsx")));
    }
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"--job"}, {"--job="}, {"--job", dir.file("none")}}) {
        EXPECT_EQ(run(arguments).status, 2) << arguments.back();
    }
}

TEST_F(JobRun, AResultThatWouldReplaceTheJobFileIsRefused) {
    const std::string named = dir.file("jobs/job.xlsx");
    test::writeFile(named, kJob);
    test::ProgramRun r = run({"--job", named, "-o", named});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("an input of this merge"), std::string::npos) << r.err;
    EXPECT_EQ(test::readFile(named), kJob);
}

TEST_F(JobRun, HelpNamesTheJobOption) {
    test::ProgramRun r = run({"--help"});
    EXPECT_NE(r.out.find("--job FILE"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace plyfold::cli
