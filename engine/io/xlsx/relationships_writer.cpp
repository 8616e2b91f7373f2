#include "engine/io/xlsx/relationships_writer.h"

#include <string>

#include "engine/io/xlsx/xml_stream_writer.h"

namespace plyfold::engine::xlsx {
namespace {

constexpr std::string_view kDocumentRelationship =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

class RelationshipsWriter {
public:
    RelationshipsWriter(ZipWriter& zip, std::string_view partName) : m_out(zip, partName) {
        m_out.raw(
            "<Relationships "
            "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">");
    }

    void add(std::string_view typePrefix, std::string_view type, std::string_view target) {
        m_out.raw("<Relationship Id=\"rId");
        m_out.integer(++m_count);
        m_out.raw("\" Type=\"");
        m_out.raw(typePrefix);
        m_out.raw(type);
        m_out.raw("\"");
        m_out.attribute("Target", target);
        m_out.raw("/>");
    }

    void finish() {
        m_out.raw("</Relationships>");
        m_out.finish();
    }

private:
    XmlStreamWriter m_out;
    int m_count = 0;
};

}  // namespace

void writePackageRelationships(ZipWriter& zip) {
    RelationshipsWriter rels(zip, "_rels/.rels");
    rels.add(kDocumentRelationship, "officeDocument", "xl/workbook.xml");
    rels.add("http://schemas.openxmlformats.org/package/2006/relationships/metadata/",
             "core-properties", "docProps/core.xml");
    rels.add(kDocumentRelationship, "extended-properties", "docProps/app.xml");
    rels.finish();
}

void writeWorkbookRelationships(ZipWriter& zip, const PackagePlan& plan) {
    RelationshipsWriter rels(zip, "xl/_rels/workbook.xml.rels");
    for (int32_t i = 0; i < plan.sheetCount(); ++i) {
        // The sheet's part name without the leading "xl/": targets are relative to xl/.
        rels.add(kDocumentRelationship, "worksheet", PackagePlan::worksheetPartName(i).substr(3));
    }
    for (size_t i = 0; i < plan.workbook->externalBooks().size(); ++i) {
        rels.add(kDocumentRelationship, "externalLink",
                 "externalLinks/externalLink" + std::to_string(i + 1) + ".xml");
    }
    rels.add(kDocumentRelationship, "theme", "theme/theme1.xml");
    rels.add(kDocumentRelationship, "styles", "styles.xml");
    if (!plan.sharedStrings.texts.empty()) {
        rels.add(kDocumentRelationship, "sharedStrings", "sharedStrings.xml");
    }
    rels.finish();
}

}  // namespace plyfold::engine::xlsx
