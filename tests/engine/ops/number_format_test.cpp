#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "engine/model/workbook.h"
#include "engine/ops/number_format.h"

namespace plyfold::engine {
namespace {

struct FormatCase {
    const char* code;
    double value;
    const char* expected;
};

void expectAll(std::initializer_list<FormatCase> cases, bool date1904 = false) {
    for (const FormatCase& c : cases) {
        EXPECT_EQ(NumberFormat(c.code).format(c.value, date1904), c.expected)
            << "code " << c.code << " value " << c.value;
    }
}

TEST(NumberFormat, GeneralShowsElevenCharacters) {
    expectAll({
        {"General", 0, "0"},
        {"General", 0.1, "0.1"},
        {"General", 0.1 + 0.2, "0.3"},
        {"General", 123456789, "123456789"},
        {"General", 12345678901, "12345678901"},
        {"General", 123456789012, "1.23457E+11"},
        {"General", 99999999999.7, "1E+11"},
        {"General", 1234567890.12, "1234567890"},
        {"General", 123456.789012345, "123456.789"},
        {"General", 1.0 / 3, "0.333333333"},
        {"General", 2.0 / 3, "0.666666667"},
        {"General", 0.0001, "0.0001"},
        {"General", 0.000123456789, "0.000123457"},
        {"General", 1e-5, "1E-05"},
        {"General", -0.000012345, "-1.2345E-05"},
        {"General", -1234.5, "-1234.5"},
        {"General", 1e100, "1E+100"},
        {"General", 1.23456789e-100, "1.2346E-100"},
        {"", 42, "42"},
        {"general", 7.5, "7.5"},
    });
}

TEST(NumberFormat, DigitsSeparatorsAndRounding) {
    expectAll({
        {"0", 1.5, "2"},
        {"0", 2.5, "3"},
        {"0.00", 1.005, "1.01"},
        {"0.00", 0.125, "0.13"},
        {"0.00", 1234.5, "1234.50"},
        {"#,##0", 1234567, "1,234,567"},
        {"#,##0", 999.5, "1,000"},
        {"#,##0", 12, "12"},
        {"#,##0.00", -1234.567, "-1,234.57"},
        {"#,##0,", 1234567, "1,235"},
        {"0.0,,", 123456789, "123.5"},
        {"#,##0,\"K\"", 15300, "15K"},
        {"#.##", 0.5, ".5"},
        {"0.##", 1, "1."},
        {"0.0#", 1.5, "1.5"},
        {"0.0?", 1.5, "1.5 "},
        {"??0", 5, "  5"},
        {"00000", 42, "00042"},
        {"000-00-0000", 123456789, "123-45-6789"},
        {"#,###", 0, ""},
        {".00", 12.5, "12.50"},
        {"0%", 0.256, "26%"},
        {"0.00%", 0.1234, "12.34%"},
        {"0.0%", -0.05, "-5.0%"},
        {"0", 1e20, "100000000000000000000"},
    });
}

TEST(NumberFormat, LiteralsSectionsColoursAndConditions) {
    expectAll({
        {"\"$\"#,##0.00", 1234.5, "$1,234.50"},
        {"$#,##0.00", -5, "-$5.00"},
        {"#,##0.00_);(#,##0.00)", 1234.5, "1,234.50 "},
        {"#,##0.00_);(#,##0.00)", -1234.5, "(1,234.50)"},
        {"#,##0.00_);[Red](#,##0.00)", -0.001, "(0.00)"},
        {"0;-0;\"zero\"", 0, "zero"},
        {"0;-0;\"zero\"", -3, "-3"},
        {"0;-0;;@", 0, ""},
        {";;;", 5, ""},
        {"[Red]0.00", 3.14159, "3.14"},
        {"[Color10]0;[Blue]-0", -7, "-7"},
        {"[>100]\"big\";[<=100]\"small\"", 150, "big"},
        {"[>100]\"big\";[<=100]\"small\"", 50, "small"},
        {"[>=1000]#,##0,\"K\";0", 25000, "25K"},
        {"[>=1000]#,##0,\"K\";0", 999, "999"},
        {"[$€-407]#,##0.00", 1234.5, "€1,234.50"},
        {"#,##0.00 [$€-407]", 2, "2.00 €"},
        {"[$-409]0.0", 2.25, "2.3"},
        {"[$USD] 0", 3, "USD 3"},
        {"0\\ \"kg\"", 5, "5 kg"},
        {"0\" pcs\"", 3, "3 pcs"},
        {"_(0_)", 5, " 5 "},
        {"*-0", 5, "5"},
        {"\"text only\"", -2, "-text only"},
        {"_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)", -1234, " (1,234)"},
        {"_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)", 0, " - "},
        {"General;(General)", -4.5, "(4.5)"},
        {"\"Total: \"General", 12.5, "Total: 12.5"},
        {"@", 12.5, "12.5"},
        // A byte that is not UTF-8 (0xE2, 0xC3 in octal) is one character: the placeholders
        // after it still count.
        {"\3420.0", 5, "\3425.0"},
        {"\\\3030", 5, "\3035"},
    });
}

TEST(NumberFormat, ScientificAndFractions) {
    expectAll({
        {"0.00E+00", 12345, "1.23E+04"},
        {"0.00E+00", 0.00012345, "1.23E-04"},
        {"0.00E-00", 12345, "1.23E04"},
        {"0.00E+00", 9.999, "1.00E+01"},
        {"0.00E+00", 0, "0.00E+00"},
        {"0E+00", -12345, "-1E+04"},
        {"00.0E+0", 12345, "12.3E+3"},
        {"##0.0E+0", 12345, "12.3E+3"},
        {"##0.0E+0", 1234567, "1.2E+6"},
        {"##0.0E+0", 0.0012345, "1.2E-3"},
        {"##0.0E+0", 999999, "1.0E+6"},
        {"# ?/?", 1.5, "1 1/2"},
        {"# ?/?", 0.5, " 1/2"},
        {"# ?/?", 3, "3    "},
        {"# ?/?", 0, "0    "},
        {"# ?\?/??", 3.14159, "3  1/7 "},
        {"# ?\?/??", 0.3, "  3/10"},
        {"?/?", 0.75, "3/4"},
        {"?/?", 1.25, "5/4"},
        {"?/?", 0, "0/1"},
        {"# ?\?/100", 0.25, " 25/100"},
        {"# ?/4", 0.5, " 2/4"},
        {"# ?/4", 0.9, "1    "},
        {"0 ?/?", 0.5, "0 1/2"},
        {"# ?/? \"in\"", 2.25, "2 1/4 in"},
        {"#. ?/?", 1.5, "1. 1/2"},
        {"#\\ ?/?", 1.5, "1 1/2"},
        // Without a whole-number part the numerator grows past any integer type.
        {"?/?", 1e20 + 0.5, "100000000000000000000/1"},
        {"?/4", 3e19, "120000000000000000000/4"},
        {"?/?", 2.5e18, "2500000000000000000/1"},
        {"# ?/?", 1e19, "10000000000000000000    "},
        {"?/100000000", 1.7e308, "########"},
    });
}

TEST(NumberFormat, DatesAndTimes) {
    expectAll({
        {"m/d/yyyy", 45000, "3/15/2023"},
        {"m/d/yyyy", 1, "1/1/1900"},
        {"m/d/yyyy", 60, "2/29/1900"},
        {"m/d/yyyy", 61, "3/1/1900"},
        {"m/d/yyyy", 0, "1/0/1900"},
        {"mm/dd/yy", 45000.75, "03/15/23"},
        {"d-mmm-yy", 45000, "15-Mar-23"},
        {"dddd, mmmm d, yyyy", 45000, "Wednesday, March 15, 2023"},
        {"ddd mmm yyyy", 1, "Sun Jan 1900"},
        {"mmmmm", 45000, "M"},
        {"yyyy-m", 45000, "2023-3"},
        {"m", 45000, "3"},
        {"yyyy-mm-dd hh:mm:ss", 45000.5, "2023-03-15 12:00:00"},
        {"h:mm AM/PM", 0.75, "6:00 PM"},
        {"h:mm AM/PM", 0, "12:00 AM"},
        {"hh:mm am/pm", 0.25, "06:00 am"},
        {"h:mm:ss A/P", 0.5, "12:00:00 P"},
        {"h m", 0.5 + 5.0 / 1440, "12 5"},
        {"mm:ss", 125.0 / 86400, "02:05"},
        {"h:mm", 10.0 / 24 + 29.0 / 1440 + 59.6 / 86400, "10:30"},
        {"h:mm:ss", 0.999999999, "0:00:00"},
        {"[h]:mm:ss", 1.5, "36:00:00"},
        {"[h]:mm", 2.0 + 1.0 / 96, "48:15"},
        {"[mm]:ss", 0.0625, "90:00"},
        {"[s]", 0.001, "86"},
        {"mm:ss.0", 1.5 / 86400, "00:01.5"},
        {"h:mm:ss.000", 0.5 + 0.1234 / 86400, "12:00:00.123"},
        {"mmss.0", 61.5 / 86400, "0101.5"},
        {"[$-409]mmm d", 45000, "Mar 15"},
        {"[$-F800]dddd, mmmm dd, yyyy", 45000, "Wednesday, March 15, 2023"},
        {"\"Date: \"d/m/yyyy", 45000, "Date: 15/3/2023"},
        {"m/d/yyyy", -1, "########"},
        {"m/d/yyyy", 2958466, "########"},
        {"[h]:mm", -0.5, "########"},
        {"[h]:mm;-[h]:mm", -0.5, "-12:00"},
        {"h:mm", 2958465.5, "12:00"},
    });
    expectAll(
        {
            {"m/d/yyyy", 0, "1/1/1904"},
            {"m/d/yyyy", 43538, "3/15/2023"},
            {"dddd", 0, "Friday"},
            {"m/d/yyyy", 2958465 - 1462 + 1, "########"},
        },
        true);
}

TEST(NumberFormat, TextThroughTheTextSection) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"@", "abc", "abc"},
        {"\"Name: \"@", "Bob", "Name: Bob"},
        {"0;0;0;\"[\"@\"]\"", "x", "[x]"},
        {"0;0;0;", "x", ""},
        {";;;", "x", ""},
        {"0.00", "x", "x"},
        {"General", "x", "x"},
        {"_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)", "memo", " memo "},
    };
    for (const auto& [code, text, expected] : cases) {
        EXPECT_EQ(NumberFormat(code).formatText(text), expected) << code;
    }
}

TEST(NumberFormat, DateDetectionAgreesWithTheParser) {
    const std::pair<const char*, bool> cases[] = {
        {"General", false},  {"0.00E+00", false},      {"[Red]0", false}, {"\"day\"0", false},
        {"0\\d", false},     {"#,##0_s", false},       {"[h]:mm", true},  {"[ss]", true},
        {"yyyy", true},      {"h AM/PM", true},        {"mm:ss", true},   {"[$-409]d-mmm", true},
        {"0;0;0;d@", false}, {"General;\"x\"", false}, {"A/P", true},     {"\xFFh", true},
        {"\\\360d", true},   {"\3420", false},
    };
    for (const auto& [code, expected] : cases) {
        EXPECT_EQ(isDateTimeFormatCode(code), expected) << code;
        EXPECT_EQ(NumberFormat(code).isDateTime(), expected) << code;
    }
    for (int id = 0; id < 50; ++id) {
        const std::string_view code = builtinFormatCode(id);
        EXPECT_EQ(isDateTimeFormatCode(code), NumberFormat(code).isDateTime()) << id;
    }
}

TEST(NumberFormat, CalendarDatesToldFromTimesAndDurations) {
    // Only a year, month or day part makes a number a day of the calendar; "m" next to hours
    // or seconds is minutes.
    const std::pair<const char*, bool> cases[] = {
        {"yyyy-mm-dd", true},
        {"d-mmm-yy", true},
        {"mmm yyyy", true},
        {"m", true},
        {"dddd", true},
        {"yyyy-mm-dd hh:mm", true},
        {"[$-409]m/d/yy h:mm AM/PM;@", true},
        {"[Red]dd/mm", true},
        {"mm/dd;@", true},
        {"h:mm", false},
        {"hh:mm:ss", false},
        {"h:mm AM/PM", false},
        {"mm:ss", false},
        {"mm:ss.0", false},
        {"[h]:mm", false},
        {"[h]:mm:ss", false},
        {"[mm]:ss", false},
        {"[ss]", false},
        {"h\\h m\\m", false},
        {"[$-F400]h:mm:ss AM/PM", false},
        {"0.00", false},
        {"General", false},
        {"\\d\\a\\y 0", false},
        {"0;0;0;dd@", false},
        {"", false},
    };
    for (const auto& [code, expected] : cases) {
        EXPECT_EQ(isCalendarDateFormatCode(code), expected) << code;
        EXPECT_EQ(NumberFormat(code).showsCalendarDate(), expected) << code;
    }
    for (int id : {14, 15, 16, 17, 22}) {
        EXPECT_TRUE(isCalendarDateFormatCode(builtinFormatCode(id))) << id;
    }
    for (int id : {18, 19, 20, 21, 45, 46, 47}) {
        EXPECT_FALSE(isCalendarDateFormatCode(builtinFormatCode(id))) << id;
    }
}

TEST(BuiltinFormats, CodesAndIdsMatch) {
    EXPECT_EQ(builtinFormatCode(0), "General");
    EXPECT_EQ(builtinFormatCode(14), "m/d/yyyy");
    EXPECT_EQ(builtinFormatCode(22), "m/d/yyyy h:mm");
    EXPECT_EQ(builtinFormatCode(49), "@");
    for (int id : {-1, 23, 36, 50, 164}) {
        EXPECT_TRUE(builtinFormatCode(id).empty()) << id;
    }
    int named = 0;
    for (int id = 0; id < 50; ++id) {
        const std::string_view code = builtinFormatCode(id);
        if (code.empty()) {
            continue;
        }
        ++named;
        EXPECT_EQ(builtinFormatId(code), id) << code;
    }
    EXPECT_EQ(named, 36);
    EXPECT_EQ(builtinFormatId("mm-dd-yy"), -1);  // shows differently from id 14
    EXPECT_EQ(builtinFormatId("0.000"), -1);
    EXPECT_EQ(builtinFormatId("GENERAL"), 0);
}

// Fractions as a spreadsheet program shows them, from a file saved by one: each row holds a
// numerator, a denominator and the value's text under nine fraction formats.
TEST(NumberFormat, FractionsMatchASpreadsheetProgram) {
    std::ifstream file(PLYFOLD_CORPUS_DIR "/poi__54686_fraction_formats.txt", std::ios::binary);
    ASSERT_TRUE(file) << "fraction table missing";
    const char* codes[] = {"# ?/?", "# ?\?/??", "# ??\?/???", "# ?/2",    "# ?/4",
                           "# ?/8", "# ?\?/16", "# ?/10",     "# ?\?/100"};
    std::vector<NumberFormat> formats;
    for (const char* code : codes) {
        formats.emplace_back(code);
    }
    std::string line;
    std::getline(file, line);  // the heading
    int checked = 0;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::vector<std::string> fields;
        std::stringstream stream(line);
        for (std::string field; std::getline(stream, field, '\t');) {
            fields.push_back(field);
        }
        if (fields.size() < 12 || fields[0].empty()) {
            continue;
        }
        const double value = std::stod(fields[0]) / std::stod(fields[1]);
        for (size_t k = 0; k < formats.size(); ++k) {
            EXPECT_EQ(formats[k].format(value, false), fields[3 + k])
                << fields[0] << "/" << fields[1] << " as " << codes[k];
            ++checked;
        }
    }
    EXPECT_GT(checked, 2000);
}

TEST(DisplayText, ShowsEveryKindOfCell) {
    Workbook book;
    const uint32_t dateCode = book.styles().addFormatCode("d-mmm-yy");
    CellStyle dateStyle;
    dateStyle.numberFormat = dateCode;
    const uint32_t dateId = book.styles().addStyle(dateStyle);
    CellStyle textStyle;
    textStyle.numberFormat = book.styles().addFormatCode("\"<\"@\">\"");
    const uint32_t textId = book.styles().addStyle(textStyle);

    Cell number;
    number.type = CellType::Number;
    number.value.number = 45000;
    Cell date = number;
    date.style = dateId;
    Cell text;
    text.type = CellType::Text;
    text.value.text = book.strings().intern("hi");
    Cell framed = text;
    framed.style = textId;
    Cell boolean;
    boolean.type = CellType::Boolean;
    boolean.value.boolean = true;
    Cell error;
    error.type = CellType::Error;
    error.value.error = ErrorValue::Div0;
    const Cell blank;

    const std::pair<Cell, const char*> cases[] = {
        {number, "45000"}, {date, "15-Mar-23"}, {text, "hi"}, {framed, "<hi>"},
        {boolean, "TRUE"}, {error, "#DIV/0!"},  {blank, ""},
    };
    DisplayFormatter formatter(book);
    for (const auto& [cell, expected] : cases) {
        EXPECT_EQ(displayText(book, cell), expected);
        EXPECT_EQ(formatter.text(cell), expected);
    }
    book.setDate1904(true);
    EXPECT_EQ(displayText(book, date), "16-Mar-27");
}

}  // namespace
}  // namespace plyfold::engine
