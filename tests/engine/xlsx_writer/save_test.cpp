#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <random>

#include "engine/common/error.h"
#include "engine/io/workbook_io.h"
#include "engine/ops/number_format.h"
#include "tests/engine/xlsx_writer/package_inspection.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/temp_dir.h"

namespace plyfold::engine {
namespace {

namespace fs = std::filesystem;
using plyfold::test::readFile;
using plyfold::test::TempDir;
using plyfold::test::unzipAll;
using plyfold::test::writeFile;

std::unique_ptr<Workbook> smallWorkbook() {
    auto book = std::make_unique<Workbook>();
    Sheet& sheet = book->addSheet("Data");
    Cell& cell = sheet.cellAt({0, 0});
    cell.type = CellType::Text;
    cell.value.text = book->strings().intern("hello");
    return book;
}

// Every file in the folder other than the ones named.
std::vector<std::string> strayFiles(const fs::path& folder, const std::vector<std::string>& keep) {
    std::vector<std::string> stray;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (std::find(keep.begin(), keep.end(), name) == keep.end()) {
            stray.push_back(name);
        }
    }
    return stray;
}

using Saver = void (*)(const Workbook&, const std::string&);

void saveCsv(const Workbook& book, const std::string& path) {
    saveSheetAsCsv(book.sheet(0), path);
}

struct FailureCase {
    const char* what;
    std::string (*target)(const TempDir& dir);  // the path to save to
    Workbook& (*book)(std::unique_ptr<Workbook>& holder);
};

Workbook& good(std::unique_ptr<Workbook>& holder) {
    holder = smallWorkbook();
    return *holder;
}

// A sheet whose cells fail to load half way through a save, as a damaged source would.
Workbook& failsWhileWriting(std::unique_ptr<Workbook>& holder) {
    holder = smallWorkbook();
    holder->addSheet("Broken").setLoader([](Sheet&) {
        throw SpreadsheetError(ErrorNumber::ApplicationDefined, "the source is damaged");
    });
    return *holder;
}

TEST(Saving, AFailedSaveLeavesTheOldFileAndNoTemporaryFile) {
    const FailureCase cases[] = {
        {"target is a folder", [](const TempDir& d) { return d.file("folder.xlsx"); }, good},
        {"folder does not exist", [](const TempDir& d) { return d.file("missing/result.xlsx"); },
         good},
        {"the workbook fails while being written",
         [](const TempDir& d) { return d.file("old.xlsx"); }, failsWhileWriting},
    };
    const std::pair<const char*, Saver> savers[] = {{"xlsx", saveWorkbook}, {"csv", saveCsv}};
    for (const FailureCase& c : cases) {
        for (const auto& [format, save] : savers) {
            if (std::string(format) == "csv" && c.book == failsWhileWriting) {
                continue;  // the CSV export writes the first sheet only
            }
            SCOPED_TRACE(std::string(c.what) + ", " + format);
            TempDir dir;
            fs::create_directory(dir.path() / "folder.xlsx");
            const std::string oldBytes = "the old file, byte for byte";
            writeFile(dir.path() / "old.xlsx", oldBytes);
            std::unique_ptr<Workbook> holder;
            Workbook& book = c.book(holder);
            const std::string target = c.target(dir);
            try {
                save(book, target);
                ADD_FAILURE() << "the save reported success";
            } catch (const SpreadsheetError& e) {
                EXPECT_GT(e.number(), 0);
                EXPECT_NE(e.description().find(target), std::string::npos) << e.description();
            }
            EXPECT_EQ(readFile(dir.path() / "old.xlsx"), oldBytes);
            EXPECT_TRUE(fs::is_directory(dir.path() / "folder.xlsx"));
            EXPECT_EQ(strayFiles(dir.path(), {"old.xlsx", "folder.xlsx"}),
                      std::vector<std::string>{});
        }
    }
}

TEST(Saving, AFailureOfTheFileSystemLeavesTheOldFileAndNoTemporaryFile) {
    struct Case {
        const char* what;
        test::FileOperation operation;
        int error;
        uint64_t afterBytes;
        const char* why;
    };
    const Case cases[] = {
        {"an unwritable folder", test::FileOperation::Create, EACCES, 0, "Permission denied"},
        {"a full disk part way", test::FileOperation::Write, ENOSPC, 600,
         "No space left on device"},
        {"a failed flush", test::FileOperation::Sync, EIO, 0, "Input/output error"},
        {"a failed rename", test::FileOperation::Rename, EACCES, 0, "Permission denied"},
    };
    const std::pair<const char*, Saver> savers[] = {{"xlsx", saveWorkbook}, {"csv", saveCsv}};
    for (const Case& c : cases) {
        for (const auto& [format, save] : savers) {
            SCOPED_TRACE(std::string(c.what) + ", " + format);
            TempDir dir;
            const std::string target = dir.file("result.xlsx");
            writeFile(target, "old");
            auto book = smallWorkbook();
            // Past the first bytes of the CSV export too.
            for (int32_t row = 0; row < 200; ++row) {
                Cell& cell = book->sheet(0).cellAt({row, 1});
                cell.type = CellType::Number;
                cell.value.number = row * 1.5;
            }
            test::FailingFileSystem files;
            files.fail(c.operation, dir.path().string(), c.error, c.afterBytes);
            try {
                save(*book, target);
                ADD_FAILURE() << "the save reported success";
            } catch (const SpreadsheetError& e) {
                EXPECT_EQ(e.number(), 75);
                EXPECT_EQ(e.description().rfind("Cannot save '" + target + "': ", 0), 0u)
                    << e.description();
                EXPECT_NE(e.description().find(c.why), std::string::npos) << e.description();
            }
            EXPECT_EQ(files.failuresGiven(), 1);
            EXPECT_EQ(readFile(target), "old");
            EXPECT_EQ(strayFiles(dir.path(), {"result.xlsx"}), std::vector<std::string>{});
        }
    }
}

// A file is replaced keeping its permissions; a link is itself replaced, and the file it
// pointed at stays as it was.
TEST(Saving, ReplacingKeepsPermissionsAndReplacesLinksNotTheirTargets) {
    TempDir dir;
    const std::string real = dir.file("real.xlsx");
    writeFile(real, "old");
    ::chmod(real.c_str(), 0640);
    fs::create_symlink(real, dir.path() / "link.xlsx");
    auto book = smallWorkbook();
    saveWorkbook(*book, dir.file("link.xlsx"));
    EXPECT_FALSE(fs::is_symlink(dir.path() / "link.xlsx"));
    EXPECT_EQ(unzipAll(readFile(dir.file("link.xlsx"))).count("xl/workbook.xml"), 1u);
    EXPECT_EQ(readFile(real), "old");

    saveWorkbook(*book, real);
    EXPECT_EQ(unzipAll(readFile(real)).count("xl/workbook.xml"), 1u);
    struct stat info {};
    ASSERT_EQ(::stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(strayFiles(dir.path(), {"real.xlsx", "link.xlsx"}), std::vector<std::string>{});
}

TEST(Saving, OneLargeTextInManyCellsIsStoredOnce) {
    // Letters at random, so the text itself barely compresses: the file is about its size.
    std::mt19937 random(5);
    std::string big(1 << 20, ' ');
    for (char& c : big) {
        c = static_cast<char>('a' + random() % 26);
    }
    Workbook book;
    Sheet& sheet = book.addSheet("Big");
    const uint32_t id = book.strings().intern(big);
    for (int32_t i = 0; i < 12000; ++i) {
        Cell& cell = sheet.cellAt({i / 10, i % 10});
        cell.type = CellType::Text;
        cell.value.text = id;
    }
    TempDir dir;
    const std::string path = dir.file("big.xlsx");
    saveWorkbook(book, path);
    const auto size = fs::file_size(path);
    EXPECT_LT(size, big.size() * 3 / 2);
    EXPECT_GT(size, big.size() / 2);
    const auto parts = unzipAll(readFile(path));
    EXPECT_NE(parts.at("xl/sharedStrings.xml").find(big), std::string::npos);
    EXPECT_LT(parts.at("xl/sharedStrings.xml").size(), big.size() + 1000);
}

struct CsvCase {
    const char* what;
    std::vector<std::pair<CellRef, std::string>> texts;
    std::string expected;  // after the byte-order mark
};

// A merge's result says so in its core properties; any other workbook has no description.
TEST(Saving, AMergeResultIsMarkedInItsCoreProperties) {
    TempDir dir;
    for (const bool marked : {false, true}) {
        auto book = smallWorkbook();
        book->setMergeResult(marked);
        const std::string path = dir.file(marked ? "marked.xlsx" : "plain.xlsx");
        saveWorkbook(*book, path);
        const auto parts = unzipAll(readFile(path));
        const plyfold::test::XmlNode core = plyfold::test::parseXml(parts.at("docProps/core.xml"));
        const plyfold::test::XmlNode* description = core.child("dc:description");
        ASSERT_EQ(description != nullptr, marked);
        if (marked) {
            EXPECT_EQ(description->text, "Merged by Plyfold");
        }
        EXPECT_EQ(isMergeResultFile(path), marked);
        // Reading the workbook back gives no mark: a copy saved from it is no result.
        auto read = openWorkbook(path);
        EXPECT_FALSE(read->isMergeResult());
    }
}

TEST(CsvExport, FieldsLinesAndQuoting) {
    const CsvCase cases[] = {
        {"plain fields", {{{0, 0}, "a"}, {{0, 1}, "b"}, {{1, 0}, "c"}}, "a,b\r\nc,\r\n"},
        {"comma, quote, CR and LF are quoted",
         {{{0, 0}, "x,y"}, {{0, 1}, "say \"hi\""}, {{0, 2}, "two\nlines"}, {{0, 3}, "cr\rx"}},
         "\"x,y\",\"say \"\"hi\"\"\",\"two\nlines\",\"cr\rx\"\r\n"},
        {"blanks and semicolons are not quoted",
         {{{0, 0}, " lead"}, {{0, 1}, "a;b"}},
         " lead,a;b\r\n"},
        {"from A1: empty leading rows and columns kept", {{{2, 1}, "x"}}, ",\r\n,\r\n,x\r\n"},
        {"gaps inside the used range",
         {{{0, 2}, "r1"}, {{3, 0}, "r4"}},
         ",,r1\r\n,,\r\n,,\r\nr4,,\r\n"},
        {"an empty sheet", {}, ""},
    };
    for (const CsvCase& c : cases) {
        SCOPED_TRACE(c.what);
        Workbook book;
        Sheet& sheet = book.addSheet("S");
        for (const auto& [ref, text] : c.texts) {
            Cell& cell = sheet.cellAt(ref);
            cell.type = CellType::Text;
            cell.value.text = book.strings().intern(text);
        }
        sheet.rowAt(9).customHeight = true;  // a row without cells adds no line
        TempDir dir;
        saveSheetAsCsv(sheet, dir.file("out.csv"));
        EXPECT_EQ(readFile(dir.path() / "out.csv"), "\xEF\xBB\xBF" + c.expected);
    }
}

TEST(CsvExport, ValuesAreWrittenAsDisplayed) {
    Workbook book;
    Sheet& sheet = book.addSheet("S");
    CellStyle dateStyle;
    dateStyle.numberFormat = book.styles().addFormatCode("yyyy-mm-dd");
    CellStyle moneyStyle;
    moneyStyle.numberFormat = book.styles().addFormatCode("#,##0.00");
    const uint32_t styles[] = {0, book.styles().addStyle(dateStyle),
                               book.styles().addStyle(moneyStyle)};
    const double numbers[] = {0.1, 45292, 1234567.891};
    for (int i = 0; i < 3; ++i) {
        Cell& cell = sheet.cellAt({0, i});
        cell.type = CellType::Number;
        cell.value.number = numbers[i];
        cell.style = styles[i];
    }
    Cell& flag = sheet.cellAt({0, 3});
    flag.type = CellType::Boolean;
    flag.value.boolean = true;
    Cell& error = sheet.cellAt({0, 4});
    error.type = CellType::Error;
    error.value.error = ErrorValue::Div0;
    TempDir dir;
    saveSheetAsCsv(sheet, dir.file("out.csv"));
    std::string expected = "\xEF\xBB\xBF";
    for (int i = 0; i < 5; ++i) {
        std::string shown = displayText(book, *sheet.findCell({0, i}));
        expected += (shown.find(',') != std::string::npos ? "\"" + shown + "\"" : shown);
        expected += i < 4 ? "," : "\r\n";
    }
    EXPECT_EQ(readFile(dir.path() / "out.csv"), expected);
    // The display, not the stored number: the date as a date.
    EXPECT_NE(expected.find("2024-01-01"), std::string::npos) << expected;
    EXPECT_NE(expected.find("\"1,234,567.89\""), std::string::npos) << expected;
}

}  // namespace
}  // namespace plyfold::engine

namespace plyfold::engine {
namespace {

TEST(CsvExport, RawValuesAreTheStoredOnes) {
    Workbook book;
    Sheet& sheet = book.addSheet("S");
    CellStyle dateStyle;
    dateStyle.numberFormat = book.styles().addFormatCode("dd.mm.yyyy");
    CellStyle moneyStyle;
    moneyStyle.numberFormat = book.styles().addFormatCode("#,##0.00");
    const uint32_t date = book.styles().addStyle(dateStyle);
    const uint32_t money = book.styles().addStyle(moneyStyle);
    auto number = [&](int32_t column, double value, uint32_t style) {
        Cell& cell = sheet.cellAt({0, column});
        cell.type = CellType::Number;
        cell.value.number = value;
        cell.style = style;
        return &cell;
    };
    number(0, 46053, date);                   // 31.01.2026
    number(1, 45292.75, date);                // a date with a time
    number(2, 0.1 + 0.2, 0);                  // not 0.3
    number(3, 1234567.891, money);            // shown as 1,234,567.89
    number(4, -0.0, 0);                       // no minus sign for zero
    number(5, 1e21, 0);                       // an exponent that reads back
    number(6, 5e-324, 0);                     // the smallest double
    Cell* formula = number(7, 1.0 / 3.0, 0);  // a formula's last result
    formula->formula = book.formulas().intern("1/3") + 1;
    Cell& flag = sheet.cellAt({0, 8});
    flag.type = CellType::Boolean;
    flag.value.boolean = false;
    Cell& error = sheet.cellAt({0, 9});
    error.type = CellType::Error;
    error.value.error = ErrorValue::NA;
    Cell& text = sheet.cellAt({0, 10});
    text.type = CellType::Text;
    text.value.text = book.strings().intern("a,\"b\"");
    Cell& textFormula = sheet.cellAt({1, 0});
    textFormula.type = CellType::Text;
    textFormula.value.text = book.strings().intern("=1+2");
    textFormula.formula = book.formulas().intern("\"=1+2\"") + 1;
    Cell& errorFormula = sheet.cellAt({1, 1});
    errorFormula.type = CellType::Error;
    errorFormula.value.error = ErrorValue::Div0;
    errorFormula.formula = book.formulas().intern("1/0") + 1;

    TempDir dir;
    saveSheetAsCsv(sheet, dir.file("raw.csv"), CsvValues::Raw);
    EXPECT_EQ(readFile(dir.path() / "raw.csv"),
              "\xEF\xBB\xBF"
              "46053,45292.75,0.30000000000000004,1234567.891,0,1e+21,5e-324,"
              "0.3333333333333333,FALSE,#N/A,\"a,\"\"b\"\"\"\r\n"
              "=1+2,#DIV/0!,,,,,,,,,\r\n");
    // The shown values stay as they were.
    saveSheetAsCsv(sheet, dir.file("shown.csv"), CsvValues::Shown);
    const std::string shown = readFile(dir.path() / "shown.csv");
    EXPECT_NE(shown.find("31.01.2026,"), std::string::npos) << shown;
    EXPECT_NE(shown.find("\"1,234,567.89\""), std::string::npos) << shown;
}

}  // namespace
}  // namespace plyfold::engine
