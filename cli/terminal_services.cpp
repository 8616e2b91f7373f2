#include "cli/terminal_services.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace plyfold::cli {

void StderrMessages::showMessage(std::string_view text, controls::MessageIcon icon) {
    std::fprintf(stderr, "plyfold-merge: %.*s\n", static_cast<int>(text.size()), text.data());
    if (icon == controls::MessageIcon::Critical || text == "Please select some excel files to Merge!") {
        m_failed = true;
    }
}

TerminalProgress::TerminalProgress(const controls::ProgressBar& bar) : m_bar(bar) {}

void TerminalProgress::update() {
    const int value = m_bar.value();
    const int maximum = m_bar.maximum();
    if (value == m_shownValue) {
        return;
    }
    m_shownValue = value;
    if (value == 0) {
        if (m_drawn) {
            std::fputs("\r\033[K", stderr);  // the merge is over: clear the bar's line
            m_drawn = false;
        }
        return;
    }
    constexpr int kWidth = 40;
    const int filled = maximum > 0 ? static_cast<int>(int64_t{kWidth} * value / maximum) : kWidth;
    std::string bar = "\rMerging [" + std::string(static_cast<size_t>(filled), '#') +
                      std::string(static_cast<size_t>(kWidth - filled), ' ') + "] " +
                      std::to_string(value) + "/" + std::to_string(maximum);
    std::fputs(bar.c_str(), stderr);
    std::fflush(stderr);
    m_drawn = true;
}

bool stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace plyfold::cli
