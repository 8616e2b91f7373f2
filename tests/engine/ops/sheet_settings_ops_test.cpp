// Sheet settings under the operations: a sheet copy carries them whole, a paste leaves the
// target its own, and deleting rows or columns moves and shrinks what names lines.

#include <gtest/gtest.h>

#include "engine/model/workbook.h"
#include "engine/ops/sheet_ops.h"

namespace plyfold::engine {
namespace {

CellRange area(std::string_view name) {
    return *parseRangeName(name);
}

std::string rangesOf(const std::vector<CellRange>& ranges) {
    std::string text;
    for (const CellRange& range : ranges) {
        text += (text.empty() ? "" : " ") + rangeName(range);
    }
    return text;
}

// A filter over C3:F20 with criteria in its columns 0, 1 and 3, sorted by E.
SheetSettings filtered() {
    SheetSettings settings;
    AutoFilter& filter = settings.autoFilter.emplace();
    filter.range = area("C3:F20");
    for (int32_t column : {0, 1, 3}) {
        FilterColumn criteria;
        criteria.column = column;
        criteria.values = {std::to_string(column)};
        filter.columns.push_back(criteria);
    }
    filter.sortState = SortState{area("C4:F20"), false, false, {{area("E4:E20"), true}}};
    settings.rowBreaks = {PageBreak{4, 0, 16383, true, false}, PageBreak{9, 0, 16383, true, false}};
    settings.columnBreaks = {PageBreak{3, 0, 1048575, true, false}};
    settings.view.pane = Pane{2, 3, CellRef{3, 2}, PaneId::BottomRight, PaneState::Frozen};
    settings.view.selections = {Selection{PaneId::BottomRight, CellRef{7, 4}, {area("E8:F12")}}};
    return settings;
}

struct Expected {
    const char* filter;  // "" when the filter is gone
    const char* filterColumns;
    const char* sort;
    const char* rowBreaks;
    const char* columnBreaks;
    double xSplit;
    double ySplit;
    const char* selection;
};

std::string filterColumnsOf(const SheetSettings& settings) {
    std::string text;
    for (const FilterColumn& column : settings.autoFilter->columns) {
        text += std::to_string(column.column) + "=" + column.values.at(0) + " ";
    }
    return text;
}

std::string breaksOf(const std::vector<PageBreak>& breaks) {
    std::string text;
    for (const PageBreak& pageBreak : breaks) {
        text += std::to_string(pageBreak.line) + " ";
    }
    return text;
}

TEST(SheetSettingsOps, DeletingLinesMovesAndShrinksWhatNamesThem) {
    struct Case {
        const char* name;
        bool rows;
        int32_t first;
        int32_t count;
        Expected expected;
    };
    // Lines are 0-based: row 1 is 0, column A is 0.
    const std::vector<Case> cases = {
        {"rows above everything",
         true,
         0,
         1,
         {"C2:F19", "0=0 1=1 3=3 ", "C3:F19 E3:E19", "3 8 ", "3 ", 2, 2, "E7:F11"}},
        {"rows inside the filter and on a break",
         true,
         4,
         2,
         {"C3:F18", "0=0 1=1 3=3 ", "C4:F18 E4:E18", "7 ", "3 ", 2, 3, "E6:F10"}},
        {"every row of the filter", true, 2, 18, {"", "", "", "", "3 ", 2, 2, "E3"}},
        {"columns before the filter",
         false,
         0,
         2,
         {"A3:D20", "0=0 1=1 3=3 ", "A4:D20 C4:C20", "4 9 ", "1 ", 0, 3, "C8:D12"}},
        {"a filtered column",
         false,
         3,
         1,
         {"C3:E20", "0=0 2=3 ", "C4:E20 D4:D20", "4 9 ", "", 2, 3, "D8:E12"}},
        {"the sorted column",
         false,
         4,
         1,
         {"C3:E20", "0=0 1=1 2=3 ", "C4:E20", "4 9 ", "3 ", 2, 3, "E8:E12"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Workbook book;
        Sheet& sheet = book.addSheet("Data");
        sheet.settings() = filtered();
        if (c.rows) {
            deleteRows(sheet, c.first, c.count);
        } else {
            deleteColumns(sheet, c.first, c.count);
        }
        const SheetSettings& s = sheet.settings();
        const Expected& e = c.expected;
        if (*e.filter == '\0') {
            EXPECT_FALSE(s.autoFilter.has_value());
        } else {
            ASSERT_TRUE(s.autoFilter.has_value());
            EXPECT_EQ(rangeName(s.autoFilter->range), e.filter);
            EXPECT_EQ(filterColumnsOf(s), e.filterColumns);
            std::string sort;
            if (s.autoFilter->sortState) {
                sort = rangeName(s.autoFilter->sortState->range);
                for (const SortCondition& condition : s.autoFilter->sortState->conditions) {
                    sort += " " + rangeName(condition.range);
                }
            }
            EXPECT_EQ(sort, e.sort);
        }
        EXPECT_EQ(breaksOf(s.rowBreaks), e.rowBreaks);
        EXPECT_EQ(breaksOf(s.columnBreaks), e.columnBreaks);
        if (e.xSplit == 0 && e.ySplit == 0) {
            EXPECT_FALSE(s.view.pane.has_value());
        } else {
            ASSERT_TRUE(s.view.pane.has_value());
            EXPECT_EQ(s.view.pane->xSplit, e.xSplit);
            EXPECT_EQ(s.view.pane->ySplit, e.ySplit);
        }
        ASSERT_EQ(s.view.selections.size(), 1u);
        EXPECT_EQ(rangesOf(s.view.selections[0].ranges), e.selection);
    }
}

TEST(SheetSettingsOps, ACopyCarriesTheSettingsAndAPasteLeavesTheTargetItsOwn) {
    Workbook source;
    Sheet& sheet = source.addSheet("Data");
    sheet.settings() = filtered();
    sheet.settings().properties.tabColor = Color::rgb(0xFF112233);
    sheet.settings().pageSetup.emplace().orientation = Orientation::Landscape;
    sheet.rowAt(5).outlineLevel = 2;
    sheet.cellAt(CellRef{5, 2}).type = CellType::Number;
    sheet.uncarried().add("pivot table");

    Workbook target;
    target.addSheet("Sheet1");
    Sheet& copy = copySheet(sheet, target, 0);
    EXPECT_EQ(copy.settings(), sheet.settings());
    ASSERT_NE(copy.findRow(5), nullptr);
    EXPECT_EQ(copy.findRow(5)->outlineLevel, 2);
    EXPECT_TRUE(copy.uncarried().empty());  // the copy lacks it: the source's list says so

    Sheet& pasted = target.addSheet("Pasted");
    pasted.settings().properties.tabColor = Color::rgb(0xFF445566);
    const SheetSettings own = pasted.settings();
    pasteBlock(sheet, area("A1:F20"), pasted, CellRef{10, 0});
    EXPECT_EQ(pasted.settings(), own);
    ASSERT_NE(pasted.findRow(15), nullptr);
    EXPECT_EQ(pasted.findRow(15)->outlineLevel, 0);
}

}  // namespace
}  // namespace plyfold::engine
