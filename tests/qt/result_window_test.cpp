#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <memory>

#include "app/qt/cell_delegate.h"
#include "app/qt/qt_text.h"
#include "app/qt/result_presenter.h"
#include "app/qt/result_window.h"
#include "app/qt/sheet_table_model.h"
#include "automation/automation.h"
#include "engine/io/workbook_io.h"
#include "engine/model/sheet.h"
#include "engine/model/workbook.h"
#include "engine/ops/number_format.h"
#include "tests/qt/gui_test_support.h"
#include "tests/support/temp_dir.h"

namespace plyfold::gui {
namespace {

using engine::CellType;
using test::processEvents;

// Fills an engine sheet cell by cell.
struct SheetWriter {
    engine::Sheet& sheet;

    engine::Workbook& book() const { return sheet.workbook(); }
    engine::Cell& number(int row, int column, double value, uint32_t style = 0) {
        engine::Cell& cell = sheet.cellAt({row, column});
        cell.type = CellType::Number;
        cell.value.number = value;
        cell.style = style;
        return cell;
    }
    engine::Cell& text(int row, int column, std::string_view value, uint32_t style = 0) {
        engine::Cell& cell = sheet.cellAt({row, column});
        cell.type = CellType::Text;
        cell.value.text = book().strings().intern(value);
        cell.style = style;
        return cell;
    }
    engine::Cell& boolean(int row, int column, bool value) {
        engine::Cell& cell = sheet.cellAt({row, column});
        cell.type = CellType::Boolean;
        cell.value.boolean = value;
        return cell;
    }
    engine::Cell& error(int row, int column, engine::ErrorValue value) {
        engine::Cell& cell = sheet.cellAt({row, column});
        cell.type = CellType::Error;
        cell.value.error = value;
        return cell;
    }
    uint32_t style(const engine::CellStyle& style) { return book().styles().addStyle(style); }
};

std::shared_ptr<engine::Workbook> newWorkbook(std::initializer_list<const char*> sheetNames) {
    auto book = std::make_shared<engine::Workbook>();
    for (const char* name : sheetNames) {
        book->addSheet(name);
    }
    return book;
}

// A running server instance and a result workbook it shows, as a merge leaves them.
struct Result {
    std::shared_ptr<automation::Application> application =
        std::make_shared<automation::Application>();
    std::string name = "Book1";
    std::shared_ptr<engine::Workbook> book = newWorkbook({"Sheet1"});
    SheetWriter first{book->sheet(0)};
};

Qt::Alignment alignmentOf(const QModelIndex& index) {
    return index.data(Qt::TextAlignmentRole).value<Qt::Alignment>();
}

TEST(SheetTableModel, ShowsValuesAlignedAsASpreadsheetDoes) {
    Result result;
    SheetWriter& w = result.first;
    engine::CellStyle centred;
    centred.alignment.horizontal = engine::HorizontalAlign::Center;
    centred.alignment.vertical = engine::VerticalAlign::Top;
    engine::CellStyle twoPlaces;
    twoPlaces.numberFormat = w.book().styles().addFormatCode("0.00");
    struct Case {
        const char* what;
        std::function<void()> write;
        int row, column;
        const char* shown;
        Qt::Alignment horizontal;
        Qt::Alignment vertical;
    };
    const Case cases[] = {
        {"number", [&] { w.number(0, 0, 42); }, 0, 0, "42", Qt::AlignRight, Qt::AlignBottom},
        {"text", [&] { w.text(0, 1, "hello"); }, 0, 1, "hello", Qt::AlignLeft, Qt::AlignBottom},
        {"truth value", [&] { w.boolean(0, 2, true); }, 0, 2, "TRUE", Qt::AlignHCenter,
         Qt::AlignBottom},
        {"error", [&] { w.error(0, 3, engine::ErrorValue::Div0); }, 0, 3, "#DIV/0!",
         Qt::AlignHCenter, Qt::AlignBottom},
        {"centred number", [&] { w.number(1, 0, 7, w.style(centred)); }, 1, 0, "7",
         Qt::AlignHCenter, Qt::AlignTop},
        {"number format", [&] { w.number(1, 1, 3.14159, w.style(twoPlaces)); }, 1, 1, "3.14",
         Qt::AlignRight, Qt::AlignBottom},
        {"far cell", [&] { w.text(4999, 30, "far"); }, 4999, 30, "far", Qt::AlignLeft,
         Qt::AlignBottom},
        {"empty cell", [] {}, 2, 2, "", Qt::AlignLeft, Qt::AlignBottom},
    };
    for (const Case& c : cases) {
        c.write();
    }
    SheetTableModel model(result.book->sheet(0));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QModelIndex index = model.index(c.row, c.column);
        EXPECT_EQ(index.data().toString(), QString::fromUtf8(c.shown));
        EXPECT_EQ(alignmentOf(index) & Qt::AlignHorizontal_Mask, c.horizontal);
        EXPECT_EQ(alignmentOf(index) & Qt::AlignVertical_Mask, c.vertical);
    }
    EXPECT_EQ(model.rowCount(), 5000);
    EXPECT_EQ(model.columnCount(), 31);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "A");
    EXPECT_EQ(model.headerData(26, Qt::Horizontal, Qt::DisplayRole).toString(), "AA");
    EXPECT_EQ(model.headerData(4999, Qt::Vertical, Qt::DisplayRole).toString(), "5000");
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
}

TEST(SheetTableModel, FindsCellsOfSparseRowsByTheirPosition) {
    Result result;
    SheetWriter& w = result.first;
    const int rows[] = {0, 1, 7, 500, 65535, 1048575};
    for (int row : rows) {
        w.number(row, 3, row);
        w.number(row, 700, -row);
    }
    SheetTableModel model(result.book->sheet(0));
    EXPECT_EQ(model.rowCount(), 1048576);
    EXPECT_EQ(model.columnCount(), 701);
    for (int row : rows) {
        ASSERT_TRUE(model.cellAt(row, 3)) << row;
        EXPECT_EQ(model.cellAt(row, 3)->value.number, row);
        EXPECT_EQ(model.cellAt(row, 700)->value.number, -row);
        EXPECT_FALSE(model.cellAt(row, 2));
        EXPECT_FALSE(model.cellAt(row, 4));
        EXPECT_FALSE(model.cellAt(row + 1 == 2 ? 3 : row + 2, 3));
    }
    EXPECT_FALSE(model.cellAt(2, 3));
    EXPECT_FALSE(model.cellAt(1048574, 700));
}

TEST(SheetTableModel, CarriesFontsFillsWrapAndBorders) {
    Result result;
    SheetWriter& w = result.first;
    engine::StyleTable& styles = w.book().styles();
    engine::Font font;
    font.name = "Liberation Serif";
    font.size = 14;
    font.bold = true;
    font.italic = true;
    font.strike = true;
    font.underline = engine::Underline::Double;
    font.color = engine::Color::rgb(0x00FF0000);  // alpha 0, as files often write it
    engine::Fill solid;
    solid.pattern = engine::PatternType::Solid;
    solid.foreground = engine::Color::rgb(0xFFFFFF00);
    engine::Fill dotted;
    dotted.pattern = engine::PatternType::Gray125;
    dotted.foreground = engine::Color::rgb(0xFF0000FF);
    dotted.background = engine::Color::rgb(0xFF00FF00);
    engine::Border border;
    border.left = {engine::BorderStyle::Thin, engine::Color::rgb(0xFFFF0000)};
    border.bottom = {engine::BorderStyle::Thick, engine::Color::automatic()};
    engine::CellStyle styled;
    styled.font = styles.addFont(font);
    styled.fill = styles.addFill(solid);
    styled.border = styles.addBorder(border);
    styled.alignment.wrapText = true;
    w.text(0, 0, "styled", w.style(styled));
    engine::CellStyle patterned;
    patterned.fill = styles.addFill(dotted);
    w.number(0, 1, 1, w.style(patterned));
    w.number(0, 2, 2);

    SheetTableModel model(result.book->sheet(0));
    const QModelIndex cell = model.index(0, 0);
    const QFont shown = cell.data(Qt::FontRole).value<QFont>();
    EXPECT_EQ(shown.family(), QStringLiteral("Liberation Serif"));
    EXPECT_DOUBLE_EQ(shown.pointSizeF(), 14.0);
    EXPECT_TRUE(shown.bold());
    EXPECT_TRUE(shown.italic());
    EXPECT_TRUE(shown.underline());
    EXPECT_TRUE(shown.strikeOut());
    EXPECT_EQ(cell.data(Qt::ForegroundRole).value<QBrush>().color(), QColor(255, 0, 0));
    EXPECT_EQ(cell.data(Qt::BackgroundRole).value<QBrush>(), QBrush(QColor(255, 255, 0)));
    EXPECT_TRUE(cell.data(SheetTableModel::WrapRole).toBool());
    const auto edges = cell.data(SheetTableModel::BordersRole).value<CellBorders>();
    EXPECT_EQ(edges.left.style, engine::BorderStyle::Thin);
    EXPECT_EQ(edges.left.color, QColor(255, 0, 0));
    EXPECT_EQ(edges.bottom.style, engine::BorderStyle::Thick);
    EXPECT_EQ(edges.bottom.color, QColor(Qt::black));
    EXPECT_EQ(edges.right.style, engine::BorderStyle::None);

    const QModelIndex pattern = model.index(0, 1);
    const QBrush brush = pattern.data(Qt::BackgroundRole).value<QBrush>();
    EXPECT_EQ(brush.style(), Qt::Dense6Pattern);
    EXPECT_EQ(brush.color(), QColor(0, 0, 255));
    EXPECT_EQ(pattern.data(SheetTableModel::PatternColorRole).value<QColor>(), QColor(0, 255, 0));

    const QModelIndex plain = model.index(0, 2);
    EXPECT_FALSE(plain.data(Qt::BackgroundRole).isValid());
    EXPECT_FALSE(plain.data(Qt::ForegroundRole).isValid());
    EXPECT_FALSE(plain.data(SheetTableModel::BordersRole).isValid());
    EXPECT_FALSE(plain.data(SheetTableModel::WrapRole).toBool());
    EXPECT_EQ(plain.data(Qt::FontRole).value<QFont>().family(), QStringLiteral("Calibri"));
}

TEST(CellDelegate, PaintsEachEdgeInsideTheCell) {
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::white);
    CellBorders borders;
    borders.left = {engine::BorderStyle::Thin, QColor(255, 0, 0)};
    borders.bottom = {engine::BorderStyle::Thick, QColor(0, 0, 255)};
    borders.top = {engine::BorderStyle::Double, QColor(0, 128, 0)};
    {
        QPainter painter(&image);
        CellDelegate::paintBorders(&painter, QRect(5, 5, 30, 20), borders);
    }
    auto at = [&](int x, int y) { return QColor(image.pixel(x, y)); };
    EXPECT_EQ(at(5, 12), QColor(255, 0, 0));  // left edge, one pixel
    EXPECT_EQ(at(6, 12), QColor(Qt::white));
    for (int y : {24, 23, 22}) {  // bottom edge, three pixels
        EXPECT_EQ(at(20, y), QColor(0, 0, 255)) << y;
    }
    EXPECT_EQ(at(20, 21), QColor(Qt::white));
    EXPECT_EQ(at(20, 5), QColor(0, 128, 0));  // double top edge: two lines, a gap between
    EXPECT_EQ(at(20, 6), QColor(Qt::white));
    EXPECT_EQ(at(20, 7), QColor(0, 128, 0));
    EXPECT_EQ(at(34, 12), QColor(Qt::white));  // no right edge
    EXPECT_EQ(at(4, 12), QColor(Qt::white));   // nothing outside the cell
    EXPECT_EQ(at(20, 25), QColor(Qt::white));
}

// A result window over a scripted set of services.
struct ShownResult {
    plyfold::test::TempDir folder;
    test::ScriptedResultDialogs dialogs;
    test::RecordingMessages messages;
    test::RecordingShell shell;
    Result result;
    QPointer<ResultWindow> window;

    ResultWindowServices services() {
        return ResultWindowServices{&dialogs, &messages, &shell,
                                    QString::fromStdString(folder.file("tmp"))};
    }
    void open() {
        std::filesystem::create_directories(folder.path() / "tmp");
        window = new ResultWindow(std::make_shared<InstanceLease>(result.application), result.book,
                                  toQString(result.name), services());
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.data()));
    }
    ~ShownResult() { delete window.data(); }
};

TEST(ResultWindow, LaysOutSheetsAsTheWorkbookSays) {
    ShownResult shown;
    engine::Workbook& book = *shown.result.book;
    engine::Sheet& data = book.sheet(0);
    SheetWriter w{data};
    for (int row = 0; row < 10; ++row) {
        w.number(row, 0, row);
        w.text(row, 1, "t");
    }
    data.merges().push_back({{2, 0}, {3, 1}});
    data.setColumnWidth(1, 20.0);
    data.columns().push_back({3, 3, 0.0, true, false, 0});
    data.rowAt(4).height = 30.0f;
    data.rowAt(4).customHeight = true;
    data.rowAt(6).hidden = true;
    engine::Sheet& second = book.addSheet("Second");
    SheetWriter{second}.text(0, 0, "other");
    book.addSheet("Hidden").setVisibility(engine::SheetVisibility::Hidden);
    book.setActiveSheet(1);
    shown.open();

    ResultWindow& window = *shown.window;
    EXPECT_EQ(window.windowTitle(), toQString(shown.result.name) + " - Plyfold");
    QTabWidget* tabs = window.tabs();
    EXPECT_EQ(tabs->tabPosition(), QTabWidget::South);
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), "Sheet1");
    EXPECT_EQ(tabs->tabText(1), "Second");
    EXPECT_EQ(tabs->currentIndex(), 1);
    QTableView* view = window.sheetView(0);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->rowSpan(2, 0), 2);
    EXPECT_EQ(view->columnSpan(2, 0), 2);
    // Column widths count digits of the default font as the screen shows it; a sheet naming
    // no default width shows eight digits and the margins.
    const double digit = ResultWindow::maxDigitWidth(view->font());
    EXPECT_EQ(view->columnWidth(0), ResultWindow::columnWidthPixels(8.0 + 5.0 / digit, digit));
    EXPECT_EQ(view->columnWidth(1), ResultWindow::columnWidthPixels(20.0, digit));
    EXPECT_TRUE(view->isColumnHidden(3));
    EXPECT_EQ(view->rowHeight(0), 20);
    EXPECT_EQ(view->rowHeight(4), 40);
    EXPECT_TRUE(view->isRowHidden(6));
    EXPECT_EQ(view->model()->index(9, 0).data().toString(), "9");
    EXPECT_EQ(window.sheetView(1)->model()->index(0, 0).data().toString(), "other");
}

TEST(ResultWindow, SavesAWorkbookThatReadsBack) {
    ShownResult shown;
    SheetWriter& w = shown.result.first;
    w.text(0, 0, "name");
    w.number(1, 0, 12.5);
    shown.open();
    const std::string path = shown.folder.file("result.xlsx");
    shown.dialogs.targets.push_back({QString::fromStdString(path), SaveFormat::Workbook});
    EXPECT_TRUE(shown.window->saveAs());
    EXPECT_TRUE(shown.window->isSaved());
    EXPECT_EQ(shown.window->windowTitle(), "result.xlsx - Plyfold");
    EXPECT_TRUE(shown.messages.shown.empty());
    auto reread = engine::openWorkbook(path);
    ASSERT_EQ(reread->sheetCount(), 1);
    const engine::Sheet& sheet = reread->sheet(0);
    ASSERT_TRUE(sheet.findCell({1, 0}));
    EXPECT_EQ(sheet.findCell({1, 0})->value.number, 12.5);
    EXPECT_EQ(engine::displayText(*reread, *sheet.findCell({0, 0})), "name");
    // Saved: closing asks nothing.
    shown.window->close();
    processEvents();
    EXPECT_TRUE(shown.dialogs.askedAbout.empty());
    EXPECT_TRUE(shown.window.isNull());
}

TEST(ResultWindow, SavesTheCurrentSheetAsCsvAndSaysSo) {
    for (int sheets : {1, 3}) {
        SCOPED_TRACE(sheets);
        ShownResult shown;
        shown.result.first.text(0, 0, "a,b");
        shown.result.first.number(0, 1, 2);
        for (int i = 2; i <= sheets; ++i) {
            shown.result.book->addSheet("Sheet" + std::to_string(i));
        }
        shown.open();
        const std::string path = shown.folder.file("out.csv");
        shown.dialogs.targets.push_back({QString::fromStdString(path), SaveFormat::Csv});
        EXPECT_TRUE(shown.window->saveAs());
        const std::string written = plyfold::test::readFile(path);
        EXPECT_EQ(written.substr(written.find('"'), 9), "\"a,b\",2\r\n");
        if (sheets > 1) {
            ASSERT_EQ(shown.messages.shown.size(), 1u);
            EXPECT_EQ(shown.messages.shown[0].icon, controls::MessageIcon::Information);
            EXPECT_NE(shown.messages.shown[0].text.find("'Sheet1'"), std::string::npos);
        } else {
            EXPECT_TRUE(shown.messages.shown.empty());
        }
        // One sheet in a CSV file is no saved workbook.
        EXPECT_FALSE(shown.window->isSaved());
    }
}

TEST(ResultWindow, NamesTheFileWhenSavingFails) {
    ShownResult shown;
    shown.open();
    const std::string path = shown.folder.file("no such folder/result.xlsx");
    shown.dialogs.targets.push_back({QString::fromStdString(path), SaveFormat::Workbook});
    EXPECT_FALSE(shown.window->saveAs());
    ASSERT_EQ(shown.messages.shown.size(), 1u);
    EXPECT_EQ(shown.messages.shown[0].icon, controls::MessageIcon::Critical);
    EXPECT_NE(shown.messages.shown[0].text.find(path), std::string::npos);
    EXPECT_FALSE(shown.window->isSaved());
    EXPECT_FALSE(std::filesystem::exists(path));
}

// Saving over a file the result was made from is refused whatever name leads to it, in both
// formats; the file stays as it was and the window stays unsaved.
TEST(ResultWindow, RefusesToSaveOverASource) {
    struct Case {
        const char* what;
        std::string target;  // in the folder
        SaveFormat format;
        std::string source;  // the source it names, as queued
    };
    const Case cases[] = {
        {"the source", "a.xlsx", SaveFormat::Workbook, "a.xlsx"},
        {"a link to it", "link.xlsx", SaveFormat::Workbook, "a.xlsx"},
        {"a hard link to it", "hard.xlsx", SaveFormat::Workbook, "a.xlsx"},
        {"a csv source as csv", "b.csv", SaveFormat::Csv, "b.csv"},
        {"a source queued through a link", "b.csv", SaveFormat::Csv, "b-link.csv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ShownResult shown;
        const auto& folder = shown.folder;
        plyfold::test::writeFile(folder.path() / "a.xlsx", "source a");
        plyfold::test::writeFile(folder.path() / "b.csv", "source b");
        std::filesystem::create_symlink("a.xlsx", folder.path() / "link.xlsx");
        std::filesystem::create_hard_link(folder.path() / "a.xlsx", folder.path() / "hard.xlsx");
        std::filesystem::create_symlink("b.csv", folder.path() / "b-link.csv");
        shown.open();
        shown.window->setSourcePaths({folder.file("elsewhere.xlsx"), folder.file(c.source)});
        const std::string target = folder.file(c.target);
        shown.dialogs.targets.push_back({QString::fromStdString(target), c.format});
        EXPECT_FALSE(shown.window->saveAs());
        ASSERT_EQ(shown.messages.shown.size(), 1u);
        EXPECT_EQ(shown.messages.shown[0].icon, controls::MessageIcon::Critical);
        EXPECT_EQ(shown.messages.shown[0].text,
                  "Could not save '" + target + "'.\nIt is '" + folder.file(c.source) +
                      "', a file queued as a source of this result: saving there would replace "
                      "it. Choose another file.");
        EXPECT_FALSE(shown.window->isSaved());
        EXPECT_EQ(plyfold::test::readFile(folder.path() / "a.xlsx"), "source a");
        EXPECT_EQ(plyfold::test::readFile(folder.path() / "b.csv"), "source b");
        EXPECT_TRUE(std::filesystem::is_symlink(folder.path() / "link.xlsx"));

        // Another name is saved as always.
        shown.dialogs.targets.push_back(
            {QString::fromStdString(folder.file("other.xlsx")), SaveFormat::Workbook});
        EXPECT_TRUE(shown.window->saveAs());
        EXPECT_TRUE(shown.window->isSaved());
    }
}

TEST(ResultWindow, AsksBeforeDiscardingAnUnsavedResult) {
    struct Case {
        const char* what;
        bool alerts;
        std::vector<SaveAnswer> answers;
        bool giveTarget;
        bool closes;
        bool written;
    };
    const Case cases[] = {
        {"cancel", true, {SaveAnswer::Cancel}, false, false, false},
        {"don't save", true, {SaveAnswer::DontSave}, false, true, false},
        {"save", true, {SaveAnswer::Save}, true, true, true},
        {"save, then cancel the file dialog", true, {SaveAnswer::Save}, false, false, false},
        {"alerts off", false, {}, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ShownResult shown;
        shown.result.application->setDisplayAlerts(c.alerts);
        shown.open();
        const std::string path = shown.folder.file("kept.xlsx");
        shown.dialogs.answers.assign(c.answers.begin(), c.answers.end());
        if (c.giveTarget) {
            shown.dialogs.targets.push_back({QString::fromStdString(path), SaveFormat::Workbook});
        }
        const QString name = shown.window->workbookName();
        shown.window->close();
        processEvents();
        EXPECT_EQ(shown.dialogs.askedAbout.size(), c.alerts ? 1u : 0u);
        if (c.alerts) {
            EXPECT_EQ(shown.dialogs.askedAbout[0], name);
        }
        EXPECT_EQ(shown.window.isNull(), c.closes);
        EXPECT_EQ(std::filesystem::exists(path), c.written);
        // The instance ends with its last window.
        EXPECT_EQ(shown.result.application->isRunning(), !c.closes);
    }
}

TEST(ResultWindow, OpensACopyInTheSpreadsheetApplication) {
    ShownResult shown;
    shown.result.first.number(0, 0, 1);
    shown.open();
    shown.window->openInSpreadsheetApplication();
    shown.window->openInSpreadsheetApplication();
    ASSERT_EQ(shown.shell.opened.size(), 2u);
    EXPECT_NE(shown.shell.opened[0].first, shown.shell.opened[1].first);
    for (const auto& [target, show] : shown.shell.opened) {
        EXPECT_EQ(std::filesystem::path(target).parent_path(), shown.folder.path() / "tmp");
        EXPECT_EQ(std::filesystem::path(target).extension(), ".xlsx");
        EXPECT_TRUE(std::filesystem::exists(target));
        EXPECT_EQ(engine::openWorkbook(target)->sheet(0).findCell({0, 0})->value.number, 1);
    }
    EXPECT_FALSE(shown.window->isSaved());
    EXPECT_TRUE(shown.messages.shown.empty());
}

TEST(ResultPresenter, OpensAWindowPerWorkbookOnceTheMergeHasReturned) {
    test::ScriptedResultDialogs dialogs;
    test::RecordingMessages messages;
    ResultPresenter presenter(ResultWindowServices{&dialogs, &messages, nullptr, {}});
    EXPECT_FALSE(presenter.temporaryFolder().isEmpty());

    auto two = std::make_shared<automation::Application>();
    auto second = newWorkbook({"Sheet1", "More"});
    second->setActiveSheet(1);
    presenter.present(two, {{"Book7", newWorkbook({"Sheet1"})}, {"Book8", second}});
    EXPECT_TRUE(presenter.windows().isEmpty());  // the merge is still on the stack

    // A merge that fails after showing its result quits the instance before windows open.
    auto failed = std::make_shared<automation::Application>();
    presenter.present(failed, {{"Book9", newWorkbook({"Sheet1"})}});
    failed->Quit();

    processEvents();
    const QList<ResultWindow*> windows = presenter.windows();
    ASSERT_EQ(windows.size(), 2);
    EXPECT_EQ(windows[0]->windowTitle(), QStringLiteral("Book7 - Plyfold"));
    EXPECT_EQ(windows[1]->windowTitle(), QStringLiteral("Book8 - Plyfold"));
    EXPECT_EQ(windows[1]->tabs()->currentIndex(), 1);
    EXPECT_EQ(windows[0]->parentWidget(), nullptr);

    dialogs.answers = {SaveAnswer::DontSave, SaveAnswer::DontSave};
    windows[0]->close();
    processEvents();
    EXPECT_TRUE(two->isRunning());  // its other window is still open
    windows[1]->close();
    processEvents();
    EXPECT_FALSE(two->isRunning());
    EXPECT_TRUE(presenter.windows().isEmpty());
    EXPECT_TRUE(messages.shown.empty());
}

// A merge sets its summary on the instance while its windows are still on their way, and may
// change it after they opened; each window shows its own instance's line, and no bar at all
// while there is none.
TEST(ResultPresenter, ShowsTheInstancesStatusLineInItsWindows) {
    test::ScriptedResultDialogs dialogs;
    test::RecordingMessages messages;
    ResultPresenter presenter(ResultWindowServices{&dialogs, &messages, nullptr, {}});
    automation::ServerRegistry::instance().setPresenter(&presenter);

    auto merged = std::make_shared<automation::Application>();
    merged->Workbooks().Add();
    merged->setVisible(true);
    merged->setStatusBar("Merged 2 worksheets from 2 files: 6 rows x 2 columns in 0.1 s");
    auto quiet = std::make_shared<automation::Application>();
    quiet->Workbooks().Add();
    quiet->setVisible(true);
    processEvents();

    const QList<ResultWindow*> windows = presenter.windows();
    ASSERT_EQ(windows.size(), 2);
    ResultWindow* summarised = &windows[0]->application() == merged.get() ? windows[0] : windows[1];
    ResultWindow* other = summarised == windows[0] ? windows[1] : windows[0];
    EXPECT_EQ(summarised->statusText(),
              QStringLiteral("Merged 2 worksheets from 2 files: 6 rows x 2 columns in 0.1 s"));
    EXPECT_TRUE(summarised->statusBar()->isVisible());
    EXPECT_TRUE(other->statusText().isEmpty());
    EXPECT_FALSE(other->statusBar()->isVisible());

    merged->setStatusBar("Merged 3 worksheets from 2 files: 9 rows x 2 columns in 0.2 s");
    EXPECT_EQ(summarised->statusText(),
              QStringLiteral("Merged 3 worksheets from 2 files: 9 rows x 2 columns in 0.2 s"));
    EXPECT_TRUE(other->statusText().isEmpty());
    // Hovering a menu item clears the bar's message, never the summary.
    QStatusTipEvent tip(QString{});
    QApplication::sendEvent(summarised, &tip);
    EXPECT_FALSE(summarised->statusText().isEmpty());
    merged->setStatusBar("");
    EXPECT_FALSE(summarised->statusBar()->isVisible());

    automation::ServerRegistry::instance().setPresenter(nullptr);
    dialogs.answers = {SaveAnswer::DontSave, SaveAnswer::DontSave};
    for (ResultWindow* window : windows) {
        window->close();
    }
    processEvents();
    EXPECT_FALSE(merged->isRunning());
}

// A million rows must open and scroll to the end without freezing the window. The times are
// reported, not judged: speed claims live in bench/.
TEST(ResultWindow, ScrollsThroughAMillionRows) {
    ShownResult shown;
    engine::Sheet& sheet = shown.result.book->sheet(0);
    SheetWriter& w = shown.result.first;
    const uint32_t label = w.book().strings().intern("row");
    std::vector<engine::Row>& rows = sheet.mutableRows();
    rows.reserve(1000000);
    for (int r = 0; r < 1000000; ++r) {
        engine::Row& row = sheet.appendRow(r);
        row.cells.resize(3);
        row.cells[0].column = 0;
        row.cells[0].type = CellType::Number;
        row.cells[0].value.number = r + 1;
        row.cells[1].column = 1;
        row.cells[1].type = CellType::Text;
        row.cells[1].value.text = label;
        row.cells[2].column = 2;
        row.cells[2].type = CellType::Number;
        row.cells[2].value.number = r * 0.5;
    }
    sheet.rowAt(999999).customHeight = true;
    sheet.rowAt(999999).height = 24.0f;

    QElapsedTimer timer;
    timer.start();
    shown.open();
    QTableView* view = shown.window->sheetView(0);
    ASSERT_TRUE(view);
    view->viewport()->repaint();
    const qint64 opened = timer.restart();
    view->scrollToBottom();
    view->viewport()->repaint();
    const qint64 toEnd = timer.restart();
    QScrollBar* bar = view->verticalScrollBar();
    for (int step = 0; step < 50; ++step) {
        bar->setValue(bar->maximum() - step * (bar->maximum() / 50));
        view->viewport()->repaint();
    }
    const qint64 pages = timer.elapsed();
    ::testing::Test::RecordProperty("open_ms", static_cast<int>(opened));
    ::testing::Test::RecordProperty("scroll_to_end_ms", static_cast<int>(toEnd));
    ::testing::Test::RecordProperty("fifty_jumps_ms", static_cast<int>(pages));
    std::printf(
        "1000000 rows: opened and painted in %lld ms, to the end in %lld ms, "
        "50 jumps with repaints in %lld ms\n",
        static_cast<long long>(opened), static_cast<long long>(toEnd),
        static_cast<long long>(pages));

    EXPECT_EQ(view->model()->rowCount(), 1000000);
    EXPECT_EQ(view->rowHeight(999999), 32);
    EXPECT_EQ(view->rowHeight(500000), 20);
    view->scrollToBottom();
    const QModelIndex last =
        view->indexAt(QPoint(5, view->viewport()->height() - view->rowHeight(999999) / 2));
    EXPECT_EQ(last.row(), 999999);
    EXPECT_EQ(last.data().toString(), "1000000");
    EXPECT_EQ(view->model()->index(999999, 2).data().toString(), "499999.5");
}

}  // namespace
}  // namespace plyfold::gui
