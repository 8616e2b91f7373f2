#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
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
using Messages = std::vector<test::ShownMessage>;
using test::queueRows;
using test::rows;

int g_window = 0;

class OwnerWindow : public WindowService {
public:
    void closeMainWindow() override {}
    void showSettingsDialog() override {}
    void showAboutBox() override {}
    void* windowHandle() override { return &g_window; }
};

class Sources : public ::testing::Test {
protected:
    Sources() : form(dir.file("program"), {&messages, &pointer, nullptr, &presenter, &window}) {
        form.SetUpControls();
    }
    controls::Form1Controls& c() { return form.controls(); }
    // A workbook file under the test's folder; a sheet name "chart:x" gives a chart sheet.
    std::string workbook(const std::string& name, const Names& sheets) {
        fs::create_directories(fs::path(dir.file(name)).parent_path());
        test::writeWorkbook(dir.file(name), sheets);
        return dir.file(name);
    }
    void addFile(const std::string& path) {
        presenter.openAnswers.push_back(path);
        form.Command8_Click();
    }
    void addFolder(const std::string& path) {
        presenter.folderAnswers.push_back(path);
        form.Command6_Click();
    }
    void fill(controls::ListModel& list, const std::string& names) {
        list.clear();
        for (char name : names) {
            list.add(std::string(1, name));
        }
    }
    // Every command that showed the wait pointer restored the default one.
    void TearDown() override { EXPECT_FALSE(pointer.isWaiting()); }

    test::TempDir dir;
    test::RecordingMessages messages;
    test::RecordingPointer pointer;
    test::ScriptedPresenter presenter;
    OwnerWindow window;
    Form1 form;
};

TEST_F(Sources, AddFileAppendsSelectsAndListsTheFileAndItsWorksheets) {
    const std::string path = workbook("data/book.xlsx", {"S1", "chart:C", "S2"});
    test::ListRecorder recorder;
    c().ListView1.setObserver(&recorder);
    c().ListView1.add("/earlier.csv");
    addFile(path);
    form.Addexcel_Click();  // cancelled
    addFile(path);
    const auto& request = presenter.openRequests.at(0);
    EXPECT_TRUE(request.title == "Select Excel File" && request.fileMustExist);
    EXPECT_EQ(presenter.owners, std::vector<void*>(3, &g_window));
    EXPECT_EQ(rows(c().ListView1), (Names{"/earlier.csv-", path + "-", path + "-"}));
    EXPECT_EQ(c().ListView1.smallIcon(3), discovery::kIconWorkbook);
    EXPECT_EQ(c().ListView1.selectedIndex(), 3);
    EXPECT_EQ(recorder.scrolled, (std::vector<int>{2, 3}));
    EXPECT_GE(recorder.repaints, 2);
    EXPECT_EQ(rows(c().ListView2), Names{"book.xlsx"});
    EXPECT_EQ(rows(c().ListView3), (Names{"S1", "S2"}));
    EXPECT_EQ(pointer.changes.size(), 4u);
    for (const auto& [file, icon] : {std::pair<std::string, int>{"/no/a.CSV", discovery::kIconCsv},
                                     {"/no/b.txt", discovery::kIconText},
                                     {"/no/c.dbf", discovery::kIconDbf},
                                     {"/no/no extension", discovery::kIconWorkbook}}) {
        addFile(file);
        EXPECT_EQ(c().ListView1.smallIcon(c().ListView1.count()), icon) << file;
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(Sources, AddFolderAppendsOneFolderEntryAndListsItsWorkbooks) {
    workbook("folder/b.xlsx", {"B1"});
    workbook("folder/a.xlsx", {"A1"});
    test::writeFile(dir.path() / "folder" / "c.csv", "1,2\r\n");
    addFolder(dir.file("folder"));
    EXPECT_EQ(presenter.folderTitles, Names{"Add all excel files in folder"});
    EXPECT_EQ(rows(c().ListView1), Names{dir.file("folder") + "-"});
    EXPECT_EQ(c().ListView1.smallIcon(1), discovery::kIconFolder);
    EXPECT_EQ(c().ListView1.selectedIndex(), 1);
    EXPECT_EQ(rows(c().ListView2), (Names{"a.xlsx", "b.xlsx", "c.csv"}));
}

TEST_F(Sources, CancelledOrUnusableDialogsChangeNothing) {
    c().ListView1.select(c().ListView1.add("/kept.xlsx"));
    form.Command8_Click();
    form.AddFolder_Click();
    addFolder("");  // a folder without a file-system path
    Form1 bare(dir.file("program"), {&messages, &pointer, nullptr, nullptr, nullptr});
    bare.Command8_Click();
    bare.Command6_Click();
    EXPECT_TRUE(bare.controls().ListView1.isEmpty());
    EXPECT_EQ(rows(c().ListView1), Names{"/kept.xlsx-"});
    EXPECT_EQ(c().ListView1.selectedIndex(), 1);
    EXPECT_TRUE(messages.shown.empty() && pointer.changes.empty());
}

TEST_F(Sources, RemoveSelectsTheEntryAboveOrTheNewFirstAndListsIt) {
    struct Case {
        int removed, selected;
        std::string name;
    };
    for (const auto& [removed, selected, name] :
         {Case{1, 1, "b.xlsx"}, Case{2, 1, "a.xlsx"}, Case{3, 2, "b.xlsx"}}) {
        c().ListView1.clear();
        for (const char* file : {"a.xlsx", "b.xlsx", "c.xlsx"}) {
            c().ListView1.add(workbook(file, {std::string("in ") + file}));
        }
        fill(c().ListView4, "q");
        c().ListView1.select(removed);
        form.Command7_Click();
        EXPECT_EQ(c().ListView1.count(), 2);
        EXPECT_EQ(c().ListView1.selectedIndex(), selected);
        EXPECT_EQ(c().ListView1.text(selected), dir.file(name));
        EXPECT_EQ(rows(c().ListView2), Names{name});
        EXPECT_EQ(rows(c().ListView3), Names{"in " + name});
        EXPECT_EQ(rows(c().ListView4), Names{"q-"});
    }
    form.Command7_Click();
    form.RemoveItem_Click();  // the last entry: the browse lists go, the queue stays
    EXPECT_TRUE(c().ListView1.isEmpty() && c().ListView2.isEmpty() && c().ListView3.isEmpty());
    form.Command7_Click();
    fill(c().ListView1, "ab");
    form.Command7_Click();  // no selected entry
    EXPECT_EQ(c().ListView1.count() + c().ListView4.count(), 3);
}

TEST_F(Sources, RemoveAllEmptiesTheSourceAndBrowseListsAndRemoveAllEntriesOnlyTheQueue) {
    for (controls::ListModel* list :
         {&c().ListView1, &c().ListView2, &c().ListView3, &c().ListView4}) {
        fill(*list, "ab");
    }
    form.Command17_Click();
    EXPECT_EQ(c().ListView1.count() + c().ListView2.count() + c().ListView3.count(), 6);
    EXPECT_TRUE(c().ListView4.isEmpty());
    fill(c().ListView4, "ab");
    form.RemoveAll_Click();
    EXPECT_EQ(c().ListView1.count() + c().ListView2.count() + c().ListView3.count(), 0);
    EXPECT_EQ(c().ListView4.count(), 2);
}

TEST_F(Sources, MovesKeepEverythingARowShowsAndLeaveTheOtherListsAlone) {
    struct Case {
        std::function<void()> command;
        controls::ListModel& list;
        int from;
        std::string order;
    };
    const Case cases[] = {
        {[&] { form.Command5_Click(); }, c().ListView1, 1, "abc"},
        {[&] { form.Command5_Click(); }, c().ListView1, 2, "bac"},
        {[&] { form.Command4_Click(); }, c().ListView1, 2, "acb"},
        {[&] { form.Command4_Click(); }, c().ListView1, 3, "abc"},
        {[&] { form.Command4_Click(); }, c().ListView1, 0, "abc"},
        {[&] { form.Command14_Click(); }, c().ListView4, 1, "abc"},
        {[&] { form.Command14_Click(); }, c().ListView4, 2, "bac"},
        {[&] { form.Command15_Click(); }, c().ListView4, 2, "acb"},
        {[&] { form.Command15_Click(); }, c().ListView4, 3, "abc"},
        {[&] { form.Command14_Click(); }, c().ListView4, 0, "abc"},
    };
    for (const Case& k : cases) {
        fill(k.list, "abc");
        for (int row = 1; row <= 3; ++row) {
            k.list.setSubItem(row, "sheet " + k.list.text(row));
            k.list.setChecked(row, row != 2);
            k.list.setSmallIcon(row, row);
            k.list.setGreyed(row, row == 3);
        }
        k.list.select(k.from);
        fill(c().ListView2, "x");
        test::ListRecorder recorder;
        k.list.setObserver(&recorder);
        k.command();
        k.list.setObserver(nullptr);
        std::string order;
        for (int row = 1; row <= 3; ++row) {
            const std::string name = k.list.text(row);
            order += name;
            EXPECT_EQ(k.list.subItem(row), "sheet " + name);
            EXPECT_EQ(k.list.isChecked(row), name != "b");
            EXPECT_EQ(k.list.smallIcon(row), name[0] - 'a' + 1);
            EXPECT_EQ(k.list.isGreyed(row), name == "c");
        }
        EXPECT_EQ(order, k.order);
        // The row that was selected stays selected wherever it went.
        const int selected = k.from == 0 ? 0 : static_cast<int>(order.find("abc"[k.from - 1])) + 1;
        EXPECT_EQ(k.list.selectedIndex(), selected);
        EXPECT_EQ(recorder.scrolled.size(), order == "abc" ? 0u : 1u);
        EXPECT_EQ(rows(c().ListView2), Names{"x-"});
    }
}

TEST_F(Sources, SelectingASourceOrAWorkbookListsAgainAllChecked) {
    workbook("folder/a.xlsx", {"A1", "A2"});
    workbook("folder/b.xlsx", {"B1"});
    c().ListView1.add(dir.file("folder"));
    fill(c().ListView2, "x");
    form.ListView1_ItemClick();  // no selected entry: nothing happens
    EXPECT_EQ(rows(c().ListView2), Names{"x-"});
    c().ListView1.select(1);
    form.ListView1_ItemClick();
    c().ListView2.setChecked(2, false);
    c().ListView2.select(1);
    form.ListView2_ItemClick();
    EXPECT_EQ(rows(c().ListView3), (Names{"A1", "A2"}));
    c().ListView3.setChecked(1, false);
    form.ListView2_ItemClick();
    EXPECT_EQ(rows(c().ListView3), (Names{"A1", "A2"}));
    c().ListView2.select(2);
    form.ListView2_ItemClick();
    EXPECT_EQ(rows(c().ListView3), Names{"B1"});
    form.ListView1_ItemClick();
    EXPECT_EQ(rows(c().ListView2), (Names{"a.xlsx", "b.xlsx"}));
    EXPECT_TRUE(c().ListView3.isEmpty() && messages.shown.empty());
}

TEST_F(Sources, DamagedWorkbooksAreReportedAndFailuresReachingACommandEndItQuietly) {
    fs::create_directory(dir.path() / "folder");
    test::writeFile(dir.path() / "folder" / "bad.xlsx", "PK\x03\x04 damaged");
    addFolder(dir.file("folder"));
    c().ListView2.select(1);
    form.ListView2_ItemClick();
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_NE(messages.shown[0].first.find("bad.xlsx"), std::string::npos);
    EXPECT_EQ(messages.shown[0].second, controls::MessageIcon::Critical);
    EXPECT_EQ(messages.shown[1], test::kOpenFailed);
    test::FailingMessages failing;
    c().messages = &failing;
    for (const auto& command : {std::function<void()>([&] { form.ListView2_ItemClick(); }),
                                std::function<void()>([&] { form.Command20_Click(); })}) {
        const size_t changes = pointer.changes.size();
        command();
        EXPECT_EQ(pointer.changes.size(), changes + 2);
    }
    EXPECT_EQ(failing.shown.size(), 2u);
}

TEST_F(Sources, QueueingTheSelectedWorksheet) {
    form.Command10_Click();  // with an empty source list
    EXPECT_EQ(messages.shown, Messages{test::kFileMissing});
    const std::string path = workbook("book.xlsx", {"S1", "S2"});
    addFile(path);
    c().ListView3.select(2);
    c().ListView3.setChecked(2, false);
    form.Command10_Click();
    c().ListView3.setGreyed(2, true);  // as a hidden worksheet is listed
    form.ListView3_DblClick();
    EXPECT_EQ(queueRows(c().ListView4), (Names{path + "|S2", path + "|S2"}));
    EXPECT_FALSE(c().ListView4.isGreyed(1));
    EXPECT_TRUE(c().ListView4.isGreyed(2)) << "a hidden worksheet stays marked in the queue";
    c().ListView3.clear();
    form.Command10_Click();  // an empty worksheet list: nothing
    workbook("folder/a.xlsx", {"A1"});
    addFolder(dir.file("folder"));
    c().ListView2.select(1);
    form.ListView2_ItemClick();
    c().ListView3.select(1);
    fs::rename(dir.path() / "folder" / "a.xlsx", dir.path() / "folder" / "renamed.xlsx");
    form.ListView3_DblClick();
    EXPECT_EQ(messages.shown, (Messages{test::kFileMissing, test::kFileMissing}));
    EXPECT_EQ(c().ListView4.count(), 2);
}

TEST_F(Sources, UnqueueRemovesTheSelectedEntryAndSelectsTheOneAbove) {
    const std::function<void()> unqueue[] = {[&] { form.Command11_Click(); },
                                             [&] { form.ListView4_DblClick(); }};
    struct Case {
        std::string before;
        int removed;
        std::string after;
        int selected;
    };
    for (const auto& command : unqueue) {
        for (const Case& k :
             {Case{"123", 1, "23", 1}, Case{"123", 2, "13", 1}, Case{"123", 3, "12", 2},
              Case{"123", 0, "123", 0}, Case{"1", 1, "", 0}, Case{"", 0, "", 0}}) {
            fill(c().ListView4, k.before);
            c().ListView4.select(k.removed);
            command();
            std::string after;
            for (int row = 1; row <= c().ListView4.count(); ++row) {
                after += c().ListView4.text(row);
            }
            EXPECT_EQ(after, k.after);
            EXPECT_EQ(c().ListView4.selectedIndex(), k.selected);
        }
    }
}

TEST_F(Sources, AddAllSheetsQueuesEveryListedWorksheetOrNothingWhenTheFileWent) {
    form.Command16_Click();  // an empty worksheet list: nothing, no message
    const std::string path = workbook("book.xlsx", {"S1", "S2", "S3"});
    addFile(path);
    c().ListView3.setChecked(2, false);
    c().ListView3.setGreyed(3, true);  // as a hidden worksheet is listed
    form.Command16_Click();
    EXPECT_EQ(queueRows(c().ListView4), (Names{path + "|S1", path + "|S2", path + "|S3"}));
    for (int row = 1; row <= 3; ++row) {
        EXPECT_EQ(c().ListView4.isGreyed(row), row == 3) << row;
    }
    fs::remove(path);
    form.Command16_Click();
    EXPECT_EQ(messages.shown, Messages{test::kFileMissing});
    EXPECT_EQ(c().ListView4.count(), 3);
}

TEST_F(Sources, AddAllExcelFilesQueuesTheCheckedWorkbooksOfAFolderAndAWholeFile) {
    const std::string a = workbook("folder/A.xlsx", {"A1", "A2"});
    const std::string b = workbook("folder/B.xlsx", {"B1"});
    const std::string c3 = workbook("folder/C.xlsx", {"chart:Plot", "C1"});
    form.Command20_Click();  // an empty source list: nothing
    addFolder(dir.file("folder"));
    c().ListView2.setChecked(2, false);
    form.Command20_Click();
    EXPECT_EQ(queueRows(c().ListView4), (Names{a + "|A1", a + "|A2", c3 + "|C1"}));
    form.ListView1_ItemClick();  // lists B checked again
    form.Command20_Click();
    EXPECT_EQ(c().ListView4.count(), 7);
    addFile(b);
    c().ListView2.setChecked(1, false);
    form.Command20_Click();
    EXPECT_EQ(queueRows(c().ListView4).back(), b + "|B1");
    c().ListView1.select(0);
    form.Command20_Click();  // rows but no selected source: nothing
    EXPECT_EQ(c().ListView4.count(), 8);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(Sources, AddAllExcelFilesGoesOnPastDamagedVanishedAndOddlyNamedWorkbooks) {
    const Names names = {"- dash.xlsx", "bad.xlsx",      "blank name.xlsx",
                         "moved.xlsx",  "quote\"d.xlsx", "\xC3\xA9t\xC3\xA9.xlsx"};
    for (const std::string& name : names) {
        workbook("folder/" + name, {"S"});
    }
    test::writeFile(dir.path() / "folder" / "bad.xlsx", "PK\x03\x04 damaged");
    fs::create_symlink(dir.path() / "folder" / "- dash.xlsx", dir.path() / "folder" / "z.xlsx");
    fs::create_symlink(dir.path() / "folder" / "loop.xlsx", dir.path() / "folder" / "loop.xlsx");
    fs::create_directory(dir.path() / "folder" / "sub.xlsx");
    addFolder(dir.file("folder"));
    fs::rename(dir.path() / "folder" / "moved.xlsx", dir.path() / "folder" / "elsewhere");
    form.Command20_Click();
    Names expected;
    // Bytes beyond ASCII sort after ASCII letters, so the accented name comes last.
    for (const std::string& name :
         {names[0], names[2], names[4], std::string("z.xlsx"), names[5]}) {
        expected.push_back(dir.file("folder") + "/" + name + "|S");
    }
    EXPECT_EQ(queueRows(c().ListView4), expected);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1], test::kOpenFailed);
    fs::remove_all(dir.path() / "folder");
    form.Command20_Click();  // the folder went: nothing more, no message
    EXPECT_EQ(c().ListView4.count(), 5);
    EXPECT_EQ(messages.shown.size(), 2u);
}

TEST_F(Sources, IncludeSubfoldersListsTheTreeAndAddingAFolderNamesTheResultsLeftOut) {
    workbook("folder/a.xlsx", {"A1"});
    workbook("folder/sub/b.xlsx", {"B1", "B2"});
    workbook("folder/.hidden/h.xlsx", {"H"});
    test::writePlyfoldWorkbook(dir.file("folder/r.xlsx"), test::ResultMark::Marked);
    test::writePlyfoldWorkbook(dir.file("folder/sub/r2.xlsx"), test::ResultMark::Marked);
    addFolder(dir.file("folder"));
    EXPECT_EQ(rows(c().ListView2), Names{"a.xlsx"});
    EXPECT_EQ(messages.shown,
              (Messages{{"1 workbook was left out: a result Plyfold wrote.\nr.xlsx\nAdd one as "
                         "a file to merge it.",
                         controls::MessageIcon::Information}}));
    form.IncludeSubfolders_Click();
    EXPECT_TRUE(c().includeSubfolders);
    EXPECT_EQ(rows(c().ListView2), (Names{"a.xlsx", "sub/b.xlsx"}));
    EXPECT_EQ(c().leftOutWorkbooks, (Names{"r.xlsx", "sub/r2.xlsx"}));
    c().ListView2.select(2);
    form.ListView2_ItemClick();
    EXPECT_EQ(rows(c().ListView3), (Names{"B1", "B2"}));
    c().ListView3.select(2);
    form.ListView3_DblClick();
    EXPECT_EQ(queueRows(c().ListView4), Names{dir.file("folder/sub/b.xlsx") + "|B2"});
    // Adding the folder again with subfolders names both results; listing it again says nothing.
    addFolder(dir.file("folder"));
    form.ListView1_ItemClick();
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].first,
              "2 workbooks were left out: results Plyfold wrote.\nr.xlsx\nsub/r2.xlsx\nAdd one as "
              "a file to merge it.");
    form.IncludeSubfolders_Click();
    EXPECT_FALSE(c().includeSubfolders);
    EXPECT_EQ(rows(c().ListView2), Names{"a.xlsx"});
    EXPECT_EQ(messages.shown.size(), 2u);
}

TEST_F(Sources, IncludeSubfoldersWithNoSourceSelectedOnlyChangesTheSetting) {
    form.IncludeSubfolders_Click();
    EXPECT_TRUE(c().includeSubfolders);
    EXPECT_TRUE(c().ListView2.isEmpty() && messages.shown.empty());
}

}  // namespace
}  // namespace plyfold::app
