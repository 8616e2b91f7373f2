#include <cstdint>
#include <optional>
#include <string>

#include "app/form1.h"
#include "engine/model/limits.h"

namespace plyfold::app {

// The Merge Options menu: how the one-sheet merges line up and label their blocks.

void Form1::MatchHeaders_Click() {
    m_controls.matchHeaders = !m_controls.matchHeaders;
}

void Form1::SourceColumn_Click() {
    m_controls.sourceColumn = !m_controls.sourceColumn;
}

void Form1::HeaderRow_Click() {
    if (!m_services.window) {
        return;
    }
    const std::optional<int32_t> row = m_services.window->askHeaderRow(m_controls.headerRow);
    if (!row) {
        return;
    }
    // The dialog keeps to the range; an answer from elsewhere past it must not reach a merge.
    if (*row < 1 || *row > engine::kMaxRows) {
        m_controls.showMessage("The header row must be a whole number from 1 to " +
                                   std::to_string(engine::kMaxRows) + ".",
                               controls::MessageIcon::Critical);
        return;
    }
    m_controls.headerRow = *row;
}

}  // namespace plyfold::app
