#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/form1.h"
#include "tests/discovery/fixtures.h"
#include "tests/support/scripted_presenter.h"
#include "tests/support/temp_dir.h"

namespace plyfold::app {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using test::queueRows;

// A window whose Sheet Filter dialog gives the scripted answers, recording what it showed.
class FilterWindow : public WindowService {
public:
    void closeMainWindow() override {}
    void showSettingsDialog() override {}
    void showAboutBox() override {}
    void* windowHandle() override { return this; }
    std::optional<std::string> askSheetFilter(const std::string& current) override {
        shown.push_back(current);
        std::optional<std::string> answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    std::vector<std::optional<std::string>> answers;
    Names shown;
};

// Monthly workbooks whose sheet sets differ, in one folder.
class SheetFilterWindow : public ::testing::Test {
protected:
    SheetFilterWindow()
        : form(dir.file("program"), {&messages, &pointer, nullptr, &presenter, &window}) {
        form.SetUpControls();
        fs::create_directories(dir.path() / "months");
        jan = book("01-January.xlsx", {"Sales", "Costs", "Notes"});
        feb = book("02-February.xlsx", {"Sales", "chart:Plot", "Notes"});
        mar = book("03-March.xlsx", {"Costs", "\xC3\x89t\xC3\xA9"});
    }
    std::string book(const std::string& name, const Names& sheets) {
        const std::string path = dir.file("months/" + name);
        test::writeWorkbook(path, sheets);
        return path;
    }
    controls::Form1Controls& c() { return form.controls(); }
    void setFilter(const std::string& text) {
        window.answers.push_back(text);
        form.SheetFilter_Click();
    }
    void addFolder() {
        presenter.folderAnswers.push_back(dir.file("months"));
        form.Command6_Click();
    }
    void addFile(const std::string& path) {
        presenter.openAnswers.push_back(path);
        form.Command8_Click();
    }
    void TearDown() override {
        EXPECT_TRUE(messages.shown.empty());
        EXPECT_FALSE(pointer.isWaiting());
    }

    test::TempDir dir;
    test::RecordingMessages messages;
    test::RecordingPointer pointer;
    test::ScriptedPresenter presenter;
    FilterWindow window;
    Form1 form;
    std::string jan, feb, mar;
};

TEST_F(SheetFilterWindow, TheDialogShowsTheFilterAndCancelKeepsIt) {
    EXPECT_EQ(c().sheetFilter, "");
    setFilter("Sales* -Notes");
    window.answers.push_back(std::nullopt);
    form.SheetFilter_Click();
    EXPECT_EQ(c().sheetFilter, "Sales* -Notes");
    setFilter(" ; ");
    EXPECT_EQ(c().sheetFilter, "");
    EXPECT_EQ(window.shown, (Names{"", "Sales* -Notes", "Sales* -Notes"}));
}

TEST_F(SheetFilterWindow, AddAllExcelFilesQueuesOnlyMatchingWorksheetsOfEachWorkbook) {
    addFolder();
    const struct {
        const char* filter;
        Names queued;
    } cases[] = {
        {"",
         {jan + "|Sales", jan + "|Costs", jan + "|Notes", feb + "|Sales", feb + "|Notes",
          mar + "|Costs", mar + "|\xC3\x89t\xC3\xA9"}},
        {"sales", {jan + "|Sales", feb + "|Sales"}},
        {"*;-notes !s*", {jan + "|Costs", mar + "|Costs", mar + "|\xC3\x89t\xC3\xA9"}},
        {"\xC3\xA9T\xC3\x89 plot", {mar + "|\xC3\x89t\xC3\xA9"}},
        {"[cn]*", {jan + "|Costs", jan + "|Notes", feb + "|Notes", mar + "|Costs"}},
        {"nothing", {}},
    };
    for (const auto& k : cases) {
        setFilter(k.filter);
        c().ListView4.clear();
        form.Command20_Click();
        EXPECT_EQ(queueRows(c().ListView4), k.queued) << k.filter;
    }
    // A whole file as the source goes through the same filter.
    addFile(feb);
    setFilter("n*");
    c().ListView4.clear();
    form.Command20_Click();
    EXPECT_EQ(queueRows(c().ListView4), (Names{feb + "|Notes"}));
}

TEST_F(SheetFilterWindow, AddAllSheetsQueuesOnlyMatchingListedWorksheets) {
    addFile(jan);
    ASSERT_EQ(c().ListView3.count(), 3);
    setFilter("-costs");
    form.Command16_Click();
    EXPECT_EQ(queueRows(c().ListView4), (Names{jan + "|Sales", jan + "|Notes"}));
    // The file went, but no listed worksheet matches: nothing to queue, nothing to say.
    fs::remove(jan);
    setFilter("Summary");
    form.Command16_Click();
    EXPECT_EQ(c().ListView4.count(), 2);
    // The worksheet list itself is never filtered.
    EXPECT_EQ(c().ListView3.count(), 3);
}

TEST_F(SheetFilterWindow, AWindowWithoutTheDialogKeepsTheFilter) {
    Form1 bare(dir.file("program"), {&messages, &pointer, nullptr, &presenter, nullptr});
    bare.SetUpControls();
    bare.controls().sheetFilter = "S*";
    bare.SheetFilter_Click();
    EXPECT_EQ(bare.controls().sheetFilter, "S*");
}

}  // namespace
}  // namespace plyfold::app
