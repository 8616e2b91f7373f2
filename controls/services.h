#pragma once

#include <string>
#include <string_view>

namespace plyfold::controls {

// Icon codes of a message box.
enum class MessageIcon { Critical = 16, Information = 64 };

// A modal message box with the program's title and one OK button.
class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    virtual void showMessage(std::string_view text, MessageIcon icon) = 0;
};

enum class MousePointer { Default, Wait };

// The main window's mouse pointer; the wait pointer also tells the view that a command is
// running, so it can ignore input and repaint only what the command changes.
class PointerService {
public:
    virtual ~PointerService() = default;
    virtual void setMousePointer(MousePointer pointer) = 0;
};

// Show commands handed with a target to the desktop.
enum class ShowCommand { Show = 5, ShowMaximized = 3 };

// Opens a file, a web address or a mail link with the desktop's default program. A failure
// is not reported: the program goes on as before.
class ShellService {
public:
    virtual ~ShellService() = default;
    virtual void open(const std::string& target, ShowCommand show) = 0;
};

}  // namespace plyfold::controls
