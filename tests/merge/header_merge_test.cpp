#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/io/workbook_io.h"
#include "engine/model/style.h"
#include "engine/model/workbook.h"
#include "merge/header_match.h"
#include "merge/merges.h"
#include "tests/merge/merge_fixture.h"

namespace plyfold::merge {
namespace {

using test::Grid;
using V = std::vector<std::string>;
using Headers = std::vector<std::string>;

TEST(HeaderUnion, PlacesEveryColumnUnderItsHeader) {
    struct Case {
        const char* name;
        std::vector<Headers> blocks;
        std::vector<std::vector<int32_t>> places;
        int32_t columns;
    };
    const Case cases[] = {
        {"same order", {{"Date", "Units"}, {"Date", "Units"}}, {{0, 1}, {0, 1}}, 2},
        {"reordered",
         {{"Date", "Region", "Units"}, {"Units", "Date", "Region"}},
         {{0, 1, 2}, {2, 0, 1}},
         3},
        {"added and missing",
         {{"Date", "Units"}, {"Region", "Units"}, {"Price"}},
         {{0, 1}, {2, 1}, {3}},
         4},
        {"case and blanks", {{"Date", "Units"}, {" UNITS\xC2\xA0", "date\t"}}, {{0, 1}, {1, 0}}, 2},
        {"folded beyond ASCII", {{"Größe", "ΣΥΝΟΛΟ"}, {"σύνολο", "GRÖSSE"}}, {{0, 1}, {2, 3}}, 4},
        {"repeats in order",
         {{"Amount", "Name", "Amount"}, {"Amount", "Amount", "Amount", "Name"}},
         {{0, 1, 2}, {0, 2, 3, 1}},
         4},
        {"blank headers match in order", {{"", "A", ""}, {"A", "", ""}}, {{0, 1, 2}, {1, 0, 2}}, 3},
    };
    for (const Case& c : cases) {
        HeaderUnion headers;
        for (size_t i = 0; i < c.blocks.size(); ++i) {
            EXPECT_EQ(headers.place(c.blocks[i]), c.places[i]) << c.name << ", block " << i;
        }
        EXPECT_EQ(headers.columnCount(), c.columns) << c.name;
    }
}

TEST(HeaderDifference, SaysWhatALaterBlockLacksAndAdds) {
    struct Case {
        Headers first;
        Headers other;
        const char* difference;
    };
    const Case cases[] = {
        {{"Date", "Units"}, {"date ", "UNITS"}, ""},
        {{"Date", "Units"}, {"Units", "Date"}, "the same headers in another order"},
        {{"Date", "Units"}, {"Date"}, "lacks Units"},
        {{"Date"}, {"Date", "Region", " "}, "adds Region, (blank)"},
        {{"Date", "Units", "Units"}, {"Units", "Region", "Date"}, "lacks Units; adds Region"},
        {{"A", "B", "C", "D", "E", "F", "G"}, {}, "lacks A, B, C, D, E and 2 more"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(headerDifference(c.first, c.other), c.difference)
            << ::testing::PrintToString(c.other);
    }
}

class HeaderMerge : public test::MergeTest {
protected:
    // Monthly sheets whose columns drifted: February reordered them and added Region, March
    // lacks Units.
    void queueMonths() {
        queue(writeBook("01-January.xlsx",
                        {{"Sales",
                          Grid{{"Date", "Units", "Price"}, {1.0, 10.0, 2.0}, {2.0, 11.0, 3.0}}}}),
              "Sales");
        queue(writeBook("02-February.xlsx", {{"Sales", Grid{{"Price", "Region", "Date", "Units"},
                                                            {4.0, "West", 3.0, 12.0}}}}),
              "Sales");
        queue(writeBook("03-March.xlsx", {{"Sales", Grid{{"date", " PRICE "}, {5.0, 6.0}}}}),
              "Sales");
    }
};

TEST_F(HeaderMerge, PutsEveryColumnUnderItsHeader) {
    queueMonths();
    form.matchHeaders = true;
    form.Check1.setValue(1);
    ASSERT_TRUE(MergeSheetsVertically(form));
    EXPECT_EQ(resultRows(),
              (V{"Date|Units|Price|Region", "1|10|2|", "2|11|3|", "3|12|4|West", "5||6|"}));
}

TEST_F(HeaderMerge, KeepsLaterHeaderRowsWhenTheFirstRowIsNotDropped) {
    queueMonths();
    form.matchHeaders = true;
    ASSERT_TRUE(MergeSheetsVertically(form));
    EXPECT_EQ(resultRows(),
              (V{"Date|Units|Price|Region", "1|10|2|", "2|11|3|", "Date|Units|Price|Region",
                 "3|12|4|West", "date|| PRICE |", "5||6|"}));
}

TEST_F(HeaderMerge, AddsASourceColumnNamingFileAndSheet) {
    queueMonths();
    form.matchHeaders = true;
    form.sourceColumn = true;
    form.Check1.setValue(1);
    form.BlockGap = 1;
    ASSERT_TRUE(MergeSheetsVertically(form));
    EXPECT_EQ(resultRows(),
              (V{"Source|Date|Units|Price|Region", "01-January.xlsx:Sales|1|10|2|",
                 "01-January.xlsx:Sales|2|11|3|", "||||", "02-February.xlsx:Sales|3|12|4|West",
                 "||||", "03-March.xlsx:Sales|5||6|"}));
}

TEST_F(HeaderMerge, FormulasFollowTheCellsTheyRead) {
    // Total reads Units and Price of its own row; a later file saved its columns the other
    // way round, and its Check sums a range whose columns part.
    queue(
        writeBook(
            "a.xlsx",
            {{"S", Grid{{"Units", "Price", "Total"}, {2.0, 3.0, "=A2*B2"}, {4.0, 5.0, "=A3*B3"}}}}),
        "S");
    queue(writeBook("b.xlsx", {{"S", Grid{{"Total", "Price", "Units", "Check"},
                                          {"=C2*B2", 7.0, 6.0, "=SUM(A2:C2)"}}}}),
          "S");
    form.matchHeaders = true;
    form.Check1.setValue(1);
    ASSERT_TRUE(MergeSheetsVertically(form));
    const V rows = resultRows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], "Units|Price|Total|Check");
    EXPECT_EQ(rows[1], "2|3|=A2*B2|");
    EXPECT_EQ(rows[2], "4|5|=A3*B3|");
    // The range A2:C2 of b no longer lies side by side: it reads b's own cells.
    EXPECT_EQ(rows[3].substr(0, rows[3].rfind('|')), "6|7|=A4*B4");
    EXPECT_NE(rows[3].find("=SUM([1]S!A2:C2)"), std::string::npos) << rows[3];
}

TEST_F(HeaderMerge, LeavesTitleRowsOutAboveTheHeaderRow) {
    queue(writeBook("a.xlsx", {{"S", Grid{{"January report"}, {"Date", "Units"}, {1.0, 2.0}}}}),
          "S");
    queue(writeBook("b.xlsx", {{"S", Grid{{"February report"}, {"Units", "Date"}, {3.0, 4.0}}}}),
          "S");
    form.headerRow = 2;
    form.Check1.setValue(1);
    for (bool match : {false, true}) {
        form.matchHeaders = match;
        ASSERT_TRUE(MergeSheetsVertically(form));
        EXPECT_EQ(resultRows(),
                  (match ? V{"Date|Units", "1|2", "4|3"} : V{"Date|Units", "1|2", "3|4"}))
            << "matching " << match;
    }
}

TEST_F(HeaderMerge, ABlockWithNothingBelowItsTitlesAddsNothing) {
    queue(writeBook("a.xlsx", {{"S", Grid{{"Title only"}}}}), "S");
    queue(writeBook("b.xlsx", {{"S", Grid{{"Title"}, {"Date"}, {1.0}}}}), "S");
    form.headerRow = 2;
    MergeOutcome outcome;
    ASSERT_TRUE(MergeSheetsVertically(form, &outcome));
    EXPECT_EQ(resultRows(), (V{"Date", "1"}));
    ASSERT_EQ(outcome.rows.size(), 2u);
    EXPECT_EQ(outcome.rows[0].rows, 0);
    EXPECT_EQ(outcome.rows[1].rows, 2);
}

TEST_F(HeaderMerge, ByPositionNamesTheBlocksWhoseHeadersDiffer) {
    queueMonths();
    form.Check1.setValue(1);
    MergeOutcome outcome;
    ASSERT_TRUE(MergeSheetsVertically(form, &outcome));
    // The result is stacked by position, as without the check.
    EXPECT_EQ(resultRows(), (V{"Date|Units|Price|", "1|10|2|", "2|11|3|", "4|West|3|12", "5|6||"}));
    ASSERT_EQ(outcome.headerDifferences.size(), 2u);
    EXPECT_EQ(outcome.headerDifferences[0].difference, "adds Region");
    EXPECT_EQ(outcome.headerDifferences[1].difference, "lacks Units");
    EXPECT_NE(outcome.headerDifferences[1].message().find("03-March.xlsx', sheet 'Sales'"),
              std::string::npos);

    // Without a header row to compare (nothing dropped, no header row given), nothing is said.
    form.Check1.setValue(0);
    ASSERT_TRUE(MergeSheetsVertically(form, &outcome));
    EXPECT_TRUE(outcome.headerDifferences.empty());
    // Matching by header, the differences are what the merge mends.
    form.Check1.setValue(1);
    form.matchHeaders = true;
    ASSERT_TRUE(MergeSheetsVertically(form, &outcome));
    EXPECT_TRUE(outcome.headerDifferences.empty());
}

TEST_F(HeaderMerge, TheHorizontalMergeNamesEachBlockAboveIt) {
    queue(writeBook("a.xlsx", {{"S", Grid{{"K", "a"}, {"k2", "a2"}}}}), "S");
    queue(writeBook("b.xlsx", {{"T", Grid{{"K", "b"}, {"k2", "b2"}}}}), "T");
    form.sourceColumn = true;
    form.Check1.setValue(1);
    ASSERT_TRUE(MergeSheetsHorizontally(form));
    EXPECT_EQ(resultRows(), (V{"Source|a.xlsx:S|b.xlsx:T", "K|a|b", "k2|a2|b2"}));
    form.Check1.setValue(0);
    ASSERT_TRUE(MergeSheetsHorizontally(form));
    EXPECT_EQ(resultRows(), (V{"a.xlsx:S|a.xlsx:S|b.xlsx:T|b.xlsx:T", "K|a|K|b", "k2|a2|k2|b2"}));
}

// An empty worksheet (a workbook's unused Sheet2) is no block: first in the queue it neither
// becomes the result's header row nor lets the next block's header row be dropped, and it
// never differs from the first block's headers. Each merge gives what it gives without it.
TEST_F(HeaderMerge, AnEmptyWorksheetIsNoBlock) {
    const std::string units =
        writeBook("units.xlsx", {{"S", Grid{{"Units", "Price"}, {1.0, 2.0}}}, {"Blank", {}}});
    const struct {
        const char* what;
        bool horizontal;
        bool matchHeaders;
        bool sourceColumn;
    } cases[] = {
        {"by position", false, false, false},
        {"matching", false, true, false},
        {"matching with a source column", false, true, true},
        {"by position with a source column", false, false, true},
        {"side by side", true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        form.matchHeaders = c.matchHeaders;
        form.sourceColumn = c.sourceColumn;
        form.Check1.setValue(1);
        form.BlockGap = 1;
        auto merge = [&](const std::vector<std::string>& sheets) {
            form.ListView4.clear();
            for (const std::string& sheet : sheets) {
                queue(units, sheet);
            }
            MergeOutcome outcome;
            EXPECT_TRUE(c.horizontal ? MergeSheetsHorizontally(form, &outcome)
                                     : MergeSheetsVertically(form, &outcome));
            for (const HeaderDifference& difference : outcome.headerDifferences) {
                ADD_FAILURE() << difference.message();
            }
            return resultRows();
        };
        const V without = merge({"S", "S"});
        ASSERT_GE(without.size(), 2u);
        EXPECT_NE(without[0].find("Units"), std::string::npos) << without[0];
        EXPECT_EQ(merge({"Blank", "S", "S"}), without);
        EXPECT_EQ(merge({"S", "Blank", "S"}), without);
        EXPECT_EQ(merge({"S", "S", "Blank"}), without);
    }
}

// A sheet with a bold header row and its Price column formatted "0.00".
std::string writeStyledBook(const std::string& path, const Headers& headers, double price) {
    engine::Workbook book;
    engine::Sheet& sheet = book.addSheet("S");
    engine::Font bold;
    bold.bold = true;
    engine::CellStyle headerStyle;
    headerStyle.font = book.styles().addFont(bold);
    const uint32_t header = book.styles().addStyle(headerStyle);
    engine::CellStyle moneyStyle;
    moneyStyle.numberFormat = book.styles().addFormatCode("0.00");
    const uint32_t money = book.styles().addStyle(moneyStyle);
    for (int32_t c = 0; c < static_cast<int32_t>(headers.size()); ++c) {
        engine::Cell& cell = sheet.cellAt({0, c});
        cell.type = engine::CellType::Text;
        cell.value.text = book.strings().intern(headers[static_cast<size_t>(c)]);
        cell.style = header;
        engine::Cell& value = sheet.cellAt({1, c});
        value.type = engine::CellType::Number;
        value.value.number = headers[static_cast<size_t>(c)] == "Price" ? price : 1;
        value.style = headers[static_cast<size_t>(c)] == "Price" ? money : 0;
    }
    engine::saveWorkbook(book, path);
    return path;
}

TEST_F(HeaderMerge, FormatsTravelWithTheirCellsAndTheSourceHeaderLooksLikeTheHeaderRow) {
    queue(writeStyledBook(dir.file("a.xlsx"), {"Date", "Price"}, 2.5), "S");
    queue(writeStyledBook(dir.file("b.xlsx"), {"Price", "Units"}, 3.25), "S");
    form.matchHeaders = true;
    form.sourceColumn = true;
    form.Check1.setValue(1);
    ASSERT_TRUE(MergeSheetsVertically(form));
    EXPECT_EQ(resultRows(), (V{"Source|Date|Price|Units", "a.xlsx:S|1|2.5|", "b.xlsx:S||3.25|1"}));
    const engine::Workbook& book = resultBook();
    const engine::Sheet& sheet = book.sheet(0);
    auto fontOf = [&](int32_t row, int32_t column) {
        return book.styles().font(book.styles().style(sheet.findCell({row, column})->style).font);
    };
    auto formatOf = [&](int32_t row, int32_t column) {
        return std::string(book.styles().formatCode(
            book.styles().style(sheet.findCell({row, column})->style).numberFormat));
    };
    EXPECT_TRUE(fontOf(0, 0).bold) << "Source";
    EXPECT_TRUE(fontOf(0, 3).bold) << "Units, added by the second block";
    EXPECT_EQ(formatOf(1, 2), "0.00");
    EXPECT_EQ(formatOf(2, 2), "0.00") << "Price moved from the first column";
}

}  // namespace
}  // namespace plyfold::merge
