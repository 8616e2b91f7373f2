#include "cli/options.h"

#include <optional>

#include "engine/common/file_kind.h"
#include "engine/common/memory_budget.h"
#include "merge/merge_job.h"

namespace plyfold::cli {
namespace {

std::optional<MergeMode> modeNamed(const std::string& name) {
    if (name == "vertical")
        return MergeMode::Vertical;
    if (name == "horizontal")
        return MergeMode::Horizontal;
    if (name == "workbook")
        return MergeMode::Workbook;
    return std::nullopt;
}

std::optional<char> delimiterNamed(const std::string& text) {
    if (text == "tab" || text == "\\t") {
        return '\t';
    }
    if (text.size() == 1 && text[0] != '"' && text[0] != '\r' && text[0] != '\n') {
        return text[0];
    }
    return std::nullopt;
}

std::optional<engine::DateOrder> dateOrderNamed(const std::string& name) {
    if (name == "dmy")
        return engine::DateOrder::DayMonthYear;
    if (name == "mdy")
        return engine::DateOrder::MonthDayYear;
    if (name == "ymd")
        return engine::DateOrder::YearMonthDay;
    return std::nullopt;
}

class Parser {
public:
    explicit Parser(const std::vector<std::string>& arguments) : m_arguments(arguments) {}

    std::variant<Options, UsageError> run() {
        bool optionsEnded = false;
        for (m_index = 0; m_index < m_arguments.size(); ++m_index) {
            const std::string& argument = m_arguments[m_index];
            if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
                m_options.sources.push_back(SourceArgument{argument, {}});
            } else if (argument == "--") {
                optionsEnded = true;
            } else if (!option(argument)) {
                return UsageError{m_error};
            } else {
                m_options.given.insert(argument.substr(0, argument.find('=')));
            }
        }
        return validate();
    }

private:
    bool option(const std::string& argument) {
        std::string name = argument;
        std::optional<std::string> inlineValue;
        if (size_t equals = argument.find('=');
            argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = argument.substr(0, equals);
            inlineValue = argument.substr(equals + 1);
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue) {
                return inlineValue;
            }
            if (m_index + 1 >= m_arguments.size()) {
                m_error = "option " + name + " needs a value";
                return std::nullopt;
            }
            return m_arguments[++m_index];
        };
        auto flag = [&](bool& target, bool setting) {
            if (inlineValue) {
                m_error = "option " + name + " takes no value";
                return false;
            }
            target = setting;
            return true;
        };
        if (name == "-h" || name == "--help")
            return flag(m_options.help, true);
        if (name == "--version")
            return flag(m_options.version, true);
        if (name == "--skip-first")
            return flag(m_options.skipFirst, true);
        if (name == "--no-autofit")
            return flag(m_options.autofit, false);
        if (name == "--list")
            return flag(m_options.list, true);
        if (name == "-q" || name == "--quiet")
            return flag(m_options.quiet, true);
        if (name == "--keep-going")
            return flag(m_options.keepGoing, true);
        if (name == "--recursive")
            return flag(m_options.recursive, true);
        if (name == "--include-results")
            return flag(m_options.includeResults, true);
        if (name == "--match-headers")
            return flag(m_options.matchHeaders, true);
        if (name == "--source-column")
            return flag(m_options.sourceColumn, true);
        if (name == "--header-row") {
            auto v = value();
            if (!v) {
                return false;
            }
            auto row = merge::headerRowNumber(*v);
            if (!row) {
                m_error = "--header-row takes a row number from 1 to 1048576, not '" + *v + "'";
                return false;
            }
            m_options.headerRow = *row;
            return true;
        }
        if (name == "--decimal-comma") {
            bool comma = false;
            return flag(comma, true) &&
                   (m_options.textDialect.decimal = engine::DecimalSeparator::Comma, true);
        }
        if (name == "--report") {
            auto v = value();
            return v && (m_options.report = *v, true);
        }
        if (name == "-o" || name == "--output") {
            auto v = value();
            return v && (m_options.output = *v, true);
        }
        if (name == "--gap") {
            auto v = value();
            if (!v) {
                return false;
            }
            auto gap = merge::wholeGap(*v);
            if (!gap) {
                m_error = "--gap takes a whole number 0 or more, not '" + *v + "'";
                return false;
            }
            m_options.gap = *gap;
            return true;
        }
        if (name == "--delimiter") {
            auto v = value();
            if (!v) {
                return false;
            }
            auto delimiter = delimiterNamed(*v);
            if (!delimiter) {
                m_error = "--delimiter takes one character (or tab), not '" + *v + "'";
                return false;
            }
            m_options.textDialect.delimiter = *delimiter;
            return true;
        }
        if (name == "--date-order") {
            auto v = value();
            if (!v) {
                return false;
            }
            auto order = dateOrderNamed(*v);
            if (!order) {
                m_error = "unknown date order '" + *v + "' (use dmy, mdy or ymd)";
                return false;
            }
            m_options.textDialect.dateOrder = *order;
            return true;
        }
        if (name == "--csv-values") {
            auto v = value();
            if (!v) {
                return false;
            }
            if (*v != "shown" && *v != "raw") {
                m_error = "--csv-values takes shown or raw, not '" + *v + "'";
                return false;
            }
            m_options.csvValues = *v == "raw" ? engine::CsvValues::Raw : engine::CsvValues::Shown;
            return true;
        }
        if (name == "--memory-limit") {
            auto v = value();
            if (!v) {
                return false;
            }
            auto bytes = parseMemorySize(*v);
            if (!bytes) {
                m_error =
                    "'" + *v + "' is not a memory size (use a number with K, M or G: 512M, 2G)";
                return false;
            }
            m_options.memoryLimit = *bytes;
            return true;
        }
        if (name == "--sheets" || name == "--exclude-sheets") {
            return sheetPattern(name, value());
        }
        if (name == "--queue") {
            auto v = value();
            return v && (m_options.queueFiles.push_back(*v), true);
        }
        if (name == "--mode") {
            auto v = value();
            if (!v) {
                return false;
            }
            auto mode = modeNamed(*v);
            if (!mode) {
                m_error = "unknown mode '" + *v + "' (use vertical, horizontal or workbook)";
                return false;
            }
            m_options.mode = *mode;
            return true;
        }
        if (name == "--sheet-names") {
            return sheetNamesValue(value());
        }
        if (name == "--job") {
            auto v = value();
            if (v && (v->empty() || !m_options.jobFile.empty())) {
                m_error = v->empty() ? "--job needs a file" : "--job may be given once";
                return false;
            }
            return v && (m_options.jobFile = *v, true);
        }
        if (name == "--sheet") {
            auto v = value();
            if (!v) {
                return false;
            }
            if (m_options.sources.empty()) {
                m_error = "--sheet must follow the file it picks from";
                return false;
            }
            m_options.sources.back().sheets.push_back(*v);
            return true;
        }
        m_error = "unknown option " + name;
        return false;
    }

    bool sheetNamesValue(const std::optional<std::string>& v) {
        if (!v) {
            return false;
        }
        const auto naming = merge::parseSheetNaming(*v);
        if (!naming) {
            m_error = "unknown sheet names '" + *v + "' (use source, file or file-sheet)";
            return false;
        }
        m_options.sheetNaming = *naming;
        return true;
    }

    bool sheetPattern(const std::string& name, const std::optional<std::string>& pattern) {
        if (!pattern) {
            return false;
        }
        if (pattern->empty()) {
            m_error = name + " needs a pattern (* matches every worksheet)";
            return false;
        }
        (name == "--sheets" ? m_options.sheetPatterns : m_options.excludedSheetPatterns)
            .push_back(*pattern);
        return true;
    }

    std::variant<Options, UsageError> validate() {
        if (m_options.help || m_options.version) {
            return m_options;
        }
        if (!m_options.jobFile.empty()) {
            return validateJob();
        }
        if (m_options.sources.empty() && m_options.queueFiles.empty()) {
            return UsageError{"no source given"};
        }
        if (m_options.list) {
            return m_options;
        }
        if (m_options.output.empty()) {
            return UsageError{"no result file given (use -o RESULT)"};
        }
        if (auto problem = resultFileProblem(m_options)) {
            return UsageError{*problem};
        }
        return m_options;
    }

    // The job gives the queue, and may give the result and the mode, so what depends on them
    // is checked once the job is read.
    std::variant<Options, UsageError> validateJob() {
        if (!m_options.sources.empty() || !m_options.queueFiles.empty()) {
            return UsageError{"--job merges the job's queue: give no sources or --queue with it"};
        }
        if (m_options.list) {
            return UsageError{"--list does not read a job"};
        }
        if (!m_options.sheetPatterns.empty() || !m_options.excludedSheetPatterns.empty()) {
            return UsageError{
                "--sheets and --exclude-sheets filter file and folder sources; a "
                "job's queue names its worksheets"};
        }
        return m_options;
    }

    const std::vector<std::string>& m_arguments;
    size_t m_index = 0;
    Options m_options;
    std::string m_error;
};

}  // namespace

std::variant<Options, UsageError> parseOptions(const std::vector<std::string>& arguments) {
    return Parser(arguments).run();
}

std::optional<std::string> resultFileProblem(const Options& options) {
    const files::FileType type = files::fileTypeOfName(options.output);
    const bool csv = type == files::FileType::Csv;
    if (!csv && type != files::FileType::Xlsx) {
        return "the result must be a .xlsx file (or .csv for a one-sheet result)";
    }
    if (csv && options.mode == MergeMode::Workbook) {
        return "a workbook result has a sheet per worksheet: write it as .xlsx";
    }
    // Only the one-workbook merge has copies to name: refused elsewhere rather than ignored,
    // since a one-sheet result would not show what was asked.
    if (options.isGiven("--sheet-names") && options.mode != MergeMode::Workbook) {
        return "--sheet-names applies only to --mode workbook";
    }
    if (options.matchHeaders && options.mode != MergeMode::Vertical) {
        return "--match-headers applies only to --mode vertical";
    }
    if (options.sourceColumn && options.mode == MergeMode::Workbook) {
        return "--source-column applies only to --mode vertical or horizontal";
    }
    if (options.isGiven("--header-row") && options.mode == MergeMode::Workbook) {
        return "--header-row applies only to --mode vertical or horizontal";
    }
    if (!csv && options.isGiven("--csv-values")) {
        return "--csv-values applies only to a .csv result";
    }
    return std::nullopt;
}

std::string usageText() {
    return R"(Usage: plyfold-merge [options] SOURCE... -o RESULT
       plyfold-merge --job FILE [options] [-o RESULT]
       plyfold-merge --list SOURCE...

Combines worksheets from spreadsheet files (.xls, .xlsx, .xlsm, .csv, .txt, .dbf) into
one result, as the Plyfold window does.

A SOURCE is a file, a folder (its workbooks, as the folder scan lists them), or FILE:SHEET.
A file without a sheet contributes every worksheet, in sheet order.

Options:
  -o, --output RESULT   write the result here (.xlsx; a one-sheet result may be .csv)
      --mode MODE       vertical (default), horizontal, or workbook (one sheet per worksheet)
      --sheet-names source|file|file-sheet
                        with --mode workbook, name each copied worksheet after its source
                        sheet (default), its file (01-January) or both (01-January Sales);
                        cut to 31 characters, a taken name numbered: Sales (2), Sales (3)
      --sheet NAME      pick the worksheet NAME of the file before it (may be repeated)
      --sheets PATTERN  take from each file and folder source only the worksheets whose
                        name matches PATTERN (may be repeated: any of them); * any text,
                        ? one character, [a-c] [!a] one of (or not of) a set, \ before a
                        special character; letters match in either case
      --exclude-sheets PATTERN
                        leave out the worksheets whose name matches PATTERN (may be repeated)
      --queue FILE      read queue entries from FILE, one "path<TAB>sheet" line each; its
                        entries, FILE:SHEET and --sheet are taken as named, not filtered
      --job FILE        merge the queue and options a job file saved (.plyjob, as the window
                        saves it); options given besides override the job's
      --gap N           empty rows (or columns) between blocks, a whole number (default 0)
      --skip-first      drop the first row (or column) of every block after the first
      --header-row N    every block's header is its row N (default 1): the rows above it
                        are titles and are left out; --skip-first drops row N
      --match-headers   with --mode vertical, put each column under its header (matched
                        in either case, blanks trimmed; a repeated header to its repeat);
                        a header the first block lacks adds a column
      --source-column   a first column (vertical) or row (horizontal) naming each block's
                        FILE:SHEET, headed "Source" with --skip-first or --match-headers
      --no-autofit      keep the default column widths
      --keep-going      merge what can be merged; name each worksheet left out (a missing
                        file or sheet, a file that cannot be read) and still write the result
      --report FILE     write a tab-separated line for every queue row: path, sheet, status
                        (merged, missing, unreadable, no such sheet, unchecked), rows and
                        columns contributed, message
      --delimiter C     the field separator of .csv and .txt sources (one character, or tab);
                        by default a .csv separated by semicolons, tabs or pipes is recognised
      --decimal-comma   numbers in .csv and .txt sources are written 1.234,56
      --date-order ORDER
                        dmy, mdy or ymd: how dates such as 31/01/2026 are read; by default a
                        column's dates are read day-first (or month-first) when only that fits
      --csv-values shown|raw
                        a .csv result holds the cells' shown text (default) or stored values
      --memory-limit SIZE
                        the memory the merge may use (512M, 2G; default half the machine's
                        memory, at most 4G); past it the merge fails, naming the file
      --recursive       a folder's subfolders too, at every level (hidden ones skipped),
                        each folder's files before its subfolders
      --include-results keep the workbooks an earlier merge wrote, which a folder scan
                        otherwise leaves out (it always leaves out the result file itself)
      --list            print each source's workbooks and worksheets, with each worksheet's
                        used range and row count (and the sheet filter applied); merge nothing
  -q, --quiet           no progress bar and no summary line
  -h, --help            show this help
      --version         show the version

Without --keep-going, a source, queue entry or worksheet that is missing or cannot be read
stops the run before anything is written, naming each one. After a merge, one line sums it
up on standard output (not with --quiet).

Exit status: 0 success (with --keep-going: something was merged), 1 a listing or the merge
failed, 2 a usage error.
)";
}

}  // namespace plyfold::cli
