#pragma once

#include <cstdint>
#include <string>

#include "engine/io/xlsx/table_writer.h"
#include "engine/model/rich_text.h"
#include "engine/model/workbook.h"

namespace plyfold::engine::xlsx {

class XmlStreamWriter;
class ZipWriter;

// The runs of a formatted text as <r> elements, each run's font as its <rPr>.
void writeRichTextRuns(XmlStreamWriter& out, const StyleTable& styles, const RichText& text);

// <hyperlinks> of a worksheet part; an external link names its relationship rIdL1, rIdL2, ...
// in the order of the sheet's links. Nothing without links.
void writeHyperlinksElement(XmlStreamWriter& out, const Sheet& sheet);
// <legacyDrawing> naming the drawing that shows the sheet's notes; nothing without notes.
void writeLegacyDrawingElement(XmlStreamWriter& out, const Sheet& sheet);

// xl/worksheets/_rels/sheetN.xml.rels: the sheet's tables, its external links, its notes
// and their drawing, then the other relationships given as XML; nothing when it has none.
void writeSheetRelationships(ZipWriter& zip, const TablePlan& tables, const Sheet& sheet,
                             int32_t index, const std::string& sheetPartName,
                             std::string_view otherRelationships = {});

// xl/commentsN.xml and xl/drawings/vmlDrawingN.xml (N the sheet's number) for a sheet with
// notes: the notes, and the shapes a desktop spreadsheet shows them in.
void writeNotesParts(ZipWriter& zip, const Sheet& sheet, int32_t index);
std::string commentsPartName(int32_t index);
std::string vmlDrawingPartName(int32_t index);
// The content types of those parts, for [Content_Types].xml.
void writeNotesContentTypes(XmlStreamWriter& out, const Workbook& workbook);

}  // namespace plyfold::engine::xlsx
