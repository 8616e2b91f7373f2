#pragma once

#include <functional>

#include "controls/services.h"

class QWidget;

namespace plyfold::gui {

// Modal message boxes titled "Plyfold" with one OK button. While the wait pointer is on, the
// normal arrow shows over the box so the user sees it is waiting for an answer.
class MessageBoxes : public controls::MessageBoxService {
public:
    // owner gives the window the box belongs to when it opens (it may give none).
    explicit MessageBoxes(std::function<QWidget*()> owner = {});

    void showMessage(std::string_view text, controls::MessageIcon icon) override;

private:
    std::function<QWidget*()> m_owner;
};

}  // namespace plyfold::gui
