#pragma once

#include <string_view>

#include "controls/services.h"

namespace plyfold::app {

inline constexpr std::string_view kHomePageAddress = "https://plyfold.org/";
inline constexpr std::string_view kSupportMailAddress = "support@plyfold.org";

// The About box's logic: fixed texts and the two links, opened through the shell.
class Dialog1 {
public:
    static constexpr std::string_view kCaption = "About us";
    static constexpr std::string_view kLabel1 = "Plyfold";
    static constexpr std::string_view kLabel2 = kSupportMailAddress;
    static constexpr std::string_view kLabel3 = "Technical Support:";
    static constexpr std::string_view kLabel4 = "Version:10.1.10";
    static std::string_view label5();
    static constexpr std::string_view kLabel6 = "Plyfold is made by the Plyfold developers.";
    static constexpr std::string_view kLabel7 = "Website:";
    static constexpr std::string_view kLabel8 = kHomePageAddress;

    explicit Dialog1(controls::ShellService* shell) : m_shell(shell) {}

    void Label2_Click();  // the mail link
    void Label8_Click();  // the home page
    void OKButton_Click() { m_closeRequested = true; }
    bool isCloseRequested() const { return m_closeRequested; }

private:
    controls::ShellService* m_shell;
    bool m_closeRequested = false;
};

}  // namespace plyfold::app
