#include "engine/ops/drawing_copy.h"

#include <memory>

#include "engine/common/text.h"
#include "engine/model/limits.h"
#include "engine/model/sheet.h"
#include "engine/ops/formula_lexer.h"
#include "engine/ops/formula_refs.h"
#include "engine/ops/workbook_links.h"

namespace plyfold::engine {
namespace {

// Whether two formulas read the same cells and differ at most in how sheet names are
// written ('Sales'!A1 and Sales!A1): a chart keeps the text it had then.
bool sameReferences(std::string_view a, std::string_view b) {
    const std::vector<formula::Token> left = formula::tokenize(a);
    const std::vector<formula::Token> right = formula::tokenize(b);
    if (left.size() != right.size()) {
        return false;
    }
    for (size_t i = 0; i < left.size(); ++i) {
        const formula::Token& x = left[i];
        const formula::Token& y = right[i];
        if (x.kind != y.kind) {
            return false;
        }
        if (x.kind == formula::TokenKind::Text) {
            if (x.text != y.text) {
                return false;
            }
            continue;
        }
        if (x.ref.external != y.ref.external || x.ref.externalIndex != y.ref.externalIndex ||
            x.ref.body != y.ref.body || x.ref.hasSheet() != y.ref.hasSheet() ||
            !equalsIgnoringAsciiCase(x.ref.firstSheet, y.ref.firstSheet) ||
            !equalsIgnoringAsciiCase(x.ref.lastSheet, y.ref.lastSheet)) {
            return false;
        }
    }
    return true;
}

// The object with each chart it shows made a part of its own, its formulas rewritten.
void rewriteCharts(DrawingObject& object, const FormulaRewrite& rewrite, bool always) {
    for (DrawingLink& link : object.links) {
        if (!link.part || !link.part->isChart()) {
            continue;
        }
        std::vector<std::string> formulas = link.part->formulas;
        bool changed = false;
        if (rewrite) {
            const std::vector<std::string>& read = link.part->readFormulas;
            for (size_t i = 0; i < formulas.size(); ++i) {
                std::string after = rewrite(formulas[i]);
                const bool asRead = i < read.size() && sameReferences(read[i], after);
                if (asRead) {
                    after = read[i];
                }
                if (after != formulas[i] && (asRead || !sameReferences(formulas[i], after))) {
                    formulas[i] = std::move(after);
                    changed = true;
                }
            }
        }
        if (changed || always) {
            auto part = std::make_shared<DrawingPart>(*link.part);
            part->formulas = std::move(formulas);
            link.part = std::move(part);
        }
    }
}

std::string endText(const formula::RefEnd& end, int32_t rowOffset, int32_t columnOffset) {
    std::string out;
    if (end.absoluteColumn) {
        out += '$';
    }
    out += columnName(end.column + columnOffset);
    if (end.absoluteRow) {
        out += '$';
    }
    out += std::to_string(end.row + rowOffset + 1);
    return out;
}

// The whole text of a reference, its sheet prefix included.
std::string_view wholeText(const formula::Reference& ref) {
    if (ref.prefix.empty()) {
        return ref.body;
    }
    return {ref.prefix.data(),
            static_cast<size_t>(ref.body.data() + ref.body.size() - ref.prefix.data())};
}

}  // namespace

std::vector<DrawingObject> copiedDrawings(const Sheet& source, const FormulaRewrite& rewrite) {
    std::vector<DrawingObject> objects = source.drawings();
    for (DrawingObject& object : objects) {
        rewriteCharts(object, rewrite, true);
    }
    return objects;
}

std::vector<DrawingObject> pastedDrawings(const Sheet& source, const CellRange& block,
                                          const Sheet& target, CellRef offset,
                                          FormulaCarrier* carrier) {
    std::vector<DrawingObject> objects;
    const std::string targetPrefix = formula::quotedSheetName(target.name()) + "!";
    const FormulaRewrite rewrite = [&](std::string_view text) {
        return rewriteFormulaReferences(text, [&](const formula::Reference& ref, std::string& out) {
            const bool namesSource =
                !ref.external && !ref.isThreeD() &&
                (!ref.hasSheet() || equalsIgnoringAsciiCase(ref.firstSheet, source.name()));
            const bool cells =
                ref.kind == formula::RefKind::Cell || ref.kind == formula::RefKind::Area;
            if (namesSource && cells && block.contains(CellRef{ref.first.row, ref.first.column}) &&
                block.contains(CellRef{ref.last.row, ref.last.column})) {
                out += targetPrefix;
                out += endText(ref.first, offset.row, offset.column);
                if (ref.kind == formula::RefKind::Area) {
                    out += ':';
                    out += endText(ref.last, offset.row, offset.column);
                }
                return true;
            }
            if (carrier && formula::readsCells(ref.kind)) {
                const std::string carried = carrier->carry(wholeText(ref));
                carrier->cacheValuesOf(carried);
                out += carried;
                return true;
            }
            return false;
        });
    };
    for (const DrawingObject& object : source.drawings()) {
        if (object.anchor == AnchorKind::Absolute ||
            !block.contains(CellRef{object.from.row, object.from.column})) {
            continue;
        }
        DrawingObject moved = object;
        if (offset.row != 0 || offset.column != 0) {
            moved.wrapper = {};  // its choices would stay where they were
        }
        for (AnchorMarker* marker : {&moved.from, &moved.to}) {
            marker->row = std::clamp(marker->row + offset.row, 0, kMaxRows - 1);
            marker->column = std::clamp(marker->column + offset.column, 0, kMaxColumns - 1);
        }
        rewriteCharts(moved, rewrite, true);
        objects.push_back(std::move(moved));
    }
    return objects;
}

void chartsReadLinesFromSource(const Sheet& source, const CellRange& block, Sheet& target,
                               CellRef topLeft, int32_t first, int32_t count, bool columns,
                               FormulaCarrier& carrier) {
    if (!carrier.movesLocalReferences() || count <= 0 || target.drawings().empty()) {
        return;
    }
    const CellRef offset{topLeft.row - block.first.row, topLeft.column - block.first.column};
    const CellRange landed{topLeft,
                           {block.last.row + offset.row, block.last.column + offset.column}};
    const int64_t end = int64_t{first} + count;
    const std::string sourcePrefix = formula::quotedSheetName(source.name()) + "!";
    const FormulaRewrite rewrite = [&](std::string_view text) {
        return rewriteFormulaReferences(text, [&](const formula::Reference& ref, std::string& out) {
            if (ref.external || ref.isThreeD() || !ref.hasSheet() ||
                !equalsIgnoringAsciiCase(ref.firstSheet, target.name()) ||
                (ref.kind != formula::RefKind::Cell && ref.kind != formula::RefKind::Area)) {
                return false;
            }
            const CellRef a{ref.first.row, ref.first.column};
            const CellRef b{ref.last.row, ref.last.column};
            const int32_t low = columns ? std::min(a.column, b.column) : std::min(a.row, b.row);
            const int32_t high = columns ? std::max(a.column, b.column) : std::max(a.row, b.row);
            if (!landed.contains(a) || !landed.contains(b) || low < first || high >= end) {
                return false;
            }
            std::string moved = sourcePrefix + endText(ref.first, -offset.row, -offset.column);
            if (ref.kind == formula::RefKind::Area) {
                moved += ':';
                moved += endText(ref.last, -offset.row, -offset.column);
            }
            const std::string carried = carrier.carry(moved);
            carrier.cacheValuesOf(carried);
            out += carried;
            return true;
        });
    };
    for (DrawingObject& object : target.drawings()) {
        if (object.anchor != AnchorKind::Absolute &&
            landed.contains(CellRef{object.from.row, object.from.column})) {
            rewriteCharts(object, rewrite, false);
        }
    }
}

void drawingsAfterDeleting(Sheet& sheet, int32_t first, int32_t count, bool columns) {
    const int64_t end = int64_t{first} + count;
    auto line = [columns](AnchorMarker& marker) -> int32_t& {
        return columns ? marker.column : marker.row;
    };
    auto offset = [columns](AnchorMarker& marker) -> int64_t& {
        return columns ? marker.columnOffset : marker.rowOffset;
    };
    // A corner in the deleted lines lands where they were, at the start of the line after.
    auto move = [&](AnchorMarker& marker) {
        if (line(marker) >= end) {
            line(marker) -= count;
        } else if (line(marker) >= first) {
            line(marker) = first;
            offset(marker) = 0;
        }
    };
    auto& objects = sheet.drawings();
    std::vector<DrawingObject> kept;
    kept.reserve(objects.size());
    for (DrawingObject& object : objects) {
        // An object whose every covered cell is deleted goes with them; its far corner at the
        // very start of the line after them still counts as inside.
        if (object.anchor == AnchorKind::TwoCell && line(object.from) >= first &&
            line(object.from) < end &&
            (line(object.to) < end || (line(object.to) == end && offset(object.to) == 0))) {
            continue;
        }
        if (object.anchor != AnchorKind::Absolute) {
            const AnchorMarker from = object.from;
            const AnchorMarker to = object.to;
            move(object.from);
            if (object.anchor == AnchorKind::TwoCell) {
                move(object.to);
            }
            auto same = [](const AnchorMarker& a, const AnchorMarker& b) {
                return a.row == b.row && a.column == b.column && a.rowOffset == b.rowOffset &&
                       a.columnOffset == b.columnOffset;
            };
            if (!same(object.from, from) || !same(object.to, to)) {
                object.wrapper = {};  // its choices would stay where they were
            }
        }
        kept.push_back(std::move(object));
    }
    objects.swap(kept);
}

void rewriteChartFormulas(Sheet& sheet, const FormulaRewrite& rewrite) {
    for (DrawingObject& object : sheet.drawings()) {
        rewriteCharts(object, rewrite, false);
    }
}

}  // namespace plyfold::engine
