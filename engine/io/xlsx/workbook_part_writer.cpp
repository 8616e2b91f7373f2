#include "engine/io/xlsx/workbook_part_writer.h"

#include "engine/io/xlsx/external_link_writer.h"
#include "engine/io/xlsx/xml_stream_writer.h"

namespace plyfold::engine::xlsx {

void writeWorkbookPart(ZipWriter& zip, const PackagePlan& plan) {
    const Workbook& workbook = *plan.workbook;
    XmlStreamWriter out(zip, "xl/workbook.xml");
    out.raw(
        "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
        "<fileVersion appName=\"xl\" lastEdited=\"4\" lowestEdited=\"4\" rupBuild=\"4505\"/>"
        "<workbookPr");
    if (workbook.isDate1904()) {
        out.raw(" date1904=\"1\"");
    }
    out.raw(
        " defaultThemeVersion=\"124226\"/><bookViews><workbookView xWindow=\"240\" "
        "yWindow=\"15\" windowWidth=\"16095\" windowHeight=\"9660\"");
    if (plan.activeSheet > 0) {
        out.attribute("activeTab", plan.activeSheet);
    }
    out.raw("/></bookViews><sheets>");
    for (int32_t i = 0; i < plan.sheetCount(); ++i) {
        out.raw("<sheet");
        out.attribute("name", workbook.sheet(i).name());
        out.attribute("sheetId", i + 1);
        switch (plan.visibility[i]) {
            case SheetVisibility::Hidden:
                out.raw(" state=\"hidden\"");
                break;
            case SheetVisibility::VeryHidden:
                out.raw(" state=\"veryHidden\"");
                break;
            case SheetVisibility::Visible:
                break;
        }
        out.raw(" r:id=\"rId");
        out.integer(i + 1);
        out.raw("\"/>");
    }
    // Cached results are kept, but formulas moved by pastes may no longer match them, so
    // the reading program is asked to calculate everything again.
    out.raw("</sheets>");
    // The external books' relationships follow the sheets'.
    writeExternalReferences(out, plan, plan.sheetCount() + 1);
    writeDefinedNames(out, plan);
    out.raw("<calcPr calcId=\"124519\" fullCalcOnLoad=\"1\"");
    const IterativeCalculation& iteration = workbook.iterativeCalculation();
    if (iteration.enabled) {
        out.raw(" iterate=\"1\"");
        out.attribute("iterateCount", static_cast<int64_t>(iteration.maxIterations));
        out.attributeNumber("iterateDelta", iteration.maxChange);
    }
    out.raw("/></workbook>");
    out.finish();
}

}  // namespace plyfold::engine::xlsx
