#include <gtest/gtest.h>

#include "engine/io/workbook_io.h"
#include "engine/model/workbook.h"
#include "package_inspection.h"
#include "tests/support/temp_dir.h"

namespace plyfold::engine {
namespace {

// Everything a differential style can state, and a rule for each kind the writer spells
// apart (colour scale, data bar, icon set, top 10, above average, text, time period).
std::unique_ptr<Workbook> bookWithEveryRule() {
    auto book = std::make_unique<Workbook>();
    Sheet& sheet = book->addSheet("Data");
    sheet.cellAt({0, 0}).type = CellType::Number;
    DifferentialStyle full;
    DifferentialFont& font = full.font.emplace();
    font.name = "Arial";
    font.size = 9.5;
    font.bold = false;
    font.italic = true;
    font.strike = true;
    font.underline = Underline::Double;
    font.verticalAlign = VerticalTextAlign::Superscript;
    font.color = Color::rgb(0xFF112233);
    full.numberFormat = book->styles().addFormatCode("0.0%;[Red]-0.0%");
    full.fill =
        DifferentialFill{PatternType::LightGrid, Color::rgb(0xFF445566), Color::rgb(0xFF778899)};
    Alignment alignment;
    alignment.horizontal = HorizontalAlign::Center;
    alignment.wrapText = true;
    full.alignment = alignment;
    full.protection = Protection{false, true};
    Border border;
    border.left = {BorderStyle::Dashed, Color::rgb(0xFFAA0000)};
    border.bottom = {BorderStyle::Double, Color{}};
    full.border = border;
    const uint32_t fullId = book->styles().addDifferentialStyle(full);
    DifferentialStyle solid;
    solid.fill = DifferentialFill{std::nullopt, Color{}, Color::rgb(0xFFFFC7CE)};
    const uint32_t solidId = book->styles().addDifferentialStyle(solid);

    ConditionalFormat format;
    format.ranges = {*parseRangeName("A1:A9"), *parseRangeName("C3")};
    auto add = [&](ConditionalFormatType type, int32_t priority) -> ConditionalFormatRule& {
        format.rules.emplace_back();
        format.rules.back().type = type;
        format.rules.back().priority = priority;
        return format.rules.back();
    };
    ConditionalFormatRule& cellIs = add(ConditionalFormatType::CellIs, 7);
    cellIs.op = ConditionalFormatOperator::NotBetween;
    cellIs.formulas = {"1", "Other!$A$1"};
    cellIs.differentialStyle = fullId;
    cellIs.stopIfTrue = true;
    ConditionalFormatRule& scale = add(ConditionalFormatType::ColorScale, 7);
    scale.values = {{"min", "", true}, {"formula", "$B$1*2", false}};
    scale.colors = {Color::rgb(0xFF000000), Color::rgb(0xFFFFFFFF)};
    ConditionalFormatRule& bar = add(ConditionalFormatType::DataBar, 2);
    bar.values = {{"num", "0", true}, {"max", "", true}};
    bar.colors = {Color::rgb(0xFF638EC6)};
    bar.minLength = 0;
    bar.maxLength = 100;
    bar.showValue = false;
    ConditionalFormatRule& icons = add(ConditionalFormatType::IconSet, 3);
    icons.iconSet = "4Rating";
    icons.values = {{"percent", "0", true},
                    {"percent", "25", true},
                    {"percent", "50", true},
                    {"percent", "75", true}};
    icons.reverseIcons = true;
    icons.percent = false;
    ConditionalFormatRule& top = add(ConditionalFormatType::Top10, 4);
    top.rank = 5;
    top.bottom = true;
    top.percent = true;
    top.differentialStyle = solidId;
    ConditionalFormatRule& average = add(ConditionalFormatType::AboveAverage, 5);
    average.aboveAverage = false;
    average.equalAverage = true;
    average.stdDev = 1;
    ConditionalFormatRule& text = add(ConditionalFormatType::BeginsWith, 6);
    text.op = ConditionalFormatOperator::BeginsWith;
    text.text = "a<\"b\"";
    text.formulas = {"LEFT(A1,4)=\"a<\"\"b\"\"\""};
    ConditionalFormatRule& period = add(ConditionalFormatType::TimePeriod, 1);
    period.timePeriod = "nextWeek";
    period.formulas = {"A1>TODAY()"};
    sheet.conditionalFormats().push_back(format);
    return book;
}

TEST(SheetRulesWriting, EveryRuleAndDifferentialStyleReadsBackTheSame) {
    auto book = bookWithEveryRule();
    book->addSheet("Other");
    test::TempDir dir;
    const std::string path = dir.file("rules.xlsx");
    saveWorkbook(*book, path);
    auto back = openWorkbook(path);
    back->sheet(0).ensureLoaded();
    const auto& formats = back->sheet(0).conditionalFormats();
    ASSERT_EQ(formats.size(), 1u);
    const ConditionalFormat& original = book->sheet(0).conditionalFormats()[0];
    EXPECT_EQ(formats[0].ranges, original.ranges);
    ASSERT_EQ(formats[0].rules.size(), original.rules.size());
    // Priorities are written as ranks: 7, 7, 2, 3, 4, 5, 6, 1 become 7, 8, 2, 3, 4, 5, 6, 1.
    const int32_t priorities[] = {7, 8, 2, 3, 4, 5, 6, 1};
    for (size_t i = 0; i < original.rules.size(); ++i) {
        const ConditionalFormatRule& want = original.rules[i];
        const ConditionalFormatRule& got = formats[0].rules[i];
        EXPECT_EQ(got.type, want.type) << i;
        EXPECT_EQ(got.priority, priorities[i]) << i;
        EXPECT_EQ(got.stopIfTrue, want.stopIfTrue) << i;
        EXPECT_EQ(got.op, want.op) << i;
        EXPECT_EQ(got.text, want.text) << i;
        EXPECT_EQ(got.timePeriod, want.timePeriod) << i;
        EXPECT_EQ(got.rank, want.rank) << i;
        EXPECT_EQ(got.percent, want.percent) << i;
        EXPECT_EQ(got.bottom, want.bottom) << i;
        EXPECT_EQ(got.aboveAverage, want.aboveAverage) << i;
        EXPECT_EQ(got.equalAverage, want.equalAverage) << i;
        EXPECT_EQ(got.stdDev, want.stdDev) << i;
        EXPECT_EQ(got.formulas, want.formulas) << i;
        EXPECT_EQ(got.values, want.values) << i;
        EXPECT_EQ(got.colors, want.colors) << i;
        EXPECT_EQ(got.iconSet, want.iconSet) << i;
        EXPECT_EQ(got.showValue, want.showValue) << i;
        EXPECT_EQ(got.reverseIcons, want.reverseIcons) << i;
        EXPECT_EQ(got.minLength, want.minLength) << i;
        EXPECT_EQ(got.maxLength, want.maxLength) << i;
        ASSERT_EQ(got.differentialStyle.has_value(), want.differentialStyle.has_value()) << i;
        if (want.differentialStyle) {
            DifferentialStyle wanted = book->styles().differentialStyle(*want.differentialStyle);
            DifferentialStyle read = back->styles().differentialStyle(*got.differentialStyle);
            ASSERT_EQ(read.numberFormat.has_value(), wanted.numberFormat.has_value()) << i;
            if (wanted.numberFormat) {
                EXPECT_EQ(back->styles().formatCode(*read.numberFormat),
                          book->styles().formatCode(*wanted.numberFormat));
                read.numberFormat = wanted.numberFormat;
            }
            EXPECT_TRUE(read == wanted) << i;
        }
    }
}

TEST(SheetRulesWriting, PartsFollowTheSchemasOrder) {
    auto book = bookWithEveryRule();
    book->addSheet("Other");
    DataValidation rule;
    rule.ranges = {*parseRangeName("B1:B3")};
    rule.type = ValidationType::List;
    rule.formula1 = "\"a,b\"";
    book->sheet(0).dataValidations().push_back(rule);
    book->sheet(0).merges().push_back(*parseRangeName("D1:E1"));
    test::TempDir dir;
    const std::string path = dir.file("order.xlsx");
    saveWorkbook(*book, path);
    auto parts = test::unzipAll(test::readFile(path));
    std::vector<std::string> sheetOrder;
    for (const test::XmlNode& child :
         test::parseXml(parts.at("xl/worksheets/sheet1.xml")).children) {
        if (sheetOrder.empty() || sheetOrder.back() != child.name) {
            sheetOrder.push_back(child.name);
        }
    }
    EXPECT_EQ(sheetOrder, (std::vector<std::string>{
                              "dimension", "sheetViews", "sheetFormatPr", "sheetData", "mergeCells",
                              "conditionalFormatting", "dataValidations", "pageMargins"}));
    const test::XmlNode styles = test::parseXml(parts.at("xl/styles.xml"));
    const test::XmlNode* dxfs = styles.child("dxfs");
    ASSERT_NE(dxfs, nullptr);
    ASSERT_EQ(dxfs->children.size(), 2u);
    std::vector<std::string> dxfOrder;
    for (const test::XmlNode& child : dxfs->children[0].children) {
        dxfOrder.push_back(child.name);
    }
    EXPECT_EQ(dxfOrder, (std::vector<std::string>{"font", "numFmt", "fill", "alignment",
                                                  "protection", "border"}));
    // The dxf's number format has an id no cell format's code takes.
    const std::string* id = dxfs->children[0].child("numFmt")->attribute("numFmtId");
    ASSERT_NE(id, nullptr);
    EXPECT_GE(std::stoi(*id), 164);
}

}  // namespace
}  // namespace plyfold::engine
