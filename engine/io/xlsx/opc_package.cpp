#include "engine/io/xlsx/opc_package.h"

#include "engine/common/text.h"
#include "engine/io/xlsx/read_failure.h"
#include "engine/io/xlsx/xml_parser.h"

namespace plyfold::engine::xlsx_read {
namespace {

class RelationshipsHandler : public XmlHandler {
public:
    explicit RelationshipsHandler(std::vector<Relationship>& out) : m_out(out) {}

    void startElement(std::string_view name, XmlAttributes attributes) override {
        ++m_depth;
        if (m_depth == 2 && name == "Relationship") {
            Relationship r;
            r.id = attributeOr(attributes, "Id");
            r.type = attributeOr(attributes, "Type");
            r.target = attributeOr(attributes, "Target");
            r.external = equalsIgnoringAsciiCase(attributeOr(attributes, "TargetMode"), "External");
            m_out.push_back(std::move(r));
        }
    }
    void endElement(std::string_view) override { --m_depth; }
    void characters(std::string_view) override {}

private:
    std::vector<Relationship>& m_out;
    int m_depth = 0;
};

class ContentTypesHandler : public XmlHandler {
public:
    void startElement(std::string_view name, XmlAttributes attributes) override {
        ++m_depth;
        if (m_depth != 2 || name != "Override") {
            return;
        }
        std::string type = asciiLower(attributeOr(attributes, "ContentType"));
        // Workbooks, templates and add-ins, with or without macros, transitional or strict.
        bool workbook = type.ends_with(".sheet.main+xml") || type.ends_with(".template.main+xml") ||
                        type.ends_with(".sheet.macroenabled.main+xml") ||
                        type.ends_with(".template.macroenabled.main+xml") ||
                        type.ends_with(".addin.macroenabled.main+xml");
        if (workbook && !workbookPart) {
            workbookPart = std::string(attributeOr(attributes, "PartName"));
        }
    }
    void endElement(std::string_view) override { --m_depth; }
    void characters(std::string_view) override {}

    std::optional<std::string> workbookPart;

private:
    int m_depth = 0;
};

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string relationshipsPartOf(std::string_view part) {
    size_t slash = part.rfind('/');
    std::string_view folder = slash == std::string_view::npos ? "" : part.substr(0, slash + 1);
    std::string_view file = slash == std::string_view::npos ? part : part.substr(slash + 1);
    std::string result(folder);
    result += "_rels/";
    result += file;
    result += ".rels";
    return result;
}

std::string resolveTarget(std::string_view sourcePart, std::string_view target) {
    // Targets are URIs: drop a fragment, decode %XX escapes.
    target = target.substr(0, target.find('#'));
    std::string decoded;
    for (size_t i = 0; i < target.size(); ++i) {
        if (target[i] == '%' && i + 2 < target.size() && hexValue(target[i + 1]) >= 0 &&
            hexValue(target[i + 2]) >= 0) {
            decoded.push_back(
                static_cast<char>(hexValue(target[i + 1]) * 16 + hexValue(target[i + 2])));
            i += 2;
        } else {
            decoded.push_back(target[i] == '\\' ? '/' : target[i]);
        }
    }
    std::string base;
    if (decoded.empty() || decoded[0] != '/') {
        size_t slash = sourcePart.rfind('/');
        if (slash != std::string_view::npos) {
            base = std::string(sourcePart.substr(0, slash + 1));
        }
    }
    std::string path = base + decoded;
    std::vector<std::string_view> steps;
    std::string_view rest(path);
    while (!rest.empty()) {
        size_t slash = rest.find('/');
        std::string_view step = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (step.empty() || step == ".") {
            continue;
        }
        if (step == "..") {
            if (!steps.empty()) {
                steps.pop_back();
            }
            continue;
        }
        steps.push_back(step);
    }
    std::string result;
    for (std::string_view step : steps) {
        if (!result.empty()) {
            result += '/';
        }
        result += step;
    }
    return result;
}

std::string_view relationshipKind(std::string_view type) {
    size_t slash = type.rfind('/');
    return slash == std::string_view::npos ? type : type.substr(slash + 1);
}

void parsePart(ZipPackage& package, const std::string& storedName, XmlHandler& handler,
               uint64_t maxBytes, bool fast) {
    std::unique_ptr<ByteSource> source = package.openPart(storedName, maxBytes);
    if (fast) {
        parseXmlFast(*source, handler);
    } else {
        parseXmlWithExpat(*source, handler);
    }
}

std::vector<Relationship> readRelationships(ZipPackage& package, std::string_view sourcePart) {
    std::vector<Relationship> relationships;
    std::optional<std::string> stored = package.findPart(relationshipsPartOf(sourcePart));
    if (!stored) {
        return relationships;
    }
    RelationshipsHandler handler(relationships);
    parsePart(package, *stored, handler, kMaxSmallPartBytes, false);
    return relationships;
}

std::optional<std::string> workbookPartFromContentTypes(ZipPackage& package) {
    std::optional<std::string> stored = package.findPart("[Content_Types].xml");
    if (!stored) {
        return std::nullopt;
    }
    ContentTypesHandler handler;
    parsePart(package, *stored, handler, kMaxSmallPartBytes, false);
    if (!handler.workbookPart) {
        return std::nullopt;
    }
    return resolveTarget("", *handler.workbookPart);
}

void AlternateContentFilter::startElement(std::string_view name, XmlAttributes attributes) {
    if (m_hiddenDepth > 0) {
        m_frames.push_back(Frame::Hidden);
        ++m_hiddenDepth;
        return;
    }
    if (!m_frames.empty() && m_frames.back() == Frame::Wrapper) {
        if (name == "Fallback") {
            m_frames.push_back(Frame::Fallback);
        } else {
            m_frames.push_back(Frame::Hidden);
            ++m_hiddenDepth;
        }
        return;
    }
    if (name == "AlternateContent") {
        m_frames.push_back(Frame::Wrapper);
        return;
    }
    m_frames.push_back(Frame::Pass);
    m_inner.startElement(name, attributes);
}

void AlternateContentFilter::endElement(std::string_view name) {
    if (m_frames.empty()) {
        return;
    }
    Frame frame = m_frames.back();
    m_frames.pop_back();
    if (frame == Frame::Hidden) {
        --m_hiddenDepth;
    } else if (frame == Frame::Pass) {
        m_inner.endElement(name);
    }
}

void AlternateContentFilter::characters(std::string_view text) {
    if (!m_frames.empty() && m_frames.back() == Frame::Pass) {
        m_inner.characters(text);
    }
}

}  // namespace plyfold::engine::xlsx_read
