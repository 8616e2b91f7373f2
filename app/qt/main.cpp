#include <QApplication>

#include "app/qt/desktop_shell.h"
#include "app/qt/main_window.h"
#include "app/qt/message_boxes.h"
#include "app/qt/qt_text.h"
#include "app/qt/result_dialogs.h"
#include "app/qt/result_presenter.h"
#include "automation/automation.h"
#include "engine/common/temporary_files.h"

int main(int argc, char* argv[]) {
    using namespace plyfold;
    // A signal that ends the program during a save leaves no temporary file behind.
    files::removeTemporaryFilesOnSignals();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Plyfold"));

    // The saved list and the settings file live beside the program.
    const std::string programFolder = gui::toStdString(QCoreApplication::applicationDirPath());

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
    gui::MainWindow window(programFolder, windowServices);
    window.show();
    // The program ends when the main window and every result window have closed.
    return QApplication::exec();
}
