#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTest>
#include <QToolButton>

#include <cmath>
#include <filesystem>
#include <memory>

#include "app/qt/list_model_adapter.h"
#include "app/qt/list_view.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_text.h"
#include "tests/qt/gui_test_support.h"
#include "tests/support/temp_dir.h"

namespace plyfold::gui {
namespace {

using test::child;
using test::processEvents;

// Clicks a check box or option button on its indicator, which every style counts as a hit.
void clickIndicator(QWidget* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

QRect pixels(int left, int top, int width, int height) {
    auto px = [](int twips) { return static_cast<int>(std::lround(twips / 15.0)); };
    return QRect(px(left), px(top), px(width), px(height));
}

// A program folder of its own and a window over it, with scripted services.
struct Program {
    plyfold::test::TempDir folder;
    test::RecordingMessages messages;
    test::RecordingShell shell;
    test::ScriptedDialogs dialogs;
    std::unique_ptr<MainWindow> window;

    void start() {
        window = std::make_unique<MainWindow>(folder.path().string(),
                                              MainWindowServices{&messages, &shell, &dialogs});
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        processEvents();
    }
    controls::Form1Controls& controls() { return window->form().controls(); }
    std::string savedList() const { return plyfold::test::readFile(folder.path() / "EXCEL.txt"); }
};

TEST(MainWindow, PlacesEveryControlAsTheLayoutSays) {
    Program program;
    program.start();
    MainWindow& window = *program.window;
    struct Expected {
        const char* name;
        const char* kind;
        QRect geometry;
        const char* caption;
        double points;
    };
    const Expected controls[] = {
        {"Command8", "QToolButton", pixels(120, 0, 1210, 975), "Add Excel", 9.6},
        {"Command6", "QToolButton", pixels(1440, 0, 1210, 975), "Add Folder", 9.6},
        {"Command7", "QToolButton", pixels(2760, 0, 1330, 975), "Remove File", 9.6},
        {"ListView1", "plyfold::gui::ListView", pixels(120, 1080, 10692, 2172), nullptr, 8.4},
        {"ListView2", "plyfold::gui::ListView", pixels(120, 3360, 2292, 2652), nullptr, 8.4},
        {"ListView3", "plyfold::gui::ListView", pixels(2520, 3360, 2292, 2652), nullptr, 8.4},
        {"Command20", "QPushButton", pixels(120, 6120, 2175, 280), "Add All Excel Files", 9},
        {"Command16", "QPushButton", pixels(2520, 6120, 2295, 280), "Add All Sheets", 9},
        {"Command10", "QToolButton", pixels(4800, 4200, 610, 375), "", 8.4},
        {"Command11", "QToolButton", pixels(4800, 4800, 610, 375), "", 8.4},
        {"Option1", "QRadioButton", pixels(120, 6480, 2895, 200), "Plyfold to one new sheet", 8.4},
        {"Combo1", "QComboBox", pixels(3120, 6480, 1695, 330), nullptr, 8.4},
        {"Option2", "QRadioButton", pixels(120, 6840, 3370, 250), "Plyfold into one new workbook",
         8.4},
        {"ListView4", "plyfold::gui::ListView", pixels(5400, 3360, 5412, 2652), nullptr, 8.4},
        {"Command17", "QPushButton", pixels(5400, 6120, 1335, 280), "Remove All", 9},
        {"Text1", "QLineEdit", pixels(9600, 6840, 1215, 300), "0", 8.4},
        {"Command15", "QToolButton", pixels(10800, 4800, 375, 735), "", 8.4},
        {"Command14", "QToolButton", pixels(10800, 3840, 375, 735), "", 8.4},
        {"Command4", "QToolButton", pixels(10800, 2400, 375, 735), "", 8.4},
        {"Command5", "QToolButton", pixels(10800, 1440, 375, 735), "", 8.4},
        {"Command18", "QToolButton", pixels(5160, 0, 1575, 975), "Merge", 9.6},
        {"Command12", "QToolButton", pixels(6840, 0, 1335, 975), "Help", 9.6},
        {"Command13", "QToolButton", pixels(8280, 0, 1215, 975), "HomePage", 9.6},
        {"Command9", "QToolButton", pixels(9600, 0, 1215, 975), "Exit", 9.6},
        {"Label1", "QLabel", pixels(5400, 6840, 4092, 252),
         "Insert the number of row or column between the sheets:", 8.4},
        {"ProgressBar1", "QProgressBar", pixels(120, 7200, 10975, 255), nullptr, 8.4},
        {"Check1", "QCheckBox", pixels(6840, 6120, 3970, 250),
         "Ignore first row on subsequent worksheets", 8.4},
        {"Check2", "QCheckBox", pixels(5400, 6480, 5772, 252),
         "Changes the width of a table column to accommodate the width of the text ", 8.4},
    };
    QWidget* client = window.centralWidget();
    for (const Expected& expected : controls) {
        SCOPED_TRACE(expected.name);
        QWidget* widget = child<QWidget>(&window, expected.name);
        ASSERT_TRUE(widget);
        EXPECT_EQ(widget->parentWidget(), client);
        EXPECT_STREQ(widget->metaObject()->className(), expected.kind);
        EXPECT_EQ(widget->geometry(), expected.geometry);
        EXPECT_EQ(widget->font().family(), QStringLiteral("Arial"));
        EXPECT_DOUBLE_EQ(widget->font().pointSizeF(), expected.points);
        if (expected.caption) {
            QString caption;
            if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                caption = button->text();
            } else if (auto* label = qobject_cast<QLabel*>(widget)) {
                caption = label->text();
            } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
                caption = edit->text();
            }
            EXPECT_EQ(caption, QString::fromUtf8(expected.caption));
        }
    }
    // "Arial" is served by a metric-compatible face.
    EXPECT_FALSE(QFontInfo(client->font()).family().isEmpty());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Plyfold"));
    EXPECT_EQ(client->size(), QSize(749, 502));
    EXPECT_GE(client->y(), window.menuBar()->height());
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
}

TEST(MainWindow, ShowsPictureButtonsAndBareArrows) {
    Program program;
    program.start();
    struct Picture {
        const char* name;
        int size;
    };
    for (const Picture& picture :
         {Picture{"Command8", 48}, Picture{"Command6", 48}, Picture{"Command18", 48},
          Picture{"Command13", 48}, Picture{"Command7", 32}, Picture{"Command12", 32},
          Picture{"Command9", 32}}) {
        SCOPED_TRACE(picture.name);
        auto* button = child<QToolButton>(program.window.get(), picture.name);
        ASSERT_TRUE(button);
        EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        EXPECT_EQ(button->iconSize(), QSize(picture.size, picture.size));
        EXPECT_FALSE(button->icon().pixmap(picture.size).isNull());
    }
    for (const char* name :
         {"Command10", "Command11", "Command14", "Command15", "Command4", "Command5"}) {
        SCOPED_TRACE(name);
        auto* button = child<QToolButton>(program.window.get(), name);
        ASSERT_TRUE(button);
        EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonIconOnly);
        EXPECT_TRUE(button->text().isEmpty());
        EXPECT_TRUE(button->toolTip().isEmpty());
        EXPECT_FALSE(button->icon().pixmap(16).isNull());
    }
}

TEST(MainWindow, ListsHaveTheirHeadersCheckBoxesAndIcons) {
    Program program;
    program.start();
    struct Column {
        const char* text;
        int widthTwips;
    };
    struct Expected {
        const char* name;
        std::vector<Column> columns;
        bool checkBoxes;
    };
    const Expected lists[] = {
        {"ListView1", {{"Please Select the Excel File or Folder to Merge", 10200}}, false},
        {"ListView2", {{"WorkBooks", 1900}}, true},
        {"ListView3", {{"WorkSheets", 1900}}, true},
        {"ListView4", {{"Excel File", 3100}, {"Sheets be Merged", 1900}}, true},
    };
    for (const Expected& expected : lists) {
        SCOPED_TRACE(expected.name);
        auto* view = child<ListView>(program.window.get(), expected.name);
        ASSERT_TRUE(view);
        EXPECT_FALSE(view->rootIsDecorated());
        EXPECT_EQ(view->selectionMode(), QAbstractItemView::SingleSelection);
        ASSERT_EQ(view->model()->columnCount(), static_cast<int>(expected.columns.size()));
        for (int c = 0; c < static_cast<int>(expected.columns.size()); ++c) {
            EXPECT_EQ(view->model()->headerData(c, Qt::Horizontal).toString(),
                      QString::fromUtf8(expected.columns[c].text));
            EXPECT_EQ(view->header()->sectionSize(c),
                      static_cast<int>(std::lround(expected.columns[c].widthTwips / 15.0)));
            const auto alignment = view->model()
                                       ->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole)
                                       .value<Qt::Alignment>();
            EXPECT_TRUE(alignment & Qt::AlignLeft);
        }
        EXPECT_EQ(view->adapter()->hasCheckBoxes(), expected.checkBoxes);
    }
}

// Every caption as before, with an access key ("&") that is unique in its menu, and the main
// commands' shortcuts. Remove List Item's Delete works in the source list alone.
TEST(MainWindow, MenusHoldTheirItemsWithAccessKeysAndShortcuts) {
    Program program;
    program.start();
    struct Item {
        const char* name;
        const char* text;
        const char* key = "";
    };
    struct Entry {
        const char* title;
        std::vector<Item> items;  // an item without a name is a separator
    };
    const Entry menus[] = {
        {"&File",
         {{"Addexcel", "&Add Excel File", "Ctrl+O"},
          {"AddFolder", "Add All Excel Files in &Folder", "Ctrl+Shift+O"},
          {"IncludeSubfolders", "Include S&ubfolders"},
          {"", ""},
          {"OpenJob", "&Open Job..."},
          {"SaveJob", "&Save Job..."}}},
        {"&Edit",
         {{"RemoveItem", "&Remove List Item", "Del"},
          {"RemoveAll", "Remove &All List Items"},
          {"", ""},
          {"SheetFilter", "Sheet &Filter..."},
          {"", ""},
          {"PreviewSheet", "&Preview Sheet"}}},
        {"&Actions", {{"Merge", "&Merge", "F5"}}},
        {"Sheet &Names",
         {{"SheetNamesSource", "&Source Sheet Names"},
          {"SheetNamesFile", "&File Names"},
          {"SheetNamesFileSheet", "File &and Sheet Names"}}},
        {"&Merge Options",
         {{"MatchHeaders", "&Match Columns by Header"},
          {"SourceColumn", "&Source Column"},
          {"HeaderRow", "&Header Row: 1..."}}},
        {"&Settings", {}},
        {"&Help", {{"Help", "&Help", "F1"}, {"HomePage", "Home&Page"}, {"About", "&About"}}},
    };
    // The letter after the one "&" of a caption, lower case.
    auto accessKey = [](const QString& text) {
        EXPECT_EQ(text.count(QLatin1Char('&')), 1) << text.toStdString();
        const qsizetype at = text.indexOf(QLatin1Char('&'));
        return at >= 0 && at + 1 < text.size() ? text[at + 1].toLower() : QChar();
    };
    const QList<QAction*> bar = program.window->menuBar()->actions();
    ASSERT_EQ(bar.size(), static_cast<int>(std::size(menus)));
    QSet<QChar> barKeys;
    for (int i = 0; i < bar.size(); ++i) {
        SCOPED_TRACE(menus[i].title);
        EXPECT_EQ(bar[i]->text(), QString::fromUtf8(menus[i].title));
        EXPECT_FALSE(barKeys.contains(accessKey(bar[i]->text())));
        barKeys.insert(accessKey(bar[i]->text()));
        if (menus[i].items.empty()) {
            // The entry on the menu bar is the command itself.
            EXPECT_EQ(bar[i]->menu(), nullptr);
            EXPECT_EQ(bar[i]->objectName(), QStringLiteral("Settings"));
            continue;
        }
        ASSERT_TRUE(bar[i]->menu());
        const QList<QAction*> items = bar[i]->menu()->actions();
        ASSERT_EQ(items.size(), static_cast<int>(menus[i].items.size()));
        QSet<QChar> itemKeys;
        for (int k = 0; k < items.size(); ++k) {
            const Item& expected = menus[i].items[k];
            EXPECT_EQ(items[k]->objectName(), QString::fromUtf8(expected.name));
            EXPECT_EQ(items[k]->text(), QString::fromUtf8(expected.text));
            EXPECT_EQ(items[k]->shortcut().toString(), QString::fromUtf8(expected.key))
                << expected.name;
            if (items[k]->isSeparator()) {
                continue;
            }
            const QChar key = accessKey(items[k]->text());
            EXPECT_FALSE(itemKeys.contains(key)) << expected.name;
            itemKeys.insert(key);
        }
    }
}

TEST(MainWindow, TheSheetNamesMenuChecksOneChoiceAndFollowsTheForm) {
    Program program;
    program.start();
    auto item = [&](const char* name) {
        return program.window->findChild<QAction*>(QString::fromLatin1(name));
    };
    QAction* source = item("SheetNamesSource");
    QAction* file = item("SheetNamesFile");
    QAction* both = item("SheetNamesFileSheet");
    ASSERT_TRUE(source && file && both);
    EXPECT_TRUE(source->isChecked());
    EXPECT_FALSE(file->isChecked());
    file->trigger();
    EXPECT_EQ(program.controls().sheetNames, controls::SheetNamesChoice::File);
    EXPECT_TRUE(file->isChecked());
    EXPECT_FALSE(source->isChecked());
    // A choice made elsewhere (an opened job) shows when the menu opens.
    program.controls().sheetNames = controls::SheetNamesChoice::FileAndSheet;
    QMenu* menu = program.window->findChild<QMenu*>(QStringLiteral("SheetNamesMenu"));
    ASSERT_TRUE(menu);
    emit menu->aboutToShow();
    EXPECT_TRUE(both->isChecked());
    EXPECT_FALSE(file->isChecked());
}

TEST(MainWindow, TheMergeOptionsMenuSetsTheFormsOptionsAndFollowsThem) {
    Program program;
    program.start();
    QMenu* menu = child<QMenu>(program.window.get(), "MergeOptionsMenu");
    QAction* matchHeaders = child<QAction>(program.window.get(), "MatchHeaders");
    QAction* sourceColumn = child<QAction>(program.window.get(), "SourceColumn");
    QAction* headerRow = child<QAction>(program.window.get(), "HeaderRow");
    ASSERT_TRUE(menu && matchHeaders && sourceColumn && headerRow);
    EXPECT_TRUE(matchHeaders->statusTip().startsWith(QStringLiteral("Vertical merge only")));
    EXPECT_FALSE(headerRow->isCheckable());

    controls::Form1Controls& c = program.controls();
    const std::pair<QAction*, bool controls::Form1Controls::*> checks[] = {
        {matchHeaders, &controls::Form1Controls::matchHeaders},
        {sourceColumn, &controls::Form1Controls::sourceColumn},
    };
    for (const auto& [action, option] : checks) {
        SCOPED_TRACE(action->objectName().toStdString());
        ASSERT_TRUE(action->isCheckable());
        EXPECT_FALSE(action->isChecked());
        action->trigger();
        EXPECT_TRUE(c.*option);
        EXPECT_TRUE(action->isChecked());
        action->trigger();
        EXPECT_FALSE(c.*option);
        EXPECT_FALSE(action->isChecked());
    }

    const struct {
        bool accept;
        int typed;
        int shownBefore;
        int after;
    } steps[] = {{true, 5, 1, 5}, {false, 8, 5, 5}, {true, 1'048'576, 5, 1'048'576}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.typed);
        int shown = 0;
        test::whenModalOpens([&](QWidget* modal) {
            auto* dialog = qobject_cast<QInputDialog*>(modal);
            ASSERT_TRUE(dialog);
            EXPECT_EQ(dialog->objectName(), QStringLiteral("HeaderRowDialog"));
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Header Row"));
            EXPECT_EQ(dialog->intMinimum(), 1);
            EXPECT_EQ(dialog->intMaximum(), 1'048'576);
            shown = dialog->intValue();
            dialog->setIntValue(step.typed);
            step.accept ? dialog->accept() : dialog->reject();
        });
        headerRow->trigger();
        processEvents();
        EXPECT_EQ(shown, step.shownBefore);
        EXPECT_EQ(c.headerRow, step.after);
        EXPECT_EQ(headerRow->text(), QStringLiteral("&Header Row: %1...").arg(step.after));
    }

    // Options changed elsewhere (an opened job) show when the menu opens.
    c.matchHeaders = true;
    c.sourceColumn = true;
    c.headerRow = 3;
    emit menu->aboutToShow();
    EXPECT_TRUE(matchHeaders->isChecked());
    EXPECT_TRUE(sourceColumn->isChecked());
    EXPECT_EQ(headerRow->text(), QStringLiteral("&Header Row: 3..."));
    EXPECT_TRUE(program.messages.shown.empty());
}

TEST(MainWindow, SheetFilterAsksForThePatternsShowingTheCurrentOnes) {
    Program program;
    program.start();
    auto* item = program.window->findChild<QAction*>(QStringLiteral("SheetFilter"));
    ASSERT_TRUE(item);
    const struct {
        bool accept;
        const char* typed;
        const char* shownBefore;
        const char* after;
    } steps[] = {
        {true, "Sales* -Notes", "", "Sales* -Notes"},
        {false, "ignored", "Sales* -Notes", "Sales* -Notes"},
        {true, "\xC3\x89t\xC3\xA9", "Sales* -Notes", "\xC3\x89t\xC3\xA9"},
        {true, "", "\xC3\x89t\xC3\xA9", ""},
    };
    for (const auto& step : steps) {
        QString shown;
        test::whenModalOpens([&](QWidget* modal) {
            auto* dialog = qobject_cast<QInputDialog*>(modal);
            ASSERT_TRUE(dialog);
            EXPECT_EQ(dialog->objectName(), QStringLiteral("SheetFilterDialog"));
            shown = dialog->textValue();
            dialog->setTextValue(QString::fromUtf8(step.typed));
            step.accept ? dialog->accept() : dialog->reject();
        });
        item->trigger();
        processEvents();
        EXPECT_EQ(shown, QString::fromUtf8(step.shownBefore)) << step.typed;
        EXPECT_EQ(program.controls().sheetFilter, step.after) << step.typed;
    }
    EXPECT_TRUE(program.messages.shown.empty());
}

TEST(MainWindow, IncludeSubfoldersIsACheckMarkOverTheFolderScanSetting) {
    Program program;
    program.start();
    auto* item = child<QAction>(program.window.get(), "IncludeSubfolders");
    ASSERT_TRUE(item->isCheckable());
    EXPECT_FALSE(item->isChecked());
    item->trigger();
    EXPECT_TRUE(item->isChecked());
    EXPECT_TRUE(program.controls().includeSubfolders);
    item->trigger();
    EXPECT_FALSE(item->isChecked());
    EXPECT_FALSE(program.controls().includeSubfolders);
}

TEST(MainWindow, TabMovesThroughTheControlsInTheirOrder) {
    Program program;
    program.start();
    const QStringList order = {
        "Command8",  "Command6",  "Command7",  "ListView1", "ListView2", "ListView3", "Command20",
        "Command16", "Command10", "Command11", "Option1",   "Combo1",    "Option2",   "ListView4",
        "Command17", "Text1",     "Command15", "Command14", "Command4",  "Command5",  "Command18",
        "Command12", "Command13", "Command9",  "Check1",    "Check2"};
    QStringList seen;
    QWidget* first = child<QWidget>(program.window.get(), "Command8");
    ASSERT_TRUE(first);
    QWidget* widget = first;
    do {
        if (order.contains(widget->objectName()) && !seen.contains(widget->objectName())) {
            seen << widget->objectName();
        }
        widget = widget->nextInFocusChain();
    } while (widget != first);
    EXPECT_EQ(seen, order);
    for (const QString& name : order) {
        EXPECT_TRUE(
            child<QWidget>(program.window.get(), name.toLatin1().constData())->focusPolicy() &
            Qt::TabFocus)
            << name.toStdString();
    }
}

TEST(MainWindow, StartsWithTheInitialValuesWhateverTheLastRunChose) {
    Program program;
    std::filesystem::create_directory(program.folder.path() / "data");
    plyfold::test::writeFile(program.folder.path() / "a.csv", "x,y\r\n");
    const std::string folder = program.folder.file("data");
    const std::string missing = program.folder.file("gone.xlsx");
    const std::string csv = program.folder.file("a.csv");
    plyfold::test::writeFile(program.folder.path() / "EXCEL.txt",
                             folder + "\r\n" + missing + "\r\n" + csv + "\r\n");
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        program.start();
        MainWindow& window = *program.window;
        controls::Form1Controls& c = program.controls();
        ASSERT_EQ(c.ListView1.count(), 3);
        EXPECT_EQ(c.ListView1.smallIcon(1), 2);
        EXPECT_EQ(c.ListView1.smallIcon(2), 3);
        EXPECT_EQ(c.ListView1.smallIcon(3), 5);
        auto* list1 = child<ListView>(&window, "ListView1");
        EXPECT_EQ(list1->model()->rowCount(), 3);
        EXPECT_EQ(list1->selectedRow(), -1);
        EXPECT_FALSE(list1->model()->index(1, 0).data(Qt::DecorationRole).isNull());
        for (const char* name : {"ListView2", "ListView3", "ListView4"}) {
            EXPECT_EQ(child<ListView>(&window, name)->model()->rowCount(), 0) << name;
        }
        EXPECT_TRUE(child<QRadioButton>(&window, "Option1")->isChecked());
        EXPECT_FALSE(child<QRadioButton>(&window, "Option2")->isChecked());
        auto* combo = child<QComboBox>(&window, "Combo1");
        ASSERT_EQ(combo->count(), 2);
        EXPECT_EQ(combo->itemText(0), QStringLiteral("Vertical merger"));
        EXPECT_EQ(combo->itemText(1), QStringLiteral("Horizontal Merger"));
        EXPECT_EQ(combo->currentIndex(), 0);
        auto* check1 = child<QCheckBox>(&window, "Check1");
        EXPECT_FALSE(check1->isChecked());
        EXPECT_EQ(check1->text(), QStringLiteral("Ignore first row on subsequent worksheets"));
        EXPECT_TRUE(child<QCheckBox>(&window, "Check2")->isChecked());
        EXPECT_EQ(child<QLineEdit>(&window, "Text1")->text(), QStringLiteral("0"));
        auto* progress = child<QProgressBar>(&window, "ProgressBar1");
        EXPECT_EQ(progress->value(), 0);
        EXPECT_EQ(progress->minimum(), 0);
        EXPECT_EQ(progress->maximum(), 100);
        for (const char* name : {"Combo1", "Text1", "Check1", "Check2"}) {
            EXPECT_TRUE(child<QWidget>(&window, name)->isEnabled()) << name;
        }
        // Change everything the user can, then end the run.
        clickIndicator(child<QCheckBox>(&window, "Check2"));
        clickIndicator(check1);
        child<QLineEdit>(&window, "Text1")->setFocus();
        QTest::keyClicks(child<QLineEdit>(&window, "Text1"), "5");
        clickIndicator(child<QRadioButton>(&window, "Option2"));
        EXPECT_EQ(c.Check2.value(), 0);
        EXPECT_EQ(c.Check1.value(), 1);
        EXPECT_EQ(c.Text1.text(), "05");
        EXPECT_TRUE(c.Option2.value());
        window.close();
        program.window.reset();
    }
}

TEST(MainWindow, WorkbookModeGreysOutTheSheetOptionsAndKeepsThem) {
    Program program;
    program.start();
    MainWindow& window = *program.window;
    controls::Form1Controls& c = program.controls();
    auto* check1 = child<QCheckBox>(&window, "Check1");
    clickIndicator(check1);
    auto* text1 = child<QLineEdit>(&window, "Text1");
    text1->setFocus();
    text1->selectAll();
    QTest::keyClicks(text1, "3");

    clickIndicator(child<QRadioButton>(&window, "Option2"));
    EXPECT_TRUE(c.Option2.value());
    EXPECT_FALSE(c.Option1.value());
    EXPECT_FALSE(child<QRadioButton>(&window, "Option1")->isChecked());
    for (const char* name : {"Combo1", "Text1", "Check1", "Check2"}) {
        EXPECT_FALSE(child<QWidget>(&window, name)->isEnabled()) << name;
    }
    for (const char* name : {"Label1", "Option1", "Option2"}) {
        EXPECT_TRUE(child<QWidget>(&window, name)->isEnabled()) << name;
    }
    clickIndicator(child<QRadioButton>(&window, "Option1"));
    EXPECT_TRUE(c.Option1.value());
    for (const char* name : {"Combo1", "Text1", "Check1", "Check2"}) {
        EXPECT_TRUE(child<QWidget>(&window, name)->isEnabled()) << name;
    }
    EXPECT_TRUE(check1->isChecked());
    EXPECT_EQ(text1->text(), QStringLiteral("3"));
}

TEST(MainWindow, PickingADirectionRenamesCheck1Only) {
    Program program;
    program.start();
    MainWindow& window = *program.window;
    auto* combo = child<QComboBox>(&window, "Combo1");
    auto* check1 = child<QCheckBox>(&window, "Check1");
    clickIndicator(check1);
    struct Pick {
        int index;
        const char* caption;
    };
    for (const Pick& pick : {Pick{1, "Ignore first column on subsequent worksheets"},
                             Pick{0, "Ignore first row on subsequent worksheets"},
                             Pick{1, "Ignore first column on subsequent worksheets"}}) {
        combo->setFocus();
        QTest::keyClick(combo, pick.index == 1 ? Qt::Key_Down : Qt::Key_Up);
        EXPECT_EQ(program.controls().Combo1.listIndex(), pick.index);
        EXPECT_EQ(check1->text(), QString::fromUtf8(pick.caption));
        EXPECT_TRUE(check1->isChecked());
        EXPECT_EQ(program.controls().Check1.value(), 1);
    }
}

TEST(MainWindow, LeavingTheGapBoxKeepsWhatWasTyped) {
    Program program;
    program.start();
    MainWindow& window = *program.window;
    auto* text1 = child<QLineEdit>(&window, "Text1");
    text1->setFocus();
    text1->selectAll();
    QTest::keyClicks(text1, "a");
    child<QWidget>(&window, "ListView4")->setFocus();
    processEvents();
    EXPECT_EQ(program.controls().Text1.text(), "a");
    EXPECT_EQ(text1->text(), QStringLiteral("a"));
    // The Merge command is what turns it into "0" (here it then finds an empty queue).
    QTest::mouseClick(child<QToolButton>(&window, "Command18"), Qt::LeftButton);
    EXPECT_EQ(text1->text(), QStringLiteral("0"));
}

TEST(MainWindow, ButtonsAndMenuItemsReachTheirHandlers) {
    Program program;
    program.start();
    MainWindow& window = *program.window;
    const std::string help = (program.folder.path() / "help.chm").string();
    plyfold::test::writeFile(help, "help");
    struct Trigger {
        const char* name;
        bool isAction;
        std::string target;   // what the shell is asked to open, if anything
        const char* message;  // the message shown, if any
    };
    const Trigger triggers[] = {
        {"Command12", false, help, nullptr},
        {"Help", true, help, nullptr},
        {"Command13", false, "https://plyfold.org/", nullptr},
        {"HomePage", true, "https://plyfold.org/", nullptr},
        {"Command18", false, "", "Please select some excel files to Merge!"},
        {"Merge", true, "", "Please select some excel files to Merge!"},
    };
    for (const Trigger& trigger : triggers) {
        SCOPED_TRACE(trigger.name);
        program.shell.opened.clear();
        program.messages.shown.clear();
        if (trigger.isAction) {
            child<QAction>(&window, trigger.name)->trigger();
        } else {
            QTest::mouseClick(child<QAbstractButton>(&window, trigger.name), Qt::LeftButton);
        }
        if (trigger.target.empty()) {
            EXPECT_TRUE(program.shell.opened.empty());
        } else {
            ASSERT_EQ(program.shell.opened.size(), 1u);
            EXPECT_EQ(program.shell.opened[0].first, trigger.target);
            EXPECT_EQ(program.shell.opened[0].second, controls::ShowCommand::Show);
        }
        if (trigger.message) {
            ASSERT_EQ(program.messages.shown.size(), 1u);
            EXPECT_EQ(program.messages.shown[0].text, trigger.message);
            EXPECT_EQ(program.messages.shown[0].icon, controls::MessageIcon::Information);
        } else {
            EXPECT_TRUE(program.messages.shown.empty());
        }
    }
}

TEST(MainWindow, ClosingRunsTheUnloadOnceAndSavesTheList) {
    struct Case {
        const char* how;
        const char* settings;  // nullptr: no settings file
        bool saved;
    };
    for (const Case& run : {Case{"close box", nullptr, true}, Case{"Exit", nullptr, true},
                            Case{"close box", "1\r\n", true}, Case{"Exit", "0\r\n", false},
                            Case{"menu-less quit", nullptr, true}}) {
        SCOPED_TRACE(std::string(run.how) + (run.settings ? run.settings : " no set.txt"));
        Program program;
        plyfold::test::writeFile(program.folder.path() / "EXCEL.txt", "/old/one.xlsx\r\n");
        if (run.settings) {
            plyfold::test::writeFile(program.folder.path() / "set.txt", run.settings);
        }
        program.start();
        MainWindow& window = *program.window;
        program.controls().ListView1.add("/new/two.csv");
        const std::string how = run.how;
        if (how == "Exit") {
            QTest::mouseClick(child<QToolButton>(&window, "Command9"), Qt::LeftButton);
        } else if (how == "close box") {
            window.close();
        } else {
            QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection);
        }
        EXPECT_EQ(program.savedList(),
                  run.saved ? "/old/one.xlsx\r\n/new/two.csv\r\n" : "/old/one.xlsx\r\n");
        // Whatever follows, the unload does not run again: the list saved stays as it was.
        program.controls().ListView1.add("/third.dbf");
        window.close();
        QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection);
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(program.savedList(),
                  run.saved ? "/old/one.xlsx\r\n/new/two.csv\r\n" : "/old/one.xlsx\r\n");
    }
}

}  // namespace
}  // namespace plyfold::gui
