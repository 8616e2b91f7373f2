#include "engine/io/xlsx/worksheet_writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "engine/common/text.h"
#include "engine/io/xlsx/notes_writer.h"
#include "engine/io/xlsx/sheet_rules_writer.h"
#include "engine/io/xlsx/sheet_settings_writer.h"
#include "engine/io/xlsx/xml_stream_writer.h"
#include "engine/model/cell_ref.h"
#include "engine/model/limits.h"
#include "engine/model/workbook.h"
#include "engine/ops/formula_refs.h"
#include "engine/ops/workbook_links.h"

namespace plyfold::engine::xlsx {
namespace {

constexpr double kDefaultRowHeight = 15.0;
constexpr double kDefaultColumnWidth = 8.43;
// The most a cell without a formula can take: <c r="XFD1048576" s="4294967295" t="e">
// <v>#GETTING_DATA</v></c> and a 32-character number stay well inside it.
constexpr size_t kPlainCellRoom = 128;

struct ColumnLetters {
    char text[3];
    uint8_t length;
};

const std::array<ColumnLetters, kMaxColumns>& columnLetters() {
    static const auto table = [] {
        std::array<ColumnLetters, kMaxColumns> letters{};
        for (int32_t column = 0; column < kMaxColumns; ++column) {
            std::string name = columnName(column);
            ColumnLetters& entry = letters[static_cast<size_t>(column)];
            std::memcpy(entry.text, name.data(), name.size());
            entry.length = static_cast<uint8_t>(name.size());
        }
        return letters;
    }();
    return table;
}

inline char* put(char* p, std::string_view text) {
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

inline char* putUnsigned(char* p, uint32_t value) {
    return std::to_chars(p, p + 10, value).ptr;
}

// <c r="B7"  (the reference of the cell in the current row)
inline char* putCellStart(char* p, uint16_t column, std::string_view rowText) {
    const ColumnLetters& letters = columnLetters()[column];
    p = put(p, "<c r=\"");
    std::memcpy(p, letters.text, 3);
    p += letters.length;
    p = put(p, rowText);
    *p++ = '"';
    return p;
}

inline char* putStyle(char* p, uint32_t style) {
    if (style != 0) {
        p = put(p, " s=\"");
        p = putUnsigned(p, style);
        *p++ = '"';
    }
    return p;
}

uint64_t cellKey(CellRef ref) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(ref.row)) << 32) |
           static_cast<uint32_t>(ref.column);
}

bool validRange(const CellRange& range) {
    return range.first.row >= 0 && range.first.column >= 0 && range.last.row < kMaxRows &&
           range.last.column < kMaxColumns && range.first.row <= range.last.row &&
           range.first.column <= range.last.column;
}

// A one-cell merge merges nothing, and spreadsheet programs reject it.
bool writtenMerge(const CellRange& range) {
    return validRange(range) && !(range.first == range.last);
}

class WorksheetWriter {
public:
    WorksheetWriter(ZipWriter& zip, const PackagePlan& plan, int32_t index, FormulaTexts& formulas)
        : m_out(zip, PackagePlan::worksheetPartName(index)),
          m_plan(plan),
          m_workbook(*plan.workbook),
          m_sheet(plan.workbook->sheet(index)),
          m_index(index),
          m_formulas(formulas) {
        for (const ArrayFormula& array : m_sheet.arrayFormulas()) {
            m_arrayRanges.emplace(cellKey(array.range.first), array.range);
        }
    }

    void write() {
        m_out.raw(
            "<worksheet "
            "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
            "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/"
            "relationships\">");
        writeSheetProperties(m_out, m_sheet.settings().properties);
        writeDimension();
        writeSheetViews(m_out, m_sheet.settings().view, m_index == m_plan.activeSheet,
                        m_sheet.selectedCell());
        writeSheetFormat();
        writeColumns();
        writeSheetData();
        writeProtectionAndFilter(m_out, m_sheet.settings());
        writeMerges();
        {
            const WrittenFormula formula = [this](std::string_view text) {
                return m_formulas.written(text);
            };
            writeConditionalFormats(m_out, m_sheet, formula);
            writeDataValidations(m_out, m_sheet, formula);
        }
        writeHyperlinksElement(m_out, m_sheet);
        writePrintSetup(m_out, m_sheet.settings());
        writeDrawingElement(m_out, m_plan.drawings, m_index);
        writeLegacyDrawingElement(m_out, m_sheet);
        writeTablePartsElement(m_out, m_plan.tables, m_index);
        m_out.raw("</worksheet>");
        m_out.finish();
    }

private:
    // The cells, and also the merged ranges and rows of their own (heights, hidden), as
    // spreadsheet programs count them; readers size their view of the sheet by it.
    void writeDimension() {
        auto used = m_sheet.usedRange();
        auto extend = [&used](const CellRange& range) {
            if (!used) {
                used = range;
                return;
            }
            used->first.row = std::min(used->first.row, range.first.row);
            used->first.column = std::min(used->first.column, range.first.column);
            used->last.row = std::max(used->last.row, range.last.row);
            used->last.column = std::max(used->last.column, range.last.column);
        };
        for (const CellRange& range : m_sheet.merges()) {
            if (writtenMerge(range)) {
                extend(range);
            }
        }
        for (const Row& row : m_sheet.rows()) {
            if (row.cells.empty() && (row.hidden || row.height > 0)) {
                const int32_t column = used ? used->first.column : 0;
                extend(CellRange{{row.index, column}, {row.index, column}});
            }
        }
        m_out.raw("<dimension ref=\"");
        m_out.raw(used ? rangeName(*used) : std::string("A1"));
        m_out.raw("\"/>");
    }

    void writeSheetFormat() {
        double height = m_sheet.defaultRowHeight();
        if (!(height > 0) || !std::isfinite(height)) {
            height = kDefaultRowHeight;
        }
        m_out.raw("<sheetFormatPr");
        const double width = m_sheet.defaultColumnWidth();
        if (width > 0 && std::isfinite(width) && width != kDefaultColumnWidth) {
            m_out.attributeNumber("defaultColWidth", width);
        }
        m_out.attributeNumber("defaultRowHeight", height);
        if (height != kDefaultRowHeight) {
            m_out.raw(" customHeight=\"1\"");
        }
        if (const uint8_t level = m_sheet.settings().outlineLevelRow; level != 0) {
            m_out.attribute("outlineLevelRow", level);
        }
        if (const uint8_t level = m_sheet.settings().outlineLevelColumn; level != 0) {
            m_out.attribute("outlineLevelCol", level);
        }
        m_out.raw("/>");
    }

    void writeColumns() {
        bool open = false;
        for (const ColumnInfo& column : m_sheet.columns()) {
            const bool hasWidth = column.width > 0 && std::isfinite(column.width);
            if (column.first < 0 || column.last >= kMaxColumns || column.first > column.last ||
                (!hasWidth && !column.hidden && column.style == 0 && column.outlineLevel == 0 &&
                 !column.collapsed)) {
                continue;
            }
            if (!open) {
                m_out.raw("<cols>");
                open = true;
            }
            m_out.raw("<col");
            m_out.attribute("min", column.first + 1);
            m_out.attribute("max", column.last + 1);
            // A column without a width of its own shows the sheet's default one, stated as
            // spreadsheets state it: readers that miss it take a width of their own.
            const double defaultWidth = m_sheet.defaultColumnWidth();
            if (hasWidth) {
                m_out.attributeNumber("width", column.width);
            } else if (defaultWidth > 0 && std::isfinite(defaultWidth)) {
                m_out.attributeNumber("width", defaultWidth);
            }
            if (column.style != 0) {
                m_out.attribute("style", column.style);
            }
            if (column.hidden) {
                m_out.raw(" hidden=\"1\"");
            }
            if (column.customWidth && hasWidth) {
                m_out.raw(" customWidth=\"1\"");
            }
            if (column.outlineLevel != 0) {
                m_out.attribute("outlineLevel", column.outlineLevel);
            }
            if (column.collapsed) {
                m_out.raw(" collapsed=\"1\"");
            }
            m_out.raw("/>");
        }
        if (open) {
            m_out.raw("</cols>");
        }
    }

    // The shared formulas the sheet's cells use, each written once on its first cell (its
    // master) with the range of its cells; the others name it by number.
    struct SharedGroup {
        CellRef master;
        CellRange bounds;
        uint32_t cells = 0;
        int64_t index = 0;  // si, given when the master is written
    };

    void findSharedGroups() {
        if (m_workbook.sharedFormulaCount() == 0) {
            return;
        }
        for (const Row& row : m_sheet.rows()) {
            for (const Cell& cell : row.cells) {
                if (!cell.hasSharedFormula()) {
                    continue;
                }
                const CellRef at{row.index, cell.column};
                auto [it, added] = m_sharedGroups.try_emplace(cell.formulaId());
                SharedGroup& group = it->second;
                if (added) {
                    group.master = at;
                    group.bounds = CellRange{at, at};
                }
                group.bounds.first.column = std::min(group.bounds.first.column, at.column);
                group.bounds.last.column = std::max(group.bounds.last.column, at.column);
                group.bounds.last.row = at.row;
                ++group.cells;
            }
        }
    }

    void writeSheetData() {
        findSharedGroups();
        m_out.raw("<sheetData>");
        for (const Row& row : m_sheet.rows()) {
            writeRow(row);
        }
        m_out.raw("</sheetData>");
    }

    void writeRow(const Row& row) {
        const bool hasHeight = row.height > 0 && std::isfinite(row.height);
        if (row.cells.empty() && !row.hidden && !hasHeight && row.outlineLevel == 0 &&
            !row.collapsed && row.style == 0) {
            return;
        }
        char rowText[12];
        const size_t rowLength = static_cast<size_t>(
            std::to_chars(rowText, rowText + sizeof rowText, row.index + 1).ptr - rowText);
        const std::string_view rowName(rowText, rowLength);

        char* p = m_out.reserve(96);
        p = put(p, "<row r=\"");
        p = put(p, rowName);
        *p++ = '"';
        if (hasHeight) {
            p = put(p, " ht=\"");
            // The float's own shortest form: 12.75, not its double widening.
            p = std::to_chars(p, p + 32, row.height).ptr;
            *p++ = '"';
            if (row.customHeight) {
                p = put(p, " customHeight=\"1\"");
            }
        }
        if (row.hidden) {
            p = put(p, " hidden=\"1\"");
        }
        if (row.outlineLevel != 0) {
            p = put(p, " outlineLevel=\"");
            *p++ = static_cast<char>('0' + std::min<uint8_t>(row.outlineLevel, 7));
            *p++ = '"';
        }
        if (row.collapsed) {
            p = put(p, " collapsed=\"1\"");
        }
        if (row.style != 0) {
            p = put(p, " s=\"");
            p = std::to_chars(p, p + 12, row.style).ptr;
            p = put(p, "\" customFormat=\"1\"");
        }
        if (row.cells.empty()) {
            p = put(p, "/>");
            m_out.commit(p);
            return;
        }
        *p++ = '>';
        m_out.commit(p);

        const std::vector<uint32_t>& sharedIndex = m_plan.sharedStrings.indexOfText;
        for (const Cell& cell : row.cells) {
            if (cell.hasFormula()) {
                writeFormulaCell(cell, row.index, rowName);
                continue;
            }
            if (cell.type == CellType::Blank && cell.style == 0) {
                continue;  // nothing to keep
            }
            p = m_out.reserve(kPlainCellRoom);
            p = putCellStart(p, cell.column, rowName);
            p = putStyle(p, cell.style);
            switch (cell.type) {
                case CellType::Number:
                    if (std::isfinite(cell.value.number)) {
                        p = put(p, "><v>");
                        p += formatNumber(cell.value.number, p);
                        p = put(p, "</v></c>");
                    } else {
                        // The format has no infinity or NaN; a spreadsheet shows #NUM!.
                        p = put(p, " t=\"e\"><v>#NUM!</v></c>");
                    }
                    break;
                case CellType::Text:
                    p = put(p, " t=\"s\"><v>");
                    p = putUnsigned(p, cell.richText != 0 && m_workbook.richTextOf(cell)
                                           ? m_plan.sharedStrings.indexOfRich[cell.richText - 1]
                                           : sharedIndex[cell.value.text]);
                    p = put(p, "</v></c>");
                    break;
                case CellType::Boolean:
                    p = put(p,
                            cell.value.boolean ? " t=\"b\"><v>1</v></c>" : " t=\"b\"><v>0</v></c>");
                    break;
                case CellType::Error:
                    p = put(p, " t=\"e\"><v>");
                    p = put(p, errorText(cell.value.error));
                    p = put(p, "</v></c>");
                    break;
                case CellType::Blank:
                    p = put(p, "/>");
                    break;
            }
            m_out.commit(p);
        }
        m_out.raw("</row>");
    }

    void writeFormulaCell(const Cell& cell, int32_t rowIndex, std::string_view rowName) {
        char* p = m_out.reserve(kPlainCellRoom);
        p = putCellStart(p, cell.column, rowName);
        p = putStyle(p, cell.style);
        const bool finite = cell.type != CellType::Number || std::isfinite(cell.value.number);
        switch (cell.type) {
            case CellType::Text:
                p = put(p, " t=\"str\"");
                break;
            case CellType::Boolean:
                p = put(p, " t=\"b\"");
                break;
            case CellType::Error:
                p = put(p, " t=\"e\"");
                break;
            case CellType::Number:
                if (!finite) {
                    p = put(p, " t=\"e\"");
                }
                break;
            case CellType::Blank:
                break;
        }
        p = put(p, "><f");
        m_out.commit(p);
        if (cell.hasSharedFormula()) {
            writeSharedFormula(cell, CellRef{rowIndex, cell.column});
        } else {
            if (cell.flags & kArrayFormula) {
                CellRef anchor{rowIndex, cell.column};
                CellRange range{anchor, anchor};
                auto it = m_arrayRanges.find(cellKey(anchor));
                if (it != m_arrayRanges.end() && validRange(it->second)) {
                    range = it->second;
                }
                m_out.raw(" t=\"array\"");
                m_out.attribute("ref", rangeName(range));
            }
            m_out.raw('>');
            m_out.text(m_formulas.text(cell.formulaId()));
            m_out.raw("</f>");
        }
        switch (cell.type) {
            case CellType::Number:
                m_out.raw("<v>");
                if (finite) {
                    m_out.number(cell.value.number);
                } else {
                    m_out.raw("#NUM!");
                }
                m_out.raw("</v>");
                break;
            case CellType::Text:
                m_out.raw("<v>");
                m_out.text(m_workbook.strings().text(cell.value.text));
                m_out.raw("</v>");
                break;
            case CellType::Boolean:
                m_out.raw(cell.value.boolean ? "<v>1</v>" : "<v>0</v>");
                break;
            case CellType::Error:
                m_out.raw("<v>");
                m_out.raw(errorText(cell.value.error));
                m_out.raw("</v>");
                break;
            case CellType::Blank:
                break;  // no cached result: the reading program calculates one
        }
        m_out.raw("</c>");
    }

    // After "<f": the rest of the formula element of a cell with a shared formula. A formula
    // only one cell of the sheet uses is written as that cell's own.
    void writeSharedFormula(const Cell& cell, CellRef at) {
        SharedGroup& group = m_sharedGroups.at(cell.formulaId());
        if (group.cells > 1 && !(at == group.master)) {
            m_out.raw(" t=\"shared\"");
            m_out.attribute("si", group.index);
            m_out.raw("/>");
            return;
        }
        const SharedFormula& shared = m_workbook.sharedFormula(cell.formulaId());
        const std::string text =
            shiftFormula(m_formulas.text(shared.text), at.row - shared.anchor.row,
                         at.column - shared.anchor.column);
        if (group.cells > 1) {
            group.index = m_nextSharedIndex++;
            m_out.raw(" t=\"shared\"");
            m_out.attribute("ref", rangeName(group.bounds));
            m_out.attribute("si", group.index);
        }
        m_out.raw('>');
        m_out.text(text);
        m_out.raw("</f>");
    }

    void writeMerges() {
        std::vector<const CellRange*> merges;
        for (const CellRange& range : m_sheet.merges()) {
            if (writtenMerge(range)) {
                merges.push_back(&range);
            }
        }
        if (merges.empty()) {
            return;
        }
        m_out.raw("<mergeCells");
        m_out.attribute("count", static_cast<int64_t>(merges.size()));
        m_out.raw('>');
        for (const CellRange* range : merges) {
            m_out.raw("<mergeCell ref=\"");
            m_out.raw(rangeName(*range));
            m_out.raw("\"/>");
        }
        m_out.raw("</mergeCells>");
    }

    XmlStreamWriter m_out;
    const PackagePlan& m_plan;
    const Workbook& m_workbook;
    const Sheet& m_sheet;
    int32_t m_index;
    FormulaTexts& m_formulas;
    std::unordered_map<uint64_t, CellRange> m_arrayRanges;
    std::unordered_map<uint32_t, SharedGroup> m_sharedGroups;  // by shared formula id
    int64_t m_nextSharedIndex = 0;
};

}  // namespace

FormulaTexts::FormulaTexts(const Workbook& workbook)
    : m_workbook(workbook), m_state(workbook.formulas().size(), 0) {}

std::string FormulaTexts::written(std::string_view text) const {
    if (text.find('!') == std::string_view::npos) {
        return std::string(text);
    }
    auto exists = [this](std::string_view name) {
        for (int32_t i = 0; i < m_workbook.sheetCount(); ++i) {
            if (equalsIgnoringAsciiCase(m_workbook.sheet(i).name(), name)) {
                return true;
            }
        }
        return false;
    };
    return formulaWithMissingBooksAsRef(formulaWithMissingSheetsAsRef(text, exists),
                                        m_workbook.externalBooks().size());
}

std::string_view FormulaTexts::text(uint32_t formulaId) {
    std::string_view stored = m_workbook.formulas().text(formulaId);
    uint32_t& state = m_state[formulaId];
    if (state == 0) {
        state = 1;
        if (stored.find('!') != std::string_view::npos) {
            std::string rewritten = written(stored);
            if (rewritten != stored) {
                state = static_cast<uint32_t>(m_rewritten.size()) + 2;
                m_rewritten.push_back(std::move(rewritten));
            }
        }
    }
    return state == 1 ? stored : std::string_view(m_rewritten[state - 2]);
}

void writeWorksheet(ZipWriter& zip, const PackagePlan& plan, int32_t index,
                    FormulaTexts& formulas) {
    WorksheetWriter(zip, plan, index, formulas).write();
}

}  // namespace plyfold::engine::xlsx
