#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace plyfold::engine::csv {

// Splits decoded text into fields. Quoted fields may hold delimiters, doubled quotes and line
// breaks; CR LF, LF and CR end a line. A quote inside an unquoted field is an ordinary
// character.
class FieldSplitter {
public:
    FieldSplitter(std::string_view text, char delimiter, const std::string& displayName);

    // Calls onField(field) for each field in order, row() and column() naming it, until the
    // text ends or onField returns false. The view lasts until the next call. Throws
    // SpreadsheetError naming the file for a field longer than a cell can hold.
    template <typename OnField>
    void run(OnField&& onField) {
        while (m_p < m_end) {
            std::string_view field = *m_p == '"' ? readQuotedField() : readPlainField();
            if (!onField(field) || m_p == m_end) {
                return;
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
        }
    }

    int64_t row() const { return m_row; }
    int64_t column() const { return m_column; }
    [[noreturn]] void throwTooLong() const;

private:
    std::string_view readPlainField() {
        const char* start = m_p;
        const char* p = m_p;
        while (p < m_end && !m_special[static_cast<unsigned char>(*p)]) {
            ++p;
        }
        m_p = p;
        return {start, static_cast<size_t>(p - start)};
    }

    std::string_view readQuotedField();
    void appendWithLineFeeds(const char* from, const char* to);
    void checkLength(size_t bytes) const;

    const char* m_p;
    const char* m_end;
    char m_delimiter;
    const std::string& m_displayName;
    std::array<bool, 256> m_special{};
    std::string m_scratch;
    int64_t m_row = 0;
    int64_t m_column = 0;
};

}  // namespace plyfold::engine::csv
