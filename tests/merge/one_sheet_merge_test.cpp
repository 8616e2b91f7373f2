#include <gtest/gtest.h>

#include "engine/model/limits.h"
#include "engine/model/workbook.h"
#include "merge/merges.h"
#include "tests/merge/merge_fixture.h"
#include "tests/support/failing_file_system.h"

namespace plyfold::merge {
namespace {

using test::Grid;
using test::taggedGrid;
using V = std::vector<std::string>;

class VerticalMerge : public test::MergeTest {};

TEST_F(VerticalMerge, ReplaysTheWorkedExample) {
    std::string a = writeBook("a.xlsx", {{"S", taggedGrid("a", 3, 3)}});
    std::string b = writeBook("b.xlsx", {{"S", taggedGrid("b", 3, 3)}});
    queue(a, "S");
    queue(b, "S");
    form.BlockGap = 1;
    form.Check1.setValue(1);
    ASSERT_TRUE(MergeSheetsVertically(form));
    EXPECT_EQ(resultRows(),
              (V{"a11|a12|a13", "a21|a22|a23", "a31|a32|a33", "||", "b21|b22|b23", "b31|b32|b33"}));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(resultBook().sheetCount(), 1);
    EXPECT_TRUE(presenter.server->isVisible());
    EXPECT_TRUE(presenter.server->displayAlerts());
}

TEST_F(VerticalMerge, GapsLeaveExactlyThatManyEmptyRows) {
    std::string a = writeBook("a.xlsx", {{"S", taggedGrid("a", 2, 1)}});
    for (int gap : {0, 3}) {
        form.ListView4.clear();
        queue(a, "S");
        queue(a, "S");
        form.BlockGap = gap;
        ASSERT_TRUE(MergeSheetsVertically(form));
        V expected{"a11", "a21"};
        expected.insert(expected.end(), static_cast<size_t>(gap), "");
        expected.insert(expected.end(), {"a11", "a21"});
        EXPECT_EQ(resultRows(), expected) << "gap " << gap;
    }
}

TEST_F(VerticalMerge, ABlockLandsInColumnAWhereverItLiesOnItsSheet) {
    std::string a = writeBook("a.xlsx", {{"S", taggedGrid("a", 1, 2)}});
    std::string c5 = writeBook("c5.xlsx", {{"S", taggedGrid("c", 2, 2)}}, "C5");
    queue(a, "S");
    queue(c5, "S");
    ASSERT_TRUE(MergeSheetsVertically(form));
    EXPECT_EQ(resultRows(), (V{"a11|a12", "c11|c12", "c21|c22"}));
}

TEST_F(VerticalMerge, SkippedRowsStillMoveTheProgressBar) {
    std::string a = writeBook("a.xlsx", {{"S", taggedGrid("a", 1, 1)}});
    queue(a, "S", false);
    queue(dir.file("missing.xlsx"), "S");
    queue(a, "S");
    queue(a, "S", false);
    form.Check1.setValue(1);
    form.ProgressBar1.setMaximum(4);
    ASSERT_TRUE(MergeSheetsVertically(form));
    EXPECT_EQ(progress, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(resultRows(), (V{"a11"})) << "the first merged block keeps its first row";
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(VerticalMerge, OpensEachRunOfOneWorkbookOnce) {
    std::string a =
        writeBook("a.xlsx", {{"S", taggedGrid("a", 1, 1)}, {"T", taggedGrid("t", 1, 1)}});
    std::string b = writeBook("b.xlsx", {{"S", taggedGrid("b", 1, 1)}});
    queue(a, "S");
    queue(a, "T");
    queue(a, "S", false);
    queue(a, "S");
    test::FailingFileSystem files;
    ASSERT_TRUE(MergeSheetsVertically(form));
    EXPECT_EQ(files.opensOf(a), 1);
    queue(b, "S");
    queue(a, "T");
    ASSERT_TRUE(MergeSheetsVertically(form));
    EXPECT_EQ(files.opensOf(a), 3) << "A, B, A opens A twice";
    EXPECT_EQ(files.opensOf(b), 1);
    EXPECT_EQ(resultRows(), (V{"a11", "t11", "a11", "b11", "t11"}));
}

TEST_F(VerticalMerge, FormulasStillPointAtTheirCells) {
    Grid sums{{1.0, 2.0, std::string("=A1+B1")}, {3.0, 4.0, std::string("=SUM(A$1:B2)")}};
    std::string a = writeBook("a.xlsx", {{"S", taggedGrid("h", 2, 3)}});
    std::string b = writeBook("b.xlsx", {{"S", sums}});
    queue(a, "S");
    queue(b, "S");
    form.BlockGap = 2;
    ASSERT_TRUE(MergeSheetsVertically(form));
    V rows = resultRows();
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[4], "1|2|=A5+B5");
    // The absolute row moves with the block too: the sum reads the block's own cells, not
    // the first block's.
    EXPECT_EQ(rows[5], "3|4|=SUM(A$5:B6)");
}

TEST_F(VerticalMerge, FailuresAreDescribedAndEndTheInstance) {
    std::string a = writeBook("a.xlsx", {{"S", taggedGrid("a", 1, 1)}});
    std::string broken = dir.file("broken.xlsx");
    test::writeFile(broken, "PK\x03\x04 not really a workbook");
    struct Case {
        std::string path;
        std::string sheet;
        std::string mentions;
    };
    const Case cases[] = {
        {a, "Nowhere", "Nowhere"},
        {broken, "S", "broken.xlsx"},
        {dir.file("gone.xlsx"), "S", "exists"},
    };
    for (const Case& c : cases) {
        form.ListView4.clear();
        messages.shown.clear();
        queue(c.path, c.sheet);
        EXPECT_FALSE(MergeSheetsVertically(form)) << c.path;
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_NE(messages.shown[0].first.find(c.mentions), std::string::npos)
            << messages.shown[0].first;
        EXPECT_EQ(messages.shown[0].second, controls::MessageIcon::Critical);
        EXPECT_EQ(servers.runningCount(), 0);
        EXPECT_FALSE(presenter.server);
    }
}

TEST_F(VerticalMerge, AGapPastTheLastRowFailsClearly) {
    std::string a = writeBook("a.xlsx", {{"S", taggedGrid("a", 1, 1)}});
    queue(a, "S");
    queue(a, "S");
    form.BlockGap = engine::kMaxRows;
    EXPECT_FALSE(MergeSheetsVertically(form));
    ASSERT_EQ(messages.shown.size(), 1u);
    form.BlockGap = std::numeric_limits<int32_t>::max();
    EXPECT_FALSE(MergeSheetsVertically(form));
    EXPECT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(servers.runningCount(), 0);
}

TEST_F(VerticalMerge, SourcesAreNeverWritten) {
    std::string a = writeBook("a.xlsx", {{"S", taggedGrid("a", 2, 2)}});
    std::string before = test::readFile(a);
    queue(a, "S");
    form.Check1.setValue(1);
    ASSERT_TRUE(MergeSheetsVertically(form));
    EXPECT_EQ(test::readFile(a), before);
}

class HorizontalMerge : public test::MergeTest {};

TEST_F(HorizontalMerge, ReplaysTheWorkedExample) {
    std::string a = writeBook("a.xlsx", {{"S", taggedGrid("a", 3, 3)}});
    std::string b = writeBook("b.xlsx", {{"S", taggedGrid("b", 3, 3)}});
    queue(a, "S");
    queue(b, "S");
    form.BlockGap = 1;
    form.Check1.setValue(1);
    ASSERT_TRUE(MergeSheetsHorizontally(form));
    EXPECT_EQ(resultRows(),
              (V{"a11|a12|a13||b12|b13", "a21|a22|a23||b22|b23", "a31|a32|a33||b32|b33"}));
}

TEST_F(HorizontalMerge, BlocksOfDifferentHeightsStandSideBySideFromRowOne) {
    std::string a = writeBook("a.xlsx", {{"S", taggedGrid("a", 1, 1)}});
    std::string c5 = writeBook("c5.xlsx", {{"S", taggedGrid("c", 3, 1)}}, "C5");
    queue(a, "S");
    queue(c5, "S");
    ASSERT_TRUE(MergeSheetsHorizontally(form));
    EXPECT_EQ(resultRows(), (V{"a11|c11", "|c21", "|c31"}));
}

TEST_F(HorizontalMerge, FailsWithoutAMessageOfItsOwn) {
    queue(writeBook("a.xlsx", {{"S", taggedGrid("a", 1, 1)}}), "Nowhere");
    EXPECT_FALSE(MergeSheetsHorizontally(form));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(servers.runningCount(), 0);
}

TEST_F(HorizontalMerge, OnlyMissingFilesGiveFalse) {
    queue(dir.file("a.xlsx"), "S");
    queue(dir.file("b.xlsx"), "S");
    EXPECT_FALSE(MergeSheetsHorizontally(form));
    EXPECT_EQ(progress, (std::vector<int>{1, 2}));
}

}  // namespace
}  // namespace plyfold::merge
