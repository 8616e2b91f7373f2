#include <gtest/gtest.h>

#include <fstream>

#include "engine/common/error.h"
#include "engine/io/workbook_io.h"
#include "engine/io/xls/xls_reader.h"
#include "engine/ops/number_format.h"
#include "tests/support/golden_cells.h"
#include "tests/support/temp_dir.h"

namespace plyfold::engine::xls {
namespace {

const std::string kCorpus = PLYFOLD_CORPUS_DIR;

TEST(XlsReader, SheetKindsAndVisibilityComeFromTheFile) {
    struct Case {
        const char* file;
        std::vector<std::string>
            sheets;  // name, then '*' for a chart sheet, '-' hidden, '=' very hidden
    };
    const Case cases[] = {
        {"sheetjs__sheet_visibility.xls", {"Visible", "Hidden-", "VeryHidden="}},
        // The Excel 4 macro sheet is not a worksheet; the chart sheet is kept as a chart.
        {"sheetjs__BlankSheetTypes.xls", {"Sheet1", "Chart1*", "Dialog1"}},
        {"messytables__unicode_sheet_name.xls", {"m\xC3\xAAs"}},
    };
    for (const Case& c : cases) {
        auto workbook = openWorkbook(kCorpus + "/" + c.file);
        std::vector<std::string> got;
        for (int32_t i = 0; i < workbook->sheetCount(); ++i) {
            const Sheet& sheet = workbook->sheet(i);
            std::string entry = sheet.name();
            if (!sheet.isWorksheet()) {
                entry += "*";
            }
            if (sheet.visibility() == SheetVisibility::Hidden) {
                entry += "-";
            } else if (sheet.visibility() == SheetVisibility::VeryHidden) {
                entry += "=";
            }
            got.push_back(entry);
        }
        EXPECT_EQ(got, c.sheets) << c.file;
    }
}

// The font of the default cell format (the first FONT record) is the workbook's default
// font, which its cells show; LibreOffice reads the same fonts from these files.
TEST(XlsReader, TheDefaultFormatsFontIsTheWorkbooksDefaultFont) {
    struct Case {
        const char* file;
        const char* name;
        double size;
        int32_t charset;
    };
    const Case cases[] = {
        {"poi__12843-1.xls", "\xE6\x96\xB0\xE7\xB4\xB0\xE6\x98\x8E\xE9\xAB\x94", 12, 136},
        {"xlrd__corrupted_error.xls", "Arial", 8, 0},
        {"sheetjs__1904__1904.xls", "Calibri", 12, 0},
        {"poi__testEXCEL_95.xls", "Arial", 10, 0},                     // BIFF5
        {"sheetjs__biff5__numfmt_1_russian.xls", "Calibri", 11, 204},  // BIFF5
    };
    for (const Case& c : cases) {
        auto workbook = openWorkbook(kCorpus + "/" + c.file);
        const Font& font = workbook->styles().font(0);
        EXPECT_EQ(font.name, c.name) << c.file;
        EXPECT_EQ(font.size, c.size) << c.file;
        EXPECT_EQ(font.charset, c.charset) << c.file;
        EXPECT_FALSE(font.bold || font.italic || font.strike) << c.file;
        EXPECT_EQ(font.scheme, "") << c.file;
    }
    // Excel 2 to 4 files keep the engine's default.
    EXPECT_EQ(openWorkbook(kCorpus + "/xlrd__biff4_no_format_no_window2.xls")->styles().font(0),
              Font{});
}

TEST(XlsReader, FormulaResultsBooleansAndErrorsAreRead) {
    auto workbook = openWorkbook(kCorpus + "/sheetjs__formula_stress_test.xls");
    Sheet* text = workbook->findSheet("Text");
    ASSERT_TRUE(text);
    const Cell* concatenated = text->findCell({1, 1});
    ASSERT_TRUE(concatenated);
    ASSERT_EQ(concatenated->type, CellType::Text);
    EXPECT_EQ(workbook->strings().text(concatenated->value.text), "Foobarbazqux");
    const Cell* exact = text->findCell({2, 1});
    ASSERT_TRUE(exact);
    ASSERT_EQ(exact->type, CellType::Boolean);
    EXPECT_FALSE(exact->value.boolean);
}

TEST(XlsReader, DatesComeBackAsSerialsOfTheWorkbooksDateSystem) {
    // 1904.xls: column A holds serials, column B the same serials shown as dates.
    auto workbook = openWorkbook(kCorpus + "/sheetjs__1904__1904.xls");
    EXPECT_TRUE(workbook->isDate1904());
    const Sheet& sheet = workbook->sheet(0);
    for (int32_t row = 0; row < 5; ++row) {
        const Cell* serial = sheet.findCell({row, 0});
        const Cell* date = sheet.findCell({row, 1});
        ASSERT_TRUE(serial && date) << row;
        EXPECT_DOUBLE_EQ(date->value.number, serial->value.number) << row;
        EXPECT_NE(date->style, 0u);
    }
}

// Numbers keep the number formats of the file, so a merged result shows them as the source
// did. The workbook was saved as .xls by LibreOffice, which shows the same texts.
TEST(XlsReader, NumbersKeepTheirNumberFormats) {
    auto workbook = readXls(test::goldenCase("xls", "number_formats").input);
    const Sheet& sheet = workbook->sheet(0);
    const std::string euro = "\xE2\x82\xAC";
    const std::string expected[] = {"1,234.57",         "12.50%",  "1.23E+04", "-$42.00",
                                    "2023-03-15 12:00", "6:00 PM", "3 1/2",    "7 units",
                                    euro + "1,234.50",  "100"};
    for (int32_t row = 0; row < 10; ++row) {
        SCOPED_TRACE(row + 1);
        const Cell* cell = sheet.findCell({row, 0});
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(displayText(*workbook, *cell), expected[row]);
    }
}

TEST(XlsReader, DatesKeepTheirTimeTimesTheirDayAndZeroStaysZero) {
    // The serials are LibreOffice's (to the second).
    struct Case {
        const char* file;
        const char* sheet;
        CellRef cell;
        double serial;
    };
    const Case cases[] = {
        {"calamine__date_1904.xls", "Sheet1", {2, 0}, 10.632060185},  // a time format
        {"poi__at.gv.land-oberoesterreich.www_cps_rde_xbcr_SID-4A1B954F-5C07F98E_ooe_stat_"
         "download_bp10.xls",
         "WAHLDAT",
         {1, 26},
         40298.778302315},  // a date format
        {"sheetjs__biff5__number_format_greek.xls", "Implied", {11, 1}, 12345.6789},
        {"sheetjs__formula_stress_test.xls", "Finance", {35, 7}, 0},
    };
    for (const Case& c : cases) {
        auto workbook = openWorkbook(kCorpus + "/" + c.file);
        const Sheet* sheet = workbook->findSheet(c.sheet);
        ASSERT_TRUE(sheet) << c.file;
        const Cell* cell = sheet->findCell(c.cell);
        ASSERT_TRUE(cell && cell->type == CellType::Number) << c.file;
        EXPECT_NEAR(cell->value.number, c.serial, 1e-5) << c.file;
        EXPECT_TRUE(isDateTimeFormatCode(
            workbook->styles().formatCode(workbook->styles().style(cell->style).numberFormat)))
            << c.file;
    }
}

std::string openError(const std::string& bytes) {
    try {
        auto workbook = readXlsFromMemory(bytes, "hostile.xls");
        for (int32_t i = 0; i < workbook->sheetCount(); ++i) {
            workbook->sheet(i).rows();
        }
    } catch (const SpreadsheetError& error) {
        return error.description();
    }
    return {};
}

TEST(XlsReader, TruncatedAndScrambledCompoundFilesFailClearly) {
    const std::string good = test::readFile(test::goldenCase("xls", "typed_cells").input);
    EXPECT_EQ(openError(good), "");
    for (size_t keep : {size_t{8}, size_t{511}, size_t{600}, good.size() / 2, good.size() - 600}) {
        std::string error = openError(good.substr(0, keep));
        EXPECT_NE(error.find("'hostile.xls'"), std::string::npos) << keep << ": " << error;
    }
    // Every byte of the header and the first sectors set to 0xFF in turn: never a crash, and
    // a failure always names the file.
    for (size_t at = 0; at < 2048 && at < good.size(); at += 7) {
        std::string bytes = good;
        bytes[at] = '\xFF';
        std::string error = openError(bytes);
        if (!error.empty()) {
            EXPECT_NE(error.find("'hostile.xls'"), std::string::npos) << at << ": " << error;
        }
    }
}

// A stream (the root entry's mini stream included) larger than the file is damage; a name
// length beyond the 64 bytes of its entry is read no further than the entry.
TEST(XlsReader, DirectoryEntriesThatOverrunTheFileAreDamage) {
    const test::GoldenCase golden = test::goldenCase("xls", "typed_cells");
    const std::string original = test::readFile(golden.input);
    const uint32_t shift = static_cast<unsigned char>(original[0x1E]);
    const uint32_t firstDirectorySector = static_cast<unsigned char>(original[0x30]) |
                                          static_cast<unsigned char>(original[0x31]) << 8;
    const size_t rootEntry = (firstDirectorySector + 1) << shift;
    ASSERT_LT(rootEntry + size_t{3} * 128, original.size());
    struct Patch {
        size_t at;
        const char* what;
    };
    for (const Patch patch : {Patch{rootEntry + 120 + 2, "the mini stream's size"},
                              Patch{rootEntry + 128 + 120 + 2, "the first stream's size"}}) {
        SCOPED_TRACE(patch.what);
        std::string bytes = original;
        bytes[patch.at] = '\xFF';
        bytes[patch.at + 1] = '\xFF';
        EXPECT_NE(openError(bytes).find("'hostile.xls' is damaged"), std::string::npos);
    }
    std::string bytes = original;
    bytes[rootEntry + 64] = '\xFF';
    bytes[rootEntry + 65] = '\xFF';
    auto problems =
        test::compareWithDump(*readXlsFromMemory(bytes, "long-name.xls"), golden.dump());
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
}

// The cells are read as the records give them; no room is set aside for the size a
// DIMENSIONS record states.
TEST(XlsReader, StatedSheetSizesAreNotTrusted) {
    const test::GoldenCase bare = test::goldenCase("xls", "sheetjs__crlf__CRLFX5_2");
    std::string biff2 = test::readFile(bare.input);
    const std::string eof("\x0A\x00\x00\x00", 4);
    ASSERT_EQ(biff2.substr(biff2.size() - 4), eof);
    std::string repeated;  // full-sized sheets over and over, and sizes beyond the format
    for (int i = 0; i < 40; ++i) {
        repeated += std::string("\x00\x00\x08\x00\x00\x00\xFF\xFF\x00\x00\xFF\x00", 12);
    }
    for (const std::string& records :
         {repeated, std::string("\x00\x00\x08\x00\x00\x00\x46\x6F\x00\x00\x75\x6C", 12),
          std::string("\x00\x00\x00\x00", 4)}) {
        std::string bytes = biff2;
        bytes.insert(bytes.size() - 4, records);
        auto problems = test::compareWithDump(*readXlsFromMemory(bytes, "sized.xls"), bare.dump());
        EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
    }

    const test::GoldenCase golden = test::goldenCase("xls", "typed_cells");
    std::string biff8 = test::readFile(golden.input);
    const std::string dimensions("\x00\x02\x0E\x00", 4);
    size_t at = biff8.find(dimensions);
    ASSERT_NE(at, std::string::npos);
    biff8[at + 4 + 11] = '\x7F';  // the column after the last: 0x7Fxx
    auto workbook = readXlsFromMemory(biff8, "wide.xls");
    auto problems = test::compareWithDump(*workbook, golden.dump());
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
}

TEST(XlsReader, PasswordProtectedWorkbooksSaySo) {
    for (const char* file : {"poi__password.xls", "messytables__encrypted_no_password.xls",
                             "sheetjs__password_2002_40_xor.xls",
                             "sheetjs__password_2002_128_strong.xls", "calamine__issue_385.xls"}) {
        try {
            openWorkbook(kCorpus + "/" + file);
            ADD_FAILURE() << file << " opened";
        } catch (const SpreadsheetError& error) {
            EXPECT_NE(error.description().find("is protected by a password"), std::string::npos)
                << error.description();
        }
    }
}

}  // namespace
}  // namespace plyfold::engine::xls
