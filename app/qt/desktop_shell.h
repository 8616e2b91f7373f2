#pragma once

#include <QUrl>

#include "controls/services.h"

namespace plyfold::gui {

// Opens files, web addresses and mail links with the desktop's default programs. A failure,
// or a file that is not there, leaves the program as it was and shows nothing. The show
// command has no equivalent here: the desktop decides how the program's window opens.
class DesktopShell : public controls::ShellService {
public:
    void open(const std::string& target, controls::ShowCommand show) override;

    // A target with a scheme of two or more letters ("https:", "mailto:") is an address;
    // anything else is a local path.
    static QUrl urlForTarget(const std::string& target);
};

}  // namespace plyfold::gui
