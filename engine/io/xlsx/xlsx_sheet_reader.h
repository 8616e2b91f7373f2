#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/io/xlsx/byte_source.h"
#include "engine/io/xlsx/color_resolver.h"
#include "engine/io/xlsx/rich_text_reader.h"
#include "engine/model/sheet.h"
#include "engine/model/string_pool.h"

namespace plyfold::engine::xlsx_read {

// What the cells of a sheet part refer to: the workbook's pools, and the pool ids of the
// shared strings and the style ids of the cell formats, in the order the file numbers them.
// The sheet being loaded counts what the reading builds (Sheet::countLoaded) and its workbook
// takes the formulas that cells share.
struct SheetContext {
    Sheet& sheet;
    StringPool& strings;
    StringPool& formulas;
    const std::vector<uint32_t>& sharedStrings;
    const std::vector<uint32_t>& styleIds;
    bool date1904 = false;
    // For conditional formats: the differential styles of the styles part.
    const std::vector<uint32_t>* differentialStyleIds = nullptr;
    // Resolves colours (of differential styles, the tab's); the standard palette and theme
    // when null.
    const ColorResolver* colors = nullptr;
    // The rich text of each shared string (SharedStringRuns::richIds), and where the fonts of
    // inline strings' runs go; without them, texts keep only their characters.
    const std::vector<uint32_t>* sharedRichIds = nullptr;
    RunFonts* runFonts = nullptr;
};

// A hyperlink as the sheet part gives it: an external one's target is in the sheet's
// relationships, under relationshipId.
struct HyperlinkEntry {
    Hyperlink link;
    std::string relationshipId;
};

// Everything read from a sheet part, gathered before it is handed to the sheet so that a
// sheet that fails to read is left as it was.
struct SheetContent {
    std::vector<Row> rows;  // ascending, cells ascending, no duplicates
    std::vector<ColumnInfo> columns;
    std::vector<CellRange> merges;
    std::vector<ArrayFormula> arrayFormulas;
    std::optional<double> defaultColumnWidth;
    std::optional<double> defaultRowHeight;
    std::optional<CellRef> selectedCell;
    std::vector<ConditionalFormat> conditionalFormats;
    std::vector<DataValidation> dataValidations;
    std::optional<SheetSettings> settings;  // nullopt when the part holds none
    UncarriedFeatures uncarried;
    std::vector<HyperlinkEntry> hyperlinks;
    bool hasLegacyDrawing = false;  // the sheet shows notes, whose part its relationships name
    // The relationship id of the sheet's drawing part; empty when it has none.
    std::string drawingRelationship;
};

enum class XmlParser { Fast, Expat };

// Reads a worksheet part in one streaming pass. Throws ReadFailure.
SheetContent readSheetPart(ByteSource& source, const SheetContext& context,
                           XmlParser parser = XmlParser::Fast);

}  // namespace plyfold::engine::xlsx_read
