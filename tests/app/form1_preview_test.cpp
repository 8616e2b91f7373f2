#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/form1.h"
#include "automation/automation.h"
#include "engine/model/sheet.h"
#include "engine/model/workbook.h"
#include "tests/support/capture_presenter.h"
#include "tests/support/grid_workbook.h"
#include "tests/support/recording_services.h"
#include "tests/support/temp_dir.h"

namespace plyfold::app {
namespace {

namespace fs = std::filesystem;
using controls::MessageIcon;
using controls::MousePointer;
using Names = std::vector<std::string>;

// The names of the sheets a shown workbook leaves visible.
Names visibleSheets(const engine::Workbook& book) {
    Names names;
    for (int32_t i = 0; i < book.sheetCount(); ++i) {
        if (book.sheet(i).visibility() == engine::SheetVisibility::Visible) {
            names.push_back(book.sheet(i).name());
        }
    }
    return names;
}

// Public: the cases' lambdas reach the fixture through a reference to it.
class Preview : public ::testing::Test {
public:
    Preview() : form(dir.file("program"), {&messages, &pointer, nullptr, nullptr, nullptr}) {
        form.SetUpControls();
        fs::create_directories(dir.file("data"));
        test::writeGridWorkbook(book, {{"North", test::taggedGrid("n", 2, 2)},
                                       {"South", test::taggedGrid("s", 3, 2)},
                                       {"Spare", test::taggedGrid("x", 1, 1)}});
    }
    controls::Form1Controls& c() { return form.controls(); }
    // Browses the source and designates its workbook (name) in the workbook list.
    void browse(const std::string& source, const std::string& name) {
        c().ListView1.add(source);
        c().ListView1.select(c().ListView1.count());
        form.ListView1_ItemClick();
        for (int row = 1; row <= c().ListView2.count(); ++row) {
            if (c().ListView2.text(row) == name) {
                c().ListView2.select(row);
            }
        }
        form.ListView2_ItemClick();
    }
    void selectWorksheet(const std::string& name) {
        for (int row = 1; row <= c().ListView3.count(); ++row) {
            if (c().ListView3.text(row) == name) {
                c().ListView3.select(row);
            }
        }
    }
    void queue(const std::string& path, const std::string& sheet) {
        const int row = c().ListView4.add(path);
        c().ListView4.setSubItem(row, sheet);
        c().ListView4.select(row);
    }
    const automation::ShownWorkbook& onlyShown() {
        EXPECT_EQ(presenter.shown.size(), 1u);
        return presenter.shown.at(0);
    }

    test::TempDir dir;
    std::string book = dir.file("data/Sales.xlsx");
    test::RecordingMessages messages;
    test::RecordingPointer pointer;
    test::CapturePresenter presenter;
    Form1 form;
};

TEST_F(Preview, AWorksheetRowOrAQueueRowShowsThatSheetAloneAndReadOnly) {
    const struct {
        const char* how;
        std::function<void(Preview&)> choose;
        PreviewList list;
    } cases[] = {
        {"worksheet list, folder source",
         [](Preview& t) {
             t.browse(t.dir.file("data"), "Sales.xlsx");
             t.selectWorksheet("South");
         },
         PreviewList::Worksheets},
        {"worksheet list, file source",
         [](Preview& t) {
             t.browse(t.book, "Sales.xlsx");
             t.selectWorksheet("South");
         },
         PreviewList::Worksheets},
        {"merge queue", [](Preview& t) { t.queue(t.book, "South"); }, PreviewList::Queue},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.how);
        c().ListView1.clear();
        c().ListView4.clear();
        presenter.shown.clear();
        test.choose(*this);
        pointer.changes.clear();
        form.PreviewSheet(test.list);

        EXPECT_TRUE(messages.shown.empty()) << (messages.shown.empty() ? "" : messages.texts()[0]);
        ASSERT_TRUE(presenter.server);
        const automation::ShownWorkbook& shown = onlyShown();
        EXPECT_TRUE(shown.readOnly);
        EXPECT_EQ(shown.name, "Sales.xlsx");
        EXPECT_EQ(shown.caption, "Preview of Sales.xlsx, sheet South (read-only)");
        EXPECT_EQ(shown.sources, Names{book});
        EXPECT_EQ(visibleSheets(*shown.book), Names{"South"});
        EXPECT_EQ(shown.book->sheet(shown.book->activeSheet()).name(), "South");
        // The cells were read before the window was given the workbook.
        EXPECT_TRUE(shown.book->sheet(1).isLoaded());
        EXPECT_EQ(test::sheetRows(*shown.book, 1), (Names{"s11|s12", "s21|s22", "s31|s32"}));
        EXPECT_FALSE(presenter.server->displayAlerts());
        EXPECT_NE(presenter.server->statusBar().find(book), std::string::npos);
        EXPECT_EQ(pointer.changes,
                  (std::vector<MousePointer>{MousePointer::Wait, MousePointer::Default}));
    }
}

TEST_F(Preview, AHiddenWorksheetIsShownWhileTheSourceKeepsItHidden) {
    {
        auto server = automation::CreateObject(automation::kSpreadsheetProgId);
        automation::Workbook workbook = server->Workbooks().Open(book);
        workbook.Worksheets()("Spare").setVisible(automation::SheetVisibility::VeryHidden);
        workbook.SaveAs(book);
        server->Quit();
    }
    queue(book, "Spare");
    form.PreviewQueueItem_Click();
    ASSERT_TRUE(messages.shown.empty());
    EXPECT_EQ(visibleSheets(*onlyShown().book), Names{"Spare"});
    EXPECT_EQ(onlyShown().caption, "Preview of Sales.xlsx, sheet Spare (read-only)");
    auto server = automation::CreateObject(automation::kSpreadsheetProgId);
    EXPECT_EQ(server->Workbooks().Open(book).Worksheets()("Spare").Visible(),
              automation::SheetVisibility::VeryHidden);
    server->Quit();
}

TEST_F(Preview, FailuresNameTheFileAndSheetAndShowNothing) {
    test::writeFile(dir.file("data/Broken.xlsx"), "not a workbook at all");
    const std::string missing = dir.file("data/Gone.xlsx");
    const struct {
        const char* how;
        std::function<void(Preview&)> choose;
        PreviewList list;
        MessageIcon icon;
        Names parts;  // what the message says, in order
    } cases[] = {
        {"no worksheet row",
         [](Preview& t) {
             t.browse(t.book, "Sales.xlsx");
             t.c().ListView3.select(0);
         },
         PreviewList::Worksheets,
         MessageIcon::Information,
         {"Please select a worksheet to preview."}},
        {"no queue row",
         [](Preview& t) {
             t.queue(t.book, "South");
             t.c().ListView4.select(0);
         },
         PreviewList::Queue,
         MessageIcon::Information,
         {"Please select a worksheet to preview."}},
        {"queued file missing",
         [&](Preview& t) { t.queue(missing, "South"); },
         PreviewList::Queue,
         MessageIcon::Critical,
         {"Cannot preview the sheet 'South' of '" + missing + "'.", "does not exist"}},
        {"browsed file gone since it was listed",
         [](Preview& t) {
             t.browse(t.book, "Sales.xlsx");
             t.selectWorksheet("North");
             fs::rename(t.book, t.book + ".moved");
         },
         PreviewList::Worksheets,
         MessageIcon::Critical,
         {"Cannot preview the sheet 'North' of '" + book + "'.", "does not exist"}},
        {"unreadable file",
         [&](Preview& t) { t.queue(t.dir.file("data/Broken.xlsx"), "Sheet1"); },
         PreviewList::Queue,
         MessageIcon::Critical,
         {"Cannot preview the sheet 'Sheet1' of '" + dir.file("data/Broken.xlsx") + "'.",
          "Broken.xlsx"}},
        {"no such worksheet",
         [](Preview& t) { t.queue(t.book, "West"); },
         PreviewList::Queue,
         MessageIcon::Critical,
         {"Cannot preview the sheet 'West' of '" + book + "'.", "no worksheet named 'West'"}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.how);
        c().ListView1.clear();
        c().ListView4.clear();
        messages.shown.clear();
        pointer.changes.clear();
        if (fs::exists(book + ".moved")) {
            fs::rename(book + ".moved", book);
        }
        test.choose(*this);
        form.PreviewSheet(test.list);

        EXPECT_FALSE(presenter.server);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].second, test.icon);
        const std::string& text = messages.shown[0].first;
        size_t at = 0;
        for (const std::string& part : test.parts) {
            at = text.find(part, at);
            EXPECT_NE(at, std::string::npos) << "'" << part << "' in: " << text;
        }
        // The box comes after the wait.
        EXPECT_FALSE(pointer.isWaiting());
    }
}

TEST_F(Preview, TheSourceIsNeverWritten) {
    const std::string before = test::readFile(book);
    const std::string link = dir.file("Link.xlsx");
    fs::create_symlink(book, link);
    queue(book, "North");
    form.PreviewQueueItem_Click();
    ASSERT_TRUE(presenter.server);
    const automation::Workbook workbook = presenter.server->Workbooks()(1);
    EXPECT_TRUE(workbook.ReadOnly());
    // Its own file is refused under every name; another file takes a copy.
    for (const std::string& target : {book, link}) {
        SCOPED_TRACE(target);
        try {
            workbook.SaveAs(target);
            ADD_FAILURE() << "saved over the source";
        } catch (const SpreadsheetError& error) {
            EXPECT_NE(error.description().find("read-only"), std::string::npos);
        }
    }
    workbook.SaveAs(dir.file("Copy.xlsx"));
    EXPECT_TRUE(fs::exists(dir.file("Copy.xlsx")));
    workbook.Close();
    presenter.server->Quit();
    EXPECT_EQ(test::readFile(book), before);
}

}  // namespace
}  // namespace plyfold::app
