// Cell formats: number formats, fonts, fills, borders, alignment and protection, with
// colours resolved through the theme, the indexed palette and tints.

#include <gtest/gtest.h>

#include "engine/common/error.h"
#include "engine/io/xlsx/xlsx_reader.h"
#include "engine/model/cell_ref.h"
#include "engine/ops/number_format.h"
#include "test_package.h"

namespace plyfold::engine {
namespace {

using test::sheetDataXml;
using test::TestPackage;
using test::worksheetXml;

const char* kTheme =
    "<a:theme xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"><a:themeElements>"
    "<a:clrScheme name=\"Test\">"
    "<a:dk1><a:sysClr val=\"windowText\" lastClr=\"101010\"/></a:dk1>"
    "<a:lt1><a:sysClr val=\"window\" lastClr=\"F0F0F0\"/></a:lt1>"
    "<a:dk2><a:srgbClr val=\"202020\"/></a:dk2><a:lt2><a:srgbClr val=\"E0E0E0\"/></a:lt2>"
    "<a:accent1><a:srgbClr val=\"4472C4\"/></a:accent1>"
    "<a:accent2><a:srgbClr val=\"ED7D31\"/></a:accent2>"
    "<a:hlink><a:srgbClr val=\"0563C1\"/></a:hlink></a:clrScheme>"
    "<a:fontScheme name=\"x\"/></a:themeElements><a:extraClrSchemeLst><a:extraClrScheme>"
    "<a:clrScheme name=\"Other\"><a:dk1><a:srgbClr val=\"FF0000\"/></a:dk1></a:clrScheme>"
    "</a:extraClrScheme></a:extraClrSchemeLst></a:theme>";

const char* kStyles =
    "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
    "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\">"
    "<numFmts count=\"2\"><numFmt numFmtId=\"164\" formatCode=\"0.000&quot;kg&quot;\"/>"
    "<numFmt numFmtId=\"3\" formatCode=\"#,##0.0\"/></numFmts>"
    "<fonts count=\"4\">"
    "<font><sz val=\"10\"/><color theme=\"1\"/><name val=\"Arial\"/><family val=\"2\"/>"
    "<charset val=\"204\"/><scheme val=\"minor\"/></font>"
    "<font><b/><i val=\"0\"/><strike val=\"1\"/><u val=\"double\"/><vertAlign "
    "val=\"superscript\"/><sz val=\"14.5\"/><color theme=\"4\" tint=\"0.5999938962981048\"/>"
    "<name val=\"Cambria\"/><scheme val=\"major\"/></font>"
    "<mc:AlternateContent><mc:Choice Requires=\"x99\"><font><sz val=\"99\"/></font>"
    "</mc:Choice><mc:Fallback><font><u/><color indexed=\"2\"/></font></mc:Fallback>"
    "</mc:AlternateContent>"
    "<font><b val=\"false\"/><color rgb=\"FF00B050\"/><name val=\"Calibri\"/></font>"
    "</fonts>"
    "<fills count=\"5\"><fill><patternFill patternType=\"none\"/></fill>"
    "<fill><patternFill patternType=\"gray125\"/></fill>"
    "<fill><patternFill patternType=\"solid\"><fgColor theme=\"5\" tint=\"-0.499984740745262\"/>"
    "<bgColor indexed=\"64\"/></patternFill></fill>"
    "<fill><patternFill patternType=\"darkTrellis\"><fgColor indexed=\"3\"/><bgColor "
    "auto=\"1\"/></patternFill></fill>"
    "<fill><gradientFill degree=\"90\"><stop position=\"0\"><color rgb=\"FF112233\"/></stop>"
    "<stop position=\"1\"><color rgb=\"FF445566\"/></stop></gradientFill></fill></fills>"
    "<borders count=\"2\"><border><left/><right/><top/><bottom/><diagonal/></border>"
    "<border diagonalUp=\"1\"><left style=\"thin\"><color rgb=\"FFFF0000\"/></left>"
    "<right style=\"mediumDashDotDot\"><color auto=\"1\"/></right><top style=\"double\"/>"
    "<bottom style=\"hair\"><color theme=\"0\"/></bottom><diagonal style=\"thick\"/></border>"
    "</borders>"
    "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"1\"/></cellStyleXfs>"
    "<cellXfs count=\"6\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>"
    "<xf numFmtId=\"164\" fontId=\"1\" fillId=\"2\" borderId=\"1\" applyFont=\"1\">"
    "<alignment horizontal=\"centerContinuous\" vertical=\"top\" wrapText=\"1\" indent=\"3\" "
    "textRotation=\"255\"/><protection locked=\"0\" hidden=\"1\"/></xf>"
    "<xf numFmtId=\"14\" fontId=\"2\" fillId=\"3\"/>"
    "<xf numFmtId=\"3\" fontId=\"3\" fillId=\"4\"/>"
    "<xf numFmtId=\"200\"><alignment horizontal=\"nonsense\" textRotation=\"400\"/></xf>"
    "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"1\"/>"
    "</cellXfs>"
    "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
    "<dxfs count=\"1\"><dxf><font><b/></font></dxf></dxfs>"
    "<colors><indexedColors>"
    "<rgbColor rgb=\"FF000001\"/><rgbColor rgb=\"FF000002\"/><rgbColor rgb=\"FF000003\"/>"
    "<rgbColor rgb=\"FF000004\"/></indexedColors></colors>"
    "</styleSheet>";

class StylesOfAWorkbook : public testing::Test {
protected:
    void SetUp() override {
        std::string rows;
        for (int s = 0; s < 6; ++s) {
            rows += "<c r=\"" + columnName(s) + "1\" s=\"" + std::to_string(s) + "\"><v>1</v></c>";
        }
        m_workbook = readXlsxFromMemory(
            TestPackage()
                .sheet("S", worksheetXml(sheetDataXml("<row r=\"1\">" + rows + "</row>")))
                .styles(kStyles)
                .theme(kTheme)
                .build(),
            "styles.xlsx");
        const Sheet& sheet = m_workbook->sheet(0);
        for (int s = 0; s < 6; ++s) {
            m_styles.push_back(sheet.findCell({0, s})->style);
        }
    }

    const StyleTable& table() const { return m_workbook->styles(); }
    const CellStyle& style(int xf) const { return table().style(m_styles[xf]); }
    const Font& font(int xf) const { return table().font(style(xf).font); }
    const Fill& fill(int xf) const { return table().fill(style(xf).fill); }
    const Border& border(int xf) const { return table().border(style(xf).border); }
    std::string_view code(int xf) const { return table().formatCode(style(xf).numberFormat); }

    std::unique_ptr<Workbook> m_workbook;
    std::vector<uint32_t> m_styles;
};

TEST_F(StylesOfAWorkbook, NumberFormats) {
    EXPECT_EQ(code(0), "General");
    EXPECT_EQ(code(1), "0.000\"kg\"");
    EXPECT_EQ(code(2), builtinFormatCode(14));
    EXPECT_FALSE(code(2).empty());
    EXPECT_EQ(code(3), "#,##0.0");  // a file may give a built-in id its own code
    EXPECT_EQ(code(4), "General");  // an id with no code anywhere
}

TEST_F(StylesOfAWorkbook, Fonts) {
    const Font& normal = font(0);
    EXPECT_EQ(style(0).font, 0u);  // the file's first font is the workbook's default
    EXPECT_EQ(normal, table().font(0));
    EXPECT_EQ(normal.name, "Arial");
    EXPECT_EQ(normal.size, 10.0);
    EXPECT_EQ(normal.family, 2);
    EXPECT_EQ(normal.charset, 204);
    EXPECT_EQ(normal.scheme, "minor");
    EXPECT_EQ(normal.color, Color::rgb(0xFF101010));  // theme 1 is dk1, a system colour

    const Font& fancy = font(1);
    EXPECT_TRUE(fancy.bold);
    EXPECT_FALSE(fancy.italic);
    EXPECT_TRUE(fancy.strike);
    EXPECT_EQ(fancy.underline, Underline::Double);
    EXPECT_EQ(fancy.verticalAlign, VerticalTextAlign::Superscript);
    EXPECT_EQ(fancy.size, 14.5);
    EXPECT_EQ(fancy.name, "Cambria");
    EXPECT_EQ(fancy.scheme, "major");
    EXPECT_EQ(fancy.family, 0);
    EXPECT_EQ(fancy.charset, -1);
    ASSERT_EQ(fancy.color.kind, Color::Kind::Rgb);
    EXPECT_EQ(fancy.color.argb, 0xFFB4C6E7);  // accent 1, lighter 60%

    // The fallback of markup-compatibility content, with the replaced palette.
    const Font& fallback = font(2);
    EXPECT_EQ(fallback.underline, Underline::Single);
    EXPECT_EQ(fallback.size, 11.0);
    EXPECT_EQ(fallback.color, Color::rgb(0xFF000003));

    EXPECT_FALSE(font(3).bold);
    EXPECT_EQ(font(3).color, Color::rgb(0xFF00B050));
    EXPECT_EQ(table().fontCount(), 4u);
}

TEST_F(StylesOfAWorkbook, Fills) {
    EXPECT_EQ(fill(0).pattern, PatternType::None);
    EXPECT_EQ(style(5).fill, 1u);  // the file's gray125 is the table's own
    EXPECT_EQ(fill(5).pattern, PatternType::Gray125);
    EXPECT_EQ(fill(1).pattern, PatternType::Solid);
    ASSERT_EQ(fill(1).foreground.kind, Color::Kind::Rgb);
    EXPECT_EQ(fill(1).foreground.argb, 0xFF833C0C);  // accent 2, darker 50%
    EXPECT_EQ(fill(1).background, Color::automatic());
    EXPECT_EQ(fill(2).pattern, PatternType::DarkTrellis);
    EXPECT_EQ(fill(2).foreground, Color::rgb(0xFF000004));
    EXPECT_EQ(fill(2).background, Color::automatic());
    EXPECT_EQ(fill(3).pattern, PatternType::Solid);
    EXPECT_EQ(fill(3).foreground, Color::rgb(0xFF112233));
}

TEST_F(StylesOfAWorkbook, BordersAlignmentAndProtection) {
    EXPECT_EQ(border(0), Border{});
    const Border& b = border(1);
    EXPECT_EQ(b.left.style, BorderStyle::Thin);
    EXPECT_EQ(b.left.color, Color::rgb(0xFFFF0000));
    EXPECT_EQ(b.right.style, BorderStyle::MediumDashDotDot);
    EXPECT_EQ(b.right.color, Color::automatic());
    EXPECT_EQ(b.top.style, BorderStyle::Double);
    EXPECT_FALSE(b.top.color.isSet());
    EXPECT_EQ(b.bottom.style, BorderStyle::Hair);
    EXPECT_EQ(b.bottom.color, Color::rgb(0xFFF0F0F0));  // theme 0 is lt1
    EXPECT_EQ(b.diagonal.style, BorderStyle::Thick);
    EXPECT_TRUE(b.diagonalUp);
    EXPECT_FALSE(b.diagonalDown);

    const Alignment& a = style(1).alignment;
    EXPECT_EQ(a.horizontal, HorizontalAlign::CenterContinuous);
    EXPECT_EQ(a.vertical, VerticalAlign::Top);
    EXPECT_TRUE(a.wrapText);
    EXPECT_EQ(a.indent, 3);
    EXPECT_EQ(a.textRotation, 255);
    EXPECT_FALSE(style(1).protection.locked);
    EXPECT_TRUE(style(1).protection.hidden);
    EXPECT_TRUE(style(0).protection.locked);
    EXPECT_EQ(style(4).alignment, Alignment{});  // values out of range keep the defaults
}

TEST(Styles, IndexesBeyondTheirListsAreErrors) {
    struct Case {
        const char* xf;
        const char* message;
    };
    for (const Case& c : {Case{"<xf fontId=\"1\"/>",
                               "cell format 1 uses font 1, but the styles "
                               "part has only 1"},
                          Case{"<xf fillId=\"7\"/>", "uses fill 7"},
                          Case{"<xf borderId=\"2\"/>", "uses border 2"}}) {
        std::string styles = std::string(
                                 "<styleSheet><fonts><font/></fonts><fills><fill/>"
                                 "</fills><borders><border/></borders><cellXfs><xf/>") +
                             c.xf + "</cellXfs></styleSheet>";
        try {
            auto workbook = readXlsxFromMemory(
                TestPackage()
                    .sheet("S", worksheetXml(sheetDataXml("<row><c><v>1</v></c></row>")))
                    .styles(styles)
                    .build(),
                "bad.xlsx");
            workbook->sheet(0).ensureLoaded();
            ADD_FAILURE() << c.xf;
        } catch (const SpreadsheetError& error) {
            EXPECT_NE(error.description().find(c.message), std::string::npos)
                << error.description();
            EXPECT_TRUE(error.description().starts_with("'bad.xlsx' is not a valid spreadsheet"));
        }
    }
}

TEST(Styles, CorpusWorkbooks) {
    const std::string corpus = PLYFOLD_CORPUS_DIR;
    // Borders coloured by the indexed palette; 65 is the system background.
    auto charts = readXlsx(corpus + "/poi__WithChartSheet.xlsx");
    charts->sheet(0).ensureLoaded();
    const StyleTable& styles = charts->styles();
    bool blackLeftTop = false;
    bool automaticLeft = false;
    for (uint32_t i = 0; i < styles.borderCount(); ++i) {
        const Border& b = styles.border(i);
        blackLeftTop = blackLeftTop || (b.left.style == BorderStyle::Thin &&
                                        b.left.color == Color::rgb(0xFF000000) &&
                                        b.top.color == Color::rgb(0xFF000000));
        automaticLeft = automaticLeft || b.left.color == Color::automatic();
    }
    EXPECT_TRUE(blackLeftTop);
    EXPECT_TRUE(automaticLeft);
    bool customCurrency = false;
    for (uint32_t i = 0; i < styles.formatCodeCount(); ++i) {
        customCurrency =
            customCurrency || styles.formatCode(i) == "\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)";
    }
    EXPECT_TRUE(customCurrency);

    // The Korean writer wraps fonts in markup-compatibility content.
    auto hancell = readXlsx(corpus + "/poi__style-alternate-content.xlsx");
    hancell->sheet(0).ensureLoaded();
    std::vector<double> sizes;
    for (uint32_t i = 0; i < hancell->styles().fontCount(); ++i) {
        sizes.push_back(hancell->styles().font(i).size);
    }
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), 9.0), sizes.end());
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), 6.0), sizes.end());
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), 16.0), sizes.end());
    EXPECT_EQ(hancell->styles().font(0).name, "\xEB\xA7\x91\xEC\x9D\x80 \xEA\xB3\xA0\xEB\x94\x95");
}

}  // namespace
}  // namespace plyfold::engine
