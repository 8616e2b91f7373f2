#include <QApplication>
#include <QStandardPaths>

#include "app/qt/desktop_shell.h"
#include "app/qt/main_window.h"
#include "app/qt/message_boxes.h"
#include "app/qt/qt_text.h"
#include "app/qt/result_dialogs.h"
#include "app/qt/result_presenter.h"
#include "automation/automation.h"
#include "engine/common/temporary_files.h"
#include "state/state_folder.h"

int main(int argc, char* argv[]) {
    using namespace plyfold;
    // A signal that ends the program during a save leaves no temporary file behind.
    files::removeTemporaryFilesOnSignals();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Plyfold"));

    // The saved list and the settings file live beside the program when it may write there (a
    // portable copy), and otherwise in the user's configuration folder.
    const std::string programFolder = gui::toStdString(QCoreApplication::applicationDirPath());
    const std::string configFolder =
        gui::toStdString(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
    const app::ProgramFolders folders(programFolder,
                                      state::chooseStateFolder(programFolder, configFolder));

    gui::MessageBoxes resultMessages;
    gui::DesktopShell shell;
    gui::QtResultDialogs resultDialogs;
    gui::ResultWindowServices resultServices;
    resultServices.dialogs = &resultDialogs;
    resultServices.messages = &resultMessages;
    resultServices.shell = &shell;
    gui::ResultPresenter presenter(resultServices);
    automation::ServerRegistry::instance().setPresenter(&presenter);

    gui::MainWindowServices windowServices;
    windowServices.shell = &shell;
    gui::MainWindow window(folders, windowServices);
    window.show();
    // The program ends when the main window and every result window have closed.
    return QApplication::exec();
}
