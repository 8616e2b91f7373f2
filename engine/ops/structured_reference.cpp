#include "engine/ops/structured_reference.h"

#include <array>
#include <utility>

#include "engine/common/text.h"

namespace plyfold::engine::formula {
namespace {

constexpr std::array<std::pair<std::string_view, TableItem>, 5> kKeywords = {{
    {"#All", kTableAll},
    {"#Data", kTableData},
    {"#Headers", kTableHeaders},
    {"#Totals", kTableTotals},
    {"#This Row", kTableThisRow},
}};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

class Parser {
public:
    explicit Parser(std::string_view text) : m_s(text) {}

    std::optional<StructuredReference> run() {
        const size_t open = m_s.find('[');
        if (open == std::string_view::npos) {
            return std::nullopt;
        }
        m_ref.table.assign(m_s.substr(0, open));
        m_i = open + 1;
        if (!intraTable() || m_i != m_s.size() || !validItems()) {
            return std::nullopt;
        }
        if (m_ref.lastColumn.empty()) {
            m_ref.lastColumn = m_ref.firstColumn;
        }
        return std::move(m_ref);
    }

private:
    char at(size_t i) const { return i < m_s.size() ? m_s[i] : '\0'; }
    void skipSpaces() {
        while (isSpace(at(m_i))) {
            ++m_i;
        }
    }

    // After the outer "[": the rest of the reference, its closing "]" included.
    bool intraTable() {
        if (at(m_i) == '#') {
            // [#All]: one keyword, the outer brackets its own.
            std::string name;
            return bracketContent(name) && keyword(name);
        }
        skipSpaces();
        if (at(m_i) == '@') {
            ++m_i;
            m_ref.items |= kTableThisRow;
            skipSpaces();
            if (at(m_i) == ']') {
                ++m_i;
                return true;
            }
            if (at(m_i) != '[') {
                return bracketContent(m_ref.firstColumn);  // [@Qty]
            }
            return columnRange() && closeOuter();  // [@[Qty]] or [@[Qty]:[Price]]
        }
        if (at(m_i) != '[') {
            return bracketContent(m_ref.firstColumn);  // [Qty] or []
        }
        // [[#Headers],[#Data],[Qty]:[Price]]
        while (true) {
            skipSpaces();
            if (at(m_i + 1) == '#') {
                ++m_i;
                std::string name;
                if (!bracketContent(name) || !keyword(name)) {
                    return false;
                }
            } else {
                if (!columnRange()) {
                    return false;
                }
                return closeOuter();  // the columns come last
            }
            skipSpaces();
            if (at(m_i) == ',') {
                ++m_i;
                continue;
            }
            return closeOuter();
        }
    }

    bool closeOuter() {
        skipSpaces();
        if (at(m_i) != ']') {
            return false;
        }
        ++m_i;
        return true;
    }

    // [Qty] or [Qty]:[Price], each in brackets.
    bool columnRange() {
        skipSpaces();
        if (at(m_i) != '[') {
            return false;
        }
        ++m_i;
        if (!bracketContent(m_ref.firstColumn) || m_ref.firstColumn.empty()) {
            return false;
        }
        if (at(m_i) != ':') {
            return true;
        }
        ++m_i;
        if (at(m_i) != '[') {
            return false;
        }
        ++m_i;
        return bracketContent(m_ref.lastColumn) && !m_ref.lastColumn.empty();
    }

    // After a "[": the text up to the matching "]", with escapes undone and the spaces at
    // either end dropped; the closing "]" is consumed.
    bool bracketContent(std::string& out) {
        out.clear();
        for (; m_i < m_s.size(); ++m_i) {
            const char c = m_s[m_i];
            if (c == '\'') {
                if (m_i + 1 >= m_s.size()) {
                    return false;
                }
                out.push_back(m_s[++m_i]);
                continue;
            }
            if (c == '[') {
                return false;
            }
            if (c == ']') {
                ++m_i;
                while (!out.empty() && isSpace(out.back())) {
                    out.pop_back();
                }
                size_t lead = 0;
                while (lead < out.size() && isSpace(out[lead])) {
                    ++lead;
                }
                out.erase(0, lead);
                return true;
            }
            out.push_back(c);
        }
        return false;
    }

    bool keyword(std::string_view name) {
        for (const auto& [text, item] : kKeywords) {
            if (equalsIgnoringAsciiCase(name, text)) {
                m_ref.items |= item;
                return true;
            }
        }
        return false;
    }

    // #All and #This Row stand alone; headers, data and totals go together only where they
    // touch.
    bool validItems() const {
        const uint8_t items = m_ref.items;
        if (items == 0 || items == kTableAll || items == kTableThisRow) {
            return true;
        }
        if (items & (kTableAll | kTableThisRow)) {
            return false;
        }
        return items != (kTableHeaders | kTableTotals) &&
               items != (kTableHeaders | kTableData | kTableTotals);
    }

    std::string_view m_s;
    size_t m_i = 0;
    StructuredReference m_ref;
};

}  // namespace

std::optional<StructuredReference> parseStructuredReference(std::string_view text) {
    return Parser(text).run();
}

std::string escapedColumnName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        if (c == '\'' || c == '[' || c == ']' || c == '#') {
            out.push_back('\'');
        }
        out.push_back(c);
    }
    return out;
}

}  // namespace plyfold::engine::formula
