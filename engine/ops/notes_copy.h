#pragma once

#include <cstdint>
#include <unordered_map>

#include "engine/model/cell_ref.h"
#include "engine/model/rich_text.h"

namespace plyfold::engine {

class Sheet;
class Workbook;

// Carries the runs of texts from one workbook into another: each run's font mapped into the
// target's style table, each rich text added once however many cells use it.
class RichTextCarrier {
public:
    RichTextCarrier(const Workbook& from, Workbook& to) : m_from(from), m_to(to) {}
    // A Cell::richText of the source (id + 1, 0 none) as it reads in the target.
    uint32_t carry(uint32_t richText);
    RichText carryText(const RichText& text);

private:
    const Workbook& m_from;
    Workbook& m_to;
    std::unordered_map<uint32_t, uint32_t> m_texts;
    std::unordered_map<uint32_t, uint32_t> m_fonts;
};

// The hyperlinks and notes of source given to its copy (a whole-sheet copy). A link to a
// place on the source sheet follows the copy; one to another sheet of a source in another
// workbook becomes a link to that place in the source's file, which relinkNotesToCopies
// points at a copy of that sheet where the merge made one.
void copySheetNotes(const Sheet& source, Sheet& copy);

// The hyperlinks and notes that lie in range of source, moved to the block pasted at topLeft
// of target (cut to the block), replacing those of the cells they land on. A link to a place
// in the block moves with it; one to anywhere else becomes a link to that place in the
// source's file, since what lies around the block in the target is not what lay around it
// in the source.
void pasteNotes(const Sheet& source, const CellRange& range, Sheet& target, CellRef topLeft);

// After lines [first, first + count) of sheet are deleted: its links and notes move with their
// cells (those on deleted cells go, link ranges shrink), and links anywhere in the workbook
// to places on it move too.
void notesAfterDeletingLines(Sheet& sheet, int32_t first, int32_t count, bool columns);

// Points links to a place in a source file at the copy this workbook holds of that sheet
// (Sheet::origin), the first copy made.
void relinkNotesToCopies(Workbook& workbook);

}  // namespace plyfold::engine
