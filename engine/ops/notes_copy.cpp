#include "engine/ops/notes_copy.h"

#include <algorithm>
#include <optional>
#include <string>

#include "engine/common/text.h"
#include "engine/model/workbook.h"
#include "engine/ops/formula_lexer.h"
#include "engine/ops/formula_refs.h"
#include "engine/ops/workbook_links.h"

namespace plyfold::engine {
namespace {

// A hyperlink's location split at its sheet: "'My Sheet'!B4" -> {"My Sheet", "B4"}.
struct Location {
    std::optional<std::string> sheet;
    std::string_view place;
};

Location splitLocation(std::string_view location) {
    if (!location.empty() && location.front() == '\'') {
        std::string sheet;
        for (size_t i = 1; i < location.size(); ++i) {
            if (location[i] != '\'') {
                sheet.push_back(location[i]);
            } else if (i + 1 < location.size() && location[i + 1] == '\'') {
                sheet.push_back('\'');
                ++i;
            } else if (i + 1 < location.size() && location[i + 1] == '!') {
                return {std::move(sheet), location.substr(i + 2)};
            } else {
                break;
            }
        }
        return {std::nullopt, location};
    }
    const size_t bang = location.find('!');
    if (bang == std::string_view::npos) {
        return {std::nullopt, location};
    }
    return {std::string(location.substr(0, bang)), location.substr(bang + 1)};
}

std::string joinLocation(std::string_view sheet, std::string_view place) {
    return formula::quotedSheetName(sheet) + "!" + std::string(place);
}

// The cells a place names ("B4", "$B$4:C9"); nullopt for a name or anything else.
std::optional<CellRange> placeRange(std::string_view place) {
    std::string plain;
    for (char c : place) {
        if (c != '$') {
            plain.push_back(c);
        }
    }
    return parseRangeName(plain);
}

bool intersects(const CellRange& a, const CellRange& b) {
    return a.first.row <= b.last.row && b.first.row <= a.last.row &&
           a.first.column <= b.last.column && b.first.column <= a.last.column;
}

bool containsRange(const CellRange& outer, const CellRange& inner) {
    return outer.contains(inner.first) && outer.contains(inner.last);
}

CellRange shifted(CellRange r, int32_t rows, int32_t columns) {
    r.first.row += rows;
    r.last.row += rows;
    r.first.column += columns;
    r.last.column += columns;
    return r;
}

bool hasSheet(const Workbook& book, std::string_view name) {
    for (int32_t i = 0; i < book.sheetCount(); ++i) {
        if (equalsIgnoringAsciiCase(book.sheet(i).name(), name)) {
            return true;
        }
    }
    return false;
}

// Makes an internal link point at place on the source sheet sheetName in the source's file.
// A link to a sheet the source does not have led nowhere there, and keeps its text.
void pointAtSourceFile(Hyperlink& link, const Sheet& source, std::string_view sheetName,
                       std::string_view place) {
    if (source.workbook().path().empty() || !hasSheet(source.workbook(), sheetName)) {
        return;  // no file to point at: the link keeps its text
    }
    link.target = linkPath(source.workbook().path());
    link.location = joinLocation(sheetName, place);
}

std::string rangeText(const CellRange& range) {
    return range.first == range.last ? cellName(range.first) : rangeName(range);
}

// Shrinks lo..hi by deleting [first, first + count); false when nothing is left.
bool shrinkSpan(int32_t& lo, int32_t& hi, int32_t first, int32_t count) {
    const int32_t last = first + count - 1;
    if (hi < first) {
        return true;
    }
    if (lo > last) {
        lo -= count;
        hi -= count;
        return true;
    }
    if (lo >= first && hi <= last) {
        return false;
    }
    const int32_t newLo = lo < first ? lo : first;
    const int32_t removed = std::min(hi, last) - std::max(lo, first) + 1;
    lo = newLo;
    hi -= removed;
    return true;
}

}  // namespace

uint32_t RichTextCarrier::carry(uint32_t richText) {
    if (richText == 0 || richText > m_from.richTextCount()) {
        return 0;
    }
    auto found = m_texts.find(richText);
    if (found != m_texts.end()) {
        return found->second;
    }
    const uint32_t carried = m_to.addRichText(carryText(m_from.richText(richText - 1))) + 1;
    m_texts.emplace(richText, carried);
    return carried;
}

RichText RichTextCarrier::carryText(const RichText& text) {
    RichText carried = text;
    if (&m_from == &m_to) {
        return carried;
    }
    for (TextRun& run : carried.runs) {
        if (run.font == TextRun::kCellFont || run.font >= m_from.styles().fontCount()) {
            run.font = TextRun::kCellFont;
            continue;
        }
        auto [it, added] = m_fonts.try_emplace(run.font, 0);
        if (added) {
            it->second = m_to.styles().addFont(m_from.styles().font(run.font));
        }
        run.font = it->second;
    }
    return carried;
}

void copySheetNotes(const Sheet& source, Sheet& copy) {
    const bool sameBook = &source.workbook() == &copy.workbook();
    for (Hyperlink link : source.hyperlinks()) {
        if (link.target.empty() && !link.location.empty()) {
            Location location = splitLocation(link.location);
            if (location.sheet && equalsIgnoringAsciiCase(*location.sheet, source.name())) {
                link.location = joinLocation(copy.name(), location.place);
            } else if (location.sheet && !sameBook) {
                pointAtSourceFile(link, source, *location.sheet, location.place);
            }
        }
        copy.hyperlinks().push_back(std::move(link));
    }
    RichTextCarrier runs(source.workbook(), copy.workbook());
    for (const Comment& comment : source.comments()) {
        Comment carried = comment;
        carried.text = runs.carryText(comment.text);
        copy.comments().push_back(std::move(carried));
    }
}

void pasteNotes(const Sheet& source, const CellRange& range, Sheet& target, CellRef topLeft) {
    if (source.hyperlinks().empty() && source.comments().empty() && target.hyperlinks().empty() &&
        target.comments().empty()) {
        return;
    }
    const int32_t rows = topLeft.row - range.first.row;
    const int32_t columns = topLeft.column - range.first.column;
    const CellRange rect = shifted(range, rows, columns);

    auto& targetLinks = target.hyperlinks();
    targetLinks.erase(std::remove_if(targetLinks.begin(), targetLinks.end(),
                                     [&](const Hyperlink& l) { return intersects(l.range, rect); }),
                      targetLinks.end());
    auto& targetNotes = target.comments();
    targetNotes.erase(std::remove_if(targetNotes.begin(), targetNotes.end(),
                                     [&](const Comment& c) { return rect.contains(c.cell); }),
                      targetNotes.end());

    for (const Hyperlink& original : source.hyperlinks()) {
        if (!intersects(original.range, range)) {
            continue;
        }
        Hyperlink link = original;
        const CellRange clipped{{std::max(link.range.first.row, range.first.row),
                                 std::max(link.range.first.column, range.first.column)},
                                {std::min(link.range.last.row, range.last.row),
                                 std::min(link.range.last.column, range.last.column)}};
        link.range = shifted(clipped, rows, columns);
        if (link.target.empty() && !link.location.empty()) {
            Location location = splitLocation(link.location);
            const bool onSource =
                !location.sheet || equalsIgnoringAsciiCase(*location.sheet, source.name());
            const std::optional<CellRange> place =
                onSource ? placeRange(location.place) : std::nullopt;
            if (place && containsRange(range, *place)) {
                link.location =
                    joinLocation(target.name(), rangeText(shifted(*place, rows, columns)));
            } else {
                pointAtSourceFile(link, source, location.sheet ? *location.sheet : source.name(),
                                  location.place);
            }
        }
        targetLinks.push_back(std::move(link));
    }
    RichTextCarrier runs(source.workbook(), target.workbook());
    for (const Comment& comment : source.comments()) {
        if (!range.contains(comment.cell)) {
            continue;
        }
        Comment carried = comment;
        carried.cell.row += rows;
        carried.cell.column += columns;
        carried.text = runs.carryText(comment.text);
        targetNotes.push_back(std::move(carried));
    }
}

void notesAfterDeletingLines(Sheet& sheet, int32_t first, int32_t count, bool columns) {
    const int32_t last = first + count - 1;
    auto& notes = sheet.comments();
    std::vector<Comment> kept;
    kept.reserve(notes.size());
    for (Comment& comment : notes) {
        int32_t& at = columns ? comment.cell.column : comment.cell.row;
        if (at >= first && at <= last) {
            continue;
        }
        if (at > last) {
            at -= count;
        }
        kept.push_back(std::move(comment));
    }
    notes.swap(kept);

    auto& links = sheet.hyperlinks();
    std::vector<Hyperlink> keptLinks;
    keptLinks.reserve(links.size());
    for (Hyperlink& link : links) {
        CellRange& r = link.range;
        const bool left = columns ? shrinkSpan(r.first.column, r.last.column, first, count)
                                  : shrinkSpan(r.first.row, r.last.row, first, count);
        if (left) {
            keptLinks.push_back(std::move(link));
        }
    }
    links.swap(keptLinks);

    // Links to places on the sheet, from any sheet of the workbook, move with the cells.
    Workbook& workbook = sheet.workbook();
    for (int32_t s = 0; s < workbook.sheetCount(); ++s) {
        Sheet& holder = workbook.sheet(s);
        for (Hyperlink& link : holder.hyperlinks()) {
            if (!link.target.empty() || link.location.empty()) {
                continue;
            }
            const SheetScope scope{sheet.name(), holder.name()};
            link.location = columns
                                ? formulaAfterDeletingColumns(link.location, first, count, scope)
                                : formulaAfterDeletingRows(link.location, first, count, scope);
        }
    }
}

void relinkNotesToCopies(Workbook& workbook) {
    for (int32_t s = 0; s < workbook.sheetCount(); ++s) {
        for (Hyperlink& link : workbook.sheet(s).hyperlinks()) {
            if (link.target.empty() || link.location.empty()) {
                continue;
            }
            const Location location = splitLocation(link.location);
            if (!location.sheet) {
                continue;
            }
            for (int32_t c = 0; c < workbook.sheetCount(); ++c) {
                const Sheet& copy = workbook.sheet(c);
                if (copy.origin() && copy.origin()->path == link.target &&
                    equalsIgnoringAsciiCase(copy.origin()->sheet, *location.sheet)) {
                    link.target.clear();
                    link.location = joinLocation(copy.name(), location.place);
                    break;
                }
            }
        }
    }
}

}  // namespace plyfold::engine
