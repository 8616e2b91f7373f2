#include "app/qt/settings_dialog_view.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QPushButton>

#include "app/qt/control_bindings.h"
#include "app/qt/qt_text.h"
#include "app/qt/twips.h"

namespace plyfold::gui {

SettingsDialogView::SettingsDialogView(std::string programFolder, QWidget* parent,
                                       controls::MessageBoxService* messages)
    : QDialog(parent), m_dialog(std::move(programFolder), messages) {
    setObjectName(QStringLiteral("Dialog2"));
    setWindowTitle(QStringLiteral("Setting"));
    setModal(true);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8.4);
    setFont(font);
    setFixedSize(twipsToPixels(3600), twipsToPixels(1476));

    auto* ok = new QPushButton(toQString(m_dialog.OKButton.caption()), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setGeometry(twipsRect(360, 960, 1215, 375));
    auto* cancel = new QPushButton(toQString(m_dialog.CancelButton.caption()), this);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    cancel->setGeometry(twipsRect(2040, 960, 1215, 375));
    auto* check = new QCheckBox(this);
    check->setObjectName(QStringLiteral("Check1"));
    check->setGeometry(twipsRect(360, 360, 3010, 370));
    for (QPushButton* button : {ok, cancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    setTabOrder(ok, cancel);
    setTabOrder(cancel, check);

    bindCheckBox(m_dialog.Check1, check);
    connect(ok, &QPushButton::clicked, this, [this] {
        m_dialog.OKButton_Click();
        if (m_dialog.isCloseRequested()) {
            accept();
        }
    });
    connect(cancel, &QPushButton::clicked, this, [this] {
        m_dialog.CancelButton_Click();
        if (m_dialog.isCloseRequested()) {
            reject();
        }
    });
    m_dialog.Form_Load();
}

// Enter and Escape do nothing here: only the buttons and the close box end the dialog.
void SettingsDialogView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

}  // namespace plyfold::gui
