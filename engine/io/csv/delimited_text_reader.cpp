#include "engine/io/csv/delimited_text_reader.h"

#include <array>
#include <cstring>

#include "engine/common/error.h"
#include "engine/common/file_access.h"
#include "engine/common/text.h"
#include "engine/common/text_decoding.h"
#include "engine/io/csv/field_typing.h"
#include "engine/io/csv/file_sheet_name.h"
#include "engine/model/limits.h"

namespace plyfold::engine::csv {
namespace {

std::string withThousands(int64_t n) {
    std::string digits = std::to_string(n);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out.push_back(',');
        }
        out.push_back(digits[i]);
    }
    return out;
}

// A quoted field can be this long in UTF-8 before it is surely too long for a cell; reading
// stops there so one unterminated quote in a huge file costs no more memory than that.
constexpr size_t kMaxFieldBytes = 4 * static_cast<size_t>(kMaxCellTextLength);

class Parser {
public:
    Parser(std::string_view text, char delimiter, Sheet& sheet, const std::string& displayName)
        : m_p(text.data()),
          m_end(text.data() + text.size()),
          m_delimiter(delimiter),
          m_sheet(sheet),
          m_strings(sheet.workbook().strings()),
          m_displayName(displayName) {
        m_special.fill(false);
        m_special[static_cast<unsigned char>(delimiter)] = true;
        m_special['\r'] = true;
        m_special['\n'] = true;
        m_dateStyles.fill(kNoStyle);
    }

    void run() {
        while (m_p < m_end) {
            std::string_view field = *m_p == '"' ? readQuotedField() : readPlainField();
            addField(field);
            if (m_p == m_end) {
                break;
            }
            char c = *m_p++;
            if (c == m_delimiter) {
                ++m_column;
                continue;
            }
            if (c == '\r' && m_p < m_end && *m_p == '\n') {
                ++m_p;
            }
            ++m_row;
            m_column = 0;
            m_currentRow = nullptr;
        }
    }

private:
    static constexpr uint32_t kNoStyle = ~0u;

    std::string_view readPlainField() {
        const char* start = m_p;
        const char* p = m_p;
        // A quote inside an unquoted field is an ordinary character.
        while (p < m_end && !m_special[static_cast<unsigned char>(*p)]) {
            ++p;
        }
        m_p = p;
        return {start, static_cast<size_t>(p - start)};
    }

    // Text between quotes, with doubled quotes made single and line breaks made LF (as a
    // cell stores them); anything after the closing quote up to the next delimiter is kept.
    std::string_view readQuotedField() {
        m_scratch.clear();
        ++m_p;
        for (;;) {
            const void* found = std::memchr(m_p, '"', static_cast<size_t>(m_end - m_p));
            const char* quote = found ? static_cast<const char*>(found) : m_end;
            appendWithLineFeeds(m_p, quote);
            if (!found) {
                m_p = m_end;  // no closing quote: the rest of the file is the field
                break;
            }
            m_p = quote + 1;
            if (m_p < m_end && *m_p == '"') {
                m_scratch.push_back('"');
                ++m_p;
                continue;
            }
            break;
        }
        std::string_view rest = readPlainField();
        m_scratch.append(rest);
        checkLength(m_scratch.size());
        return m_scratch;
    }

    void appendWithLineFeeds(const char* from, const char* to) {
        while (from < to) {
            const void* found = std::memchr(from, '\r', static_cast<size_t>(to - from));
            const char* cr = found ? static_cast<const char*>(found) : to;
            m_scratch.append(from, cr);
            checkLength(m_scratch.size());
            if (cr == to) {
                return;
            }
            m_scratch.push_back('\n');
            from = cr + 1;
            if (from < to && *from == '\n') {
                ++from;
            }
        }
    }

    void checkLength(size_t bytes) {
        if (bytes > kMaxFieldBytes) {
            throwTooLong();
        }
    }

    [[noreturn]] void throwTooLong() const {
        throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                               "Field " + std::to_string(m_column + 1) + " of row " +
                                   withThousands(m_row + 1) + " of '" + m_displayName +
                                   "' is longer than 32,767 characters, the most a cell can "
                                   "hold.");
    }

    void addField(std::string_view field) {
        if (field.empty()) {
            return;
        }
        if (m_row >= kMaxRows) {
            throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                                   "'" + m_displayName +
                                       "' has more than 1,048,576 rows, the most a sheet can "
                                       "hold.");
        }
        if (m_column >= kMaxColumns) {
            throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                                   "Row " + withThousands(m_row + 1) + " of '" + m_displayName +
                                       "' has more than 16,384 fields, the most a sheet can "
                                       "hold.");
        }
        if (field.size() > static_cast<size_t>(kMaxCellTextLength) &&
            utf16Length(field) > static_cast<size_t>(kMaxCellTextLength)) {
            throwTooLong();
        }
        Cell cell;
        cell.column = static_cast<uint16_t>(m_column);
        TypedField typed = typeField(field);
        switch (typed.kind) {
            case FieldKind::Text:
                cell.type = CellType::Text;
                cell.value.text = m_strings.intern(field);
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
        if (!m_currentRow) {
            m_currentRow = &m_sheet.appendRow(static_cast<int32_t>(m_row));
            m_currentRow->cells.reserve(m_lastRowCells);
        }
        m_currentRow->cells.push_back(cell);
        m_lastRowCells = m_currentRow->cells.size();
    }

    uint32_t dateStyle(FieldKind kind) {
        uint32_t& style = m_dateStyles[static_cast<size_t>(kind)];
        if (style == kNoStyle) {
            StyleTable& styles = m_sheet.workbook().styles();
            CellStyle cellStyle;
            cellStyle.numberFormat = styles.addFormatCode(dateFormatCode(kind));
            style = styles.addStyle(cellStyle);
        }
        return style;
    }

    const char* m_p;
    const char* m_end;
    char m_delimiter;
    Sheet& m_sheet;
    StringPool& m_strings;
    const std::string& m_displayName;
    std::array<bool, 256> m_special{};
    std::array<uint32_t, 8> m_dateStyles{};
    std::string m_scratch;
    int64_t m_row = 0;
    int64_t m_column = 0;
    Row* m_currentRow = nullptr;
    size_t m_lastRowCells = 0;
};

std::unique_ptr<Workbook> makeWorkbook(const std::string& path) {
    auto workbook = std::make_unique<Workbook>();
    workbook->setPath(path);
    workbook->addSheet(sheetNameForFile(path));
    return workbook;
}

}  // namespace

void parseDelimitedText(std::string_view bytes, char delimiter, Sheet& sheet,
                        const std::string& displayName) {
    std::string converted;
    std::string_view text = decodeText(bytes, detectTextEncoding(bytes), converted);
    Parser(text, delimiter, sheet, displayName).run();
}

std::unique_ptr<Workbook> readDelimitedText(const std::string& path, char delimiter,
                                            const TextDialect& dialect) {
    (void)dialect;
    auto workbook = makeWorkbook(path);
    workbook->sheet(0).setLoader([path, delimiter](Sheet& sheet) {
        parseDelimitedText(files::readFile(path), delimiter, sheet, path);
    });
    return workbook;
}

std::unique_ptr<Workbook> readDelimitedTextFromMemory(std::string bytes,
                                                      const std::string& displayName,
                                                      char delimiter) {
    auto workbook = makeWorkbook(displayName);
    auto shared = std::make_shared<const std::string>(std::move(bytes));
    workbook->sheet(0).setLoader([shared, displayName, delimiter](Sheet& sheet) {
        parseDelimitedText(*shared, delimiter, sheet, displayName);
    });
    return workbook;
}

}  // namespace plyfold::engine::csv
