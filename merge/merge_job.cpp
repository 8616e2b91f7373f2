#include "merge/merge_job.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <functional>
#include <map>
#include <system_error>
#include <utility>

#include "engine/common/atomic_file.h"
#include "engine/common/file_access.h"
#include "engine/common/text.h"
#include "engine/model/limits.h"
#include "merge/merge_report.h"

namespace plyfold::merge {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHeader =
    "# Plyfold merge job: settings as \"name = value\", then one line per queue row:\n"
    "# queue<TAB>yes or no (its check mark)<TAB>path<TAB>sheet\n";
constexpr std::string_view kRowKeyword = "queue";
constexpr std::string_view kRowForm =
    "a queue row is \"queue\", yes or no, the file's path and the sheet's name, separated by "
    "TABs";

std::string_view trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool hasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// The job file's folder as the writer compares paths with it: absolute, without "." or "..".
fs::path absoluteFolder(const std::string& folder) {
    std::error_code error;
    fs::path path = fs::absolute(folder.empty() ? fs::path(".") : fs::path(folder), error);
    if (error) {
        path = fs::path(folder);
    }
    path = path.lexically_normal();
    if (!path.has_filename() && path.has_relative_path()) {
        path = path.parent_path();  // "/a/b/" names the folder "/a/b"
    }
    return path;
}

// What the settings are written and read against: the job file's folder.
struct JobFolder {
    fs::path forWriting;  // absolute
    fs::path forReading;  // as the job's path gives it; empty for the current folder
};

// A path as the job file holds it: relative when it lies inside the job's folder (and does
// not begin with a blank, which a setting's value would lose), in full otherwise.
std::string pathForJob(const std::string& path, const JobFolder& folder) {
    std::error_code error;
    fs::path full = fs::absolute(fs::path(path), error);
    if (error) {
        return path;
    }
    full = full.lexically_normal();
    const fs::path relative = full.lexically_relative(folder.forWriting);
    if (relative.empty() || relative == "." || *relative.begin() == "..") {
        return full.generic_string();
    }
    std::string text = relative.generic_string();
    return text.front() == ' ' ? full.generic_string() : text;
}

std::string pathFromJob(std::string_view text, const JobFolder& folder) {
    const fs::path path{std::string(text)};
    if (path.is_absolute() || folder.forReading.empty()) {
        return std::string(text);
    }
    return (folder.forReading / path).lexically_normal().generic_string();
}

// One setting of the job file: how its value is read into a job (an error text when the
// value is not one the setting takes) and written from one (nothing leaves it out).
struct Setting {
    std::string_view name;
    std::function<std::optional<std::string>(MergeJob&, std::string_view, const JobFolder&)> read;
    std::function<std::optional<std::string>(const MergeJob&, const JobFolder&)> write;
};

template <typename T>
using Keywords = std::vector<std::pair<std::string_view, T>>;

// A setting that takes one of a few words. field(job) gives the job's field.
template <typename T, typename Field>
Setting oneOf(std::string_view name, Field field, Keywords<T> words) {
    auto read = [name, field, words](MergeJob& job, std::string_view value,
                                     const JobFolder&) -> std::optional<std::string> {
        const std::string lower = engine::asciiLower(value);
        for (const auto& [word, setting] : words) {
            if (lower == word) {
                field(job) = setting;
                return std::nullopt;
            }
        }
        std::string choices;
        for (size_t i = 0; i < words.size(); ++i) {
            choices += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ");
            choices += words[i].first;
        }
        return std::string(name) + " must be " + choices + ", not '" + std::string(value) + "'";
    };
    auto write = [field, words](const MergeJob& job,
                                const JobFolder&) -> std::optional<std::string> {
        for (const auto& [word, setting] : words) {
            if (field(job) == setting) {
                return std::string(word);
            }
        }
        return std::nullopt;
    };
    return Setting{name, read, write};
}

template <typename Field>
Setting yesNo(std::string_view name, Field field) {
    return oneOf<bool>(name, field, {{"yes", true}, {"no", false}});
}

template <typename Field>
Setting freeText(std::string_view name, Field field) {
    auto read = [field](MergeJob& job, std::string_view value,
                        const JobFolder&) -> std::optional<std::string> {
        field(job) = std::string(value);
        return std::nullopt;
    };
    auto write = [name, field](const MergeJob& job,
                               const JobFolder&) -> std::optional<std::string> {
        if (hasLineBreak(field(job))) {
            throw JobError("the " + std::string(name) + " holds a line break");
        }
        return std::string(trimmed(field(job)));
    };
    return Setting{name, read, write};
}

// A path setting; left out when empty.
template <typename Field>
Setting filePath(std::string_view name, Field field) {
    auto read = [name, field](MergeJob& job, std::string_view value,
                              const JobFolder& folder) -> std::optional<std::string> {
        if (value.empty()) {
            return std::string(name) + " needs a path";
        }
        field(job) = pathFromJob(value, folder);
        return std::nullopt;
    };
    auto write = [name, field](const MergeJob& job,
                               const JobFolder& folder) -> std::optional<std::string> {
        const std::string& value = field(job);
        if (value.empty()) {
            return std::nullopt;
        }
        const std::string written = pathForJob(value, folder);
        if (hasLineBreak(written) || written != trimmed(written)) {
            throw JobError("the " + std::string(name) + " path '" + value +
                           "' holds a line break or ends in a blank");
        }
        return written;
    };
    return Setting{name, read, write};
}

// The header row: a row number of a sheet.
template <typename Field>
Setting rowNumber(std::string_view name, Field field) {
    auto read = [name, field](MergeJob& job, std::string_view value,
                              const JobFolder&) -> std::optional<std::string> {
        if (const std::optional<int32_t> row = headerRowNumber(value)) {
            field(job) = *row;
            return std::nullopt;
        }
        return std::string(name) + " must be a row number from 1 to " +
               std::to_string(engine::kMaxRows) + ", not '" + std::string(value) + "'";
    };
    auto write = [field](const MergeJob& job, const JobFolder&) -> std::optional<std::string> {
        return std::to_string(field(job));
    };
    return Setting{name, read, write};
}

// A character that may stand for itself as a delimiter: printable, and not the quote.
bool isPlainDelimiter(char c) {
    return c > ' ' && c < 0x7F && c != '"';
}

template <typename Field>
Setting delimiterSetting(std::string_view name, Field field) {
    static const Keywords<char> words = {{"auto", 0},        {"tab", '\t'},  {"pipe", '|'},
                                         {"semicolon", ';'}, {"comma", ','}, {"space", ' '}};
    auto read = [name, field](MergeJob& job, std::string_view value,
                              const JobFolder&) -> std::optional<std::string> {
        const std::string lower = engine::asciiLower(value);
        for (const auto& [word, c] : words) {
            if (lower == word) {
                field(job) = c;
                return std::nullopt;
            }
        }
        if (value.size() == 1 && isPlainDelimiter(value[0])) {
            field(job) = value[0];
            return std::nullopt;
        }
        return std::string(name) +
               " must be auto, tab, pipe, semicolon, comma, space or one printable character "
               "other than '\"', not '" +
               std::string(value) + "'";
    };
    auto write = [field](const MergeJob& job, const JobFolder&) -> std::optional<std::string> {
        const char c = field(job);
        for (const auto& [word, setting] : words) {
            if (c == setting) {
                return std::string(word);
            }
        }
        if (!isPlainDelimiter(c)) {
            throw JobError("the delimiter (character " +
                           std::to_string(static_cast<unsigned char>(c)) +
                           ") cannot be written in a job");
        }
        return std::string(1, c);
    };
    return Setting{name, read, write};
}

// Every setting of a job file, in the order they are written. A new merge option is one more
// line here (and its field in MergeJob).
const std::vector<Setting>& settings() {
    using engine::DateOrder;
    using engine::DecimalSeparator;
    static const std::vector<Setting> all = {
        oneOf<MergeMode>("mode", [](auto& job) -> auto& { return job.mode; },
                         {{"vertical", MergeMode::Vertical},
                          {"horizontal", MergeMode::Horizontal},
                          {"workbook", MergeMode::Workbook}}),
        freeText(
            "gap", [](auto& job) -> auto& { return job.gap; }),
        yesNo(
            "skip-first", [](auto& job) -> auto& { return job.dropFirstLine; }),
        yesNo(
            "autofit", [](auto& job) -> auto& { return job.autofit; }),
        oneOf<SheetNaming>("sheet-names", [](auto& job) -> auto& { return job.sheetNaming; },
                           {{"source", SheetNaming::Source},
                            {"file", SheetNaming::File},
                            {"file-sheet", SheetNaming::FileAndSheet}}),
        rowNumber(
            "header-row", [](auto& job) -> auto& { return job.headerRow; }),
        yesNo(
            "match-headers", [](auto& job) -> auto& { return job.matchHeaders; }),
        yesNo(
            "source-column", [](auto& job) -> auto& { return job.sourceColumn; }),
        delimiterSetting(
            "delimiter", [](auto& job) -> auto& { return job.textDialect.delimiter; }),
        oneOf<DecimalSeparator>("decimal",
                                [](auto& job) -> auto& { return job.textDialect.decimal; },
                                {{"auto", DecimalSeparator::Automatic},
                                 {"point", DecimalSeparator::Point},
                                 {"comma", DecimalSeparator::Comma}}),
        oneOf<DateOrder>("date-order", [](auto& job) -> auto& { return job.textDialect.dateOrder; },
                         {{"auto", DateOrder::Automatic},
                          {"dmy", DateOrder::DayMonthYear},
                          {"mdy", DateOrder::MonthDayYear},
                          {"ymd", DateOrder::YearMonthDay}}),
        filePath(
            "output", [](auto& job) -> auto& { return job.output; }),
    };
    return all;
}

const Setting* settingNamed(std::string_view name) {
    for (const Setting& setting : settings()) {
        if (setting.name == name) {
            return &setting;
        }
    }
    return nullptr;
}

std::vector<std::string_view> splitAtTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    while (true) {
        const size_t tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos) {
            return fields;
        }
        line.remove_prefix(tab + 1);
    }
}

// A queue row's line (from "queue" on); an error text when it is not one.
std::optional<std::string> readRow(std::string_view line, const JobFolder& folder, MergeJob& job) {
    const std::vector<std::string_view> fields = splitAtTabs(line);
    if (fields.size() != 4 || fields[0] != kRowKeyword) {
        return std::string(kRowForm);
    }
    const std::string mark = engine::asciiLower(trimmed(fields[1]));
    if (mark != "yes" && mark != "no") {
        return "the check mark of a queue row must be yes or no, not '" + std::string(fields[1]) +
               "'";
    }
    if (fields[2].empty()) {
        return std::string("the queue row has no path");
    }
    if (fields[3].empty()) {
        return std::string("the queue row has no sheet name");
    }
    job.rows.push_back(
        QueueRow{pathFromJob(fields[2], folder), std::string(fields[3]), mark == "yes"});
    return std::nullopt;
}

[[noreturn]] void failOnLine(int number, const std::string& what) {
    throw JobError("line " + std::to_string(number) + ": " + what, number);
}

bool isRowLine(std::string_view line) {
    return line.substr(0, kRowKeyword.size()) == kRowKeyword &&
           (line.size() == kRowKeyword.size() || line[kRowKeyword.size()] == '\t' ||
            line[kRowKeyword.size()] == ' ');
}

}  // namespace

std::string writeJobText(const MergeJob& job, const std::string& jobFolder) {
    const JobFolder folder{absoluteFolder(jobFolder), fs::path(jobFolder)};
    std::string out(kHeader);
    for (const Setting& setting : settings()) {
        if (std::optional<std::string> value = setting.write(job, folder)) {
            out += std::string(setting.name) + " = " + *value + "\n";
        }
    }
    out += "\n";
    for (const QueueRow& row : job.rows) {
        if (row.path.empty() || row.sheet.empty()) {
            throw JobError("a queue row without a path or a sheet name cannot be written");
        }
        const std::string path = pathForJob(row.path, folder);
        for (std::string_view field : {std::string_view(path), std::string_view(row.sheet)}) {
            if (field.find_first_of("\t\r\n") != std::string_view::npos) {
                throw JobError("the queue row '" + row.path + "', sheet '" + row.sheet +
                               "' holds a TAB or a line break, which a job cannot hold");
            }
        }
        out += std::string(kRowKeyword) + "\t" + (row.checked ? "yes" : "no") + "\t" + path + "\t" +
               row.sheet + "\n";
    }
    return out;
}

MergeJob readJobText(std::string_view text, const std::string& jobPath) {
    const JobFolder folder{{}, fs::path(jobPath).parent_path()};
    MergeJob job;
    std::map<std::string_view, int> setOnLine;
    std::string_view rest = text;
    for (int number = 1; !rest.empty(); ++number) {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (number == 1 && line.substr(0, 3) == "\xEF\xBB\xBF") {
            line.remove_prefix(3);  // the byte order mark some editors put first
        }
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.find('\0') != std::string_view::npos) {
            failOnLine(number, "the job is not UTF-8 text (it holds NUL bytes)");
        }
        const std::string_view content = trimmed(line);
        if (content.empty() || content.front() == '#') {
            continue;
        }
        // A row's fields are taken as they are: only the blanks before "queue" go.
        line.remove_prefix(line.find_first_not_of(" \t"));
        if (isRowLine(line)) {
            if (auto error = readRow(line, folder, job)) {
                failOnLine(number, *error);
            }
            continue;
        }
        const size_t equals = content.find('=');
        if (equals == std::string_view::npos) {
            failOnLine(number, "'" + std::string(content) +
                                   "' is neither a setting (name = value) nor a queue row");
        }
        const std::string name = engine::asciiLower(trimmed(content.substr(0, equals)));
        const Setting* setting = settingNamed(name);
        if (!setting) {
            failOnLine(number, name.empty() ? std::string("a setting needs a name before '='")
                                            : "unknown setting '" + name + "'");
        }
        if (auto [first, inserted] = setOnLine.emplace(setting->name, number); !inserted) {
            failOnLine(number, name + " is set twice (first on line " +
                                   std::to_string(first->second) + ")");
        }
        if (auto error = setting->read(job, trimmed(content.substr(equals + 1)), folder)) {
            failOnLine(number, *error);
        }
    }
    return job;
}

MergeJob readJobFile(const std::string& jobPath) {
    std::string text;
    try {
        text = files::readFile(jobPath);
    } catch (const files::FileError& error) {
        throw JobError(error.description());
    }
    try {
        return readJobText(text, jobPath);
    } catch (const JobError& error) {
        throw JobError("'" + jobPath + "', " + error.what(), error.line());
    }
}

void writeJobFile(const MergeJob& job, const std::string& jobPath) {
    std::string text;
    try {
        text = writeJobText(job, fs::path(jobPath).parent_path().string());
    } catch (const JobError& error) {
        throw JobError("'" + jobPath + "' was not written: " + error.what());
    }
    try {
        files::replaceFile(jobPath, text);
    } catch (const files::FileError& error) {
        throw JobError(error.description());
    }
}

std::optional<int32_t> wholeGap(std::string_view text) {
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<int32_t> headerRowNumber(std::string_view text) {
    const std::optional<int32_t> row = wholeGap(text);
    if (!row || *row < 1 || *row > engine::kMaxRows) {
        return std::nullopt;
    }
    return row;
}

std::vector<RowReport> rowsWithMissingFiles(const std::vector<QueueRow>& rows) {
    std::vector<RowReport> missing;
    for (const QueueRow& row : rows) {
        if (row.checked && files::pathKind(row.path) != files::PathKind::File) {
            missing.push_back(RowReport::missingFile(row.path, row.sheet));
        }
    }
    return missing;
}

std::string missingFilesText(const std::vector<RowReport>& missing) {
    return rowsUnder(missing.size() == 1
                         ? "1 worksheet of the job names a file that does not exist"
                         : std::to_string(missing.size()) +
                               " worksheets of the job name files that do not exist",
                     missing);
}

}  // namespace plyfold::merge
