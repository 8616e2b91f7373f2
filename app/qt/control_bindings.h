#pragma once

#include <functional>
#include <vector>

#include "controls/controls.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QRadioButton;

namespace plyfold::gui {

// Each binding shows the control's state on its widget whenever the model changes it, and
// writes the user's edits back into the model. Changes made by code raise no user event; the
// callbacks are the user events the window forwards to its handlers.

void bindLabel(controls::Label& label, QLabel* widget);
void bindCheckBox(controls::CheckBox& checkBox, QCheckBox* widget);
void bindProgressBar(controls::ProgressBar& progressBar, QProgressBar* widget);

// userPicked runs after the model holds the index the user picked.
void bindComboBox(controls::ComboBox& comboBox, QComboBox* widget,
                  std::function<void()> userPicked);

// lostFocus runs when the box loses the keyboard focus to another control of the program.
void bindTextBox(controls::TextBox& textBox, QLineEdit* widget, std::function<void()> lostFocus);

struct OptionBinding {
    controls::OptionButton* model;
    QRadioButton* widget;
    std::function<void()> userSelected;  // runs once the model shows the new choice
};

// Option buttons of one group: selecting one clears the others.
void bindOptionGroup(const std::vector<OptionBinding>& group);

}  // namespace plyfold::gui
