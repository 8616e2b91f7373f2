#include "engine/io/xlsx/table_writer.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "engine/common/error.h"
#include "engine/common/text.h"
#include "engine/io/xlsx/xml_stream_writer.h"
#include "engine/io/xlsx/zip_writer.h"
#include "engine/model/limits.h"

namespace plyfold::engine::xlsx {
namespace {

constexpr std::array<std::string_view, 10> kTotalsFunctions = {
    "average", "count", "countNums", "custom", "max", "min", "none", "stdDev", "sum", "var"};

bool validRange(const CellRange& range) {
    return range.first.row >= 0 && range.first.column >= 0 && range.last.row < kMaxRows &&
           range.last.column < kMaxColumns && range.first.row <= range.last.row &&
           range.first.column <= range.last.column;
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

void writeColumn(XmlStreamWriter& out, const TableColumn& column, int64_t id) {
    out.raw("<tableColumn");
    out.attribute("id", id);
    out.attribute("name", column.name);
    bool custom = false;
    for (std::string_view function : kTotalsFunctions) {
        if (column.totalsRowFunction == function && function != "none") {
            custom = function == "custom";
            // A custom total needs its formula.
            if (!custom || !column.totalsRowFormula.empty()) {
                out.attribute("totalsRowFunction", function);
            } else {
                custom = false;
            }
        }
    }
    if (!column.totalsRowLabel.empty()) {
        out.attribute("totalsRowLabel", column.totalsRowLabel);
    }
    if (column.calculatedColumnFormula.empty() && !custom) {
        out.raw("/>");
        return;
    }
    out.raw('>');
    if (!column.calculatedColumnFormula.empty()) {
        out.raw("<calculatedColumnFormula>");
        out.text(column.calculatedColumnFormula);
        out.raw("</calculatedColumnFormula>");
    }
    if (custom) {
        out.raw("<totalsRowFormula>");
        out.text(column.totalsRowFormula);
        out.raw("</totalsRowFormula>");
    }
    out.raw("</tableColumn>");
}

}  // namespace

std::string TablePlan::partName(size_t index) {
    return "xl/tables/table" + std::to_string(index + 1) + ".xml";
}

TablePlan planTables(const Workbook& workbook) {
    TablePlan plan;
    std::unordered_set<std::string> names;
    for (int32_t s = 0; s < workbook.sheetCount(); ++s) {
        const Sheet& sheet = workbook.sheet(s);
        plan.firstOfSheet.push_back(plan.tables.size());
        if (!sheet.isWorksheet()) {
            continue;
        }
        for (const Table& table : sheet.tables()) {
            if (!validRange(table.range) || table.displayName.empty()) {
                continue;
            }
            if (!names.insert(lowered(table.displayName)).second) {
                throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                                       "The sheet '" + sheet.name() +
                                           "' cannot be written: another table already has "
                                           "the name '" +
                                           table.displayName + "'.");
            }
            plan.tables.push_back(TablePlan::Entry{s, &table});
        }
    }
    plan.firstOfSheet.push_back(plan.tables.size());
    return plan;
}

void writeTablePart(ZipWriter& zip, const TablePlan& plan, size_t index) {
    const Table& table = *plan.tables[index].table;
    XmlStreamWriter out(zip, TablePlan::partName(index));
    out.raw("<table xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"");
    out.attribute("id", static_cast<int64_t>(index + 1));
    // The model holds one name for formulas; a table's two names are one in files that
    // spreadsheet programs write.
    out.attribute("name", table.displayName);
    out.attribute("displayName", table.displayName);
    out.attribute("ref", rangeName(table.range));
    const int32_t header = std::clamp(table.headerRowCount, 0, 1);
    const int32_t totals = std::clamp(table.totalsRowCount, 0, 1);
    if (header != 1) {
        out.raw(" headerRowCount=\"0\"");
    }
    if (totals > 0) {
        out.raw(" totalsRowCount=\"1\"");
    } else if (!table.totalsRowShown) {
        out.raw(" totalsRowShown=\"0\"");
    }
    if (!table.comment.empty()) {
        out.attribute("comment", table.comment);
    }
    out.raw('>');
    if (header == 1 && table.autoFilter && validRange(*table.autoFilter)) {
        out.raw("<autoFilter");
        out.attribute("ref", rangeName(*table.autoFilter));
        out.raw("/>");
    }
    const int32_t width = table.range.columnCount();
    out.raw("<tableColumns");
    out.attribute("count", width);
    out.raw('>');
    for (int32_t i = 0; i < width; ++i) {
        TableColumn column;
        if (static_cast<size_t>(i) < table.columns.size()) {
            column = table.columns[static_cast<size_t>(i)];
        }
        if (column.name.empty()) {
            column.name = "Column" + std::to_string(i + 1);
        }
        writeColumn(out, column, i + 1);
    }
    out.raw("</tableColumns>");
    if (table.style) {
        out.raw("<tableStyleInfo");
        if (!table.style->name.empty()) {
            out.attribute("name", table.style->name);
        }
        out.attribute("showFirstColumn", table.style->showFirstColumn ? 1 : 0);
        out.attribute("showLastColumn", table.style->showLastColumn ? 1 : 0);
        out.attribute("showRowStripes", table.style->showRowStripes ? 1 : 0);
        out.attribute("showColumnStripes", table.style->showColumnStripes ? 1 : 0);
        out.raw("/>");
    }
    out.raw("</table>");
    out.finish();
}

void writeSheetTableRelationships(ZipWriter& zip, const TablePlan& plan, int32_t sheet,
                                  const std::string& sheetPartName,
                                  std::string_view otherRelationships) {
    if (plan.countOf(sheet) == 0 && otherRelationships.empty()) {
        return;
    }
    const size_t slash = sheetPartName.rfind('/');
    const std::string relsName =
        sheetPartName.substr(0, slash + 1) + "_rels/" + sheetPartName.substr(slash + 1) + ".rels";
    XmlStreamWriter out(zip, relsName);
    out.raw(
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">");
    writeSheetTableRelationshipEntries(out, plan, sheet);
    out.raw(otherRelationships);
    out.raw("</Relationships>");
    out.finish();
}

void writeSheetTableRelationshipEntries(XmlStreamWriter& out, const TablePlan& plan,
                                        int32_t sheet) {
    const size_t first = plan.firstOfSheet[static_cast<size_t>(sheet)];
    for (size_t k = 0; k < plan.countOf(sheet); ++k) {
        out.raw("<Relationship Id=\"rId");
        out.integer(static_cast<int64_t>(k + 1));
        out.raw(
            "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
            "table\"");
        // The sheet parts are in xl/worksheets/, the tables in xl/tables/.
        out.attribute("Target", "../tables/table" + std::to_string(first + k + 1) + ".xml");
        out.raw("/>");
    }
}

void writeTablePartsElement(XmlStreamWriter& out, const TablePlan& plan, int32_t sheet) {
    const size_t count = plan.countOf(sheet);
    if (count == 0) {
        return;
    }
    out.raw("<tableParts");
    out.attribute("count", static_cast<int64_t>(count));
    out.raw('>');
    for (size_t k = 0; k < count; ++k) {
        out.raw("<tablePart r:id=\"rId");
        out.integer(static_cast<int64_t>(k + 1));
        out.raw("\"/>");
    }
    out.raw("</tableParts>");
}

}  // namespace plyfold::engine::xlsx
