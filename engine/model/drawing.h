#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plyfold::engine {

struct DrawingPart;

// A relationship of a drawn object or of a carried part: to another part of the package, or to
// something outside it (a linked picture, a web address).
struct DrawingLink {
    std::string type;    // the full relationship type
    std::string target;  // for an external link: its address as written
    bool external = false;
    std::shared_ptr<const DrawingPart> part;  // for a link inside the package
};

// A part carried whole, as read: a picture's bytes, a chart with its styles, colours and
// embedded workbook. Parts are shared between the copies of what uses them; the writer names
// them afresh. A chart's XML is held as pieces with its formulas (the texts of its "f"
// elements, unescaped) between them, so that its series and titles can move like formulas:
// the part's XML is pieces[0] formulas[0] pieces[1] ... formulas[n-1] pieces[n].
struct DrawingPart {
    std::string contentType;
    std::string folder;     // where the part lay under xl/: "media", "charts", "embeddings", ...
    std::string stem;       // its name without a number or extension: "image", "chart", ...
    std::string extension;  // "png", "xml", ...
    std::vector<std::string> pieces;
    std::vector<std::string> formulas;
    // The formulas as the file wrote them: a formula moved back onto the same cells is written
    // as it was read.
    std::vector<std::string> readFormulas;
    // The part's own relationships, with the ids its XML names them by.
    std::vector<std::pair<std::string, DrawingLink>> links;

    bool isChart() const { return !formulas.empty(); }
    // The part's bytes, the formulas written back in.
    std::string bytes() const;
};

enum class AnchorKind : uint8_t { TwoCell, OneCell, Absolute };

// A corner of an object: a cell and the distance into it, in EMU.
struct AnchorMarker {
    int32_t column = 0;
    int64_t columnOffset = 0;
    int32_t row = 0;
    int64_t rowOffset = 0;
};

// The markup-compatibility wrapper an object was read from: the choices that need an
// extension, as written, around the object as their fallback. Empty when there is none.
struct DrawingWrapper {
    std::string element;   // "mc:AlternateContent" as written
    std::string fallback;  // "mc:Fallback" as written
    std::string choices;   // the choice elements' XML

    bool isEmpty() const { return choices.empty(); }
};

// A picture, shape, group, connector or chart frame anchored on a worksheet. Its position is
// held here; the object itself is its XML as read, kept as pieces with the relationships it
// names between them (pieces[0], the id of links[linkSlots[0]], pieces[1] ...), so that the writer
// can give them ids of its own. The XML uses the prefixes its file declared (namespaces).
struct DrawingObject {
    AnchorKind anchor = AnchorKind::TwoCell;
    std::string editAs;  // of a two-cell anchor: "oneCell", "absolute", or empty
    AnchorMarker from;   // two- and one-cell anchors
    AnchorMarker to;     // two-cell anchors
    int64_t x = 0;       // absolute anchors, in EMU
    int64_t y = 0;
    int64_t width = 0;  // one-cell and absolute anchors, in EMU
    int64_t height = 0;
    std::string prefix;      // of the anchor's elements as read: "xdr:" or empty
    std::string namespaces;  // the declarations in scope: ` xmlns:xdr="..." xmlns:a="..."`
    std::vector<std::string> pieces;
    std::vector<uint32_t> linkSlots;
    std::vector<DrawingLink> links;
    // Kept only while the object has not moved, since the choices hold positions of their own.
    DrawingWrapper wrapper;

    // The top-left cell of the object.
    int32_t topRow() const { return anchor == AnchorKind::Absolute ? -1 : from.row; }
    int32_t leftColumn() const { return anchor == AnchorKind::Absolute ? -1 : from.column; }
    // Bytes held, for memory counting.
    uint64_t bytes() const;
};

}  // namespace plyfold::engine
