#include "controls/controls.h"

#include <algorithm>
#include <stdexcept>

namespace plyfold::controls {

void Control::setCaption(std::string caption) {
    m_caption = std::move(caption);
    notifyChanged();
}

void Control::setEnabled(bool enabled) {
    m_enabled = enabled;
    notifyChanged();
}

void Control::notifyChanged() const {
    if (m_changed) {
        m_changed();
    }
}

void CheckBox::setValue(int value) {
    m_value = value ? 1 : 0;
    notifyChanged();
}

void OptionButton::setValue(bool value) {
    m_value = value;
    notifyChanged();
}

void ComboBox::addItem(std::string text) {
    m_items.push_back(std::move(text));
    notifyChanged();
}

void ComboBox::setListIndex(int index) {
    if (index < -1 || index >= static_cast<int>(m_items.size())) {
        throw std::out_of_range("combo box index out of range");
    }
    m_listIndex = index;
    notifyChanged();
}

void TextBox::setText(std::string text) {
    m_text = std::move(text);
    notifyChanged();
}

void ProgressBar::setMaximum(int maximum) {
    m_maximum = std::max(maximum, m_minimum);
    m_value = std::min(m_value, m_maximum);
    notifyChanged();
}

void ProgressBar::setValue(int value) {
    m_value = std::clamp(value, m_minimum, m_maximum);
    notifyChanged();
}

}  // namespace plyfold::controls
