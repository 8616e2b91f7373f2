#pragma once

#include <QDialog>
#include <QLabel>

#include "app/about_box.h"

namespace plyfold::gui {

// A label shown as a link: the palette's highlight colour, a hand pointer, and a click.
class LinkLabel : public QLabel {
    Q_OBJECT

public:
    explicit LinkLabel(const QString& text, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The view of Dialog1 ("About us"): fixed texts, two links opened through the shell, OK.
class AboutBoxView : public QDialog {
    Q_OBJECT

public:
    explicit AboutBoxView(controls::ShellService* shell, QWidget* parent = nullptr);

    app::Dialog1& dialog() { return m_dialog; }

private:
    app::Dialog1 m_dialog;
};

}  // namespace plyfold::gui
