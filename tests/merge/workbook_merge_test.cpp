#include <gtest/gtest.h>

#include "engine/model/workbook.h"
#include "merge/merges.h"
#include "tests/merge/merge_fixture.h"
#include "tests/support/failing_file_system.h"

namespace plyfold::merge {
namespace {

using test::Grid;

std::vector<std::string> sheetNames(const engine::Workbook& book) {
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(book.sheetCount()));
    for (int32_t i = 0; i < book.sheetCount(); ++i) {
        names.push_back(book.sheet(i).name());
    }
    return names;
}

class WorkbookMerge : public test::MergeTest {};

TEST_F(WorkbookMerge, CopiesEveryCheckedSheetInQueueOrder) {
    Grid one{{1.0}};
    std::string a = writeBook("a.xlsx", {{"Sheet1", one}, {"Costs", one}});
    std::string b = writeBook("b.xlsx", {{"Sales", one}});
    queue(a, "Costs");
    queue(b, "Sales", false);
    queue(dir.file("missing.xlsx"), "X");
    queue(b, "Sales");
    queue(a, "Sheet1");
    queue(a, "Sheet1");
    test::FailingFileSystem files;
    ASSERT_TRUE(MergeToOneWorkbook(form));
    EXPECT_EQ(sheetNames(resultBook()),
              (std::vector<std::string>{"Costs", "Sales", "Sheet1", "Sheet1 (2)"}));
    EXPECT_EQ(resultBook().activeSheet(), 0);
    EXPECT_EQ(progress, (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(files.opensOf(a), 2);
    EXPECT_EQ(files.opensOf(b), 1);
    EXPECT_TRUE(presenter.server->isVisible());
}

TEST_F(WorkbookMerge, NothingToCopyGivesFalseAndEndsTheInstance) {
    queue(dir.file("missing.xlsx"), "X");
    EXPECT_FALSE(MergeToOneWorkbook(form));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(servers.runningCount(), 0);
    queue(writeBook("a.xlsx", {{"S", Grid{{1.0}}}}), "Nope");
    EXPECT_FALSE(MergeToOneWorkbook(form));
    EXPECT_FALSE(presenter.server);
}

TEST_F(WorkbookMerge, ThePlaceholderNeverRemains) {
    std::string a = writeBook("a.xlsx", {{kPlaceholderSheetName + std::string(), Grid{{1.0}}}});
    queue(a, kPlaceholderSheetName);
    ASSERT_TRUE(MergeToOneWorkbook(form));
    EXPECT_EQ(resultBook().sheetCount(), 1);
    EXPECT_EQ(resultBook().sheet(0).name(), std::string(kPlaceholderSheetName) + " (2)");
}

}  // namespace
}  // namespace plyfold::merge
