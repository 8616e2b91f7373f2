#include "cli/terminal_services.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace plyfold::cli {

void printMessage(std::string_view text) {
    std::fprintf(stderr, "plyfold-merge: %.*s\n", static_cast<int>(text.size()), text.data());
}

TerminalProgress::~TerminalProgress() {
    if (m_drawn) {
        std::fputs("\r\033[K", stderr);  // the merge is over: clear the bar's line
    }
}

void TerminalProgress::show(int row) {
    if (row == m_shownRow) {
        return;
    }
    m_shownRow = row;
    constexpr int kWidth = 40;
    const int filled =
        m_rowCount > 0 ? static_cast<int>(int64_t{kWidth} * row / m_rowCount) : kWidth;
    std::string bar = "\rMerging [" + std::string(static_cast<size_t>(filled), '#') +
                      std::string(static_cast<size_t>(kWidth - filled), ' ') + "] " +
                      std::to_string(row) + "/" + std::to_string(m_rowCount);
    std::fputs(bar.c_str(), stderr);
    std::fflush(stderr);
    m_drawn = true;
}

bool stderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

}  // namespace plyfold::cli
