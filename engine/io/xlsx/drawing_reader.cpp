#include "engine/io/xlsx/drawing_reader.h"

#include <map>
#include <set>

#include "engine/io/xlsx/opc_package.h"
#include "engine/io/xlsx/read_failure.h"
#include "engine/io/xlsx/value_parsing.h"
#include "engine/model/limits.h"
#include "engine/model/sheet.h"

namespace plyfold::engine::xlsx_read {
namespace {

// Bounds on what a hostile file can make the reader hold: more than any real sheet has.
constexpr size_t kMaxObjectsPerSheet = 100'000;
constexpr size_t kMaxLinksPerPart = 10'000;
constexpr size_t kMaxFormulasPerChart = 100'000;
constexpr int kMaxPartDepth = 4;     // drawing -> chart -> chart's drawing -> picture
constexpr int kMaxWrapperDepth = 8;  // compatibility wrappers inside fallbacks
// Attributes of one tag, and namespace declarations in force: far more than any writer uses,
// few enough that looking through them stays cheap.
constexpr size_t kMaxAttributes = 4096;
constexpr std::string_view kRelationshipsNamespace =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr std::string_view kStrictRelationshipsNamespace =
    "http://purl.oclc.org/ooxml/officeDocument/relationships";
constexpr std::string_view kChartContentType =
    "application/vnd.openxmlformats-officedocument.drawingml.chart+xml";

[[noreturn]] void damaged(const std::string& what) {
    fail(FailureKind::Damaged, "its XML is not well-formed: " + what);
}

std::string_view localOf(std::string_view qualified) {
    const size_t colon = qualified.find(':');
    return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
}

std::string_view prefixOf(std::string_view qualified) {
    const size_t colon = qualified.find(':');
    return colon == std::string_view::npos ? std::string_view{} : qualified.substr(0, colon);
}

std::string decodeText(std::string_view text);

// The markup of a small XML document with the byte positions of everything, which the
// event parsers do not give: what is carried is cut out of the text as it stands.
struct Attribute {
    std::string_view name;   // qualified
    std::string_view value;  // raw, entities not decoded
    size_t valueBegin = 0;   // in the document
};

struct Token {
    enum class Kind : uint8_t { Start, End, Empty, Text, Other };
    Kind kind = Kind::Other;
    size_t begin = 0;
    size_t end = 0;
    std::string_view name;  // qualified, for tags
    std::vector<Attribute> attributes;
};

class Tokenizer {
public:
    explicit Tokenizer(std::string_view text) : m_text(text) {}

    // The next token; false at the end.
    bool next(Token& token) {
        token.attributes.clear();
        token.name = {};
        if (m_pos >= m_text.size()) {
            return false;
        }
        token.begin = m_pos;
        if (m_text[m_pos] != '<') {
            const size_t lt = m_text.find('<', m_pos);
            m_pos = lt == std::string_view::npos ? m_text.size() : lt;
            // What is copied must be well-formed: every "&" starts an entity.
            checkEntities(m_text.substr(token.begin, m_pos - token.begin));
            token.kind = Token::Kind::Text;
            token.end = m_pos;
            return true;
        }
        const std::string_view rest = m_text.substr(m_pos);
        if (rest.starts_with("<?")) {
            skipPast("?>");
        } else if (rest.starts_with("<!--")) {
            skipPast("-->");
        } else if (rest.starts_with("<![CDATA[")) {
            skipPast("]]>");
        } else if (rest.starts_with("<!")) {
            // Document types can declare entities that expand without bound.
            fail(FailureKind::Invalid, "it declares a document type");
        } else {
            readTag(token);
            token.end = m_pos;
            return true;
        }
        token.kind = Token::Kind::Other;
        token.end = m_pos;
        return true;
    }

private:
    static void checkEntities(std::string_view text) {
        if (text.find('&') != std::string_view::npos) {
            decodeText(text);
        }
    }

    void skipPast(std::string_view marker) {
        const size_t at = m_text.find(marker, m_pos);
        if (at == std::string_view::npos) {
            damaged("it ends inside markup");
        }
        m_pos = at + marker.size();
    }

    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
    static bool isNameChar(char c) {
        return !isSpace(c) && c != '>' && c != '/' && c != '=' && c != '<' && c != '"' && c != '\'';
    }

    void skipSpace() {
        while (m_pos < m_text.size() && isSpace(m_text[m_pos])) {
            ++m_pos;
        }
    }

    std::string_view readName() {
        const size_t start = m_pos;
        while (m_pos < m_text.size() && isNameChar(m_text[m_pos])) {
            ++m_pos;
        }
        if (m_pos == start) {
            damaged("a tag lacks its name");
        }
        return m_text.substr(start, m_pos - start);
    }

    void readTag(Token& token) {
        ++m_pos;
        bool closing = false;
        if (m_pos < m_text.size() && m_text[m_pos] == '/') {
            closing = true;
            ++m_pos;
        }
        token.name = readName();
        for (;;) {
            skipSpace();
            if (m_pos >= m_text.size()) {
                damaged("it ends inside a tag");
            }
            const char c = m_text[m_pos];
            if (c == '>') {
                ++m_pos;
                token.kind = closing ? Token::Kind::End : Token::Kind::Start;
                return;
            }
            if (c == '/' && !closing && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '>') {
                m_pos += 2;
                token.kind = Token::Kind::Empty;
                return;
            }
            if (closing) {
                damaged("an end tag holds more than its name");
            }
            Attribute attribute;
            attribute.name = readName();
            skipSpace();
            if (m_pos >= m_text.size() || m_text[m_pos] != '=') {
                damaged("an attribute lacks its value");
            }
            ++m_pos;
            skipSpace();
            if (m_pos >= m_text.size() || (m_text[m_pos] != '"' && m_text[m_pos] != '\'')) {
                damaged("an attribute value is not quoted");
            }
            const char quote = m_text[m_pos++];
            const size_t close = m_text.find(quote, m_pos);
            if (close == std::string_view::npos) {
                damaged("it ends inside an attribute value");
            }
            attribute.valueBegin = m_pos;
            attribute.value = m_text.substr(m_pos, close - m_pos);
            if (attribute.value.find('<') != std::string_view::npos) {
                damaged("an attribute value holds '<'");
            }
            checkEntities(attribute.value);
            m_pos = close + 1;
            if (token.attributes.size() >= kMaxAttributes) {
                fail(FailureKind::TooLarge,
                     "a tag holds more than " + std::to_string(kMaxAttributes) + " attributes");
            }
            token.attributes.push_back(attribute);
        }
    }

    std::string_view m_text;
    size_t m_pos = 0;
};

// Decodes the five named entities and character references of XML text.
std::string decodeText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const size_t semi = text.find(';', i);
        if (semi == std::string_view::npos) {
            damaged("an entity is not closed");
        }
        const std::string_view entity = text.substr(i + 1, semi - i - 1);
        if (entity == "amp") {
            out += '&';
        } else if (entity == "lt") {
            out += '<';
        } else if (entity == "gt") {
            out += '>';
        } else if (entity == "quot") {
            out += '"';
        } else if (entity == "apos") {
            out += '\'';
        } else if (entity.size() > 1 && entity[0] == '#') {
            uint32_t code = 0;
            const bool hex = entity[1] == 'x' || entity[1] == 'X';
            for (char c : entity.substr(hex ? 2 : 1)) {
                uint32_t digit = 0;
                if (c >= '0' && c <= '9') {
                    digit = static_cast<uint32_t>(c - '0');
                } else if (hex && c >= 'a' && c <= 'f') {
                    digit = static_cast<uint32_t>(c - 'a' + 10);
                } else if (hex && c >= 'A' && c <= 'F') {
                    digit = static_cast<uint32_t>(c - 'A' + 10);
                } else {
                    damaged("a character reference is not a number");
                }
                code = code * (hex ? 16 : 10) + digit;
                if (code > 0x10FFFF) {
                    damaged("a character reference is out of range");
                }
            }
            if (code < 0x80) {
                out += static_cast<char>(code);
            } else if (code < 0x800) {
                out += static_cast<char>(0xC0 | (code >> 6));
                out += static_cast<char>(0x80 | (code & 0x3F));
            } else if (code < 0x10000) {
                out += static_cast<char>(0xE0 | (code >> 12));
                out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (code & 0x3F));
            } else {
                out += static_cast<char>(0xF0 | (code >> 18));
                out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
                out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (code & 0x3F));
            }
        } else {
            damaged("it uses an undeclared entity");
        }
        i = semi;
    }
    return out;
}

int64_t integerText(std::string_view text) {
    std::string decoded = decodeText(text);
    size_t i = 0;
    while (i < decoded.size() &&
           (decoded[i] == ' ' || decoded[i] == '\n' || decoded[i] == '\t' || decoded[i] == '\r')) {
        ++i;
    }
    bool negative = false;
    if (i < decoded.size() && (decoded[i] == '-' || decoded[i] == '+')) {
        negative = decoded[i] == '-';
        ++i;
    }
    int64_t value = 0;
    for (; i < decoded.size() && decoded[i] >= '0' && decoded[i] <= '9'; ++i) {
        value = value * 10 + (decoded[i] - '0');
        if (value > (int64_t{1} << 50)) {
            return negative ? -(int64_t{1} << 50) : int64_t{1} << 50;
        }
    }
    return negative ? -value : value;
}

std::string_view attributeValue(const Token& token, std::string_view local) {
    for (const Attribute& a : token.attributes) {
        if (localOf(a.name) == local && prefixOf(a.name) != "xmlns") {
            return a.value;
        }
    }
    return {};
}

bool isDeclaration(const Attribute& a) {
    return a.name == "xmlns" || prefixOf(a.name) == "xmlns";
}

// The namespace declarations in force, innermost last.
class Scopes {
public:
    void push(const Token& token) {
        m_marks.push_back(m_declarations.size());
        for (const Attribute& a : token.attributes) {
            if (isDeclaration(a)) {
                if (m_declarations.size() >= kMaxAttributes) {
                    fail(FailureKind::TooLarge, "it declares too many namespaces");
                }
                m_declarations.emplace_back(a.name == "xmlns" ? "" : localOf(a.name), a.value);
            }
        }
    }
    void pop() {
        m_declarations.resize(m_marks.back());
        m_marks.pop_back();
    }
    bool isRelationshipsPrefix(std::string_view prefix) const {
        for (auto it = m_declarations.rbegin(); it != m_declarations.rend(); ++it) {
            if (it->first == prefix) {
                return it->second == kRelationshipsNamespace ||
                       it->second == kStrictRelationshipsNamespace;
            }
        }
        return false;
    }
    std::vector<std::string_view> relationshipsPrefixes() const {
        std::vector<std::string_view> out;
        for (const auto& [prefix, uri] : m_declarations) {
            if (!prefix.empty() && isRelationshipsPrefix(prefix)) {
                out.push_back(prefix);
            }
        }
        return out;
    }
    // The declarations in force, one a prefix, as attribute text.
    std::string text() const {
        std::map<std::string_view, std::string_view> byPrefix;
        for (const auto& [prefix, uri] : m_declarations) {
            byPrefix[prefix] = uri;
        }
        std::string out;
        for (const auto& [prefix, uri] : byPrefix) {
            out += prefix.empty() ? " xmlns=\"" : " xmlns:" + std::string(prefix) + "=\"";
            for (char c : uri) {
                out += c == '"' ? std::string_view("&quot;") : std::string_view(&c, 1);
            }
            out += '"';
        }
        return out;
    }

private:
    std::vector<std::pair<std::string_view, std::string_view>> m_declarations;
    std::vector<size_t> m_marks;
};

// Reads the objects of a drawing part: the anchors under its root, and those in the fallback
// of a markup-compatibility wrapper (whose choices need extensions the result may not have).
class DrawingParser {
public:
    DrawingParser(std::string_view xml,
                  const std::function<const DrawingLink*(std::string_view)>& find)
        : m_xml(xml), m_tokens(xml), m_find(find) {}

    std::vector<DrawingObject> parse() {
        Token token;
        // The root.
        for (;;) {
            if (!m_tokens.next(token)) {
                damaged("it has no root element");
            }
            if (token.kind == Token::Kind::Start) {
                break;
            }
            if (token.kind == Token::Kind::Empty) {
                return {};
            }
        }
        m_scopes.push(token);
        readChildren(token.name, 0);
        return std::move(m_objects);
    }

private:
    bool nextToken(Token& token) {
        if (!m_tokens.next(token)) {
            damaged("it ends before its elements are closed");
        }
        return true;
    }

    // Reads the children of an open element up to its end tag. Inside a wrapper (depth > 0)
    // only the fallback's content counts.
    void readChildren(std::string_view parent, int wrapperDepth) {
        Token token;
        while (nextToken(token)) {
            if (token.kind == Token::Kind::End) {
                if (token.name != parent) {
                    damaged("</" + std::string(token.name) + "> closes <" + std::string(parent) +
                            ">");
                }
                m_scopes.pop();
                return;
            }
            if (token.kind != Token::Kind::Start && token.kind != Token::Kind::Empty) {
                continue;
            }
            const std::string_view local = localOf(token.name);
            const bool empty = token.kind == Token::Kind::Empty;
            if (!empty && (local == "twoCellAnchor" || local == "oneCellAnchor" ||
                           local == "absoluteAnchor")) {
                m_scopes.push(token);
                readAnchor(token);
            } else if (!empty && local == "AlternateContent" && wrapperDepth < kMaxWrapperDepth) {
                m_scopes.push(token);
                if (wrapperDepth == 0) {
                    readWrapper(token);
                } else {
                    readChildren(token.name, wrapperDepth + 1);
                }
            } else if (!empty && local == "Fallback" && wrapperDepth > 0) {
                if (wrapperDepth == 1 && m_fallbackBegin == std::string_view::npos) {
                    m_fallbackBegin = token.begin;
                    m_fallbackName = token.name;
                }
                m_scopes.push(token);
                readChildren(token.name, wrapperDepth);
            } else if (!empty) {
                skipElement(token.name);
            }
        }
    }

    // A compatibility wrapper under the root. Its fallback gives the object; its choices go
    // with it as written, so that programs that have the extension still show them, when the
    // fallback is one object and the choices name no relationship (which could not be
    // renamed).
    void readWrapper(const Token& wrapper) {
        const size_t before = m_objects.size();
        m_fallbackBegin = std::string_view::npos;
        std::vector<std::string> linkPrefixes;
        for (std::string_view prefix : m_scopes.relationshipsPrefixes()) {
            linkPrefixes.emplace_back(prefix);
        }
        readChildren(wrapper.name, 1);
        if (m_fallbackBegin == std::string_view::npos || m_objects.size() != before + 1) {
            return;
        }
        const std::string_view choices = m_xml.substr(wrapper.end, m_fallbackBegin - wrapper.end);
        if (choices.find(kRelationshipsNamespace) != std::string_view::npos ||
            choices.find(kStrictRelationshipsNamespace) != std::string_view::npos) {
            return;
        }
        for (const std::string& prefix : linkPrefixes) {
            for (char space : {' ', '\t', '\n', '\r'}) {
                if (choices.find(std::string(1, space) + prefix + ":") != std::string_view::npos) {
                    return;
                }
            }
        }
        DrawingObject& object = m_objects.back();
        object.wrapper.element = std::string(wrapper.name);
        object.wrapper.fallback = std::string(m_fallbackName);
        object.wrapper.choices = std::string(choices);
    }

    void skipElement(std::string_view name) {
        std::vector<std::string_view> open{name};
        Token token;
        while (!open.empty()) {
            nextToken(token);
            if (token.kind == Token::Kind::Start) {
                open.push_back(token.name);
            } else if (token.kind == Token::Kind::End) {
                if (token.name != open.back()) {
                    damaged("</" + std::string(token.name) + "> closes <" +
                            std::string(open.back()) + ">");
                }
                open.pop_back();
            }
        }
    }

    // The text of a simple element (<xdr:col>3</xdr:col>) whose start tag was read.
    std::string_view simpleText(const Token& start) {
        if (start.kind == Token::Kind::Empty) {
            return {};
        }
        Token token;
        std::string_view text;
        for (;;) {
            nextToken(token);
            if (token.kind == Token::Kind::Text) {
                text = m_xml.substr(token.begin, token.end - token.begin);
            } else if (token.kind == Token::Kind::End) {
                if (token.name != start.name) {
                    damaged("</" + std::string(token.name) + "> closes <" +
                            std::string(start.name) + ">");
                }
                return text;
            } else if (token.kind == Token::Kind::Start) {
                skipElement(token.name);
            }
        }
    }

    void readMarker(const Token& start, AnchorMarker& marker) {
        if (start.kind == Token::Kind::Empty) {
            return;
        }
        Token token;
        for (;;) {
            nextToken(token);
            if (token.kind == Token::Kind::End) {
                return;
            }
            if (token.kind != Token::Kind::Start && token.kind != Token::Kind::Empty) {
                continue;
            }
            const std::string_view local = localOf(token.name);
            const Token copy = token;
            const int64_t value = integerText(simpleText(copy));
            if (local == "col") {
                marker.column =
                    static_cast<int32_t>(std::clamp<int64_t>(value, 0, kMaxColumns - 1));
            } else if (local == "row") {
                marker.row = static_cast<int32_t>(std::clamp<int64_t>(value, 0, kMaxRows - 1));
            } else if (local == "colOff") {
                marker.columnOffset = value;
            } else if (local == "rowOff") {
                marker.rowOffset = value;
            }
        }
    }

    void readAnchor(const Token& anchorToken) {
        DrawingObject object;
        const std::string_view local = localOf(anchorToken.name);
        object.anchor = local == "twoCellAnchor"   ? AnchorKind::TwoCell
                        : local == "oneCellAnchor" ? AnchorKind::OneCell
                                                   : AnchorKind::Absolute;
        const std::string_view prefix = prefixOf(anchorToken.name);
        object.prefix = prefix.empty() ? "" : std::string(prefix) + ":";
        object.editAs = decodeText(attributeValue(anchorToken, "editAs"));
        object.namespaces = m_scopes.text();
        bool valid = true;
        size_t contentBegin = std::string_view::npos;
        size_t contentEnd = 0;
        std::vector<Attribute> linkAttributes;
        int depth = 0;  // inside the object's content
        Token token;
        for (;;) {
            nextToken(token);
            if (token.kind == Token::Kind::End) {
                if (depth == 0) {
                    if (token.name != anchorToken.name) {
                        damaged("</" + std::string(token.name) + "> closes <" +
                                std::string(anchorToken.name) + ">");
                    }
                    contentEnd = token.begin;
                    m_scopes.pop();
                    break;
                }
                --depth;
                m_scopes.pop();
                continue;
            }
            if (token.kind != Token::Kind::Start && token.kind != Token::Kind::Empty) {
                continue;
            }
            if (depth == 0 && contentBegin == std::string_view::npos) {
                const std::string_view child = localOf(token.name);
                if (child == "from" || child == "to") {
                    AnchorMarker& marker = child == "from" ? object.from : object.to;
                    const Token copy = token;
                    readMarker(copy, marker);
                    continue;
                }
                if (child == "pos") {
                    object.x = integerText(attributeValue(token, "x"));
                    object.y = integerText(attributeValue(token, "y"));
                    if (token.kind == Token::Kind::Start) {
                        skipElement(token.name);
                    }
                    continue;
                }
                if (child == "ext") {
                    object.width = integerText(attributeValue(token, "cx"));
                    object.height = integerText(attributeValue(token, "cy"));
                    if (token.kind == Token::Kind::Start) {
                        skipElement(token.name);
                    }
                    continue;
                }
                contentBegin = token.begin;
            }
            m_scopes.push(token);
            for (const Attribute& a : token.attributes) {
                if (!isDeclaration(a) && !a.value.empty() &&
                    m_scopes.isRelationshipsPrefix(prefixOf(a.name))) {
                    linkAttributes.push_back(a);
                }
            }
            if (token.kind == Token::Kind::Start) {
                ++depth;
            } else {
                m_scopes.pop();
            }
        }
        if (contentBegin == std::string_view::npos || m_objects.size() >= kMaxObjectsPerSheet) {
            return;
        }
        // The object's XML, cut at the relationship ids it names.
        std::map<std::string, uint32_t> linkIndex;
        size_t at = contentBegin;
        for (const Attribute& a : linkAttributes) {
            const std::string id = decodeText(a.value);
            auto [it, added] =
                linkIndex.try_emplace(id, static_cast<uint32_t>(object.links.size()));
            if (added) {
                const DrawingLink* link = m_find(id);
                if (!link || object.links.size() >= kMaxLinksPerPart) {
                    valid = false;
                    break;
                }
                object.links.push_back(*link);
            }
            object.pieces.emplace_back(m_xml.substr(at, a.valueBegin - at));
            object.linkSlots.push_back(it->second);
            at = a.valueBegin + a.value.size();
        }
        object.pieces.emplace_back(m_xml.substr(at, contentEnd - at));
        if (valid) {
            m_objects.push_back(std::move(object));
        }
    }

    std::string_view m_xml;
    Tokenizer m_tokens;
    const std::function<const DrawingLink*(std::string_view)>& m_find;
    Scopes m_scopes;
    std::vector<DrawingObject> m_objects;
    size_t m_fallbackBegin = std::string_view::npos;  // of the wrapper being read
    std::string_view m_fallbackName;
};

// Reads a whole part into memory, counted against the sheet.
std::string readWhole(ZipPackage& package, const std::string& stored, Sheet& sheet) {
    std::unique_ptr<ByteSource> source = package.openPart(stored, kMaxSmallPartBytes);
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const size_t n = source->read(buffer, sizeof buffer);
        if (n == 0) {
            break;
        }
        sheet.countLoaded(n);
        bytes.append(buffer, n);
    }
    return bytes;
}

// The content types of the package's parts: by part name (lower case, no leading "/"), and
// by extension for the rest.
class ContentTypes : public XmlHandler {
public:
    void startElement(std::string_view name, XmlAttributes attributes) override {
        if (name == "Override") {
            std::string part(attributeOr(attributes, "PartName"));
            if (!part.empty() && part[0] == '/') {
                part.erase(0, 1);
            }
            overrides[lower(part)] = std::string(attributeOr(attributes, "ContentType"));
        } else if (name == "Default") {
            defaults[lower(attributeOr(attributes, "Extension"))] =
                std::string(attributeOr(attributes, "ContentType"));
        }
    }
    void endElement(std::string_view) override {}
    void characters(std::string_view) override {}

    std::string of(const std::string& part) const {
        if (auto it = overrides.find(lower(part)); it != overrides.end()) {
            return it->second;
        }
        const size_t dot = part.rfind('.');
        if (dot != std::string::npos) {
            if (auto it = defaults.find(lower(part.substr(dot + 1))); it != defaults.end()) {
                return it->second;
            }
        }
        return "application/octet-stream";
    }

    static std::string lower(std::string_view text) {
        std::string out(text);
        for (char& c : out) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
        return out;
    }

    std::map<std::string, std::string> overrides;
    std::map<std::string, std::string> defaults;
};

// Reads the parts a drawing uses, each once, with the parts they use in turn.
class PartReader {
public:
    PartReader(ZipPackage& package, Sheet& sheet, std::string& part)
        : m_package(package), m_sheet(sheet), m_part(part) {
        if (std::optional<std::string> stored = package.findPart("[Content_Types].xml")) {
            parsePart(package, *stored, m_types, kMaxSmallPartBytes, false);
        }
    }

    // The links of a part by id; parts they name that are missing are left out.
    std::map<std::string, DrawingLink> linksOf(const std::string& partName, int depth) {
        std::map<std::string, DrawingLink> links;
        m_part = relationshipsPartOf(partName);
        for (const Relationship& r : readRelationships(m_package, partName)) {
            if (links.size() >= kMaxLinksPerPart) {
                break;
            }
            DrawingLink link;
            link.type = r.type;
            if (r.external) {
                link.external = true;
                link.target = r.target;
            } else {
                link.part = read(resolveTarget(partName, r.target), depth + 1);
                if (!link.part) {
                    continue;
                }
            }
            links.emplace(r.id, std::move(link));
        }
        return links;
    }

private:
    std::shared_ptr<const DrawingPart> read(const std::string& name, int depth) {
        if (depth > kMaxPartDepth) {
            return nullptr;
        }
        std::optional<std::string> stored = m_package.findPart(name);
        if (!stored) {
            return nullptr;
        }
        if (auto it = m_read.find(*stored); it != m_read.end()) {
            return it->second;  // null while it is being read: a cycle
        }
        m_read[*stored] = nullptr;
        auto part = std::make_shared<DrawingPart>();
        part->contentType = m_types.of(*stored);
        nameParts(*stored, *part);
        m_part = *stored;
        std::string bytes = readWhole(m_package, *stored, m_sheet);
        if (part->contentType == kChartContentType) {
            detail::splitChart(bytes, *part);
        } else {
            part->pieces.push_back(std::move(bytes));
        }
        for (auto& [id, link] : linksOf(*stored, depth)) {
            part->links.emplace_back(id, std::move(link));
        }
        m_read[*stored] = part;
        return part;
    }

    // The folder, stem and extension of "xl/media/image12.png": media, image, png.
    static void nameParts(const std::string& name, DrawingPart& part) {
        const size_t slash = name.rfind('/');
        const std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
        if (slash != std::string::npos) {
            const std::string folder = name.substr(0, slash);
            const size_t previous = folder.rfind('/');
            part.folder = previous == std::string::npos ? folder : folder.substr(previous + 1);
        }
        const size_t dot = file.rfind('.');
        std::string stem = dot == std::string::npos ? file : file.substr(0, dot);
        part.extension = dot == std::string::npos ? "" : file.substr(dot + 1);
        while (!stem.empty() && stem.back() >= '0' && stem.back() <= '9') {
            stem.pop_back();
        }
        part.stem = stem;
    }

    ZipPackage& m_package;
    Sheet& m_sheet;
    std::string& m_part;
    ContentTypes m_types;
    std::map<std::string, std::shared_ptr<const DrawingPart>> m_read;
};

}  // namespace

namespace detail {

std::vector<DrawingObject> parseDrawing(
    std::string_view xml, const std::function<const DrawingLink*(std::string_view)>& find) {
    DrawingParser parser(xml, find);
    return parser.parse();
}

void splitChart(std::string_view xml, DrawingPart& part) {
    Tokenizer tokens(xml);
    Token token;
    std::vector<std::string_view> open;
    size_t at = 0;
    // The start tag of an "f" element just read, and the text after it.
    std::string_view pendingName;
    size_t textBegin = 0;
    size_t textEnd = 0;
    bool sawText = false;
    while (tokens.next(token)) {
        switch (token.kind) {
            case Token::Kind::Start:
                open.push_back(token.name);
                if (localOf(token.name) == "f") {
                    pendingName = token.name;
                    textBegin = textEnd = token.end;
                    sawText = false;
                } else {
                    pendingName = {};
                }
                break;
            case Token::Kind::Text:
                if (!pendingName.empty()) {
                    if (sawText) {
                        pendingName = {};
                    }
                    textBegin = token.begin;
                    textEnd = token.end;
                    sawText = true;
                }
                break;
            case Token::Kind::End:
                if (open.empty() || open.back() != token.name) {
                    damaged("</" + std::string(token.name) + "> closes another element");
                }
                open.pop_back();
                // A text longer than any formula is kept as it stands.
                if (!pendingName.empty() && pendingName == token.name && sawText &&
                    textEnd - textBegin <= size_t{kMaxFormulaLength} * 6) {
                    if (part.formulas.size() >= kMaxFormulasPerChart) {
                        fail(FailureKind::TooLarge, "a chart holds too many references");
                    }
                    part.pieces.emplace_back(xml.substr(at, textBegin - at));
                    part.formulas.push_back(decodeText(xml.substr(textBegin, textEnd - textBegin)));
                    at = textEnd;
                }
                pendingName = {};
                break;
            case Token::Kind::Empty:
            case Token::Kind::Other:
                pendingName = {};
                break;
        }
    }
    if (!open.empty()) {
        damaged("it ends before its elements are closed");
    }
    part.pieces.emplace_back(xml.substr(at));
    part.readFormulas = part.formulas;
}

}  // namespace detail

std::vector<DrawingObject> readSheetDrawing(ZipPackage& package, const std::string& sheetPart,
                                            const std::string& relationshipId, Sheet& sheet,
                                            std::string& part) {
    part = relationshipsPartOf(sheetPart);
    std::optional<std::string> drawingName;
    for (const Relationship& r : readRelationships(package, sheetPart)) {
        if (r.id == relationshipId && !r.external && relationshipKind(r.type) == "drawing") {
            drawingName = package.findPart(resolveTarget(sheetPart, r.target));
        }
    }
    if (!drawingName) {
        return {};
    }
    PartReader parts(package, sheet, part);
    const std::map<std::string, DrawingLink> links = parts.linksOf(*drawingName, 0);
    part = *drawingName;
    const std::string xml = readWhole(package, *drawingName, sheet);
    std::vector<DrawingObject> objects =
        detail::parseDrawing(xml, [&](std::string_view id) -> const DrawingLink* {
            auto it = links.find(std::string(id));
            return it == links.end() ? nullptr : &it->second;
        });
    for (const DrawingObject& object : objects) {
        sheet.countLoaded(object.bytes());
    }
    return objects;
}

}  // namespace plyfold::engine::xlsx_read
