#include "engine/io/xlsx/notes_reader.h"

#include <algorithm>
#include <optional>
#include <unordered_set>

#include "engine/common/memory_budget.h"
#include "engine/common/text.h"
#include "engine/io/xlsx/opc_package.h"
#include "engine/io/xlsx/read_failure.h"
#include "engine/io/xlsx/value_parsing.h"
#include "engine/model/limits.h"

namespace plyfold::engine::xlsx_read {
namespace {

// Bounds a hostile file's authors: far more than any workbook has.
constexpr size_t kMaxAuthors = 65536;

std::string decoded(std::string_view text) {
    std::string out(text);
    decodeEscapes(out);
    return out;
}

// comments > (authors > author, commentList > comment > text > (t | r > (rPr, t))).
class CommentsHandler : public XmlHandler {
public:
    CommentsHandler(RunFonts& fonts, MemoryAccount& memory) : m_runs(fonts), m_count(memory) {}

    void startElement(std::string_view name, XmlAttributes attributes) override {
        ++m_depth;
        m_collect = nullptr;
        if (m_depth == 2) {
            m_section = name;
        } else if (m_depth == 3 && m_section == "authors" && name == "author") {
            if (m_authors.size() >= kMaxAuthors) {
                fail(FailureKind::TooLarge,
                     "the notes name more than " + std::to_string(kMaxAuthors) + " authors");
            }
            m_authors.emplace_back();
            m_collect = &m_authors.back();
            m_collectingAuthor = true;
        } else if (m_depth == 3 && m_section == "commentList" && name == "comment") {
            startComment(attributes);
        } else if (!m_inComment) {
            return;
        } else if (m_depth == 4) {
            m_inText = name == "text";
            m_runs.clear();
            m_plain.clear();
        } else if (m_depth == 5 && m_inText) {
            if (name == "t") {
                m_collect = &m_plain;
            } else if (name == "r") {
                m_runs.startRun();
                m_inRun = true;
            }
        } else if (m_depth == 6 && m_inRun) {
            if (name == "t") {
                m_collect = &m_runs.runText();
            } else if (name == "rPr") {
                m_inProperties = true;
            }
        } else if (m_depth == 7 && m_inProperties) {
            m_runs.runProperty(name, attributes);
        }
    }

    void endElement(std::string_view) override {
        m_collect = nullptr;
        if (m_depth == 3 && m_collectingAuthor) {
            m_collectingAuthor = false;
            m_count.add(m_authors.back().size() + sizeof(std::string));
        } else if (m_depth == 3 && m_inComment) {
            finishComment();
        } else if (m_depth == 5 && m_inRun) {
            m_runs.endRun();
            m_inRun = false;
        } else if (m_depth == 6) {
            m_inProperties = false;
        }
        --m_depth;
    }

    void characters(std::string_view text) override {
        if (!m_collect) {
            return;
        }
        m_textBytes += text.size();
        if (m_textBytes > kMaxRawTextBytes) {
            fail(FailureKind::TooLarge, "the note on " + cellName(m_cell) + " is longer than the " +
                                            std::to_string(kMaxCellTextLength) +
                                            " characters a note can hold");
        }
        m_collect->append(text);
    }

    std::vector<Comment> comments;
    void finish() { m_count.flush(); }

private:
    void startComment(XmlAttributes attributes) {
        m_inComment = false;
        m_textBytes = 0;
        std::optional<CellRange> range = parseRangeName(attributeOr(attributes, "ref"));
        if (!range) {
            return;  // on no cell
        }
        m_cell = range->first;
        uint32_t author = 0;
        m_author = parseIndex(attributeOr(attributes, "authorId"), author) ? author : UINT32_MAX;
        m_inComment = true;
    }

    void finishComment() {
        m_inComment = false;
        Comment comment;
        comment.cell = m_cell;
        if (m_author < m_authors.size()) {
            comment.author = decoded(m_authors[m_author]);
        }
        if (!isXmlText(comment.author)) {
            comment.author.clear();
        }
        if (m_runs.hasRuns()) {
            if (!m_runs.take(comment.text)) {
                textFailure();
            }
        } else if (!m_plain.empty()) {
            if (!isXmlText(m_plain)) {
                textFailure();
            }
            decodeEscapes(m_plain);
            comment.text.runs.push_back(TextRun{m_plain, TextRun::kCellFont});
        }
        size_t bytes = sizeof(Comment) + comment.author.size();
        for (const TextRun& run : comment.text.runs) {
            bytes += sizeof(TextRun) + run.text.size();
        }
        m_count.add(bytes);
        comments.push_back(std::move(comment));
    }

    [[noreturn]] void textFailure() const {
        fail(FailureKind::Damaged, "the note on " + cellName(m_cell) + " is not valid text");
    }

    RunCollector m_runs;
    ChunkedCount m_count;
    std::vector<std::string> m_authors;
    std::string m_section;
    std::string* m_collect = nullptr;
    std::string m_plain;
    CellRef m_cell;
    uint32_t m_author = 0;
    size_t m_textBytes = 0;
    int m_depth = 0;
    bool m_collectingAuthor = false;
    bool m_inComment = false;
    bool m_inText = false;
    bool m_inRun = false;
    bool m_inProperties = false;
};

}  // namespace

std::vector<Comment> readCommentsPart(ZipPackage& package, const std::string& storedName,
                                      RunFonts& fonts, MemoryAccount& memory) {
    CommentsHandler handler(fonts, memory);
    parsePart(package, storedName, handler, kMaxLargePartBytes, true);
    handler.finish();
    // A cell holds one note: a second one on it is left out, as spreadsheet programs do.
    std::vector<Comment>& comments = handler.comments;
    std::unordered_set<uint64_t> cells;
    comments.erase(std::remove_if(comments.begin(), comments.end(),
                                  [&](const Comment& c) {
                                      const uint64_t key =
                                          (static_cast<uint64_t>(c.cell.row) << 16) |
                                          static_cast<uint64_t>(c.cell.column);
                                      return !cells.insert(key).second;
                                  }),
                   comments.end());
    return std::move(comments);
}

SheetNotes readSheetNotes(ZipPackage& package, const std::string& sheetPart,
                          std::vector<HyperlinkEntry> hyperlinks, bool hasLegacyDrawing,
                          RunFonts& fonts, MemoryAccount& memory, std::string& part) {
    SheetNotes notes;
    part = relationshipsPartOf(sheetPart);
    const std::vector<Relationship> relationships = readRelationships(package, sheetPart);
    auto find = [&](std::string_view id) -> const Relationship* {
        for (const Relationship& r : relationships) {
            if (r.id == id) {
                return &r;
            }
        }
        return nullptr;
    };
    notes.hyperlinks.reserve(hyperlinks.size());
    for (HyperlinkEntry& entry : hyperlinks) {
        Hyperlink& link = entry.link;
        if (!entry.relationshipId.empty()) {
            const Relationship* r = find(entry.relationshipId);
            if (r && relationshipKind(r->type) == "hyperlink") {
                link.target = r->target;
            } else if (link.location.empty()) {
                continue;  // its target is missing
            }
        }
        for (std::string* text : {&link.target, &link.location, &link.display, &link.tooltip}) {
            decodeEscapes(*text);
            if (!isXmlText(*text)) {
                text->clear();
            }
        }
        notes.hyperlinks.push_back(std::move(link));
    }
    if (hasLegacyDrawing) {
        for (const Relationship& r : relationships) {
            // A thread's replies and authors live in its own part; its note holds the thread
            // as text, which is what is carried.
            if (!r.external && relationshipKind(r.type) == "threadedComment") {
                notes.hasThreads = true;
            }
        }
        for (const Relationship& r : relationships) {
            if (r.external || relationshipKind(r.type) != "comments") {
                continue;
            }
            std::optional<std::string> stored =
                package.findPart(resolveTarget(sheetPart, r.target));
            if (!stored) {
                continue;  // a missing part: the notes are left out, the sheet read
            }
            part = *stored;
            notes.comments = readCommentsPart(package, *stored, fonts, memory);
            break;
        }
    }
    return notes;
}

}  // namespace plyfold::engine::xlsx_read
