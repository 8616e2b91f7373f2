#pragma once

#include <string_view>

#include "controls/controls.h"
#include "controls/services.h"

namespace plyfold::cli {

// Message boxes written to standard error, one line each; remembers whether a failure was
// reported.
class StderrMessages : public controls::MessageBoxService {
public:
    void showMessage(std::string_view text, controls::MessageIcon icon) override;
    // True once a critical message, or the plea for files to merge, was shown.
    bool hasFailed() const { return m_failed; }
    void clearFailure() { m_failed = false; }

private:
    bool m_failed = false;
};

// Draws the progress bar on standard error while a merge runs, when that is a terminal.
class TerminalProgress {
public:
    explicit TerminalProgress(const controls::ProgressBar& bar);
    void update();

private:
    const controls::ProgressBar& m_bar;
    int m_shownValue = -1;
    bool m_drawn = false;
};

// True when standard error is a terminal.
bool stderrIsTerminal();

}  // namespace plyfold::cli
