#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/io/xlsx/xml_handler.h"
#include "engine/io/xlsx/zip_package.h"

namespace plyfold::engine::xlsx_read {

// The package conventions over the zip archive: relationships between parts, and the
// content types that stand in when a package lacks its relationships.

struct Relationship {
    std::string id;
    std::string type;
    std::string target;  // as written: relative to the source part, or absolute with "/"
    bool external = false;
};

// The relationships part of a part: "xl/workbook.xml" -> "xl/_rels/workbook.xml.rels";
// "" (the package itself) -> "_rels/.rels".
std::string relationshipsPartOf(std::string_view part);

// The part a target names, relative to the folder of sourcePart ("" for the package), as a
// part name without a leading "/". "." and ".." steps are resolved and never climb above
// the root.
std::string resolveTarget(std::string_view sourcePart, std::string_view target);

// The last step of a relationship type, which is the same in transitional and strict
// packages: ".../relationships/worksheet" -> "worksheet".
std::string_view relationshipKind(std::string_view type);

// Parses a part with expat (fast = false) or with the fast scanner, turning failures of
// the archive or the XML into ReadFailure as they come.
void parsePart(ZipPackage& package, const std::string& storedName, XmlHandler& handler,
               uint64_t maxBytes, bool fast);

// The relationships of sourcePart; empty when it has no relationships part.
std::vector<Relationship> readRelationships(ZipPackage& package, std::string_view sourcePart);

// The stored name of the workbook part by its content type in [Content_Types].xml.
std::optional<std::string> workbookPartFromContentTypes(ZipPackage& package);

// Hides markup-compatibility wrappers from a handler: of an mc:AlternateContent, only the
// content of its mc:Fallback is passed on, since the choices need extensions this reader
// does not implement.
class AlternateContentFilter : public XmlHandler {
public:
    explicit AlternateContentFilter(XmlHandler& inner) : m_inner(inner) {}
    void startElement(std::string_view name, XmlAttributes attributes) override;
    void endElement(std::string_view name) override;
    void characters(std::string_view text) override;

private:
    enum class Frame : uint8_t { Pass, Wrapper, Fallback, Hidden };
    XmlHandler& m_inner;
    std::vector<Frame> m_frames;
    size_t m_hiddenDepth = 0;
};

}  // namespace plyfold::engine::xlsx_read
