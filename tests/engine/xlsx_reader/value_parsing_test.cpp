// Small conversions the reader depends on: numbers, dates, escapes, references, part names,
// colours.

#include <gtest/gtest.h>

#include "engine/io/xlsx/color_resolver.h"
#include "engine/io/xlsx/opc_package.h"
#include "engine/io/xlsx/value_parsing.h"

namespace plyfold::engine::xlsx_read {
namespace {

TEST(ValueParsing, Numbers) {
    struct Case {
        const char* text;
        double value;
    };
    for (const Case& c :
         {Case{"12", 12}, Case{" 2 ", 2}, Case{"+1.5", 1.5}, Case{"-1.5E-3", -0.0015},
          Case{"1e308", 1e308}, Case{"0.1", 0.1}, Case{"-0", 0.0},
          Case{"4.9406564584124654E-324", 4.9406564584124654e-324}}) {
        double value = -1;
        EXPECT_TRUE(parseNumber(c.text, value)) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
    for (const char* bad :
         {"", " ", "abc", "1,5", "1.5x", "inf", "nan", "1e999", "--1", "+-1", "0x10"}) {
        double value;
        EXPECT_FALSE(parseNumber(bad, value)) << bad;
    }
}

TEST(ValueParsing, IsoDatesBecomeSerialsOfTheDateSystem) {
    struct Case {
        const char* text;
        bool date1904;
        double serial;
    };
    for (const Case& c : {
             Case{"1900-01-01", false, 1},
             Case{"1900-02-28", false, 59},
             Case{"1900-03-01", false, 61},  // 60 is the nonexistent 1900-02-29
             Case{"2021-03-04", false, 44259},
             Case{"2021-03-04T12:00:00", false, 44259.5},
             Case{"2021-03-04T06:00:00Z", false, 44259.25},
             Case{"2021-03-04T18:00:00+02:00", false, 44259.75},
             Case{"2021-03-04T00:00:30.5", false, 44259 + 30.5 / 86400},
             Case{"12:00:00", false, 0.5},
             Case{"T06:00", false, 0.25},
             Case{"1899-12-30T12:00:00", false, 0.5},
             Case{"1904-01-01", true, 0},
             Case{"1904-01-02", true, 1},
             Case{"2021-03-04", true, 44259 - 1462},
         }) {
        std::optional<double> serial = parseIsoDateSerial(c.text, c.date1904);
        ASSERT_TRUE(serial) << c.text;
        EXPECT_NEAR(*serial, c.serial, 1e-9) << c.text;
    }
    for (const char* bad : {"", "2021-02-29", "2021-13-01", "2021-3-4", "1899-12-29", "2021-03-04X",
                            "2021-03-04T24:01:00", "12:60:00", "2021-03-04T"}) {
        EXPECT_FALSE(parseIsoDateSerial(bad, false)) << bad;
    }
    EXPECT_FALSE(parseIsoDateSerial("1903-12-31", true));
}

TEST(ValueParsing, EscapesDecode) {
    struct Case {
        std::string in;
        std::string out;
    };
    for (const Case& c : {
             Case{"a_x000D_b", "a\rb"},
             Case{"_x000D__x000A_", "\r\n"},
             Case{"_x005F_x000D_", "_x000D_"},  // an escaped underscore keeps the rest literal
             Case{"_x00e9_t_x00C9_", "\xC3\xA9t\xC3\x89"},
             Case{"_xD83D__xDE00_", "\xF0\x9F\x98\x80"},  // a surrogate pair
             Case{"_xD83D_", "\xEF\xBF\xBD"},             // a lone surrogate
             Case{"_x12_ _X000D_ _x00G0_ _x000D", "_x12_ _X000D_ _x00G0_ _x000D"},
             Case{"plain", "plain"},
         }) {
        std::string text = c.in;
        decodeEscapes(text);
        EXPECT_EQ(text, c.out) << c.in;
    }
}

TEST(ValueParsing, CellReferences) {
    struct Case {
        const char* text;
        ReferenceStatus status;
        int32_t row;
        int32_t column;
    };
    for (const Case& c : {
             Case{"A1", ReferenceStatus::Ok, 0, 0},
             Case{"b7", ReferenceStatus::Ok, 6, 1},
             Case{"AA10", ReferenceStatus::Ok, 9, 26},
             Case{"XFD1048576", ReferenceStatus::Ok, 1048575, 16383},
             Case{"XFE1", ReferenceStatus::BeyondLimits, 0, 0},
             Case{"A1048577", ReferenceStatus::BeyondLimits, 0, 0},
             Case{"AAAAAAAAAA1", ReferenceStatus::BeyondLimits, 0, 0},
             Case{"A99999999999999999999", ReferenceStatus::BeyondLimits, 0, 0},
             Case{"", ReferenceStatus::Invalid, 0, 0},
             Case{"A", ReferenceStatus::Invalid, 0, 0},
             Case{"7", ReferenceStatus::Invalid, 0, 0},
             Case{"A0", ReferenceStatus::Invalid, 0, 0},
             Case{"1A", ReferenceStatus::Invalid, 0, 0},
             Case{"$A$1", ReferenceStatus::Invalid, 0, 0},
             Case{"A1B", ReferenceStatus::Invalid, 0, 0},
             Case{"A 1", ReferenceStatus::Invalid, 0, 0},
         }) {
        CellRef ref{-1, -1};
        EXPECT_EQ(parseCellReference(c.text, ref), c.status) << c.text;
        if (c.status == ReferenceStatus::Ok) {
            EXPECT_EQ(ref, (CellRef{c.row, c.column})) << c.text;
        }
    }
}

TEST(PackageNames, TargetsResolveAgainstTheirSourcePart) {
    struct Case {
        const char* source;
        const char* target;
        const char* part;
    };
    for (const Case& c : {
             Case{"xl/workbook.xml", "worksheets/sheet1.xml", "xl/worksheets/sheet1.xml"},
             Case{"xl/workbook.xml", "/xl/worksheets/sheet1.xml", "xl/worksheets/sheet1.xml"},
             Case{"xl/workbook.xml", "../customXml/item1.xml", "customXml/item1.xml"},
             Case{"xl/workbook.xml", "./worksheets/./sheet%201.xml", "xl/worksheets/sheet 1.xml"},
             Case{"xl/workbook.xml", "../../../../etc/passwd", "etc/passwd"},
             Case{"xl/workbook.xml", "worksheets\\sheet1.xml", "xl/worksheets/sheet1.xml"},
             Case{"xl/workbook.xml", "sheet1.xml#frag", "xl/sheet1.xml"},
             Case{"", "xl/workbook.xml", "xl/workbook.xml"},
             Case{"workbook.xml", "sheet1.xml", "sheet1.xml"},
         }) {
        EXPECT_EQ(resolveTarget(c.source, c.target), c.part) << c.source << " + " << c.target;
    }
    EXPECT_EQ(relationshipsPartOf("xl/workbook.xml"), "xl/_rels/workbook.xml.rels");
    EXPECT_EQ(relationshipsPartOf("workbook.xml"), "_rels/workbook.xml.rels");
    EXPECT_EQ(relationshipsPartOf(""), "_rels/.rels");
    EXPECT_EQ(relationshipKind("http://schemas.openxmlformats.org/officeDocument/2006/"
                               "relationships/worksheet"),
              "worksheet");
    EXPECT_EQ(relationshipKind("http://purl.oclc.org/ooxml/officeDocument/relationships/"
                               "worksheet"),
              "worksheet");
}

// Channels within one step of the expected colour: spreadsheet programs round tints in
// slightly different ways.
void expectColorNear(uint32_t got, uint32_t want, const std::string& what) {
    for (int shift : {0, 8, 16, 24}) {
        int a = static_cast<int>((got >> shift) & 0xFF);
        int b = static_cast<int>((want >> shift) & 0xFF);
        EXPECT_LE(std::abs(a - b), 1) << what << std::hex << ": got " << got << ", want " << want;
    }
}

TEST(Colors, TintsFollowTheShadesSpreadsheetProgramsOffer) {
    // The palette rows of the default theme's Accent 1 (4472C4) and Accent 2 (ED7D31).
    struct Case {
        uint32_t base;
        double tint;
        uint32_t shade;
    };
    for (const Case& c : {
             Case{0xFF4472C4, 0.7999816888943144, 0xFFD9E1F2},
             Case{0xFF4472C4, 0.5999938962981048, 0xFFB4C6E7},
             Case{0xFF4472C4, 0.3999755851924192, 0xFF8EA9DB},
             Case{0xFF4472C4, -0.249977111117893, 0xFF305496},
             Case{0xFF4472C4, -0.499984740745262, 0xFF203764},
             Case{0xFFED7D31, 0.7999816888943144, 0xFFFCE4D6},
             Case{0xFFED7D31, -0.499984740745262, 0xFF833C0C},
             Case{0xFFFFFFFF, -0.1499984740745262, 0xFFD9D9D9},
             Case{0xFF000000, 0.499984740745262, 0xFF7F7F7F},
             Case{0x00123456, 0.0, 0x00123456},
         }) {
        expectColorNear(applyTint(c.base, c.tint), c.shade, std::to_string(c.tint));
    }
}

TEST(Colors, ThemeIndexesSwapTheFirstTwoPairs) {
    ThemeColors theme;
    for (uint32_t i = 0; i < theme.size(); ++i) {
        theme[i] = 0xFF000000u | (i + 1);  // colour n+1 in slot n of the theme part
    }
    ColorResolver resolver;
    resolver.setThemeColors(theme);
    // lt1 dk1 lt2 dk2 come first in cell formats; the theme part lists dk1 lt1 dk2 lt2.
    const uint32_t slotOfIndex[12] = {1, 0, 3, 2, 4, 5, 6, 7, 8, 9, 10, 11};
    for (uint32_t index = 0; index < 12; ++index) {
        Color color = resolver.resolve({ColorSpec::Kind::Theme, index, 0.0});
        EXPECT_EQ(color, Color::rgb(theme[slotOfIndex[index]])) << index;
    }
    EXPECT_FALSE(resolver.resolve({ColorSpec::Kind::Theme, 12, 0.0}).isSet());
}

TEST(Colors, IndexedPaletteAndItsReplacement) {
    ColorResolver resolver;
    EXPECT_EQ(resolver.resolve({ColorSpec::Kind::Indexed, 10, 0.0}), Color::rgb(0xFFFF0000));
    EXPECT_EQ(resolver.resolve({ColorSpec::Kind::Indexed, 22, 0.0}), Color::rgb(0xFFC0C0C0));
    EXPECT_EQ(resolver.resolve({ColorSpec::Kind::Indexed, 64, 0.0}), Color::automatic());
    EXPECT_FALSE(resolver.resolve({ColorSpec::Kind::Indexed, 66, 0.0}).isSet());
    resolver.setIndexedColors({0xFF010203, 0xFF040506});
    EXPECT_EQ(resolver.resolve({ColorSpec::Kind::Indexed, 1, 0.0}), Color::rgb(0xFF040506));
    EXPECT_EQ(resolver.resolve({ColorSpec::Kind::Indexed, 10, 0.0}), Color::rgb(0xFFFF0000));
    EXPECT_EQ(resolver.resolve({ColorSpec::Kind::Rgb, 0xFF4472C4, 0.5999938962981048}).argb >> 24,
              0xFFu);
    uint32_t argb = 0;
    EXPECT_TRUE(parseArgb("FF00ff80", argb));
    EXPECT_EQ(argb, 0xFF00FF80u);
    EXPECT_TRUE(parseArgb("00ff80", argb));
    EXPECT_EQ(argb, 0xFF00FF80u);
    EXPECT_FALSE(parseArgb("F00FF80", argb));
    EXPECT_FALSE(parseArgb("GG00FF80", argb));
}

}  // namespace
}  // namespace plyfold::engine::xlsx_read
