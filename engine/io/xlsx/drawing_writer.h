#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/model/workbook.h"

namespace plyfold::engine::xlsx {

class XmlStreamWriter;
class ZipWriter;

// The drawing parts of a package (xl/drawings/drawing1.xml, ... in the order of the sheets
// that have objects) and every part they carry, named afresh so that nothing collides. A
// picture several objects show is written once; every other part once for each use.
struct DrawingPlan {
    struct Relationship {
        std::string id;
        std::string type;
        std::string target;  // relative to the part, or the external address
        bool external = false;
    };
    struct Carried {
        const DrawingPart* part = nullptr;
        std::string name;  // without a leading "/"
        std::vector<Relationship> relationships;
    };
    std::vector<int32_t> drawingOfSheet;  // by sheet: its drawing's index, or -1
    std::vector<int32_t> sheetOfDrawing;
    std::vector<std::vector<Relationship>> drawingRelationships;  // by drawing, rId1.. in order
    std::vector<Carried> carried;

    static std::string partName(size_t index);  // "xl/drawings/drawing1.xml" for index 0
};

DrawingPlan planDrawings(const Workbook& workbook);

// The drawing parts with their relationships, and the parts they carry with theirs.
void writeDrawingParts(ZipWriter& zip, const DrawingPlan& plan, const Workbook& workbook);
// The Override elements of [Content_Types].xml for those parts.
void writeDrawingContentTypes(XmlStreamWriter& out, const DrawingPlan& plan);
// The sheet's relationship to its drawing, as XML to put in its relationships part; empty
// when the sheet has no objects.
std::string sheetDrawingRelationship(const DrawingPlan& plan, int32_t sheet);
// <drawing> of a worksheet part; nothing for a sheet without objects.
void writeDrawingElement(XmlStreamWriter& out, const DrawingPlan& plan, int32_t sheet);

}  // namespace plyfold::engine::xlsx
