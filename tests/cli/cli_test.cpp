#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include "engine/io/workbook_io.h"
#include "engine/model/workbook.h"
#include "tests/support/grid_workbook.h"
#include "tests/support/temp_dir.h"

namespace plyfold::cli {
namespace {

namespace fs = std::filesystem;
using test::taggedGrid;
using V = std::vector<std::string>;

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

// How the program is started: with the test's own rights, or with the permissions of files and
// folders applying to it even when the test runs as root.
enum class Rights { AsTheTest, PermissionsApply };

// Starts the built program with the arguments, its output streams going to the files named,
// and the signals the test sends acting on it as on any program started from a shell.
pid_t startProgram(const std::vector<std::string>& arguments, const std::string& outFile,
                   const std::string& errFile, Rights rights) {
    std::vector<std::string> args{PLYFOLD_MERGE_PROGRAM};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        // Only calls that are safe between fork and exec from here on.
        const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0) {
            _exit(127);
        }
        close(out);
        close(err);
        if (rights == Rights::PermissionsApply) {
            // Root passes every permission through these two capabilities; out of the bounding
            // set, the program does not get them at exec. An unprivileged test has neither.
            prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
            prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
        }
        // An ignored signal stays ignored across exec: the test's own runner may ignore them.
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        execve(argv[0], argv.data(), environ);
        _exit(127);
    }
    return pid;
}

// Runs the built program with the arguments, capturing both output streams.
ProgramRun runProgram(const std::vector<std::string>& arguments, const test::TempDir& dir,
                      Rights rights) {
    std::string outFile = dir.file(".stdout"), errFile = dir.file(".stderr");
    ProgramRun run;
    const pid_t pid = startProgram(arguments, outFile, errFile, rights);
    if (pid > 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    run.out = test::readFile(outFile);
    run.err = test::readFile(errFile);
    return run;
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(dir.path() / "monthly");
        jan = dir.file("monthly/jan.xlsx");
        feb = dir.file("monthly/feb.xlsx");
        test::writeGridWorkbook(
            jan, {{"Data", taggedGrid("j", 3, 2)}, {"Notes", taggedGrid("n", 1, 1)}});
        test::writeGridWorkbook(feb, {{"Data", taggedGrid("f", 3, 2)}});
    }
    ProgramRun run(const std::vector<std::string>& arguments, Rights rights = Rights::AsTheTest) {
        return runProgram(arguments, dir, rights);
    }
    std::vector<std::string> result(int sheet = 0) {
        auto book = engine::openWorkbook(dir.file("out.xlsx"));
        return test::sheetRows(*book, sheet);
    }
    test::TempDir dir;
    std::string jan, feb;
};

TEST_F(CliTest, HelpAndVersion) {
    ProgramRun help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: plyfold-merge"), std::string::npos);
    ProgramRun version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "plyfold-merge 10.1.10\n");
}

TEST_F(CliTest, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {jan},
        {"--frobnicate", jan, "-o", "x.xlsx"},
        {"--mode", "diagonal", jan, "-o", "x.xlsx"},
        {jan, "-o", "x.txt"},
        {"--sheet", "Data", jan, "-o", "x.xlsx"},
        {"--mode", "workbook", jan, "-o", "x.csv"},
        {jan, "-o"},
        {"--skip-first=yes", jan, "-o", "x.xlsx"},
        {"--memory-limit", "lots", jan, "-o", "x.xlsx"},
        {"--memory-limit", "0", jan, "-o", "x.xlsx"},
        {"--memory-limit=2Q", jan, "-o", "x.xlsx"},
        {jan, "-o", "x.xlsx", "--memory-limit"},
        {"--mode", "workbook", "--sheet-names", "files", jan, "-o", "x.xlsx"},
        {"--mode", "workbook", jan, "-o", "x.xlsx", "--sheet-names"},
        // Only the one-workbook merge names copies.
        {"--sheet-names", "file", jan, "-o", "x.xlsx"},
        {"--mode", "horizontal", "--sheet-names=source", jan, "-o", "x.xlsx"},
    };
    for (const auto& arguments : cases) {
        ProgramRun r = run(arguments);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find("plyfold-merge: "), std::string::npos);
    }
}

TEST_F(CliTest, AFolderStacksEveryWorksheetOfItsWorkbooks) {
    ProgramRun r = run({"--skip-first", dir.file("monthly"), "-o", dir.file("out.xlsx")});
    ASSERT_EQ(r.status, 0) << r.err;
    // feb.xlsx sorts before jan.xlsx; jan's second sheet follows its first.
    EXPECT_EQ(result(), (V{"f11|f12", "f21|f22", "f31|f32", "j21|j22", "j31|j32"}));
    // No progress bar when standard error is not a terminal: only the two blocks whose first
    // row, dropped as a header, differs from the first block's are named.
    EXPECT_EQ(r.err,
              "plyfold-merge: '" + jan +
                  "', sheet 'Data': its header row differs from the first block's: lacks "
                  "f11, f12; adds j11, j12 (stacked by position; --match-headers matches "
                  "them)\nplyfold-merge: '" +
                  jan +
                  "', sheet 'Notes': its header row differs from the first block's: lacks "
                  "f11, f12; adds n11 (stacked by position; --match-headers matches them)\n");
}

TEST_F(CliTest, PickedSheetsSideBySideWithAGap) {
    ProgramRun r = run({"--mode", "horizontal", "--gap", "1", jan + ":Data", feb, "--sheet", "Data",
                        "-o", dir.file("out.xlsx")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(result(), (V{"j11|j12||f11|f12", "j21|j22||f21|f22", "j31|j32||f31|f32"}));
}

TEST_F(CliTest, WorkbookModeCopiesSheetsWhole) {
    ProgramRun r = run({"--mode", "workbook", jan, feb, "-o", dir.file("out.xlsx")});
    ASSERT_EQ(r.status, 0) << r.err;
    auto book = engine::openWorkbook(dir.file("out.xlsx"));
    ASSERT_EQ(book->sheetCount(), 3);
    EXPECT_EQ(book->sheet(0).name(), "Data");
    EXPECT_EQ(book->sheet(1).name(), "Notes");
    EXPECT_EQ(book->sheet(2).name(), "Data (2)");
    EXPECT_EQ(test::sheetRows(*book, 2), (V{"f11|f12", "f21|f22", "f31|f32"}));
}

TEST_F(CliTest, SheetNamesNameTheCopiesAfterTheirFiles) {
    const std::vector<std::pair<std::string, V>> cases = {
        {"source", {"Data", "Notes", "Data (2)"}},
        {"file", {"jan", "jan (2)", "feb"}},
        {"file-sheet", {"jan Data", "jan Notes", "feb Data"}},
    };
    for (const auto& [naming, names] : cases) {
        ProgramRun r = run(
            {"--mode", "workbook", "--sheet-names", naming, jan, feb, "-o", dir.file("out.xlsx")});
        ASSERT_EQ(r.status, 0) << r.err;
        auto book = engine::openWorkbook(dir.file("out.xlsx"));
        V got;
        for (int32_t i = 0; i < book->sheetCount(); ++i) {
            got.push_back(book->sheet(i).name());
        }
        EXPECT_EQ(got, names) << naming;
        EXPECT_EQ(test::sheetRows(*book, 2), (V{"f11|f12", "f21|f22", "f31|f32"})) << naming;
    }
}

TEST_F(CliTest, AQueueFileAndACsvResult) {
    test::writeFile(dir.file("queue.tsv"), feb + "\tData\r\n\r\n" + jan + "\tNotes\n");
    ProgramRun r = run({"--queue", dir.file("queue.tsv"), "-o", dir.file("out.csv")});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string csv = test::readFile(dir.file("out.csv"));
    EXPECT_NE(csv.find("f11,f12\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("n11"), std::string::npos) << csv;
    test::writeFile(dir.file("bad.tsv"), "no tab here\n");
    EXPECT_EQ(run({"--queue", dir.file("bad.tsv"), "-o", dir.file("x.xlsx")}).status, 2);
}

TEST_F(CliTest, FailuresExitWithOneAndLeaveAnExistingResultAlone) {
    test::writeFile(dir.file("out.xlsx"), "previous result");
    ProgramRun missingSheet = run({jan + ":Nowhere", "-o", dir.file("out.xlsx")});
    EXPECT_EQ(missingSheet.status, 1);
    EXPECT_EQ(missingSheet.err,
              "plyfold-merge: '" + jan +
                  "', sheet 'Nowhere': the workbook has no worksheet of this name\n"
                  "plyfold-merge: Nothing was merged: every checked worksheet of the queue was "
                  "left out.\nplyfold-merge: Merge Failed!\n");
    EXPECT_EQ(test::readFile(dir.file("out.xlsx")), "previous result");

    test::writeFile(dir.file("monthly/broken.xlsx"), "not a workbook at all");
    ProgramRun broken = run({dir.file("monthly"), "-o", dir.file("out.xlsx")});
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.err.find("plyfold-merge: '" + dir.file("monthly/broken.xlsx") + "': "),
              std::string::npos)
        << broken.err;
    EXPECT_NE(broken.err.find("nothing was written: 1 worksheet of the queue could not be "
                              "merged (--keep-going merges the others)"),
              std::string::npos)
        << broken.err;
    EXPECT_EQ(test::readFile(dir.file("out.xlsx")), "previous result");

    ProgramRun missing = run({dir.file("nothing.xlsx"), "-o", dir.file("out.xlsx")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("'" + dir.file("nothing.xlsx") + "': the file does not exist"),
              std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 4)
        << "no temporary file is left behind";
}

// A folder of good and bad files, and a queue file naming a vanished file and a missing sheet.
class CliProblemsTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        const std::string whole = test::readFile(feb);
        test::writeFile(dir.file("monthly/truncated.xlsx"), whole.substr(0, whole.size() / 2));
        fs::copy_file(std::string(PLYFOLD_CORPUS_DIR) + "/calamine__pass_protected.xlsx",
                      dir.file("monthly/protected.xlsx"));
        test::writeFile(dir.file("monthly/text.xlsx"), "region,amount\nWest,12\n");
        test::writeFile(dir.file("queue.tsv"), dir.file("vanished.xlsx") + "\tData\n" + jan +
                                                   "\tNope\n" + feb + "\tData\n");
    }
    std::vector<std::string> mergeArguments() {
        return {"--queue",  dir.file("queue.tsv"), dir.file("monthly"), "-o", dir.file("out.xlsx"),
                "--report", dir.file("report.tsv")};
    }
    // The report's lines without their messages, and whether every left-out row has one.
    std::vector<std::string> reportLines() {
        std::vector<std::string> lines;
        std::istringstream text(test::readFile(dir.file("report.tsv")));
        for (std::string line; std::getline(text, line);) {
            std::vector<std::string> fields(1);
            for (char c : line) {
                if (c == '\t') {
                    fields.emplace_back();
                } else {
                    fields.back().push_back(c);
                }
            }
            EXPECT_EQ(fields.size(), 6u) << line;
            fields.resize(6);
            if (!lines.empty()) {
                const bool leftOut = fields[2] != "merged" && fields[2] != "unchecked";
                EXPECT_EQ(leftOut, !fields[5].empty()) << line;
            }
            fs::path path(fields[0]);
            lines.push_back(path.filename().string() + "|" + fields[1] + "|" + fields[2] + "|" +
                            fields[3] + "|" + fields[4]);
        }
        return lines;
    }
    const V expectedReport = {
        "path|sheet|status|rows|columns",  "vanished.xlsx|Data|missing|0|0",
        "jan.xlsx|Nope|no such sheet|0|0", "feb.xlsx|Data|merged|3|2",
        "feb.xlsx|Data|merged|3|2",        "jan.xlsx|Data|merged|3|2",
        "jan.xlsx|Notes|merged|1|1",       "protected.xlsx||unreadable|0|0",
        "text.xlsx||unreadable|0|0",       "truncated.xlsx||unreadable|0|0",
    };
};

TEST_F(CliProblemsTest, WithoutKeepGoingEveryProblemIsNamedAndNothingIsWritten) {
    ProgramRun r = run(mergeArguments());
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(dir.file("out.xlsx")));
    for (const std::string& named :
         {"'" + dir.file("vanished.xlsx") + "', sheet 'Data': the file does not exist",
          "'" + jan + "', sheet 'Nope': the workbook has no worksheet of this name",
          "'" + dir.file("monthly/protected.xlsx") + "': ",
          "'" + dir.file("monthly/text.xlsx") + "': ",
          "'" + dir.file("monthly/truncated.xlsx") + "': ",
          std::string("nothing was written: 5 worksheets of the queue could not be merged")}) {
        EXPECT_NE(r.err.find("plyfold-merge: " + named), std::string::npos) << named << r.err;
    }
    EXPECT_EQ(r.out, "") << "no summary for a merge that wrote nothing";
    EXPECT_EQ(reportLines(), expectedReport);
}

TEST_F(CliProblemsTest, KeepGoingMergesTheRestAndSumsItUp) {
    std::vector<std::string> arguments = mergeArguments();
    arguments.push_back("--keep-going");
    ProgramRun r = run(arguments);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(result(), (V{"f11|f12", "f21|f22", "f31|f32", "f11|f12", "f21|f22", "f31|f32",
                           "j11|j12", "j21|j22", "j31|j32", "n11|"}));
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 5) << r.err;
    EXPECT_EQ(reportLines(), expectedReport);
    EXPECT_TRUE(r.out.starts_with("Merged 4 worksheets from 2 files: 10 rows x 2 columns -> " +
                                  dir.file("out.xlsx") + " in "))
        << r.out;
    EXPECT_TRUE(r.out.ends_with(" s\n")) << r.out;

    arguments.push_back("--quiet");
    EXPECT_EQ(run(arguments).out, "");
}

TEST_F(CliProblemsTest, KeepGoingWithNothingToMergeFails) {
    ProgramRun r = run({"--keep-going", dir.file("monthly/text.xlsx"), dir.file("vanished.xlsx"),
                        "-o", dir.file("out.xlsx")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Merge Failed!"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.file("out.xlsx")));
}

TEST_F(CliProblemsTest, TheReportNeverReplacesAnInputOrTheResult) {
    const std::string queue = dir.file("queue.tsv");
    const std::vector<std::vector<std::string>> cases = {
        {feb, "--report", feb},
        {"--queue", queue, "--report", queue},
        {feb, "--report", dir.file("out.xlsx")},
    };
    for (std::vector<std::string> arguments : cases) {
        arguments.insert(arguments.end(), {"--keep-going", "-o", dir.file("out.xlsx")});
        ProgramRun r = run(arguments);
        EXPECT_EQ(r.status, 2) << arguments[1];
        EXPECT_NE(r.err.find("write"), std::string::npos) << r.err;
    }
    EXPECT_EQ(test::readFile(queue).substr(0, 5), dir.file("vanished.xlsx").substr(0, 5));
    EXPECT_FALSE(fs::exists(dir.file("out.xlsx")));
}

TEST_F(CliTest, TheGapIsAWholeNumber) {
    for (const char* gap : {"abc", "-1", "1.5", " 2", "2147483648", ""}) {
        ProgramRun r = run({"--gap", gap, feb, "-o", dir.file("out.xlsx")});
        EXPECT_EQ(r.status, 2) << gap;
        EXPECT_EQ(r.err, "plyfold-merge: --gap takes a whole number 0 or more, not '" +
                             std::string(gap) + "'\nTry 'plyfold-merge --help'.\n");
    }
    ASSERT_EQ(run({"--gap=2", feb, feb, "-o", dir.file("out.xlsx")}).status, 0);
    EXPECT_EQ(result(),
              (V{"f11|f12", "f21|f22", "f31|f32", "|", "|", "f11|f12", "f21|f22", "f31|f32"}));
}

TEST_F(CliTest, TextDialectAndCsvValueOptions) {
    const std::vector<std::vector<std::string>> wrong = {
        {"--delimiter", ";;", feb, "-o", "x.xlsx"},
        {"--delimiter", "", feb, "-o", "x.xlsx"},
        {"--date-order", "dym", feb, "-o", "x.xlsx"},
        {"--decimal-comma=yes", feb, "-o", "x.xlsx"},
        {"--csv-values", "formatted", feb, "-o", "x.csv"},
        {"--csv-values", "raw", feb, "-o", "x.xlsx"},
    };
    for (const auto& arguments : wrong) {
        EXPECT_EQ(run(arguments).status, 2) << arguments[0] << " " << arguments[1];
    }
    test::writeFile(dir.file("pipes.txt"), "a|b\n1|2\n");
    ProgramRun r = run({"--delimiter", "|", dir.file("pipes.txt"), "-o", dir.file("out.xlsx")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(result(), (V{"a|b", "1|2"}));

    // Recognised without options; the raw values of the result are the numbers and serials.
    test::writeFile(dir.file("de.csv"), "Datum;Betrag\n31.01.2026;1.234,56\n01.02.2026;-0,5\n");
    r = run({dir.file("de.csv"), "-o", dir.file("shown.csv")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::readFile(dir.file("shown.csv")),
              "\xEF\xBB\xBF"
              "Datum,Betrag\r\n31.01.2026,1234.56\r\n01.02.2026,-0.5\r\n");
    r = run({"--csv-values", "raw", dir.file("de.csv"), "-o", dir.file("raw.csv")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::readFile(dir.file("raw.csv")),
              "\xEF\xBB\xBF"
              "Datum,Betrag\r\n46053,1234.56\r\n46054,-0.5\r\n");
    // Told the other order, the same dates stay text where they cannot be read so.
    r = run({"--date-order", "mdy", dir.file("de.csv"), "-o", dir.file("mdy.csv")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(test::readFile(dir.file("mdy.csv")).find("31.01.2026,"), std::string::npos);
}

// A failure no command reports itself, such as a folder that cannot be listed, still ends the
// run with its reason and status 1, whether the folder is listed or merged.
TEST_F(CliTest, AFolderThatCannotBeListedEndsTheRunWithTheReason) {
    const std::string locked = dir.file("locked");
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms::none);
    const std::string reason =
        "plyfold-merge: '" + locked + "' could not be listed: Permission denied.\n";
    ProgramRun list = run({"--list", locked}, Rights::PermissionsApply);
    EXPECT_EQ(list.status, 1);
    EXPECT_EQ(list.out, locked + "\n");
    EXPECT_EQ(list.err, reason);
    ProgramRun merge = run({locked, "-o", dir.file("out.xlsx")}, Rights::PermissionsApply);
    EXPECT_EQ(merge.status, 1);
    EXPECT_EQ(merge.err, reason);
    EXPECT_FALSE(fs::exists(dir.file("out.xlsx")));
    fs::permissions(locked, fs::perms::owner_all);  // so that the temporary folder can go
}

TEST_F(CliTest, EveryModeNamesTheFileAndSheetOfAFailedMerge) {
    for (const char* mode : {"vertical", "horizontal", "workbook"}) {
        ProgramRun r = run({"--mode", mode, feb, jan + ":Nope", "-o", dir.file("out.xlsx")});
        EXPECT_EQ(r.status, 1) << mode;
        EXPECT_EQ(r.err, "plyfold-merge: '" + jan +
                             "', sheet 'Nope': the workbook has no worksheet of this name\n"
                             "plyfold-merge: nothing was written: 1 worksheet of the queue "
                             "could not be merged (--keep-going merges the others)\n")
            << mode;
        EXPECT_FALSE(fs::exists(dir.file("out.xlsx")));
    }
}

TEST_F(CliTest, TheMemoryLimitStopsAMergeNamingTheFileAndSheet) {
    std::string rows;
    for (int r = 0; r < 1000; ++r) {
        for (int c = 0; c < 100; ++c) {
            rows += c ? ",7" : "7";
        }
        rows += "\r\n";
    }
    const std::string big = dir.file("big.csv");
    test::writeFile(big, rows);
    ProgramRun stopped = run({"--memory-limit", "1M", big, "-o", dir.file("out.xlsx")});
    EXPECT_EQ(stopped.status, 1);
    EXPECT_EQ(stopped.err, "plyfold-merge: The worksheet 'big' of '" + big +
                               "' could not be merged. '" + big +
                               "', sheet 'big': reading it would take more than the 1 MB of "
                               "memory this merge may use.\nplyfold-merge: Merge Failed!\n");
    EXPECT_FALSE(fs::exists(dir.file("out.xlsx")));
    ProgramRun merged = run({"--memory-limit=64M", big, "-o", dir.file("out.xlsx")});
    ASSERT_EQ(merged.status, 0) << merged.err;
    EXPECT_EQ(result().size(), 1000u);
    EXPECT_NE(run({"--help"}).out.find("--memory-limit SIZE"), std::string::npos);
}

TEST_F(CliTest, TheResultsExtensionChoosesItsFormatInAnyCase) {
    for (const char* name : {"out.Csv", "OUT.CSV"}) {
        ProgramRun r = run({feb, "-o", dir.file(name)});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(test::readFile(dir.file(name)),
                  "\xEF\xBB\xBF"
                  "f11,f12\r\nf21,f22\r\nf31,f32\r\n")
            << name;
    }
    ProgramRun r = run({feb, "-o", dir.file("out.XLSX")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::sheetRows(*engine::openWorkbook(dir.file("out.XLSX")), 0),
              (V{"f11|f12", "f21|f22", "f31|f32"}));
}

TEST_F(CliTest, WhatASourceHoldsAndTheResultLacksIsOneLineEachOnStandardError) {
    const std::string held = dir.file("held.xlsx");
    fs::copy_file(
        std::string(PLYFOLD_SOURCE_DIR) + "/tests/data/xlsx-features/settings_uncarried.xlsx",
        held);
    const std::string lead = "plyfold-merge: '" + held + "'";
    const std::string expected =
        lead + ": not carried into the result: VBA project (macros)\n" + lead +
        ", sheet 'Held': not carried into the result: form or ActiveX controls\n" + lead +
        ", sheet 'Held': not carried into the result: sparklines\n" + lead +
        ", sheet 'Held': not carried into the result: pivot table (its cells are kept as "
        "values)\n";
    for (const char* mode : {"vertical", "horizontal", "workbook"}) {
        SCOPED_TRACE(mode);
        fs::remove(dir.file("out.xlsx"));
        ProgramRun r = run({"-q", "--mode", mode, held, jan, "-o", dir.file("out.xlsx")});
        EXPECT_EQ(r.status, 0);  // the result holds what could be carried
        EXPECT_EQ(r.err, expected);
        EXPECT_TRUE(fs::exists(dir.file("out.xlsx")));
    }
    ProgramRun plain = run({"-q", jan, "-o", dir.file("out.xlsx")});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.err, "");
}

TEST_F(CliTest, ListPrintsWorkbooksAndWorksheets) {
    ProgramRun r = run({"--list", dir.file("monthly"), jan});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, dir.file("monthly") +
                         "\n  feb.xlsx\n    Data  A1:B3  3 rows\n  jan.xlsx\n    Data  A1:B3  3 "
                         "rows\n    Notes  A1  1 row\n" +
                         jan + "\n  jan.xlsx\n    Data  A1:B3  3 rows\n    Notes  A1  1 row\n");
}

TEST_F(CliTest, ListMarksHiddenWorksheetsAndAWorkbookMergeKeepsThemHidden) {
    engine::Workbook book;
    const std::pair<const char*, engine::SheetVisibility> sheets[] = {
        {"Data", engine::SheetVisibility::Visible},
        {"Lookup", engine::SheetVisibility::Hidden},
        {"Secret", engine::SheetVisibility::VeryHidden}};
    for (const auto& [name, visibility] : sheets) {
        engine::Sheet& sheet = book.addSheet(name);
        sheet.cellAt({0, 0}).type = engine::CellType::Number;
        sheet.setVisibility(visibility);
    }
    const std::string path = dir.file("hidden.xlsx");
    engine::saveWorkbook(book, path);
    ProgramRun list = run({"--list", path});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out, path +
                            "\n  hidden.xlsx\n    Data  A1  1 row\n    Lookup (hidden)  A1  1 "
                            "row\n    Secret (hidden)  A1  1 row\n");

    ProgramRun merge = run({"--mode", "workbook", path, "-o", dir.file("all.xlsx")});
    ASSERT_EQ(merge.status, 0) << merge.err;
    auto result = engine::openWorkbook(dir.file("all.xlsx"));
    ASSERT_EQ(result->sheetCount(), 3);
    for (int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(result->sheet(i).name(), sheets[i].first);
        EXPECT_EQ(result->sheet(i).visibility(), sheets[i].second) << sheets[i].first;
    }
}

// A summary saved without computing its formulas: fitting the result's columns keeps the
// room the source columns gave the results, which show once a spreadsheet computes them.
TEST_F(CliTest, FittedColumnsKeepRoomForFormulasNotYetComputed) {
    engine::Workbook book;
    engine::Sheet& sheet = book.addSheet("Summary");
    sheet.setColumnWidth(0, 6);
    sheet.setColumnWidth(1, 24);
    sheet.setColumnWidth(2, 18);
    for (int32_t row = 0; row < 2; ++row) {
        engine::Cell& label = sheet.cellAt({row, 0});
        label.type = engine::CellType::Text;
        label.value.text = book.strings().intern(row == 0 ? "North" : "South");
        sheet.cellAt({row, 1}).formula = book.formulas().intern("SUMIF(A:A,A1,C:C)*1000") + 1;
        engine::Cell& cached = sheet.cellAt({row, 2});
        cached.formula = book.formulas().intern("1+1") + 1;
        cached.type = engine::CellType::Number;
        cached.value.number = 2;
    }
    const std::string path = dir.file("summary.xlsx");
    engine::saveWorkbook(book, path);

    struct Case {
        std::vector<std::string> options;
        double formulaColumn;  // the width of the result's column of uncomputed formulas
    };
    const Case cases[] = {
        {{}, 24},
        {{"--mode", "horizontal", "--skip-first"}, 24},
        {{"--no-autofit"}, 0},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = c.options;
        arguments.insert(arguments.end(), {path, path, "-o", dir.file("out.xlsx")});
        ProgramRun merge = run(arguments);
        ASSERT_EQ(merge.status, 0) << merge.err;
        auto result = engine::openWorkbook(dir.file("out.xlsx"));
        const engine::Sheet& merged = result->sheet(0);
        merged.ensureLoaded();
        EXPECT_DOUBLE_EQ(merged.columnWidth(1), c.formulaColumn) << c.options.size();
        if (!c.options.empty() && c.options[0] == "--mode") {
            // The second block, pasted at D, lost its first column: its formulas are in D,
            // and its computed ones in E.
            EXPECT_DOUBLE_EQ(merged.columnWidth(3), 24);
            EXPECT_LT(merged.columnWidth(4), 18);
        }
        if (c.formulaColumn > 0) {
            EXPECT_GT(merged.columnWidth(0), 0);
            EXPECT_LT(merged.columnWidth(2), 18) << "computed formulas are fitted as usual";
        }
    }
}

// A source whose default format shows Arial 10 keeps that look in every mode, while the
// result's own default stays as it is.
TEST_F(CliTest, CellsKeepTheSourcesDefaultFont) {
    engine::Workbook book;
    engine::Font arial;
    arial.name = "Arial";
    arial.size = 10;
    arial.scheme.clear();
    book.styles().setDefaultFont(arial);
    engine::Sheet& sheet = book.addSheet("Data");
    engine::Cell& cell = sheet.cellAt({0, 0});
    cell.type = engine::CellType::Text;
    cell.value.text = book.strings().intern("plain");
    const std::string path = dir.file("arial.xlsx");
    engine::saveWorkbook(book, path);

    for (const char* mode : {"vertical", "horizontal", "workbook"}) {
        ProgramRun merge = run({"--mode", mode, path, "-o", dir.file("out.xlsx")});
        ASSERT_EQ(merge.status, 0) << merge.err;
        auto result = engine::openWorkbook(dir.file("out.xlsx"));
        const engine::Sheet& merged = result->sheet(0);
        const engine::Cell* plain = merged.findCell({0, 0});
        ASSERT_NE(plain, nullptr) << mode;
        const engine::StyleTable& styles = result->styles();
        const engine::Font& font = styles.font(styles.style(plain->style).font);
        EXPECT_EQ(font.name, "Arial") << mode;
        EXPECT_EQ(font.size, 10) << mode;
        EXPECT_EQ(styles.font(0).name, "Calibri") << mode;
        EXPECT_EQ(styles.font(0).size, 11) << mode;
    }
}

// The bytes of every file under the folder, by path, links as their targets' names.
std::map<std::string, std::string> contentsUnder(const fs::path& folder) {
    std::map<std::string, std::string> contents;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_symlink()) {
            contents[entry.path().string()] = "-> " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_regular_file()) {
            contents[entry.path().string()] = test::readFile(entry.path());
        }
    }
    return contents;
}

// A result that would replace an input of the merge, under any name that leads to it, is a
// usage error, and every file stays as it was.
TEST_F(CliTest, AResultThatWouldReplaceAnInputIsAUsageError) {
    fs::create_symlink("monthly/jan.xlsx", dir.path() / "link.xlsx");
    fs::create_hard_link(jan, dir.path() / "hard.xlsx");
    test::writeFile(dir.file("s.csv"), "a,b\n1,2\n");
    test::writeFile(dir.file("t.csv"), "c,d\n3,4\n");
    test::writeFile(dir.file("queue.csv"), feb + "\tData\n");
    test::writeFile(dir.file("jan.tsv"), jan + "\tNotes\n");
    struct Case {
        const char* what;
        std::vector<std::string> arguments;
        std::string replaced;  // as the message names it
    };
    const Case cases[] = {
        {"a source", {feb, jan, "-o", jan}, jan},
        {"a csv source",
         {dir.file("s.csv"), dir.file("t.csv"), "-o", dir.file("s.csv")},
         dir.file("s.csv")},
        {"another spelling", {jan, "-o", dir.file("monthly/../monthly/./jan.xlsx")}, jan},
        {"a link to a source", {jan, "-o", dir.file("link.xlsx")}, jan},
        {"a hard link to a source", {jan, "-o", dir.file("hard.xlsx")}, jan},
        {"a source given through a link",
         {dir.file("link.xlsx"), "-o", jan},
         dir.file("link.xlsx")},
        {"a picked sheet's file", {jan + ":Data", "-o", jan}, jan},
        {"a workbook of a folder", {dir.file("monthly"), "-o", feb}, feb},
        {"a file of a queue file", {"--queue", dir.file("jan.tsv"), "-o", jan}, jan},
        {"the queue file itself",
         {"--queue", dir.file("queue.csv"), "-o", dir.file("queue.csv")},
         dir.file("queue.csv")},
        {"workbook mode", {"--mode", "workbook", feb, jan, "-o", dir.file("hard.xlsx")}, jan},
    };
    const auto before = contentsUnder(dir.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string output = c.arguments.back();
        ProgramRun r = run(c.arguments);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(r.err, "plyfold-merge: the result '" + output + "' would replace '" + c.replaced +
                             "', an input of this merge: write it to another file\n");
        auto after = contentsUnder(dir.path());
        after.erase(dir.file(".stdout"));
        after.erase(dir.file(".stderr"));
        EXPECT_EQ(after, before);
        EXPECT_TRUE(fs::is_symlink(dir.path() / "link.xlsx"));
    }
}

// A result written into a folder that is merged again is not merged into the next result:
// the folder scan leaves it out, says so, and the second run replaces it with the same cells.
TEST_F(CliTest, AResultInAMergedFolderIsLeftOutOfTheNextRun) {
    const std::string inside = dir.file("monthly/all.xlsx");
    ASSERT_EQ(run({dir.file("monthly"), "-o", inside}).status, 0);
    auto rowsOf = [](const std::string& path) {
        return test::sheetRows(*engine::openWorkbook(path), 0);
    };
    const V first = rowsOf(inside);
    ASSERT_EQ(first, (V{"f11|f12", "f21|f22", "f31|f32", "j11|j12", "j21|j22", "j31|j32", "n11|"}));
    for (const char* include : {"--quiet", "--include-results"}) {
        ProgramRun again = run({include, dir.file("monthly"), "-o", inside});
        EXPECT_EQ(again.status, 0) << again.err;
        EXPECT_EQ(again.err, "plyfold-merge: '" + inside +
                                 "' left out: it is the result file of this merge\n");
        EXPECT_EQ(rowsOf(inside), first) << include;
    }
    // Another run's result in the folder is left out too, unless --include-results.
    ProgramRun other = run({"-q", dir.file("monthly"), "-o", dir.file("monthly/other.xlsx")});
    EXPECT_EQ(other.status, 0) << other.err;
    EXPECT_EQ(other.err, "plyfold-merge: '" + inside +
                             "' left out: a result Plyfold wrote (--include-results merges it)\n");
    EXPECT_EQ(rowsOf(dir.file("monthly/other.xlsx")), first);
    ProgramRun all = run({"--include-results", dir.file("monthly"), "-o", dir.file("out.xlsx")});
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.err, "");
    V thrice = first;
    thrice.insert(thrice.end(), first.begin(), first.end());
    thrice.insert(thrice.end(), first.begin(), first.end());
    EXPECT_EQ(result(), thrice) << "all.xlsx, feb.xlsx, jan.xlsx, other.xlsx";
    ProgramRun list = run({"--list", dir.file("monthly")});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, dir.file("monthly") +
                            "\n  feb.xlsx\n    Data  A1:B3  3 rows\n  jan.xlsx\n"
                            "    Data  A1:B3  3 rows\n    Notes  A1  1 row\n");
    EXPECT_NE(list.err.find("'" + dir.file("monthly/other.xlsx") + "' left out: a result"),
              std::string::npos)
        << list.err;
}

TEST_F(CliTest, RecursiveMergesSubfoldersAfterEachFoldersOwnFiles) {
    fs::create_directories(dir.path() / "monthly/2026/q1");
    fs::create_directories(dir.path() / "monthly/.old");
    test::writeGridWorkbook(dir.file("monthly/2026/mar.xlsx"), {{"Data", taggedGrid("m", 1, 2)}});
    test::writeGridWorkbook(dir.file("monthly/2026/q1/apr.xlsx"),
                            {{"Data", taggedGrid("a", 1, 1)}});
    test::writeGridWorkbook(dir.file("monthly/.old/old.xlsx"), {{"Data", taggedGrid("o", 1, 1)}});
    fs::create_directory_symlink(dir.path() / "monthly", dir.path() / "monthly/2026/loop");
    const std::string source = dir.file("monthly");
    ProgramRun r = run({"--recursive", "--mode", "workbook", source, "-o", dir.file("out.xlsx")});
    ASSERT_EQ(r.status, 0) << r.err;
    auto book = engine::openWorkbook(dir.file("out.xlsx"));
    V names;
    for (int32_t i = 0; i < book->sheetCount(); ++i) {
        names.push_back(book->sheet(i).name());
    }
    EXPECT_EQ(names, (V{"Data", "Data (2)", "Notes", "Data (3)", "Data (4)"}));
    EXPECT_EQ(test::sheetRows(*book, 3), V{"m11|m12"});
    EXPECT_EQ(test::sheetRows(*book, 4), V{"a11"});
    ProgramRun flat = run({"-q", source, "-o", dir.file("flat.xlsx")});
    ASSERT_EQ(flat.status, 0) << flat.err;
    EXPECT_EQ(engine::openWorkbook(dir.file("flat.xlsx"))->sheetCount(), 1);
    ProgramRun list = run({"--list", "--recursive", source});
    EXPECT_EQ(list.out, source +
                            "\n  feb.xlsx\n    Data  A1:B3  3 rows\n  jan.xlsx\n"
                            "    Data  A1:B3  3 rows\n    Notes  A1  1 row\n"
                            "  2026/mar.xlsx\n    Data  A1:B1  1 row\n"
                            "  2026/q1/apr.xlsx\n    Data  A1  1 row\n");
    EXPECT_EQ(run({"--recursive=yes", source, "-o", dir.file("x.xlsx")}).status, 2);
}

// A link at the result's name is replaced by the result; the file it pointed at is kept.
TEST_F(CliTest, AResultReplacesALinkNotTheFileItPointsAt) {
    test::writeFile(dir.file("precious.xlsx"), "someone else's file");
    fs::create_symlink("precious.xlsx", dir.path() / "out.xlsx");
    ProgramRun r = run({feb, "-o", dir.file("out.xlsx")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::is_symlink(dir.path() / "out.xlsx"));
    EXPECT_EQ(result(), (V{"f11|f12", "f21|f22", "f31|f32"}));
    EXPECT_EQ(test::readFile(dir.file("precious.xlsx")), "someone else's file");
}

// The temporary file of the result as the program writes it, if there is one now.
std::optional<fs::path> temporaryResult(const fs::path& folder) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(".out.xlsx.", 0) == 0 && name.size() > 4 &&
            name.compare(name.size() - 4, 4, ".tmp") == 0) {
            return entry.path();
        }
    }
    return std::nullopt;
}

// Interrupted while it writes the result, the program removes its temporary file and ends by
// the signal. The signal is sent once the temporary file exists; a try in which the save had
// finished by then proves nothing and is made again with a larger input.
TEST_F(CliTest, ASignalDuringTheSaveLeavesNoTemporaryFile) {
    for (int signalNumber : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signalNumber);
        bool caughtInTheSave = false;
        for (int rows = 100000, attempt = 0; attempt < 6 && !caughtInTheSave;
             ++attempt, rows *= 2) {
            test::TempDir work;
            fs::create_directory(work.path() / "out");
            {
                std::ofstream csv(work.file("big.csv"), std::ios::binary);
                for (int i = 0; i < rows; ++i) {
                    csv << i << ",text " << i << "," << i * 0.5 << ",more " << i % 97 << "\n";
                }
            }
            const fs::path folder = work.path() / "out";
            const pid_t pid =
                startProgram({work.file("big.csv"), "-o", (folder / "out.xlsx").string()},
                             work.file("stdout"), work.file("stderr"), Rights::AsTheTest);
            ASSERT_GT(pid, 0);
            int status = 0;
            bool ended = false;
            std::optional<fs::path> temporary;
            while (!temporary && !ended) {
                temporary = temporaryResult(folder);
                if (!temporary) {
                    ended = waitpid(pid, &status, WNOHANG) == pid;
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                }
            }
            if (!ended) {
                kill(pid, signalNumber);
                ASSERT_EQ(waitpid(pid, &status, 0), pid);
            }
            if (fs::exists(folder / "out.xlsx") || !WIFSIGNALED(status)) {
                // The save was over before the signal came.
                EXPECT_TRUE((WIFEXITED(status) && WEXITSTATUS(status) == 0) ||
                            (WIFSIGNALED(status) && WTERMSIG(status) == signalNumber))
                    << test::readFile(work.file("stderr"));
                continue;
            }
            caughtInTheSave = true;
            EXPECT_EQ(WTERMSIG(status), signalNumber);
            EXPECT_FALSE(fs::exists(*temporary)) << *temporary;
            EXPECT_TRUE(fs::is_empty(folder));
        }
        EXPECT_TRUE(caughtInTheSave) << "no signal came during the save";
    }
}

}  // namespace
}  // namespace plyfold::cli
