#include "engine/io/xlsx/shared_strings_writer.h"

#include "engine/io/xlsx/notes_writer.h"
#include "engine/io/xlsx/xml_stream_writer.h"

namespace plyfold::engine::xlsx {

void writeSharedStrings(ZipWriter& zip, const PackagePlan& plan) {
    const SharedStringTable& table = plan.sharedStrings;
    const StringPool& pool = plan.workbook->strings();
    XmlStreamWriter out(zip, "xl/sharedStrings.xml");
    out.raw("<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"");
    out.attribute("count", static_cast<int64_t>(table.references));
    out.attribute("uniqueCount", static_cast<int64_t>(table.texts.size()));
    out.raw('>');
    for (size_t i = 0; i < table.texts.size(); ++i) {
        if (i < table.richOf.size() && table.richOf[i] != 0) {
            out.raw("<si>");
            writeRichTextRuns(out, plan.workbook->styles(),
                              plan.workbook->richText(table.richOf[i] - 1));
            out.raw("</si>");
            continue;
        }
        std::string_view text = pool.text(table.texts[i]);
        out.raw(needsSpacePreserve(text) ? "<si><t xml:space=\"preserve\">" : "<si><t>");
        out.text(text);
        out.raw("</t></si>");
    }
    out.raw("</sst>");
    out.finish();
}

}  // namespace plyfold::engine::xlsx
