#pragma once

#include <ctime>
#include <optional>
#include <string_view>

#include "engine/io/xlsx/zip_writer.h"
#include "engine/model/workbook.h"

namespace plyfold::engine::xlsx {

// What the package declares itself to be. Spreadsheet programs refuse a file whose content
// type does not match its extension, so it follows the target's name.
enum class PackageKind { Workbook, MacroWorkbook, Template, MacroTemplate };

// By the extension of path, without regard to case: .xlsm, .xltx, .xltm; anything else is a
// plain workbook.
PackageKind packageKindForPath(std::string_view path);

struct XlsxWriteOptions {
    PackageKind kind = PackageKind::Workbook;
    // The creation time recorded in the document properties; now when unset.
    std::optional<std::time_t> created;
    ZipWriterOptions zip;
};

// Writes the workbook as an Office Open XML package into sink. Sheets not yet loaded are
// loaded first; what their loaders throw, and a workbook that cannot be written (no sheets),
// comes out as SpreadsheetError.
void writeXlsx(const Workbook& workbook, ByteSink& sink, const XlsxWriteOptions& options = {});

}  // namespace plyfold::engine::xlsx
