#include "app/settings_dialog.h"

#include "engine/common/file_access.h"
#include "state/saved_list.h"

namespace plyfold::app {

Dialog2::Dialog2(std::string programFolder, controls::MessageBoxService* messages)
    : m_programFolder(std::move(programFolder)), m_messages(messages) {
    Check1.setCaption("Automatically save the current list .");
    OKButton.setCaption("OK");
    CancelButton.setCaption("Cancel");
}

void Dialog2::Form_Load() {
    Check1.setValue(state::readAutoSaveFlag(m_programFolder));
}

void Dialog2::OKButton_Click() {
    try {
        state::writeAutoSaveFlag(m_programFolder, Check1.value());
    } catch (const state::StateFileRefused& refused) {
        if (m_messages) {
            m_messages->showMessage("The setting was not saved: " + refused.description(),
                                    controls::MessageIcon::Critical);
        }
    } catch (const files::FileError&) {
        // The dialog closes as always; the settings file keeps its old value.
    }
    m_closeRequested = true;
}

void Dialog2::CancelButton_Click() {
    m_closeRequested = true;
}

}  // namespace plyfold::app
