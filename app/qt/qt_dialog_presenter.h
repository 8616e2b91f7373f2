#pragma once

#include <QStringList>

#include "dialogs/common_dialogs.h"

namespace plyfold::gui {

// The common dialogs shown with Qt: file dialogs for open, save and folder, the colour and font
// dialogs, the print dialog and the page set-up dialog for the printer's properties. Each is
// modal to its owner (a QWidget* passed as the owner handle, or none).
class QtDialogPresenter : public dialogs::DialogPresenter {
public:
    std::optional<std::string> openFile(const dialogs::FileDialogRequest& request) override;
    // Existing files only, several at once.
    std::optional<std::vector<std::string>> openFiles(
        const dialogs::FileDialogRequest& request) override;
    std::optional<std::string> saveFile(const dialogs::FileDialogRequest& request) override;
    std::optional<std::string> chooseFolder(void* owner, const std::string& title) override;
    std::optional<uint32_t> chooseColor(void* owner, uint32_t initial, bool fullOpen) override;
    std::optional<dialogs::FontChoice> chooseFont(void* owner,
                                                  const dialogs::FontChoice& initial) override;
    bool choosePrinter(void* owner) override;
    bool showPrinterProperties(void* owner) override;

    // Qt name filters for the request's pairs: "Description (*.a *.b)" for "*.a;*.b".
    static QStringList nameFilters(const dialogs::FileDialogRequest& request);
};

}  // namespace plyfold::gui
