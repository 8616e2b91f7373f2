#include "dialogs/common_dialogs.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <limits>
#include <string_view>

#include "engine/common/file_access.h"

namespace plyfold::dialogs {
namespace {

constexpr const char* kOpenFilterDescription = "Excel File(*.xls;*.xlsx;*.xlsm;*.dbf;*.csv;*.txt)";
constexpr const char* kOpenFilterPatterns = "*.xl*;*.csv;*.txt;*.dbf";
constexpr size_t kLongestOpenFileName = 260;

std::string upToNul(const std::string& text) {
    return text.substr(0, text.find('\0'));
}

// The folder part of a full file name: everything before its last "/", or "/" for a file at
// the root, so the result always names the folder that holds the file.
std::string folderOf(const std::string& fileName) {
    size_t slash = fileName.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? std::string("/") : fileName.substr(0, slash);
}

std::string nameOf(const std::string& fileName) {
    size_t slash = fileName.rfind('/');
    return slash == std::string::npos ? fileName : fileName.substr(slash + 1);
}

bool isBlank(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

// True for a folder that exists and can be listed, empty or not.
bool isListableFolder(const std::string& folder) {
    try {
        files::listFolder(folder);
        return true;
    } catch (const files::FileError&) {
        return false;
    }
}

// "Description|patterns|Description|patterns" as pairs; a description left without its
// patterns at the end is dropped, as the system dialog ignores it.
std::vector<std::pair<std::string, std::string>> splitFilter(const std::string& filter) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (true) {
        size_t bar = filter.find('|', start);
        pieces.push_back(filter.substr(start, bar - start));
        if (bar == std::string::npos) {
            break;
        }
        start = bar + 1;
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t i = 0; i + 1 < pieces.size(); i += 2) {
        pairs.emplace_back(pieces[i], pieces[i + 1]);
    }
    return pairs;
}

std::string executableFolder() {
    std::string buffer(PATH_MAX, '\0');
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0) {
        return {};
    }
    buffer.resize(static_cast<size_t>(length));
    return folderOf(buffer);
}

}  // namespace

CCommonDialogs::CCommonDialogs() : m_programFolder(executableFolder()) {}

CCommonDialogs::CCommonDialogs(std::string programFolder)
    : m_programFolder(std::move(programFolder)) {}

std::string CCommonDialogs::Title() const {
    return upToNul(m_title);
}
std::string CCommonDialogs::Path() const {
    return upToNul(m_path);
}
std::string CCommonDialogs::FileTitle() const {
    return upToNul(m_fileTitle);
}
std::string CCommonDialogs::FileName() const {
    return upToNul(m_fileName);
}

void CCommonDialogs::Init(void* owner, DialogPresenter* presenter) {
    m_owner = owner;
    m_presenter = presenter;
}

DialogPresenter& CCommonDialogs::presenter() const {
    if (!m_presenter) {
        throw DialogError("The dialog has no owner: Init was not called with a presenter.");
    }
    return *m_presenter;
}

bool CCommonDialogs::ShowOpen() {
    return showOpen({{kOpenFilterDescription, kOpenFilterPatterns}}, 0);
}

bool CCommonDialogs::ShowOpenFiltered() {
    return showOpen(splitFilter(isBlank(m_filter) ? std::string("*.*|*.*") : m_filter), 1);
}

bool CCommonDialogs::showOpen(std::vector<std::pair<std::string, std::string>> filters,
                              int filterIndex) {
    DialogPresenter& dialogs = presenter();
    const std::string initialName = FileName();
    if (initialName.size() > kLongestOpenFileName) {
        throw DialogError("The file name is longer than 260 characters.");
    }
    FileDialogRequest request;
    request.owner = m_owner;
    request.title = Title();
    request.filters = std::move(filters);
    request.filterIndex = filterIndex;
    request.initialFileName = initialName;
    request.defaultExtension = m_defExt;
    request.fileMustExist = true;
    std::vector<std::string> chosen;
    if (m_multiSelect) {
        std::optional<std::vector<std::string>> files = dialogs.openFiles(request);
        if (files) {
            chosen = std::move(*files);
        }
    } else if (std::optional<std::string> file = dialogs.openFile(request)) {
        chosen.push_back(std::move(*file));
    }
    for (std::string& name : chosen) {
        name = upToNul(name);
    }
    // A name the presenter left empty names no file.
    std::erase(chosen, std::string());
    if (chosen.empty()) {
        return false;
    }
    m_fileNames = std::move(chosen);
    m_fileName = m_fileNames.front();
    m_fileTitle = nameOf(m_fileName);
    m_path = folderOf(m_fileName);
    return true;
}

bool CCommonDialogs::ShowSave() {
    DialogPresenter& dialogs = presenter();
    if (isBlank(m_path)) {
        m_path = m_programFolder;
    } else {
        if (m_path.back() != '/') {
            m_path += '/';
        }
        if (!isListableFolder(m_path)) {
            m_path = m_programFolder;
        }
    }
    FileDialogRequest request;
    request.owner = m_owner;
    request.title = "Save";
    request.filters = splitFilter(isBlank(m_filter) ? std::string("*.*|*.*") : m_filter);
    request.filterIndex = 1;
    request.initialFolder = m_path;
    std::optional<std::string> chosen = dialogs.saveFile(request);
    if (!chosen) {
        return false;
    }
    m_fileName = upToNul(*chosen);
    m_fileTitle = nameOf(m_fileName);
    m_path = folderOf(m_fileName);
    m_fileNames = {m_fileName};
    return true;
}

bool CCommonDialogs::ShowFolder() {
    std::optional<std::string> chosen = presenter().chooseFolder(m_owner, Title());
    if (!chosen) {
        return false;
    }
    std::string folder = upToNul(*chosen);
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    m_path = std::move(folder);
    m_fileName.clear();
    m_fileTitle.clear();
    m_fileNames.clear();
    return true;
}

bool CCommonDialogs::ShowColor(bool fullOpen) {
    std::optional<uint32_t> chosen = presenter().chooseColor(m_owner, m_color, fullOpen);
    if (!chosen) {
        return false;
    }
    m_color = *chosen;
    return true;
}

bool CCommonDialogs::ShowFont() {
    DialogPresenter& dialogs = presenter();
    FontChoice initial;
    initial.name = m_fontName;
    initial.size = m_fontSize;
    initial.bold = m_fontBold;
    initial.italic = m_fontItalic;
    initial.underline = m_fontUnderline;
    initial.color = m_color;
    std::optional<FontChoice> chosen;
    try {
        chosen = dialogs.chooseFont(m_owner, initial);
    } catch (...) {
        return false;
    }
    if (!chosen) {
        return false;
    }
    m_fontName = upToNul(chosen->name);
    m_fontBold = chosen->bold;
    m_fontItalic = chosen->italic;
    m_fontSize =
        static_cast<int16_t>(std::clamp<int>(chosen->size, 0, std::numeric_limits<int16_t>::max()));
    return true;
}

bool CCommonDialogs::ShowPrinter() {
    return presenter().choosePrinter(m_owner);
}

bool CCommonDialogs::ShowPrinterProperties() {
    DialogPresenter& dialogs = presenter();
    try {
        return dialogs.showPrinterProperties(m_owner);
    } catch (...) {
        return false;
    }
}

}  // namespace plyfold::dialogs
