#pragma once

#include <string>
#include <string_view>

namespace plyfold::controls {

// Icon codes of a message box.
enum class MessageIcon { Critical = 16, Information = 64 };

// Modal message boxes with the program's title and an OK button.
class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    virtual void showMessage(std::string_view text, MessageIcon icon) = 0;
    // The text, with details the user can open below it (the cause of a failure, say).
    virtual void showDetailedMessage(std::string_view text, std::string_view details,
                                     MessageIcon icon) = 0;
    // The text with a second button, captioned action ("Save Report..."), beside OK; true
    // when the user chose that button, false for OK or closing the box.
    virtual bool showMessageWithAction(std::string_view text, MessageIcon icon,
                                       std::string_view action) = 0;
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
