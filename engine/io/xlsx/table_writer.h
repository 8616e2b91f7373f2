#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/model/table.h"
#include "engine/model/workbook.h"

namespace plyfold::engine::xlsx {

class XmlStreamWriter;
class ZipWriter;

// The table parts of a package, numbered from 1 in the order of the sheets; a table's number
// is also its id, unique in the workbook as the format needs.
struct TablePlan {
    struct Entry {
        int32_t sheet = 0;
        const Table* table = nullptr;
    };
    std::vector<Entry> tables;         // xl/tables/table1.xml, ...
    std::vector<size_t> firstOfSheet;  // by sheet index, and one past the last sheet

    size_t countOf(int32_t sheet) const {
        return firstOfSheet[static_cast<size_t>(sheet) + 1] -
               firstOfSheet[static_cast<size_t>(sheet)];
    }
    static std::string partName(size_t index);  // "xl/tables/table1.xml" for index 0
};

// Collects the tables of every worksheet. Throws SpreadsheetError when two tables share a
// name, which no spreadsheet program would open.
TablePlan planTables(const Workbook& workbook);

// xl/tables/tableN.xml for the table at index.
void writeTablePart(ZipWriter& zip, const TablePlan& plan, size_t index);
// xl/worksheets/_rels/sheetN.xml.rels: the sheet's tables as rId1..rIdK, then the other
// relationships given as XML; nothing when there are none.
void writeSheetTableRelationships(ZipWriter& zip, const TablePlan& plan, int32_t sheet,
                                  const std::string& sheetPartName,
                                  std::string_view otherRelationships = {});
// The <Relationship> entries of the sheet's tables, for a relationships part that holds more.
void writeSheetTableRelationshipEntries(XmlStreamWriter& out, const TablePlan& plan, int32_t sheet);
// <tableParts> of a worksheet part, naming the relationships above; nothing without tables.
void writeTablePartsElement(XmlStreamWriter& out, const TablePlan& plan, int32_t sheet);

}  // namespace plyfold::engine::xlsx
