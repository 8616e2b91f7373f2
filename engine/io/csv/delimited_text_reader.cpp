#include "engine/io/csv/delimited_text_reader.h"

#include <array>
#include <vector>

#include "engine/common/error.h"
#include "engine/common/file_access.h"
#include "engine/common/text.h"
#include "engine/common/text_decoding.h"
#include "engine/io/csv/dialect_guess.h"
#include "engine/io/csv/field_splitter.h"
#include "engine/io/csv/field_typing.h"
#include "engine/io/csv/file_sheet_name.h"
#include "engine/model/limits.h"

namespace plyfold::engine::csv {
namespace {

struct ReadingRules {
    char delimiter = ',';
    DecimalMark decimalMark = DecimalMark::Point;
    DateOrder dateOrder = DateOrder::Automatic;
};

// What the date-like fields of one column allow, for DateOrder::Automatic.
enum DateColumnFlags : uint8_t {
    kHasDateLike = 1,
    kNotAllDayFirst = 2,    // a field names no day when read day-first (or has its year first)
    kNotAllMonthFirst = 4,  // the same month-first
    kFirstPartAbove12 = 8,  // a valid day-first field whose day is above 12
    kSecondPartAbove12 = 16,
};

class Parser {
public:
    Parser(std::string_view text, const ReadingRules& rules, Sheet& sheet,
           const std::string& displayName)
        : m_splitter(text, rules.delimiter, displayName),
          m_rules(rules),
          m_sheet(sheet),
          m_strings(sheet.workbook().strings()),
          m_displayName(displayName) {
        m_dateStyles.fill(kNoStyle);
        m_writtenDateStyles.fill(kNoStyle);
    }

    void run() {
        m_splitter.run([this](std::string_view field) {
            addField(field);
            return true;
        });
        convertDateColumns();
    }

private:
    static constexpr uint32_t kNoStyle = ~0u;

    void addField(std::string_view field) {
        if (field.empty()) {
            return;
        }
        const int64_t row = m_splitter.row();
        const int64_t column = m_splitter.column();
        if (row >= kMaxRows) {
            throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                                   "'" + m_displayName +
                                       "' has more than 1,048,576 rows, the most a sheet can "
                                       "hold.");
        }
        if (column >= kMaxColumns) {
            throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                                   "Row " + withThousands(row + 1) + " of '" + m_displayName +
                                       "' has more than 16,384 fields, the most a sheet can "
                                       "hold.");
        }
        if (field.size() > static_cast<size_t>(kMaxCellTextLength) &&
            utf16Length(field) > static_cast<size_t>(kMaxCellTextLength)) {
            m_splitter.throwTooLong();
        }
        Cell cell;
        cell.column = static_cast<uint16_t>(column);
        TypedField typed = typeField(field, m_rules.decimalMark);
        switch (typed.kind) {
            case FieldKind::Text:
                if (!typeWrittenDate(field, cell)) {
                    cell.type = CellType::Text;
                    cell.value.text = m_strings.intern(field);
                }
                break;
            case FieldKind::Number:
                cell.type = CellType::Number;
                cell.value.number = typed.number;
                break;
            case FieldKind::Boolean:
                cell.type = CellType::Boolean;
                cell.value.boolean = typed.number != 0.0;
                break;
            default:
                cell.type = CellType::Number;
                cell.value.number = typed.number;
                cell.style = dateStyle(typed.kind);
                break;
        }
        if (!m_currentRow || m_currentRowIndex != row) {
            m_currentRow = &m_sheet.appendRow(static_cast<int32_t>(row));
            m_currentRowIndex = row;
            m_currentRow->cells.reserve(m_lastRowCells);
        }
        m_currentRow->cells.push_back(cell);
        m_lastRowCells = m_currentRow->cells.size();
    }

    // A date written with slashes, dots or dashes: made a date at once when the order is
    // given; with the automatic order it stays text and its column is judged at the end.
    bool typeWrittenDate(std::string_view field, Cell& cell) {
        if (field.size() < 8 || field.size() > 10 || field[0] < '0' || field[0] > '9') {
            return false;
        }
        const auto date = readDateLike(field);
        if (!date) {
            return false;
        }
        if (m_rules.dateOrder == DateOrder::Automatic) {
            noteDateLike(*date, cell.column);
            return false;
        }
        const auto serial = dateSerial(*date, m_rules.dateOrder);
        if (!serial) {
            return false;
        }
        cell.type = CellType::Number;
        cell.value.number = *serial;
        cell.style = writtenDateStyle(*date, m_rules.dateOrder);
        return true;
    }

    void noteDateLike(const DateLikeField& date, uint16_t column) {
        if (m_dateColumns.size() <= column) {
            m_dateColumns.resize(column + size_t{1}, 0);
        }
        uint8_t& flags = m_dateColumns[column];
        flags |= kHasDateLike;
        if (!dateSerial(date, DateOrder::DayMonthYear)) {
            flags |= kNotAllDayFirst;
        } else if (date.first > 12) {
            flags |= kFirstPartAbove12;
        }
        if (!dateSerial(date, DateOrder::MonthDayYear)) {
            flags |= kNotAllMonthFirst;
        } else if (date.second > 12) {
            flags |= kSecondPartAbove12;
        }
    }

    // Makes dates of the date-like texts of every column whose fields all read one way,
    // one of them only that way; only the cells of such columns are looked at again.
    void convertDateColumns() {
        std::vector<DateOrder> orders(m_dateColumns.size(), DateOrder::Automatic);
        bool any = false;
        for (size_t column = 0; column < m_dateColumns.size(); ++column) {
            const uint8_t flags = m_dateColumns[column];
            if ((flags & (kNotAllDayFirst | kFirstPartAbove12)) == kFirstPartAbove12) {
                orders[column] = DateOrder::DayMonthYear;
                any = true;
            } else if ((flags & (kNotAllMonthFirst | kSecondPartAbove12)) == kSecondPartAbove12) {
                orders[column] = DateOrder::MonthDayYear;
                any = true;
            }
        }
        if (!any) {
            return;
        }
        for (Row& row : m_sheet.rowsBeingLoaded()) {
            for (Cell& cell : row.cells) {
                if (cell.column >= orders.size() || cell.type != CellType::Text ||
                    orders[cell.column] == DateOrder::Automatic) {
                    continue;
                }
                const DateOrder order = orders[cell.column];
                const auto date = readDateLike(m_strings.text(cell.value.text));
                const auto serial = date ? dateSerial(*date, order) : std::nullopt;
                if (serial) {
                    cell.type = CellType::Number;
                    cell.value.number = *serial;
                    cell.style = writtenDateStyle(*date, order);
                }
            }
        }
    }

    uint32_t dateStyle(FieldKind kind) {
        uint32_t& style = m_dateStyles[static_cast<size_t>(kind)];
        if (style == kNoStyle) {
            style = addDateStyle(dateFormatCode(kind));
        }
        return style;
    }

    uint32_t writtenDateStyle(const DateLikeField& date, DateOrder order) {
        const size_t separator = date.separator == '/' ? 0 : date.separator == '.' ? 1 : 2;
        const size_t index = (static_cast<size_t>(order) - 1) * 12 + separator * 4 +
                             (date.firstHasTwoDigits ? 2 : 0) + (date.secondHasTwoDigits ? 1 : 0);
        uint32_t& style = m_writtenDateStyles[index];
        if (style == kNoStyle) {
            style = addDateStyle(dateFormatCode(date, order));
        }
        return style;
    }

    uint32_t addDateStyle(std::string_view formatCode) {
        StyleTable& styles = m_sheet.workbook().styles();
        CellStyle cellStyle;
        cellStyle.numberFormat = styles.addFormatCode(formatCode);
        return styles.addStyle(cellStyle);
    }

    FieldSplitter m_splitter;
    const ReadingRules& m_rules;
    Sheet& m_sheet;
    StringPool& m_strings;
    const std::string& m_displayName;
    std::array<uint32_t, 8> m_dateStyles{};
    // By order (three given ones), separator (three) and the widths of the two short parts.
    std::array<uint32_t, 36> m_writtenDateStyles{};
    std::vector<uint8_t> m_dateColumns;  // DateColumnFlags by column
    Row* m_currentRow = nullptr;
    int64_t m_currentRowIndex = -1;
    size_t m_lastRowCells = 0;
};

// A delimiter that cannot separate fields (none, a quote, a line end) is not used.
bool canSeparate(char delimiter) {
    return delimiter != 0 && delimiter != '"' && delimiter != '\r' && delimiter != '\n';
}

ReadingRules readingRules(std::string_view text, char defaultDelimiter, const TextDialect& dialect,
                          const std::string& displayName) {
    ReadingRules rules;
    if (canSeparate(dialect.delimiter)) {
        rules.delimiter = dialect.delimiter;
    } else if (defaultDelimiter == ',') {
        rules.delimiter = guessDelimiter(text);
    } else {
        rules.delimiter = defaultDelimiter;
    }
    switch (dialect.decimal) {
        case DecimalSeparator::Automatic:
            if (rules.delimiter == ';' && writesDecimalCommas(text, ';', displayName)) {
                rules.decimalMark = DecimalMark::Comma;
            }
            break;
        case DecimalSeparator::Point:
            break;
        case DecimalSeparator::Comma:
            rules.decimalMark = DecimalMark::Comma;
            break;
    }
    rules.dateOrder = dialect.dateOrder;
    return rules;
}

std::unique_ptr<Workbook> makeWorkbook(const std::string& path) {
    auto workbook = std::make_unique<Workbook>();
    workbook->setPath(path);
    workbook->addSheet(sheetNameForFile(path));
    return workbook;
}

}  // namespace

void parseDelimitedText(std::string_view bytes, char delimiter, Sheet& sheet,
                        const std::string& displayName, const TextDialect& dialect) {
    std::string converted;
    std::string_view text = decodeText(bytes, detectTextEncoding(bytes), converted);
    const ReadingRules rules = readingRules(text, delimiter, dialect, displayName);
    Parser(text, rules, sheet, displayName).run();
}

std::unique_ptr<Workbook> readDelimitedText(const std::string& path, char delimiter,
                                            const TextDialect& dialect) {
    auto workbook = makeWorkbook(path);
    workbook->sheet(0).setLoader([path, delimiter, dialect](Sheet& sheet) {
        parseDelimitedText(files::readFile(path), delimiter, sheet, path, dialect);
    });
    return workbook;
}

std::unique_ptr<Workbook> readDelimitedTextFromMemory(std::string bytes,
                                                      const std::string& displayName,
                                                      char delimiter, const TextDialect& dialect) {
    auto workbook = makeWorkbook(displayName);
    auto shared = std::make_shared<const std::string>(std::move(bytes));
    workbook->sheet(0).setLoader([shared, displayName, delimiter, dialect](Sheet& sheet) {
        parseDelimitedText(*shared, delimiter, sheet, displayName, dialect);
    });
    return workbook;
}

}  // namespace plyfold::engine::csv
