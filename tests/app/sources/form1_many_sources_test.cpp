#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/form1.h"
#include "discovery/path_helpers.h"
#include "tests/discovery/fixtures.h"
#include "tests/support/scripted_presenter.h"
#include "tests/support/temp_dir.h"

namespace plyfold::app {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using test::rows;

// Several sources added at once: files chosen together in Add Excel, files and folders dropped
// on the source list; and what each row of the lists stands for.
class ManySources : public ::testing::Test {
protected:
    ManySources() : form(dir.file("program"), {&messages, &pointer, nullptr, &presenter, nullptr}) {
        form.SetUpControls();
        c().ListView1.setObserver(&recorder);
    }
    controls::Form1Controls& c() { return form.controls(); }
    std::string workbook(const std::string& name, const Names& sheets) {
        fs::create_directories(fs::path(dir.file(name)).parent_path());
        test::writeWorkbook(dir.file(name), sheets);
        return dir.file(name);
    }
    std::string file(const std::string& name, const std::string& content = "x") {
        fs::create_directories(fs::path(dir.file(name)).parent_path());
        test::writeFile(dir.file(name), content);
        return dir.file(name);
    }
    void addFiles(const Names& paths) {
        presenter.openListAnswers.push_back(paths);
        form.Command8_Click();
    }
    std::vector<int> icons() const {
        std::vector<int> result;
        for (int row = 1; row <= form.controls().ListView1.count(); ++row) {
            result.push_back(form.controls().ListView1.smallIcon(row));
        }
        return result;
    }
    void TearDown() override { EXPECT_FALSE(pointer.isWaiting()); }

    test::TempDir dir;
    test::RecordingMessages messages;
    test::RecordingPointer pointer;
    test::ScriptedPresenter presenter;
    test::ListRecorder recorder;
    Form1 form;
};

TEST_F(ManySources, AddExcelAddsEveryChosenFileInOrderAndListsTheLast) {
    const std::string b = workbook("b.xlsx", {"B1"});
    const std::string a = file("a.csv", "1,2\r\n");
    const std::string c3 = workbook("sub/c.xlsx", {"C1", "C2"});
    c().ListView1.add("/earlier.xlsx");
    addFiles({b, a, c3});
    EXPECT_EQ(presenter.multiSelectRequests, 1);
    EXPECT_EQ(presenter.openRequests.at(0).title, "Select Excel File");
    EXPECT_EQ(rows(c().ListView1), (Names{"/earlier.xlsx-", b + "-", a + "-", c3 + "-"}));
    EXPECT_EQ(icons(), (std::vector<int>{0, discovery::kIconWorkbook, discovery::kIconCsv,
                                         discovery::kIconWorkbook}));
    EXPECT_EQ(c().ListView1.selectedIndex(), 4);
    EXPECT_EQ(recorder.scrolled, std::vector<int>{4});
    EXPECT_EQ(rows(c().ListView2), Names{"c.xlsx"});
    EXPECT_EQ(rows(c().ListView3), (Names{"C1", "C2"}));
    // The listing ran once, for the last file, under one wait.
    EXPECT_EQ(pointer.changes.size(), 2u);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ManySources, AddExcelKeepsDuplicatesAsTheListAlwaysHas) {
    const std::string a = workbook("a.xlsx", {"A1"});
    c().ListView1.select(c().ListView1.add(a));
    addFiles({a, a});
    EXPECT_EQ(rows(c().ListView1), (Names{a + "-", a + "-", a + "-"}));
    EXPECT_EQ(c().ListView1.selectedIndex(), 3);
    EXPECT_EQ(rows(c().ListView3), Names{"A1"});
}

TEST_F(ManySources, AddExcelAddsUnreadableAndOtherFilesAndReportsOnlyTheListedOne) {
    const std::string good = workbook("good.xlsx", {"G1"});
    const std::string pdf = file("notes.pdf");
    const std::string damaged = file("damaged.xlsx", "PK\x03\x04 damaged");
    // A damaged file before the last is only an entry: nothing opens it yet.
    addFiles({damaged, pdf, good});
    EXPECT_EQ(rows(c().ListView1), (Names{damaged + "-", pdf + "-", good + "-"}));
    EXPECT_EQ(icons(), std::vector<int>(3, discovery::kIconWorkbook));
    EXPECT_EQ(rows(c().ListView3), Names{"G1"});
    EXPECT_TRUE(messages.shown.empty());
    // As the last it is listed, and its failure told; every entry stays.
    addFiles({pdf, damaged});
    EXPECT_EQ(c().ListView1.count(), 5);
    EXPECT_EQ(c().ListView1.selectedIndex(), 5);
    EXPECT_EQ(rows(c().ListView2), Names{"damaged.xlsx"});
    EXPECT_TRUE(c().ListView3.isEmpty());
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_NE(messages.shown[0].first.find("damaged.xlsx"), std::string::npos);
    EXPECT_EQ(messages.shown.back(), test::kOpenFailed);
}

TEST_F(ManySources, AddExcelCancelledOrWithoutFilesChangesNothing) {
    c().ListView1.select(c().ListView1.add("/kept.xlsx"));
    presenter.openListAnswers = {std::nullopt, Names{}, Names{""}};
    for (int i = 0; i < 3; ++i) {
        form.Addexcel_Click();
    }
    EXPECT_EQ(presenter.multiSelectRequests, 3);
    EXPECT_EQ(rows(c().ListView1), Names{"/kept.xlsx-"});
    EXPECT_EQ(c().ListView1.selectedIndex(), 1);
    EXPECT_TRUE(pointer.changes.empty() && messages.shown.empty());
}

TEST_F(ManySources, DroppedFilesAndFoldersBecomeEntriesAndTheRestIsNamedOnce) {
    const std::string book = workbook("in/book.xlsx", {"S1"});
    const std::string csv = file("in/DATA.CSV", "1\r\n");
    const std::string folder = fs::path(workbook("folder/f.xlsx", {"F1"})).parent_path().string();
    workbook("folder/e.xlsx", {"E1"});
    const std::string pdf = file("in/notes.pdf");
    const std::string noExtension = file("in/README");
    const std::string missing = dir.file("in/gone.xlsx");
    form.DropSources({pdf, book, missing, folder, csv, "https://example.org/a.xlsx", noExtension});
    EXPECT_EQ(rows(c().ListView1), (Names{book + "-", folder + "-", csv + "-"}));
    EXPECT_EQ(icons(), (std::vector<int>{discovery::kIconWorkbook, discovery::kIconFolder,
                                         discovery::kIconCsv}));
    EXPECT_EQ(c().ListView1.selectedIndex(), 3);
    EXPECT_EQ(recorder.scrolled, std::vector<int>{3});
    EXPECT_EQ(rows(c().ListView2), Names{"DATA.CSV"});
    EXPECT_EQ(rows(c().ListView3), Names{"DATA"});
    EXPECT_EQ(messages.texts(),
              Names{"4 dropped items were left out: only folders and spreadsheet files (.xls, "
                    ".xlsx, .xlsm, .csv, .txt, .dbf) can be sources.\n" +
                    pdf + "\n" + missing + "\nhttps://example.org/a.xlsx\n" + noExtension});
    EXPECT_EQ(messages.shown[0].second, controls::MessageIcon::Information);

    // A folder dropped last is listed as Add Folder lists it.
    messages.shown.clear();
    form.DropSources({folder});
    EXPECT_EQ(c().ListView1.selectedIndex(), 4);
    EXPECT_EQ(rows(c().ListView2), (Names{"e.xlsx", "f.xlsx"}));
    EXPECT_TRUE(c().ListView3.isEmpty());
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ManySources, ADropOfNothingUsableLeavesTheListsAndNamesTheFirstTen) {
    const std::string kept = workbook("kept.xlsx", {"K1"});
    c().ListView1.select(c().ListView1.add(kept));
    form.ListView1_ItemClick();
    const size_t waits = pointer.changes.size();
    Names dropped;
    for (int i = 1; i <= 12; ++i) {
        dropped.push_back("/nowhere/" + std::to_string(i) + ".xlsx");
    }
    form.DropSources(dropped);
    form.DropSources({"/nowhere/only.xls"});
    form.DropSources({});
    EXPECT_EQ(rows(c().ListView1), Names{kept + "-"});
    EXPECT_EQ(c().ListView1.selectedIndex(), 1);
    EXPECT_EQ(rows(c().ListView3), Names{"K1"});
    EXPECT_EQ(pointer.changes.size(), waits);
    ASSERT_EQ(messages.shown.size(), 2u);
    const std::string& many = messages.shown[0].first;
    EXPECT_EQ(many.rfind("12 dropped items were left out", 0), 0u);
    EXPECT_NE(many.find("\n/nowhere/10.xlsx\n..."), std::string::npos);
    EXPECT_EQ(many.find("11.xlsx"), std::string::npos);
    EXPECT_EQ(messages.shown[1].first.rfind("1 dropped item was left out:", 0), 0u);
}

TEST_F(ManySources, EachRowsToolTipIsTheFullPathItStandsFor) {
    const std::string folder =
        fs::path(workbook("folder/sub/b.xlsx", {"B1", "B2"})).parent_path().parent_path().string();
    const std::string single = workbook("single.xlsx", {"S1"});
    c().ListView1.add(single);
    c().ListView1.select(c().ListView1.add(folder));
    c().includeSubfolders = true;
    form.ListView1_ItemClick();
    ASSERT_EQ(rows(c().ListView2), Names{"sub/b.xlsx"});
    c().ListView2.select(1);
    form.ListView2_ItemClick();
    ASSERT_EQ(rows(c().ListView3), (Names{"B1", "B2"}));
    c().ListView4.add("/q/book.xlsx");
    c().ListView4.setSubItem(1, "Sales");
    EXPECT_EQ(form.RowToolTip(c().ListView1, 1), single);
    EXPECT_EQ(form.RowToolTip(c().ListView1, 2), folder);
    EXPECT_EQ(form.RowToolTip(c().ListView2, 1), folder + "/sub/b.xlsx");
    EXPECT_EQ(form.RowToolTip(c().ListView3, 2), folder + "/sub/b.xlsx\nB2");
    EXPECT_EQ(form.RowToolTip(c().ListView4, 1), "/q/book.xlsx\nSales");
    // A file source is its own workbook; a workbook whose file went keeps its path.
    c().ListView1.select(1);
    form.ListView1_ItemClick();
    EXPECT_EQ(form.RowToolTip(c().ListView2, 1), single);
    EXPECT_EQ(form.RowToolTip(c().ListView3, 1), single + "\nS1");
    fs::remove(single);
    EXPECT_EQ(form.RowToolTip(c().ListView2, 1), dir.file("single.xlsx"));
    // Rows a list does not have, and a list of none of the four.
    controls::ListModel other;
    other.add("x");
    for (int row : {0, 3}) {
        EXPECT_EQ(form.RowToolTip(c().ListView1, row), "");
    }
    EXPECT_EQ(form.RowToolTip(other, 1), "");
    // Without a selected source or workbook a row names only itself.
    c().ListView1.select(0);
    c().ListView2.select(0);
    EXPECT_EQ(form.RowToolTip(c().ListView2, 1), "single.xlsx");
    EXPECT_EQ(form.RowToolTip(c().ListView3, 1), "S1");
}

}  // namespace
}  // namespace plyfold::app
