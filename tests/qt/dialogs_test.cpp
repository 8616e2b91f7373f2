#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <memory>
#include <optional>

#include "app/about_box.h"
#include "app/qt/about_box_view.h"
#include "app/qt/desktop_shell.h"
#include "app/qt/main_window.h"
#include "app/qt/message_boxes.h"
#include "app/qt/qt_dialog_presenter.h"
#include "app/qt/settings_dialog_view.h"
#include "app/qt/wait_pointer.h"
#include "tests/qt/gui_test_support.h"
#include "tests/support/temp_dir.h"

namespace plyfold::gui {
namespace {

using test::child;
using test::processEvents;
using test::whenModalOpens;

QRect pixels(int left, int top, int width, int height) {
    auto px = [](int twips) { return static_cast<int>(std::lround(twips / 15.0)); };
    return QRect(px(left), px(top), px(width), px(height));
}

// Settings dialog

struct SettingsCase {
    const char* name;
    const char* fileBefore;  // nullptr: no set.txt
    bool checkedAtOpen;
    bool toggle;
    enum class End { Ok, Cancel, CloseBox } end;
    const char* fileAfter;  // nullptr: no set.txt; OK adds the text settings' lines
};

constexpr const char* kAutomaticLines =
    "delimiter=automatic\r\ndecimal=automatic\r\ndate-order=automatic\r\n";

TEST(SettingsDialog, OpensFromTheFileAndWritesOnlyOnOk) {
    using End = SettingsCase::End;
    const SettingsCase cases[] = {
        {"checked, unchecked, OK", "1\r\n", true, true, End::Ok, "0\r\n"},
        {"checked, unchecked, Cancel", "1\r\n", true, true, End::Cancel, "1\r\n"},
        {"unchecked, checked, close box", "0\r\n", false, true, End::CloseBox, "0\r\n"},
        {"empty file, OK", "", true, false, End::Ok, "1\r\n"},
        {"another word, OK", "yes\r\n", true, false, End::Ok, "1\r\n"},
        {"another word, Cancel", "yes\r\n", true, true, End::Cancel, "yes\r\n"},
        {"no file, unchecked, OK", nullptr, true, true, End::Ok, "0\r\n"},
        {"no file, Cancel", nullptr, true, false, End::Cancel, nullptr},
    };
    for (const SettingsCase& c : cases) {
        SCOPED_TRACE(c.name);
        plyfold::test::TempDir folder;
        const auto settings = folder.path() / "set.txt";
        if (c.fileBefore) {
            plyfold::test::writeFile(settings, c.fileBefore);
        }
        SettingsDialogView dialog(folder.path().string());
        auto* check = child<QCheckBox>(&dialog, "Check1");
        EXPECT_EQ(check->isChecked(), c.checkedAtOpen);
        whenModalOpens([&](QWidget* modal) {
            EXPECT_EQ(modal, &dialog);
            if (c.toggle) {
                QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
                EXPECT_EQ(dialog.dialog().Check1.value(), c.checkedAtOpen ? 0 : 1);
            }
            switch (c.end) {
                case End::Ok:
                    QTest::mouseClick(child<QPushButton>(&dialog, "OKButton"), Qt::LeftButton);
                    break;
                case End::Cancel:
                    QTest::mouseClick(child<QPushButton>(&dialog, "CancelButton"), Qt::LeftButton);
                    break;
                case End::CloseBox:
                    dialog.close();
                    break;
            }
        });
        dialog.exec();
        EXPECT_FALSE(dialog.isVisible());
        if (c.fileAfter) {
            EXPECT_EQ(plyfold::test::readFile(settings),
                      std::string(c.fileAfter) + (c.end == End::Ok ? kAutomaticLines : ""));
        } else {
            EXPECT_FALSE(std::filesystem::exists(settings));
        }
    }
}

TEST(SettingsDialog, IsLaidOutAndIgnoresEnterAndEscape) {
    plyfold::test::TempDir folder;
    SettingsDialogView dialog(folder.path().string());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Setting"));
    EXPECT_EQ(dialog.size(), QSize(280, 182));
    EXPECT_DOUBLE_EQ(dialog.font().pointSizeF(), 8.4);
    EXPECT_EQ(dialog.font().family(), QStringLiteral("Arial"));
    auto* ok = child<QPushButton>(&dialog, "OKButton");
    auto* cancel = child<QPushButton>(&dialog, "CancelButton");
    auto* check = child<QCheckBox>(&dialog, "Check1");
    EXPECT_EQ(ok->geometry(), pixels(360, 2220, 1215, 375));
    EXPECT_EQ(cancel->geometry(), pixels(2625, 2220, 1215, 375));
    EXPECT_EQ(check->geometry(), pixels(360, 360, 3010, 370));
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(check->text(), QStringLiteral("Automatically save the current list ."));
    EXPECT_EQ(ok->nextInFocusChain(), cancel);
    EXPECT_EQ(cancel->nextInFocusChain(), check);
    // Below the check box, a row for each text setting, each list after its label and every
    // control inside the dialog.
    struct Row {
        const char* label;
        const char* combo;
        const char* caption;
        int items;
    };
    const Row rows[] = {{"DelimiterLabel", "DelimiterCombo", "Field separator:", 5},
                        {"DecimalLabel", "DecimalCombo", "Decimal separator:", 3},
                        {"DateOrderLabel", "DateOrderCombo", "Date order:", 4}};
    QWidget* previous = check;
    int top = check->geometry().bottom();
    for (const Row& row : rows) {
        auto* label = child<QLabel>(&dialog, row.label);
        auto* combo = child<QComboBox>(&dialog, row.combo);
        ASSERT_TRUE(label && combo);
        EXPECT_EQ(label->text(), QString::fromLatin1(row.caption));
        EXPECT_EQ(label->buddy(), combo);
        EXPECT_GE(label->width(), label->sizeHint().width()) << row.label << " is cut";
        EXPECT_EQ(combo->count(), row.items);
        EXPECT_EQ(combo->currentText(), QStringLiteral("Automatic"));
        EXPECT_GT(combo->geometry().top(), top);
        EXPECT_GT(combo->geometry().left(), label->geometry().right());
        EXPECT_TRUE(dialog.rect().contains(combo->geometry()));
        QWidget* next = previous->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus) {
            next = next->nextInFocusChain();
        }
        EXPECT_EQ(next, combo) << row.combo;
        previous = combo;
        top = combo->geometry().bottom();
    }
    EXPECT_GT(ok->geometry().top(), top);
    EXPECT_TRUE(dialog.rect().contains(cancel->geometry()));
    for (QPushButton* button : {ok, cancel}) {
        EXPECT_FALSE(button->isDefault());
        EXPECT_FALSE(button->autoDefault());
    }
    whenModalOpens([&](QWidget*) {
        for (QWidget* focus : {static_cast<QWidget*>(ok), static_cast<QWidget*>(cancel),
                               static_cast<QWidget*>(check)}) {
            focus->setFocus();
            for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
                QTest::keyClick(focus, key);
                EXPECT_TRUE(dialog.isVisible()) << key;
            }
        }
        EXPECT_FALSE(std::filesystem::exists(folder.path() / "set.txt"));
        dialog.close();
    });
    dialog.exec();
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "set.txt"));
}

TEST(SettingsDialog, OpensModallyFromTheMenuBar) {
    plyfold::test::TempDir folder;
    plyfold::test::writeFile(folder.path() / "set.txt", "1\r\n");
    test::RecordingMessages messages;
    MainWindow window(folder.path().string(), MainWindowServices{&messages, nullptr, nullptr});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    bool seen = false;
    whenModalOpens([&](QWidget* modal) {
        seen = true;
        EXPECT_EQ(modal->objectName(), QStringLiteral("Dialog2"));
        EXPECT_TRUE(modal->isModal());
        EXPECT_EQ(modal->parentWidget(), &window);
        EXPECT_TRUE(child<QCheckBox>(modal, "Check1")->isChecked());
        QTest::mouseClick(child<QPushButton>(modal, "CancelButton"), Qt::LeftButton);
    });
    child<QAction>(&window, "Settings")->trigger();
    EXPECT_TRUE(seen);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The window's merges read text sources as the dialog was left with OK; Cancel changes nothing.
TEST(SettingsDialog, OkGivesTheWindowItsTextSettings) {
    plyfold::test::TempDir folder;
    plyfold::test::writeFile(folder.path() / "set.txt", "1\r\ndecimal=comma\r\n");
    test::RecordingMessages messages;
    MainWindow window(folder.path().string(), MainWindowServices{&messages, nullptr, nullptr});
    const engine::TextDialect loaded{0, engine::DecimalSeparator::Comma,
                                     engine::DateOrder::Automatic};
    EXPECT_EQ(window.form().controls().textDialect, loaded);
    for (const char* button : {"CancelButton", "OKButton"}) {
        whenModalOpens([button](QWidget* modal) {
            auto* delimiter = child<QComboBox>(modal, "DelimiterCombo");
            auto* order = child<QComboBox>(modal, "DateOrderCombo");
            EXPECT_EQ(child<QComboBox>(modal, "DecimalCombo")->currentText(),
                      QStringLiteral("Comma"));
            // As the user picks: the list's own signal, not a change by code.
            delimiter->setCurrentIndex(2);
            emit delimiter->activated(2);
            order->setCurrentIndex(3);
            emit order->activated(3);
            QTest::mouseClick(child<QPushButton>(modal, button), Qt::LeftButton);
        });
        child<QAction>(&window, "Settings")->trigger();
        if (std::string(button) == "CancelButton") {
            EXPECT_EQ(window.form().controls().textDialect, loaded);
        }
    }
    EXPECT_EQ(window.form().controls().textDialect,
              (engine::TextDialect{';', engine::DecimalSeparator::Comma,
                                   engine::DateOrder::YearMonthDay}));
    EXPECT_EQ(plyfold::test::readFile(folder.path() / "set.txt"),
              "1\r\ndelimiter=semicolon\r\ndecimal=comma\r\ndate-order=ymd\r\n");
    EXPECT_TRUE(messages.shown.empty());
}

// About box

TEST(AboutBox, ShowsItsTextsAndOpensItsLinks) {
    test::RecordingShell shell;
    AboutBoxView about(&shell);
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About us"));
    EXPECT_EQ(about.size(), QSize(327, 262));
    auto* frame = child<QFrame>(&about, "Frame1");
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->geometry(), pixels(120, 720, 4450, 1090));
    struct Expected {
        const char* name;
        bool inFrame;
        QRect geometry;
        std::string_view text;
        bool link;
    };
    using app::Dialog1;
    const Expected labels[] = {
        {"Label8", true, pixels(1800, 480, 1930, 250), Dialog1::kLabel8, true},
        {"Label7", true, pixels(120, 480, 850, 250), "Website:", false},
        {"Label6", true, pixels(120, 720, 3135, 255), Dialog1::kLabel6, false},
        {"Label3", true, pixels(120, 240, 1690, 250), "Technical Support:", false},
        {"Label2", true, pixels(1800, 240, 2290, 250), Dialog1::kLabel2, true},
        {"Label5", false, pixels(120, 2040, 4695, 1095), Dialog1::label5(), false},
        {"Label4", false, pixels(960, 360, 1455, 255), "Version:10.1.10", false},
        {"Label1", false, pixels(960, 120, 2055, 255), "Plyfold", false},
    };
    for (const Expected& expected : labels) {
        SCOPED_TRACE(expected.name);
        auto* label = child<QLabel>(&about, expected.name);
        ASSERT_TRUE(label);
        EXPECT_EQ(label->parentWidget(), expected.inFrame ? frame : static_cast<QWidget*>(&about));
        EXPECT_EQ(label->geometry(), expected.geometry);
        EXPECT_EQ(label->text().toStdString(), expected.text);
        const QColor highlight = about.palette().color(QPalette::Highlight);
        EXPECT_EQ(label->palette().color(QPalette::WindowText) == highlight, expected.link);
        EXPECT_EQ(label->cursor().shape(),
                  expected.link ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }
    EXPECT_TRUE(child<QLabel>(&about, "Label5")->wordWrap());
    EXPECT_EQ(child<QPushButton>(&about, "OKButton")->geometry(), pixels(120, 3360, 1215, 375));

    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    QTest::mouseClick(child<QLabel>(&about, "Label2"), Qt::LeftButton);
    QTest::mouseClick(child<QLabel>(&about, "Label8"), Qt::LeftButton);
    QTest::mouseClick(child<QLabel>(&about, "Label7"), Qt::LeftButton);
    ASSERT_EQ(shell.opened.size(), 2u);
    EXPECT_EQ(shell.opened[0].first, "mailto:" + std::string(app::kSupportMailAddress));
    EXPECT_EQ(shell.opened[0].second, controls::ShowCommand::ShowMaximized);
    EXPECT_EQ(shell.opened[1].first, std::string(app::kHomePageAddress));
    EXPECT_EQ(shell.opened[1].second, controls::ShowCommand::Show);
}

TEST(AboutBox, BlocksTheMainWindowUntilOkOrTheCloseBox) {
    plyfold::test::TempDir folder;
    test::RecordingMessages messages;
    test::RecordingShell shell;
    MainWindow window(folder.path().string(), MainWindowServices{&messages, &shell, nullptr});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (bool useOk : {true, false}) {
        SCOPED_TRACE(useOk ? "OK" : "close box");
        bool seen = false;
        whenModalOpens([&](QWidget* modal) {
            seen = true;
            EXPECT_EQ(modal->objectName(), QStringLiteral("Dialog1"));
            EXPECT_TRUE(modal->isModal());
            // The main window takes no input meanwhile (a click that goes through the window
            // system, as a user's does).
            auto* help = child<QAbstractButton>(&window, "Command12");
            QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {},
                              help->mapTo(&window, help->rect().center()));
            EXPECT_TRUE(shell.opened.empty());
            if (useOk) {
                QTest::mouseClick(child<QPushButton>(modal, "OKButton"), Qt::LeftButton);
            } else {
                modal->close();
            }
        });
        child<QAction>(&window, "About")->trigger();
        EXPECT_TRUE(seen);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
    EXPECT_TRUE(messages.shown.empty());
}

// Message boxes and the wait pointer

TEST(MessageBoxes, ShowOneOkButtonUnderTheProgramsTitle) {
    struct Case {
        controls::MessageIcon icon;
        QMessageBox::Icon shown;
    };
    for (const Case& c : {Case{controls::MessageIcon::Information, QMessageBox::Information},
                          Case{controls::MessageIcon::Critical, QMessageBox::Critical}}) {
        MessageBoxes boxes;
        bool seen = false;
        whenModalOpens([&](QWidget* modal) {
            seen = true;
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_TRUE(box);
            EXPECT_EQ(box->windowTitle(), QStringLiteral("Plyfold"));
            EXPECT_EQ(box->text(), QStringLiteral("Merge Failed!"));
            EXPECT_EQ(box->icon(), c.shown);
            ASSERT_EQ(box->buttons().size(), 1);
            EXPECT_EQ(box->standardButton(box->buttons().first()), QMessageBox::Ok);
            EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
            QTest::mouseClick(box->buttons().first(), Qt::LeftButton);
        });
        boxes.showMessage("Merge Failed!", c.icon);
        EXPECT_TRUE(seen);
    }
}

// The cause of a failure is the box's details; the report box has its action beside OK, and only
// a click on it answers true.
TEST(MessageBoxes, ShowDetailsAndAnActionBesideOk) {
    MessageBoxes boxes;
    whenModalOpens([](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text(), QStringLiteral("Merge Failed!"));
        EXPECT_EQ(box->detailedText(), QStringLiteral("'/data/a.xlsx', sheet 'S': broken"));
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    boxes.showDetailedMessage("Merge Failed!", "'/data/a.xlsx', sheet 'S': broken",
                              controls::MessageIcon::Critical);

    enum class Answer { Action, Ok, Escape, Enter };
    for (Answer answer : {Answer::Action, Answer::Ok, Answer::Escape, Answer::Enter}) {
        whenModalOpens([answer](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_TRUE(box);
            EXPECT_EQ(box->icon(), QMessageBox::Information);
            EXPECT_TRUE(box->detailedText().isEmpty());
            ASSERT_EQ(box->buttons().size(), 2);
            auto* action = child<QPushButton>(box, "MessageAction");
            ASSERT_TRUE(action);
            EXPECT_EQ(action->text(), QStringLiteral("Save Report..."));
            switch (answer) {
                case Answer::Action:
                    QTest::mouseClick(action, Qt::LeftButton);
                    break;
                case Answer::Ok:
                    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
                    break;
                case Answer::Escape:
                    QTest::keyClick(box, Qt::Key_Escape);
                    break;
                case Answer::Enter:
                    QTest::keyClick(box, Qt::Key_Return);
                    break;
            }
        });
        EXPECT_EQ(boxes.showMessageWithAction("1 worksheet of the queue was left out",
                                              controls::MessageIcon::Information, "Save Report..."),
                  answer == Answer::Action)
            << static_cast<int>(answer);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
}

// A list of hundreds of rows left out keeps the box on the screen: its first lines show, the
// whole text is among the details; names are never read as markup.
TEST(MessageBoxes, KeepLongTextsInTheDetailsAndShowNamesAsTheyAre) {
    std::string text = "300 worksheets of the queue were left out of the merge:\n";
    for (int row = 1; row <= 300; ++row) {
        text += "\n'/data/<b>" + std::to_string(row) + "</b>.xlsx': no such file";
    }
    MessageBoxes boxes;
    whenModalOpens([&text](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->text().count(QLatin1Char('\n')), MessageBoxes::kMostShownLines);
        EXPECT_TRUE(box->text().startsWith(QStringLiteral("300 worksheets")));
        EXPECT_TRUE(box->text().endsWith(QStringLiteral("(278 more lines: see the details)")))
            << box->text().toStdString();
        EXPECT_EQ(box->detailedText(), QString::fromStdString(text));
        EXPECT_LT(box->sizeHint().height(), 800);
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    EXPECT_FALSE(boxes.showMessageWithAction(text, controls::MessageIcon::Information, "Save"));

    whenModalOpens([](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text(), QStringLiteral("'<i>x</i>.xlsx' is gone"));
        EXPECT_TRUE(box->detailedText().isEmpty());
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    boxes.showMessage("'<i>x</i>.xlsx' is gone", controls::MessageIcon::Information);
}

// Notes whether a call queued before a message box ran by the time the box shows.
class ShowWatch : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && qobject_cast<QMessageBox*>(watched)) {
            queuedRanBeforeTheBox = queuedRan;
        }
        return false;
    }
    bool queuedRan = false;
    std::optional<bool> queuedRanBeforeTheBox;
};

// A merge's result windows open from a queued call; the box that lists what the result lacks
// comes after them, so that it is not hidden under them.
TEST(MessageBoxes, ShowAfterWindowsAlreadyOnTheirWay) {
    MessageBoxes boxes;
    ShowWatch watch;
    qApp->installEventFilter(&watch);
    QObject context;
    QTimer::singleShot(0, &context, [&watch] { watch.queuedRan = true; });
    whenModalOpens([](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_TRUE(box);
        QTest::mouseClick(box->buttons().first(), Qt::LeftButton);
    });
    boxes.showMessage("The result does not carry everything its sources hold:",
                      controls::MessageIcon::Information);
    qApp->removeEventFilter(&watch);
    EXPECT_EQ(watch.queuedRanBeforeTheBox, std::optional<bool>(true));
}

TEST(WaitPointer, SwallowsInputWhileWaitingButNotTheMessageBox) {
    QWidget window;
    auto* button = new QPushButton(QStringLiteral("Go"), &window);
    auto* edit = new QLineEdit(&window);
    edit->move(0, 40);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });

    WaitPointer pointer;
    pointer.setMousePointer(controls::MousePointer::Wait);
    pointer.setMousePointer(controls::MousePointer::Wait);
    ASSERT_TRUE(QApplication::overrideCursor());
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QTest::mouseClick(button, Qt::LeftButton);
    edit->setFocus();
    QTest::keyClicks(edit, "typed");
    EXPECT_EQ(clicks, 0);
    EXPECT_TRUE(edit->text().isEmpty());

    // A message shown by the running command takes its answer, under the normal arrow.
    MessageBoxes boxes;
    bool answered = false;
    whenModalOpens([&](QWidget* modal) {
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::ArrowCursor);
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_TRUE(box);
        QTest::mouseClick(box->buttons().first(), Qt::LeftButton);
        answered = true;
    });
    boxes.showMessage("Open excel file failed!", controls::MessageIcon::Critical);
    EXPECT_TRUE(answered);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);

    // Clicks that queued up while the command ran are dropped, not run afterwards.
    const QPoint centre = button->rect().center();
    QCoreApplication::postEvent(
        button, new QMouseEvent(QEvent::MouseButtonPress, centre, button->mapToGlobal(centre),
                                Qt::LeftButton, Qt::LeftButton, {}));
    QCoreApplication::postEvent(
        button, new QMouseEvent(QEvent::MouseButtonRelease, centre, button->mapToGlobal(centre),
                                Qt::LeftButton, Qt::NoButton, {}));
    pointer.setMousePointer(controls::MousePointer::Default);
    processEvents();
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(pointer.isWaiting());

    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    pointer.setMousePointer(controls::MousePointer::Default);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// Shell and dialog presenter

// Records what QDesktopServices is asked to open, instead of starting programs.
class UrlRecorder : public QObject {
    Q_OBJECT

public:
    UrlRecorder() {
        for (const char* scheme : {"file", "https", "mailto"}) {
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "record");
        }
    }
    ~UrlRecorder() override {
        for (const char* scheme : {"file", "https", "mailto"}) {
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
        }
    }
    QList<QUrl> urls;

public slots:
    void record(const QUrl& url) { urls << url; }
};

TEST(DesktopShell, OpensAddressesAndExistingFilesOnly) {
    plyfold::test::TempDir folder;
    const std::string help = folder.file("help.chm");
    plyfold::test::writeFile(help, "help");
    struct Case {
        std::string target;
        const char* scheme;
        bool opened;
    };
    const Case cases[] = {
        {"https://plyfold.org/", "https", true},
        {"mailto:support@plyfold.org", "mailto", true},
        {help, "file", true},
        {folder.file("missing.chm"), "file", false},
        {"C:\\Program Files\\Plyfold\\help.chm", "file", false},
    };
    UrlRecorder recorder;
    DesktopShell shell;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        recorder.urls.clear();
        EXPECT_EQ(DesktopShell::urlForTarget(c.target).scheme(), QString::fromLatin1(c.scheme));
        shell.open(c.target, controls::ShowCommand::Show);
        ASSERT_EQ(recorder.urls.size(), c.opened ? 1 : 0);
        if (c.opened && std::string(c.scheme) == "file") {
            EXPECT_EQ(recorder.urls[0].toLocalFile().toStdString(), c.target);
        }
    }
}

TEST(QtDialogPresenter, OpenAcceptsOnlyExistingFiles) {
    plyfold::test::TempDir folder;
    const std::string existing = folder.file("book.xlsx");
    plyfold::test::writeFile(existing, "x");
    dialogs::FileDialogRequest request;
    request.title = "Select Excel File";
    request.filters = {
        {"Excel File(*.xls;*.xlsx;*.xlsm;*.dbf;*.csv;*.txt)", "*.xl*;*.csv;*.txt;*.dbf"}};
    request.fileMustExist = true;
    request.initialFolder = folder.path().string();
    EXPECT_EQ(QtDialogPresenter::nameFilters(request),
              QStringList{"Excel File(*.xls;*.xlsx;*.xlsm;*.dbf;*.csv;*.txt) "
                          "(*.xl* *.csv *.txt *.dbf)"});
    QtDialogPresenter presenter;
    struct Case {
        std::string chosen;
        bool accepted;
    };
    for (const Case& c : {Case{existing, true}, Case{folder.file("missing.xlsx"), false}}) {
        SCOPED_TRACE(c.chosen);
        whenModalOpens([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_TRUE(dialog);
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Select Excel File"));
            EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
            EXPECT_EQ(dialog->nameFilters().size(), 1);
            dialog->selectFile(QString::fromStdString(c.chosen));
            // The dialog may say that the file is not there, in a box of its own.
            QTimer::singleShot(200, [] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    box->close();
                }
            });
            static_cast<QDialog*>(dialog)->accept();
            processEvents();
            // A missing file is not taken: the dialog stays open until cancelled.
            EXPECT_EQ(dialog->isVisible(), !c.accepted);
            if (dialog->isVisible()) {
                dialog->reject();
            }
        });
        const std::optional<std::string> chosen = presenter.openFile(request);
        EXPECT_EQ(chosen.has_value(), c.accepted);
        if (chosen) {
            EXPECT_EQ(*chosen, c.chosen);
        }
    }
}

TEST(QtDialogPresenter, ChoosesAFolder) {
    plyfold::test::TempDir folder;
    std::filesystem::create_directory(folder.path() / "data");
    QtDialogPresenter presenter;
    whenModalOpens([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_TRUE(dialog);
        EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Add all excel files in folder"));
        dialog->setDirectory(QString::fromStdString(folder.file("data")));
        static_cast<QDialog*>(dialog)->accept();
    });
    const auto chosen = presenter.chooseFolder(nullptr, "Add all excel files in folder");
    ASSERT_TRUE(chosen);
    EXPECT_EQ(*chosen, folder.file("data"));
    whenModalOpens([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    EXPECT_FALSE(presenter.chooseFolder(nullptr, "Add all excel files in folder"));
}

}  // namespace
}  // namespace plyfold::gui

#include "dialogs_test.moc"
