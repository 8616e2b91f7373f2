#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QBrush>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <string>

#include "app/qt/list_model_adapter.h"
#include "app/qt/list_view.h"
#include "app/qt/qt_text.h"
#include "app/qt/source_icons.h"
#include "controls/list_model.h"
#include "tests/qt/gui_test_support.h"

namespace plyfold::gui {
namespace {

using controls::ListModel;
using test::processEvents;

// Every row Qt shows matches the list's row: text, sub-item and check mark.
void expectMirrors(const ListModelAdapter& adapter, const ListModel& list) {
    ASSERT_EQ(adapter.rowCount(), list.count());
    for (int row = 0; row < list.count(); ++row) {
        EXPECT_EQ(adapter.index(row, 0).data().toString(), toQString(list.text(row + 1)))
            << "row " << row;
        if (adapter.columnCount() > 1) {
            EXPECT_EQ(adapter.index(row, 1).data().toString(), toQString(list.subItem(row + 1)))
                << "row " << row;
        }
        if (adapter.hasCheckBoxes()) {
            EXPECT_EQ(adapter.index(row, 0).data(Qt::CheckStateRole).toInt(),
                      list.isChecked(row + 1) ? Qt::Checked : Qt::Unchecked)
                << "row " << row;
        }
    }
}

TEST(ListModelAdapter, FollowsEveryChangeOfTheList) {
    ListModel list;
    list.addColumnHeader("Excel File", 3100);
    list.addColumnHeader("Sheets be Merged", 1900);
    ListModelAdapter adapter(list, ListModelAdapter::CheckBoxes::Yes);
    // The tester checks every signal the adapter sends against Qt's rules for models.
    QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
            if (message.contains(QStringLiteral("FAIL!"))) {
                ADD_FAILURE() << message.toStdString();
            }
        });
    QAbstractItemModelTester tester(&adapter,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);

    struct Step {
        const char* what;
        std::function<void()> change;
    };
    const Step steps[] = {
        {"append three",
         [&] {
             list.add("a");
             list.add("b");
             list.add("c");
         }},
        {"insert first", [&] { list.insert(1, "first"); }},
        {"insert in the middle", [&] { list.insert(3, "middle"); }},
        {"check and name",
         [&] {
             list.setChecked(2, true);
             list.setSubItem(2, "Sheet1");
         }},
        {"rename", [&] { list.setText(4, "renamed"); }},
        {"remove in the middle", [&] { list.remove(3); }},
        {"append then remove the new row",
         [&] {
             list.add("gone");
             list.remove(list.count());
         }},
        {"append then move it up",
         [&] {
             list.add("moved");
             list.remove(list.count());
             list.insert(2, "moved");
         }},
        {"remove the last", [&] { list.remove(list.count()); }},
        {"clear", [&] { list.clear(); }},
        {"refill after clear",
         [&] {
             list.add("x");
             list.setChecked(1, true);
             list.add("y");
         }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        processEvents();
        expectMirrors(adapter, list);
    }
    qInstallMessageHandler(previous);
}

TEST(ListModelAdapter, AnnouncesAppendedRowsInOneBatch) {
    ListModel list;
    list.addColumnHeader("WorkSheets", 1900);
    ListModelAdapter adapter(list, ListModelAdapter::CheckBoxes::Yes);
    QSignalSpy inserted(&adapter, &QAbstractItemModel::rowsInserted);
    for (int i = 1; i <= 1000; ++i) {
        list.add("Sheet" + std::to_string(i));
        list.setChecked(i, true);
    }
    EXPECT_EQ(adapter.rowCount(), 0);
    EXPECT_EQ(adapter.pendingRowCount(), 1000);
    processEvents();
    EXPECT_EQ(inserted.count(), 1);
    expectMirrors(adapter, list);

    // Any other change announces the waiting rows first, so it applies to the right rows.
    list.add("late");
    list.select(list.count());
    EXPECT_EQ(adapter.pendingRowCount(), 0);
    EXPECT_EQ(adapter.rowCount(), list.count());
}

TEST(ListModelAdapter, ShowsCheckBoxesAndIconsOnlyWhereTheListHasThem) {
    ListModel sources;
    sources.addColumnHeader("Please Select the Excel File or Folder to Merge", 10200);
    ListModelAdapter withIcons(sources, ListModelAdapter::CheckBoxes::No);
    const QVector<QIcon> icons = sourceListIcons();
    withIcons.setSmallIcons(icons);
    for (int icon = 0; icon <= 7; ++icon) {
        sources.add("path" + std::to_string(icon));
        sources.setSmallIcon(icon + 1, icon);
    }
    processEvents();
    for (int row = 0; row < sources.count(); ++row) {
        const QModelIndex index = withIcons.index(row, 0);
        EXPECT_FALSE(withIcons.flags(index) & Qt::ItemIsUserCheckable);
        EXPECT_FALSE(index.data(Qt::CheckStateRole).isValid());
        const QVariant decoration = index.data(Qt::DecorationRole);
        if (row >= 1 && row <= 6) {
            ASSERT_TRUE(decoration.isValid()) << row;
            EXPECT_EQ(decoration.value<QIcon>().cacheKey(), icons[row - 1].cacheKey()) << row;
            EXPECT_FALSE(decoration.value<QIcon>().pixmap(16, 16).isNull()) << row;
        } else {
            EXPECT_FALSE(decoration.isValid()) << row;
        }
    }

    ListModel queue;
    ListModelAdapter checkable(queue, ListModelAdapter::CheckBoxes::Yes);
    queue.add("book.xlsx");
    processEvents();
    const QModelIndex first = checkable.index(0, 0);
    EXPECT_TRUE(checkable.flags(first) & Qt::ItemIsUserCheckable);
    EXPECT_TRUE(checkable.setData(first, Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(queue.isChecked(1));
    EXPECT_FALSE(checkable.setData(first, QStringLiteral("edited"), Qt::EditRole));
    EXPECT_EQ(queue.text(1), "book.xlsx");
}

TEST(ListModelAdapter, GreyedRowsAreDimmedAndStillCheckable) {
    ListModel sheets;
    ListModelAdapter adapter(sheets, ListModelAdapter::CheckBoxes::Yes);
    QSignalSpy changes(&adapter, &QAbstractItemModel::dataChanged);
    for (const char* name : {"Data", "Helper", "Last"}) {
        sheets.setChecked(sheets.add(name), true);
    }
    processEvents();
    changes.clear();
    sheets.setGreyed(2, true);
    EXPECT_EQ(changes.count(), 1);
    const QColor dimmed = QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
    for (int row = 0; row < 3; ++row) {
        const QModelIndex index = adapter.index(row, 0);
        const QVariant foreground = index.data(Qt::ForegroundRole);
        if (row == 1) {
            ASSERT_TRUE(foreground.isValid());
            EXPECT_EQ(foreground.value<QBrush>().color(), dimmed);
        } else {
            EXPECT_FALSE(foreground.isValid()) << row;
        }
        EXPECT_TRUE(adapter.flags(index) & Qt::ItemIsUserCheckable) << row;
        EXPECT_TRUE(adapter.flags(index) & Qt::ItemIsEnabled) << row;
        EXPECT_TRUE(adapter.flags(index) & Qt::ItemIsSelectable) << row;
    }
    sheets.setGreyed(2, false);
    EXPECT_FALSE(adapter.index(1, 0).data(Qt::ForegroundRole).isValid());
}

// A list shown on screen, with signal spies on the user events.
struct ShownList {
    ListModel list;
    ListModelAdapter adapter{list, ListModelAdapter::CheckBoxes::Yes};
    ListView view{&adapter};
    QSignalSpy clicks{&view, &ListView::userClickedItem};
    QSignalSpy doubleClicks{&view, &ListView::userDoubleClicked};

    explicit ShownList(int rows) {
        list.addColumnHeader("WorkBooks", 1900);
        for (int i = 1; i <= rows; ++i) {
            list.add("book" + std::to_string(i) + ".xlsx");
        }
        view.resize(300, 400);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
        processEvents();
    }
    QPoint centreOf(int row) const { return view.visualRect(adapter.index(row, 0)).center(); }
};

TEST(ListView, RaisesItemClickForTheUserOnly) {
    ShownList shown(5);
    shown.list.select(2);
    EXPECT_EQ(shown.view.selectedRow(), 1);
    EXPECT_EQ(shown.clicks.count(), 0);

    QTest::mouseClick(shown.view.viewport(), Qt::LeftButton, {}, shown.centreOf(3));
    EXPECT_EQ(shown.list.selectedIndex(), 4);
    EXPECT_EQ(shown.clicks.count(), 1);
    // Clicking the selected row raises the event again.
    QTest::mouseClick(shown.view.viewport(), Qt::LeftButton, {}, shown.centreOf(3));
    EXPECT_EQ(shown.clicks.count(), 2);
    // Ctrl+click keeps the row selected.
    QTest::mouseClick(shown.view.viewport(), Qt::LeftButton, Qt::ControlModifier,
                      shown.centreOf(3));
    EXPECT_EQ(shown.list.selectedIndex(), 4);
    // Keyboard moves select and raise; a move past the end changes nothing and raises nothing.
    shown.view.setFocus();
    QTest::keyClick(&shown.view, Qt::Key_Down);
    EXPECT_EQ(shown.list.selectedIndex(), 5);
    const qsizetype before = shown.clicks.count();
    EXPECT_EQ(before, 4);
    QTest::keyClick(&shown.view, Qt::Key_Down);
    EXPECT_EQ(shown.clicks.count(), before);
    // A right click is no item click.
    QTest::mouseClick(shown.view.viewport(), Qt::RightButton, {}, shown.centreOf(0));
    EXPECT_EQ(shown.clicks.count(), before);
    // Selecting from code afterwards still raises nothing.
    shown.list.select(1);
    shown.list.select(0);
    EXPECT_EQ(shown.view.selectedRow(), -1);
    EXPECT_EQ(shown.clicks.count(), before);
}

TEST(ListView, RaisesOneDoubleClickAnywhereInTheList) {
    ShownList shown(3);
    QTest::mouseDClick(shown.view.viewport(), Qt::LeftButton, {}, shown.centreOf(1));
    EXPECT_EQ(shown.doubleClicks.count(), 1);
    EXPECT_EQ(shown.list.selectedIndex(), 2);
    EXPECT_LE(shown.clicks.count(), 1);  // the first click of the two, at most
    // Below the last row, too: the handler decides what a double-click without a row does.
    QTest::mouseDClick(shown.view.viewport(), Qt::LeftButton, {},
                       QPoint(20, shown.view.viewport()->height() - 5));
    EXPECT_EQ(shown.doubleClicks.count(), 2);
}

TEST(ListView, SpaceTogglesTheCheckMarkInTheModel) {
    ShownList shown(2);
    shown.list.select(2);
    shown.view.setFocus();
    QTest::keyClick(&shown.view, Qt::Key_Space);
    EXPECT_TRUE(shown.list.isChecked(2));
    EXPECT_FALSE(shown.list.isChecked(1));
    QTest::keyClick(&shown.view, Qt::Key_Space);
    EXPECT_FALSE(shown.list.isChecked(2));
}

TEST(ListView, RemovingTheSelectedRowLeavesNoSelection) {
    ShownList shown(4);
    shown.list.select(3);
    shown.list.remove(3);
    processEvents();
    EXPECT_EQ(shown.list.selectedIndex(), 0);
    EXPECT_EQ(shown.view.selectedRow(), -1);
    shown.list.select(2);
    shown.list.insert(1, "new first");
    processEvents();
    EXPECT_EQ(shown.list.selectedIndex(), 3);
    EXPECT_EQ(shown.view.selectedRow(), 2);
    EXPECT_EQ(shown.clicks.count(), 0);
}

// The restore can add this many rows one by one; the list must take them and scroll to the
// end without stalling. The time is reported, not judged: speed claims live in bench/.
TEST(ListView, TakesAHundredThousandRowsOneByOne) {
    ShownList shown(0);
    QElapsedTimer timer;
    timer.start();
    for (int i = 1; i <= 100000; ++i) {
        shown.list.add("/data/source folder/workbook number " + std::to_string(i) + ".xlsx");
        shown.list.setChecked(i, i % 2 == 0);
    }
    shown.list.refresh();
    const qint64 added = timer.elapsed();
    shown.list.select(100000);
    shown.list.ensureVisible(100000);
    processEvents();
    shown.view.viewport()->repaint();
    const qint64 shownAtEnd = timer.elapsed();
    ::testing::Test::RecordProperty("add_ms", static_cast<int>(added));
    ::testing::Test::RecordProperty("scroll_ms", static_cast<int>(shownAtEnd - added));
    std::printf("100000 rows: added and shown in %lld ms, scrolled to the end in %lld ms\n",
                static_cast<long long>(added), static_cast<long long>(shownAtEnd - added));
    expectMirrors(shown.adapter, shown.list);
    EXPECT_EQ(shown.view.verticalScrollBar()->value(), shown.view.verticalScrollBar()->maximum());
    EXPECT_EQ(shown.view.indexAt(shown.centreOf(99999)).row(), 99999);
    EXPECT_EQ(shown.clicks.count(), 0);
}

}  // namespace
}  // namespace plyfold::gui
