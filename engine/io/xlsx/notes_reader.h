#pragma once

#include <string>
#include <vector>

#include "engine/io/xlsx/rich_text_reader.h"
#include "engine/io/xlsx/xlsx_sheet_reader.h"
#include "engine/io/xlsx/zip_package.h"
#include "engine/model/comment.h"
#include "engine/model/hyperlink.h"

namespace plyfold {
class MemoryAccount;
}

namespace plyfold::engine::xlsx_read {

// The hyperlinks and notes of a sheet whose part names some (SheetContent::hyperlinks,
// hasLegacyDrawing), with what its relationships give them: the targets of external links
// and the comments part. An external link whose relationship is missing is left out, as is
// a note on no cell. part says which part was being read when a ReadFailure is thrown.
struct SheetNotes {
    std::vector<Hyperlink> hyperlinks;
    std::vector<Comment> comments;
    bool hasThreads = false;  // threaded comments, of which the notes are the text
};
SheetNotes readSheetNotes(ZipPackage& package, const std::string& sheetPart,
                          std::vector<HyperlinkEntry> hyperlinks, bool hasLegacyDrawing,
                          RunFonts& fonts, MemoryAccount& memory, std::string& part);

// A comments part (xl/comments1.xml): its notes in the order it lists them.
std::vector<Comment> readCommentsPart(ZipPackage& package, const std::string& storedName,
                                      RunFonts& fonts, MemoryAccount& memory);

}  // namespace plyfold::engine::xlsx_read
