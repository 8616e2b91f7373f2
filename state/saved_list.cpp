#include "state/saved_list.h"

#include <array>
#include <optional>
#include <string_view>
#include <vector>

#include "controls/list_model.h"
#include "engine/common/atomic_file.h"
#include "engine/common/file_access.h"
#include "engine/common/text.h"
#include "state/text_file.h"

namespace plyfold::state {
namespace {

// The file's lines as far as kMostStateFileBytes, or nothing when it is missing, cannot be read
// or is no regular file: both files are optional, and one that cannot be read counts as absent.
std::optional<std::string> readIfReadable(const std::string& path) {
    // Checked before opening: opening a pipe or a device can have effects of its own.
    if (!files::isFile(path)) {
        return std::nullopt;
    }
    std::string bytes;
    try {
        bytes = files::readFirstBytes(path, kMostStateFileBytes + 1);
    } catch (const files::FileError&) {
        return std::nullopt;
    }
    if (bytes.size() > kMostStateFileBytes) {
        // A line cut at the bound is no entry: keep the lines that end within it.
        const size_t lastEnd = bytes.rfind('\r', kMostStateFileBytes - 1);
        bytes.resize(lastEnd == std::string::npos ? 0 : lastEnd + 1);
    }
    return bytes;
}

// Replaces the file, or throws StateFileRefused when its name is taken by anything but a file
// or a link: the user put that there, and it is not ours to replace.
void replaceStateFile(const std::string& path, std::string_view bytes) {
    const std::optional<files::EntryKind> kind = files::entryKind(path);
    if (kind && kind != files::EntryKind::File && kind != files::EntryKind::Link) {
        throw StateFileRefused(path);
    }
    files::replaceFile(path, bytes);
}

std::vector<std::string> settingsLines(const std::string& folder) {
    auto bytes = readIfReadable(fileInFolder(folder, kSettingsFile));
    return bytes ? splitLines(*bytes) : std::vector<std::string>{};
}

std::optional<std::string> settingsFirstLine(const std::string& folder) {
    auto lines = settingsLines(folder);
    if (lines.empty()) {
        return std::nullopt;
    }
    return lines.front();
}

constexpr std::string_view kDelimiterKey = "delimiter";
constexpr std::string_view kDecimalKey = "decimal";
constexpr std::string_view kDateOrderKey = "date-order";

// A value of the settings file and what it stands for.
template <typename T>
struct Named {
    std::string_view name;
    T value;
};

constexpr std::array<Named<char>, 4> kDelimiters = {
    {{"comma", ','}, {"semicolon", ';'}, {"tab", '\t'}, {"pipe", '|'}}};
constexpr std::array<Named<engine::DecimalSeparator>, 2> kDecimals = {
    {{"point", engine::DecimalSeparator::Point}, {"comma", engine::DecimalSeparator::Comma}}};
constexpr std::array<Named<engine::DateOrder>, 3> kDateOrders = {
    {{"dmy", engine::DateOrder::DayMonthYear},
     {"mdy", engine::DateOrder::MonthDayYear},
     {"ymd", engine::DateOrder::YearMonthDay}}};

// The value of a "key=value" line, when the line has that key.
std::optional<std::string_view> valueOf(std::string_view line, std::string_view key) {
    if (line.size() <= key.size() || !line.starts_with(key) || line[key.size()] != '=') {
        return std::nullopt;
    }
    return line.substr(key.size() + 1);
}

bool isSettingLine(std::string_view line) {
    for (std::string_view key : {kDelimiterKey, kDecimalKey, kDateOrderKey}) {
        if (valueOf(line, key)) {
            return true;
        }
    }
    return false;
}

std::string lowerTrimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return engine::asciiLower(text);
}

template <typename T, size_t N>
std::optional<T> namedValue(std::string_view text, const std::array<Named<T>, N>& names) {
    const std::string wanted = lowerTrimmed(text);
    for (const Named<T>& named : names) {
        if (named.name == wanted) {
            return named.value;
        }
    }
    return std::nullopt;
}

template <typename T, size_t N>
std::string_view nameOf(T value, const std::array<Named<T>, N>& names) {
    for (const Named<T>& named : names) {
        if (named.value == value) {
            return named.name;
        }
    }
    return "automatic";
}

char delimiterOf(std::string_view text) {
    if (text.size() == 1) {
        for (const Named<char>& named : kDelimiters) {
            if (named.value == text[0]) {
                return named.value;
            }
        }
    }
    return namedValue(text, kDelimiters).value_or(0);
}

void replaceSettingsFile(const std::string& folder, const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    replaceStateFile(fileInFolder(folder, kSettingsFile), bytes);
}

std::string flagLine(int checkValue) {
    return checkValue == 1 ? "1" : "0";
}

}  // namespace

StateFileRefused::StateFileRefused(const std::string& path)
    : files::FileError(ErrorNumber::FileAccess,
                       "'" + path + "' is not a regular file, so it was left as it is.", path, 0) {}

void restoreSourceList(const std::string& folder, controls::ListModel& sourceList,
                       const IconOfPath& iconOf) {
    auto bytes = readIfReadable(fileInFolder(folder, kSavedListFile));
    if (!bytes) {
        return;
    }
    for (std::string& line : splitLines(*bytes)) {
        int icon = iconOf(line);
        int row = sourceList.add(std::move(line));
        sourceList.setSmallIcon(row, icon);
    }
    sourceList.refresh();
}

void saveSourceList(const std::string& folder, const controls::ListModel& sourceList) {
    if (settingsFirstLine(folder) == "0") {
        return;
    }
    std::string bytes;
    for (int row = 1; row <= sourceList.count(); ++row) {
        bytes += sourceList.text(row);
        bytes += "\r\n";
    }
    replaceStateFile(fileInFolder(folder, kSavedListFile), bytes);
}

int readAutoSaveFlag(const std::string& folder) {
    // The same test as the save's, so the box shows what the next exit will do.
    return settingsFirstLine(folder) == "0" ? 0 : 1;
}

void writeAutoSaveFlag(const std::string& folder, int checkValue) {
    std::vector<std::string> lines = settingsLines(folder);
    if (lines.empty()) {
        lines.push_back(flagLine(checkValue));
    } else {
        lines.front() = flagLine(checkValue);
    }
    replaceSettingsFile(folder, lines);
}

engine::TextDialect readTextDialect(const std::string& folder) {
    engine::TextDialect dialect;
    const std::vector<std::string> lines = settingsLines(folder);
    // The first line is the flag, whatever it holds.
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (auto value = valueOf(line, kDelimiterKey)) {
            dialect.delimiter = delimiterOf(*value);
        } else if (auto decimal = valueOf(line, kDecimalKey)) {
            dialect.decimal =
                namedValue(*decimal, kDecimals).value_or(engine::DecimalSeparator::Automatic);
        } else if (auto order = valueOf(line, kDateOrderKey)) {
            dialect.dateOrder =
                namedValue(*order, kDateOrders).value_or(engine::DateOrder::Automatic);
        }
    }
    return dialect;
}

void writeSettings(const std::string& folder, int checkValue, const engine::TextDialect& dialect) {
    std::vector<std::string> lines = {
        flagLine(checkValue),
        std::string(kDelimiterKey) + "=" + std::string(nameOf(dialect.delimiter, kDelimiters)),
        std::string(kDecimalKey) + "=" + std::string(nameOf(dialect.decimal, kDecimals)),
        std::string(kDateOrderKey) + "=" + std::string(nameOf(dialect.dateOrder, kDateOrders)),
    };
    const std::vector<std::string> old = settingsLines(folder);
    for (size_t i = 1; i < old.size(); ++i) {
        if (!isSettingLine(old[i])) {
            lines.push_back(old[i]);
        }
    }
    replaceSettingsFile(folder, lines);
}

}  // namespace plyfold::state
