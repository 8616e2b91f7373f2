#include <gtest/gtest.h>

#include "engine/io/workbook_io.h"
#include "engine/model/limits.h"
#include "engine/model/workbook.h"
#include "merge/merge_request.h"
#include "tests/merge/merge_fixture.h"

namespace plyfold::merge {
namespace {

using test::taggedGrid;
using V = std::vector<std::string>;

class MergeRequestTest : public test::MergeTest {
protected:
    MergeRequest request(MergeMode mode, std::vector<QueueRow> rows) {
        MergeRequest r;
        r.mode = mode;
        r.rows = std::move(rows);
        return r;
    }
};

const MergeMode kModes[] = {MergeMode::Vertical, MergeMode::Horizontal, MergeMode::Workbook};

TEST_F(MergeRequestTest, EveryModeNamesTheFileAndSheetThatFailed) {
    const std::string a = writeBook("a.xlsx", {{"S", taggedGrid("a", 1, 1)}});
    const std::string broken = dir.file("broken.xlsx");
    test::writeFile(broken, "PK\x03\x04 not really a workbook");
    struct Case {
        std::string path;
        std::string sheet;
        int number;
    };
    const Case cases[] = {
        {a, "Nowhere", static_cast<int>(ErrorNumber::SubscriptOutOfRange)},
        {broken, "S", static_cast<int>(ErrorNumber::ApplicationDefined)},
    };
    for (MergeMode mode : kModes) {
        for (const Case& c : cases) {
            MergeOutcome outcome =
                runMerge(request(mode, {{a, "S", true}, {c.path, c.sheet, true}}));
            ASSERT_FALSE(outcome.succeeded()) << c.path;
            const MergeFailure& failure = *outcome.failure;
            EXPECT_EQ(failure.path, c.path);
            EXPECT_EQ(failure.sheet, c.sheet);
            EXPECT_GT(failure.number, 0);
            const std::string message = failure.message();
            EXPECT_NE(message.find("'" + c.path + "'"), std::string::npos) << message;
            EXPECT_NE(message.find("'" + c.sheet + "'"), std::string::npos) << message;
            EXPECT_NE(message.find(failure.description), std::string::npos) << message;
            EXPECT_FALSE(outcome.server);
            EXPECT_EQ(servers.runningCount(), 0);
        }
    }
}

TEST_F(MergeRequestTest, NothingToMergeNamesNoRow) {
    for (MergeMode mode : kModes) {
        MergeOutcome outcome = runMerge(
            request(mode, {{dir.file("gone.xlsx"), "S", true}, {dir.file("a.xlsx"), "S", false}}));
        ASSERT_FALSE(outcome.succeeded());
        EXPECT_TRUE(outcome.failure->path.empty());
        EXPECT_EQ(outcome.failure->message(), outcome.failure->description);
        EXPECT_NE(outcome.failure->description.find("Nothing was merged"), std::string::npos);
        EXPECT_EQ(servers.runningCount(), 0);
    }
}

TEST_F(MergeRequestTest, ABlockPastTheLastRowOrColumnNamesTheSourceThatDidNotFit) {
    const std::string a = writeBook("a.xlsx", {{"First", taggedGrid("a", 2, 2)}});
    const std::string b = writeBook("b.xlsx", {{"Second", taggedGrid("b", 2, 2)}});
    for (MergeMode mode : {MergeMode::Vertical, MergeMode::Horizontal}) {
        MergeRequest r = request(mode, {{a, "First", true}, {b, "Second", true}});
        r.gap = (mode == MergeMode::Vertical ? engine::kMaxRows : engine::kMaxColumns) - 3;
        MergeOutcome outcome = runMerge(r);
        ASSERT_FALSE(outcome.succeeded());
        EXPECT_EQ(outcome.failure->path, b);
        EXPECT_EQ(outcome.failure->sheet, "Second");
        EXPECT_NE(outcome.failure->description.find("does not fit"), std::string::npos)
            << outcome.failure->description;
    }
}

TEST_F(MergeRequestTest, ASuccessLeavesTheResultRunningAndTellsProgressOfEveryRow) {
    const std::string a = writeBook("a.xlsx", {{"S", taggedGrid("a", 2, 2)}});
    std::vector<int> reached;
    MergeRequest r = request(
        MergeMode::Vertical,
        {{a, "S", true}, {a, "S", false}, {dir.file("gone.xlsx"), "S", true}, {a, "S", true}});
    r.dropFirstLine = true;
    r.progress = [&reached](int row) { reached.push_back(row); };
    MergeOutcome outcome = runMerge(r);
    ASSERT_TRUE(outcome.succeeded()) << outcome.failure->message();
    EXPECT_EQ(reached, (std::vector<int>{1, 2, 3, 4}));
    ASSERT_TRUE(outcome.server && outcome.result);
    EXPECT_TRUE(outcome.server->isRunning());
    EXPECT_TRUE(outcome.server->isVisible());
    EXPECT_EQ(outcome.result->Worksheets().count(), 1);
    EXPECT_EQ(resultRows(), (V{"a11|a12", "a21|a22", "a21|a22"}));
}

// The result is shown with every queued file, once each, in queue order: the merged ones, the
// unchecked ones and the missing ones, so that the result is saved over none of them.
TEST_F(MergeRequestTest, TheResultIsShownWithEveryQueuedFile) {
    const std::string a = writeBook("a.xlsx", {{"S", taggedGrid("a", 1, 1)}});
    const std::string b = writeBook("b.xlsx", {{"S", taggedGrid("b", 1, 1)}});
    const std::string missing = dir.file("missing.xlsx");
    for (MergeMode mode : kModes) {
        presenter.shown.clear();
        MergeOutcome outcome = runMerge(
            request(mode, {{b, "S", true}, {a, "S", false}, {missing, "S", true}, {b, "S", true}}));
        ASSERT_TRUE(outcome.succeeded()) << outcome.failure->message();
        ASSERT_EQ(presenter.shown.size(), 1u);
        EXPECT_EQ(presenter.shown[0].sources, (V{b, a, missing}));
        EXPECT_EQ(outcome.server->sourcePaths(), (V{b, a, missing}));
        outcome.server->Quit();
    }
}

TEST_F(MergeRequestTest, TheMemoryLimitIsTheMergesAndNamesWhatDidNotFit) {
    // 10,000 numbers: about 250 KB read, as much again pasted into the result.
    std::string rows;
    for (int r = 0; r < 100; ++r) {
        for (int c = 0; c < 100; ++c) {
            rows += c ? ",1" : "1";
        }
        rows += "\n";
    }
    const std::string big = dir.file("big.csv");
    test::writeFile(big, rows);
    struct Case {
        uint64_t limit;
        std::string description;  // empty for a merge that succeeds
    };
    const Case cases[] = {
        {100 * 1024, "'" + big +
                         "', sheet 'big': reading it would take more than the 100 KB of memory "
                         "this merge may use."},
        {400 * 1024,
         "Pasting the copied cells into the sheet 'Sheet1' would take more than the "
         "400 KB of memory this merge may use."},
        {0, ""},
        {64 << 20, ""},
    };
    for (const Case& c : cases) {
        MergeRequest r = request(MergeMode::Vertical, {{big, "big", true}});
        r.memoryLimit = c.limit;
        MergeOutcome outcome = runMerge(r);
        if (c.description.empty()) {
            EXPECT_TRUE(outcome.succeeded()) << c.limit << ": " << outcome.failure->message();
            continue;
        }
        ASSERT_FALSE(outcome.succeeded()) << c.limit;
        EXPECT_EQ(outcome.failure->number, static_cast<int>(ErrorNumber::OutOfMemory));
        EXPECT_EQ(outcome.failure->path, big);
        EXPECT_EQ(outcome.failure->sheet, "big");
        EXPECT_EQ(outcome.failure->description, c.description);
        EXPECT_EQ(servers.runningCount(), 0);
    }
}

TEST_F(MergeRequestTest, SaveAsWritesTheFormatTheNameAsksForInAnyCase) {
    const std::string a = writeBook("a.xlsx", {{"S", taggedGrid("a", 1, 2)}});
    MergeOutcome outcome = runMerge(request(MergeMode::Vertical, {{a, "S", true}}));
    ASSERT_TRUE(outcome.succeeded());
    for (const char* name : {"out.csv", "out.Csv", "OUT2.CSV"}) {
        outcome.result->SaveAs(dir.file(name));
        EXPECT_EQ(test::readFile(dir.file(name)),
                  "\xEF\xBB\xBF"
                  "a11,a12\r\n")
            << name;
    }
    for (const char* name : {"out.xlsx", "out.XLSX"}) {
        outcome.result->SaveAs(dir.file(name));
        EXPECT_EQ(test::readFile(dir.file(name)).substr(0, 2), "PK") << name;
        EXPECT_EQ(test::sheetRows(*engine::openWorkbook(dir.file(name)), 0), (V{"a11|a12"}));
    }
    outcome.server->Quit();
}

}  // namespace
}  // namespace plyfold::merge
