#include <string>

#include "app/form1.h"

namespace plyfold::app {

// The folder scan's options in the window: subfolders, and the results it leaves out.

void Form1::IncludeSubfolders_Click() {
    controls::Form1Controls& c = m_controls;
    c.includeSubfolders = !c.includeSubfolders;
    // The shown source is listed again under the new setting.
    ListView1_ItemClick();
}

void Form1::tellLeftOutWorkbooks() const {
    const controls::Form1Controls& c = m_controls;
    if (c.leftOutWorkbooks.empty()) {
        return;
    }
    std::string text = c.leftOutWorkbooks.size() == 1
                           ? std::string("1 workbook was left out: a result Plyfold wrote.")
                           : std::to_string(c.leftOutWorkbooks.size()) +
                                 " workbooks were left out: results Plyfold wrote.";
    // A long list would not fit a message box; the first ones tell what happened.
    constexpr size_t kShownNames = 10;
    for (size_t i = 0; i < c.leftOutWorkbooks.size() && i < kShownNames; ++i) {
        text += "\n" + c.leftOutWorkbooks[i];
    }
    if (c.leftOutWorkbooks.size() > kShownNames) {
        text += "\n...";
    }
    text += "\nAdd one as a file to merge it.";
    c.showMessage(text, controls::MessageIcon::Information);
}

}  // namespace plyfold::app
