#include "engine/model/drawing.h"

namespace plyfold::engine {
namespace {

void appendEscaped(std::string& out, const std::string& text) {
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += c;
        }
    }
}

}  // namespace

std::string DrawingPart::bytes() const {
    std::string out;
    for (size_t i = 0; i < pieces.size(); ++i) {
        out += pieces[i];
        if (i < formulas.size()) {
            appendEscaped(out, formulas[i]);
        }
    }
    return out;
}

uint64_t DrawingObject::bytes() const {
    uint64_t total = sizeof(DrawingObject) + prefix.size() + namespaces.size() + editAs.size() +
                     wrapper.element.size() + wrapper.fallback.size() + wrapper.choices.size();
    for (const std::string& piece : pieces) {
        total += sizeof(std::string) + piece.size();
    }
    total += linkSlots.size() * sizeof(uint32_t);
    for (const DrawingLink& link : links) {
        total += sizeof(DrawingLink) + link.type.size() + link.target.size();
    }
    return total;
}

}  // namespace plyfold::engine
