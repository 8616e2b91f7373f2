#pragma once

#include <QMainWindow>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/form1.h"
#include "app/qt/desktop_shell.h"
#include "app/qt/message_boxes.h"
#include "app/qt/qt_dialog_presenter.h"
#include "app/qt/wait_pointer.h"

class QAction;
class QMenuBar;
class QMenu;

namespace plyfold::gui {

class ListModelAdapter;

// Services the window would otherwise provide itself; tests hand in scripted ones.
struct MainWindowServices {
    controls::MessageBoxService* messages = nullptr;
    controls::ShellService* shell = nullptr;
    dialogs::DialogPresenter* dialogs = nullptr;
};

// The view of Form1: every control at its place, bound both ways to Form1's controls, every
// user event forwarded to the handler of the same name. Form_Load runs in the constructor,
// before the window is first shown; Form_Unload runs once, when the window closes.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(app::ProgramFolders folders, MainWindowServices services = {},
                        QWidget* parent = nullptr);
    ~MainWindow() override;

    app::Form1& form() { return *m_form; }
    controls::MessageBoxService& messages() const { return *m_messages; }
    controls::ShellService& shell() const { return *m_shell; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class WindowActions;

    void buildControls(QWidget* central);
    void buildMenus();
    void addSheetNamesMenu(QMenuBar* bar);
    // Merge Options: Match Columns by Header and Source Column (check marks over the form's
    // options) and Header Row..., its text showing the current row.
    void addMergeOptionsMenu(QMenuBar* bar);
    // File > Include Subfolders, checkable: whether the folder scan lists subfolders too.
    void addFolderScanItem(QMenu* file);
    // Edit > Preview Sheet (F3) and the context menus of the worksheet list and the merge queue
    // (main_window_preview.cpp).
    void addPreviewCommand(QMenu* edit);
    // The keyboard's commands beside the menu items' keys (Delete on the source list and the
    // queue, Enter on the worksheet list), files dropped on the source list and the lists' tool
    // tips (main_window_keys.cpp).
    void addKeysDropsAndTips();
    // Runs a handler; a failure that escapes it is shown, never let into the event loop.
    void run(void (app::Form1::*handler)());
    void run(const std::function<void()>& command);
    void unloadOnce();
    void showSettingsDialog();
    void showAboutBox();
    std::optional<std::string> askSheetFilter(const std::string& current);
    std::optional<int32_t> askHeaderRow(int32_t current);

    app::ProgramFolders m_folders;
    MessageBoxes m_ownMessages;
    DesktopShell m_ownShell;
    QtDialogPresenter m_ownDialogs;
    WaitPointer m_pointer;
    controls::MessageBoxService* m_messages;
    controls::ShellService* m_shell;
    dialogs::DialogPresenter* m_dialogs;
    std::unique_ptr<WindowActions> m_windowActions;
    std::unique_ptr<app::Form1> m_form;
    bool m_unloaded = false;
};

}  // namespace plyfold::gui
