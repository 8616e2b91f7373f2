#pragma once

#include <string>

#include "controls/controls.h"
#include "controls/services.h"
#include "engine/common/text_dialect.h"

namespace plyfold::app {

// The Settings dialog's logic: a check box that shows whether the list is saved at exit (checked
// unless the settings file's first line is "0", so OK without a change keeps the saving as it
// was), and below it how .csv
// and .txt sources are read (field separator, decimal separator, date order; each Automatic
// unless chosen). Every opening starts from the settings file; OK writes it, Cancel and the
// close box write nothing.
class Dialog2 {
public:
    // folder holds the settings file; messages shows why OK could not write it, when it has a
    // reason to say.
    explicit Dialog2(std::string folder, controls::MessageBoxService* messages = nullptr);

    controls::CheckBox Check1;
    controls::Label DelimiterLabel;
    controls::ComboBox DelimiterCombo;  // Automatic, Comma, Semicolon, Tab, Pipe
    controls::Label DecimalLabel;
    controls::ComboBox DecimalCombo;  // Automatic, Point, Comma
    controls::Label DateOrderLabel;
    controls::ComboBox DateOrderCombo;  // Automatic, Day-month-year, Month-day-year, Year-month-day
    controls::Control OKButton;
    controls::Control CancelButton;

    void Form_Load();
    void OKButton_Click();
    void CancelButton_Click();

    // The dialect the three lists show.
    engine::TextDialect textDialect() const;
    void setTextDialect(const engine::TextDialect& dialect);

    // Set by OK and Cancel: the view closes the dialog.
    bool isCloseRequested() const { return m_closeRequested; }

private:
    std::string m_folder;
    controls::MessageBoxService* m_messages;
    bool m_closeRequested = false;
};

}  // namespace plyfold::app
