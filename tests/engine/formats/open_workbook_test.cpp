#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>

#include "engine/common/error.h"
#include "engine/io/workbook_io.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/temp_dir.h"

namespace plyfold::engine {
namespace {

const std::string kCorpus = PLYFOLD_CORPUS_DIR;

SpreadsheetError openError(const std::string& path) {
    try {
        openWorkbook(path);
    } catch (const SpreadsheetError& error) {
        return error;
    }
    return SpreadsheetError(ErrorNumber::ApplicationDefined, "opened");
}

TEST(OpenWorkbook, FailuresNameTheFileAndWhatIsWrong) {
    test::TempDir folder;
    const std::string missing = folder.file("missing.xls");
    SpreadsheetError error = openError(missing);
    EXPECT_EQ(error.number(), 53);
    EXPECT_EQ(error.description(), "'" + missing + "' could not be found.");

    error = openError(folder.path().string());
    EXPECT_EQ(error.number(), 75);

    const std::string page = folder.file("report.xls");
    test::writeFile(page, "<html><table><tr><td>1</td></tr></table></html>");
    error = openError(page);
    EXPECT_EQ(error.description(),
              "'" + page +
                  "' is a web page saved with a spreadsheet extension; open it in a "
                  "spreadsheet program and save it as a workbook.");

    const std::string xml = folder.file("old.xls");
    test::writeFile(xml,
                    "<?xml version=\"1.0\"?><Workbook "
                    "xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\">");
    EXPECT_NE(openError(xml).description().find("XML spreadsheet"), std::string::npos);

    const std::string other = folder.file("data.bin");
    test::writeFile(other, std::string("\x7F"
                                       "ELF\x02\x01",
                                       6));
    error = openError(other);
    EXPECT_EQ(error.description(), "'" + other + "' is not a file format Plyfold can read.");
}

// A source that cannot be read, in each format, whether it fails at the start or part way
// through, or only when a sheet is first read: FileAccess, naming the file, never "damaged".
TEST(OpenWorkbook, ASourceThatCannotBeReadIsAnAccessErrorNamingIt) {
    struct Case {
        const char* what;
        test::FileOperation operation;
        int error;
        uint64_t afterBytes;
        const char* ending;
    };
    const Case cases[] = {
        {"no permission", test::FileOperation::Open, EACCES, 0,
         "' could not be read: Permission denied."},
        {"a read error at the start", test::FileOperation::Read, EIO, 0,
         "' could not be read: Input/output error."},
        {"a read error part way", test::FileOperation::Read, EIO, 9000,
         "' could not be read: Input/output error."},
    };
    const char* sources[] = {"calamine__issue_261.xlsx", "sheetjs__merge_cells.xls",
                             "shapelib__anno.dbf"};
    for (const Case& c : cases) {
        for (const char* source : sources) {
            SCOPED_TRACE(std::string(c.what) + ", " + source);
            test::TempDir folder;
            const std::string path = folder.file(source);
            std::filesystem::copy_file(kCorpus + "/" + source, path);
            ASSERT_GT(std::filesystem::file_size(path), c.afterBytes + 1000);
            test::FailingFileSystem files;
            files.fail(c.operation, path, c.error, c.afterBytes);
            SpreadsheetError error(ErrorNumber::ApplicationDefined, "read");
            try {
                auto workbook = openWorkbook(path);
                for (int32_t i = 0; i < workbook->sheetCount(); ++i) {
                    workbook->sheet(i).rows();
                }
            } catch (const SpreadsheetError& e) {
                error = e;
            }
            EXPECT_EQ(error.number(), 75);
            EXPECT_EQ(error.description(), "'" + path + c.ending);
        }
    }
    // A text file is read when its cells are first needed.
    test::TempDir folder;
    const std::string csv = folder.file("data.csv");
    test::writeFile(csv, "a,b\n1,2\n");
    test::FailingFileSystem files;
    auto workbook = openWorkbook(csv);
    files.fail(test::FileOperation::Open, csv, EACCES);
    try {
        workbook->sheet(0).rows();
        ADD_FAILURE() << "read";
    } catch (const SpreadsheetError& e) {
        EXPECT_EQ(e.number(), 75);
        EXPECT_EQ(e.description(), "'" + csv + "' could not be read: Permission denied.");
    }
}

TEST(OpenWorkbook, AReadErrorWhileASheetOfAnOpenWorkbookIsReadIsAnAccessError) {
    test::TempDir folder;
    const std::string path = folder.file("book.xlsx");
    std::filesystem::copy_file(kCorpus + "/calamine__issue_261.xlsx", path);
    test::FailingFileSystem files;
    auto workbook = openWorkbook(path);
    files.fail(test::FileOperation::Read, path, EIO);
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            workbook->sheet(0).rows();
            ADD_FAILURE() << "read";
        } catch (const SpreadsheetError& e) {
            EXPECT_EQ(e.number(), 75);
            EXPECT_EQ(e.description(), "'" + path + "' could not be read: Input/output error.");
        }
    }
    // Read by the file opened to tell its format: one open in all.
    EXPECT_EQ(files.opensOf(path), 1);
}

TEST(OpenWorkbook, AFileThatLiesAboutItsFormatIsReadByItsContent) {
    test::TempDir folder;
    std::filesystem::copy_file(kCorpus + "/sheetjs__merge_cells.xls", folder.file("merge.csv"));
    std::filesystem::copy_file(kCorpus + "/csvkit__testdbf.dbf", folder.file("table.xls"));
    auto workbook = openWorkbook(folder.file("merge.csv"));
    EXPECT_EQ(workbook->sheet(0).name(), "Merge");
    workbook = openWorkbook(folder.file("table.xls"));
    EXPECT_EQ(workbook->sheet(0).name(), "table");
    EXPECT_EQ(workbook->sheet(0).rows().size(), 9u);
}

// What each file of the corpus in these formats must do: open (every sheet loads), or fail
// with an error containing the text given.
TEST(OpenWorkbook, EveryCorpusFileOpensOrFailsClearly) {
    const std::map<std::string, std::string> failures = {
        {"calamine__issue_385.xls", "password"},
        {"messytables__encrypted_no_password.xls", "password"},
        {"poi__password.xls", "password"},
        {"sheetjs__password_2002_128_strong.xls", "password"},
        {"sheetjs__password_2002_40_xor.xls", "password"},
        {"poi__clusterfuzz-testcase-minimized-POIHSSFFuzzer-5786329142919168.xls", "damaged"},
        // Its records refer to memos, and the corpus holds no memo file beside it.
        {"sheetjs__dbf__d11.dbf", "memo file"},
    };
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
        std::string name = entry.path().filename().string();
        std::string extension = entry.path().extension().string();
        for (char& ch : extension) {
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        }
        if (extension != ".xls" && extension != ".csv" && extension != ".txt" &&
            extension != ".dbf") {
            continue;
        }
        ++files;
        std::string outcome;
        try {
            auto workbook = openWorkbook(entry.path().string());
            for (int32_t i = 0; i < workbook->sheetCount(); ++i) {
                workbook->sheet(i).rows();
            }
            outcome = "opened";
        } catch (const SpreadsheetError& error) {
            outcome = error.description();
            EXPECT_NE(outcome.find("'" + entry.path().string() + "'"), std::string::npos)
                << name << ": " << outcome;
        }
        auto expected = failures.find(name);
        if (expected == failures.end()) {
            EXPECT_EQ(outcome, "opened") << name;
        } else {
            EXPECT_NE(outcome.find(expected->second), std::string::npos) << name << ": " << outcome;
        }
    }
    EXPECT_GT(files, 60);
}

}  // namespace
}  // namespace plyfold::engine
