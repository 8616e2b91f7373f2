#include <gtest/gtest.h>

#include <cstdlib>

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

}  // namespace
}  // namespace plyfold::engine::csv
