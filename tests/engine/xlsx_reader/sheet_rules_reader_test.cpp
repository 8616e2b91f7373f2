#include <gtest/gtest.h>

#include "engine/common/error.h"
#include "engine/common/memory_budget.h"
#include "engine/io/xlsx/xlsx_reader.h"
#include "test_package.h"

namespace plyfold::engine {
namespace {

using plyfold::test::TestPackage;
using plyfold::test::worksheetXml;

// Three differential styles: a bold red font over a pink fill, a number format with a
// theme-coloured bottom border, and an italic font over a gradient.
constexpr const char* kStyles =
    "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
    "<fills count=\"1\"><fill><patternFill patternType=\"none\"/></fill></fills>"
    "<borders count=\"1\"><border/></borders>"
    "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellXfs>"
    "<dxfs count=\"3\">"
    "<dxf><font><b/><i val=\"0\"/><color rgb=\"FF9C0006\"/></font>"
    "<fill><patternFill><bgColor rgb=\"FFFFC7CE\"/></patternFill></fill></dxf>"
    "<dxf><numFmt numFmtId=\"170\" formatCode=\"0.000\"/>"
    "<border><bottom style=\"thin\"><color theme=\"4\"/></bottom></border></dxf>"
    "<dxf><font><i/></font><fill><gradientFill degree=\"90\"><stop position=\"0\">"
    "<color rgb=\"FF000000\"/></stop></gradientFill></fill></dxf>"
    "</dxfs></styleSheet>";

std::unique_ptr<Workbook> bookWithSheet(const std::string& afterData,
                                        const std::string& styles = kStyles) {
    TestPackage package;
    package.sheet("Data", worksheetXml("<sheetData/>" + afterData));
    package.styles(styles);
    return readXlsxFromMemory(package.build(), "rules.xlsx");
}

CellRange range(std::string_view text) {
    return *parseRangeName(text);
}

TEST(SheetRulesReading, EveryKindOfConditionalFormatAndItsStyle) {
    auto book = bookWithSheet(
        "<conditionalFormatting sqref=\"C4:C11 E2\">"
        "<cfRule type=\"cellIs\" dxfId=\"0\" priority=\"3\" stopIfTrue=\"1\" operator=\"between\">"
        "<formula>=Limits!$A$1</formula><formula>B4*2</formula></cfRule>"
        "<cfRule type=\"colorScale\" priority=\"1\"><colorScale><cfvo type=\"min\"/>"
        "<cfvo type=\"percentile\" val=\"50\"/><cfvo type=\"formula\" val=\"$A$1\" gte=\"0\"/>"
        "<color rgb=\"FFF8696B\"/><color theme=\"4\"/><color rgb=\"FF63BE7B\"/>"
        "</colorScale></cfRule>"
        "<cfRule type=\"dataBar\" priority=\"2\"><dataBar minLength=\"5\" maxLength=\"95\" "
        "showValue=\"0\"><cfvo type=\"min\"/><cfvo type=\"max\"/><color rgb=\"FF638EC6\"/>"
        "</dataBar><extLst><ext uri=\"{B025F937-C7B1-47D3-B67F-A62EFF666E3E}\"/></extLst>"
        "</cfRule></conditionalFormatting>"
        "<conditionalFormatting sqref=\"B4:B11\">"
        "<cfRule type=\"iconSet\" priority=\"4\"><iconSet iconSet=\"3Arrows\" percent=\"0\" "
        "reverse=\"1\"><cfvo type=\"num\" val=\"0\"/><cfvo type=\"num\" val=\"3\"/>"
        "<cfvo type=\"num\" val=\"6\"/></iconSet></cfRule>"
        "<cfRule type=\"top10\" dxfId=\"1\" priority=\"5\" rank=\"3\" percent=\"1\" "
        "bottom=\"1\"/>"
        "<cfRule type=\"aboveAverage\" priority=\"6\" aboveAverage=\"0\" equalAverage=\"1\" "
        "stdDev=\"2\"/>"
        "<cfRule type=\"timePeriod\" priority=\"7\" timePeriod=\"lastMonth\">"
        "<formula>MONTH(B4)=1</formula></cfRule>"
        "<cfRule type=\"containsText\" priority=\"8\" operator=\"containsText\" "
        "text=\"a&amp;b\"><formula>NOT(ISERROR(SEARCH(\"a&amp;b\",B4)))</formula></cfRule>"
        "</conditionalFormatting>");
    const Sheet& sheet = book->sheet(0);
    sheet.ensureLoaded();
    const auto& formats = sheet.conditionalFormats();
    ASSERT_EQ(formats.size(), 2u);
    EXPECT_EQ(formats[0].ranges, (std::vector<CellRange>{range("C4:C11"), range("E2")}));
    ASSERT_EQ(formats[0].rules.size(), 3u);

    const ConditionalFormatRule& cellIs = formats[0].rules[0];
    EXPECT_EQ(cellIs.type, ConditionalFormatType::CellIs);
    EXPECT_EQ(cellIs.op, ConditionalFormatOperator::Between);
    EXPECT_EQ(cellIs.priority, 3);
    EXPECT_TRUE(cellIs.stopIfTrue);
    EXPECT_EQ(cellIs.formulas, (std::vector<std::string>{"Limits!$A$1", "B4*2"}));
    ASSERT_TRUE(cellIs.differentialStyle);
    const StyleTable& styles = book->styles();
    const DifferentialStyle& bold = styles.differentialStyle(*cellIs.differentialStyle);
    ASSERT_TRUE(bold.font);
    EXPECT_EQ(bold.font->bold, true);
    EXPECT_EQ(bold.font->italic, false);
    EXPECT_FALSE(bold.font->size);  // not stated, so the cell's own stays
    EXPECT_EQ(bold.font->color, Color::rgb(0xFF9C0006));
    ASSERT_TRUE(bold.fill);
    EXPECT_FALSE(bold.fill->pattern);
    EXPECT_EQ(bold.fill->background, Color::rgb(0xFFFFC7CE));
    EXPECT_FALSE(bold.border);
    EXPECT_FALSE(bold.numberFormat);

    const ConditionalFormatRule& scale = formats[0].rules[1];
    EXPECT_EQ(scale.type, ConditionalFormatType::ColorScale);
    ASSERT_EQ(scale.values.size(), 3u);
    EXPECT_EQ(scale.values[1], (ConditionalValue{"percentile", "50", true}));
    EXPECT_EQ(scale.values[2], (ConditionalValue{"formula", "$A$1", false}));
    ASSERT_EQ(scale.colors.size(), 3u);
    EXPECT_EQ(scale.colors[1].kind, Color::Kind::Rgb);  // a theme colour, resolved
    const ConditionalFormatRule& bar = formats[0].rules[2];
    EXPECT_EQ(bar.type, ConditionalFormatType::DataBar);
    EXPECT_EQ(bar.minLength, 5u);
    EXPECT_EQ(bar.maxLength, 95u);
    EXPECT_FALSE(bar.showValue);

    ASSERT_EQ(formats[1].rules.size(), 5u);
    const ConditionalFormatRule& icons = formats[1].rules[0];
    EXPECT_EQ(icons.iconSet, "3Arrows");
    EXPECT_FALSE(icons.percent);
    EXPECT_TRUE(icons.reverseIcons);
    EXPECT_EQ(icons.values.size(), 3u);
    const ConditionalFormatRule& top = formats[1].rules[1];
    EXPECT_EQ(top.rank, 3);
    EXPECT_TRUE(top.percent);
    EXPECT_TRUE(top.bottom);
    const DifferentialStyle& format = styles.differentialStyle(*top.differentialStyle);
    ASSERT_TRUE(format.numberFormat);
    EXPECT_EQ(styles.formatCode(*format.numberFormat), "0.000");
    ASSERT_TRUE(format.border);
    EXPECT_EQ(format.border->bottom.style, BorderStyle::Thin);
    EXPECT_EQ(format.border->bottom.color.kind, Color::Kind::Rgb);
    EXPECT_EQ(format.border->top.style, BorderStyle::None);
    const ConditionalFormatRule& average = formats[1].rules[2];
    EXPECT_FALSE(average.aboveAverage);
    EXPECT_TRUE(average.equalAverage);
    EXPECT_EQ(average.stdDev, 2);
    EXPECT_EQ(formats[1].rules[3].timePeriod, "lastMonth");
    EXPECT_EQ(formats[1].rules[4].text, "a&b");
    EXPECT_EQ(formats[1].rules[4].op, ConditionalFormatOperator::ContainsText);

    // A gradient is left out rather than written as a plain fill; the rest of the style stays.
    ASSERT_EQ(styles.differentialStyleCount(), 3u);
    EXPECT_FALSE(styles.differentialStyle(2).fill);
    EXPECT_EQ(styles.differentialStyle(2).font->italic, true);
}

TEST(SheetRulesReading, EveryPartOfAValidationRule) {
    auto book = bookWithSheet(
        "<dataValidations count=\"3\">"
        "<dataValidation type=\"list\" errorStyle=\"warning\" allowBlank=\"1\" "
        "showDropDown=\"1\" showInputMessage=\"1\" showErrorMessage=\"1\" errorTitle=\"Oops\" "
        "error=\"Pick_x000a_one\" promptTitle=\"Colour\" prompt=\"Red &amp; more\" "
        "sqref=\"B4:B11 D1\"><formula1>\"Red,Green\"</formula1></dataValidation>"
        "<dataValidation type=\"whole\" operator=\"notBetween\" sqref=\"C4:C11\">"
        "<formula1>1</formula1><formula2>Limits!$A$1</formula2></dataValidation>"
        "<dataValidation sqref=\"E1\" prompt=\"Just a message\" showInputMessage=\"1\"/>"
        "</dataValidations>");
    book->sheet(0).ensureLoaded();
    const auto& rules = book->sheet(0).dataValidations();
    ASSERT_EQ(rules.size(), 3u);
    const DataValidation& list = rules[0];
    EXPECT_EQ(list.ranges, (std::vector<CellRange>{range("B4:B11"), range("D1")}));
    EXPECT_EQ(list.type, ValidationType::List);
    EXPECT_EQ(list.errorStyle, ValidationErrorStyle::Warning);
    EXPECT_TRUE(list.allowBlank);
    EXPECT_TRUE(list.showDropDown);
    EXPECT_TRUE(list.showInputMessage);
    EXPECT_TRUE(list.showErrorMessage);
    EXPECT_EQ(list.errorTitle, "Oops");
    EXPECT_EQ(list.error, "Pick\none");
    EXPECT_EQ(list.promptTitle, "Colour");
    EXPECT_EQ(list.prompt, "Red & more");
    EXPECT_EQ(list.formula1, "\"Red,Green\"");
    EXPECT_EQ(rules[1].type, ValidationType::Whole);
    EXPECT_EQ(rules[1].op, ValidationOperator::NotBetween);
    EXPECT_EQ(rules[1].formula2, "Limits!$A$1");
    EXPECT_EQ(rules[2].type, ValidationType::None);
    EXPECT_EQ(rules[2].prompt, "Just a message");
}

TEST(SheetRulesReading, ConditionalFormatsOfTheExtensionListJoinTheOthers) {
    auto book = bookWithSheet(
        "<conditionalFormatting sqref=\"A1:A5\"><cfRule type=\"dataBar\" priority=\"1\">"
        "<dataBar><cfvo type=\"min\"/><cfvo type=\"max\"/><color rgb=\"FF638EC6\"/>"
        "</dataBar></cfRule></conditionalFormatting>"
        "<extLst><ext uri=\"{78C0D931-6437-407d-A8EE-F0AAD7539E65}\" "
        "xmlns:x14=\"http://schemas.microsoft.com/office/spreadsheetml/2009/9/main\">"
        "<x14:conditionalFormattings>"
        "<x14:conditionalFormatting "
        "xmlns:xm=\"http://schemas.microsoft.com/office/excel/2006/main\">"
        "<x14:cfRule type=\"dataBar\" id=\"{1}\"><x14:dataBar minLength=\"0\" "
        "maxLength=\"100\"><x14:cfvo type=\"autoMin\"/><x14:cfvo type=\"autoMax\"/>"
        "</x14:dataBar></x14:cfRule><xm:sqref>A1:A5</xm:sqref></x14:conditionalFormatting>"
        "<x14:conditionalFormatting "
        "xmlns:xm=\"http://schemas.microsoft.com/office/excel/2006/main\">"
        "<x14:cfRule type=\"cellIs\" priority=\"2\" operator=\"greaterThan\" id=\"{2}\">"
        "<xm:f>Limits!$A$1</xm:f><x14:dxf><font><b/><color rgb=\"FF9C0006\"/></font>"
        "<fill><patternFill><bgColor rgb=\"FFFFC7CE\"/></patternFill></fill></x14:dxf>"
        "</x14:cfRule><xm:sqref>B2:B9 D1</xm:sqref></x14:conditionalFormatting>"
        "</x14:conditionalFormattings></ext></extLst>");
    book->sheet(0).ensureLoaded();
    const auto& formats = book->sheet(0).conditionalFormats();
    ASSERT_EQ(formats.size(), 2u);  // the data bar's extension adds no rule of its own
    // What the extension adds to the data bar is not held, and is said so.
    ASSERT_EQ(book->sheet(0).uncarried().list().size(), 1u);
    EXPECT_TRUE(book->sheet(0).uncarried().list()[0].starts_with("data bar, colour scale"));
    EXPECT_EQ(formats[0].rules[0].type, ConditionalFormatType::DataBar);
    const ConditionalFormat& extended = formats[1];
    EXPECT_EQ(extended.ranges, (std::vector<CellRange>{range("B2:B9"), range("D1")}));
    ASSERT_EQ(extended.rules.size(), 1u);
    const ConditionalFormatRule& rule = extended.rules[0];
    EXPECT_EQ(rule.type, ConditionalFormatType::CellIs);
    EXPECT_EQ(rule.op, ConditionalFormatOperator::GreaterThan);
    EXPECT_EQ(rule.priority, 2);
    EXPECT_EQ(rule.formulas, (std::vector<std::string>{"Limits!$A$1"}));
    ASSERT_TRUE(rule.differentialStyle);
    const DifferentialStyle& style = book->styles().differentialStyle(*rule.differentialStyle);
    ASSERT_TRUE(style.font);
    EXPECT_EQ(style.font->bold, true);
    EXPECT_EQ(style.font->color, Color::rgb(0xFF9C0006));
    ASSERT_TRUE(style.fill);
    EXPECT_EQ(style.fill->background, Color::rgb(0xFFFFC7CE));
}

TEST(SheetRulesReading, ValidationRulesOfTheExtensionListJoinTheOthers) {
    auto book = bookWithSheet(
        "<dataValidations count=\"1\"><dataValidation type=\"whole\" sqref=\"A1\">"
        "<formula1>1</formula1></dataValidation></dataValidations>"
        "<extLst><ext uri=\"{CCE6A557-97BC-4b89-ADB6-D9C93CAAB3DF}\" "
        "xmlns:x14=\"http://schemas.microsoft.com/office/spreadsheetml/2009/9/main\">"
        "<x14:dataValidations count=\"1\" "
        "xmlns:xm=\"http://schemas.microsoft.com/office/excel/2006/main\">"
        "<x14:dataValidation type=\"list\" allowBlank=\"1\" showErrorMessage=\"1\">"
        "<x14:formula1><xm:f>Lists!$A$1:$A$3</xm:f></x14:formula1>"
        "<xm:sqref>B2:B10 D4</xm:sqref></x14:dataValidation>"
        "<x14:dataValidation type=\"list\"><x14:formula1><xm:f>Lists!$B$1</xm:f>"
        "</x14:formula1></x14:dataValidation>"
        "</x14:dataValidations></ext>"
        "<ext uri=\"{other}\"><dataValidations><dataValidation type=\"whole\" sqref=\"Z1\"/>"
        "</dataValidations></ext></extLst>");
    book->sheet(0).ensureLoaded();
    const auto& rules = book->sheet(0).dataValidations();
    // The rule without ranges is left out; an extension of unknown meaning is reported.
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(book->sheet(0).uncarried().list(),
              (std::vector<std::string>{"sheet extension {other}"}));
    EXPECT_EQ(rules[1].type, ValidationType::List);
    EXPECT_EQ(rules[1].formula1, "Lists!$A$1:$A$3");
    EXPECT_EQ(rules[1].ranges, (std::vector<CellRange>{range("B2:B10"), range("D4")}));
    EXPECT_TRUE(rules[1].allowBlank);
    EXPECT_TRUE(rules[1].showErrorMessage);
}

TEST(SheetRulesReading, RulesThatBreakTheFormatAreLeftOutAndTheRestKept) {
    auto book = bookWithSheet(
        "<conditionalFormatting sqref=\"nonsense\"><cfRule type=\"expression\" priority=\"1\">"
        "<formula>A1</formula></cfRule></conditionalFormatting>"
        "<conditionalFormatting sqref=\"A1:A3 ZZZZ9 B2\">"
        "<cfRule type=\"sparkle\" priority=\"1\"><formula>A1</formula></cfRule>"
        "<cfRule type=\"expression\" priority=\"2\"/>"
        "<cfRule type=\"colorScale\" priority=\"3\"><colorScale><cfvo type=\"min\"/>"
        "<color rgb=\"FF000000\"/></colorScale></cfRule>"
        "<cfRule type=\"expression\" dxfId=\"99\" priority=\"4\"><formula>A1&gt;0</formula>"
        "</cfRule>"
        "<cfRule type=\"timePeriod\" priority=\"5\" timePeriod=\"someday\"/>"
        "<cfRule type=\"iconSet\" priority=\"6\"><iconSet><cfvo type=\"min\"/>"
        "<cfvo type=\"median\"/></iconSet></cfRule>"
        "<cfRule type=\"iconSet\" priority=\"7\"><iconSet iconSet=\"9Smileys\">"
        "<cfvo type=\"min\"/><cfvo type=\"max\"/></iconSet></cfRule>"
        "</conditionalFormatting>"
        "<dataValidations count=\"2\"><dataValidation type=\"magic\" sqref=\"A1\"/>"
        "<dataValidation type=\"whole\" sqref=\"\"><formula1>1</formula1></dataValidation>"
        "<dataValidation type=\"decimal\" sqref=\"C1\"><formula1>0.5</formula1>"
        "</dataValidation></dataValidations>");
    const Sheet& sheet = book->sheet(0);
    sheet.ensureLoaded();
    ASSERT_EQ(sheet.conditionalFormats().size(), 1u);
    const ConditionalFormat& kept = sheet.conditionalFormats()[0];
    EXPECT_EQ(kept.ranges, (std::vector<CellRange>{range("A1:A3"), range("B2")}));
    ASSERT_EQ(kept.rules.size(), 2u);
    EXPECT_EQ(kept.rules[0].priority, 4);
    EXPECT_FALSE(kept.rules[0].differentialStyle);  // a style the part does not have
    EXPECT_EQ(kept.rules[1].priority, 7);
    EXPECT_EQ(kept.rules[1].iconSet, "");  // an unknown set is the default one
    ASSERT_EQ(sheet.dataValidations().size(), 1u);
    EXPECT_EQ(sheet.dataValidations()[0].type, ValidationType::Decimal);
}

TEST(SheetRulesReading, AFormulaPastAnyLimitFailsNamingTheSheet) {
    const std::string huge(2u << 20, '1');
    for (const std::string& rules :
         {"<conditionalFormatting sqref=\"A1\"><cfRule type=\"expression\" priority=\"1\">"
          "<formula>" +
              huge + "</formula></cfRule></conditionalFormatting>",
          "<dataValidations><dataValidation type=\"whole\" sqref=\"A1\"><formula1>" + huge +
              "</formula1></dataValidation></dataValidations>"}) {
        auto book = bookWithSheet(rules);
        try {
            book->sheet(0).ensureLoaded();
            FAIL() << "an oversized formula must fail";
        } catch (const SpreadsheetError& error) {
            EXPECT_NE(error.description().find("'Data'"), std::string::npos) << error.description();
            EXPECT_NE(error.description().find("formula"), std::string::npos)
                << error.description();
        }
    }
}

TEST(SheetRulesReading, ATruncatedRuleFailsTheSheetNamingIt) {
    TestPackage package;
    package.sheet("Data",
                  "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                  "<sheetData/><conditionalFormatting sqref=\"A1\">"
                  "<cfRule type=\"expression\" priority=\"1\"><formula>A1");
    auto book = readXlsxFromMemory(package.build(), "cut.xlsx");
    try {
        book->sheet(0).ensureLoaded();
        FAIL() << "a truncated sheet must fail";
    } catch (const SpreadsheetError& error) {
        EXPECT_NE(error.description().find("'Data'"), std::string::npos) << error.description();
    }
}

TEST(SheetRulesReading, ManyRulesCountAgainstTheMemoryBudget) {
    std::string rules = "<conditionalFormatting sqref=\"A1\">";
    for (int i = 0; i < 20000; ++i) {
        rules += "<cfRule type=\"expression\" priority=\"1\"><formula>A1&gt;" + std::to_string(i) +
                 "</formula></cfRule>";
    }
    rules += "</conditionalFormatting>";
    auto book = bookWithSheet(rules);
    auto budget = std::make_shared<MemoryBudget>(book->memory().bytes() + 256 * 1024);
    book->memory().setBudget(budget);
    try {
        book->sheet(0).ensureLoaded();
        FAIL() << "the rules went past the budget";
    } catch (const SpreadsheetError& error) {
        EXPECT_EQ(error.number(), static_cast<int32_t>(ErrorNumber::OutOfMemory));
    }
    budget->setLimit(UINT64_MAX);
    book->sheet(0).ensureLoaded();
    EXPECT_EQ(book->sheet(0).conditionalFormats().at(0).rules.size(), 20000u);
}

TEST(SheetRulesReading, ManyDifferentialStylesCountAgainstTheMemoryBudget) {
    std::string styles =
        "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><dxfs>";
    for (int i = 0; i < 20000; ++i) {
        styles += "<dxf><font><b/></font></dxf>";
    }
    styles += "</dxfs></styleSheet>";
    auto book = bookWithSheet("", styles);
    auto budget = std::make_shared<MemoryBudget>(book->memory().bytes() + 256 * 1024);
    book->memory().setBudget(budget);
    EXPECT_THROW(book->sheet(0).ensureLoaded(), SpreadsheetError);
    budget->setLimit(UINT64_MAX);
    book = bookWithSheet("", styles);
    book->sheet(0).ensureLoaded();
    EXPECT_EQ(book->styles().differentialStyleCount(), 20000u);
}

}  // namespace
}  // namespace plyfold::engine
