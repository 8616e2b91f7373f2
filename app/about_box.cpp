#include "app/about_box.h"

#include <string>

namespace plyfold::app {

std::string_view Dialog1::label5() {
    return "Warning: this computer program is protected by copyright laws and international "
           "treaties. Unauthorized reproduction or distribution of this program, or any portion "
           "of it, may result in severe civil and criminal penalties, and will be prosecuted to "
           "the maximum extent possible under the law.\n";
}

void Dialog1::Label2_Click() {
    if (m_shell) {
        m_shell->open("mailto:" + std::string(kSupportMailAddress),
                      controls::ShowCommand::ShowMaximized);
    }
}

void Dialog1::Label8_Click() {
    if (m_shell) {
        m_shell->open(std::string(kHomePageAddress), controls::ShowCommand::Show);
    }
}

}  // namespace plyfold::app
