#include "engine/io/xls/biff_notes.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "engine/common/byte_order.h"
#include "engine/common/text.h"
#include "engine/model/limits.h"

namespace plyfold::engine::xls {
namespace {

constexpr uint16_t kNote = 0x001C;
constexpr uint16_t kObj = 0x005D;
constexpr uint16_t kTxo = 0x01B6;
constexpr uint16_t kHlink = 0x01B8;
constexpr uint16_t kHlinkTooltip = 0x0800;
constexpr uint16_t kCommonObjectData = 0x0015;  // the first part of every OBJ record
constexpr uint16_t kNoteObject = 0x0019;
constexpr uint16_t kEarlyNoteGoesOn = 0xFFFF;  // the row of a NOTE that goes on with a text

// Hyperlink flags: what the link stores, in the order it stores it.
constexpr uint32_t kHasMoniker = 0x001;
constexpr uint32_t kHasLocation = 0x008;
constexpr uint32_t kHasDisplayName = 0x010;
constexpr uint32_t kHasFrameName = 0x080;
constexpr uint32_t kMonikerSavedAsString = 0x100;

// The class ids of the monikers a link's target is stored in, as the file holds them.
constexpr char kUrlMoniker[] = "\xE0\xC9\xEA\x79\xF9\xBA\xCE\x11\x8C\x82\x00\xAA\x00\x4B\xA9\x0B";
constexpr char kFileMoniker[] = "\x03\x03\x00\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46";

// A link that runs past its record, or holds what cannot be read.
struct CutShort {};

// Reads the fields of a hyperlink, never past its end.
class LinkBytes {
public:
    explicit LinkBytes(std::string_view data) : m_data(data) {}

    std::string_view take(uint64_t count) {
        if (count > m_data.size() - m_at) {
            throw CutShort{};
        }
        std::string_view bytes = m_data.substr(m_at, static_cast<size_t>(count));
        m_at += static_cast<size_t>(count);
        return bytes;
    }
    uint16_t u16() { return le16(take(2), 0); }
    uint32_t u32() { return le32(take(4), 0); }

private:
    std::string_view m_data;
    size_t m_at = 0;
};

// UTF-16LE text up to its first NUL, as UTF-8; a lone half of a surrogate pair is U+FFFD.
std::string utf16Text(std::string_view bytes) {
    std::string out;
    uint32_t high = 0;
    for (size_t at = 0; at + 1 < bytes.size(); at += 2) {
        const uint32_t unit = le16(bytes, at);
        if (unit == 0) {
            break;
        }
        if (high && unit >= 0xDC00 && unit <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
            high = 0;
            continue;
        }
        if (high) {
            appendUtf8(out, 0xFFFD);
            high = 0;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            high = unit;
        } else {
            appendUtf8(out, unit >= 0xDC00 && unit <= 0xDFFF ? 0xFFFD : unit);
        }
    }
    if (high) {
        appendUtf8(out, 0xFFFD);
    }
    return out;
}

// A string of a link: its length in characters with the closing NUL, then the characters.
std::string linkString(LinkBytes& bytes) {
    const uint32_t count = bytes.u32();
    return utf16Text(bytes.take(uint64_t{count} * 2));
}

// The path of a file moniker (its parent folders, then the path, in Unicode where the moniker
// holds it so and in the workbook's code page otherwise) as an address.
std::string filePath(LinkBytes& bytes, dbf::CodePageConverter& codePage) {
    const uint16_t parents = bytes.u16();
    std::string_view eightBit = bytes.take(bytes.u32());
    eightBit = eightBit.substr(0, eightBit.find('\0'));
    bytes.take(2 + 2 + 16 + 4);  // end of the server part, version, reserved
    std::string path;
    if (const uint32_t unicodeSize = bytes.u32(); unicodeSize > 0) {
        const uint32_t pathBytes = bytes.u32();
        bytes.take(2);  // key value
        path = utf16Text(bytes.take(pathBytes));
    } else {
        codePage.appendUtf8(path, eightBit);
    }
    // An absolute path becomes a file address, as the .xlsx form of such a link has it; a
    // relative one a relative address, with forward slashes.
    const bool drive = path.size() >= 2 && path[1] == ':';
    const bool share = path.rfind("\\\\", 0) == 0;
    if (parents == 0 && (drive || share)) {
        return "file:///" + path;
    }
    std::string relative;
    for (uint16_t i = 0; i < parents && i < 256; ++i) {
        relative += "../";
    }
    relative += path;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    return relative;
}

// The target a moniker names: a web or mail address, or a file.
std::string monikerTarget(LinkBytes& bytes, dbf::CodePageConverter& codePage) {
    std::string_view classId = bytes.take(16);
    if (classId == std::string_view(kUrlMoniker, 16)) {
        // The URL, then maybe more fields, in a length of bytes.
        return utf16Text(bytes.take(bytes.u32()));
    }
    if (classId == std::string_view(kFileMoniker, 16)) {
        return filePath(bytes, codePage);
    }
    // Composite and item monikers: where they end, and so where the link goes on, is not read.
    throw CutShort{};
}

CellRange rangeOf(std::string_view ref8) {
    return {{le16(ref8, 0), le16(ref8, 4)}, {le16(ref8, 2), le16(ref8, 6)}};
}

[[noreturn]] void failLongNote() {
    throw BiffDamage("holds a note longer than the " + std::to_string(kMaxCellTextLength) +
                     " characters a note can hold");
}

// UTF-16 code units as UTF-8.
std::string utf8Of(const std::vector<uint16_t>& units, size_t from, size_t to) {
    std::string bytes;
    bytes.reserve((to - from) * 2);
    for (size_t i = from; i < to; ++i) {
        bytes.push_back(static_cast<char>(units[i] & 0xFF));
        bytes.push_back(static_cast<char>(units[i] >> 8));
    }
    return utf16Text(bytes);
}

}  // namespace

BiffNotesReader::BiffNotesReader(const BiffGlobals& globals, BiffRunFont runFont)
    : m_globals(globals),
      m_runFont(std::move(runFont)),
      m_codePage(std::make_unique<dbf::CodePageConverter>(
          globals.biff8 ? std::string("CP1252") : biffCodePageName(globals.codePage))) {}

BiffNotesReader::~BiffNotesReader() = default;

void BiffNotesReader::record(const BiffRecord& record, BiffRecordCursor& records) {
    switch (record.type) {
        case kHlink: {
            std::vector<std::string_view> segments{record.data};
            records.takeContinues(segments);
            std::string data;
            for (std::string_view segment : segments) {
                data.append(segment);
            }
            hyperlink(data);
            break;
        }
        case kHlinkTooltip:
            tooltip(record.data);
            break;
        case kObj:
            object(record.data);
            break;
        case kTxo:
            textObject(record, records);
            break;
        case kNote:
            if (m_globals.biff8) {
                note(record.data);
            } else {
                earlyNote(record.data);
            }
            break;
        default:
            break;
    }
}

void BiffNotesReader::hyperlink(std::string_view data) {
    Hyperlink link;
    try {
        LinkBytes bytes(data);
        link.range = rangeOf(bytes.take(8));
        bytes.take(16 + 4);  // the class id of a link, the version of what follows
        const uint32_t flags = bytes.u32();
        if (flags & kHasDisplayName) {
            link.display = linkString(bytes);
        }
        if (flags & kHasFrameName) {
            linkString(bytes);  // the browser frame to open it in: not carried
        }
        if (flags & kHasMoniker) {
            link.target = (flags & kMonikerSavedAsString) ? linkString(bytes)
                                                          : monikerTarget(bytes, *m_codePage);
        }
        if (flags & kHasLocation) {
            link.location = linkString(bytes);
        }
    } catch (const CutShort&) {
        return;  // a link cut short or not read is left out
    }
    const CellRange& range = link.range;
    if ((link.target.empty() && link.location.empty()) || range.first.row > range.last.row ||
        range.first.column > range.last.column || range.last.column >= kMaxColumns) {
        return;  // a link to nowhere, or on no cells
    }
    m_hyperlinks.push_back(std::move(link));
}

void BiffNotesReader::tooltip(std::string_view data) {
    if (data.size() < 10) {
        return;
    }
    const CellRange range = rangeOf(data.substr(2, 8));
    for (auto link = m_hyperlinks.rbegin(); link != m_hyperlinks.rend(); ++link) {
        if (link->range == range) {
            link->tooltip = utf16Text(data.substr(10));
            return;
        }
    }
}

void BiffNotesReader::object(std::string_view data) {
    m_noteObject.reset();
    if (data.size() >= 8 && le16(data, 0) == kCommonObjectData && le16(data, 4) == kNoteObject) {
        m_noteObject = le16(data, 6);
    }
}

void BiffNotesReader::textObject(const BiffRecord& record, BiffRecordCursor& records) {
    if (!m_noteObject || record.data.size() < 14) {
        return;  // the text of a text box or a control: not a note's
    }
    const uint16_t object = *m_noteObject;
    m_noteObject.reset();
    const size_t count = le16(record.data, 10);
    const size_t runBytes = le16(record.data, 12);
    if (count > static_cast<size_t>(kMaxCellTextLength)) {
        failLongNote();
    }
    std::vector<std::string_view> segments;
    records.takeContinues(segments);
    // The characters come first, in records that each begin by saying whether they are one
    // byte or two wide; the formatting runs follow in records of their own.
    std::vector<uint16_t> units;
    units.reserve(count);
    size_t segment = 0;
    while (units.size() < count && segment < segments.size()) {
        std::string_view bytes = segments[segment++];
        if (bytes.empty()) {
            continue;
        }
        const bool wide = (bytes[0] & 0x01) != 0;
        bytes.remove_prefix(1);
        const size_t here = std::min(count - units.size(), wide ? bytes.size() / 2 : bytes.size());
        for (size_t i = 0; i < here; ++i) {
            units.push_back(wide ? le16(bytes, 2 * i) : static_cast<unsigned char>(bytes[i]));
        }
    }
    std::string runs;
    for (; segment < segments.size(); ++segment) {
        runs.append(segments[segment]);
    }
    runs.resize(std::min(runs.size(), runBytes));
    // Each run: the first character it formats, its font, 4 unused bytes. A run at or past
    // the end of the text only closes the list.
    RichText text;
    auto add = [&](size_t from, size_t to, uint32_t font) {
        if (from >= to) {
            return;
        }
        std::string piece = utf8Of(units, from, to);
        if (!text.runs.empty() && text.runs.back().font == font) {
            text.runs.back().text += piece;
        } else {
            text.runs.push_back(TextRun{std::move(piece), font});
        }
    };
    size_t start = 0;
    uint32_t font = TextRun::kCellFont;
    for (size_t at = 0; at + 8 <= runs.size(); at += 8) {
        const size_t first = le16(runs, at);
        if (first >= units.size()) {
            break;
        }
        if (first < start) {
            continue;  // out of order: damage, the run is left out
        }
        add(start, first, font);
        start = first;
        font = m_runFont ? m_runFont(le16(runs, at + 2)) : TextRun::kCellFont;
    }
    add(start, units.size(), font);
    m_noteTexts[object] = std::move(text);
}

void BiffNotesReader::note(std::string_view data) {
    if (data.size() < 8 || le16(data, 2) >= kMaxColumns) {
        return;  // cut short, or on no cell of a sheet
    }
    Comment comment;
    comment.cell = {le16(data, 0), le16(data, 2)};
    try {
        BiffContinuedReader author({data.substr(8)}, {});
        comment.author = author.unicodeString(2, BiffContinuedReader::Layout::Plain);
    } catch (const BiffDamage&) {
        comment.author.clear();  // an author cut short: the note is kept without one
    }
    if (auto text = m_noteTexts.find(le16(data, 6)); text != m_noteTexts.end()) {
        comment.text = std::move(text->second);
        m_noteTexts.erase(text);
    }
    m_comments.push_back(std::move(comment));
}

void BiffNotesReader::earlyNote(std::string_view data) {
    if (data.size() < 6) {
        return;
    }
    const uint16_t row = le16(data, 0);
    std::string_view bytes = data.substr(6, std::min<size_t>(le16(data, 4), data.size() - 6));
    std::string text;
    m_codePage->appendUtf8(text, bytes);
    if (row == kEarlyNoteGoesOn) {
        if (!m_earlyNote) {
            return;  // goes on from no note
        }
        RichText& whole = m_comments[*m_earlyNote].text;
        if (whole.runs.empty()) {
            whole.runs.push_back(TextRun{});
        }
        whole.runs.back().text += text;
        if (utf16Length(whole.runs.back().text) > static_cast<size_t>(kMaxCellTextLength)) {
            failLongNote();
        }
        return;
    }
    if (le16(data, 2) >= kMaxColumns) {
        m_earlyNote.reset();
        return;  // on no cell of a sheet
    }
    Comment comment;
    comment.cell = {row, le16(data, 2)};
    if (!text.empty()) {
        comment.text.runs.push_back(TextRun{std::move(text), TextRun::kCellFont});
    }
    m_earlyNote = m_comments.size();
    m_comments.push_back(std::move(comment));
}

std::vector<Comment> BiffNotesReader::takeComments() {
    // A cell holds one note: a second one on it is left out, as spreadsheet programs do.
    std::unordered_set<uint64_t> cells;
    std::vector<Comment> kept;
    kept.reserve(m_comments.size());
    for (Comment& comment : m_comments) {
        const uint64_t key = (static_cast<uint64_t>(comment.cell.row) << 16) |
                             static_cast<uint64_t>(comment.cell.column);
        if (cells.insert(key).second) {
            kept.push_back(std::move(comment));
        }
    }
    m_comments.clear();
    m_earlyNote.reset();
    return kept;
}

}  // namespace plyfold::engine::xls
