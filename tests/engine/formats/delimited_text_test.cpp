#include <gtest/gtest.h>

#include <sstream>

#include "engine/common/error.h"
#include "engine/io/csv/delimited_text_reader.h"
#include "engine/io/csv/file_sheet_name.h"
#include "engine/io/workbook_io.h"
#include "engine/model/cell_ref.h"
#include "engine/model/limits.h"
#include "tests/support/temp_dir.h"

namespace plyfold::engine::csv {
namespace {

// The cells of the first sheet as "A1=t:text B1=n:1 ...", one space between cells; text
// shows line feeds as \n and NUL as \0.
std::string dump(const Workbook& workbook) {
    std::ostringstream out;
    out.precision(15);
    bool first = true;
    for (const Row& row : workbook.sheet(0).rows()) {
        for (const Cell& cell : row.cells) {
            out << (first ? "" : " ") << cellName({row.index, cell.column}) << '=';
            first = false;
            switch (cell.type) {
                case CellType::Number:
                    out << "n:" << cell.value.number << (cell.style ? "d" : "");
                    break;
                case CellType::Boolean:
                    out << "b:" << (cell.value.boolean ? "TRUE" : "FALSE");
                    break;
                case CellType::Text:
                    out << "t:";
                    for (char c : workbook.strings().text(cell.value.text)) {
                        out << (c == '\n'   ? std::string("\\n")
                                : c == '\0' ? std::string("\\0")
                                            : std::string(1, c));
                    }
                    break;
                default:
                    out << "?";
            }
        }
    }
    return out.str();
}

std::string read(std::string bytes, char delimiter = ',') {
    auto workbook = readDelimitedTextFromMemory(std::move(bytes), "test.csv", delimiter);
    return dump(*workbook);
}

TEST(DelimitedText, SplitsFieldsAndLines) {
    struct Case {
        const char* name;
        std::string input;
        char delimiter;
        const char* expected;
    };
    const Case cases[] = {
        {"plain", "a,b\n1,2\n", ',', "A1=t:a B1=t:b A2=n:1 B2=n:2"},
        {"no final line end", "a,b\n1,2", ',', "A1=t:a B1=t:b A2=n:1 B2=n:2"},
        {"CR LF", "a\r\nb\r\n", ',', "A1=t:a A2=t:b"},
        {"CR only", "a\rb\r", ',', "A1=t:a A2=t:b"},
        {"mixed line ends", "a\r\nb\nc\rd", ',', "A1=t:a A2=t:b A3=t:c A4=t:d"},
        {"empty lines are empty rows", "a\n\n\nb", ',', "A1=t:a A4=t:b"},
        {"empty fields make no cells", ",x,,y,", ',', "B1=t:x D1=t:y"},
        {"ragged rows", "1\n1,2,3\n1,2", ',', "A1=n:1 A2=n:1 B2=n:2 C2=n:3 A3=n:1 B3=n:2"},
        {"quoted delimiter", "\"a,b\",c", ',', "A1=t:a,b B1=t:c"},
        {"doubled quotes", "\"say \"\"hi\"\"\",x", ',', "A1=t:say \"hi\" B1=t:x"},
        {"only a doubled quote", "\"\"\"\"", ',', "A1=t:\""},
        {"empty quoted field", "\"\",x", ',', "B1=t:x"},
        {"line feed in quotes", "\"a\nb\",c\nd", ',', "A1=t:a\\nb B1=t:c A2=t:d"},
        {"CR LF in quotes becomes LF", "\"a\r\nb\"\r\nc", ',', "A1=t:a\\nb A2=t:c"},
        {"CR in quotes becomes LF", "\"a\rb\"", ',', "A1=t:a\\nb"},
        {"quote inside a plain field is kept", "a\"b,c", ',', "A1=t:a\"b B1=t:c"},
        {"text after the closing quote is kept", "\"ab\"cd,e", ',', "A1=t:abcd B1=t:e"},
        {"unterminated quote takes the rest", "\"ab\ncd", ',', "A1=t:ab\\ncd"},
        {"quoted fields are typed too", "\"42\",\"00123\",\"TRUE\"", ',',
         "A1=n:42 B1=t:00123 C1=b:TRUE"},
        {"nothing is trimmed", " a , 42 ", ',', "A1=t: a  B1=t: 42 "},
        {"NUL is data", std::string("a\0b,c", 5), ',', "A1=t:a\\0b B1=t:c"},
        {"tabs for .txt", "a,b\t1\n\"x\ty\"\tz", '\t', "A1=t:a,b B1=n:1 A2=t:x\ty B2=t:z"},
        {"dates get a date format", "2024-03-31,2024-03-31 12:30", ',',
         "A1=n:45382d B1=n:45382.5208333333d"},
        {"empty file", "", ',', ""},
        {"a single line end", "\n", ',', ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(read(c.input, c.delimiter), c.expected) << c.name;
    }
}

TEST(DelimitedText, ReadsEveryEncoding) {
    struct Case {
        const char* name;
        std::string input;
        const char* expected;
    };
    const Case cases[] = {
        {"UTF-8", "\xC3\xA4,\xE2\x82\xAC", "A1=t:\xC3\xA4 B1=t:\xE2\x82\xAC"},
        {"UTF-8 with BOM",
         "\xEF\xBB\xBF"
         "a,\xC3\xA4",
         "A1=t:a B1=t:\xC3\xA4"},
        {"UTF-16 LE",
         std::string("\xFF\xFE"
                     "a\0,\0\xE4\0\n\0"
                     "1\0",
                     12),
         "A1=t:a B1=t:\xC3\xA4 A2=n:1"},
        {"UTF-16 BE", std::string("\xFE\xFF\0a\0,\0\xE4", 8), "A1=t:a B1=t:\xC3\xA4"},
        {"UTF-16 LE surrogate pair", std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6),
         "A1=t:\xF0\x9F\x98\x80"},
        {"UTF-16 lone surrogate", std::string("\xFF\xFE\x3D\xD8", 4), "A1=t:\xEF\xBF\xBD"},
        {"Windows-1252 when not UTF-8", "\x80,\xE4,\x9F",
         "A1=t:\xE2\x82\xAC B1=t:\xC3\xA4 C1=t:\xC5\xB8"},
        {"Windows-1252 undefined byte", "\x81", "A1=t:\xC2\x81"},
        {"cut UTF-8 sequence is Windows-1252", "ok,\xC3", "A1=t:ok B1=t:\xC3\x83"},
        // Mostly UTF-8: the stray bytes are read as Windows-1252 one by one.
        {"UTF-8 with a stray byte", "\xC3\xA9t\xC3\xA9,\xC3\xBC,\x80",
         "A1=t:\xC3\xA9t\xC3\xA9 B1=t:\xC3\xBC C1=t:\xE2\x82\xAC"},
        {"UTF-8 with a sequence cut short", "\xC3\xA9\xC3\xA9\xC3\xA9,\xE2\x82",
         "A1=t:\xC3\xA9\xC3\xA9\xC3\xA9 B1=t:\xC3\xA2\xE2\x80\x9A"},
        {"UTF-8 with BOM and a stray byte", "\xEF\xBB\xBF\xC3\xA9,\xE9",
         "A1=t:\xC3\xA9 B1=t:\xC3\xA9"},
        {"UTF-8 with a stray byte in every field", "\xE2\x82\xAC\x9F\xC3\xA4\xC3\xA4,\x81",
         "A1=t:\xE2\x82\xAC\xC5\xB8\xC3\xA4\xC3\xA4 B1=t:\xC2\x81"},
        // Mostly Windows-1252, or as much one as the other: all of it Windows-1252.
        {"Windows-1252 with a pair that looks like UTF-8", "caf\xE9,\xC3\xA9,na\xEFve",
         "A1=t:caf\xC3\xA9 B1=t:\xC3\x83\xC2\xA9 C1=t:na\xC3\xAFve"},
        {"as many UTF-8 sequences as stray bytes", "\xC3\xA9,\xE9",
         "A1=t:\xC3\x83\xC2\xA9 B1=t:\xC3\xA9"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(read(c.input), c.expected) << c.name;
    }
}

int errorNumberOf(std::string bytes) {
    try {
        auto workbook = readDelimitedTextFromMemory(std::move(bytes), "big.csv", ',');
        workbook->sheet(0).rows();
    } catch (const SpreadsheetError& error) {
        EXPECT_NE(error.description().find("big.csv"), std::string::npos) << error.description();
        return error.number();
    }
    return 0;
}

TEST(DelimitedText, GoingPastTheLimitsOfASheetIsAnError) {
    const std::string longest(kMaxCellTextLength, 'x');
    EXPECT_EQ(errorNumberOf(longest), 0);
    EXPECT_EQ(errorNumberOf(longest + "x"), 1004);
    EXPECT_EQ(errorNumberOf("\"" + longest + "x\""), 1004);
    // 32,767 two-byte characters fit although they are more bytes than that.
    std::string wide;
    for (int i = 0; i < kMaxCellTextLength; ++i) {
        wide += "\xC3\xA4";
    }
    EXPECT_EQ(errorNumberOf(wide), 0);

    std::string fields;
    for (int i = 0; i < kMaxColumns; ++i) {
        fields += "1,";
    }
    EXPECT_EQ(errorNumberOf(fields), 0);
    EXPECT_EQ(errorNumberOf(fields + "1"), 1004);
    EXPECT_EQ(errorNumberOf(fields + ",,,,\n"), 0);  // empty fields past the edge cut nothing

    std::string rows;
    rows.reserve(2 * kMaxRows + 2);
    for (int i = 0; i < kMaxRows; ++i) {
        rows += "1\n";
    }
    EXPECT_EQ(errorNumberOf(rows), 0);
    EXPECT_EQ(errorNumberOf(rows + "\n\n"), 0);
    EXPECT_EQ(errorNumberOf(rows + "1"), 1004);
}

TEST(DelimitedText, AnUnterminatedQuoteInAHugeFileStopsAtTheCellLimit) {
    // One stray quote: the rest of a 64 MB file would be one field. Reading stops with an
    // error as soon as the field is surely too long, not after copying the whole file.
    std::string bytes = "\"";
    bytes.append(64u << 20, 'a');
    EXPECT_EQ(errorNumberOf(std::move(bytes)), 1004);
}

TEST(DelimitedText, SheetIsNamedAfterTheFile) {
    struct Case {
        const char* path;
        const char* name;
    };
    const Case cases[] = {
        {"/data/Sales 2024.csv", "Sales 2024"},
        {"report.final.txt", "report.final"},
        {"noextension", "noextension"},
        {"/x/Q1: a?b*c[d]\\e.csv", "Q1_ a_b_c_d__e"},
        {"'quoted'.csv", "quoted"},
        {"''.csv", "Sheet1"},
        {"abcdefghijklmnopqrstuvwxyz0123456789.csv", "abcdefghijklmnopqrstuvwxyz01234"},
        // 30 letters and a character of two UTF-16 units: the cut may not split it.
        {"abcdefghijklmnopqrstuvwxyz0123\xF0\x9F\x98\x80.csv", "abcdefghijklmnopqrstuvwxyz0123"},
        {"\xC3\xA4\xC3\xB6\xC3\xBC.csv", "\xC3\xA4\xC3\xB6\xC3\xBC"},
        {"caf\xE9.csv", "caf\xC3\xA9"},  // a file name that is not UTF-8
        {"abcdefghijklmnopqrstuvwxyz01234'x.csv", "abcdefghijklmnopqrstuvwxyz01234"},
        {"abcdefghijklmnopqrstuvwxyz0123'x.csv", "abcdefghijklmnopqrstuvwxyz0123"},
    };
    for (const Case& c : cases) {
        std::string name = sheetNameForFile(c.path);
        EXPECT_EQ(name, c.name) << c.path;
        EXPECT_EQ(sheetNameProblem(name), "") << c.path;
    }
}

TEST(DelimitedText, OpeningReadsNothingUntilTheCellsAreNeeded) {
    test::TempDir folder;
    std::string path = folder.file("lazy.csv");
    test::writeFile(path, "a,b\n1,2\n");
    auto workbook = openWorkbook(path);
    ASSERT_EQ(workbook->sheetCount(), 1);
    EXPECT_EQ(workbook->sheet(0).name(), "lazy");
    EXPECT_FALSE(workbook->sheet(0).isLoaded());
    test::writeFile(path, "changed\n");  // read at first use, not at opening
    EXPECT_EQ(dump(*workbook), "A1=t:changed");
    EXPECT_TRUE(workbook->sheet(0).isLoaded());
}

TEST(DelimitedText, FileRemovedBeforeItsCellsAreReadIsAClearError) {
    test::TempDir folder;
    std::string path = folder.file("gone.txt");
    test::writeFile(path, "a\tb\n");
    auto workbook = openWorkbook(path);
    std::filesystem::remove(path);
    try {
        workbook->sheet(0).rows();
        FAIL() << "no error";
    } catch (const SpreadsheetError& error) {
        EXPECT_EQ(error.number(), 53);
        EXPECT_EQ(error.description(), "'" + path + "' could not be found.");
    }
}

}  // namespace
}  // namespace plyfold::engine::csv
