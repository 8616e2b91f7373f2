#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plyfold::dialogs {

// What a file dialog is asked to show.
struct FileDialogRequest {
    void* owner = nullptr;
    std::string title;
    // Pairs of description and patterns ("Excel File(...)", "*.xl*;*.csv").
    std::vector<std::pair<std::string, std::string>> filters;
    int filterIndex = 0;  // 1-based; 0 means the first
    std::string initialFolder;
    std::string initialFileName;
    std::string defaultExtension;
    bool fileMustExist = false;
};

struct FontChoice {
    std::string name;
    int size = 0;  // points
    bool bold = false;
    bool italic = false;
    bool underline = false;
    uint32_t color = 0;  // 0x00BBGGRR, as the colour values of the dialogs are
};

// Shows the system's dialogs. The program's one is Qt's; tests script the user's answers.
// Every method returns nothing when the user cancels.
class DialogPresenter {
public:
    virtual ~DialogPresenter() = default;
    virtual std::optional<std::string> openFile(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> saveFile(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> chooseFolder(void* owner, const std::string& title) = 0;
    virtual std::optional<uint32_t> chooseColor(void* owner, uint32_t initial, bool fullOpen) = 0;
    virtual std::optional<FontChoice> chooseFont(void* owner, const FontChoice& initial) = 0;
    virtual bool choosePrinter(void* owner) = 0;
    virtual bool showPrinterProperties(void* owner) = 0;
};

}  // namespace plyfold::dialogs
