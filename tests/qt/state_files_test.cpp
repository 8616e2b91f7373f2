#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>

#include <cerrno>
#include <filesystem>

#include "app/qt/main_window.h"
#include "tests/qt/gui_test_support.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/temp_dir.h"

namespace plyfold::gui {
namespace {

namespace fs = std::filesystem;
using test::child;
using test::whenModalOpens;

// A program whose list and settings live in a folder apart from the program's.
struct SeparateFolders {
    SeparateFolders() {
        fs::create_directory(program());
        fs::create_directory(state());
    }
    fs::path program() const { return root.path() / "bin"; }
    fs::path state() const { return root.path() / "config"; }
    app::ProgramFolders folders() const { return {program().string(), state().string()}; }

    plyfold::test::TempDir root;
};

// The window restores from the settings folder, its Settings dialog opens from it (a word on
// the first line saves at exit, so the box opens checked), and OK writes there.
TEST(StateFiles, TheWindowAndItsSettingsDialogUseTheStateFolder) {
    SeparateFolders folders;
    plyfold::test::writeFile(folders.state() / "EXCEL.txt", "/kept/a.xlsx\r\n");
    plyfold::test::writeFile(folders.state() / "set.txt", "yes\r\n");
    test::RecordingMessages messages;
    MainWindow window(folders.folders(), MainWindowServices{&messages, nullptr, nullptr});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_EQ(window.form().controls().ListView1.count(), 1);
    bool seen = false;
    whenModalOpens([&](QWidget* modal) {
        seen = true;
        EXPECT_TRUE(child<QCheckBox>(modal, "Check1")->isChecked());
        QTest::mouseClick(child<QPushButton>(modal, "OKButton"), Qt::LeftButton);
    });
    child<QAction>(&window, "Settings")->trigger();
    EXPECT_TRUE(seen);
    EXPECT_EQ(plyfold::test::readFile(folders.state() / "set.txt").substr(0, 3), "1\r\n");
    window.form().controls().ListView1.add("/new/b.csv");
    window.close();
    EXPECT_EQ(plyfold::test::readFile(folders.state() / "EXCEL.txt"),
              "/kept/a.xlsx\r\n/new/b.csv\r\n");
    EXPECT_TRUE(fs::is_empty(folders.program()));
    EXPECT_TRUE(messages.shown.empty());
}

// Closing the window and the program's end both run the unload: the failed save is told once.
TEST(StateFiles, AFailedSaveIsToldOnceWhenTheProgramEnds) {
    SeparateFolders folders;
    test::RecordingMessages messages;
    MainWindow window(folders.folders(), MainWindowServices{&messages, nullptr, nullptr});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.form().controls().ListView1.add("/new/b.csv");
    plyfold::test::FailingFileSystem files;
    files.fail(plyfold::test::FileOperation::Create, folders.state().string(), EACCES);
    window.close();
    QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].text.find("'" + folders.state().string() + "'"), std::string::npos)
        << messages.shown[0].text;
    EXPECT_NE(messages.shown[0].text.find("Permission denied"), std::string::npos);
    EXPECT_EQ(messages.shown[0].icon, controls::MessageIcon::Critical);
    EXPECT_FALSE(fs::exists(folders.state() / "EXCEL.txt"));
}

}  // namespace
}  // namespace plyfold::gui
