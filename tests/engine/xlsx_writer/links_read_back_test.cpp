#include <gtest/gtest.h>

#include "engine/io/xlsx/external_link_reader.h"
#include "engine/io/xlsx/external_link_writer.h"
#include "engine/io/xlsx/xlsx_reader.h"
#include "engine/io/xlsx/xlsx_writer.h"
#include "engine/model/workbook.h"
#include "engine/ops/shared_formula.h"
#include "tests/engine/xlsx_writer/package_inspection.h"

namespace plyfold::engine {
namespace {

std::unique_ptr<Workbook> writtenAndReadBack(const Workbook& book, std::string* bytes = nullptr) {
    xlsx::StringSink sink;
    xlsx::writeXlsx(book, sink);
    if (bytes) {
        *bytes = sink.bytes();
    }
    auto back = readXlsxFromMemory(sink.bytes(), "/books/written.xlsx");
    for (int32_t i = 0; i < back->sheetCount(); ++i) {
        back->sheet(i).ensureLoaded();
    }
    return back;
}

void putFormula(Sheet& sheet, CellRef at, std::string_view formula) {
    Cell& cell = sheet.cellAt(at);
    cell.type = CellType::Number;
    cell.formula = sheet.workbook().formulas().intern(formula) + 1;
}

ExternalValue value(CellType type, double number, std::string text = {},
                    ErrorValue error = ErrorValue::Ref) {
    return ExternalValue{type, number, error, std::move(text)};
}

TEST(LinksReadBack, NamesAndExternalBooksComeBack) {
    Workbook book;
    Sheet& summary = book.addSheet("Summary");
    Sheet& data = book.addSheet("My Data");
    book.definedNames().push_back({"Rate", "Summary!$F$1", "", false});
    book.definedNames().push_back({"Label", "\"a<b & c\"", "a comment", true});
    book.definedNames().push_back({"rate", "Summary!$F$2", "", false});  // taken: dropped
    book.definedNames().push_back({"Gone", "Nowhere!$A$1+[9]X!A1", "", false});
    data.definedNames().push_back({"_xlnm.Print_Area", "'My Data'!$A$1:$C$9", "", true});
    data.definedNames().push_back({"Rate", "'My Data'!$B$1", "", false});

    ExternalBook jan{"/books/jan 2026.xlsx", {}, {}};
    jan.addSheet("Sales");
    jan.addSheet("It's");
    auto& cells = jan.sheets[0].cells;
    cells[{1, 1}] = value(CellType::Number, 100.5);
    cells[{1, 0}] = value(CellType::Text, 0, "North & <South>");
    cells[{2, 1}] = value(CellType::Boolean, 1);
    cells[{2, 2}] = value(CellType::Error, 0, "", ErrorValue::Div0);
    jan.names.push_back({"Local", "Sales!$B$2", 0});
    book.externalBooks().push_back(jan);
    book.externalBooks().push_back(ExternalBook{"/books/feb.xlsx", {}, {}});
    book.externalBooks()[1].addSheet("Sales");

    putFormula(summary, {0, 0}, "SUM([1]Sales!B:B)+'[1]It''s'!A1+[2]Sales!A1+Rate");
    putFormula(summary, {1, 0}, "[3]Sales!A1");

    std::string bytes;
    auto back = writtenAndReadBack(book, &bytes);
    auto& names = back->definedNames();
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0].name, "Rate");
    EXPECT_EQ(names[0].formula, "Summary!$F$1");
    EXPECT_EQ(names[1].formula, "\"a<b & c\"");
    EXPECT_EQ(names[1].comment, "a comment");
    EXPECT_TRUE(names[1].hidden);
    EXPECT_FALSE(names[0].hidden);
    EXPECT_EQ(names[2].formula, "#REF!+#REF!");
    const auto& local = back->sheet(1).definedNames();
    ASSERT_EQ(local.size(), 2u);
    EXPECT_EQ(local[0].name, "_xlnm.Print_Area");
    EXPECT_EQ(local[0].formula, "'My Data'!$A$1:$C$9");
    EXPECT_EQ(local[1].formula, "'My Data'!$B$1");
    EXPECT_TRUE(back->sheet(0).definedNames().empty());

    const auto& sheet = back->sheet(0);
    EXPECT_EQ(cellFormula(*back, *sheet.findCell({0, 0}), {0, 0}),
              "SUM([1]Sales!B:B)+'[1]It''s'!A1+[2]Sales!A1+Rate");
    EXPECT_EQ(cellFormula(*back, *sheet.findCell({1, 0}), {1, 0}), "#REF!");

    ASSERT_EQ(back->externalBooks().size(), 2u);
    const ExternalBook& janBack = back->externalBooks()[0];
    EXPECT_EQ(janBack.path, "/books/jan 2026.xlsx");
    ASSERT_EQ(janBack.sheets.size(), 2u);
    EXPECT_EQ(janBack.sheets[1].name, "It's");
    EXPECT_EQ(janBack.sheets[0].cells, cells);
    EXPECT_TRUE(janBack.sheets[1].cells.empty());
    ASSERT_EQ(janBack.names.size(), 1u);
    EXPECT_EQ(janBack.names[0].name, "Local");
    EXPECT_EQ(janBack.names[0].formula, "Sales!$B$2");
    EXPECT_EQ(janBack.names[0].sheet, 0);
    EXPECT_EQ(back->externalBooks()[1].path, "/books/feb.xlsx");

    // The parts a spreadsheet program looks for.
    const auto parts = test::unzipAll(bytes);
    EXPECT_TRUE(parts.count("xl/externalLinks/externalLink2.xml"));
    EXPECT_NE(parts.at("xl/externalLinks/_rels/externalLink1.xml.rels")
                  .find("Target=\"file:///books/jan%202026.xlsx\" TargetMode=\"External\""),
              std::string::npos);
    EXPECT_NE(parts.at("[Content_Types].xml").find("spreadsheetml.externalLink+xml"),
              std::string::npos);
    const std::string& workbookPart = parts.at("xl/workbook.xml");
    EXPECT_LT(workbookPart.find("</sheets><externalReferences><externalReference r:id=\"rId3\"/>"
                                "<externalReference r:id=\"rId4\"/></externalReferences>"
                                "<definedNames>"),
              workbookPart.size());
    EXPECT_NE(parts.at("xl/_rels/workbook.xml.rels")
                  .find("Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
                        "2006/relationships/externalLink\" Target=\"externalLinks/"
                        "externalLink1.xml\""),
              std::string::npos);
}

TEST(ExternalLinkPath, TargetsBecomePaths) {
    const std::pair<const char*, const char*> cases[] = {
        {"file:///books/a%20b.xlsx", "/books/a b.xlsx"},
        {"file:///C:/Reports/jan.xlsx", "C:/Reports/jan.xlsx"},
        {"feb.xlsx", "/books/in/feb.xlsx"},
        {"../old/mar%23.xlsx", "/books/old/mar#.xlsx"},
        {"/abs/apr.xlsx", "/abs/apr.xlsx"},
        {"https://host/may.xlsx", "https://host/may.xlsx"},
        {"C:\\Reports\\jun.xlsx", "C:\\Reports\\jun.xlsx"},
    };
    for (const auto& [target, path] : cases) {
        EXPECT_EQ(xlsx_read::externalLinkPath(target, "/books/in/source.xlsx"), path) << target;
    }
    for (const char* path : {"/books/a b.xlsx", "/x/[y]#?%.xlsx"}) {
        EXPECT_EQ(xlsx_read::externalLinkPath(xlsx::externalLinkTarget(path), "/z/s.xlsx"), path);
    }
}

}  // namespace
}  // namespace plyfold::engine
