#include "engine/io/xlsx/table_reader.h"

#include <set>

#include "engine/io/xlsx/opc_package.h"
#include "engine/io/xlsx/value_parsing.h"
#include "engine/model/limits.h"

namespace plyfold::engine::xlsx_read {
namespace {

// Bounds a hostile file's tables: more than any sheet needs.
constexpr size_t kMaxTablesPerSheet = 65536;

int32_t countOr(XmlAttributes attributes, std::string_view name, int32_t fallback) {
    uint32_t value = 0;
    if (!parseIndex(attributeOr(attributes, name), value)) {
        return fallback;
    }
    return static_cast<int32_t>(std::min<uint32_t>(value, kMaxRows));
}

bool flag(XmlAttributes attributes, std::string_view name, bool fallback) {
    return parseBoolean(attributeOr(attributes, name)).value_or(fallback);
}

std::string decoded(std::string_view text) {
    std::string out(text);
    decodeEscapes(out);
    return out;
}

// table > (autoFilter, tableColumns > tableColumn > (calculatedColumnFormula,
// totalsRowFormula), tableStyleInfo).
class TableHandler : public XmlHandler {
public:
    void startElement(std::string_view name, XmlAttributes attributes) override {
        ++m_depth;
        m_text = nullptr;
        if (m_depth == 1) {
            isTable = name == "table";
            if (!isTable) {
                return;
            }
            uint32_t id = 0;
            if (parseIndex(attributeOr(attributes, "id"), id)) {
                table.id = id;
            }
            table.name = decoded(attributeOr(attributes, "name"));
            table.displayName = decoded(attributeOr(attributes, "displayName"));
            if (auto range = parseRangeName(attributeOr(attributes, "ref"))) {
                ref = *range;
            }
            table.headerRowCount = countOr(attributes, "headerRowCount", 1);
            table.totalsRowCount = countOr(attributes, "totalsRowCount", 0);
            table.totalsRowShown = flag(attributes, "totalsRowShown", true);
            table.comment = decoded(attributeOr(attributes, "comment"));
        } else if (!isTable) {
            return;
        } else if (m_depth == 2 && name == "autoFilter") {
            table.autoFilter = parseRangeName(attributeOr(attributes, "ref"));
        } else if (m_depth == 2 && name == "tableStyleInfo") {
            TableStyleInfo style;
            style.name = decoded(attributeOr(attributes, "name"));
            style.showFirstColumn = flag(attributes, "showFirstColumn", false);
            style.showLastColumn = flag(attributes, "showLastColumn", false);
            style.showRowStripes = flag(attributes, "showRowStripes", false);
            style.showColumnStripes = flag(attributes, "showColumnStripes", false);
            table.style = std::move(style);
        } else if (m_depth == 3 && m_section == "tableColumns" && name == "tableColumn") {
            if (table.columns.size() >= static_cast<size_t>(kMaxColumns)) {
                return;
            }
            TableColumn column;
            uint32_t id = 0;
            if (parseIndex(attributeOr(attributes, "id"), id)) {
                column.id = id;
            }
            column.name = decoded(attributeOr(attributes, "name"));
            column.totalsRowFunction = attributeOr(attributes, "totalsRowFunction");
            column.totalsRowLabel = decoded(attributeOr(attributes, "totalsRowLabel"));
            table.columns.push_back(std::move(column));
            m_inColumn = true;
        } else if (m_depth == 4 && m_inColumn && !table.columns.empty()) {
            if (name == "calculatedColumnFormula") {
                m_text = &table.columns.back().calculatedColumnFormula;
            } else if (name == "totalsRowFormula") {
                m_text = &table.columns.back().totalsRowFormula;
            }
            if (m_text) {
                m_text->clear();
            }
        }
        if (m_depth == 2) {
            m_section = name;
        }
    }

    void endElement(std::string_view) override {
        if (m_depth == 3) {
            m_inColumn = false;
        }
        m_text = nullptr;
        --m_depth;
    }

    void characters(std::string_view text) override {
        if (m_text && m_text->size() + text.size() <= kMaxRawTextBytes) {
            m_text->append(text);
        }
    }

    bool isTable = false;
    Table table;
    std::optional<CellRange> ref;  // the table's range, when it is one

private:
    int m_depth = 0;
    std::string m_section;
    bool m_inColumn = false;
    std::string* m_text = nullptr;
};

// A table read from a file as the model needs it: a name both ways, one column a column of
// its range (named as spreadsheet programs name a missing one), and counts of header and
// totals rows that fit the range.
bool completeTable(Table& table) {
    if (table.displayName.empty()) {
        table.displayName = table.name;
    }
    if (table.name.empty()) {
        table.name = table.displayName;
    }
    if (table.name.empty()) {
        return false;
    }
    const int32_t width = table.range.columnCount();
    table.columns.resize(static_cast<size_t>(width));
    for (int32_t i = 0; i < width; ++i) {
        TableColumn& column = table.columns[static_cast<size_t>(i)];
        if (column.name.empty()) {
            column.name = "Column" + std::to_string(i + 1);
        }
    }
    table.headerRowCount = std::min(table.headerRowCount, 1);
    table.totalsRowCount = std::min(table.totalsRowCount, 1);
    return table.headerRowCount + table.totalsRowCount <= table.range.rowCount();
}

uint64_t bytesOf(const Table& table) {
    uint64_t bytes = sizeof(Table) + table.name.capacity() + table.displayName.capacity() +
                     table.comment.capacity() + table.columns.capacity() * sizeof(TableColumn);
    for (const TableColumn& column : table.columns) {
        bytes += column.name.capacity() + column.totalsRowFunction.capacity() +
                 column.totalsRowLabel.capacity() + column.totalsRowFormula.capacity() +
                 column.calculatedColumnFormula.capacity();
    }
    return bytes;
}

}  // namespace

std::optional<Table> readTablePart(ZipPackage& package, const std::string& storedName) {
    TableHandler handler;
    AlternateContentFilter filter(handler);
    parsePart(package, storedName, filter, kMaxSmallPartBytes, false);
    if (!handler.isTable || !handler.ref) {
        return std::nullopt;
    }
    handler.table.range = *handler.ref;
    if (!completeTable(handler.table)) {
        return std::nullopt;
    }
    return std::move(handler.table);
}

// Hands each table of the sheet to add, in the order of the relationships.
template <typename Add>
void readTables(ZipPackage& package, const std::string& sheetPart, std::string& part, Add add) {
    size_t count = 0;
    part = relationshipsPartOf(sheetPart);
    const std::vector<Relationship> relationships = readRelationships(package, sheetPart);
    std::set<std::string> read;
    for (const Relationship& relationship : relationships) {
        if (relationship.external || relationshipKind(relationship.type) != "table") {
            continue;
        }
        std::optional<std::string> stored =
            package.findPart(resolveTarget(sheetPart, relationship.target));
        if (!stored || !read.insert(*stored).second || count >= kMaxTablesPerSheet) {
            continue;
        }
        part = *stored;
        if (std::optional<Table> table = readTablePart(package, *stored)) {
            add(std::move(*table));
            ++count;
        }
    }
}

std::vector<Table> readSheetTables(ZipPackage& package, const std::string& sheetPart,
                                   std::string& part, MemoryAccount& memory) {
    std::vector<Table> tables;
    uint64_t counted = 0;
    try {
        readTables(package, sheetPart, part, [&](Table table) {
            const uint64_t bytes = bytesOf(table);
            memory.charge(bytes);
            counted += bytes;
            tables.push_back(std::move(table));
        });
    } catch (...) {
        memory.release(counted);
        throw;
    }
    return tables;
}

}  // namespace plyfold::engine::xlsx_read
