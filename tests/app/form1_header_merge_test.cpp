#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/form1.h"
#include "automation/automation.h"
#include "merge/merge_report.h"
#include "merge/merge_request.h"
#include "tests/support/capture_presenter.h"
#include "tests/support/grid_workbook.h"
#include "tests/support/recording_services.h"
#include "tests/support/scripted_presenter.h"
#include "tests/support/temp_dir.h"

namespace plyfold::app {
namespace {

using test::Grid;
using V = std::vector<std::string>;

int g_window = 0;

// The Header Row dialog answers the row it is given.
class HeaderRowWindow : public WindowService {
public:
    void closeMainWindow() override {}
    void showSettingsDialog() override {}
    void showAboutBox() override {}
    void* windowHandle() override { return &g_window; }
    std::optional<int32_t> askHeaderRow(int32_t) override { return answer; }
    std::optional<int32_t> answer;
};

// Two monthly sheets under a title row: February reorders January's columns and adds Region;
// Total multiplies Units and Price of its own row.
class Form1HeaderMerge : public ::testing::Test {
protected:
    Form1HeaderMerge() : form(dir.path().string(), services()) {
        form.Form_Load();
        test::writeGridWorkbook(
            jan,
            {{"Sales",
              Grid{{"January"}, {"Date", "Units", "Price", "Total"}, {1.0, 10.0, 2.0, "=B3*C3"}}}});
        test::writeGridWorkbook(feb, {{"Sales", Grid{{"February"},
                                                     {"Price", "Region", "Date", "Units", "Total"},
                                                     {4.0, "West", 3.0, 12.0, "=A3*D3"},
                                                     {5.0, "East", 4.0, 13.0, "=A4*D4"}}}});
        queue(jan);
        queue(feb);
        // A vertical merge dropping the later header rows, a row between blocks.
        c().Option1.setValue(true);
        c().Option2.setValue(false);
        form.Option1_Click();
        c().Combo1.setListIndex(0);
        form.Combo1_Click();
        c().Check1.setValue(1);
        c().Text1.setText("1");
    }
    Form1Services services() {
        Form1Services s;
        s.messages = &messages;
        s.dialogs = &dialogs;
        s.window = &window;
        return s;
    }
    controls::Form1Controls& c() { return form.controls(); }
    void queue(const std::string& path) {
        const int row = c().ListView4.add(path);
        c().ListView4.setSubItem(row, "Sales");
        c().ListView4.setChecked(row, true);
    }
    // The Merge command's result, read back.
    V merge() {
        test::CapturePresenter presenter;
        form.Command18_Click();
        EXPECT_EQ(presenter.shown.size(), 1u);
        return presenter.shown.empty() ? V{} : test::sheetRows(*presenter.shown[0].book, 0);
    }

    test::TempDir dir;
    const std::string jan = dir.file("01-January.xlsx");
    const std::string feb = dir.file("02-February.xlsx");
    test::RecordingMessages messages;
    test::ScriptedPresenter dialogs;
    HeaderRowWindow window;
    Form1 form;
};

TEST_F(Form1HeaderMerge, TheMergeOptionsMenuReachesTheMerge) {
    form.MatchHeaders_Click();
    form.SourceColumn_Click();
    window.answer = 2;
    form.HeaderRow_Click();
    ASSERT_EQ(c().headerRow, 2);
    EXPECT_EQ(merge(),
              (V{"Source|Date|Units|Price|Total|Region", "01-January.xlsx:Sales|1|10|2|=C2*D2|",
                 "|||||", "02-February.xlsx:Sales|3|12|4|=D4*C4|West",
                 "02-February.xlsx:Sales|4|13|5|=D5*C5|East"}));
    EXPECT_TRUE(messages.shown.empty()) << messages.shown.at(0).first;
}

// By position, the block whose header row differs is named in the one box the merge shows,
// after the rows left out; nothing is said when no header row is compared.
TEST_F(Form1HeaderMerge, MergingByPositionNamesTheDifferingBlocksInOneBox) {
    window.answer = 2;
    form.HeaderRow_Click();
    EXPECT_EQ(merge(), (V{"Date|Units|Price|Total|", "1|10|2|=B2*C2|", "||||", "4|West|3|12|=A4*D4",
                          "5|East|4|13|=A5*D5"}));
    const std::string differs = merge::headerDifferencesText({{feb, "Sales", "adds Region"}});
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].first, differs);
    EXPECT_EQ(messages.shown[0].second, controls::MessageIcon::Information);
    EXPECT_EQ(messages.actions.at(0), "") << "header rows alone offer no report";

    // A queued file that is gone joins the same box, before the header rows.
    messages.shown.clear();
    messages.actions.clear();
    const std::string gone = dir.file("03-March.xlsx");
    queue(gone);
    ASSERT_EQ(merge().size(), 5u);
    ASSERT_EQ(messages.shown.size(), 1u);
    const std::string& text = messages.shown[0].first;
    const size_t missing = text.find("'" + gone + "', sheet 'Sales'");
    ASSERT_NE(missing, std::string::npos) << text;
    EXPECT_LT(missing, text.find(differs)) << text;
    EXPECT_EQ(text.size() - text.find(differs), differs.size()) << "the header rows come last";

    // The first row kept and the header row the first: no header row is compared.
    messages.shown.clear();
    c().Check1.setValue(0);
    window.answer = 1;
    form.HeaderRow_Click();
    c().ListView4.setChecked(3, false);
    EXPECT_EQ(merge().front(), "January||||");
    EXPECT_TRUE(messages.shown.empty()) << messages.shown.at(0).first;
}

}  // namespace
}  // namespace plyfold::app
