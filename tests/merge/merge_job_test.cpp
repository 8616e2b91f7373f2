#include <gtest/gtest.h>

#include <filesystem>

#include "merge/merge_job.h"
#include "merge/merge_report.h"
#include "tests/merge/merge_fixture.h"

namespace plyfold::merge {
namespace {

namespace fs = std::filesystem;
using engine::DateOrder;
using engine::DecimalSeparator;
using test::taggedGrid;
using V = std::vector<std::string>;

// What readJobText says is wrong with a text, or "" when it reads.
std::string readError(std::string_view text) {
    try {
        readJobText(text, "/jobs/m.plyjob");
        return "";
    } catch (const JobError& error) {
        return error.what();
    }
}

TEST(MergeJobFormat, AJobIsWrittenAsLinesAPersonCanRead) {
    MergeJob job;
    job.rows = {{"/jobs/data/jan.xlsx", "Sales", true}, {"/elsewhere/feb.xlsx", "Sales 2", false}};
    job.mode = MergeMode::Horizontal;
    job.gap = "2";
    job.dropFirstLine = true;
    job.textDialect.delimiter = ';';
    job.sheetNaming = SheetNaming::FileAndSheet;
    job.headerRow = 3;
    job.matchHeaders = true;
    job.output = "/jobs/out/year.xlsx";
    EXPECT_EQ(writeJobText(job, "/jobs"),
              "# Plyfold merge job: settings as \"name = value\", then one line per queue row:\n"
              "# queue<TAB>yes or no (its check mark)<TAB>path<TAB>sheet\n"
              "mode = horizontal\n"
              "gap = 2\n"
              "skip-first = yes\n"
              "autofit = yes\n"
              "sheet-names = file-sheet\n"
              "header-row = 3\n"
              "match-headers = yes\n"
              "source-column = no\n"
              "delimiter = semicolon\n"
              "decimal = auto\n"
              "date-order = auto\n"
              "output = out/year.xlsx\n"
              "\n"
              "queue\tyes\tdata/jan.xlsx\tSales\n"
              "queue\tno\t/elsewhere/feb.xlsx\tSales 2\n");
}

TEST(MergeJobFormat, EverySettingReadsBackAsWritten) {
    MergeJob base;
    base.rows = {{"/jobs/a.xlsx", "S", true},
                 {"/jobs/sub dir/b é.csv", " lead and trail ", false},
                 {"/other/c.xls", "#1 = one", true}};
    std::vector<MergeJob> jobs;
    for (MergeMode mode : {MergeMode::Vertical, MergeMode::Horizontal, MergeMode::Workbook}) {
        jobs.push_back(base);
        jobs.back().mode = mode;
    }
    for (SheetNaming naming : {SheetNaming::Source, SheetNaming::File, SheetNaming::FileAndSheet}) {
        jobs.push_back(base);
        jobs.back().mode = MergeMode::Workbook;
        jobs.back().sheetNaming = naming;
    }
    for (char delimiter : {'\0', '\t', '|', ';', ',', ' ', ':', '#', '='}) {
        jobs.push_back(base);
        jobs.back().textDialect.delimiter = delimiter;
    }
    for (DecimalSeparator decimal :
         {DecimalSeparator::Automatic, DecimalSeparator::Point, DecimalSeparator::Comma}) {
        jobs.push_back(base);
        jobs.back().textDialect.decimal = decimal;
    }
    for (DateOrder order : {DateOrder::Automatic, DateOrder::DayMonthYear, DateOrder::MonthDayYear,
                            DateOrder::YearMonthDay}) {
        jobs.push_back(base);
        jobs.back().textDialect.dateOrder = order;
    }
    for (const char* gap : {"0", "", "2.5", "abc", "# not a comment", "a = b"}) {
        jobs.push_back(base);
        jobs.back().gap = gap;
    }
    jobs.push_back(base);
    jobs.back().dropFirstLine = true;
    jobs.back().autofit = false;
    jobs.back().output = "/jobs/out.csv";
    jobs.push_back(base);
    jobs.back().rows.clear();
    for (const MergeJob& job : jobs) {
        const std::string text = writeJobText(job, "/jobs");
        EXPECT_EQ(readJobText(text, "/jobs/m.plyjob"), job) << text;
    }
}

TEST(MergeJobFormat, PathsInsideTheJobsFolderAreWrittenRelativeToIt) {
    struct Case {
        const char* path;
        const char* written;
    };
    const Case cases[] = {
        {"/jobs/a.xlsx", "a.xlsx"},
        {"/jobs/2026/./q1/../a.xlsx", "2026/a.xlsx"},
        {"/jobs2/a.xlsx", "/jobs2/a.xlsx"},  // a sibling whose name starts alike
        {"/a.xlsx", "/a.xlsx"},
        {"/jobs/../x/a.xlsx", "/x/a.xlsx"},
        {"/jobs/ lead.xlsx", "/jobs/ lead.xlsx"},  // a relative path would lose its blank
    };
    for (const Case& c : cases) {
        MergeJob job;
        job.rows = {{c.path, "S", true}};
        for (const char* folder : {"/jobs", "/jobs/", "/jobs/sub/.."}) {
            const std::string text = writeJobText(job, folder);
            EXPECT_NE(text.find(std::string("queue\tyes\t") + c.written + "\tS\n"),
                      std::string::npos)
                << c.path << " in " << folder << ":\n"
                << text;
        }
    }
}

TEST(MergeJobFormat, RelativePathsAreTakenFromTheJobFilesFolder) {
    const std::string text =
        "queue\tyes\ta.xlsx\tS\nqueue\tyes\t../b.xlsx\tS\n"
        "queue\tyes\t/abs/c.xlsx\tS\noutput = out/r.xlsx\n";
    struct Case {
        const char* jobPath;
        V paths;
        const char* output;
    };
    const Case cases[] = {
        {"/jobs/m.plyjob", {"/jobs/a.xlsx", "/b.xlsx", "/abs/c.xlsx"}, "/jobs/out/r.xlsx"},
        {"rel/m.plyjob", {"rel/a.xlsx", "b.xlsx", "/abs/c.xlsx"}, "rel/out/r.xlsx"},
        {"m.plyjob", {"a.xlsx", "../b.xlsx", "/abs/c.xlsx"}, "out/r.xlsx"},
    };
    for (const Case& c : cases) {
        const MergeJob job = readJobText(text, c.jobPath);
        V paths;
        for (const QueueRow& row : job.rows) {
            paths.push_back(row.path);
        }
        EXPECT_EQ(paths, c.paths) << c.jobPath;
        EXPECT_EQ(job.output, c.output) << c.jobPath;
    }
}

TEST(MergeJobFormat, ReadingForgivesWhatEditorsAndPeopleDo) {
    const std::string text =
        "\xEF\xBB\xBF# saved on another machine\r\n"
        "\r\n"
        "   # an indented comment\r\n"
        "  MODE\t=  Workbook  \r\n"
        "Autofit=NO\r\n"
        "delimiter = Tab\r\n"
        "\t\r\n"
        "  queue\tYes\ta.xlsx\tSheet 1\r\n"
        "queue\t no \tb.xlsx\tS";  // the last line without a line end
    const MergeJob job = readJobText(text, "/j/m.plyjob");
    EXPECT_EQ(job.mode, MergeMode::Workbook);
    EXPECT_FALSE(job.autofit);
    EXPECT_EQ(job.textDialect.delimiter, '\t');
    EXPECT_EQ(job.gap, "0") << "a missing setting keeps its default";
    EXPECT_EQ(job.sheetNaming, SheetNaming::Source);
    EXPECT_FALSE(job.dropFirstLine);
    EXPECT_EQ(job.textDialect.decimal, DecimalSeparator::Automatic);
    EXPECT_EQ(job.output, "");
    ASSERT_EQ(job.rows.size(), 2u);
    EXPECT_EQ(job.rows[0].path, "/j/a.xlsx");
    EXPECT_EQ(job.rows[0].sheet, "Sheet 1");
    EXPECT_TRUE(job.rows[0].checked);
    EXPECT_FALSE(job.rows[1].checked);
    EXPECT_EQ(readJobText("", "m.plyjob"), MergeJob()) << "an empty job is the defaults";
}

TEST(MergeJobFormat, AMalformedLineIsNamedWithWhatIsWrong) {
    struct Case {
        std::string text;
        int line;
        const char* message;
    };
    const Case cases[] = {
        {"# job\ncolour = red\n", 2, "line 2: unknown setting 'colour'"},
        {"mode = diagonal", 1,
         "line 1: mode must be vertical, horizontal or workbook, not 'diagonal'"},
        {"mode = vertical\n\nmode = workbook", 3, "line 3: mode is set twice (first on line 1)"},
        {"skip-first = true", 1, "line 1: skip-first must be yes or no, not 'true'"},
        {"autofit =", 1, "line 1: autofit must be yes or no, not ''"},
        {"sheet-names = files", 1,
         "line 1: sheet-names must be source, file or file-sheet, not 'files'"},
        {"decimal = dot", 1, "line 1: decimal must be auto, point or comma, not 'dot'"},
        {"date-order = dym", 1, "line 1: date-order must be auto, dmy, mdy or ymd, not 'dym'"},
        {"delimiter = ;;", 1,
         "line 1: delimiter must be auto, tab, pipe, semicolon, comma, space or one printable "
         "character other than '\"', not ';;'"},
        {"delimiter = \"", 1,
         "line 1: delimiter must be auto, tab, pipe, semicolon, comma, space or one printable "
         "character other than '\"', not '\"'"},
        {"delimiter = \xC3\xA9", 1,
         "line 1: delimiter must be auto, tab, pipe, semicolon, comma, space or one printable "
         "character other than '\"', not '\xC3\xA9'"},
        {"output = ", 1, "line 1: output needs a path"},
        {"= vertical", 1, "line 1: a setting needs a name before '='"},
        {"vertical", 1, "line 1: 'vertical' is neither a setting (name = value) nor a queue row"},
        {"queue yes a.xlsx Sheet1", 1,
         "line 1: a queue row is \"queue\", yes or no, the file's path and the sheet's name, "
         "separated by TABs"},
        {"queue\tyes\ta.xlsx", 1,
         "line 1: a queue row is \"queue\", yes or no, the file's path and the sheet's name, "
         "separated by TABs"},
        {"queue\tyes\ta.xlsx\tS\textra", 1,
         "line 1: a queue row is \"queue\", yes or no, the file's path and the sheet's name, "
         "separated by TABs"},
        {"queue\tx\ta.xlsx\tS", 1,
         "line 1: the check mark of a queue row must be yes or no, not 'x'"},
        {"queue\tyes\t\tS", 1, "line 1: the queue row has no path"},
        {"queue\tyes\ta.xlsx\t", 1, "line 1: the queue row has no sheet name"},
        {"queue = yes", 1,
         "line 1: a queue row is \"queue\", yes or no, the file's path and the "
         "sheet's name, separated by TABs"},
        {"queues = 2", 1, "line 1: unknown setting 'queues'"},
        {std::string("mode = vertical\r\n\xFF\xFE") + std::string("m\0o\0", 4), 2,
         "line 2: the job is not UTF-8 text (it holds NUL bytes)"},
    };
    for (const Case& c : cases) {
        try {
            readJobText(c.text, "/jobs/m.plyjob");
            ADD_FAILURE() << "read: " << c.text;
        } catch (const JobError& error) {
            EXPECT_EQ(std::string(error.what()), c.message) << c.text;
            EXPECT_EQ(error.line(), c.line) << c.text;
        }
    }
}

TEST(MergeJobFormat, WhatTheFormatCannotHoldIsRefusedRatherThanWrittenWrong) {
    auto writeError = [](const MergeJob& job) -> std::string {
        try {
            writeJobText(job, "/jobs");
            return "";
        } catch (const JobError& error) {
            return error.what();
        }
    };
    std::vector<MergeJob> jobs(7);
    jobs[0].rows = {{"/jobs/a\tb.xlsx", "S", true}};
    jobs[1].rows = {{"/jobs/a.xlsx", "S\nT", true}};
    jobs[2].rows = {{"/jobs/a\r.xlsx", "S", true}};
    jobs[3].rows = {{"/jobs/a.xlsx", "", true}};
    jobs[4].gap = "1\n2";
    jobs[5].textDialect.delimiter = '\x01';
    jobs[6].output = "/jobs/out.xlsx ";
    for (const MergeJob& job : jobs) {
        const std::string error = writeError(job);
        EXPECT_NE(error, "");
    }
    EXPECT_EQ(writeError(jobs[5]), "the delimiter (character 1) cannot be written in a job");
    EXPECT_EQ(readError("delimiter = \x01"),
              "line 1: delimiter must be auto, tab, pipe, semicolon, comma, space or one "
              "printable character other than '\"', not '\x01'");
}

TEST(MergeJobFormat, TheGapIsAWholeNumberForTheCommandLine) {
    struct Case {
        const char* text;
        std::optional<int32_t> gap;
    };
    const Case cases[] = {
        {"0", 0},
        {"7", 7},
        {"007", 7},
        {"2147483647", 2147483647},
        {"2147483648", {}},
        {"", {}},
        {" 1", {}},
        {"1 ", {}},
        {"-1", {}},
        {"+1", {}},
        {"1.0", {}},
        {"1e2", {}},
        {"&H10", {}},
        {"abc", {}},
        {"99999999999999999999", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wholeGap(c.text), c.gap) << "'" << c.text << "'";
    }
}

TEST(MergeJobFormat, FilesNameThemselvesInTheirErrors) {
    test::TempDir dir;
    const std::string path = dir.file("m.plyjob");
    try {
        readJobFile(path);
        ADD_FAILURE();
    } catch (const JobError& error) {
        EXPECT_NE(std::string(error.what()).find("'" + path + "'"), std::string::npos)
            << error.what();
    }
    test::writeFile(path, "mode = vertical\nsize = 3\n");
    try {
        readJobFile(path);
        ADD_FAILURE();
    } catch (const JobError& error) {
        EXPECT_EQ(std::string(error.what()), "'" + path + "', line 2: unknown setting 'size'");
        EXPECT_EQ(error.line(), 2);
    }
    MergeJob job;
    job.rows = {{dir.file("a.xlsx"), "S", true}};
    EXPECT_THROW(writeJobFile(job, dir.file("no such folder/m.plyjob")), JobError);
    EXPECT_FALSE(fs::exists(dir.file("no such folder")));
    job.rows[0].sheet = "S\tT";
    test::writeFile(path, "kept");
    EXPECT_THROW(writeJobFile(job, path), JobError);
    EXPECT_EQ(test::readFile(path), "kept") << "a job that cannot be written leaves the old one";
}

TEST(MergeJobFormat, OnlyCheckedRowsWhoseFileIsMissingAreListed) {
    test::TempDir dir;
    test::writeFile(dir.file("here.xlsx"), "x");
    fs::create_directory(dir.path() / "folder.xlsx");
    const std::vector<QueueRow> rows = {{dir.file("here.xlsx"), "S", true},
                                        {dir.file("gone.xlsx"), "A", true},
                                        {dir.file("gone too.xlsx"), "B", false},
                                        {dir.file("folder.xlsx"), "C", true}};
    const std::vector<RowReport> missing = rowsWithMissingFiles(rows);
    ASSERT_EQ(missing.size(), 2u);
    EXPECT_EQ(missing[0].status, RowStatus::Missing);
    EXPECT_EQ(missingFilesText(missing),
              "2 worksheets of the job name files that do not exist:\n\n'" + dir.file("gone.xlsx") +
                  "', sheet 'A': the file does not exist\n'" + dir.file("folder.xlsx") +
                  "', sheet 'C': the file does not exist");
    EXPECT_EQ(missingFilesText({missing[0]}),
              "1 worksheet of the job names a file that does not exist:\n\n'" +
                  dir.file("gone.xlsx") + "', sheet 'A': the file does not exist");
}

class MergeJobRun : public test::MergeTest {};

TEST_F(MergeJobRun, AJobInAFolderStillRunsAfterTheFolderMoved) {
    fs::create_directories(dir.path() / "before" / "data");
    test::writeGridWorkbook(dir.file("before/data/jan.xlsx"),
                            {{"S", taggedGrid("j", 2, 2)}, {"T", taggedGrid("t", 1, 1)}});
    test::writeGridWorkbook(dir.file("before/feb.xlsx"), {{"S", taggedGrid("f", 2, 2)}});
    MergeJob job;
    job.rows = {{dir.file("before/data/jan.xlsx"), "S", true},
                {dir.file("before/data/jan.xlsx"), "T", false},
                {dir.file("before/feb.xlsx"), "S", true}};
    job.gap = "1";
    job.dropFirstLine = true;
    writeJobFile(job, dir.file("before/m.plyjob"));
    fs::rename(dir.path() / "before", dir.path() / "after");

    const MergeJob moved = readJobFile(dir.file("after/m.plyjob"));
    EXPECT_EQ(moved.rows.at(0).path, dir.file("after/data/jan.xlsx"));
    EXPECT_TRUE(rowsWithMissingFiles(moved.rows).empty());
    MergeRequest request;
    request.rows = moved.rows;
    request.gap = *wholeGap(moved.gap);
    request.dropFirstLine = moved.dropFirstLine;
    MergeOutcome outcome = runMerge(request);
    ASSERT_TRUE(outcome.succeeded()) << outcome.failure->message();
    EXPECT_EQ(resultRows(), (V{"j11|j12", "j21|j22", "|", "f21|f22"}));
}

}  // namespace
}  // namespace plyfold::merge
