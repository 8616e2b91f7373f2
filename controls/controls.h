#pragma once

#include <functional>
#include <string>
#include <vector>

namespace plyfold::controls {

// The state every window control shares: a caption and an enabled flag. The view installs
// a change handler to show each change; the model never raises user events itself.
class Control {
public:
    const std::string& caption() const { return m_caption; }
    void setCaption(std::string caption);
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    void setChangeHandler(std::function<void()> handler) { m_changed = std::move(handler); }

protected:
    void notifyChanged() const;

private:
    std::string m_caption;
    bool m_enabled = true;
    std::function<void()> m_changed;
};

class CheckBox : public Control {
public:
    // 0 unchecked, 1 checked.
    int value() const { return m_value; }
    void setValue(int value);

private:
    int m_value = 0;
};

class OptionButton : public Control {
public:
    bool value() const { return m_value; }
    void setValue(bool value);

private:
    bool m_value = false;
};

class ComboBox : public Control {
public:
    void addItem(std::string text);
    const std::vector<std::string>& items() const { return m_items; }
    // 0-based, -1 when nothing is selected.
    int listIndex() const { return m_listIndex; }
    void setListIndex(int index);

private:
    std::vector<std::string> m_items;
    int m_listIndex = -1;
};

class TextBox : public Control {
public:
    const std::string& text() const { return m_text; }
    void setText(std::string text);

private:
    std::string m_text;
};

class Label : public Control {};

class ProgressBar : public Control {
public:
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    int value() const { return m_value; }
    // A maximum below the minimum is kept at the minimum, as the control does.
    void setMaximum(int maximum);
    // Values outside minimum..maximum are clamped.
    void setValue(int value);

private:
    int m_minimum = 0;
    int m_maximum = 100;
    int m_value = 0;
};

}  // namespace plyfold::controls
