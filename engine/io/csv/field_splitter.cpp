#include "engine/io/csv/field_splitter.h"

#include <cstring>

#include "engine/common/error.h"
#include "engine/common/text.h"
#include "engine/model/limits.h"

namespace plyfold::engine::csv {
namespace {

// A quoted field can be this long in UTF-8 before it is surely too long for a cell; reading
// stops there so one unterminated quote in a huge file costs no more memory than that.
constexpr size_t kMaxFieldBytes = 4 * static_cast<size_t>(kMaxCellTextLength);

}  // namespace

FieldSplitter::FieldSplitter(std::string_view text, char delimiter, const std::string& displayName)
    : m_p(text.data()),
      m_end(text.data() + text.size()),
      m_delimiter(delimiter),
      m_displayName(displayName) {
    m_special.fill(false);
    m_special[static_cast<unsigned char>(delimiter)] = true;
    m_special['\r'] = true;
    m_special['\n'] = true;
}

// Text between quotes, with doubled quotes made single and line breaks made LF (as a cell
// stores them); anything after the closing quote up to the next delimiter is kept.
std::string_view FieldSplitter::readQuotedField() {
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

void FieldSplitter::appendWithLineFeeds(const char* from, const char* to) {
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

void FieldSplitter::checkLength(size_t bytes) const {
    if (bytes > kMaxFieldBytes) {
        throwTooLong();
    }
}

void FieldSplitter::throwTooLong() const {
    throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                           "Field " + std::to_string(m_column + 1) + " of row " +
                               withThousands(m_row + 1) + " of '" + m_displayName +
                               "' is longer than 32,767 characters, the most a cell can hold.");
}

}  // namespace plyfold::engine::csv
