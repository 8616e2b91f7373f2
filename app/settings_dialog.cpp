#include "app/settings_dialog.h"

#include "state/saved_list.h"

namespace plyfold::app {

Dialog2::Dialog2(std::string programFolder) : m_programFolder(std::move(programFolder)) {
    Check1.setCaption("Automatically save the current list .");
    OKButton.setCaption("OK");
    CancelButton.setCaption("Cancel");
}

void Dialog2::Form_Load() { Check1.setValue(state::readAutoSaveFlag(m_programFolder)); }

void Dialog2::OKButton_Click() {
    state::writeAutoSaveFlag(m_programFolder, Check1.value());
    m_closeRequested = true;
}

void Dialog2::CancelButton_Click() { m_closeRequested = true; }

}  // namespace plyfold::app
