#include "engine/ops/formula_lexer.h"

#include <array>
#include <optional>

#include "engine/common/text.h"
#include "engine/model/cell_ref.h"
#include "engine/model/limits.h"
#include "engine/ops/structured_reference.h"

namespace plyfold::engine::formula {
namespace {

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Characters of names, function names, unquoted sheet names and references.
bool isWordChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return isLetter(c) || isDigit(c) || c == '_' || c == '.' || c == '\\' || c == '$' || c == '?' ||
           u >= 0x80;
}

// Characters a defined name can begin with.
bool startsName(char c) {
    return isLetter(c) || c == '_' || c == '\\' || static_cast<unsigned char>(c) >= 0x80;
}

// A word that can be a defined name: no "$", and not a boolean.
bool isNameWord(std::string_view word) {
    return word.find('$') == std::string_view::npos && !equalsIgnoringAsciiCase(word, "TRUE") &&
           !equalsIgnoringAsciiCase(word, "FALSE");
}

// The error literals a formula can hold, longest first where one begins another.
constexpr std::array<std::string_view, 8> kErrorLiterals = {
    "#GETTING_DATA", "#DIV/0!", "#VALUE!", "#NULL!", "#NAME?", "#REF!", "#NUM!", "#N/A"};

class Lexer {
public:
    Lexer(std::string_view text, ReferenceVisitor& visitor) : m_s(text), m_visitor(visitor) {}

    void run();

private:
    char at(size_t i) const { return i < m_s.size() ? m_s[i] : '\0'; }
    // A reference ends where no name could go on.
    bool endsToken(size_t i) const { return !isWordChar(at(i)) && at(i) != '(' && at(i) != '['; }

    size_t skipString(size_t i) const;
    size_t skipQuoted(size_t i) const;
    size_t skipBrackets(size_t i) const;
    size_t skipWord(size_t i) const;
    size_t skipNumber(size_t i) const;

    std::optional<size_t> parseCell(size_t i, RefEnd& end) const;
    std::optional<size_t> parseColumn(size_t i, RefEnd& end) const;
    std::optional<size_t> parseRow(size_t i, RefEnd& end) const;
    // Reads the reference body at i into ref; returns where it ends.
    std::optional<size_t> parseBody(size_t i, Reference& ref, bool afterPrefix) const;

    // The one reference being read, reused so that its names keep their storage.
    Reference& freshReference();
    void emitReference(size_t begin, size_t end);
    // Emits [begin, end) as a structured reference when it is one; false when it is not.
    bool emitStructured(size_t begin, size_t end);
    // Whether a "[" at i starts a structured reference of its own ([@Qty]) rather than
    // continuing what stands before it.
    bool startsBareStructured(size_t i) const;

    std::string_view m_s;
    ReferenceVisitor& m_visitor;
    Reference m_ref;
};

size_t Lexer::skipString(size_t i) const {
    // i is at the opening quote; a doubled quote stands for one inside the literal.
    for (size_t j = i + 1; j < m_s.size(); ++j) {
        if (m_s[j] == '"') {
            if (at(j + 1) == '"') {
                ++j;
                continue;
            }
            return j + 1;
        }
    }
    return m_s.size();
}

size_t Lexer::skipQuoted(size_t i) const {
    for (size_t j = i + 1; j < m_s.size(); ++j) {
        if (m_s[j] == '\'') {
            if (at(j + 1) == '\'') {
                ++j;
                continue;
            }
            return j + 1;
        }
    }
    return m_s.size();
}

size_t Lexer::skipBrackets(size_t i) const {
    // Structured references nest brackets and escape special characters with an apostrophe.
    int depth = 0;
    for (size_t j = i; j < m_s.size(); ++j) {
        const char c = m_s[j];
        if (c == '\'') {
            ++j;
        } else if (c == '[') {
            ++depth;
        } else if (c == ']' && --depth == 0) {
            return j + 1;
        }
    }
    return m_s.size();
}

size_t Lexer::skipWord(size_t i) const {
    while (i < m_s.size() && isWordChar(m_s[i])) {
        ++i;
    }
    return i;
}

size_t Lexer::skipNumber(size_t i) const {
    while (isDigit(at(i))) {
        ++i;
    }
    if (at(i) == '.') {
        ++i;
        while (isDigit(at(i))) {
            ++i;
        }
    }
    if ((at(i) == 'E' || at(i) == 'e') &&
        (isDigit(at(i + 1)) || ((at(i + 1) == '+' || at(i + 1) == '-') && isDigit(at(i + 2))))) {
        i += 2;
        while (isDigit(at(i))) {
            ++i;
        }
    }
    return i;
}

std::optional<size_t> Lexer::parseCell(size_t i, RefEnd& end) const {
    RefEnd result;
    if (at(i) == '$') {
        result.absoluteColumn = true;
        ++i;
    }
    const size_t lettersStart = i;
    while (isLetter(at(i))) {
        ++i;
    }
    if (i == lettersStart || i - lettersStart > 3) {
        return std::nullopt;
    }
    auto column = parseColumnName(m_s.substr(lettersStart, i - lettersStart));
    if (!column) {
        return std::nullopt;
    }
    if (at(i) == '$') {
        result.absoluteRow = true;
        ++i;
    }
    const size_t digitsStart = i;
    int64_t row = 0;
    while (isDigit(at(i)) && i - digitsStart < 8) {
        row = row * 10 + (m_s[i] - '0');
        ++i;
    }
    if (i == digitsStart || row < 1 || row > kMaxRows || !endsToken(i)) {
        return std::nullopt;
    }
    result.row = static_cast<int32_t>(row - 1);
    result.column = *column;
    end = result;
    return i;
}

std::optional<size_t> Lexer::parseColumn(size_t i, RefEnd& end) const {
    RefEnd result;
    if (at(i) == '$') {
        result.absoluteColumn = true;
        ++i;
    }
    const size_t lettersStart = i;
    while (isLetter(at(i))) {
        ++i;
    }
    if (i == lettersStart || i - lettersStart > 3 || !endsToken(i)) {
        return std::nullopt;
    }
    auto column = parseColumnName(m_s.substr(lettersStart, i - lettersStart));
    if (!column) {
        return std::nullopt;
    }
    result.column = *column;
    end = result;
    return i;
}

std::optional<size_t> Lexer::parseRow(size_t i, RefEnd& end) const {
    RefEnd result;
    if (at(i) == '$') {
        result.absoluteRow = true;
        ++i;
    }
    const size_t digitsStart = i;
    int64_t row = 0;
    while (isDigit(at(i)) && i - digitsStart < 8) {
        row = row * 10 + (m_s[i] - '0');
        ++i;
    }
    if (i == digitsStart || row < 1 || row > kMaxRows || !endsToken(i)) {
        return std::nullopt;
    }
    result.row = static_cast<int32_t>(row - 1);
    end = result;
    return i;
}

std::optional<size_t> Lexer::parseBody(size_t i, Reference& ref, bool afterPrefix) const {
    RefEnd a, b;
    if (auto end = parseCell(i, a)) {
        if (at(*end) == ':') {
            if (auto end2 = parseCell(*end + 1, b)) {
                ref.kind = RefKind::Area;
                ref.first = a;
                ref.last = b;
                return end2;
            }
        }
        ref.kind = RefKind::Cell;
        ref.first = ref.last = a;
        return end;
    }
    if (auto end = parseColumn(i, a); end && at(*end) == ':') {
        if (auto end2 = parseColumn(*end + 1, b)) {
            ref.kind = RefKind::Columns;
            ref.first = a;
            ref.last = b;
            return end2;
        }
    }
    if (auto end = parseRow(i, a); end && at(*end) == ':') {
        if (auto end2 = parseRow(*end + 1, b)) {
            ref.kind = RefKind::Rows;
            ref.first = a;
            ref.last = b;
            return end2;
        }
    }
    if (!afterPrefix) {
        return std::nullopt;
    }
    if (m_s.substr(i).starts_with("#REF!")) {
        ref.kind = RefKind::Error;
        return i + 5;
    }
    if (isWordChar(at(i)) && !isDigit(at(i))) {
        ref.kind = RefKind::Name;
        return skipWord(i);
    }
    return std::nullopt;
}

Reference& Lexer::freshReference() {
    m_ref.kind = RefKind::Cell;
    m_ref.prefix = {};
    m_ref.body = {};
    m_ref.firstSheet.clear();
    m_ref.lastSheet.clear();
    m_ref.external = false;
    m_ref.externalIndex = -1;
    m_ref.first = m_ref.last = RefEnd{};
    return m_ref;
}

void Lexer::emitReference(size_t begin, size_t end) {
    m_ref.body = m_s.substr(begin + m_ref.prefix.size(), end - begin - m_ref.prefix.size());
    m_visitor.visit(begin, end, m_ref);
}

bool Lexer::emitStructured(size_t begin, size_t end) {
    if (end > m_s.size() || m_s[end - 1] != ']' || at(end) == '!' ||
        !parseStructuredReference(m_s.substr(begin, end - begin))) {
        return false;
    }
    freshReference().kind = RefKind::Structured;
    emitReference(begin, end);
    return true;
}

bool Lexer::startsBareStructured(size_t i) const {
    if (i == 0) {
        return true;
    }
    const char before = m_s[i - 1];
    return !isWordChar(before) && before != ']' && before != ')' && before != '\'' &&
           before != '"' && before != '!' && before != '#';
}

// n of a book written "[n]", or -1.
int32_t bookIndex(std::string_view bracketed) {
    if (bracketed.size() < 3 || bracketed.size() > 8 || bracketed.front() != '[' ||
        bracketed.back() != ']') {
        return -1;
    }
    int32_t n = 0;
    for (char c : bracketed.substr(1, bracketed.size() - 2)) {
        if (!isDigit(c)) {
            return -1;
        }
        n = n * 10 + (c - '0');
    }
    return n;
}

// The sheets named by the inside of a quoted prefix: 'My Sheet', 'Jan:Mar', '[1]Data',
// 'C:\dir\[Book.xlsx]Data'.
void readQuotedSheets(std::string_view quoted, Reference& ref) {
    std::string& content = ref.firstSheet;
    for (size_t i = 1; i + 1 < quoted.size(); ++i) {
        content.push_back(quoted[i]);
        if (quoted[i] == '\'') {
            ++i;  // the second apostrophe of a doubled one
        }
    }
    if (auto bracket = content.rfind(']'); bracket != std::string::npos) {
        ref.external = true;
        ref.externalIndex = bookIndex(content.substr(0, bracket + 1));
        content.erase(0, bracket + 1);
        if (auto colon = content.find(':'); colon != std::string::npos) {
            ref.lastSheet.assign(content, colon + 1);
            content.resize(colon);
        }
        return;
    }
    if (auto colon = content.find(':'); colon != std::string::npos) {
        ref.lastSheet.assign(content, colon + 1);
        content.resize(colon);
    }
}

void Lexer::run() {
    size_t i = 0;
    bool inArray = false;
    while (i < m_s.size()) {
        const char c = m_s[i];
        if (c == '"') {
            i = skipString(i);
            continue;
        }
        if (inArray) {
            // Array constants hold only numbers, texts, booleans and errors.
            inArray = c != '}';
            ++i;
            continue;
        }
        if (c == '{') {
            inArray = true;
            ++i;
            continue;
        }
        if (c == '\'') {
            const size_t end = skipQuoted(i);
            if (at(end) == '!') {
                Reference& ref = freshReference();
                ref.prefix = m_s.substr(i, end + 1 - i);
                readQuotedSheets(m_s.substr(i, end - i), ref);
                if (auto bodyEnd = parseBody(end + 1, ref, true)) {
                    emitReference(i, *bodyEnd);
                    i = *bodyEnd;
                    continue;
                }
            }
            i = end;
            continue;
        }
        if (c == '[') {
            const size_t end = skipBrackets(i);
            const size_t wordEnd = skipWord(end);
            // [1]Jan:Mar! names sheets of the book from Jan to Mar.
            size_t lastEnd = wordEnd;
            if (wordEnd > end && at(wordEnd) == ':' && isWordChar(at(wordEnd + 1))) {
                lastEnd = skipWord(wordEnd + 1);
            }
            if (wordEnd > end && at(lastEnd) == '!') {
                Reference& ref = freshReference();
                ref.prefix = m_s.substr(i, lastEnd + 1 - i);
                ref.external = true;
                ref.externalIndex = bookIndex(m_s.substr(i, end - i));
                ref.firstSheet.assign(m_s.substr(end, wordEnd - end));
                if (lastEnd != wordEnd) {
                    ref.lastSheet.assign(m_s.substr(wordEnd + 1, lastEnd - wordEnd - 1));
                }
                if (auto bodyEnd = parseBody(lastEnd + 1, ref, true)) {
                    emitReference(i, *bodyEnd);
                    i = *bodyEnd;
                    continue;
                }
            }
            if (startsBareStructured(i) && emitStructured(i, end)) {
                i = end;  // a structured reference without its table's name: [@Amount]
                continue;
            }
            i = end;
            continue;
        }
        if (c == '#') {
            size_t length = 1;
            for (std::string_view error : kErrorLiterals) {
                if (m_s.size() - i >= error.size() &&
                    equalsIgnoringAsciiCase(m_s.substr(i, error.size()), error)) {
                    length = error.size();
                    break;
                }
            }
            i += length;
            continue;
        }
        if (!isWordChar(c)) {
            ++i;
            continue;
        }
        const size_t wordEnd = skipWord(i);
        size_t bodyStart = 0;
        if (at(wordEnd) == '!') {
            Reference& ref = freshReference();
            ref.firstSheet.assign(m_s.substr(i, wordEnd - i));
            bodyStart = wordEnd + 1;
        } else if (at(wordEnd) == ':' && isWordChar(at(wordEnd + 1))) {
            const size_t secondEnd = skipWord(wordEnd + 1);
            if (at(secondEnd) == '!') {
                Reference& ref = freshReference();
                ref.firstSheet.assign(m_s.substr(i, wordEnd - i));
                ref.lastSheet.assign(m_s.substr(wordEnd + 1, secondEnd - wordEnd - 1));
                bodyStart = secondEnd + 1;
            }
        }
        if (bodyStart > 0) {
            m_ref.prefix = m_s.substr(i, bodyStart - i);
            if (auto bodyEnd = parseBody(bodyStart, m_ref, true)) {
                emitReference(i, *bodyEnd);
                i = *bodyEnd;
            } else {
                i = bodyStart;
            }
            continue;
        }
        if (at(wordEnd) == '(') {
            i = wordEnd;  // a function name
            continue;
        }
        if (at(wordEnd) == '[') {
            // A table's structured reference. After "!" the table is another workbook's
            // ([1]!Sales[Qty]) and stays as it is written.
            const size_t end = skipBrackets(wordEnd);
            if (i == 0 || m_s[i - 1] != '!') {
                emitStructured(i, end);
            }
            i = end;
            continue;
        }
        if (auto bodyEnd = parseBody(i, freshReference(), false)) {
            emitReference(i, *bodyEnd);
            i = *bodyEnd;
            continue;
        }
        if (startsName(c) && isNameWord(m_s.substr(i, wordEnd - i))) {
            // A defined name on its own (parameters of LAMBDA and LET read alike).
            Reference& ref = freshReference();
            ref.kind = RefKind::Name;
            emitReference(i, wordEnd);
            i = wordEnd;
            continue;
        }
        if (isDigit(c) || c == '.') {
            // A number that runs into letters ("60A63") is one word, not a number before a
            // reference: moving the reference could turn the whole into a number ("60E4").
            const size_t numberEnd = std::max(skipNumber(i), i + 1);
            i = isWordChar(at(numberEnd)) ? skipWord(numberEnd) : numberEnd;
        } else {
            i = wordEnd;
        }
    }
}

std::string endText(const RefEnd& end, bool withColumn, bool withRow) {
    std::string text;
    if (withColumn) {
        if (end.absoluteColumn) {
            text.push_back('$');
        }
        text += columnName(end.column);
    }
    if (withRow) {
        if (end.absoluteRow) {
            text.push_back('$');
        }
        text += std::to_string(end.row + 1);
    }
    return text;
}

}  // namespace

void scanReferences(std::string_view formula, ReferenceVisitor& visitor) {
    Lexer(formula, visitor).run();
}

std::vector<Token> tokenize(std::string_view formula) {
    struct Collector final : ReferenceVisitor {
        explicit Collector(std::string_view formula) : text(formula) {}
        void visit(size_t begin, size_t end, const Reference& ref) override {
            addText(begin);
            Token token;
            token.kind = TokenKind::Reference;
            token.text = text.substr(begin, end - begin);
            token.ref = ref;
            tokens.push_back(std::move(token));
            copied = end;
        }
        void addText(size_t upTo) {
            if (upTo > copied) {
                Token token;
                token.text = text.substr(copied, upTo - copied);
                tokens.push_back(std::move(token));
            }
        }
        std::string_view text;
        std::vector<Token> tokens;
        size_t copied = 0;
    } collector(formula);
    scanReferences(formula, collector);
    collector.addText(formula.size());
    return std::move(collector.tokens);
}

std::string referenceBody(RefKind kind, const RefEnd& first, const RefEnd& last) {
    switch (kind) {
        case RefKind::Cell:
            return endText(first, true, true);
        case RefKind::Area:
            return endText(first, true, true) + ":" + endText(last, true, true);
        case RefKind::Columns:
            return endText(first, true, false) + ":" + endText(last, true, false);
        case RefKind::Rows:
            return endText(first, false, true) + ":" + endText(last, false, true);
        case RefKind::Error:
        case RefKind::Name:
        case RefKind::Structured:
            break;
    }
    return "#REF!";
}

std::string quotedSheetName(std::string_view name) {
    bool plain = !name.empty() && !isDigit(name.front()) && name.front() != '.';
    for (char c : name) {
        if (!(isWordChar(c) && c != '$' && c != '?' && c != '\\')) {
            plain = false;
        }
    }
    if (plain && readsAsCellOrLogical(name)) {
        plain = false;
    }
    if (plain) {
        return std::string(name);
    }
    std::string quoted = "'";
    for (char c : name) {
        quoted.push_back(c);
        if (c == '\'') {
            quoted.push_back('\'');
        }
    }
    quoted += "'";
    return quoted;
}

}  // namespace plyfold::engine::formula
