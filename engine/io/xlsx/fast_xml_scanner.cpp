#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/common/text.h"
#include "engine/io/xlsx/read_failure.h"
#include "engine/io/xlsx/xml_parser.h"

namespace plyfold::engine::xlsx_read {
namespace {

constexpr size_t kReadSize = size_t{256} * 1024;
// Tags, processing instructions and held-back text must fit in the buffer; nothing a real
// file holds comes near this, and it bounds the memory a hostile file can make us take.
constexpr size_t kMaxMarkup = size_t{16} * 1024 * 1024;
constexpr size_t kMaxDepth = 1024;
// An entity reference is at most "&#x10FFFF;" long; longer ones are errors anyway.
constexpr size_t kMaxEntity = 32;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Byte classes for the scanning loops, which look at each byte once.
enum ByteClass : uint8_t {
    kEndsName = 1,       // white space / > = < " ' end a name in a tag
    kNeedsDecoding = 2,  // & and the white space that attribute values normalise
    kLess = 4,
    kQuote = 8,
    kTextSpecial = 16,  // & and CR, which text must decode
};

constexpr std::array<uint8_t, 256> makeClasses() {
    std::array<uint8_t, 256> classes{};
    for (unsigned char c : {' ', '\t', '\n', '\r', '/', '>', '=', '<', '"', '\''}) {
        classes[c] |= kEndsName;
    }
    for (unsigned char c : {'&', '\t', '\n', '\r'}) {
        classes[c] |= kNeedsDecoding;
    }
    classes[static_cast<unsigned char>('<')] |= kLess;
    classes[static_cast<unsigned char>('&')] |= kTextSpecial;
    classes[static_cast<unsigned char>('\r')] |= kTextSpecial;
    classes[static_cast<unsigned char>('"')] |= kQuote;
    classes[static_cast<unsigned char>('\'')] |= kQuote;
    return classes;
}
constexpr std::array<uint8_t, 256> kClasses = makeClasses();

uint8_t classOf(char c) {
    return kClasses[static_cast<unsigned char>(c)];
}
bool endsName(char c) {
    return classOf(c) & kEndsName;
}

// The first c in [p, end), or nullptr. Most spans searched are a few bytes long, where a
// plain loop beats a call to memchr; long ones go to memchr.
const char* findByte(const char* p, const char* end, char c) {
    const char* shortEnd = end - p > 32 ? p + 32 : end;
    for (; p < shortEnd; ++p) {
        if (*p == c) {
            return p;
        }
    }
    if (p == end) {
        return nullptr;
    }
    return static_cast<const char*>(std::memchr(p, c, static_cast<size_t>(end - p)));
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) {
            return false;
        }
    }
    return true;
}

uint64_t countLines(const char* p, const char* end) {
    uint64_t lines = 0;
    while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p))))) {
        ++lines;
        ++p;
    }
    return lines;
}

bool isValidNameStart(char c) {
    return !(c >= '0' && c <= '9') && c != '-' && c != '.' && c != '&' && c != ';';
}

bool isXmlChar(uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

class FastScanner {
public:
    FastScanner(ByteSource& source, XmlHandler& handler) : m_source(source), m_handler(handler) {}

    void run();

private:
    // Reads at least atLeast more bytes, unless the document ends first; false when none came.
    // A token cut by the end of the buffer is scanned again from its start once more bytes
    // have come, so the caller asks for as many bytes as the token already has: each byte is
    // then scanned a bounded number of times, however few bytes each read of the source gives.
    bool readMore(size_t atLeast = 1);
    [[noreturn]] void failAt(const char* where, const std::string& message) const;
    [[noreturn]] void failAt(size_t offset, const std::string& message) const {
        failAt(m_buffer.get() + offset, message);
    }
    bool needsExpat();

    void scanText();
    void emitText(const char* begin, const char* end, bool special);
    void emitRaw(const char* begin, const char* end);
    bool parseMarkup();
    bool parseStartTag();
    bool parseEndTag();
    bool skipProcessingInstruction();
    void skipComment();
    void readCdata();
    void decodeInto(std::string& out, const char* begin, const char* end, bool attribute);

    ByteSource& m_source;
    XmlHandler& m_handler;
    std::unique_ptr<char[]> m_buffer;
    size_t m_capacity = 0;
    size_t m_pos = 0;
    size_t m_end = 0;
    bool m_eof = false;
    uint64_t m_droppedLines = 0;  // newlines in bytes already dropped from the buffer

    size_t m_depth = 0;
    bool m_rootClosed = false;
    bool m_rootSeen = false;
    std::string m_openNames;  // the qualified names of open elements, one after the other
    std::vector<uint32_t> m_openNameStarts;

    struct RawAttribute {
        const char* name;
        const char* nameEnd;
        const char* value;
        const char* valueEnd;
        bool needsDecoding;
    };
    std::vector<RawAttribute> m_rawAttributes;
    std::vector<XmlAttribute> m_attributes;
    std::vector<std::pair<size_t, size_t>> m_decodedSpans;
    std::string m_decodedValues;
    std::string m_text;
};

bool FastScanner::readMore(size_t atLeast) {
    if (m_eof) {
        return false;
    }
    if (m_pos > 0) {
        char* base = m_buffer.get();
        m_droppedLines += countLines(base, base + m_pos);
        std::memmove(base, base + m_pos, m_end - m_pos);
        m_end -= m_pos;
        m_pos = 0;
    }
    const size_t wanted = std::max<size_t>(atLeast, 1);
    if (m_capacity - m_end < std::max(kReadSize / 2, wanted)) {
        if (m_end >= kMaxMarkup) {
            failAt(m_pos, "a tag or declaration is longer than 16 MB");
        }
        size_t capacity = std::max({m_capacity * 2, kReadSize, m_end + wanted});
        std::unique_ptr<char[]> bigger(new char[capacity]);
        std::memcpy(bigger.get(), m_buffer.get(), m_end);
        m_buffer = std::move(bigger);
        m_capacity = capacity;
    }
    size_t added = 0;
    while (added < wanted) {
        size_t n = m_source.read(m_buffer.get() + m_end, m_capacity - m_end);
        if (n == 0) {
            m_eof = true;
            break;
        }
        m_end += n;
        added += n;
    }
    return added > 0;
}

void FastScanner::failAt(const char* where, const std::string& message) const {
    const char* base = m_buffer.get();
    where = std::clamp(where, base, base + m_end);
    uint64_t line = m_droppedLines + countLines(base, where) + 1;
    fail(FailureKind::Damaged, "XML error at line " + std::to_string(line) + ": " + message);
}

// Whether the document is in an encoding other than UTF-8, which expat then reads.
bool FastScanner::needsExpat() {
    // Enough bytes to see a byte order mark and the start of a declaration.
    while (m_end < 64 && readMore()) {
    }
    const auto* b = reinterpret_cast<const unsigned char*>(m_buffer.get());
    if (m_end >= 2 && ((b[0] == 0xFE && b[1] == 0xFF) || (b[0] == 0xFF && b[1] == 0xFE) ||
                       (b[0] == 0 && b[1] == '<') || (b[0] == '<' && b[1] == 0))) {
        return true;  // UTF-16
    }
    if (m_end >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        m_pos = 3;
    }
    std::string_view start(m_buffer.get() + m_pos, m_end - m_pos);
    if (!start.starts_with("<?xml")) {
        return false;
    }
    size_t close;
    while ((close = std::string_view(m_buffer.get() + m_pos, m_end - m_pos).find("?>")) ==
               std::string_view::npos &&
           m_end - m_pos < 4096 && readMore()) {
    }
    std::string_view declaration(m_buffer.get() + m_pos, m_end - m_pos);
    if (close == std::string_view::npos) {
        return false;  // the main loop reports the broken declaration
    }
    declaration = declaration.substr(0, close);
    size_t at = declaration.find("encoding");
    if (at == std::string_view::npos) {
        return false;
    }
    size_t quote = declaration.find_first_of("\"'", at);
    if (quote == std::string_view::npos) {
        return false;
    }
    size_t endQuote = declaration.find(declaration[quote], quote + 1);
    if (endQuote == std::string_view::npos) {
        return false;
    }
    std::string encoding = asciiLower(declaration.substr(quote + 1, endQuote - quote - 1));
    return encoding != "utf-8" && encoding != "utf8" && encoding != "us-ascii" &&
           encoding != "ascii";
}

void FastScanner::run() {
    m_capacity = kReadSize;
    m_buffer.reset(new char[m_capacity]);
    if (needsExpat()) {
        parseXmlWithExpat(m_source, m_handler, std::string_view(m_buffer.get(), m_end));
        return;
    }
    for (;;) {
        if (m_pos == m_end && !readMore()) {
            break;
        }
        if (m_buffer[m_pos] != '<') {
            scanText();
        } else if (!parseMarkup() && !readMore(m_end - m_pos)) {
            failAt(m_end, "unclosed token");
        }
    }
    if (m_depth > 0 || !m_rootSeen) {
        failAt(m_end, "no element found");
    }
}

void FastScanner::scanText() {
    char* base = m_buffer.get();
    const char* begin = base + m_pos;
    const char* end = base + m_end;
    bool special = false;
    for (const char* p = begin; p < end; ++p) {
        uint8_t byteClass = classOf(*p);
        if (byteClass & (kLess | kTextSpecial)) {
            if (byteClass & kLess) {
                emitText(begin, p, special);
                m_pos = static_cast<size_t>(p - base);
                return;
            }
            special = true;
        }
    }
    // The text goes on past the buffer: hand over what cannot belong to an entity reference
    // or a CR LF pair cut in two, and read on.
    const char* safe = end;
    for (const char* p = end; p > begin && end - p < static_cast<ptrdiff_t>(kMaxEntity);) {
        --p;
        if (*p == ';') {
            break;
        }
        if (*p == '&') {
            safe = p;
            break;
        }
    }
    if (safe > begin && safe[-1] == '\r') {
        --safe;
    }
    emitText(begin, safe, special);
    m_pos = static_cast<size_t>(safe - base);
    if (!readMore()) {
        emitText(m_buffer.get() + m_pos, m_buffer.get() + m_end, true);
        m_pos = m_end;
    }
}

void FastScanner::emitText(const char* begin, const char* end, bool special) {
    if (begin == end) {
        return;
    }
    if (m_depth == 0) {
        for (const char* p = begin; p < end; ++p) {
            if (!isSpace(*p)) {
                failAt(p, m_rootClosed ? "junk after document element" : "syntax error");
            }
        }
        return;
    }
    if (special) {
        decodeInto(m_text, begin, end, false);
        m_handler.characters(m_text);
        return;
    }
    m_handler.characters(std::string_view(begin, static_cast<size_t>(end - begin)));
}

// Text taken as it is (CDATA): only line ends are normalised.
void FastScanner::emitRaw(const char* begin, const char* end) {
    if (begin == end) {
        return;
    }
    if (!std::memchr(begin, '\r', end - begin)) {
        m_handler.characters(std::string_view(begin, static_cast<size_t>(end - begin)));
        return;
    }
    m_text.clear();
    for (const char* p = begin; p < end; ++p) {
        if (*p == '\r') {
            m_text.push_back('\n');
            if (p + 1 < end && p[1] == '\n') {
                ++p;
            }
        } else {
            m_text.push_back(*p);
        }
    }
    m_handler.characters(m_text);
}

void FastScanner::decodeInto(std::string& out, const char* begin, const char* end, bool attribute) {
    out.clear();
    for (const char* p = begin; p < end;) {
        char c = *p;
        if (c == '&') {
            size_t room = std::min(static_cast<size_t>(end - p), kMaxEntity);
            const auto* semi = static_cast<const char*>(std::memchr(p, ';', room));
            if (!semi) {
                failAt(p, "not well-formed (invalid token)");
            }
            std::string_view name(p + 1, static_cast<size_t>(semi - p - 1));
            if (name == "lt") {
                out.push_back('<');
            } else if (name == "gt") {
                out.push_back('>');
            } else if (name == "amp") {
                out.push_back('&');
            } else if (name == "quot") {
                out.push_back('"');
            } else if (name == "apos") {
                out.push_back('\'');
            } else if (name.size() >= 2 && name[0] == '#') {
                bool hex = name[1] == 'x';
                std::string_view digits = name.substr(hex ? 2 : 1);
                uint32_t code = 0;
                bool ok = !digits.empty();
                for (char d : digits) {
                    uint32_t v;
                    if (d >= '0' && d <= '9') {
                        v = static_cast<uint32_t>(d - '0');
                    } else if (hex && d >= 'a' && d <= 'f') {
                        v = static_cast<uint32_t>(d - 'a' + 10);
                    } else if (hex && d >= 'A' && d <= 'F') {
                        v = static_cast<uint32_t>(d - 'A' + 10);
                    } else {
                        ok = false;
                        break;
                    }
                    code = code * (hex ? 16 : 10) + v;
                    if (code > 0x10FFFF) {
                        ok = false;
                        break;
                    }
                }
                if (!ok || !isXmlChar(code)) {
                    failAt(p, "reference to invalid character number");
                }
                appendUtf8(out, code);
            } else {
                failAt(p, "undefined entity");
            }
            p = semi + 1;
        } else if (c == '\r') {
            out.push_back(attribute ? ' ' : '\n');
            p += (p + 1 < end && p[1] == '\n') ? 2 : 1;
        } else {
            out.push_back(attribute && (c == '\n' || c == '\t') ? ' ' : c);
            ++p;
        }
    }
}

bool FastScanner::parseMarkup() {
    if (m_end - m_pos < 2) {
        return false;
    }
    switch (m_buffer[m_pos + 1]) {
        case '/':
            return parseEndTag();
        case '?':
            return skipProcessingInstruction();
        case '!': {
            std::string_view rest(m_buffer.get() + m_pos, m_end - m_pos);
            if (rest.size() < 4) {
                return false;
            }
            if (rest.starts_with("<!--")) {
                skipComment();
                return true;
            }
            if (rest.size() < 9) {
                return false;
            }
            if (rest.starts_with("<![CDATA[")) {
                readCdata();
                return true;
            }
            if (rest.starts_with("<!DOCTYPE")) {
                failAt(m_pos, "document type declarations are not allowed");
            }
            failAt(m_pos, "not well-formed (invalid token)");
        }
        default:
            return parseStartTag();
    }
}

bool FastScanner::parseStartTag() {
    char* base = m_buffer.get();
    const char* begin = base + m_pos + 1;
    const char* end = base + m_end;
    const char* p = begin;
    while (p < end && !endsName(*p)) {
        ++p;
    }
    if (p == end) {
        return false;
    }
    std::string_view name(begin, static_cast<size_t>(p - begin));
    if (name.empty() || !isValidNameStart(name[0])) {
        failAt(begin, "not well-formed (invalid token)");
    }
    m_rawAttributes.clear();
    bool selfClosing = false;
    for (;;) {
        while (p < end && isSpace(*p)) {
            ++p;
        }
        if (p == end) {
            return false;
        }
        if (*p == '>') {
            ++p;
            break;
        }
        if (*p == '/') {
            if (p + 1 == end) {
                return false;
            }
            if (p[1] != '>') {
                failAt(p, "not well-formed (invalid token)");
            }
            selfClosing = true;
            p += 2;
            break;
        }
        if (!isSpace(p[-1])) {
            failAt(p, "not well-formed (invalid token)");
        }
        const char* attributeName = p;
        while (p < end && !endsName(*p)) {
            ++p;
        }
        if (p == end) {
            return false;
        }
        const char* attributeNameEnd = p;
        if (attributeNameEnd == attributeName || !isValidNameStart(*attributeName)) {
            failAt(p, "not well-formed (invalid token)");
        }
        while (p < end && isSpace(*p)) {
            ++p;
        }
        if (p == end) {
            return false;
        }
        if (*p != '=') {
            failAt(p, "not well-formed (invalid token)");
        }
        ++p;
        while (p < end && isSpace(*p)) {
            ++p;
        }
        if (p == end) {
            return false;
        }
        char quote = *p;
        if (quote != '"' && quote != '\'') {
            failAt(p, "not well-formed (invalid token)");
        }
        ++p;
        const char* valueEnd = p;
        uint8_t seen = 0;
        for (; valueEnd < end; ++valueEnd) {
            uint8_t byteClass = classOf(*valueEnd);
            if (byteClass & (kQuote | kLess | kNeedsDecoding)) {
                if (*valueEnd == quote) {
                    break;
                }
                if (byteClass & kLess) {
                    failAt(valueEnd, "not well-formed (invalid token)");
                }
                seen |= byteClass;
            }
        }
        if (valueEnd == end) {
            return false;
        }
        m_rawAttributes.push_back(
            {attributeName, attributeNameEnd, p, valueEnd, (seen & kNeedsDecoding) != 0});
        p = valueEnd + 1;
    }

    if (m_depth == 0 && m_rootClosed) {
        failAt(begin, "junk after document element");
    }
    if (m_depth >= kMaxDepth) {
        failAt(begin, "elements are nested more than 1024 deep");
    }

    // Values with references or white space to normalise are decoded into one scratch
    // string; the views are made once it no longer grows.
    m_decodedValues.clear();
    m_decodedSpans.clear();
    for (const RawAttribute& raw : m_rawAttributes) {
        if (!raw.needsDecoding) {
            m_decodedSpans.emplace_back(SIZE_MAX, 0);
        } else {
            decodeInto(m_text, raw.value, raw.valueEnd, true);
            m_decodedSpans.emplace_back(m_decodedValues.size(), m_text.size());
            m_decodedValues += m_text;
        }
    }
    m_attributes.clear();
    for (size_t i = 0; i < m_rawAttributes.size(); ++i) {
        const RawAttribute& raw = m_rawAttributes[i];
        std::string_view attributeName(raw.name, static_cast<size_t>(raw.nameEnd - raw.name));
        std::string_view value =
            m_decodedSpans[i].first == SIZE_MAX
                ? std::string_view(raw.value, static_cast<size_t>(raw.valueEnd - raw.value))
                : std::string_view(m_decodedValues)
                      .substr(m_decodedSpans[i].first, m_decodedSpans[i].second);
        m_attributes.push_back({attributeLocalName(attributeName), value});
    }

    m_pos = static_cast<size_t>(p - base);
    m_rootSeen = true;
    std::string_view local = localName(name);
    if (selfClosing) {
        m_handler.startElement(local, m_attributes);
        m_handler.endElement(local);
        if (m_depth == 0) {
            m_rootClosed = true;
        }
        return true;
    }
    m_openNameStarts.push_back(static_cast<uint32_t>(m_openNames.size()));
    m_openNames += name;
    ++m_depth;
    m_handler.startElement(local, m_attributes);
    return true;
}

bool FastScanner::parseEndTag() {
    char* base = m_buffer.get();
    const char* begin = base + m_pos + 2;
    const char* end = base + m_end;
    const char* gt = findByte(begin, end, '>');
    if (!gt) {
        return false;
    }
    const char* nameEnd = begin;
    while (nameEnd < gt && !isSpace(*nameEnd)) {
        ++nameEnd;
    }
    for (const char* q = nameEnd; q < gt; ++q) {
        if (!isSpace(*q)) {
            failAt(q, "not well-formed (invalid token)");
        }
    }
    std::string_view name(begin, static_cast<size_t>(nameEnd - begin));
    if (m_depth == 0 ||
        !sameName(std::string_view(m_openNames).substr(m_openNameStarts.back()), name)) {
        failAt(begin, "mismatched tag");
    }
    m_openNames.resize(m_openNameStarts.back());
    m_openNameStarts.pop_back();
    --m_depth;
    if (m_depth == 0) {
        m_rootClosed = true;
    }
    m_pos = static_cast<size_t>(gt + 1 - base);
    m_handler.endElement(localName(name));
    return true;
}

bool FastScanner::skipProcessingInstruction() {
    std::string_view rest(m_buffer.get() + m_pos, m_end - m_pos);
    size_t close = rest.find("?>", 2);
    if (close == std::string_view::npos) {
        return false;
    }
    m_pos += close + 2;
    return true;
}

void FastScanner::skipComment() {
    m_pos += 4;
    for (;;) {
        std::string_view rest(m_buffer.get() + m_pos, m_end - m_pos);
        size_t close = rest.find("-->");
        if (close != std::string_view::npos) {
            m_pos += close + 3;
            return;
        }
        // Keep only the last two bytes, which may begin the terminator.
        if (rest.size() > 2) {
            m_pos = m_end - 2;
        }
        if (!readMore()) {
            failAt(m_end, "unclosed token");
        }
    }
}

void FastScanner::readCdata() {
    if (m_depth == 0) {
        failAt(m_pos, "syntax error");
    }
    m_pos += 9;
    for (;;) {
        std::string_view rest(m_buffer.get() + m_pos, m_end - m_pos);
        size_t close = rest.find("]]>");
        if (close != std::string_view::npos) {
            emitRaw(rest.data(), rest.data() + close);
            m_pos += close + 3;
            return;
        }
        if (rest.size() > 3) {
            size_t keep = rest[rest.size() - 3] == '\r' ? 3 : 2;
            emitRaw(rest.data(), rest.data() + rest.size() - keep);
            m_pos = m_end - keep;
        }
        if (!readMore()) {
            failAt(m_end, "unclosed token");
        }
    }
}

}  // namespace

void parseXmlFast(ByteSource& source, XmlHandler& handler) {
    FastScanner scanner(source, handler);
    scanner.run();
}

}  // namespace plyfold::engine::xlsx_read
