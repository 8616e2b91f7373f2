#include "engine/io/xlsx/xlsx_writer.h"

#include "engine/common/file_kind.h"
#include "engine/io/xlsx/content_types_writer.h"
#include "engine/io/xlsx/doc_props_writer.h"
#include "engine/io/xlsx/external_link_writer.h"
#include "engine/io/xlsx/notes_writer.h"
#include "engine/io/xlsx/relationships_writer.h"
#include "engine/io/xlsx/shared_strings_writer.h"
#include "engine/io/xlsx/styles_writer.h"
#include "engine/io/xlsx/theme_writer.h"
#include "engine/io/xlsx/workbook_part_writer.h"
#include "engine/io/xlsx/worksheet_writer.h"
#include "engine/io/xlsx/xlsx_writer_plan.h"

namespace plyfold::engine::xlsx {

PackageKind packageKindForPath(std::string_view path) {
    switch (files::fileTypeOfName(path)) {
        case files::FileType::Xlsm:
            return PackageKind::MacroWorkbook;
        case files::FileType::Xltx:
            return PackageKind::Template;
        case files::FileType::Xltm:
            return PackageKind::MacroTemplate;
        default:
            return PackageKind::Workbook;
    }
}

void writeXlsx(const Workbook& workbook, ByteSink& sink, const XlsxWriteOptions& options) {
    const PackagePlan plan = planPackage(workbook, options);
    ZipWriter zip(sink, options.zip);
    // The package structure first, as spreadsheet programs write it; the big parts last.
    writeContentTypes(zip, plan);
    writePackageRelationships(zip);
    writeAppProperties(zip, plan);
    writeCoreProperties(zip, plan);
    writeWorkbookPart(zip, plan);
    writeWorkbookRelationships(zip, plan);
    writeTheme(zip);
    writeStyles(zip, plan);
    if (!plan.sharedStrings.texts.empty()) {
        writeSharedStrings(zip, plan);
    }
    writeExternalLinks(zip, plan);
    FormulaTexts formulas(workbook);
    for (int32_t i = 0; i < plan.sheetCount(); ++i) {
        writeWorksheet(zip, plan, i, formulas);
        writeSheetRelationships(zip, plan.tables, workbook.sheet(i), i,
                                PackagePlan::worksheetPartName(i),
                                sheetDrawingRelationship(plan.drawings, i));
        writeNotesParts(zip, workbook.sheet(i), i);
    }
    for (size_t i = 0; i < plan.tables.tables.size(); ++i) {
        writeTablePart(zip, plan.tables, i);
    }
    writeDrawingParts(zip, plan.drawings, workbook);
    zip.finish();
}

}  // namespace plyfold::engine::xlsx
