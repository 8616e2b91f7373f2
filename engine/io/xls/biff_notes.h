#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/common/code_page.h"
#include "engine/io/xls/biff_globals.h"
#include "engine/io/xls/biff_records.h"
#include "engine/model/comment.h"
#include "engine/model/hyperlink.h"

namespace plyfold::engine::xls {

// The font of a run of a note's text, by the file's font index: an id in the workbook's style
// table, or TextRun::kCellFont for the note's own font.
using BiffRunFont = std::function<uint32_t(uint16_t fontIndex)>;

// Collects the hyperlinks and notes of one sheet from the records of its substream that are
// not cells (hand it each one, as readSheetValues does to its otherRecord): HLINK and
// HLINKTOOLTIP; NOTE with the OBJ and TXO records that hold its text (BIFF8), or with the text
// in the NOTE records themselves (BIFF2 to BIFF5). A link or note that cannot be read whole is
// left out; the sheet's cells are still read.
class BiffNotesReader {
public:
    explicit BiffNotesReader(const BiffGlobals& globals, BiffRunFont runFont = {});
    ~BiffNotesReader();
    BiffNotesReader(const BiffNotesReader&) = delete;
    BiffNotesReader& operator=(const BiffNotesReader&) = delete;

    void record(const BiffRecord& record, BiffRecordCursor& records);

    // What was read, once the sheet's records are through: links in the order of the file,
    // notes in the order of their NOTE records, one a cell.
    std::vector<Hyperlink> takeHyperlinks() { return std::move(m_hyperlinks); }
    std::vector<Comment> takeComments();

private:
    void hyperlink(std::string_view data);
    void tooltip(std::string_view data);
    void object(std::string_view data);
    void textObject(const BiffRecord& record, BiffRecordCursor& records);
    void note(std::string_view data);
    void earlyNote(std::string_view data);

    const BiffGlobals& m_globals;
    BiffRunFont m_runFont;
    std::vector<Hyperlink> m_hyperlinks;
    std::vector<Comment> m_comments;
    std::unordered_map<uint16_t, RichText> m_noteTexts;  // by the id of the note's object
    std::optional<uint16_t> m_noteObject;                // a note's object whose text comes next
    std::optional<size_t> m_earlyNote;                   // a BIFF2-5 note whose text may go on
    std::unique_ptr<dbf::CodePageConverter> m_codePage;  // of BIFF2-5 texts
};

}  // namespace plyfold::engine::xls
