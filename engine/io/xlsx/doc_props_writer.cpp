#include "engine/io/xlsx/doc_props_writer.h"

#include <ctime>

#include "engine/io/xlsx/xml_stream_writer.h"

namespace plyfold::engine::xlsx {
namespace {

// W3CDTF in UTC, as the core properties want: 2024-05-01T12:00:00Z.
std::string w3cTime(std::time_t time) {
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[64];
    size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return std::string(text, length);
}

}  // namespace

void writeAppProperties(ZipWriter& zip, const PackagePlan& plan) {
    XmlStreamWriter out(zip, "docProps/app.xml");
    out.raw(
        "<Properties "
        "xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\" "
        "xmlns:vt=\"http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes\">"
        "<Application>Plyfold</Application><DocSecurity>0</DocSecurity>"
        "<ScaleCrop>false</ScaleCrop>");
    // Chart sheets are written as worksheets, so every sheet counts as one.
    const int32_t count = plan.sheetCount();
    out.raw(
        "<HeadingPairs><vt:vector size=\"2\" baseType=\"variant\"><vt:variant>"
        "<vt:lpstr>Worksheets</vt:lpstr></vt:variant><vt:variant><vt:i4>");
    out.integer(count);
    out.raw("</vt:i4></vt:variant></vt:vector></HeadingPairs>");
    out.raw("<TitlesOfParts><vt:vector");
    out.attribute("size", count);
    out.raw(" baseType=\"lpstr\">");
    for (int32_t i = 0; i < count; ++i) {
        out.raw("<vt:lpstr>");
        out.text(plan.workbook->sheet(i).name());
        out.raw("</vt:lpstr>");
    }
    out.raw(
        "</vt:vector></TitlesOfParts><LinksUpToDate>false</LinksUpToDate>"
        "<SharedDoc>false</SharedDoc><HyperlinksChanged>false</HyperlinksChanged>"
        "<AppVersion>12.0000</AppVersion></Properties>");
    out.finish();
}

void writeCoreProperties(ZipWriter& zip, const PackagePlan& plan) {
    XmlStreamWriter out(zip, "docProps/core.xml");
    const std::string time = w3cTime(plan.created);
    out.raw(
        "<cp:coreProperties "
        "xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/"
        "core-properties\" "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
        "xmlns:dcterms=\"http://purl.org/dc/terms/\" "
        "xmlns:dcmitype=\"http://purl.org/dc/dcmitype/\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
        "<dc:creator></dc:creator><cp:lastModifiedBy></cp:lastModifiedBy>");
    if (plan.workbook->isMergeResult()) {
        out.raw("<dc:description>");
        out.text(kMergeResultDescription);
        out.raw("</dc:description>");
    }
    out.raw("<dcterms:created xsi:type=\"dcterms:W3CDTF\">");
    out.raw(time);
    out.raw("</dcterms:created><dcterms:modified xsi:type=\"dcterms:W3CDTF\">");
    out.raw(time);
    out.raw("</dcterms:modified></cp:coreProperties>");
    out.finish();
}

}  // namespace plyfold::engine::xlsx
