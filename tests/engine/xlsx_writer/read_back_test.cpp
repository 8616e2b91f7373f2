#include <gtest/gtest.h>

#include <filesystem>

#include "engine/common/error.h"
#include "engine/io/xlsx/xlsx_reader.h"
#include "engine/io/xlsx/xlsx_writer.h"
#include "tests/engine/xlsx_writer/sample_workbooks.h"
#include "tests/support/model_comparison.h"
#include "tests/support/temp_dir.h"

namespace plyfold::engine {
namespace {

namespace fs = std::filesystem;

std::unique_ptr<Workbook> writtenAndReadBack(const Workbook& book) {
    xlsx::StringSink sink;
    xlsx::writeXlsx(book, sink);
    auto back = readXlsxFromMemory(sink.bytes(), "written.xlsx");
    for (int32_t i = 0; i < back->sheetCount(); ++i) {
        back->sheet(i).ensureLoaded();
    }
    return back;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += line + "\n";
    }
    return out;
}

TEST(ReadBack, TheReaderGetsBackWhatWasWritten) {
    auto book = plyfold::test::everythingWorkbook();
    auto back = writtenAndReadBack(*book);
    const auto differences = plyfold::test::workbookDifferences(*book, *back);
    EXPECT_TRUE(differences.empty()) << joined(differences);
}

TEST(ReadBack, ALargeTableComesBackCellForCell) {
    // Many deflate chunks, each compressed on its own worker, joined into one entry.
    auto book = plyfold::test::tableWorkbook(30000, 3);
    auto back = writtenAndReadBack(*book);
    const auto differences = plyfold::test::workbookDifferences(*book, *back);
    EXPECT_TRUE(differences.empty()) << joined(differences);
}

TEST(ReadBack, ChartSheetsComeBackAsEmptyWorksheets) {
    Workbook book;
    book.addSheet("Data");
    book.addSheet("Chart", SheetKind::Chartsheet);
    auto back = writtenAndReadBack(book);
    const auto differences = plyfold::test::workbookDifferences(book, *back);
    EXPECT_TRUE(differences.empty()) << joined(differences);
}

// Characters XML cannot carry are written as _xHHHH_ escapes (and an underscore that would
// read as one is escaped itself) in attributes and formulas too, and read back decoded.
TEST(ReadBack, EscapedCharactersComeBackInNamesFormatsAndFormulas) {
    Workbook book;
    Sheet& sheet = book.addSheet("Tab\x01 _x0041_");
    Font font;
    font.name = "Odd\x02_x0042_";
    font.scheme.clear();
    CellStyle style;
    style.font = book.styles().addFont(font);
    style.numberFormat = book.styles().addFormatCode("0\" \x03_x0043_\"");
    Cell& cell = sheet.cellAt({0, 0});
    cell.type = CellType::Number;
    cell.value.number = 1;
    cell.style = book.styles().addStyle(style);
    cell.formula = book.formulas().intern("\"\x04_x0044_\"&A2") + 1;
    auto back = writtenAndReadBack(book);
    const auto differences = plyfold::test::workbookDifferences(book, *back);
    EXPECT_TRUE(differences.empty()) << joined(differences);
}

// Corpus files saved by spreadsheet programs: read, written, read again, compared with the
// first reading cell by cell and style by style.
TEST(ReadBack, CorpusFilesSurviveARoundTrip) {
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(PLYFOLD_CORPUS_DIR)) {
        const std::string extension = entry.path().extension().string();
        if (extension != ".xlsx" && extension != ".xlsm") {
            continue;
        }
        const std::string path = entry.path().string();
        SCOPED_TRACE(path);
        std::unique_ptr<Workbook> original;
        try {
            original = readXlsx(path);
            for (int32_t i = 0; i < original->sheetCount(); ++i) {
                original->sheet(i).ensureLoaded();
            }
        } catch (const SpreadsheetError&) {
            continue;  // damaged or protected on purpose: nothing to write
        }
        auto back = writtenAndReadBack(*original);
        plyfold::test::SavedForm form;
        const auto differences = plyfold::test::workbookDifferences(*original, *back, form);
        EXPECT_TRUE(differences.empty()) << joined(differences);
        ++compared;
    }
    EXPECT_GT(compared, 20);
}

}  // namespace
}  // namespace plyfold::engine
