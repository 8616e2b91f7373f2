#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QTableView>
#include <QTest>

#include <filesystem>
#include <memory>

#include "app/qt/list_view.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_text.h"
#include "app/qt/result_presenter.h"
#include "tests/qt/gui_test_support.h"
#include "tests/support/grid_workbook.h"
#include "tests/support/temp_dir.h"

namespace plyfold::gui {
namespace {

using test::child;
using test::processEvents;

// The middle of the given row of a list, in its viewport's coordinates.
QPoint centreOfRow(ListView* view, int row) {
    return view->visualRect(view->model()->index(row, 0)).center();
}

void clickRow(ListView* view, int row) {
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centreOfRow(view, row));
}

void doubleClickRow(ListView* view, int row) {
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, centreOfRow(view, row));
}

void clickButton(const MainWindow& window, const char* name) {
    QTest::mouseClick(child<QAbstractButton>(&window, name), Qt::LeftButton);
}

QString shown(const QTableView* view, int row, int column) {
    return view->model()->index(row, column).data(Qt::DisplayRole).toString();
}

// The whole road as a user walks it: add a folder, pick each workbook, queue a sheet of each
// by double-click, move the second above the first, merge, and read the result window.
TEST(Road, FromAFolderToTheResultWindow) {
    plyfold::test::TempDir sources;
    using plyfold::test::Grid;
    const Grid north = {{std::string("Region"), std::string("Sales")},
                        {std::string("North"), 10.0}};
    const Grid south = {{std::string("Region"), std::string("Sales")},
                        {std::string("South"), 20.0},
                        {std::string("South-East"), 5.0}};
    plyfold::test::writeGridWorkbook(sources.file("a.xlsx"), {{"North", north}, {"Spare", {}}});
    plyfold::test::writeGridWorkbook(sources.file("b.xlsx"), {{"South", south}});

    test::ScriptedResultDialogs resultDialogs;
    test::RecordingMessages resultMessages;
    ResultPresenter presenter(ResultWindowServices{&resultDialogs, &resultMessages, nullptr, {}});
    automation::ServerRegistry::instance().setPresenter(&presenter);

    plyfold::test::TempDir programFolder;
    test::RecordingMessages messages;
    test::RecordingShell shell;
    test::ScriptedDialogs dialogs;
    dialogs.folders = {sources.path().string()};
    MainWindow window(programFolder.path().string(), {&messages, &shell, &dialogs});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    clickButton(window, "Command6");
    processEvents();
    auto* workbooks = child<ListView>(&window, "ListView2");
    auto* worksheets = child<ListView>(&window, "ListView3");
    auto* queue = child<ListView>(&window, "ListView4");
    ASSERT_EQ(workbooks->model()->rowCount(), 2);
    EXPECT_EQ(workbooks->model()->index(0, 0).data().toString(), "a.xlsx");

    clickRow(workbooks, 0);
    processEvents();
    ASSERT_EQ(worksheets->model()->rowCount(), 2);
    doubleClickRow(worksheets, 0);
    clickRow(workbooks, 1);
    processEvents();
    ASSERT_EQ(worksheets->model()->rowCount(), 1);
    doubleClickRow(worksheets, 0);
    processEvents();
    ASSERT_EQ(queue->model()->rowCount(), 2);

    clickRow(queue, 1);
    clickButton(window, "Command14");  // up: b's sheet first
    processEvents();
    EXPECT_EQ(queue->model()->index(0, 1).data().toString(), "South");

    clickButton(window, "Command18");
    processEvents();
    automation::ServerRegistry::instance().setPresenter(nullptr);
    EXPECT_TRUE(messages.shown.empty());

    const QList<ResultWindow*> windows = presenter.windows();
    ASSERT_EQ(windows.size(), 1);
    const QTableView* result = windows[0]->sheetView(0);
    ASSERT_NE(result, nullptr);
    // b's block, then a's, each with its header: dropping first rows is off by default.
    const QString expected[][2] = {{"Region", "Sales"},
                                   {"South", "20"},
                                   {"South-East", "5"},
                                   {"Region", "Sales"},
                                   {"North", "10"}};
    for (int row = 0; row < 5; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(shown(result, row, 0), expected[row][0]);
        EXPECT_EQ(shown(result, row, 1), expected[row][1]);
    }
    EXPECT_EQ(shown(result, 5, 0), "");
    // The merge's summary under the sheets.
    EXPECT_TRUE(windows[0]->statusText().startsWith(
        QStringLiteral("Merged 2 worksheets from 2 files: 5 rows x 2 columns in ")))
        << windows[0]->statusText().toStdString();
    EXPECT_EQ(window.form().controls().ProgressBar1.maximum(), 2);
    EXPECT_EQ(window.form().controls().ProgressBar1.value(), 0);  // reset once merged

    // The merge handed its sources to the window: the result is not saved over one of them,
    // under any name.
    std::filesystem::create_hard_link(sources.file("b.xlsx"), sources.file("b-too.xlsx"));
    const std::string sourceBytes = plyfold::test::readFile(sources.file("b.xlsx"));
    resultDialogs.targets.push_back(
        {QString::fromStdString(sources.file("b-too.xlsx")), SaveFormat::Workbook});
    EXPECT_FALSE(windows[0]->saveAs());
    ASSERT_EQ(resultMessages.shown.size(), 1u);
    EXPECT_NE(resultMessages.shown[0].text.find("b.xlsx', a file queued as a source"),
              std::string::npos)
        << resultMessages.shown[0].text;
    EXPECT_EQ(plyfold::test::readFile(sources.file("b.xlsx")), sourceBytes);

    resultDialogs.answers = {SaveAnswer::DontSave};
    windows[0]->close();
    window.close();
    processEvents();
}

}  // namespace
}  // namespace plyfold::gui
