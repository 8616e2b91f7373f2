#pragma once

#include <string>

#include "controls/controls.h"
#include "controls/services.h"

namespace plyfold::app {

// The Settings dialog's logic: one check box bound to the auto-save flag. Every opening
// starts from the settings file; OK writes it, Cancel and the close box write nothing.
class Dialog2 {
public:
    // messages shows why OK could not write the settings file, when it has a reason to say.
    explicit Dialog2(std::string programFolder, controls::MessageBoxService* messages = nullptr);

    controls::CheckBox Check1;
    controls::Control OKButton;
    controls::Control CancelButton;

    void Form_Load();
    void OKButton_Click();
    void CancelButton_Click();

    // Set by OK and Cancel: the view closes the dialog.
    bool isCloseRequested() const { return m_closeRequested; }

private:
    std::string m_programFolder;
    controls::MessageBoxService* m_messages;
    bool m_closeRequested = false;
};

}  // namespace plyfold::app
