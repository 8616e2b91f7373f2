#include "engine/io/xlsx/content_types_writer.h"

#include "engine/io/xlsx/notes_writer.h"
#include "engine/io/xlsx/xml_stream_writer.h"

namespace plyfold::engine::xlsx {
namespace {

constexpr std::string_view kOfficeDocument = "application/vnd.openxmlformats-officedocument.";

std::string_view workbookContentType(PackageKind kind) {
    switch (kind) {
        case PackageKind::MacroWorkbook:
            return "application/vnd.ms-excel.sheet.macroEnabled.main+xml";
        case PackageKind::Template:
            return "application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml";
        case PackageKind::MacroTemplate:
            return "application/vnd.ms-excel.template.macroEnabled.main+xml";
        case PackageKind::Workbook:
            break;
    }
    return "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml";
}

void writeDefault(XmlStreamWriter& out, std::string_view extension, std::string_view type) {
    out.raw("<Default");
    out.attribute("Extension", extension);
    out.attribute("ContentType", type);
    out.raw("/>");
}

void writeOverride(XmlStreamWriter& out, std::string_view part, std::string_view type,
                   std::string_view typePrefix = kOfficeDocument) {
    out.raw("<Override PartName=\"/");
    out.attributeValue(part);
    out.raw("\" ContentType=\"");
    out.raw(typePrefix);
    out.raw(type);
    out.raw("\"/>");
}

}  // namespace

void writeContentTypes(ZipWriter& zip, const PackagePlan& plan) {
    XmlStreamWriter out(zip, "[Content_Types].xml");
    out.raw("<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">");
    writeDefault(out, "rels", "application/vnd.openxmlformats-package.relationships+xml");
    writeDefault(out, "xml", "application/xml");
    writeNotesContentTypes(out, *plan.workbook);
    writeOverride(out, "docProps/app.xml", "extended-properties+xml");
    writeOverride(out, "docProps/core.xml",
                  "application/vnd.openxmlformats-package.core-properties+xml", "");
    writeOverride(out, "xl/styles.xml", "spreadsheetml.styles+xml");
    writeOverride(out, "xl/theme/theme1.xml", "theme+xml");
    writeOverride(out, "xl/workbook.xml", workbookContentType(plan.kind), "");
    for (int32_t i = 0; i < plan.sheetCount(); ++i) {
        writeOverride(out, PackagePlan::worksheetPartName(i), "spreadsheetml.worksheet+xml");
    }
    if (!plan.sharedStrings.texts.empty()) {
        writeOverride(out, "xl/sharedStrings.xml", "spreadsheetml.sharedStrings+xml");
    }
    for (size_t i = 0; i < plan.tables.tables.size(); ++i) {
        writeOverride(out, TablePlan::partName(i), "spreadsheetml.table+xml");
    }
    writeDrawingContentTypes(out, plan.drawings);
    for (size_t i = 0; i < plan.workbook->externalBooks().size(); ++i) {
        writeOverride(out, "xl/externalLinks/externalLink" + std::to_string(i + 1) + ".xml",
                      "spreadsheetml.externalLink+xml");
    }
    out.raw("</Types>");
    out.finish();
}

}  // namespace plyfold::engine::xlsx
