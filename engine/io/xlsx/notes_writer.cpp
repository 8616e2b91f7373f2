#include "engine/io/xlsx/notes_writer.h"

#include <algorithm>
#include <unordered_map>

#include "engine/io/xlsx/external_link_writer.h"
#include "engine/io/xlsx/styles_writer.h"
#include "engine/io/xlsx/xml_stream_writer.h"
#include "engine/io/xlsx/zip_writer.h"
#include "engine/model/limits.h"

namespace plyfold::engine::xlsx {
namespace {

constexpr std::string_view kRelationshipTypes =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

// Text keeps its leading and trailing spaces and line breaks only when marked.
void writeTextElement(XmlStreamWriter& out, std::string_view text) {
    const bool preserve = !text.empty() && (text.front() == ' ' || text.back() == ' ' ||
                                            text.find_first_of("\n\t") != std::string_view::npos);
    out.raw(preserve ? "<t xml:space=\"preserve\">" : "<t>");
    out.text(text);
    out.raw("</t>");
}

bool isExternal(const Hyperlink& link) {
    return !link.target.empty();
}

void writeRelationship(XmlStreamWriter& out, std::string_view id, std::string_view kind,
                       std::string_view target, bool external) {
    out.raw("<Relationship");
    out.attribute("Id", id);
    out.attribute("Type", std::string(kRelationshipTypes) + std::string(kind));
    out.attribute("Target", target);
    if (external) {
        out.raw(" TargetMode=\"External\"");
    }
    out.raw("/>");
}

// Where a note's box is drawn: to the right of its cell and a little above, two columns
// wide and four rows high, kept on the sheet. Columns and rows, 0-based, with offsets in
// pixels.
std::string noteAnchor(CellRef cell) {
    const int32_t left = std::min(cell.column + 1, kMaxColumns - 3);
    const int32_t top = std::min(std::max(cell.row - 1, 0), kMaxRows - 5);
    return std::to_string(left) + ", 15, " + std::to_string(top) + ", 10, " +
           std::to_string(left + 2) + ", 15, " + std::to_string(top + 4) + ", 4";
}

void writeVmlDrawing(ZipWriter& zip, const Sheet& sheet, int32_t index) {
    XmlStreamWriter out(zip, vmlDrawingPartName(index));
    out.raw(
        "<xml xmlns:v=\"urn:schemas-microsoft-com:vml\" "
        "xmlns:o=\"urn:schemas-microsoft-com:office:office\" "
        "xmlns:x=\"urn:schemas-microsoft-com:office:excel\">"
        "<o:shapelayout v:ext=\"edit\"><o:idmap v:ext=\"edit\" data=\"");
    // Each drawing numbers its shapes in a block of 1024 of its own.
    out.integer(index + 1);
    out.raw(
        "\"/></o:shapelayout>"
        "<v:shapetype id=\"_x0000_t202\" coordsize=\"21600,21600\" o:spt=\"202\" "
        "path=\"m,l,21600r21600,l21600,xe\"><v:stroke joinstyle=\"miter\"/>"
        "<v:path gradientshapeok=\"t\" o:connecttype=\"rect\"/></v:shapetype>");
    int64_t shape = (static_cast<int64_t>(index) + 1) * 1024 + 1;
    for (const Comment& comment : sheet.comments()) {
        out.raw("<v:shape id=\"_x0000_s");
        out.integer(shape++);
        out.raw(
            "\" type=\"#_x0000_t202\" style=\"position:absolute;margin-left:59.25pt;"
            "margin-top:1.5pt;width:108pt;height:59.25pt;z-index:1;visibility:hidden\" "
            "fillcolor=\"#ffffe1\" o:insetmode=\"auto\"><v:fill color2=\"#ffffe1\"/>"
            "<v:shadow on=\"t\" color=\"black\" obscured=\"t\"/>"
            "<v:path o:connecttype=\"none\"/><v:textbox style=\"mso-direction-alt:auto\">"
            "<div style=\"text-align:left\"></div></v:textbox>"
            "<x:ClientData ObjectType=\"Note\"><x:MoveWithCells/><x:SizeWithCells/><x:Anchor>");
        out.raw(noteAnchor(comment.cell));
        out.raw("</x:Anchor><x:AutoFill>False</x:AutoFill><x:Row>");
        out.integer(comment.cell.row);
        out.raw("</x:Row><x:Column>");
        out.integer(comment.cell.column);
        out.raw("</x:Column></x:ClientData></v:shape>");
    }
    out.raw("</xml>");
    out.finish();
}

void writeCommentsPart(ZipWriter& zip, const Sheet& sheet, int32_t index) {
    std::vector<std::string_view> authors;
    std::unordered_map<std::string_view, int64_t> authorIds;
    std::vector<int64_t> authorOf;
    authorOf.reserve(sheet.comments().size());
    for (const Comment& comment : sheet.comments()) {
        auto [it, added] =
            authorIds.try_emplace(comment.author, static_cast<int64_t>(authors.size()));
        if (added) {
            authors.push_back(comment.author);
        }
        authorOf.push_back(it->second);
    }
    XmlStreamWriter out(zip, commentsPartName(index));
    out.raw(
        "<comments xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<authors>");
    for (std::string_view author : authors) {
        out.raw("<author>");
        out.text(author);
        out.raw("</author>");
    }
    out.raw("</authors><commentList>");
    const StyleTable& styles = sheet.workbook().styles();
    size_t next = 0;
    for (const Comment& comment : sheet.comments()) {
        out.raw("<comment");
        out.attribute("ref", cellName(comment.cell));
        out.attribute("authorId", authorOf[next++]);
        out.raw("><text>");
        const auto& runs = comment.text.runs;
        if (runs.size() == 1 && runs[0].font == TextRun::kCellFont) {
            writeTextElement(out, runs[0].text);
        } else if (runs.empty()) {
            out.raw("<t></t>");
        } else {
            writeRichTextRuns(out, styles, comment.text);
        }
        out.raw("</text></comment>");
    }
    out.raw("</commentList></comments>");
    out.finish();
}

}  // namespace

void writeRichTextRuns(XmlStreamWriter& out, const StyleTable& styles, const RichText& text) {
    for (const TextRun& run : text.runs) {
        out.raw("<r>");
        if (run.font != TextRun::kCellFont && run.font < styles.fontCount()) {
            out.raw("<rPr>");
            writeFontChildren(out, styles.font(run.font), "rFont");
            out.raw("</rPr>");
        }
        writeTextElement(out, run.text);
        out.raw("</r>");
    }
}

void writeHyperlinksElement(XmlStreamWriter& out, const Sheet& sheet) {
    if (sheet.hyperlinks().empty()) {
        return;
    }
    out.raw("<hyperlinks>");
    int64_t external = 0;
    for (const Hyperlink& link : sheet.hyperlinks()) {
        out.raw("<hyperlink");
        out.attribute("ref", link.range.first == link.range.last ? cellName(link.range.first)
                                                                 : rangeName(link.range));
        if (isExternal(link)) {
            out.attribute("r:id", "rIdL" + std::to_string(++external));
        }
        if (!link.location.empty()) {
            out.attribute("location", link.location);
        }
        if (!link.display.empty()) {
            out.attribute("display", link.display);
        }
        if (!link.tooltip.empty()) {
            out.attribute("tooltip", link.tooltip);
        }
        out.raw("/>");
    }
    out.raw("</hyperlinks>");
}

void writeLegacyDrawingElement(XmlStreamWriter& out, const Sheet& sheet) {
    if (!sheet.comments().empty()) {
        out.raw("<legacyDrawing r:id=\"rIdV1\"/>");
    }
}

void writeSheetRelationships(ZipWriter& zip, const TablePlan& tables, const Sheet& sheet,
                             int32_t index, const std::string& sheetPartName,
                             std::string_view otherRelationships) {
    const bool hasExternalLinks =
        std::any_of(sheet.hyperlinks().begin(), sheet.hyperlinks().end(), isExternal);
    if (!hasExternalLinks && sheet.comments().empty()) {
        writeSheetTableRelationships(zip, tables, index, sheetPartName, otherRelationships);
        return;
    }
    const size_t slash = sheetPartName.rfind('/');
    XmlStreamWriter out(zip, sheetPartName.substr(0, slash + 1) + "_rels/" +
                                 sheetPartName.substr(slash + 1) + ".rels");
    out.raw(
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">");
    writeSheetTableRelationshipEntries(out, tables, index);
    int64_t external = 0;
    for (const Hyperlink& link : sheet.hyperlinks()) {
        if (isExternal(link)) {
            // A file named by its path (a link into a source file) is written as a file URL.
            writeRelationship(out, "rIdL" + std::to_string(++external), "hyperlink",
                              externalLinkTarget(link.target), true);
        }
    }
    if (!sheet.comments().empty()) {
        // The sheet parts are in xl/worksheets/.
        writeRelationship(out, "rIdC1", "comments",
                          "../comments" + std::to_string(index + 1) + ".xml", false);
        writeRelationship(out, "rIdV1", "vmlDrawing",
                          "../drawings/vmlDrawing" + std::to_string(index + 1) + ".vml", false);
    }
    out.raw(otherRelationships);
    out.raw("</Relationships>");
    out.finish();
}

void writeNotesParts(ZipWriter& zip, const Sheet& sheet, int32_t index) {
    if (sheet.comments().empty()) {
        return;
    }
    writeCommentsPart(zip, sheet, index);
    writeVmlDrawing(zip, sheet, index);
}

std::string commentsPartName(int32_t index) {
    return "xl/comments" + std::to_string(index + 1) + ".xml";
}

std::string vmlDrawingPartName(int32_t index) {
    return "xl/drawings/vmlDrawing" + std::to_string(index + 1) + ".vml";
}

void writeNotesContentTypes(XmlStreamWriter& out, const Workbook& workbook) {
    bool any = false;
    for (int32_t i = 0; i < workbook.sheetCount(); ++i) {
        if (workbook.sheet(i).comments().empty()) {
            continue;
        }
        if (!any) {
            out.raw(
                "<Default Extension=\"vml\" "
                "ContentType=\"application/vnd.openxmlformats-officedocument.vmlDrawing\"/>");
            any = true;
        }
        out.raw("<Override PartName=\"/");
        out.attributeValue(commentsPartName(i));
        out.raw(
            "\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml."
            "comments+xml\"/>");
    }
}

}  // namespace plyfold::engine::xlsx
