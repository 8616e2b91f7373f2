#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
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
    int size = 0;  // whole points; a presenter drops any fraction
    bool bold = false;
    bool italic = false;
    bool underline = false;
    uint32_t color = 0;  // 0x00BBGGRR, as the colour values of the dialogs are
};

// Shows the system's dialogs. The program's one is Qt's; tests script the user's answers.
// Every method returns nothing (or false) when the user cancels.
class DialogPresenter {
public:
    virtual ~DialogPresenter() = default;
    // The full path of the chosen file.
    virtual std::optional<std::string> openFile(const FileDialogRequest& request) = 0;
    // The full paths of one or more chosen files, in the order the user chose them. A
    // presenter that lets the user pick only one file asks for it with openFile.
    virtual std::optional<std::vector<std::string>> openFiles(const FileDialogRequest& request) {
        std::optional<std::string> chosen = openFile(request);
        if (!chosen) {
            return std::nullopt;
        }
        return std::vector<std::string>{std::move(*chosen)};
    }
    virtual std::optional<std::string> saveFile(const FileDialogRequest& request) = 0;
    // The full path of the chosen folder; "" when the choice has no file-system path.
    virtual std::optional<std::string> chooseFolder(void* owner, const std::string& title) = 0;
    virtual std::optional<uint32_t> chooseColor(void* owner, uint32_t initial, bool fullOpen) = 0;
    virtual std::optional<FontChoice> chooseFont(void* owner, const FontChoice& initial) = 0;
    virtual bool choosePrinter(void* owner) = 0;
    virtual bool showPrinterProperties(void* owner) = 0;
};

// A dialog could not be shown: the object was not bound to a presenter, or its input was
// out of bounds.
class DialogError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The common dialogs behind one set of properties: set what a dialog needs, call its show
// method (true when the user confirmed), read the results. Create one object per use and
// bind it with Init. Texts start empty, numbers at 0, flags false. A cancelled dialog sets
// no result property.
class CCommonDialogs {
public:
    // The program folder, where the save dialog starts when it has no usable folder, is the
    // folder of the running executable unless one is given.
    CCommonDialogs();
    explicit CCommonDialogs(std::string programFolder);

    bool FontUnderline() const { return m_fontUnderline; }
    void setFontUnderline(bool value) { m_fontUnderline = value; }
    bool FontItalic() const { return m_fontItalic; }
    void setFontItalic(bool value) { m_fontItalic = value; }
    bool FontBold() const { return m_fontBold; }
    void setFontBold(bool value) { m_fontBold = value; }
    int16_t FontSize() const { return m_fontSize; }
    void setFontSize(int16_t points) { m_fontSize = points; }
    const std::string& FontName() const { return m_fontName; }
    void setFontName(std::string name) { m_fontName = std::move(name); }
    uint32_t Color() const { return m_color; }
    void setColor(uint32_t color) { m_color = color; }
    const std::string& DefExt() const { return m_defExt; }
    void setDefExt(std::string extension) { m_defExt = std::move(extension); }
    // The texts below read back up to their first NUL character.
    std::string Title() const;
    void setTitle(std::string title) { m_title = std::move(title); }
    std::string Path() const;
    void setPath(std::string path) { m_path = std::move(path); }
    std::string FileTitle() const;
    void setFileTitle(std::string fileTitle) { m_fileTitle = std::move(fileTitle); }
    // Descriptions and patterns, alternating, separated by "|". Read back as stored.
    const std::string& Filter() const { return m_filter; }
    void setFilter(std::string filter) { m_filter = std::move(filter); }
    std::string FileName() const;
    void setFileName(std::string fileName) { m_fileName = std::move(fileName); }
    // Whether the open dialogs let the user choose several files at once.
    bool MultiSelect() const { return m_multiSelect; }
    void setMultiSelect(bool multiSelect) { m_multiSelect = multiSelect; }
    // Every file the last confirmed open or save dialog chose, in the order chosen (one
    // without MultiSelect); FileName, FileTitle and Path describe the first. Empty after
    // ShowFolder.
    const std::vector<std::string>& FileNames() const { return m_fileNames; }

    // Binds the object to its owner window and to what presents the dialogs. A show method
    // called before, or with no presenter, throws DialogError.
    void Init(void* owner, DialogPresenter* presenter);

    // Asks for an existing spreadsheet file (or files, with MultiSelect) under the one fixed
    // spreadsheet filter. On confirm sets FileNames, and FileName (full path), FileTitle (its
    // name) and Path (its folder, "/" for a file at the root) of the first. A confirmed choice
    // of no file counts as a cancel. A FileName longer than 260 characters throws DialogError.
    bool ShowOpen();
    // The same under Filter ("*.*|*.*" when blank) instead of the spreadsheet filter, for the
    // program's own files.
    bool ShowOpenFiltered();
    // Asks for a file to save to, starting in Path (the program folder when Path is blank or
    // names no folder that can be listed; Path is left holding the folder used) under Filter
    // ("*.*|*.*" when blank). On confirm sets FileName, FileTitle and Path.
    bool ShowSave();
    // Asks for a folder, with Title as the instruction. On confirm sets Path (no trailing "/"
    // except the root) and empties FileName and FileTitle.
    bool ShowFolder();
    // Asks for a colour starting from Color; on confirm sets Color.
    bool ShowColor(bool fullOpen);
    // Asks for a font starting from the font properties and Color; on confirm sets FontName,
    // FontBold, FontItalic and FontSize (FontUnderline and Color are not read back). A failure
    // of the presenter counts as a cancel.
    bool ShowFont();
    bool ShowPrinter();
    // A failure of the presenter counts as a cancel.
    bool ShowPrinterProperties();

private:
    DialogPresenter& presenter() const;
    bool showOpen(std::vector<std::pair<std::string, std::string>> filters, int filterIndex);

    std::string m_programFolder;
    void* m_owner = nullptr;
    DialogPresenter* m_presenter = nullptr;

    bool m_fontUnderline = false;
    bool m_fontItalic = false;
    bool m_fontBold = false;
    int16_t m_fontSize = 0;
    std::string m_fontName;
    uint32_t m_color = 0;
    std::string m_defExt;
    std::string m_title;
    std::string m_path;
    std::string m_fileTitle;
    std::string m_filter;
    std::string m_fileName;
    bool m_multiSelect = false;
    std::vector<std::string> m_fileNames;
};

}  // namespace plyfold::dialogs
