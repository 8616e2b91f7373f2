#include <gtest/gtest.h>

#include "engine/model/workbook.h"
#include "engine/ops/sheet_ops.h"
#include "engine/ops/sheet_rules_copy.h"

namespace plyfold::engine {
namespace {

CellRef at(std::string_view name) {
    return *parseCellName(name);
}

std::vector<CellRange> ranges(std::string_view text) {
    std::vector<CellRange> list;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        end = end == std::string_view::npos ? text.size() : end;
        list.push_back(*parseRangeName(text.substr(start, end - start)));
        start = end + 1;
    }
    return list;
}

std::string rangesText(const std::vector<CellRange>& list) {
    std::string text;
    for (const CellRange& range : list) {
        text += (text.empty() ? "" : " ") + rangeName(range);
    }
    return text;
}

void addFormat(Sheet& sheet, std::string_view where, std::string formula) {
    ConditionalFormat format;
    format.ranges = ranges(where);
    format.rules.emplace_back();
    format.rules.back().formulas.push_back(std::move(formula));
    sheet.conditionalFormats().push_back(std::move(format));
}

void addValidation(Sheet& sheet, std::string_view where, std::string formula) {
    DataValidation rule;
    rule.type = ValidationType::Custom;
    rule.ranges = ranges(where);
    rule.formula1 = std::move(formula);
    sheet.dataValidations().push_back(std::move(rule));
}

// Each rule as "ranges: formula", conditional formats first.
std::vector<std::string> rulesOf(const Sheet& sheet) {
    std::vector<std::string> lines;
    for (const ConditionalFormat& format : sheet.conditionalFormats()) {
        lines.push_back(rangesText(format.ranges) + ": " + format.rules.at(0).formulas.at(0));
    }
    for (const DataValidation& rule : sheet.dataValidations()) {
        lines.push_back(rangesText(rule.ranges) + ": " + rule.formula1);
    }
    return lines;
}

using Lines = std::vector<std::string>;

TEST(SheetRulesPaste, RulesAreCutToTheBlockAndReadFromTheirNewCorner) {
    struct Case {
        const char* ranges;
        const char* formula;
        const char* block;
        const char* topLeft;
        Lines expected;  // the same for the format and the validation rule
    };
    const Case cases[] = {
        // Wholly inside: moved by the paste's offset; absolute parts stay.
        {"C3:C4", "C3>$A$1", "B2:D10", "A1", {"B2:B3: B2>$A$1"}},
        // Cut at the top: the corner moves down three rows, and the formula with it.
        {"B2:D10", "B2>$A$1", "B5:D8", "F1", {"F1:H4: F1>$A$1"}},
        // One range of two left: its corner is the rule's new corner.
        {"B2:B3 D8:D20", "B2*2", "C1:E10", "A1", {"B8:B10: B8*2"}},
        // Outside the block: nothing comes along.
        {"A1:A3", "A1", "C1:E10", "A1", {}},
    };
    for (const Case& c : cases) {
        Workbook book;
        Sheet& source = book.addSheet("Source");
        Sheet& target = book.addSheet("Target");
        addFormat(source, c.ranges, c.formula);
        addValidation(source, c.ranges, c.formula);
        pasteBlock(source, *parseRangeName(c.block), target, at(c.topLeft));
        Lines expected = c.expected;
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(rulesOf(target), expected) << c.ranges << " pasted from " << c.block;
    }
}

TEST(SheetRulesPaste, APasteTakesTheCellsItCoversFromTheTargetsRules) {
    struct Case {
        const char* ranges;
        const char* pastedAt;  // a block of three rows and one column
        const char* expected;
    };
    const Case cases[] = {
        {"A1:A10", "A1", "A4:A10: A4>0"},
        {"A1:C3", "B1", "A1:A3 C1:C3: A1>0"},
        {"A1:C5", "B2", "A1:C1 A2:A4 C2:C4 A5:C5: A1>0"},
        {"A1:A3", "A1", nullptr},
        {"D1:D3", "A1", "D1:D3: D1>0"},
    };
    for (const Case& c : cases) {
        Workbook book;
        Sheet& source = book.addSheet("Source");
        Sheet& target = book.addSheet("Target");
        std::string formula = cellName(ranges(c.ranges).front().first) + ">0";
        addFormat(target, c.ranges, formula);
        pasteBlock(source, *parseRangeName("A1:A3"), target, at(c.pastedAt));
        EXPECT_EQ(rulesOf(target), c.expected ? Lines{c.expected} : Lines{})
            << c.ranges << " pasted over at " << c.pastedAt;
    }
}

TEST(SheetRulesDeletion, RangesShrinkAndFormulasFollowTheirCorner) {
    struct Case {
        int32_t first;  // 0-based rows
        int32_t count;
        Lines expected;
    };
    const Case cases[] = {
        // Below the range: nothing moves.
        {20, 2, {"B2:B10: B2>B$1", "B2:B10: B2>B$1"}},
        // Above it: it moves up, and the row it compares with was deleted.
        {0, 1, {"B1:B9: B1>#REF!", "B1:B9: B1>#REF!"}},
        // Its first rows: the corner is the first row left, read where it stood.
        {1, 2, {"B2:B8: B2>B$1", "B2:B8: B2>B$1"}},
        // All of it.
        {1, 9, {}},
    };
    for (const Case& c : cases) {
        Workbook book;
        Sheet& data = book.addSheet("Data");
        addFormat(data, "B2:B10", "B2>B$1");
        addValidation(data, "B2:B10", "B2>B$1");
        deleteRows(data, c.first, c.count);
        EXPECT_EQ(rulesOf(data), c.expected) << c.first << " + " << c.count;
    }
}

TEST(SheetRulesDeletion, ColumnsAndOtherSheetsRulesAreUpdatedToo) {
    Workbook book;
    Sheet& data = book.addSheet("Data");
    Sheet& other = book.addSheet("Other");
    addFormat(data, "C1:E2", "C1=$A1");
    addValidation(other, "A1", "Data!$D$1>0");
    deleteColumns(data, 1, 2);  // B:C
    EXPECT_EQ(rulesOf(data), (Lines{"B1:C2: B1=$A1"}));
    EXPECT_EQ(rulesOf(other), (Lines{"A1: Data!$B$1>0"}));
}

TEST(SheetRulesCopy, ACopyKeepsEveryRuleAndReadsItselfUnderItsNewName) {
    Workbook book;
    Sheet& data = book.addSheet("Data");
    addFormat(data, "A1:A5", "Data!$B$1+A1");
    addValidation(data, "C1", "Other!A1");
    Sheet& copy = copySheet(data, book, 1);
    EXPECT_EQ(copy.name(), "Data (2)");
    EXPECT_EQ(rulesOf(copy), (Lines{"A1:A5: 'Data (2)'!$B$1+A1", "C1: Other!A1"}));
}

TEST(SheetRulesCopy, DifferentialStylesAreMappedIntoTheTargetOnce) {
    Workbook source;
    Sheet& data = source.addSheet("Data");
    DifferentialStyle style;
    style.numberFormat = source.styles().addFormatCode("0.000");
    style.font.emplace().bold = true;
    source.styles().addDifferentialStyle(DifferentialStyle{});  // takes id 0
    const uint32_t id = source.styles().addDifferentialStyle(style);
    addFormat(data, "A1", "A1>0");
    addFormat(data, "B1", "B1>0");
    for (ConditionalFormat& format : data.conditionalFormats()) {
        format.rules[0].differentialStyle = id;
    }
    Workbook target;
    target.addSheet("Existing");
    const Sheet& copy = copySheet(data, target, 1);
    const auto first = copy.conditionalFormats()[0].rules[0].differentialStyle;
    ASSERT_TRUE(first);
    EXPECT_EQ(copy.conditionalFormats()[1].rules[0].differentialStyle, first);
    EXPECT_EQ(target.styles().differentialStyleCount(), 1u);
    const DifferentialStyle& mapped = target.styles().differentialStyle(*first);
    EXPECT_EQ(target.styles().formatCode(*mapped.numberFormat), "0.000");
    EXPECT_EQ(mapped.font->bold, true);
}

}  // namespace
}  // namespace plyfold::engine
