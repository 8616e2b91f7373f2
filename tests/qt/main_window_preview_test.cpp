#include <gtest/gtest.h>

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTabWidget>
#include <QTest>

#include "app/qt/list_view.h"
#include "app/qt/main_window.h"
#include "app/qt/result_presenter.h"
#include "app/qt/result_window.h"
#include "automation/automation.h"
#include "tests/qt/gui_test_support.h"
#include "tests/support/grid_workbook.h"
#include "tests/support/temp_dir.h"

namespace plyfold::gui {
namespace {

using test::child;
using test::processEvents;

// Opens the context menu of a list on its row (0-based) as a right-click does.
QMenu* openContextMenu(ListView* list, int row) {
    const QPoint at = list->visualRect(list->model()->index(row, 0)).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(list->viewport(), &event);
    return list->findChild<QMenu*>(QStringLiteral("PreviewMenu"));
}

TEST(MainWindowPreview, TheKeyTheMenuItemAndTheContextMenuPreviewTheCurrentRow) {
    plyfold::test::TempDir folder;
    plyfold::test::TempDir sources;
    const std::string path = sources.file("Sales.xlsx");
    plyfold::test::writeGridWorkbook(path, {{"North", plyfold::test::taggedGrid("n", 2, 2)},
                                            {"South", plyfold::test::taggedGrid("s", 2, 2)}});
    test::RecordingMessages messages;
    test::RecordingShell shell;
    test::ScriptedDialogs dialogs;
    test::ScriptedResultDialogs resultDialogs;
    test::RecordingMessages resultMessages;
    ResultPresenter presenter(ResultWindowServices{&resultDialogs, &resultMessages, nullptr, {}});
    automation::ServerRegistry::instance().setPresenter(&presenter);
    MainWindow window(folder.path().string(), MainWindowServices{&messages, &shell, &dialogs});
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    controls::Form1Controls& c = window.form().controls();
    c.ListView1.add(path);
    c.ListView1.select(1);
    window.form().ListView1_ItemClick();
    for (const char* sheet : {"North", "South"}) {
        c.ListView4.add(path);
        c.ListView4.setSubItem(c.ListView4.count(), sheet);
    }
    c.ListView4.select(2);
    processEvents();
    auto* worksheets = child<ListView>(&window, "ListView3");
    auto* queue = child<ListView>(&window, "ListView4");
    ASSERT_EQ(worksheets->model()->rowCount(), 2);

    auto lastTitle = [&] {
        processEvents();
        const QList<ResultWindow*> shown = presenter.windows();
        return shown.isEmpty() ? QString() : shown.last()->windowTitle();
    };
    auto title = [](const char* sheet) {
        return QStringLiteral("Preview of Sales.xlsx, sheet %1 (read-only) - Plyfold")
            .arg(QLatin1String(sheet));
    };

    // A preview window takes the activation: the main window gets it back before each key.
    auto focus = [&](ListView* list) {
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        list->setFocus();
    };
    // The key acts on the list that has the focus.
    focus(queue);
    QTest::keyClick(queue, Qt::Key_F3);
    EXPECT_EQ(lastTitle(), title("South"));
    c.ListView3.select(1);
    focus(worksheets);
    QTest::keyClick(worksheets, Qt::Key_F3);
    EXPECT_EQ(lastTitle(), title("North"));
    // The menu item acts on the list that last had it.
    focus(queue);
    c.ListView3.select(2);
    c.ListView4.select(1);
    child<QAction>(&window, "PreviewSheet")->trigger();
    EXPECT_EQ(lastTitle(), title("North"));
    ASSERT_EQ(presenter.windows().size(), 3);

    // The context menu acts on the row it was opened on, which it selects.
    QMenu* menu = openContextMenu(worksheets, 1);
    ASSERT_TRUE(menu);
    EXPECT_EQ(c.ListView3.selectedIndex(), 2);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_TRUE(menu->actions()[0]->text().startsWith(QStringLiteral("Preview Sheet\t")));
    menu->actions()[0]->trigger();
    menu->close();
    EXPECT_EQ(lastTitle(), title("South"));
    ASSERT_EQ(presenter.windows().size(), 4);
    EXPECT_TRUE(messages.shown.empty());

    // Each preview is the one sheet, read-only, with nothing that saves.
    for (ResultWindow* preview : presenter.windows()) {
        SCOPED_TRACE(preview->windowTitle().toStdString());
        EXPECT_TRUE(preview->isReadOnly());
        ASSERT_EQ(preview->tabs()->count(), 1);
        EXPECT_TRUE(preview->windowTitle().contains(preview->tabs()->tabText(0)));
        for (const char* name : {"SaveAs", "OpenInSpreadsheetApplication"}) {
            auto* action = child<QAction>(preview, name);
            EXPECT_FALSE(action->isVisible() || action->isEnabled()) << name;
        }
        EXPECT_FALSE(preview->saveAs());
        EXPECT_TRUE(preview->close());
    }
    EXPECT_TRUE(resultDialogs.suggestedPaths.empty());
    EXPECT_TRUE(resultDialogs.askedAbout.empty());
    automation::ServerRegistry::instance().setPresenter(nullptr);
}

}  // namespace
}  // namespace plyfold::gui
