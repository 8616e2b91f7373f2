#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/common/code_page.h"
#include "engine/common/error.h"
#include "engine/io/dbf/dbf_reader.h"
#include "engine/io/workbook_io.h"
#include "tests/support/golden_cells.h"
#include "tests/support/temp_dir.h"

namespace plyfold::engine::dbf {
namespace {

const std::string kCorpus = PLYFOLD_CORPUS_DIR;

std::string textAt(const Workbook& workbook, int32_t row, int32_t column) {
    const Cell* cell = workbook.sheet(0).findCell({row, column});
    return cell && cell->type == CellType::Text
               ? std::string(workbook.strings().text(cell->value.text))
               : std::string("<none>");
}

TEST(DbfReader, CorpusTablesInTheirCodePages) {
    struct Case {
        const char* file;
        int32_t row;
        int32_t column;
        const char* text;
    };
    // Texts as the libraries the files come from expect them.
    const Case cases[] = {
        {"infused-dbf__cp1251.dbf", 1, 1,
         "\xD0\xB0\xD0\xBC\xD0\xB1\xD1\x83\xD0\xBB\xD0\xB0\xD1\x82\xD0\xBE\xD1\x80\xD0\xBD\xD0\xBE-"
         "\xD0\xBF\xD0\xBE\xD0\xBB\xD0\xB8\xD0\xBA\xD0\xBB\xD0\xB8\xD0\xBD\xD0\xB8\xD1\x87\xD0\xB5"
         "\xD1\x81\xD0\xBA\xD0\xBE\xD0\xB5"},
        {"infused-dbf__mazovia.dbf", 1, 1, "English"},
        {"infused-dbf__mazovia.dbf", 2, 1,
         "\xC5\x9A\xE2\x95\xAB\xC3\xAA\xC3\xAB\xCF\x84\xE2\x8C\xA1\xC5\x9B"},  // Ś╫êëτ⌡ś
        {"dbfread__tests__cases__memotest.dbf", 1, 2, "Alice memo"},           // memo in the .FPT
        {"infused-dbf__dbase_8b.dbf", 2, 5, "Second memo"},                    // dBase IV .dbt
        {"infused-dbf__dbase_02.dbf", 1, 1, "Stegman"},                        // dBase II header
    };
    for (const Case& c : cases) {
        auto workbook = openWorkbook(kCorpus + "/" + c.file);
        EXPECT_EQ(textAt(*workbook, c.row, c.column), c.text) << c.file;
    }
    // A dBase III table without a language driver is in the DOS code page: "Crème", not
    // "CrŠme".
    auto dos = openWorkbook(kCorpus + "/infused-dbf__dbase_83.dbf");
    EXPECT_NE(textAt(*dos, 25, 11).find("Raspberry Cr\xC3\xA8me,"), std::string::npos);
}

TEST(DbfReader, DBase7TablesWithLongNamesAndDBase4Memos) {
    // The corpus holds the table without its memo file: one of dBase IV form is made for it,
    // in blocks of 64 bytes, each memo led by FF FF 08 00 and its length with those 8 bytes.
    test::TempDir folder;
    std::filesystem::copy_file(kCorpus + "/sheetjs__dbf__d11.dbf", folder.file("d11.dbf"));
    std::string memo(84 * 64, '\0');
    memo[20] = 64;
    auto put = [&](size_t block, std::string_view text) {
        std::string entry = std::string("\xFF\xFF\x08\x00", 4) + std::string(4, '\0');
        entry += text;
        entry[4] = static_cast<char>(entry.size());
        memo.replace(block * 64, entry.size(), entry);
    };
    put(1, "first memo");
    put(81, "second memo");
    put(83, "fourth memo");
    test::writeFile(folder.file("d11.dbt"), memo);
    auto workbook = openWorkbook(folder.file("d11.dbf"));
    EXPECT_EQ(textAt(*workbook, 0, 9), "timestamp");
    EXPECT_EQ(textAt(*workbook, 1, 2), "first memo");
    EXPECT_EQ(textAt(*workbook, 2, 2), "second memo");
    EXPECT_EQ(textAt(*workbook, 4, 2), "fourth memo");
}

TEST(DbfReader, TextsOfNoDeclaredCodePageReadAsUtf8WhenTheyAre) {
    // The same UTF-8 table with no language driver, one not known, and as a DOS table: UTF-8
    // each time. A declared code page is taken at its word.
    const std::string utf8 = test::readFile(test::goldenCase("dbf", "utf8_no_cpg").input);
    struct Case {
        unsigned char version;
        unsigned char driver;
        const char* text;
    };
    for (const Case& c : {Case{0x03, 0x00, "\xD0\xA8\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0"},
                          Case{0x03, 0xEE, "\xD0\xA8\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0"},
                          Case{0xF5, 0x00, "\xD0\xA8\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0"},
                          Case{0x03, 0x57, "\xC3\x90\xC2\xA8\xC3\x90\xC2\xB0"}}) {
        std::string bytes = utf8;
        bytes[0] = static_cast<char>(c.version);
        bytes[29] = static_cast<char>(c.driver);
        auto workbook = readDbfFromMemory(bytes, "utf8.dbf");
        EXPECT_EQ(textAt(*workbook, 1, 0).substr(0, std::strlen(c.text)), c.text)
            << int(c.version) << " " << int(c.driver);
    }
}

TEST(DbfReader, ATableOfNoFieldsIsAnEmptySheet) {
    // Its records hold the deletion flag alone: no row is made for them.
    auto workbook = openWorkbook(test::goldenCase("dbf", "no_fields").input);
    ASSERT_EQ(workbook->sheetCount(), 1);
    EXPECT_TRUE(workbook->sheet(0).rows().empty());
}

TEST(DbfReader, DeletedRecordsAreLeftOut) {
    // memotest holds three records of which one is deleted.
    auto workbook = openWorkbook(kCorpus + "/dbfread__tests__cases__memotest.dbf");
    ASSERT_EQ(workbook->sheet(0).rows().size(), 3u);  // names and two records
    EXPECT_EQ(textAt(*workbook, 2, 0), "Bob");
}

TEST(DbfReader, CurrencyFieldsAreNumbers) {
    auto workbook = openWorkbook(kCorpus + "/dbfdatareader__foxpro_currency_01.dbf");
    const Cell* cell = workbook->sheet(0).findCell({1, 0});
    ASSERT_TRUE(cell);
    ASSERT_EQ(cell->type, CellType::Number);
    EXPECT_DOUBLE_EQ(cell->value.number, 20.0);
    ASSERT_TRUE(workbook->sheet(0).findCell({1, 1}));
    EXPECT_DOUBLE_EQ(workbook->sheet(0).findCell({1, 1})->value.number, -20.0);
}

std::string loadError(std::string bytes) {
    try {
        auto workbook = readDbfFromMemory(std::move(bytes), "hostile.dbf");
        workbook->sheet(0).rows();
    } catch (const SpreadsheetError& error) {
        return error.description();
    }
    return {};
}

std::string openError(const std::string& path) {
    try {
        openWorkbook(path)->sheet(0).rows();
    } catch (const SpreadsheetError& error) {
        return error.description();
    }
    return {};
}

TEST(DbfReader, MemosWithoutTheirMemoFileFailNamingBoth) {
    const test::GoldenCase golden = test::goldenCase("dbf", "dbase3_memo");
    const std::string table = test::readFile(golden.input);
    std::string blankPointers = table;  // records of 14 bytes after a header of 97
    blankPointers.replace(97 + 4, 10, 10, ' ');
    blankPointers.replace(97 + 14 + 4, 10, 10, ' ');
    namespace fs = std::filesystem;
    struct Case {
        const char* what;
        const std::string& table;
        std::function<void(const fs::path&)> companions;
        std::string error;  // after "Record 1 of '<table>' refers to a memo, but "; empty: read
    };
    const Case cases[] = {
        {"missing", table, [](const fs::path&) {}, "its memo file '<folder>/t.dbt' is missing."},
        {"a folder", table, [](const fs::path& f) { fs::create_directory(f / "t.dbt"); },
         "its memo file '<folder>/t.dbt' is a folder."},
        {"a folder named in another case", table,
         [](const fs::path& f) { fs::create_directory(f / "T.FPT"); },
         "its memo file '<folder>/T.FPT' is a folder."},
        {"a folder beside the file", table,
         [&](const fs::path& f) {
             fs::create_directory(f / "t.fpt");
             fs::copy_file(golden.folder + "/input.dbt", f / "T.dbt");
         },
         ""},
        {"missing, but no record refers to a memo", blankPointers, [](const fs::path&) {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir folder;
        test::writeFile(folder.file("t.dbf"), c.table);
        c.companions(folder.path());
        std::string expected;
        if (!c.error.empty()) {
            expected = "Record 1 of '" + folder.file("t.dbf") + "' refers to a memo, but " +
                       c.error.substr(0, c.error.find("<folder>")) + folder.path().string() +
                       c.error.substr(c.error.find("<folder>") + 8);
        }
        EXPECT_EQ(openError(folder.file("t.dbf")), expected);
    }
}

// A dBase III table of one memo field whose records point at the blocks given (blank for
// none), and its memo file with each memo in a block of its own.
std::pair<std::string, std::string> memoTable(const std::vector<std::string>& pointers,
                                              const std::vector<std::string>& memos) {
    std::string table(32, '\0');
    table[0] = '\x83';
    table[4] = static_cast<char>(pointers.size() & 0xFF);
    table[5] = static_cast<char>(pointers.size() >> 8);
    table[8] = 65;   // the header: 32 bytes, one field of 32, the terminator
    table[10] = 11;  // the deletion flag and the pointer
    std::string field = std::string("NOTE").append(7, '\0') + "M" + std::string(4, '\0');
    field += '\x0A';
    table += field.append(32 - field.size(), '\0') + "\r";
    for (const std::string& pointer : pointers) {
        table += " " + std::string(10 - pointer.size(), ' ') + pointer;
    }
    table += '\x1A';
    std::string memo(512, '\0');
    for (const std::string& text : memos) {
        memo += text + "\x1A\x1A";
        memo.resize((memo.size() + 511) / 512 * 512, '\0');
    }
    return {table, memo};
}

TEST(DbfReader, RecordsSharingAMemoEachGetItsText) {
    // Long memos are converted once and their text reused for every record that shares them.
    const std::string first = std::string(300, 'a') + "\r\n" + std::string(200, 'b');
    const std::string second(400, 'c');
    auto [table, memo] =
        memoTable({"1", "2", "1", "", "3", "3", "2", "1"}, {first, second, "short memo"});
    auto workbook = readDbfFromMemory(table, "shared.dbf", DbfCompanions{memo, std::nullopt});
    const std::string firstRead = std::string(300, 'a') + "\n" + std::string(200, 'b');
    const char* none = "<none>";
    const std::string expected[] = {firstRead,    second,       firstRead, none,
                                    "short memo", "short memo", second,    firstRead};
    for (int32_t row = 1; row <= 8; ++row) {
        EXPECT_EQ(textAt(*workbook, row, 0), expected[row - 1]) << "record " << row;
    }
}

TEST(DbfReader, HeaderLengthsThatLieFailClearly) {
    std::vector<std::string> pointers(100, "");
    const std::string table = memoTable(pointers, {}).first;
    auto withHeaderLength = [&](size_t length) {
        std::string copy = table;
        copy[8] = static_cast<char>(length & 0xFF);
        copy[9] = static_cast<char>(length >> 8);
        return copy;
    };
    struct Case {
        const char* what;
        size_t headerLength;
        const char* error;  // empty: read, with a row of field names and one row a record
    };
    const Case cases[] = {
        {"true", 65, ""},
        {"records past the end of the file", table.size() - 5,
         "its header says it holds 100 records, but none lies where the header says they "
         "start"},
        {"far past the list of fields", 65 + 330,
         "its header says it is 395 bytes long, but its list of fields ends after 65"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string error = loadError(withHeaderLength(c.headerLength));
        if (*c.error == '\0') {
            EXPECT_EQ(error, "");
        } else {
            EXPECT_EQ(error, "'hostile.dbf' cannot be read as a dBase table: " +
                                 std::string(c.error) + ".");
        }
    }
}

TEST(DbfReader, HostileHeadersFailClearlyOrReadWhatIsThere) {
    const std::string good = test::readFile(test::goldenCase("dbf", "cp1251_deleted").input);
    auto patched = [&](size_t at, const std::string& bytes) {
        std::string copy = good;
        copy.replace(at, bytes.size(), bytes);
        return copy;
    };
    // Damage that leaves no table: a clear error naming the file.
    for (const std::string& bytes :
         {good.substr(0, 20), good.substr(0, 40), patched(8, std::string("\xFF\xFF", 2)),
          patched(10, std::string("\x05\x00", 2)), patched(10, std::string("\x00\x00", 2))}) {
        std::string error = loadError(bytes);
        EXPECT_NE(error.find("'hostile.dbf'"), std::string::npos) << error;
    }
    // Records cut short or claimed beyond the file: the whole ones are read.
    for (const std::string& bytes :
         {good.substr(0, good.size() - 20), patched(4, std::string("\xFF\xFF\xFF\x7F", 4))}) {
        auto workbook = readDbfFromMemory(bytes, "short.dbf");
        EXPECT_GE(workbook->sheet(0).rows().size(), 3u);
        EXPECT_LE(workbook->sheet(0).rows().size(), 5u);
    }
    // A record length longer than the fields: the fields are still where they are.
    auto workbook = readDbfFromMemory(patched(10, std::string("\x40\x00", 2)), "wide.dbf");
    EXPECT_EQ(textAt(*workbook, 0, 0), "NAME");
}

TEST(DbfReader, CodePagesOfLanguageDriversAndCpgFiles) {
    struct Case {
        unsigned char driver;
        const char* codePage;
    };
    for (const Case& c :
         {Case{0x01, "CP437"},   Case{0x02, "CP850"},  Case{0x03, "CP1252"}, Case{0x57, "CP1252"},
          Case{0x26, "CP866"},   Case{0x64, "CP852"},  Case{0x65, "CP866"},  Case{0x66, "CP865"},
          Case{0x69, "MAZOVIA"}, Case{0x6A, "CP737"},  Case{0x78, "CP950"},  Case{0x79, "CP949"},
          Case{0x7A, "CP936"},   Case{0x7B, "CP932"},  Case{0xC8, "CP1250"}, Case{0xC9, "CP1251"},
          Case{0xCA, "CP1254"},  Case{0xCB, "CP1253"}, Case{0x00, ""},       Case{0xEE, ""}}) {
        EXPECT_EQ(codePageOfLanguageDriver(c.driver), c.codePage) << int(c.driver);
    }
    struct CpgCase {
        const char* text;
        const char* codePage;
    };
    for (const CpgCase& c :
         {CpgCase{"UTF-8\r\n", "UTF-8"}, CpgCase{"utf8", "UTF-8"}, CpgCase{"1252", "CP1252"},
          CpgCase{"CP1251", "CP1251"}, CpgCase{"ANSI 1251", "CP1251"},
          CpgCase{"88591", "ISO-8859-1"}, CpgCase{"windows-1250", "CP1250"}, CpgCase{" \n", ""}}) {
        EXPECT_EQ(codePageOfCpgText(c.text), c.codePage) << c.text;
    }
    // A code page iconv does not know reads as Windows-1252, and says so.
    CodePageConverter unknown("NO-SUCH-CODE-PAGE");
    EXPECT_TRUE(unknown.isFallback());
    std::string out;
    unknown.appendUtf8(out, "\x80");
    EXPECT_EQ(out, "\xE2\x82\xAC");
    // Code pages that compose a letter with the mark after it keep the last letter of a text,
    // and the one before a byte they cannot map.
    struct ConversionCase {
        const char* codePage;
        std::string bytes;
        const char* utf8;
    };
    for (const ConversionCase& c : {
             ConversionCase{"CP1258", "Format", "Format"},
             ConversionCase{"CP1258", "Vi\xEA\xF2t", "Vi\xE1\xBB\x87t"},
             ConversionCase{"CP1258", "a\xEC", "\xC3\xA1"},
             ConversionCase{"CP1258", "ab\xEC\x81", "ab\xCC\x81\xEF\xBF\xBD"},
             ConversionCase{"CP1255", "\xF9\xD1", "\xEF\xAC\xAA"},
             ConversionCase{"CP850", "pened\x8As S\x9Bren", "pened\xC3\xA8s S\xC3\xB8ren"},
         }) {
        CodePageConverter converter(c.codePage);
        std::string converted;
        converter.appendUtf8(converted, c.bytes);
        EXPECT_EQ(converted, c.utf8) << c.codePage << " " << c.bytes;
    }
    // Bytes a multi-byte code page cannot map become U+FFFD, and the rest is kept.
    CodePageConverter japanese("CP932");
    out.clear();
    japanese.appendUtf8(out,
                        "a\x82\xA0"
                        "b\x82");
    EXPECT_EQ(out,
              "a\xE3\x81\x82"
              "b\xEF\xBF\xBD");
}

}  // namespace
}  // namespace plyfold::engine::dbf
