#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "engine/io/csv/field_typing.h"
#include "engine/ops/number_format.h"

namespace plyfold::engine::csv {
namespace {

// Serials of the 1900 date system for the dates below: days since 1899-12-30.
constexpr double k2024_03_31 = 45382;
constexpr double k1900_03_01 = 61;

TEST(FieldTyping, TypesFieldsAsACarefulUserWould) {
    struct Case {
        const char* field;
        FieldKind kind;
        double number;
    };
    const Case cases[] = {
        // Plain decimal numbers.
        {"0", FieldKind::Number, 0},
        {"42", FieldKind::Number, 42},
        {"-1.5e3", FieldKind::Number, -1500},
        {"+7", FieldKind::Number, 7},
        {"0.5", FieldKind::Number, 0.5},
        {".5", FieldKind::Number, 0.5},
        {"5.", FieldKind::Number, 5},
        {"-0", FieldKind::Number, 0},
        {"1E-3", FieldKind::Number, 0.001},
        {"123456789012345", FieldKind::Number, 123456789012345.0},
        {"0.10000000000000000", FieldKind::Number, 0.1},  // trailing zeros carry no digits
        // Numbers a spreadsheet would damage stay text.
        {"00123", FieldKind::Text, 0},
        {"-007", FieldKind::Text, 0},
        {"1234567890123456", FieldKind::Text, 0},     // 16 digits: a card number
        {"4111111111111111111", FieldKind::Text, 0},  // longer still
        {"1234567890.123456", FieldKind::Text, 0},    // 16 significant digits
        {"1e400", FieldKind::Text, 0},                // beyond a double
        // Not plain numbers.
        {" 42", FieldKind::Text, 0},
        {"42 ", FieldKind::Text, 0},
        {"4,5", FieldKind::Text, 0},
        {"1,234", FieldKind::Text, 0},
        {"$5", FieldKind::Text, 0},
        {"5%", FieldKind::Text, 0},
        {"1e", FieldKind::Text, 0},
        {".", FieldKind::Text, 0},
        {"-", FieldKind::Text, 0},
        {"0x1F", FieldKind::Text, 0},
        {"inf", FieldKind::Text, 0},
        {"nan", FieldKind::Text, 0},
        // Booleans in any case.
        {"TRUE", FieldKind::Boolean, 1},
        {"true", FieldKind::Boolean, 1},
        {"False", FieldKind::Boolean, 0},
        {"TRUE ", FieldKind::Text, 0},
        {"yes", FieldKind::Text, 0},
        // ISO dates, with an optional time.
        {"2024-03-31", FieldKind::Date, k2024_03_31},
        {"1900-03-01", FieldKind::Date, k1900_03_01},
        {"2024-03-31 12:30", FieldKind::DateTimeMinutes, k2024_03_31 + 0.5 + 30.0 / 1440},
        {"2024-03-31T06:00:30", FieldKind::DateTimeSeconds, k2024_03_31 + 0.25 + 30.0 / 86400},
        {"2024-03-31 00:00:00.5", FieldKind::DateTimeFraction, k2024_03_31 + 0.5 / 86400},
        {"2024-02-30", FieldKind::Text, 0},
        {"2023-02-29", FieldKind::Text, 0},
        {"1899-12-31", FieldKind::Text, 0},
        {"2024-3-31", FieldKind::Text, 0},
        {"2024-03-31 24:00", FieldKind::Text, 0},
        {"2024-03-31 12:60", FieldKind::Text, 0},
        {"2024-03-31 12:30:", FieldKind::Text, 0},
        {"2024-03-31 12:30:00.", FieldKind::Text, 0},
        {"2024-03-31Z", FieldKind::Text, 0},
        {"2024-03-31 12:30+02:00", FieldKind::Text, 0},
        {"31.03.2024", FieldKind::Text, 0},
    };
    for (const Case& c : cases) {
        TypedField typed = typeField(c.field);
        EXPECT_EQ(typed.kind, c.kind) << '"' << c.field << '"';
        if (typed.kind == c.kind && c.kind != FieldKind::Text) {
            EXPECT_NEAR(typed.number, c.number, 1e-9) << '"' << c.field << '"';
        }
    }
}

TEST(FieldTyping, NumbersAreTheNearestDoubleAsTheCLibraryReadsThem) {
    for (const char* field :
         {"0.1", "0.3", "-2.675", "123456789.123456", "999999999999999", "0.000000000000001",
          "1.7976931348623157e308", "4.9e-324", "2.2250738585072014e-308", "9007199254740993",
          "0.1e1", "3.14159265358979", "-0.000123456789012345", "12345678901234.5", "5e-1"}) {
        TypedField typed = typeField(field);
        if (typed.kind == FieldKind::Number) {
            EXPECT_EQ(typed.number, std::strtod(field, nullptr)) << field;
        }
    }
    EXPECT_EQ(typeField("0.1").number, 0.1);
}

TEST(FieldTyping, DateKindsGetDateFormatsThatShowWhatWasWritten) {
    for (FieldKind kind : {FieldKind::Date, FieldKind::DateTimeMinutes, FieldKind::DateTimeSeconds,
                           FieldKind::DateTimeFraction}) {
        std::string code(dateFormatCode(kind));
        EXPECT_TRUE(isDateTimeFormatCode(code)) << code;
    }
    EXPECT_EQ(NumberFormat(dateFormatCode(FieldKind::Date)).format(k2024_03_31, false),
              "2024-03-31");
    EXPECT_EQ(NumberFormat(dateFormatCode(FieldKind::DateTimeMinutes))
                  .format(typeField("2024-03-31 07:05").number, false),
              "2024-03-31 07:05");
    EXPECT_TRUE(dateFormatCode(FieldKind::Number).empty());
}

TEST(FieldTyping, DecimalCommasReadByTheSameRules) {
    struct Case {
        const char* field;
        FieldKind kind;
        double number;
    };
    const Case cases[] = {
        {"12,5", FieldKind::Number, 12.5},
        {"-0,75", FieldKind::Number, -0.75},
        {"+1,5", FieldKind::Number, 1.5},
        {",5", FieldKind::Number, 0.5},
        {"5,", FieldKind::Number, 5},
        {"1.234,56", FieldKind::Number, 1234.56},
        {"1.234", FieldKind::Number, 1234},
        {"1.234.567", FieldKind::Number, 1234567},
        {"-999.999,9", FieldKind::Number, -999999.9},
        {"1,5E3", FieldKind::Number, 1500},
        {"42", FieldKind::Number, 42},
        {"2024-03-31", FieldKind::Date, k2024_03_31},
        {"TRUE", FieldKind::Boolean, 1},
        // A thousands point needs groups of exactly three after a first group of one to three.
        {"1.23", FieldKind::Text, 0},
        {"1.2345", FieldKind::Text, 0},
        {"1234.567", FieldKind::Text, 0},
        {".234", FieldKind::Text, 0},
        {"0.123", FieldKind::Text, 0},
        {"1.234.", FieldKind::Text, 0},
        {"1..234", FieldKind::Text, 0},
        {"12.50", FieldKind::Text, 0},
        {"1,234,5", FieldKind::Text, 0},
        {"1,2.345", FieldKind::Text, 0},
        {",", FieldKind::Text, 0},
        {"-,", FieldKind::Text, 0},
        // What stays text with a decimal point stays text with a comma.
        {"007", FieldKind::Text, 0},
        {"00,5", FieldKind::Text, 0},
        {"=1+2", FieldKind::Text, 0},
        {"1234567890123456", FieldKind::Text, 0},
        {"1.234.567.890.123.456", FieldKind::Text, 0},
        {"1234567890,123456", FieldKind::Text, 0},
        {"1 234,5", FieldKind::Text, 0},
    };
    for (const Case& c : cases) {
        TypedField typed = typeField(c.field, DecimalMark::Comma);
        EXPECT_EQ(typed.kind, c.kind) << '"' << c.field << '"';
        if (typed.kind == c.kind && c.kind != FieldKind::Text) {
            EXPECT_EQ(typed.number, c.number) << '"' << c.field << '"';
        }
    }
    // A field too long to be a number a person writes.
    EXPECT_EQ(typeField("0," + std::string(300, '0'), DecimalMark::Comma).kind, FieldKind::Text);
}

TEST(FieldTyping, DecimalEvidence) {
    struct Case {
        const char* field;
        DecimalEvidence evidence;
    };
    const Case cases[] = {
        {"12,5", DecimalEvidence::Comma},      {"1.234,56", DecimalEvidence::Comma},
        {"-0,75", DecimalEvidence::Comma},     {",5", DecimalEvidence::Comma},
        {"12.50", DecimalEvidence::Point},     {"0.5", DecimalEvidence::Point},
        {".5", DecimalEvidence::Point},        {"1.5e3", DecimalEvidence::Point},
        {"1,234.56", DecimalEvidence::Point},  {"1.2345", DecimalEvidence::Point},
        {"1.234", DecimalEvidence::None},      {"1.234.567", DecimalEvidence::None},
        {"42", DecimalEvidence::None},         {"1e5", DecimalEvidence::None},
        {"31.01.2026", DecimalEvidence::None}, {"2026-01-31", DecimalEvidence::None},
        {"00,5", DecimalEvidence::None},       {"a,b", DecimalEvidence::None},
        {"v1.5", DecimalEvidence::None},       {"1,234.56 EUR", DecimalEvidence::None},
        {"", DecimalEvidence::None},           {"1,2,3", DecimalEvidence::None},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(decimalEvidence(c.field), c.evidence) << '"' << c.field << '"';
    }
}

TEST(FieldTyping, DateLikeFields) {
    struct Case {
        const char* field;
        bool dateLike;
        int first;
        int second;
        int year;
        bool yearFirst;
        char separator;
    };
    const Case cases[] = {
        {"31.01.2026", true, 31, 1, 2026, false, '.'},  {"1/2/2026", true, 1, 2, 2026, false, '/'},
        {"01-13-2026", true, 1, 13, 2026, false, '-'},  {"2026/1/31", true, 1, 31, 2026, true, '/'},
        {"99.99.9999", true, 99, 99, 9999, false, '.'},  // date-like, though no date
        {"31.01/2026", false, 0, 0, 0, false, 0},       {"31.01.26", false, 0, 0, 0, false, 0},
        {"31.01.20266", false, 0, 0, 0, false, 0},      {"123.01.2026", false, 0, 0, 0, false, 0},
        {"31..2026", false, 0, 0, 0, false, 0},         {"31.01.2026.", false, 0, 0, 0, false, 0},
        {"31.01.2026 12:00", false, 0, 0, 0, false, 0}, {"2026.01", false, 0, 0, 0, false, 0},
        {"a1.01.2026", false, 0, 0, 0, false, 0},       {"31 01 2026", false, 0, 0, 0, false, 0},
        {"2026/001/31", false, 0, 0, 0, false, 0},
    };
    for (const Case& c : cases) {
        const auto date = readDateLike(c.field);
        ASSERT_EQ(date.has_value(), c.dateLike) << c.field;
        if (date) {
            EXPECT_EQ(date->first, c.first) << c.field;
            EXPECT_EQ(date->second, c.second) << c.field;
            EXPECT_EQ(date->year, c.year) << c.field;
            EXPECT_EQ(date->yearFirst, c.yearFirst) << c.field;
            EXPECT_EQ(date->separator, c.separator) << c.field;
        }
    }
}

TEST(FieldTyping, WrittenDatesReadInAnOrderAndShowAsWritten) {
    struct Case {
        const char* field;
        DateOrder order;
        const char* shown;  // nullptr: no day in that order
    };
    const Case cases[] = {
        {"31.01.2026", DateOrder::DayMonthYear, "31.01.2026"},
        {"31.01.2026", DateOrder::MonthDayYear, nullptr},
        {"31.01.2026", DateOrder::YearMonthDay, nullptr},
        {"31.01.2026", DateOrder::Automatic, nullptr},
        {"1/2/2026", DateOrder::DayMonthYear, "1/2/2026"},
        {"1/2/2026", DateOrder::MonthDayYear, "1/2/2026"},
        {"01-13-2026", DateOrder::MonthDayYear, "01-13-2026"},
        {"2026/1/31", DateOrder::YearMonthDay, "2026/1/31"},
        {"2026.02.29", DateOrder::YearMonthDay, nullptr},
        {"29.02.1900", DateOrder::DayMonthYear, "29.02.1900"},  // serial 60, as spreadsheets
        {"31.12.1899", DateOrder::DayMonthYear, nullptr},
        {"31.12.9999", DateOrder::DayMonthYear, "31.12.9999"},
        {"0.1.2026", DateOrder::DayMonthYear, nullptr},
    };
    for (const Case& c : cases) {
        const auto date = readDateLike(c.field);
        ASSERT_TRUE(date) << c.field;
        const auto serial = dateSerial(*date, c.order);
        ASSERT_EQ(serial.has_value(), c.shown != nullptr) << c.field;
        if (serial) {
            const std::string code = dateFormatCode(*date, c.order);
            EXPECT_TRUE(isDateTimeFormatCode(code)) << code;
            EXPECT_EQ(NumberFormat(code).format(*serial, false), c.shown) << c.field;
        }
    }
    // The day and the month as the order says, whichever comes first.
    EXPECT_EQ(dateSerial(*readDateLike("01/02/2026"), DateOrder::DayMonthYear), 46054);
    EXPECT_EQ(dateSerial(*readDateLike("02/01/2026"), DateOrder::MonthDayYear), 46054);
    EXPECT_EQ(dateFormatCode(*readDateLike("1.02.2026"), DateOrder::DayMonthYear), "d\\.mm\\.yyyy");
    EXPECT_EQ(dateFormatCode(*readDateLike("1/02/2026"), DateOrder::MonthDayYear), "m/dd/yyyy");
}

}  // namespace
}  // namespace plyfold::engine::csv
