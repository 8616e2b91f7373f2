#include "discovery/list_worksheets.h"
#include "discovery/sheet_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/discovery/fixtures.h"
#include "tests/support/temp_dir.h"

namespace plyfold::discovery {
namespace {

using Names = std::vector<std::string>;

class WorksheetListing : public ::testing::Test {
protected:
    // Selects the source (and a workbook row), leaving a stale row in the hidden sheet list.
    void designate(const std::string& source, const std::string& workbook = {}) {
        controls::Form1Controls& form = recorded.form;
        form.ListView1.select(form.ListView1.add(source));
        if (!workbook.empty()) {
            form.ListView2.select(form.ListView2.add(workbook));
        }
        form.ListView3.add("stale");
        form.ListView3.setVisible(false);
    }
    // Every reading failed: each showed its own description, then the fixed text.
    void expectEveryReadingFailed(size_t readings) const {
        const auto& shown = recorded.messages.shown;
        ASSERT_EQ(shown.size(), 2 * readings);
        for (size_t i = 0; i < shown.size(); i += 2) {
            EXPECT_EQ(shown[i].second, controls::MessageIcon::Critical);
            EXPECT_NE(shown[i].first, "");
            EXPECT_NE(shown[i], test::kOpenFailed);
            EXPECT_EQ(shown[i + 1], test::kOpenFailed);
        }
        EXPECT_TRUE(recorded.form.ListView3.isEmpty() && recorded.form.ListView4.isEmpty());
    }

    test::TempDir dir;
    test::RecordedForm recorded;
    test::ServerCounter servers;
};

TEST_F(WorksheetListing, ListsWorksheetsCheckedInSheetOrderWithoutChartSheets) {
    test::writeWorkbook(dir.file("book.xlsx"), {"First", "chart:Plot", "Second", "Third"});
    designate(dir.file("book.xlsx"));
    ListWorksheets(recorded.form);
    EXPECT_EQ(test::rows(recorded.form.ListView3), (Names{"First", "Second", "Third"}));
    EXPECT_TRUE(recorded.form.ListView3.isVisible() && recorded.messages.shown.empty());
    EXPECT_EQ(servers.created.size(), 1u);
    EXPECT_TRUE(servers.allQuit());
    for (const auto& [source, workbook] : {std::pair<std::string, std::string>{"", ""},
                                           {dir.file("nowhere.xlsx"), ""},
                                           {dir.path().string(), ""},
                                           {dir.path().string(), "deleted.xlsx"}}) {
        designate(source, workbook);
        ListWorksheets(recorded.form);
        EXPECT_TRUE(recorded.form.ListView3.isEmpty() && recorded.form.ListView3.isVisible());
    }
    EXPECT_TRUE(recorded.messages.shown.empty());
    EXPECT_EQ(servers.created.size(), 1u);
}

TEST_F(WorksheetListing, DamagedFilesAreReportedAndEveryServerIsQuit) {
    const std::string damaged[] = {"PK\x03\x04 not a package",
                                   "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1 broken compound file",
                                   std::string("\0\0\0\0binary", 10)};
    for (const std::string& bytes : damaged) {
        test::writeFile(dir.path() / "damaged.xls", bytes);
        designate(dir.file("damaged.xls"));
        ListWorksheets(recorded.form);
        QueueAllWorksheets(recorded.form, dir.file("damaged.xls"));
    }
    QueueAllWorksheets(recorded.form, dir.file("missing.xlsx"));
    expectEveryReadingFailed(7);
    EXPECT_EQ(servers.created.size(), 7u);
    EXPECT_TRUE(servers.allQuit());
}

TEST_F(WorksheetListing, MissingServerShowsTheCreationFailureThenOpenFailed) {
    test::writeWorkbook(dir.file("book.xlsx"), {"S1"});
    designate(dir.file("book.xlsx"));
    automation::ServerRegistry::instance().unregisterServer(
        std::string(automation::kSpreadsheetProgId));
    ListWorksheets(recorded.form);
    QueueAllWorksheets(recorded.form, dir.file("book.xlsx"));
    test::ServerCounter::registerServer(&servers);
    expectEveryReadingFailed(2);
}

TEST_F(WorksheetListing, OnlyTheSheetListIsRead) {
    // Sheet data that cannot be parsed goes unnoticed as long as only the names are read.
    test::writeWorkbook(dir.file("big.xlsx"), {"Data", "More"}, 2000);
    test::replacePackagePart(dir.file("big.xlsx"), "xl/worksheets/sheet1.xml", "<worksheet><r");
    test::replacePackagePart(dir.file("big.xlsx"), "xl/worksheets/sheet2.xml", "not xml");
    designate(dir.file("big.xlsx"));
    ListWorksheets(recorded.form);
    QueueAllWorksheets(recorded.form, dir.file("big.xlsx"));
    EXPECT_TRUE(recorded.messages.shown.empty());
    EXPECT_EQ(test::rows(recorded.form.ListView3), (Names{"Data", "More"}));
    EXPECT_EQ(recorded.form.ListView4.count(), 2);
}

TEST_F(WorksheetListing, ExtentsGiveUsedRangesAndRowsAndNameASheetThatCannotBeRead) {
    test::writeWorkbook(dir.file("big.xlsx"), {"Data", "Bad", "chart:Plot", "Skipped", "More"},
                        2000);
    test::replacePackagePart(dir.file("big.xlsx"), "xl/worksheets/sheet2.xml", "<worksheet><r");
    test::replacePackagePart(dir.file("big.xlsx"), "xl/worksheets/sheet3.xml", "not xml");
    const std::vector<WorksheetExtent> extents =
        worksheetExtentsOf(dir.file("big.xlsx"), SheetFilter::fromText("-skipped"));
    ASSERT_EQ(extents.size(), 3u);
    EXPECT_EQ(extents[0].sheet.name, "Data");
    EXPECT_TRUE(extents[0].problem.empty()) << extents[0].problem;
    EXPECT_EQ(extents[0].rows, 2000);
    EXPECT_EQ(extents[0].usedRange.substr(0, 3), "A1:");
    EXPECT_EQ(extents[0].usedRange.substr(extents[0].usedRange.size() - 4), "2000");
    EXPECT_EQ(extents[1].sheet.name, "Bad");
    EXPECT_NE(extents[1].problem.find("big.xlsx"), std::string::npos) << extents[1].problem;
    EXPECT_EQ(extents[1].rows, 0);
    // The filtered-out sheet is never read, so its damage goes unnoticed.
    EXPECT_EQ(extents[2].sheet.name, "More");
    EXPECT_TRUE(extents[2].problem.empty()) << extents[2].problem;
    EXPECT_EQ(extents[2].rows, 2000);
    EXPECT_TRUE(servers.allQuit());
}

TEST_F(WorksheetListing, QueueAllAppendsCheckedEntriesAndScrollsOnlyToTheLast) {
    const std::string path = dir.file("it's a \"book\" -\xC3\xA9.xlsx");
    test::writeWorkbook(path, {"S1", "chart:Plot", "S\xC3\x9C 2"});
    test::ListRecorder recorder;
    recorded.form.ListView4.setObserver(&recorder);
    recorded.form.ListView4.add("earlier");
    QueueAllWorksheets(recorded.form, path);
    QueueAllWorksheets(recorded.form, path);
    EXPECT_EQ(test::queueRows(recorded.form.ListView4),
              (Names{"earlier|-", path + "|S1", path + "|S\xC3\x9C 2", path + "|S1",
                     path + "|S\xC3\x9C 2"}));
    EXPECT_EQ(recorder.scrolled, (std::vector<int>{3, 5}));
    EXPECT_GE(recorder.repaints, 4);
    EXPECT_TRUE(recorded.messages.shown.empty());
    EXPECT_EQ(servers.created.size(), 2u);
    EXPECT_TRUE(servers.allQuit());
}

TEST_F(WorksheetListing, WorkbookWithOnlyChartSheetsQueuesNothingQuietly) {
    test::writeWorkbook(dir.file("charts.xlsx"), {"Data", "chart:Plot"});
    test::replacePackagePart(
        dir.file("charts.xlsx"), "xl/workbook.xml",
        R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
        R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
        R"(<sheets><sheet name="Plot" sheetId="2" r:id="rId2"/></sheets></workbook>)");
    test::ListRecorder recorder;
    recorded.form.ListView4.setObserver(&recorder);
    designate(dir.file("charts.xlsx"));
    QueueAllWorksheets(recorded.form, dir.file("charts.xlsx"));
    ListWorksheets(recorded.form);
    EXPECT_TRUE(recorded.form.ListView4.isEmpty() && recorder.scrolled.empty());
    EXPECT_TRUE(recorded.form.ListView3.isEmpty() && recorded.messages.shown.empty());
    EXPECT_TRUE(servers.allQuit());
}

TEST_F(WorksheetListing, HiddenWorksheetsAreListedGreyedAndQueueLikeTheOthers) {
    const std::string path = dir.file("book.xlsx");
    test::writeWorkbook(path, {"Data", "Helper", "Secret", "Last"});
    test::replacePackagePart(
        path, "xl/workbook.xml",
        R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
        R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets>)"
        R"(<sheet name="Data" sheetId="1" r:id="rId1"/>)"
        R"(<sheet name="Helper" sheetId="2" state="hidden" r:id="rId2"/>)"
        R"(<sheet name="Secret" sheetId="3" state="veryHidden" r:id="rId3"/>)"
        R"(<sheet name="Last" sheetId="4" state="visible" r:id="rId4"/>)"
        R"(</sheets></workbook>)");
    const std::pair<std::string, bool> expected[] = {
        {"Data", false}, {"Helper", true}, {"Secret", true}, {"Last", false}};

    designate(path);
    ListWorksheets(recorded.form);
    const controls::ListModel& list = recorded.form.ListView3;
    ASSERT_EQ(list.count(), 4);
    const std::vector<WorksheetEntry> entries = worksheetsOf(path);
    ASSERT_EQ(entries.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        const auto& [name, hidden] = expected[i];
        EXPECT_EQ(list.text(i + 1), name);
        EXPECT_TRUE(list.isChecked(i + 1)) << name;
        EXPECT_EQ(list.isGreyed(i + 1), hidden) << name;
        EXPECT_EQ(entries[static_cast<size_t>(i)].name, name);
        EXPECT_EQ(entries[static_cast<size_t>(i)].hidden, hidden) << name;
    }
    EXPECT_EQ(worksheetNamesOf(path), (Names{"Data", "Helper", "Secret", "Last"}));

    QueueAllWorksheets(recorded.form, path);
    EXPECT_EQ(test::queueRows(recorded.form.ListView4),
              (Names{path + "|Data", path + "|Helper", path + "|Secret", path + "|Last"}));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(recorded.form.ListView4.isGreyed(i + 1), expected[i].second) << i;
    }
    EXPECT_TRUE(recorded.messages.shown.empty());
    EXPECT_TRUE(servers.allQuit());
}

}  // namespace
}  // namespace plyfold::discovery
