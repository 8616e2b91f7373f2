#include <gtest/gtest.h>

#include "engine/io/workbook_io.h"
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

// A workbook of one-cell sheets, each with the given visibility.
std::string writeSheetsShownAs(
    const std::string& path,
    const std::vector<std::pair<std::string, engine::SheetVisibility>>& sheets) {
    engine::Workbook book;
    for (const auto& [name, visibility] : sheets) {
        engine::Sheet& sheet = book.addSheet(name);
        engine::Cell& cell = sheet.cellAt({0, 0});
        cell.type = engine::CellType::Number;
        cell.value.number = 1;
        sheet.setVisibility(visibility);
    }
    engine::saveWorkbook(book, path);
    return path;
}

TEST_F(WorkbookMerge, HiddenSheetsStayHiddenAndOneSheetIsAlwaysShown) {
    using V = engine::SheetVisibility;
    const std::string path = writeSheetsShownAs(
        dir.file("book.xlsx"),
        {{"Data", V::Visible}, {"Helper", V::Hidden}, {"Secret", V::VeryHidden}});
    struct Case {
        std::vector<std::string> queued;
        std::vector<V> expected;
        int32_t active;
    };
    const Case cases[] = {
        {{"Data", "Helper", "Secret"}, {V::Visible, V::Hidden, V::VeryHidden}, 0},
        {{"Helper", "Secret", "Data"}, {V::Hidden, V::VeryHidden, V::Visible}, 2},
        // Nothing visible among the copies: the first is shown, since a workbook shows one.
        {{"Secret", "Helper"}, {V::Visible, V::Hidden}, 0},
        {{"Helper"}, {V::Visible}, 0},
    };
    for (const Case& c : cases) {
        if (presenter.server) {
            presenter.server->Quit();
        }
        form.ListView4.clear();
        for (const std::string& sheet : c.queued) {
            queue(path, sheet);
        }
        ASSERT_TRUE(MergeToOneWorkbook(form)) << c.queued.front();
        const engine::Workbook& book = resultBook();
        EXPECT_EQ(sheetNames(book), c.queued);
        std::vector<V> shown;
        for (int32_t i = 0; i < book.sheetCount(); ++i) {
            shown.push_back(book.sheet(i).visibility());
        }
        EXPECT_EQ(shown, c.expected) << c.queued.front();
        EXPECT_EQ(book.activeSheet(), c.active) << c.queued.front();
    }
}

TEST(WorksheetVisibility, TheLastVisibleSheetCannotBeHidden) {
    test::ServerTracker servers;
    auto server = automation::CreateObject(automation::kSpreadsheetProgId);
    const automation::Workbook book = server->Workbooks().Add();
    automation::Worksheet only = book.Sheets()(1);
    EXPECT_THROW(only.setVisible(automation::SheetVisibility::Hidden), SpreadsheetError);
    EXPECT_THROW(only.setVisible(automation::SheetVisibility::VeryHidden), SpreadsheetError);
    EXPECT_EQ(only.Visible(), automation::SheetVisibility::Visible);
    only.setVisible(automation::SheetVisibility::Visible);
    server->Quit();
}

}  // namespace
}  // namespace plyfold::merge
