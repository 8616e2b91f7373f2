#pragma once

#include <optional>

#include "engine/io/xlsx/xml_stream_writer.h"
#include "engine/model/cell_ref.h"
#include "engine/model/sheet_settings.h"

namespace plyfold::engine::xlsx {

// The elements of a worksheet part that hold its settings, each written where the schema
// places it by the worksheet writer; nothing is written for what is at its default.

// <sheetPr>, before the dimension.
void writeSheetProperties(XmlStreamWriter& out, const SheetProperties& properties);

// <sheetViews>: the view, with selectedCell as the active cell of its active pane (the object
// model's selection, which may differ from the one read). tabSelected marks the sheet whose
// tab is selected.
void writeSheetViews(XmlStreamWriter& out, const SheetView& view, bool tabSelected,
                     std::optional<CellRef> selectedCell);

// After the sheet data, in this order: sheetProtection, autoFilter (with its sortState).
void writeProtectionAndFilter(XmlStreamWriter& out, const SheetSettings& settings);

// After merged cells and what follows them: printOptions, pageMargins, pageSetup,
// headerFooter, rowBreaks, colBreaks.
void writePrintSetup(XmlStreamWriter& out, const SheetSettings& settings);

}  // namespace plyfold::engine::xlsx
