#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/list_model_adapter.h"
#include "app/qt/list_view.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_dialog_presenter.h"
#include "tests/qt/gui_test_support.h"
#include "tests/support/grid_workbook.h"
#include "tests/support/scripted_presenter.h"
#include "tests/support/temp_dir.h"

namespace plyfold::gui {
namespace {

namespace fs = std::filesystem;
using test::child;
using test::processEvents;
using Names = std::vector<std::string>;

// The source list's icons of a workbook and a folder.
constexpr int kWorkbookIcon = 1;
constexpr int kFolderIcon = 2;

Names rowTexts(const controls::ListModel& list) {
    Names texts;
    for (int row = 1; row <= list.count(); ++row) {
        texts.push_back(list.subItem(row).empty() ? list.text(row)
                                                  : list.text(row) + "|" + list.subItem(row));
    }
    return texts;
}

// The main window, active, over a folder of its own, its dialogs played by a script.
class Keys : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<MainWindow>(folder.path().string(),
                                              MainWindowServices{&messages, &shell, &presenter});
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        processEvents();
    }
    controls::Form1Controls& c() { return window->form().controls(); }
    ListView* list(const char* name) { return child<ListView>(window.get(), name); }
    std::string workbook(const std::string& name, const Names& sheets) {
        const std::string path = sources.file(name);
        fs::create_directories(fs::path(path).parent_path());
        plyfold::test::NamedGrids grids;
        for (const std::string& sheet : sheets) {
            grids.emplace_back(sheet, plyfold::test::taggedGrid(sheet, 2, 2));
        }
        plyfold::test::writeGridWorkbook(path, grids);
        return path;
    }
    // Presses a key in the widget, which takes the focus first.
    void press(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        widget->setFocus();
        processEvents();
        QTest::keyClick(widget, key, modifiers);
        processEvents();
    }
    // Lists the worksheets of the source in the given row, as a click on it does.
    void browse(int sourceRow) {
        c().ListView1.select(sourceRow);
        window->form().ListView1_ItemClick();
        processEvents();
    }

    plyfold::test::TempDir folder;
    plyfold::test::TempDir sources;
    test::RecordingMessages messages;
    test::RecordingShell shell;
    plyfold::test::ScriptedPresenter presenter;
    std::unique_ptr<MainWindow> window;
};

TEST_F(Keys, AddExcelTakesSeveralFilesAndTheMainCommandsHaveTheirKeys) {
    const std::string a = workbook("a.xlsx", {"A1"});
    const std::string b = workbook("b.xlsx", {"B1", "B2"});
    presenter.openListAnswers.push_back(Names{b, a});
    QTest::mouseClick(child<QToolButton>(window.get(), "Command8"), Qt::LeftButton);
    processEvents();
    EXPECT_EQ(presenter.multiSelectRequests, 1);
    EXPECT_EQ(rowTexts(c().ListView1), (Names{b, a}));
    EXPECT_EQ(c().ListView1.selectedIndex(), 2);
    EXPECT_EQ(list("ListView1")->selectedRow(), 1);
    EXPECT_EQ(rowTexts(c().ListView3), Names{"A1"});

    // Ctrl+O and Ctrl+Shift+O wherever the focus is; F5 merges.
    QWidget* gap = child<QLineEdit>(window.get(), "Text1");
    presenter.openListAnswers.push_back(Names{b});
    press(gap, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(presenter.multiSelectRequests, 2);
    presenter.folderAnswers.push_back(sources.path().string());
    press(list("ListView4"), Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(rowTexts(c().ListView1), (Names{b, a, b, sources.path().string()}));
    EXPECT_EQ(c().ListView1.smallIcon(4), kFolderIcon);
    EXPECT_EQ(rowTexts(c().ListView2), (Names{"a.xlsx", "b.xlsx"}));
    press(list("ListView2"), Qt::Key_F5);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown.at(0).text, "Please select some excel files to Merge!");
}

TEST_F(Keys, TheQtFileDialogReturnsEveryFileChosenInTheirOrder) {
    const std::string a = workbook("a.xlsx", {"A1"});
    const std::string b = workbook("b.csv", {"B1"});
    dialogs::FileDialogRequest request;
    request.title = "Select Excel File";
    request.filters = {{"Excel File", "*.xl*;*.csv"}};
    request.fileMustExist = true;
    QtDialogPresenter dialogs;
    test::whenModalOpens([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_TRUE(dialog);
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
        dialog->setDirectory(QString::fromStdString(sources.path().string()));
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_TRUE(name);
        name->setText(QStringLiteral("\"b.csv\" \"a.xlsx\""));
        static_cast<QDialog*>(dialog)->accept();
    });
    const auto chosen = dialogs.openFiles(request);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(*chosen, (Names{b, a}));
    test::whenModalOpens([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    EXPECT_FALSE(dialogs.openFiles(request));
}

TEST_F(Keys, FilesAndFoldersDroppedOnTheSourceListAreAddedAndTheRestNamed) {
    const std::string book = workbook("in/book.xlsx", {"S1"});
    const std::string month = fs::path(workbook("month/jan.xlsx", {"J1"})).parent_path().string();
    const std::string pdf = sources.file("in/notes.pdf");
    plyfold::test::writeFile(pdf, "%PDF");
    ListView* sourceList = list("ListView1");
    QWidget* target = sourceList->viewport();
    const QPoint at = target->rect().center();

    QMimeData text;
    text.setText(QStringLiteral("not a file"));
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QString::fromStdString(book)),
                   QUrl::fromLocalFile(QString::fromStdString(pdf)),
                   QUrl(QStringLiteral("https://example.org/x.xlsx")),
                   QUrl::fromLocalFile(QString::fromStdString(month))});
    // Only the source list takes files, and only files.
    struct Enter {
        QWidget* widget;
        const QMimeData* data;
        bool accepted;
    };
    for (const Enter& enter : {Enter{target, &files, true}, Enter{target, &text, false},
                               Enter{list("ListView3")->viewport(), &files, false}}) {
        QDragEnterEvent event(at, Qt::CopyAction, enter.data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(enter.widget, &event);
        EXPECT_EQ(event.isAccepted(), enter.accepted);
    }

    QDropEvent drop(at, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    EXPECT_TRUE(drop.isAccepted());
    processEvents();
    EXPECT_EQ(rowTexts(c().ListView1), (Names{book, month}));
    EXPECT_EQ(c().ListView1.smallIcon(1), kWorkbookIcon);
    EXPECT_EQ(c().ListView1.smallIcon(2), kFolderIcon);
    EXPECT_EQ(sourceList->selectedRow(), 1);
    EXPECT_EQ(rowTexts(c().ListView2), Names{"jan.xlsx"});
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              "2 dropped items were left out: only folders and spreadsheet files (.xls, .xlsx, "
              ".xlsm, .csv, .txt, .dbf) can be sources.\n" +
                  pdf + "\nhttps://example.org/x.xlsx");
}

TEST_F(Keys, EnterOrADoubleClickOnAWorksheetQueuesIt) {
    ListView* worksheets = list("ListView3");
    // With no source the command says so, as the right arrow does.
    press(worksheets, Qt::Key_Return);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "File does not exist!");
    EXPECT_EQ(messages.shown[0].icon, controls::MessageIcon::Critical);
    EXPECT_TRUE(c().ListView4.isEmpty());

    const std::string path = workbook("book.xlsx", {"North", "South"});
    c().ListView1.add(path);
    browse(1);
    c().ListView3.select(2);
    processEvents();
    press(worksheets, Qt::Key_Return);
    press(worksheets, Qt::Key_Enter, Qt::KeypadModifier);
    // Enter with a modifier is no command.
    press(worksheets, Qt::Key_Return, Qt::ShiftModifier);
    const QRect first = worksheets->visualRect(worksheets->model()->index(0, 0));
    QTest::mouseDClick(worksheets->viewport(), Qt::LeftButton, {}, first.center());
    processEvents();
    EXPECT_EQ(rowTexts(c().ListView4), (Names{path + "|South", path + "|South", path + "|North"}));
    for (int row = 1; row <= 3; ++row) {
        EXPECT_TRUE(c().ListView4.isChecked(row));
    }
    // Enter in the queue or the source list queues and removes nothing.
    press(list("ListView4"), Qt::Key_Return);
    press(list("ListView1"), Qt::Key_Return);
    EXPECT_EQ(c().ListView4.count(), 3);
    EXPECT_EQ(c().ListView1.count(), 1);
    EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(Keys, DeleteRemovesTheQueueEntryOrTheSourceEntryOfTheListItIsPressedIn) {
    const std::string a = workbook("a.xlsx", {"A1"});
    const std::string b = workbook("b.xlsx", {"B1"});
    const std::string d = workbook("d.xlsx", {"D1"});
    for (const std::string& path : {a, b, d}) {
        c().ListView1.add(path);
    }
    browse(1);
    for (const char* sheet : {"one", "two", "three"}) {
        c().ListView4.add("/q.xlsx");
        c().ListView4.setSubItem(c().ListView4.count(), sheet);
    }
    c().ListView4.select(2);
    processEvents();

    // In the queue: the left arrow's command, the row above selected; the sources stay.
    press(list("ListView4"), Qt::Key_Delete);
    EXPECT_EQ(rowTexts(c().ListView4), (Names{"/q.xlsx|one", "/q.xlsx|three"}));
    EXPECT_EQ(c().ListView4.selectedIndex(), 1);
    EXPECT_EQ(list("ListView4")->selectedRow(), 0);
    EXPECT_EQ(c().ListView1.count(), 3);

    // In the browse lists and the gap box Delete removes no entry; the box deletes a character.
    auto* gap = child<QLineEdit>(window.get(), "Text1");
    gap->setText(QStringLiteral("12"));
    gap->setCursorPosition(0);
    press(gap, Qt::Key_Delete);
    EXPECT_EQ(gap->text(), QStringLiteral("2"));
    press(list("ListView2"), Qt::Key_Delete);
    press(list("ListView3"), Qt::Key_Delete);
    EXPECT_EQ(c().ListView1.count(), 3);
    EXPECT_EQ(c().ListView4.count(), 2);

    // In the source list: Remove File's command, the new first entry selected and listed.
    press(list("ListView1"), Qt::Key_Delete);
    EXPECT_EQ(rowTexts(c().ListView1), (Names{b, d}));
    EXPECT_EQ(c().ListView1.selectedIndex(), 1);
    EXPECT_EQ(rowTexts(c().ListView3), Names{"B1"});
    EXPECT_EQ(c().ListView4.count(), 2);
    press(list("ListView1"), Qt::Key_Delete);
    press(list("ListView1"), Qt::Key_Delete);
    EXPECT_TRUE(c().ListView1.isEmpty() && c().ListView2.isEmpty() && c().ListView3.isEmpty());
    // An empty list takes the key quietly.
    press(list("ListView1"), Qt::Key_Delete);
    c().ListView4.clear();
    press(list("ListView4"), Qt::Key_Delete);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(Keys, EveryRowShowsTheFullPathItStandsForAsItsToolTip) {
    const std::string path = workbook("sub/<b>book.xlsx", {"North"});
    c().ListView1.add(sources.path().string() + "/sub");
    c().includeSubfolders = false;
    browse(1);
    c().ListView2.select(1);
    window->form().ListView2_ItemClick();
    c().ListView4.add("/q/book.xlsx");
    c().ListView4.setSubItem(1, "Sales");
    processEvents();
    auto tip = [this](const char* name, int column) {
        const QAbstractItemModel* model = list(name)->model();
        return model->data(model->index(0, column), Qt::ToolTipRole).toString();
    };
    const QString sub = QString::fromStdString(sources.path().string()) + QStringLiteral("/sub");
    EXPECT_EQ(tip("ListView1", 0), sub);
    // A path that looks like markup shows as it is.
    const QString escaped = QString::fromStdString(path).toHtmlEscaped();
    EXPECT_EQ(tip("ListView2", 0),
              QStringLiteral("<p style='white-space:pre'>%1</p>").arg(escaped));
    EXPECT_EQ(tip("ListView3", 0),
              QStringLiteral("<p style='white-space:pre'>%1<br>North</p>").arg(escaped));
    EXPECT_EQ(tip("ListView4", 0), QStringLiteral("/q/book.xlsx\nSales"));
    EXPECT_EQ(tip("ListView4", 1), QStringLiteral("/q/book.xlsx\nSales"));
}

}  // namespace
}  // namespace plyfold::gui
