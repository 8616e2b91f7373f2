#include <gtest/gtest.h>

#include "engine/common/error.h"
#include "engine/model/cell_ref.h"
#include "engine/model/string_pool.h"
#include "engine/model/workbook.h"

namespace plyfold::engine {
namespace {

TEST(CellNames, ConvertBothWays) {
    struct Case {
        CellRef ref;
        const char* name;
    };
    for (const Case& c : {Case{{0, 0}, "A1"}, Case{{4, 2}, "C5"}, Case{{9, 25}, "Z10"},
                          Case{{0, 26}, "AA1"}, Case{{1048575, 16383}, "XFD1048576"}}) {
        EXPECT_EQ(cellName(c.ref), c.name);
        auto parsed = parseCellName(c.name);
        ASSERT_TRUE(parsed) << c.name;
        EXPECT_EQ(*parsed, c.ref);
    }
    EXPECT_EQ(absoluteCellName({4, 2}), "$C$5");
    EXPECT_EQ(*parseCellName("$c$5"), (CellRef{4, 2}));
    for (const char* bad : {"", "A", "1", "A0", "XFE1", "A1048577", "A1B", "$$A1"}) {
        EXPECT_FALSE(parseCellName(bad)) << bad;
    }
    auto range = parseRangeName("C3:A1");
    ASSERT_TRUE(range);
    EXPECT_EQ(rangeName(*range), "A1:C3");
}

TEST(StringPool, InternsEachTextOnce) {
    StringPool pool;
    uint32_t a = pool.intern("alpha");
    uint32_t b = pool.intern("beta");
    EXPECT_NE(a, b);
    EXPECT_EQ(pool.intern("alpha"), a);
    EXPECT_EQ(pool.intern(""), pool.intern(""));
    for (int i = 0; i < 100000; ++i) {
        pool.intern("text " + std::to_string(i));
    }
    EXPECT_EQ(pool.intern("text 4711"), pool.intern(std::string("text ") + "4711"));
    EXPECT_EQ(pool.text(b), "beta");
    std::string big(1 << 20, 'x');
    uint32_t id = pool.intern(big);
    EXPECT_EQ(pool.text(id), big);
}

TEST(Sheet, UsedRangeCoversStoredCells) {
    Workbook book;
    Sheet& sheet = book.addSheet("Data");
    EXPECT_FALSE(sheet.usedRange());
    sheet.cellAt({4, 2}).type = CellType::Number;
    sheet.cellAt({7, 5}).type = CellType::Number;
    sheet.cellAt({5, 1}).type = CellType::Number;
    auto used = sheet.usedRange();
    ASSERT_TRUE(used);
    EXPECT_EQ(rangeName(*used), "B5:F8");
    EXPECT_THROW(sheet.cellAt({1048576, 0}), SpreadsheetError);
    EXPECT_THROW(sheet.cellAt({0, 16384}), SpreadsheetError);
}

TEST(Workbook, SheetNamesFollowSpreadsheetRules) {
    Workbook book;
    book.addSheet("Sheet1");
    EXPECT_THROW(book.addSheet("sheet1"), SpreadsheetError);
    EXPECT_THROW(book.addSheet(std::string(32, 'a')), SpreadsheetError);
    EXPECT_THROW(book.addSheet("a/b"), SpreadsheetError);
    EXPECT_THROW(book.addSheet("'quoted"), SpreadsheetError);
    EXPECT_EQ(book.uniqueSheetName("Sheet1"), "Sheet1 (2)");
    book.addSheet("Sheet1 (2)");
    EXPECT_EQ(book.uniqueSheetName("Sheet1"), "Sheet1 (3)");
    std::string longName(31, 'x');
    book.addSheet(longName);
    std::string unique = book.uniqueSheetName(longName);
    EXPECT_EQ(unique, std::string(27, 'x') + " (2)");
    EXPECT_EQ(unique.size(), 31u);
}

}  // namespace
}  // namespace plyfold::engine
