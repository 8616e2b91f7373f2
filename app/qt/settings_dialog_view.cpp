#include "app/qt/settings_dialog_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "app/qt/control_bindings.h"
#include "app/qt/qt_text.h"
#include "app/qt/twips.h"

namespace plyfold::gui {

SettingsDialogView::SettingsDialogView(std::string settingsFolder, QWidget* parent,
                                       controls::MessageBoxService* messages)
    : QDialog(parent), m_dialog(std::move(settingsFolder), messages) {
    setObjectName(QStringLiteral("Dialog2"));
    setWindowTitle(QStringLiteral("Setting"));
    setModal(true);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8.4);
    setFont(font);
    // The three text-source settings sit in rows below the check box, a label and a list
    // each; the buttons below them, Cancel at the lists' right edge.
    constexpr int kWidth = 4200;
    constexpr int kMargin = 360;
    constexpr int kRowsTop = 840;
    constexpr int kRowStep = 420;
    constexpr int kListLeft = 1980;
    constexpr int kButtonsTop = kRowsTop + 3 * kRowStep + 120;
    setFixedSize(twipsToPixels(kWidth), twipsToPixels(kButtonsTop + 375 + 141));

    auto* ok = new QPushButton(toQString(m_dialog.OKButton.caption()), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setGeometry(twipsRect(360, kButtonsTop, 1215, 375));
    auto* cancel = new QPushButton(toQString(m_dialog.CancelButton.caption()), this);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    cancel->setGeometry(twipsRect(kWidth - kMargin - 1215, kButtonsTop, 1215, 375));
    auto* check = new QCheckBox(this);
    check->setObjectName(QStringLiteral("Check1"));
    check->setGeometry(twipsRect(360, 360, 3010, 370));
    for (QPushButton* button : {ok, cancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    struct Setting {
        controls::Label& label;
        controls::ComboBox& combo;
        const char* labelName;
        const char* comboName;
    };
    const Setting settings[] = {
        {m_dialog.DelimiterLabel, m_dialog.DelimiterCombo, "DelimiterLabel", "DelimiterCombo"},
        {m_dialog.DecimalLabel, m_dialog.DecimalCombo, "DecimalLabel", "DecimalCombo"},
        {m_dialog.DateOrderLabel, m_dialog.DateOrderCombo, "DateOrderLabel", "DateOrderCombo"},
    };
    QWidget* previous = check;
    setTabOrder(ok, cancel);
    setTabOrder(cancel, check);
    for (int row = 0; row < 3; ++row) {
        const Setting& setting = settings[row];
        const int top = kRowsTop + row * kRowStep;
        auto* label = new QLabel(this);
        label->setObjectName(QString::fromLatin1(setting.labelName));
        label->setGeometry(twipsRect(kMargin, top + 30, kListLeft - kMargin - 60, 255));
        auto* combo = new QComboBox(this);
        combo->setObjectName(QString::fromLatin1(setting.comboName));
        combo->setGeometry(twipsRect(kListLeft, top, kWidth - kMargin - kListLeft, 330));
        combo->setEditable(false);
        label->setBuddy(combo);
        bindLabel(setting.label, label);
        bindComboBox(setting.combo, combo, {});
        setTabOrder(previous, combo);
        previous = combo;
    }

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
