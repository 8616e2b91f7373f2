#include "engine/io/xlsx/xlsx_writer_plan.h"

#include <algorithm>

#include "engine/common/error.h"
#include "engine/model/limits.h"
#include "engine/ops/number_format.h"

namespace plyfold::engine::xlsx {
namespace {

[[noreturn]] void badModel(const Sheet& sheet, const std::string& what) {
    throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                           "The sheet '" + sheet.name() + "' cannot be written: " + what + ".");
}

void addRichText(const Workbook& workbook, const Cell& cell, SharedStringTable& strings) {
    if (strings.indexOfRich.size() < workbook.richTextCount()) {
        strings.indexOfRich.resize(workbook.richTextCount(), kNoSharedString);
    }
    uint32_t& index = strings.indexOfRich[cell.richText - 1];
    if (index == kNoSharedString) {
        index = static_cast<uint32_t>(strings.texts.size());
        strings.texts.push_back(cell.value.text);
        strings.richOf.resize(strings.texts.size(), 0);
        strings.richOf.back() = cell.richText;
    }
    ++strings.references;
}

void scanSheet(const Sheet& sheet, const Workbook& workbook, SharedStringTable& strings) {
    // Loading a sheet adds to the workbook's texts, formulas and styles, so the counts are
    // taken after it.
    const std::vector<Row>& rows = sheet.rows();
    strings.indexOfText.resize(workbook.strings().size(), kNoSharedString);
    const uint32_t textCount = workbook.strings().size();
    const uint32_t formulaCount = workbook.formulas().size();
    const uint32_t sharedFormulaCount = workbook.sharedFormulaCount();
    const uint32_t styleCount = workbook.styles().styleCount();
    int32_t previousRow = -1;
    for (const Row& row : rows) {
        if (row.index <= previousRow || row.index >= kMaxRows) {
            badModel(sheet, "its rows are out of order or past the last row");
        }
        previousRow = row.index;
        int32_t previousColumn = -1;
        for (const Cell& cell : row.cells) {
            if (cell.column <= previousColumn || cell.column >= kMaxColumns) {
                badModel(sheet, "its cells are out of order or past the last column");
            }
            previousColumn = cell.column;
            if (cell.style >= styleCount) {
                badModel(sheet, "a cell refers to a missing style");
            }
            if (cell.hasSharedFormula()
                    ? cell.formulaId() >= sharedFormulaCount ||
                          workbook.sharedFormula(cell.formulaId()).text >= formulaCount
                    : cell.hasFormula() && cell.formulaId() >= formulaCount) {
                badModel(sheet, "a cell refers to a missing formula");
            }
            if (cell.type == CellType::Error && static_cast<uint8_t>(cell.value.error) >
                                                    static_cast<uint8_t>(ErrorValue::GettingData)) {
                badModel(sheet, "a cell holds an unknown error value");
            }
            if (cell.type != CellType::Text) {
                continue;
            }
            if (cell.value.text >= textCount) {
                badModel(sheet, "a cell refers to a missing text");
            }
            if (cell.hasFormula()) {
                continue;  // a formula's text result is written in the cell itself
            }
            if (cell.richText != 0 && workbook.richTextOf(cell)) {
                addRichText(workbook, cell, strings);
                continue;
            }
            uint32_t& index = strings.indexOfText[cell.value.text];
            if (index == kNoSharedString) {
                index = static_cast<uint32_t>(strings.texts.size());
                strings.texts.push_back(cell.value.text);
            }
            ++strings.references;
        }
    }
    for (const ColumnInfo& column : sheet.columns()) {
        if (column.style >= styleCount) {
            badModel(sheet, "a column refers to a missing style");
        }
    }
    for (const Row& row : sheet.rows()) {
        if (row.style >= styleCount) {
            badModel(sheet, "a row refers to a missing style");
        }
    }
}

// Every cell format of the table is written (cells refer to them by their ids), so every
// code they use gets an id.
void planNumberFormats(const StyleTable& styles, PackagePlan& plan) {
    plan.numberFormatIds.assign(styles.formatCodeCount(), -1);
    // The codes of the cell formats, then those only differential styles use.
    std::vector<uint32_t> codes;
    codes.reserve(styles.styleCount());
    for (uint32_t id = 0; id < styles.styleCount(); ++id) {
        codes.push_back(styles.style(id).numberFormat);
    }
    for (uint32_t id = 0; id < styles.differentialStyleCount(); ++id) {
        if (const auto code = styles.differentialStyle(id).numberFormat) {
            codes.push_back(*code);
        }
    }
    for (uint32_t code : codes) {
        if (code >= styles.formatCodeCount() || plan.numberFormatIds[code] >= 0) {
            continue;
        }
        // Built-in ids only for the exact code: "GENERAL" written by some programs stays as
        // it is, as a custom code.
        const std::string_view text = styles.formatCode(code);
        const int builtin = builtinFormatId(text);
        if (builtin >= 0 && builtinFormatCode(builtin) == text) {
            plan.numberFormatIds[code] = builtin;
        } else {
            plan.numberFormatIds[code] =
                static_cast<int32_t>(kFirstCustomFormatId + plan.customFormatCodes.size());
            plan.customFormatCodes.push_back(code);
        }
    }
}

}  // namespace

std::string PackagePlan::worksheetPartName(int32_t index) {
    return "xl/worksheets/sheet" + std::to_string(index + 1) + ".xml";
}

PackagePlan planPackage(const Workbook& workbook, const XlsxWriteOptions& options) {
    if (workbook.sheetCount() == 0) {
        throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                               "A workbook without sheets cannot be saved.");
    }
    PackagePlan plan;
    plan.workbook = &workbook;
    plan.kind = options.kind;
    plan.created = options.created ? *options.created : std::time(nullptr);

    for (int32_t i = 0; i < workbook.sheetCount(); ++i) {
        const Sheet& sheet = workbook.sheet(i);
        plan.visibility.push_back(sheet.visibility());
        scanSheet(sheet, workbook, plan.sharedStrings);
    }
    // After the sheets: loading the first one may fill the style table.
    const StyleTable& styles = workbook.styles();
    for (uint32_t id = 0; id < styles.styleCount(); ++id) {
        const CellStyle& style = styles.style(id);
        if (style.font >= styles.fontCount() || style.fill >= styles.fillCount() ||
            style.border >= styles.borderCount() ||
            style.numberFormat >= styles.formatCodeCount()) {
            throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                                   "The workbook cannot be written: a cell format refers to a "
                                   "missing font, fill, border or number format.");
        }
    }

    planNumberFormats(styles, plan);
    plan.tables = planTables(workbook);
    plan.drawings = planDrawings(workbook);

    plan.activeSheet = std::clamp(workbook.activeSheet(), 0, plan.sheetCount() - 1);
    auto visible = [&plan](int32_t i) { return plan.visibility[i] == SheetVisibility::Visible; };
    if (!visible(plan.activeSheet)) {
        int32_t first = 0;
        while (first < plan.sheetCount() && !visible(first)) {
            ++first;
        }
        if (first < plan.sheetCount()) {
            plan.activeSheet = first;
        } else {
            // Every sheet hidden: spreadsheet programs repair such a file, so the active one
            // is shown.
            plan.visibility[plan.activeSheet] = SheetVisibility::Visible;
        }
    }
    return plan;
}

}  // namespace plyfold::engine::xlsx
