#include "app/qt/control_bindings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QRadioButton>
#include <QSignalBlocker>

#include <memory>

#include "app/qt/qt_text.h"

namespace plyfold::gui {
namespace {

// Raises the text box's lost-focus event. Focus that moves to a menu or another program is
// not lost to a control, so it raises nothing.
class FocusOutWatcher : public QObject {
public:
    FocusOutWatcher(QObject* parent, std::function<void()> lostFocus)
        : QObject(parent), m_lostFocus(std::move(lostFocus)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusOut && m_lostFocus) {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
                m_lostFocus();
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_lostFocus;
};

}  // namespace

void bindLabel(controls::Label& label, QLabel* widget) {
    QPointer<QLabel> view(widget);
    auto show = [&label, view] {
        if (!view) {
            return;
        }
        view->setText(toQString(label.caption()));
        view->setEnabled(label.isEnabled());
    };
    label.setChangeHandler(show);
    show();
}

void bindCheckBox(controls::CheckBox& checkBox, QCheckBox* widget) {
    QPointer<QCheckBox> view(widget);
    auto show = [&checkBox, view] {
        if (!view) {
            return;
        }
        view->setText(toQString(checkBox.caption()));
        view->setEnabled(checkBox.isEnabled());
        view->setChecked(checkBox.value() == 1);
    };
    checkBox.setChangeHandler(show);
    show();
    // clicked is raised only by the user (mouse or space bar), never by setChecked.
    QObject::connect(widget, &QCheckBox::clicked, widget,
                     [&checkBox](bool checked) { checkBox.setValue(checked ? 1 : 0); });
}

void bindProgressBar(controls::ProgressBar& progressBar, QProgressBar* widget) {
    QPointer<QProgressBar> view(widget);
    auto show = [&progressBar, view] {
        if (!view) {
            return;
        }
        view->setEnabled(progressBar.isEnabled());
        view->setRange(progressBar.minimum(), progressBar.maximum());
        if (view->value() != progressBar.value()) {
            view->setValue(progressBar.value());
            // A merge runs on the window's own thread: paint now, not after it returns.
            if (view->isVisible()) {
                view->repaint();
            }
        }
    };
    progressBar.setChangeHandler(show);
    show();
}

void bindComboBox(controls::ComboBox& comboBox, QComboBox* widget,
                  std::function<void()> userPicked) {
    QPointer<QComboBox> view(widget);
    auto show = [&comboBox, view] {
        if (!view) {
            return;
        }
        QSignalBlocker blocker(view.data());
        const auto& items = comboBox.items();
        bool same = view->count() == static_cast<int>(items.size());
        for (int i = 0; same && i < view->count(); ++i) {
            same = view->itemText(i) == toQString(items[i]);
        }
        if (!same) {
            view->clear();
            for (const std::string& item : items) {
                view->addItem(toQString(item));
            }
        }
        view->setCurrentIndex(comboBox.listIndex());
        view->setEnabled(comboBox.isEnabled());
    };
    comboBox.setChangeHandler(show);
    show();
    // activated is raised only when the user picks an item, even the one already shown.
    QObject::connect(widget, &QComboBox::activated, widget,
                     [&comboBox, userPicked = std::move(userPicked)](int index) {
                         comboBox.setListIndex(index);
                         if (userPicked) {
                             userPicked();
                         }
                     });
}

void bindTextBox(controls::TextBox& textBox, QLineEdit* widget, std::function<void()> lostFocus) {
    QPointer<QLineEdit> view(widget);
    auto show = [&textBox, view] {
        if (!view) {
            return;
        }
        const QString text = toQString(textBox.text());
        if (view->text() != text) {
            view->setText(text);
        }
        view->setEnabled(textBox.isEnabled());
    };
    textBox.setChangeHandler(show);
    show();
    QObject::connect(widget, &QLineEdit::textEdited, widget,
                     [&textBox](const QString& text) { textBox.setText(toStdString(text)); });
    widget->installEventFilter(new FocusOutWatcher(widget, std::move(lostFocus)));
}

void bindOptionGroup(const std::vector<OptionBinding>& group) {
    // Shared by the group's handlers: true while a widget is being set from the model.
    auto showing = std::make_shared<bool>(false);
    for (const OptionBinding& option : group) {
        QPointer<QRadioButton> view(option.widget);
        controls::OptionButton* model = option.model;
        auto show = [model, view, showing] {
            if (!view) {
                return;
            }
            *showing = true;
            // An exclusive radio button cannot be cleared directly; the model may clear one.
            view->setAutoExclusive(false);
            view->setChecked(model->value());
            view->setAutoExclusive(true);
            view->setText(toQString(model->caption()));
            view->setEnabled(model->isEnabled());
            *showing = false;
        };
        model->setChangeHandler(show);
        show();
    }
    for (const OptionBinding& option : group) {
        QObject::connect(option.widget, &QRadioButton::toggled, option.widget,
                         [group, option, showing](bool checked) {
                             if (*showing || !checked) {
                                 return;
                             }
                             for (const OptionBinding& other : group) {
                                 if (other.model != option.model) {
                                     other.model->setValue(false);
                                 }
                             }
                             option.model->setValue(true);
                             if (option.userSelected) {
                                 option.userSelected();
                             }
                         });
    }
}

}  // namespace plyfold::gui
