#include <gtest/gtest.h>

#include <map>
#include <string>

#include "engine/model/limits.h"
#include "engine/model/workbook.h"
#include "engine/ops/formula_lexer.h"
#include "engine/ops/structured_refs.h"

namespace plyfold::engine {
namespace {

using formula::kTableAll;
using formula::kTableData;
using formula::kTableHeaders;
using formula::kTableThisRow;
using formula::kTableTotals;

// The structured references the lexer finds in a formula, joined by "|".
std::string structuredTokens(std::string_view text) {
    std::string found;
    for (const formula::Token& token : formula::tokenize(text)) {
        if (token.kind == formula::TokenKind::Reference &&
            token.ref.kind == formula::RefKind::Structured) {
            found += (found.empty() ? "" : "|") + std::string(token.text);
        }
    }
    return found;
}

TEST(StructuredReferenceLexing, FindsWholeReferencesAndNothingElse) {
    const struct {
        const char* formula;
        const char* expected;
    } cases[] = {
        {"SUM(Sales[Qty])", "Sales[Qty]"},
        {"Sales[[#Headers],[Qty]]", "Sales[[#Headers],[Qty]]"},
        {"COUNTA(Sales[#All])+1", "Sales[#All]"},
        {"Sales[[#This Row],[Qty]]*Sales[[#This Row],[Price]]",
         "Sales[[#This Row],[Qty]]|Sales[[#This Row],[Price]]"},
        {"SUM(Sales[[Qty]:[Price]])", "Sales[[Qty]:[Price]]"},
        {"[@Qty]*[@Price]", "[@Qty]|[@Price]"},
        {"[[#This Row],[Qty]]*2", "[[#This Row],[Qty]]"},
        {"SUM(Sales[[#Data],[#Totals],[Unit Price]])", "Sales[[#Data],[#Totals],[Unit Price]]"},
        {"Sales['[Note']]&\"[x]\"", "Sales['[Note']]"},
        {"SUM(Sales[])", "Sales[]"},
        {"Sales[@]", "Sales[@]"},
        {"tbl.2024[Qty]+A1", "tbl.2024[Qty]"},
        // Not structured references: external prefixes, names in other books, strings.
        {"[1]Sheet1!A1+[1]!Rate", ""},
        {"'[Book.xlsx]Data'!A1", ""},
        {"[Book.xlsx]Data!A1", ""},
        {"[1]!Sales[Qty]", ""},
        {"Book.xlsx!Sales[Qty]", ""},
        {"\"Sales[Qty]\"", ""},
        {"Sales[[#Headers],[#Totals]]", ""},
        {"Sales[#Nothing]", ""},
        {"Sales[Qty", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(structuredTokens(c.formula), c.expected) << c.formula;
        EXPECT_EQ(holdsStructuredReference(c.formula), *c.expected != '\0') << c.formula;
        std::string joined;
        for (const formula::Token& token : formula::tokenize(c.formula)) {
            joined += token.text;
        }
        EXPECT_EQ(joined, c.formula);
    }
}

TEST(StructuredReferenceLexing, CellReferencesAroundThemStillMove) {
    const char* formula = "A1+Sales[Qty]+[@Price]*B2";
    int cells = 0;
    for (const formula::Token& token : formula::tokenize(formula)) {
        cells +=
            token.kind == formula::TokenKind::Reference && token.ref.kind == formula::RefKind::Cell;
    }
    EXPECT_EQ(cells, 2);
}

TEST(StructuredReferenceParsing, TakesThePartsApart) {
    const struct {
        const char* text;
        const char* table;
        uint8_t items;
        const char* first;
        const char* last;
    } cases[] = {
        {"Sales[Qty]", "Sales", 0, "Qty", "Qty"},
        {"Sales[]", "Sales", 0, "", ""},
        {"Sales[#All]", "Sales", kTableAll, "", ""},
        {"Sales[#this row]", "Sales", kTableThisRow, "", ""},
        {"Sales[[#Headers],[Qty]]", "Sales", kTableHeaders, "Qty", "Qty"},
        {"Sales[ [#Headers], [#Data], [Qty]:[Price] ]", "Sales", kTableHeaders | kTableData, "Qty",
         "Price"},
        {"Sales[[#Data],[#Totals]]", "Sales", kTableData | kTableTotals, "", ""},
        {"Sales[[Unit Price]]", "Sales", 0, "Unit Price", "Unit Price"},
        {"Sales[[#This Row],[Qty]]", "Sales", kTableThisRow, "Qty", "Qty"},
        {"[@Qty]", "", kTableThisRow, "Qty", "Qty"},
        {"[@[Unit Price]]", "", kTableThisRow, "Unit Price", "Unit Price"},
        {"Sales[@[Qty]:[Price]]", "Sales", kTableThisRow, "Qty", "Price"},
        {"Sales[@]", "Sales", kTableThisRow, "", ""},
        {"Sales['#Sold]", "Sales", 0, "#Sold", "#Sold"},
        {"Sales[[It''s '[x']]]", "Sales", 0, "It's [x]", "It's [x]"},
    };
    for (const auto& c : cases) {
        auto ref = formula::parseStructuredReference(c.text);
        ASSERT_TRUE(ref) << c.text;
        EXPECT_EQ(ref->table, c.table) << c.text;
        EXPECT_EQ(ref->items, c.items) << c.text;
        EXPECT_EQ(ref->firstColumn, c.first) << c.text;
        EXPECT_EQ(ref->lastColumn, c.last) << c.text;
    }
    for (const char* bad :
         {"Sales", "Sales[[#All],[#Data]]", "Sales[[#This Row],[#Data]]", "Sales[[Qty]",
          "Sales[[Qty]]x", "Sales[[#Headers],[#Data],[#Totals]]", "Sales[[Qty]:]", "Sales['"}) {
        EXPECT_FALSE(formula::parseStructuredReference(bad)) << bad;
    }
    EXPECT_EQ(formula::escapedColumnName("It's [x] #1"), "It''s '[x'] '#1");
}

// A table Sales at B2:D12 (header in row 2, data 3..11, totals in row 12) with columns Qty,
// Price, Total; a table NoHeader at F5:F7 without header or totals.
Table salesTable() {
    Table table;
    table.name = table.displayName = "Sales";
    table.range = CellRange{{1, 1}, {11, 3}};
    table.totalsRowCount = 1;
    for (const char* name : {"Qty", "Price", "Total"}) {
        TableColumn column;
        column.name = name;
        table.columns.push_back(column);
    }
    return table;
}

Table noHeaderTable() {
    Table table;
    table.name = table.displayName = "NoHeader";
    table.range = CellRange{{4, 5}, {6, 5}};
    table.headerRowCount = 0;
    table.columns.emplace_back();
    table.columns.back().name = "Value";
    return table;
}

TableRefAction asRange(std::string prefix, int32_t rows = 0, int32_t columns = 0) {
    TableRefAction action;
    action.kind = TableRefAction::Kind::Range;
    action.prefix = std::move(prefix);
    action.rowOffset = rows;
    action.columnOffset = columns;
    return action;
}

TableRefAction renamedTo(std::string name) {
    TableRefAction action;
    action.kind = TableRefAction::Kind::Rename;
    action.newName = std::move(name);
    return action;
}

class FixedPolicy final : public TableRefPolicy {
public:
    FixedPolicy() {
        m_tables["sales"] = salesTable();
        m_tables["noheader"] = noHeaderTable();
    }
    const Table* find(std::string_view name, CellRef cell) override {
        if (name.empty()) {
            for (const auto& [key, table] : m_tables) {
                if (table.range.contains(cell)) {
                    return &table;
                }
            }
            return nullptr;
        }
        std::string key(name);
        for (char& c : key) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        auto it = m_tables.find(key);
        return it == m_tables.end() ? nullptr : &it->second;
    }
    TableRefAction action(const Table& table) override {
        return table.name == "Sales" ? sales : TableRefAction{};
    }
    TableRefAction sales;

private:
    std::map<std::string, Table> m_tables;
};

TEST(TableReferencesAsRanges, CoverThePartsOfTheTable) {
    FixedPolicy policy;
    policy.sales = asRange("");
    const FormulaSite inRow5{.cell = {4, 4}, .readRow = 4};
    const struct {
        const char* formula;
        const char* expected;
    } cases[] = {
        {"SUM(Sales[Qty])", "SUM($B$3:$B$11)"},
        {"SUM(Sales[])", "SUM($B$3:$D$11)"},
        {"ROWS(Sales[#All])", "ROWS($B$2:$D$12)"},
        {"Sales[[#Headers],[Price]]", "$C$2"},
        {"Sales[[#Totals],[Total]]", "$D$12"},
        {"SUM(Sales[[#Headers],[#Data],[Qty]])", "SUM($B$2:$B$11)"},
        {"SUM(Sales[[#Data],[#Totals],[Qty]:[Price]])", "SUM($B$3:$C$12)"},
        {"SUM(sales[[Total]:[Qty]])", "SUM($B$3:$D$11)"},
        {"Sales[[#This Row],[Qty]]*Sales[@Price]", "$B5*$C5"},
        {"SUM(Sales[@[Qty]:[Price]])", "SUM($B5:$C5)"},
        {"SUM(Sales[@])", "SUM($B5:$D5)"},
        // Left as written: other tables (the policy keeps them), unknown tables and columns.
        {"SUM(NoHeader[Value])+Other[Qty]+Sales[Weight]",
         "SUM(NoHeader[Value])+Other[Qty]+Sales[Weight]"},
        {"\"Sales[Qty]\"&A1", "\"Sales[Qty]\"&A1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formulaWithTableReferences(c.formula, policy, inRow5), c.expected) << c.formula;
    }
}

TEST(TableReferencesAsRanges, FollowTheMoveAndTheSite) {
    FixedPolicy policy;
    policy.sales = asRange("", 10, 2);
    const struct {
        FormulaSite site;
        const char* formula;
        const char* expected;
    } cases[] = {
        // Moved 10 rows down and 2 columns right; This Row reads the row the text is read at.
        {{{4, 4}, 4, true}, "SUM(Sales[Qty])", "SUM($D$13:$D$21)"},
        {{{4, 3}, 4, true}, "[@Qty]*2", "$D15*2"},
        {{{2, 3}, 2, true}, "[[#This Row],[Price]]", "$E13"},
        // A shared text read at another row than the cell's writes that row, unchecked.
        {{{2, 3}, 0, false}, "Sales[@Qty]", "$D11"},
        // This Row outside the data rows is an error, as it is where it came from.
        {{{1, 3}, 1, true}, "Sales[@Qty]", "#VALUE!"},
        {{{11, 3}, 11, true}, "Sales[@Qty]", "#VALUE!"},
        {{{20, 0}, 20, true}, "Sales[@Qty]+1", "#VALUE!+1"},
        // The totals row names its column without the table: the table around the cell.
        {{{11, 3}, 11, true}, "SUBTOTAL(109,[Total])", "SUBTOTAL(109,$F$13:$F$21)"},
        // A bare reference outside every table is left alone.
        {{{20, 0}, 20, true}, "[@Qty]", "[@Qty]"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formulaWithTableReferences(c.formula, policy, c.site), c.expected) << c.formula;
    }
}

TEST(TableReferencesAsRanges, PrefixesMissingPartsAndTheSheetsEdge) {
    FixedPolicy policy;
    policy.sales = asRange("'Sales 2'!");
    const FormulaSite site{.cell = {4, 0}, .readRow = 4};
    EXPECT_EQ(formulaWithTableReferences("SUM(Sales[Qty])+Sales[@Qty]", policy, site),
              "SUM('Sales 2'!$B$3:$B$11)+'Sales 2'!$B5");

    Table bare = salesTable();
    bare.headerRowCount = 0;
    bare.totalsRowCount = 0;
    CellRange area;
    auto headers = formula::parseStructuredReference("T[[#Headers],[Qty]]");
    EXPECT_EQ(tableArea(bare, *headers, area), TableAreaResult::MissingPart);
    auto totals = formula::parseStructuredReference("T[#Totals]");
    EXPECT_EQ(tableArea(bare, *totals, area), TableAreaResult::MissingPart);
    auto unknown = formula::parseStructuredReference("T[[Qty]:[Nope]]");
    EXPECT_EQ(tableArea(bare, *unknown, area), TableAreaResult::UnknownColumn);

    policy.sales = asRange("");
    EXPECT_EQ(formulaWithTableReferences("Sales[[#Totals],[Qty]]", policy, site), "$B$12");
    policy.sales = asRange("", kMaxRows);
    EXPECT_EQ(formulaWithTableReferences("SUM(Sales[Qty])", policy, site), "SUM(#REF!)");
}

TEST(TableReferencesRenamed, OnlyNamedReferencesToTheTable) {
    FixedPolicy policy;
    policy.sales = renamedTo("Sales2");
    const FormulaSite site{.cell = {4, 1}, .readRow = 4};
    const struct {
        const char* formula;
        const char* expected;
    } cases[] = {
        {"SUM(Sales[Qty])", "SUM(Sales2[Qty])"},
        {"SALES[[#This Row],[Qty]]*[@Price]", "Sales2[[#This Row],[Qty]]*[@Price]"},
        {"SUM(NoHeader[Value],Sales[#All])", "SUM(NoHeader[Value],Sales2[#All])"},
        {"\"Sales[Qty]\"", "\"Sales[Qty]\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formulaWithTableReferences(c.formula, policy, site), c.expected) << c.formula;
    }
}

TEST(UniqueTableName, FreeLegalNamesInTheWorkbook) {
    Workbook book;
    Sheet& sheet = book.addSheet("Data");
    for (const char* name : {"Sales", "Sales2", "Table1", "AB"}) {
        Table table;
        table.name = table.displayName = name;
        sheet.mutableTables().push_back(table);
    }
    auto reserved = [](std::string_view name) { return name == "Rate" || name == "Rate2"; };
    const struct {
        const char* base;
        const char* expected;
    } cases[] = {
        {"Orders", "Orders"}, {"Sales", "Sales3"}, {"SALES2", "SALES3"},   {"Table1", "Table2"},
        {"AB", "AB_2"},       {"Rate", "Rate3"},   {"Sales99", "Sales99"}, {"bad name", "Table_2"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(uniqueTableName(book, c.base, reserved), c.expected) << c.base;
    }
}

TEST(TableNames, WhatMayNameATable) {
    for (const char* good : {"Sales", "_x", "\\t", "Tbl.2024", "Überblick", "ABCD1", "RC1x"}) {
        EXPECT_TRUE(isValidTableName(good)) << good;
    }
    for (const char* bad :
         {"", "1abc", "A1", "xfd1048576", "R1C1", "R", "c", "RC", "TRUE", "a b", "a-b", "Sales!"}) {
        EXPECT_FALSE(isValidTableName(bad)) << bad;
    }
    EXPECT_FALSE(isValidTableName(std::string(256, 'a')));
}

}  // namespace
}  // namespace plyfold::engine
