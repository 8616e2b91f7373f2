#include "engine/io/xlsx/drawing_writer.h"

#include <map>
#include <set>

#include "engine/common/text.h"
#include "engine/io/xlsx/notes_writer.h"
#include "engine/io/xlsx/xml_stream_writer.h"
#include "engine/io/xlsx/zip_writer.h"
#include "engine/ops/formula_refs.h"
#include "engine/ops/workbook_links.h"

namespace plyfold::engine::xlsx {
namespace {

constexpr std::string_view kSheetDrawingId = "rIdDrawing1";
constexpr std::string_view kDrawingContentType =
    "application/vnd.openxmlformats-officedocument.drawing+xml";
constexpr std::string_view kRelationshipsNamespace =
    "http://schemas.openxmlformats.org/package/2006/relationships";

bool isPlainName(std::string_view text, size_t maxLength) {
    if (text.empty() || text.size() > maxLength) {
        return false;
    }
    for (char c : text) {
        const bool ok =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) {
            return false;
        }
    }
    return true;
}

// Where a carried part goes: its own folder and stem where they are plain names of a folder
// that holds such parts, else a safe default.
std::string folderFor(const DrawingPart& part) {
    static const std::set<std::string, std::less<>> known = {
        "media", "charts", "embeddings", "drawings", "theme", "diagrams", "ink", "activeX"};
    return known.count(part.folder) ? part.folder : "media";
}

// The target of a relationship from the part named from to the part named to, relative to
// the folder of from.
std::string relativeTarget(std::string_view from, std::string_view to) {
    size_t common = 0;
    for (size_t i = 0; i < from.size() && i < to.size() && from[i] == to[i]; ++i) {
        if (from[i] == '/') {
            common = i + 1;
        }
    }
    std::string out;
    for (size_t i = common; i < from.size(); ++i) {
        if (from[i] == '/') {
            out += "../";
        }
    }
    out += to.substr(common);
    return out;
}

std::string relationshipsPartOf(std::string_view part) {
    const size_t slash = part.rfind('/');
    const std::string_view folder = part.substr(0, slash + 1);
    return std::string(folder) + "_rels/" + std::string(part.substr(slash + 1)) + ".rels";
}

class Planner {
public:
    explicit Planner(DrawingPlan& plan) : m_plan(plan) {}

    void reserve(std::string name) { m_used.insert(std::move(name)); }

    // The name of the carried part, planning it (and what it carries) when it is new here.
    std::string nameOf(const DrawingPart& part) {
        const bool shareable = part.links.empty() && part.contentType.starts_with("image/");
        if (shareable) {
            if (auto it = m_shared.find(&part); it != m_shared.end()) {
                return it->second;
            }
        }
        const std::string folder = folderFor(part);
        const std::string stem = isPlainName(part.stem, 40) ? part.stem : "part";
        const std::string extension = isPlainName(part.extension, 8) ? part.extension : "bin";
        std::string name;
        for (uint32_t& n = m_next[folder + "/" + stem + "." + extension];;) {
            name = "xl/" + folder + "/" + stem + std::to_string(++n) + "." + extension;
            if (m_used.insert(name).second) {
                break;
            }
        }
        if (shareable) {
            m_shared.emplace(&part, name);
        }
        const size_t index = m_plan.carried.size();
        m_plan.carried.push_back({&part, name, {}});
        std::vector<DrawingPlan::Relationship> relationships;
        for (const auto& [id, link] : part.links) {
            relationships.push_back(relationshipTo(name, id, link));
        }
        m_plan.carried[index].relationships = std::move(relationships);
        return name;
    }

    DrawingPlan::Relationship relationshipTo(const std::string& from, std::string id,
                                             const DrawingLink& link) {
        DrawingPlan::Relationship r;
        r.id = std::move(id);
        r.type = link.type;
        r.external = link.external || !link.part;
        r.target =
            link.external || !link.part ? link.target : relativeTarget(from, nameOf(*link.part));
        return r;
    }

private:
    DrawingPlan& m_plan;
    std::set<std::string> m_used;
    std::map<std::string, uint32_t> m_next;
    std::map<const DrawingPart*, std::string> m_shared;
};

void writeRelationships(ZipWriter& zip, const std::string& partName,
                        const std::vector<DrawingPlan::Relationship>& relationships) {
    if (relationships.empty()) {
        return;
    }
    XmlStreamWriter out(zip, relationshipsPartOf(partName));
    out.raw("<Relationships xmlns=\"");
    out.raw(kRelationshipsNamespace);
    out.raw("\">");
    for (const DrawingPlan::Relationship& r : relationships) {
        out.raw("<Relationship");
        out.attribute("Id", r.id);
        out.attribute("Type", r.type);
        out.attribute("Target", r.target);
        if (r.external) {
            out.raw(" TargetMode=\"External\"");
        }
        out.raw("/>");
    }
    out.raw("</Relationships>");
    out.finish();
}

void writeMarker(XmlStreamWriter& out, const std::string& prefix, std::string_view name,
                 const AnchorMarker& marker) {
    auto element = [&](std::string_view child, int64_t value) {
        out.raw('<');
        out.raw(prefix);
        out.raw(child);
        out.raw('>');
        out.integer(value);
        out.raw("</");
        out.raw(prefix);
        out.raw(child);
        out.raw('>');
    };
    out.raw('<');
    out.raw(prefix);
    out.raw(name);
    out.raw('>');
    element("col", marker.column);
    element("colOff", marker.columnOffset);
    element("row", marker.row);
    element("rowOff", marker.rowOffset);
    out.raw("</");
    out.raw(prefix);
    out.raw(name);
    out.raw('>');
}

void writeAnchor(XmlStreamWriter& out, const DrawingObject& object, size_t firstId);

void writeObject(XmlStreamWriter& out, const DrawingObject& object, size_t firstId) {
    const DrawingWrapper& wrapper = object.wrapper;
    if (wrapper.isEmpty()) {
        writeAnchor(out, object, firstId);
        return;
    }
    out.raw('<');
    out.raw(wrapper.element);
    out.raw(object.namespaces);
    out.raw('>');
    out.raw(wrapper.choices);
    out.raw('<');
    out.raw(wrapper.fallback);
    out.raw('>');
    writeAnchor(out, object, firstId);
    out.raw("</");
    out.raw(wrapper.fallback);
    out.raw("></");
    out.raw(wrapper.element);
    out.raw('>');
}

void writeAnchor(XmlStreamWriter& out, const DrawingObject& object, size_t firstId) {
    std::string_view element = object.anchor == AnchorKind::TwoCell   ? "twoCellAnchor"
                               : object.anchor == AnchorKind::OneCell ? "oneCellAnchor"
                                                                      : "absoluteAnchor";
    const std::string& p = object.prefix;
    out.raw('<');
    out.raw(p);
    out.raw(element);
    out.raw(object.namespaces);
    if (object.anchor == AnchorKind::TwoCell && !object.editAs.empty()) {
        out.attribute("editAs", object.editAs);
    }
    out.raw('>');
    if (object.anchor == AnchorKind::Absolute) {
        out.raw('<');
        out.raw(p);
        out.raw("pos");
        out.attribute("x", object.x);
        out.attribute("y", object.y);
        out.raw("/>");
    } else {
        writeMarker(out, p, "from", object.from);
    }
    if (object.anchor == AnchorKind::TwoCell) {
        writeMarker(out, p, "to", object.to);
    } else {
        out.raw('<');
        out.raw(p);
        out.raw("ext");
        out.attribute("cx", object.width);
        out.attribute("cy", object.height);
        out.raw("/>");
    }
    for (size_t i = 0; i < object.pieces.size(); ++i) {
        out.raw(object.pieces[i]);
        if (i < object.linkSlots.size()) {
            out.raw("rId");
            out.integer(static_cast<int64_t>(firstId + object.linkSlots[i]));
        }
    }
    out.raw("</");
    out.raw(p);
    out.raw(element);
    out.raw('>');
}

}  // namespace

std::string DrawingPlan::partName(size_t index) {
    return "xl/drawings/drawing" + std::to_string(index + 1) + ".xml";
}

DrawingPlan planDrawings(const Workbook& workbook) {
    DrawingPlan plan;
    plan.drawingOfSheet.assign(static_cast<size_t>(workbook.sheetCount()), -1);
    for (int32_t s = 0; s < workbook.sheetCount(); ++s) {
        if (!workbook.sheet(s).drawings().empty()) {
            plan.drawingOfSheet[static_cast<size_t>(s)] =
                static_cast<int32_t>(plan.sheetOfDrawing.size());
            plan.sheetOfDrawing.push_back(s);
        }
    }
    if (plan.sheetOfDrawing.empty()) {
        return plan;
    }
    Planner planner(plan);
    planner.reserve("xl/theme/theme1.xml");
    // The drawings that show notes share the folder of the drawings.
    for (int32_t s = 0; s < workbook.sheetCount(); ++s) {
        if (!workbook.sheet(s).comments().empty()) {
            planner.reserve(vmlDrawingPartName(s));
        }
    }
    for (size_t d = 0; d < plan.sheetOfDrawing.size(); ++d) {
        planner.reserve(DrawingPlan::partName(d));
    }
    for (size_t d = 0; d < plan.sheetOfDrawing.size(); ++d) {
        const std::string name = DrawingPlan::partName(d);
        std::vector<DrawingPlan::Relationship> relationships;
        for (const DrawingObject& object : workbook.sheet(plan.sheetOfDrawing[d]).drawings()) {
            for (const DrawingLink& link : object.links) {
                relationships.push_back(planner.relationshipTo(
                    name, "rId" + std::to_string(relationships.size() + 1), link));
            }
        }
        plan.drawingRelationships.push_back(std::move(relationships));
    }
    return plan;
}

void writeDrawingParts(ZipWriter& zip, const DrawingPlan& plan, const Workbook& workbook) {
    for (size_t d = 0; d < plan.sheetOfDrawing.size(); ++d) {
        const std::string name = DrawingPlan::partName(d);
        {
            XmlStreamWriter out(zip, name);
            out.raw(
                "<xdr:wsDr "
                "xmlns:xdr=\"http://schemas.openxmlformats.org/drawingml/2006/"
                "spreadsheetDrawing\" "
                "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
                "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                "relationships\">");
            size_t nextId = 1;
            for (const DrawingObject& object : workbook.sheet(plan.sheetOfDrawing[d]).drawings()) {
                writeObject(out, object, nextId);
                nextId += object.links.size();
            }
            out.raw("</xdr:wsDr>");
            out.finish();
        }
        writeRelationships(zip, name, plan.drawingRelationships[d]);
    }
    const size_t bookCount = workbook.externalBooks().size();
    const auto sheetExists = [&workbook](std::string_view name) {
        for (int32_t s = 0; s < workbook.sheetCount(); ++s) {
            if (equalsIgnoringAsciiCase(workbook.sheet(s).name(), name)) {
                return true;
            }
        }
        return false;
    };
    for (const DrawingPlan::Carried& carried : plan.carried) {
        const DrawingPart& part = *carried.part;
        zip.beginEntry(carried.name);
        if (part.isChart()) {
            // A chart naming a sheet or book the result lacks would not open.
            DrawingPart written = part;
            for (std::string& formula : written.formulas) {
                formula = formulaWithMissingBooksAsRef(
                    formulaWithMissingSheetsAsRef(formula, sheetExists), bookCount);
            }
            zip.write(written.bytes());
        } else {
            for (const std::string& piece : part.pieces) {
                zip.write(piece);
            }
        }
        zip.endEntry();
        writeRelationships(zip, carried.name, carried.relationships);
    }
}

void writeDrawingContentTypes(XmlStreamWriter& out, const DrawingPlan& plan) {
    auto override = [&out](std::string_view name, std::string_view type) {
        out.raw("<Override PartName=\"/");
        out.attributeValue(name);
        out.raw("\"");
        out.attribute("ContentType", type);
        out.raw("/>");
    };
    for (size_t d = 0; d < plan.sheetOfDrawing.size(); ++d) {
        override(DrawingPlan::partName(d), kDrawingContentType);
    }
    for (const DrawingPlan::Carried& carried : plan.carried) {
        override(carried.name, carried.part->contentType.empty() ? "application/octet-stream"
                                                                 : carried.part->contentType);
    }
}

std::string sheetDrawingRelationship(const DrawingPlan& plan, int32_t sheet) {
    const int32_t drawing = plan.drawingOfSheet.at(static_cast<size_t>(sheet));
    if (drawing < 0) {
        return {};
    }
    return "<Relationship Id=\"" + std::string(kSheetDrawingId) +
           "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
           "drawing\" Target=\"../drawings/drawing" +
           std::to_string(drawing + 1) + ".xml\"/>";
}

void writeDrawingElement(XmlStreamWriter& out, const DrawingPlan& plan, int32_t sheet) {
    if (plan.drawingOfSheet.at(static_cast<size_t>(sheet)) < 0) {
        return;
    }
    out.raw("<drawing r:id=\"");
    out.raw(kSheetDrawingId);
    out.raw("\"/>");
}

}  // namespace plyfold::engine::xlsx
