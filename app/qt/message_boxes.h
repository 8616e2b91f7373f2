#pragma once

#include <QString>

#include <functional>

#include "controls/services.h"

class QMessageBox;
class QWidget;

namespace plyfold::gui {

// Modal message boxes titled "Plyfold" with an OK button. While the wait pointer is on, the
// normal arrow shows over the box so the user sees it is waiting for an answer. A text of more
// than kMostShownLines lines shows its first lines and the whole text among the details, so
// that the box never grows past the screen and its buttons stay in reach.
class MessageBoxes : public controls::MessageBoxService {
public:
    static constexpr int kMostShownLines = 24;

    // owner gives the window the box belongs to when it opens (it may give none).
    explicit MessageBoxes(std::function<QWidget*()> owner = {});

    void showMessage(std::string_view text, controls::MessageIcon icon) override;
    void showDetailedMessage(std::string_view text, std::string_view details,
                             controls::MessageIcon icon) override;
    bool showMessageWithAction(std::string_view text, controls::MessageIcon icon,
                               std::string_view action) override;

private:
    void fill(QMessageBox& box, std::string_view text, std::string_view details,
              controls::MessageIcon icon) const;
    void exec(QMessageBox& box) const;

    std::function<QWidget*()> m_owner;
};

}  // namespace plyfold::gui
