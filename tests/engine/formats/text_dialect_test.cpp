#include <gtest/gtest.h>

#include <sstream>

#include "engine/io/csv/delimited_text_reader.h"
#include "engine/io/csv/dialect_guess.h"
#include "engine/io/workbook_io.h"
#include "engine/model/cell_ref.h"
#include "engine/ops/number_format.h"
#include "tests/support/temp_dir.h"

namespace plyfold::engine::csv {
namespace {

// The cells of the first sheet as "A1=t:text B1=n:1.5 C1=d:31.01.2026": text, numbers with
// their value, dates as they show.
std::string dumpShown(const Workbook& workbook) {
    std::ostringstream out;
    out.precision(15);
    DisplayFormatter formatter(workbook);
    bool first = true;
    for (const Row& row : workbook.sheet(0).rows()) {
        for (const Cell& cell : row.cells) {
            out << (first ? "" : " ") << cellName({row.index, cell.column}) << '=';
            first = false;
            switch (cell.type) {
                case CellType::Number:
                    if (cell.style != 0) {
                        out << "d:" << formatter.text(cell);
                    } else {
                        out << "n:" << cell.value.number;
                    }
                    break;
                case CellType::Boolean:
                    out << "b:" << (cell.value.boolean ? "TRUE" : "FALSE");
                    break;
                case CellType::Text:
                    out << "t:" << workbook.strings().text(cell.value.text);
                    break;
                default:
                    out << "?";
            }
        }
    }
    return out.str();
}

std::string readWith(std::string bytes, const TextDialect& dialect = {},
                     char defaultDelimiter = ',') {
    auto workbook =
        readDelimitedTextFromMemory(std::move(bytes), "test.csv", defaultDelimiter, dialect);
    return dumpShown(*workbook);
}

struct Case {
    const char* name;
    std::string input;
    const char* expected;
};

TEST(TextDialect, GuessesTheSeparatorDecimalsAndDatesOfACsv) {
    const Case cases[] = {
        {"semicolons, decimal commas, day-first dates",
         "Datum;Betrag;Menge\n31.01.2026;1.234,56;3\n01.02.2026;-0,75;12\n",
         "A1=t:Datum B1=t:Betrag C1=t:Menge A2=d:31.01.2026 B2=n:1234.56 C2=n:3 "
         "A3=d:01.02.2026 B3=n:-0.75 C3=n:12"},
        {"thousands points in groups of three", "a;b\n1.234.567;0,5\n12,5;7\n",
         "A1=t:a B1=t:b A2=n:1234567 B2=n:0.5 A3=n:12.5 B3=n:7"},
        {"CR LF and a decimal comma at the start", "x;y\r\n,5;-,25\r\n",
         "A1=t:x B1=t:y A2=n:0.5 B2=n:-0.25"},
        {"tabs in a .csv", "a\tb\n13/01/2026\t2.5\n", "A1=t:a B1=t:b A2=d:13/01/2026 B2=n:2.5"},
        {"pipes", "id|name|when\n1|x|13/01/2026\n2|y|02/01/2026\n",
         "A1=t:id B1=t:name C1=t:when A2=n:1 B2=t:x C2=d:13/01/2026 A3=n:2 B3=t:y "
         "C3=d:02/01/2026"},
        {"commas that are decimals do not hold the semicolons back", "1,5;2,5\n3,5;4,5\n",
         "A1=n:1.5 B1=n:2.5 A2=n:3.5 B2=n:4.5"},
        {"commas that are prose do not either", "M\xC3\xBCller, Hans;42\nMeier, Eva;7\n",
         "A1=t:M\xC3\xBCller, Hans B1=n:42 A2=t:Meier, Eva B2=n:7"},
        {"four lines in five are enough", "Report\na;b\n1;2\n3;4\n5;6\n7;8\n",
         "A1=t:Report A2=t:a B2=t:b A3=n:1 B3=n:2 A4=n:3 B4=n:4 A5=n:5 B5=n:6 A6=n:7 B6=n:8"},
        {"a quoted line break does not end a sampled line", "\"a\nb\";c\n1;2\n",
         "A1=t:a\nb B1=t:c A2=n:1 B2=n:2"},
        {"a semicolon file with integers only keeps reading points", "a;b\n1;2\n",
         "A1=t:a B1=t:b A2=n:1 B2=n:2"},
        {"month-first dates", "when\n01/13/2026\n2/1/2026\n",
         "A1=t:when A2=d:01/13/2026 A3=d:2/1/2026"},
        {"dates written as they were, one digit or two", "d\n1.2.2026\n13.12.2026\n",
         "A1=t:d A2=d:1.2.2026 A3=d:13.12.2026"},
        {"dashes", "d,n\n31-01-2026,1\n01-02-2026,2\n",
         "A1=t:d B1=t:n A2=d:31-01-2026 B2=n:1 A3=d:01-02-2026 B3=n:2"},
        {"each column decides for itself", "a;b\n13.01.2026;01.02.2026\n",
         "A1=t:a B1=t:b A2=d:13.01.2026 B2=t:01.02.2026"},
        {"ISO dates as before", "a;b\n2026-01-31;x\n2026-02-01 12:30;y\n",
         "A1=t:a B1=t:b A2=d:2026-01-31 B2=t:x A3=d:2026-02-01 12:30 B3=t:y"},
        {"a date in a quoted field", "d\n\"31.01.2026\"\n", "A1=t:d A2=d:31.01.2026"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(readWith(c.input), c.expected) << c.name;
    }
}

TEST(TextDialect, GuessesThatMustNotFire) {
    const Case cases[] = {
        {"semicolons inside quotes of a comma file",
         "name,comment\n\"Smith, J\",\"a;b\"\n\"Doe, K\",x;y\n",
         "A1=t:name B1=t:comment A2=t:Smith, J B2=t:a;b A3=t:Doe, K B3=t:x;y"},
        {"a single line", "a;b;c\n", "A1=t:a;b;c"},
        {"a single line without a line end", "1;2", "A1=t:1;2"},
        {"mixed separators", "a;b\nc,d\ne|f\n", "A1=t:a;b A2=t:c B2=t:d A3=t:e|f"},
        {"semicolons in every line, and commas that separate", "a,b;c\nd,e;f\n",
         "A1=t:a B1=t:b;c A2=t:d B2=t:e;f"},
        {"semicolons on two lines in three", "a;b\nc;d\ne\n", "A1=t:a;b A2=t:c;d A3=t:e"},
        {"1.234 alone is a decimal point", "a;b\n1.234;2\n", "A1=t:a B1=t:b A2=n:1.234 B2=n:2"},
        {"one point decimal turns the decimal comma off", "a;b\n12,5;12.50\n",
         "A1=t:a B1=t:b A2=t:12,5 B2=n:12.5"},
        {"thousands commas before a point turn it off", "a;b\n12,5;1,234.5\n",
         "A1=t:a B1=t:b A2=t:12,5 B2=t:1,234.5"},
        {"leading zeros, long digits and formulas stay text",
         "a;b;c;d\n007;=1+2;1234567890123456;1,5\n00,5;-007;1.234.567.890.123.456;2\n",
         "A1=t:a B1=t:b C1=t:c D1=t:d A2=t:007 B2=t:=1+2 C2=t:1234567890123456 D2=n:1.5 "
         "A3=t:00,5 B3=t:-007 C3=t:1.234.567.890.123.456 D3=n:2"},
        {"sixteen significant digits with a decimal comma", "a;b\n1,5;1234567890,123456\n",
         "A1=t:a B1=t:b A2=n:1.5 B2=t:1234567890,123456"},
        {"decimal commas in a tab file", "a\tb\n1\t2,5\n", "A1=t:a B1=t:b A2=n:1 B2=t:2,5"},
        {"ambiguous dates", "d\n01/02/2026\n03/04/2026\n",
         "A1=t:d A2=t:01/02/2026 A3=t:03/04/2026"},
        {"day-first and month-first in one column", "d\n13/01/2026\n01/13/2026\n",
         "A1=t:d A2=t:13/01/2026 A3=t:01/13/2026"},
        {"a day that does not exist", "d\n31.01.2026\n31.02.2026\n",
         "A1=t:d A2=t:31.01.2026 A3=t:31.02.2026"},
        {"a year-first date in the column", "d\n31.01.2026\n2026.01.31\n",
         "A1=t:d A2=t:31.01.2026 A3=t:2026.01.31"},
        {"two-digit years", "d\n31.01.26\n", "A1=t:d A2=t:31.01.26"},
        {"mixed separators in a date", "d\n31.01/2026\n", "A1=t:d A2=t:31.01/2026"},
        {"a zero day", "d\n13.00.2026\n00.01.2026\n", "A1=t:d A2=t:13.00.2026 A3=t:00.01.2026"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(readWith(c.input), c.expected) << c.name;
    }
}

TEST(TextDialect, GivenOptionsWin) {
    struct GivenCase {
        const char* name;
        std::string input;
        TextDialect dialect;
        char defaultDelimiter;
        const char* expected;
    };
    constexpr auto kAuto = DecimalSeparator::Automatic;
    constexpr auto kComma = DecimalSeparator::Comma;
    constexpr auto kPoint = DecimalSeparator::Point;
    constexpr auto kAnyOrder = DateOrder::Automatic;
    const GivenCase cases[] = {
        {"a given semicolon splits a single line",
         "a;b",
         {';', kAuto, kAnyOrder},
         ',',
         "A1=t:a B1=t:b"},
        {"a given comma stops the guess",
         "a;b\nc;d\n",
         {',', kAuto, kAnyOrder},
         ',',
         "A1=t:a;b A2=t:c;d"},
        {"a .txt keeps tabs", "a;b\nc;d\n", {}, '\t', "A1=t:a;b A2=t:c;d"},
        {"a given delimiter for a .txt",
         "a;b\t1,5\nc;d\t2,5\n",
         {';', kAuto, kAnyOrder},
         '\t',
         "A1=t:a B1=t:b\t1,5 A2=t:c B2=t:d\t2,5"},
        {"a quote cannot separate",
         "a;b\nc;d\n",
         {'"', kAuto, kAnyOrder},
         ',',
         "A1=t:a B1=t:b A2=t:c B2=t:d"},
        {"a given semicolon still guesses decimals",
         "a;1,5\n",
         {';', kAuto, kAnyOrder},
         ',',
         "A1=t:a B1=n:1.5"},
        {"a decimal comma in a comma file",
         "\"1,5\",2.5,\"1.234\"\n",
         {0, kComma, kAnyOrder},
         ',',
         "A1=n:1.5 B1=t:2.5 C1=n:1234"},
        {"thousands groups not of three",
         "1.23,4;1.2345;12.34.567;1.234,5;0.123;1.234.\n",
         {';', kComma, kAnyOrder},
         ',',
         "A1=t:1.23,4 B1=t:1.2345 C1=t:12.34.567 D1=n:1234.5 E1=t:0.123 F1=t:1.234."},
        {"a decimal point in a semicolon file",
         "a;b\n12,5;1.234\n",
         {0, kPoint, kAnyOrder},
         ',',
         "A1=t:a B1=t:b A2=t:12,5 B2=n:1.234"},
        {"leading zeros with a decimal comma",
         "007;=1+2;0,5;007,5\n",
         {';', kComma, kAnyOrder},
         ',',
         "A1=t:007 B1=t:=1+2 C1=n:0.5 D1=t:007,5"},
        {"day-first",
         "01/02/2026,13/13/2026,2026/01/31,01.02.2026\n",
         {0, kAuto, DateOrder::DayMonthYear},
         ',',
         "A1=d:01/02/2026 B1=t:13/13/2026 C1=t:2026/01/31 D1=d:01.02.2026"},
        {"month-first",
         "01/02/2026,13/01/2026\n",
         {0, kAuto, DateOrder::MonthDayYear},
         ',',
         "A1=d:01/02/2026 B1=t:13/01/2026"},
        {"year-first",
         "2026/01/31,2026.1.31,31/01/2026,2026-1-31\n",
         {0, kAuto, DateOrder::YearMonthDay},
         ',',
         "A1=d:2026/01/31 B1=d:2026.1.31 C1=t:31/01/2026 D1=d:2026-1-31"},
    };
    for (const GivenCase& c : cases) {
        EXPECT_EQ(readWith(c.input, c.dialect, c.defaultDelimiter), c.expected) << c.name;
    }
}

TEST(TextDialect, GivenDateOrdersReadTheDayTheyName) {
    auto serialOf = [](const char* field, DateOrder order) {
        TextDialect dialect;
        dialect.dateOrder = order;
        auto workbook = readDelimitedTextFromMemory(field, "d.csv", ',', dialect);
        const Cell& cell = workbook->sheet(0).rows().at(0).cells.at(0);
        return cell.type == CellType::Number ? cell.value.number : -1.0;
    };
    // 2026-02-01 is serial 46054, 2026-01-02 is 46024.
    EXPECT_EQ(serialOf("01/02/2026", DateOrder::DayMonthYear), 46054);
    EXPECT_EQ(serialOf("01/02/2026", DateOrder::MonthDayYear), 46024);
    EXPECT_EQ(serialOf("2026.02.01", DateOrder::YearMonthDay), 46054);
    EXPECT_EQ(serialOf("29.02.2024", DateOrder::DayMonthYear), 45351);
    EXPECT_EQ(serialOf("29.02.2025", DateOrder::DayMonthYear), -1.0);
}

TEST(TextDialect, TheSeparatorGuessLooksOnlyAtTheFirstLines) {
    // 50 lines of semicolons, then lines of commas: the sample decides.
    std::string semicolons;
    for (int i = 0; i < 50; ++i) {
        semicolons += "a;b\n";
    }
    EXPECT_EQ(guessDelimiter(semicolons + "c,d\nc,d\nc,d\n"), ';');
    // A last line the 64 KB sample cuts short is not counted against the others.
    std::string longLines;
    while (longLines.size() < 64 * 1024 - 10) {
        longLines += std::string(100, 'x') + ";" + std::string(100, 'y') + "\n";
    }
    EXPECT_EQ(guessDelimiter(longLines + std::string(100, 'z') + "\n"), ';');
    // One line longer than the sample: nothing to judge.
    EXPECT_EQ(guessDelimiter(std::string(70 * 1024, 'x') + ";y\n1;2\n"), ',');
    EXPECT_EQ(guessDelimiter(""), ',');
    EXPECT_EQ(guessDelimiter("\n\n\n"), ',');
    // Blank lines do not count as lines without the separator.
    EXPECT_EQ(guessDelimiter("a|b\n\n\nc|d\n"), '|');
}

TEST(TextDialect, DecimalCommasAreJudgedOverTheWholeFile) {
    std::string text = "a;b\n";
    for (int i = 0; i < 10000; ++i) {
        text += "x;1,5\n";
    }
    EXPECT_TRUE(writesDecimalCommas(text, ';', "t.csv"));
    EXPECT_FALSE(writesDecimalCommas(text + "y;2.25\n", ';', "t.csv"));
    EXPECT_FALSE(writesDecimalCommas("a;1.234\n", ';', "t.csv"));
    EXPECT_FALSE(writesDecimalCommas("a;1\n", ';', "t.csv"));
    // A field too long for a cell ends the judging; reading the cells reports it.
    EXPECT_FALSE(writesDecimalCommas("1,5;\"" + std::string(200000, 'x'), ';', "t.csv"));
}

TEST(TextDialect, DateColumnsAreDecidedAfterTheWholeFile) {
    // The telling day comes last; the ambiguous dates before it become dates too.
    std::string text = "d;n\n";
    for (int i = 0; i < 2000; ++i) {
        text += "01.02.2026;" + std::to_string(i) + "\n";
    }
    std::string dayFirst = readWith(text + "13.02.2026;x\n");
    EXPECT_NE(dayFirst.find("A2=d:01.02.2026"), std::string::npos);
    EXPECT_NE(dayFirst.find("A2002=d:13.02.2026"), std::string::npos);
    // And one that only reads month-first at the end keeps them all text.
    std::string mixed = readWith(text + "13.02.2026;x\n02.13.2026;y\n");
    EXPECT_NE(mixed.find("A2=t:01.02.2026"), std::string::npos);
    EXPECT_NE(mixed.find("A2002=t:13.02.2026"), std::string::npos);
}

TEST(TextDialect, OpeningAFileTakesTheDialect) {
    test::TempDir folder;
    const std::string csvPath = folder.file("sales.csv");
    const std::string txtPath = folder.file("sales.txt");
    const std::string text = "Datum;Betrag\n31.01.2026;1.234,5\n";
    test::writeFile(csvPath, text);
    test::writeFile(txtPath, text);
    EXPECT_EQ(dumpShown(*openWorkbook(csvPath)),
              "A1=t:Datum B1=t:Betrag A2=d:31.01.2026 B2=n:1234.5");
    // A .txt is tab-separated unless told otherwise.
    EXPECT_EQ(dumpShown(*openWorkbook(txtPath)), "A1=t:Datum;Betrag A2=t:31.01.2026;1.234,5");
    TextDialect given;
    given.delimiter = ';';
    given.decimal = DecimalSeparator::Point;
    given.dateOrder = DateOrder::MonthDayYear;
    EXPECT_EQ(dumpShown(*openWorkbook(txtPath, nullptr, given)),
              "A1=t:Datum B1=t:Betrag A2=t:31.01.2026 B2=t:1.234,5");
}

}  // namespace
}  // namespace plyfold::engine::csv
