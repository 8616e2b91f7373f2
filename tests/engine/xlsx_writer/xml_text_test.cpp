#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "engine/io/xlsx/xml_stream_writer.h"
#include "tests/engine/xlsx_writer/package_inspection.h"

namespace plyfold::engine::xlsx {
namespace {

std::string escapedText(std::string_view text) {
    std::string out;
    appendEscapedText(out, text);
    return out;
}

std::string escapedAttribute(std::string_view text) {
    std::string out;
    appendEscapedAttribute(out, text);
    return out;
}

// What a spreadsheet program reads back from element text: XML decoding, then _xHHHH_.
std::string decodeAsReader(const std::string& escaped) {
    std::string xml = "<t>" + escaped + "</t>";
    std::string text = plyfold::test::parseXml(xml).text;
    std::string out;
    for (size_t i = 0; i < text.size();) {
        if (i + 7 <= text.size() && text[i] == '_' && text[i + 1] == 'x' && text[i + 6] == '_') {
            unsigned value = 0;
            auto [end, error] =
                std::from_chars(text.data() + i + 2, text.data() + i + 6, value, 16);
            if (error == std::errc() && end == text.data() + i + 6) {
                if (value < 0x80) {
                    out.push_back(static_cast<char>(value));
                } else {  // U+FFFE / U+FFFF in these tests
                    out += "\xEF\xBF";
                    out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
                }
                i += 7;
                continue;
            }
        }
        out.push_back(text[i++]);
    }
    return out;
}

TEST(XmlText, EscapesWhatXmlOrAReaderWouldChange) {
    struct Case {
        std::string text;
        std::string escaped;  // the exact form spreadsheet programs write
    };
    const Case cases[] = {
        {"plain", "plain"},
        {"a & b < c > d", "a &amp; b &lt; c &gt; d"},
        {"\"quoted\" 'single'", "\"quoted\" 'single'"},
        {"tab\tand\nline", "tab\tand\nline"},
        {"cr\r\nlf", "cr_x000D_\nlf"},
        {std::string("nul\0byte", 8), "nul_x0000_byte"},
        {"bell\x07 esc\x1b", "bell_x0007_ esc_x001B_"},
        {"\x0b\x0c", "_x000B__x000C_"},
        {"_x0041_", "_x005F_x0041_"},
        {"_x00e9_ and _X0041_", "_x005F_x00e9_ and _x005F_X0041_"},
        {"_x12_ _x123_ _x12345 x_", "_x12_ _x123_ _x12345 x_"},
        {"__x0041_", "__x005F_x0041_"},
        // The escape of the next character would close "_x0041" into one.
        {"_x0041\x01", "_x005F_x0041_x0001_"},
        {"_x0041\r", "_x005F_x0041_x000D_"},
        {"_x0041\xEF\xBF\xBE", "_x005F_x0041_xFFFE_"},
        {"_x0041\t_x0041 ", "_x0041\t_x0041 "},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"\xEF\xBF\xBE\xEF\xBF\xBF", "_xFFFE__xFFFF_"},
        {"\xEF\xBF\xBD ok", "\xEF\xBF\xBD ok"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(escapedText(c.text), c.escaped) << c.text;
        EXPECT_EQ(decodeAsReader(escapedText(c.text)), c.text) << c.text;
    }
}

TEST(XmlText, BytesThatAreNotUtf8BecomeReplacementCharacters) {
    const std::string replacement = "\xEF\xBF\xBD";
    struct Case {
        std::string text;
        std::string escaped;
    };
    const Case cases[] = {
        {"latin1 caf\xE9", "latin1 caf" + replacement},
        {"\xC3", replacement},                                      // cut sequence
        {"\xC0\xAF", replacement + replacement},                    // overlong
        {"\xED\xA0\x80", replacement + replacement + replacement},  // surrogate
        {"\xF5\x80\x80\x80", replacement + replacement + replacement + replacement},
        {"\x80x", replacement + "x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(escapedText(c.text), c.escaped);
        EXPECT_NO_THROW(plyfold::test::parseXml("<t>" + escapedText(c.text) + "</t>"));
    }
}

TEST(XmlText, AttributesKeepQuotesTabsAndLineBreaks) {
    const std::string values[] = {"Sheet \"1\"", "a\tb",       "line\nbreak",
                                  "cr\rhere",    "R&D <2024>", "ctl\x01"};
    for (const std::string& value : values) {
        std::string xml = "<a v=\"" + escapedAttribute(value) + "\"/>";
        auto node = plyfold::test::parseXml(xml);
        ASSERT_NE(node.attribute("v"), nullptr) << value;
        std::string read = *node.attribute("v");
        if (value == "ctl\x01") {
            EXPECT_EQ(read, "ctl_x0001_");
        } else {
            EXPECT_EQ(read, value);
        }
    }
}

TEST(XmlText, SpacePreservedWhereBlanksWouldBeLost) {
    struct Case {
        const char* text;
        bool preserve;
    };
    const Case cases[] = {{"plain", false},   {" lead", true},       {"trail ", true},
                          {"in side", false}, {"two\nlines", false}, {"\ttab", true},
                          {"", false},        {"end\n", true},       {"\r", true}};
    for (const Case& c : cases) {
        EXPECT_EQ(needsSpacePreserve(c.text), c.preserve) << c.text;
    }
}

TEST(XmlText, NumbersAreShortestAndReadBackExactly) {
    const double values[] = {0.0,
                             1.0,
                             -1.5,
                             0.1,
                             0.1 + 0.2,
                             1.0 / 3.0,
                             123456789012345.0,
                             1e21,
                             1e-7,
                             45292.5,
                             std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::denorm_min(),
                             -std::numeric_limits<double>::min()};
    for (double value : values) {
        char text[40];
        size_t length = formatNumber(value, text);
        ASSERT_LE(length, 32u);
        double back = 0;
        auto [end, error] = std::from_chars(text, text + length, back);
        ASSERT_EQ(error, std::errc()) << std::string(text, length);
        EXPECT_EQ(end, text + length);
        EXPECT_EQ(back, value) << std::string(text, length);
        // The shortest form that reads back: never longer than the first precision of
        // printf's %g that does.
        for (int digits = 1; digits <= 17; ++digits) {
            char shorter[64];
            int n = std::snprintf(shorter, sizeof shorter, "%.*g", digits, value);
            if (std::strtod(shorter, nullptr) == value) {
                EXPECT_LE(length, static_cast<size_t>(n)) << std::string(text, length);
                break;
            }
        }
    }
    char text[40];
    EXPECT_EQ(std::string(text, formatNumber(-0.0, text)), "0");
}

}  // namespace
}  // namespace plyfold::engine::xlsx
