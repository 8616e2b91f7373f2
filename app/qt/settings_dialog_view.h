#pragma once

#include <QDialog>

#include <string>

#include "app/settings_dialog.h"

namespace plyfold::gui {

// The view of Dialog2 ("Setting"): Form_Load runs before it shows; OK and Cancel run their
// handlers; the close box writes nothing. Neither button answers Enter or Escape.
class SettingsDialogView : public QDialog {
    Q_OBJECT

public:
    explicit SettingsDialogView(std::string settingsFolder, QWidget* parent = nullptr,
                                controls::MessageBoxService* messages = nullptr);

    app::Dialog2& dialog() { return m_dialog; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    app::Dialog2 m_dialog;
};

}  // namespace plyfold::gui
