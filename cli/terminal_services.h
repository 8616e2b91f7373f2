#pragma once

#include <string_view>

namespace plyfold::cli {

// Writes a message to standard error, one line, led by the program's name.
void printMessage(std::string_view text);

// Draws the merge's progress on standard error, when that is a terminal.
class TerminalProgress {
public:
    explicit TerminalProgress(int rowCount) : m_rowCount(rowCount) {}
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    // Shows that the merge has reached the queue row (1-based).
    void show(int row);

private:
    int m_rowCount;
    int m_shownRow = 0;
    bool m_drawn = false;
};

// True when standard error is a terminal.
bool stderrIsTerminal();

}  // namespace plyfold::cli
