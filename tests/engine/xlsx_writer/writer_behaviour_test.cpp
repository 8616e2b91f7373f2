#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "engine/common/error.h"
#include "engine/io/xlsx/xlsx_reader.h"
#include "engine/io/xlsx/xlsx_writer.h"
#include "engine/ops/number_format.h"
#include "engine/ops/shared_formula.h"
#include "tests/engine/xlsx_writer/package_inspection.h"

namespace plyfold::engine::xlsx {
namespace {

using plyfold::test::parseXml;
using plyfold::test::unzipAll;
using plyfold::test::XmlNode;

std::map<std::string, std::string> writeParts(const Workbook& workbook,
                                              const XlsxWriteOptions& options = {}) {
    StringSink sink;
    writeXlsx(workbook, sink, options);
    return unzipAll(sink.bytes());
}

XmlNode part(const std::map<std::string, std::string>& parts, const std::string& name) {
    return parseXml(parts.at(name));
}

// The <c> element of a cell reference in a parsed sheet, or nullptr.
const XmlNode* findCell(const XmlNode& sheet, const std::string& ref) {
    const XmlNode* data = sheet.child("sheetData");
    for (const XmlNode& row : data->children) {
        for (const XmlNode& c : row.children) {
            if (*c.attribute("r") == ref) {
                return &c;
            }
        }
    }
    return nullptr;
}

std::string typeOf(const XmlNode& cell) {
    const std::string* t = cell.attribute("t");
    return t ? *t : "n";
}

std::string valueOf(const XmlNode& cell) {
    const XmlNode* v = cell.child("v");
    return v ? v->text : "<none>";
}

std::vector<std::string> sharedTexts(const std::map<std::string, std::string>& parts) {
    std::vector<std::string> texts;
    for (const XmlNode& si : part(parts, "xl/sharedStrings.xml").children) {
        texts.push_back(si.child("t")->text);
    }
    return texts;
}

Cell& setNumber(Sheet& sheet, CellRef ref, double value) {
    Cell& cell = sheet.cellAt(ref);
    cell.type = CellType::Number;
    cell.value.number = value;
    return cell;
}

Cell& setText(Sheet& sheet, CellRef ref, std::string_view text) {
    Cell& cell = sheet.cellAt(ref);
    cell.type = CellType::Text;
    cell.value.text = sheet.workbook().strings().intern(text);
    return cell;
}

void setFormula(Cell& cell, Workbook& workbook, std::string_view formula) {
    cell.formula = workbook.formulas().intern(formula) + 1;
}

TEST(WriterValues, NumbersTheFormatCannotHoldBecomeNumErrors) {
    const double values[] = {std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
    Workbook book;
    Sheet& sheet = book.addSheet("S");
    for (int i = 0; i < 3; ++i) {
        setNumber(sheet, {i, 0}, values[i]);
        setFormula(setNumber(sheet, {i, 1}, values[i]), book, "1/0");
    }
    const XmlNode xml = part(writeParts(book), "xl/worksheets/sheet1.xml");
    for (int i = 0; i < 3; ++i) {
        for (const char* column : {"A", "B"}) {
            const XmlNode* c = findCell(xml, column + std::to_string(i + 1));
            ASSERT_NE(c, nullptr);
            EXPECT_EQ(typeOf(*c), "e");
            EXPECT_EQ(valueOf(*c), "#NUM!");
        }
        EXPECT_NE(findCell(xml, "B" + std::to_string(i + 1))->child("f"), nullptr);
    }
}

TEST(WriterValues, EveryErrorValueSurvives) {
    Workbook book;
    Sheet& sheet = book.addSheet("S");
    for (int e = 0; e <= static_cast<int>(ErrorValue::GettingData); ++e) {
        for (int32_t column : {0, 1}) {
            Cell& cell = sheet.cellAt({e, column});
            cell.type = CellType::Error;
            cell.value.error = static_cast<ErrorValue>(e);
            if (column == 1) {
                setFormula(cell, book, "NA()");
            }
        }
    }
    const XmlNode xml = part(writeParts(book), "xl/worksheets/sheet1.xml");
    for (int e = 0; e <= static_cast<int>(ErrorValue::GettingData); ++e) {
        for (const char* column : {"A", "B"}) {
            const XmlNode* c = findCell(xml, column + std::to_string(e + 1));
            ASSERT_NE(c, nullptr);
            EXPECT_EQ(typeOf(*c), "e");
            EXPECT_EQ(valueOf(*c), errorText(static_cast<ErrorValue>(e)));
        }
    }
}

TEST(WriterValues, CellKindsAndFormulaResults) {
    Workbook book;
    Sheet& sheet = book.addSheet("S");
    setText(sheet, {0, 0}, "=SUM(A1:A3)");  // a text, never a formula
    setFormula(setText(sheet, {0, 1}, " text result "), book, "\"x\"");
    Cell& boolFormula = sheet.cellAt({0, 2});
    boolFormula.type = CellType::Boolean;
    boolFormula.value.boolean = true;
    setFormula(boolFormula, book, "TRUE()");
    setFormula(sheet.cellAt({0, 3}), book, "NOW()");  // no cached result
    setFormula(setNumber(sheet, {0, 4}, 2.5), book, "A9&\"<&>\"");
    sheet.cellAt({0, 5}).style = 0;  // a blank cell with nothing: not written
    const auto parts = writeParts(book);
    const XmlNode xml = part(parts, "xl/worksheets/sheet1.xml");

    const XmlNode* a1 = findCell(xml, "A1");
    EXPECT_EQ(typeOf(*a1), "s");
    EXPECT_EQ(a1->child("f"), nullptr);
    EXPECT_EQ(sharedTexts(parts).at(std::stoul(valueOf(*a1))), "=SUM(A1:A3)");

    const XmlNode* b1 = findCell(xml, "B1");
    EXPECT_EQ(typeOf(*b1), "str");
    EXPECT_EQ(valueOf(*b1), " text result ");
    EXPECT_EQ(b1->child("f")->text, "\"x\"");

    EXPECT_EQ(typeOf(*findCell(xml, "C1")), "b");
    EXPECT_EQ(valueOf(*findCell(xml, "C1")), "1");

    const XmlNode* d1 = findCell(xml, "D1");
    EXPECT_EQ(d1->child("f")->text, "NOW()");
    EXPECT_EQ(d1->child("v"), nullptr);

    EXPECT_EQ(findCell(xml, "E1")->child("f")->text, "A9&\"<&>\"");
    EXPECT_EQ(std::stod(valueOf(*findCell(xml, "E1"))), 2.5);
    EXPECT_EQ(findCell(xml, "F1"), nullptr);
    // Formula results are not shared strings.
    EXPECT_EQ(sharedTexts(parts).size(), 1u);
}

TEST(WriterValues, SharedStringsHoldEachUsedTextOnce) {
    Workbook book;
    book.strings().intern("left over in the pool");
    Sheet& first = book.addSheet("One");
    Sheet& second = book.addSheet("Two");
    setText(first, {0, 0}, "b");
    setText(first, {0, 1}, "a");
    setText(first, {1, 0}, "b");
    setText(second, {0, 0}, "a");
    setText(second, {5, 5}, "c");
    const auto parts = writeParts(book);
    const XmlNode sst = part(parts, "xl/sharedStrings.xml");
    EXPECT_EQ(*sst.attribute("count"), "5");
    EXPECT_EQ(*sst.attribute("uniqueCount"), "3");
    EXPECT_EQ(sharedTexts(parts), (std::vector<std::string>{"b", "a", "c"}));
    const XmlNode two = part(parts, "xl/worksheets/sheet2.xml");
    EXPECT_EQ(valueOf(*findCell(two, "A1")), "1");
    EXPECT_EQ(valueOf(*findCell(two, "F6")), "2");
}

TEST(WriterValues, AWorkbookWithoutTextsHasNoSharedStringsPart) {
    Workbook book;
    setNumber(book.addSheet("S"), {0, 0}, 1);
    const auto parts = writeParts(book);
    EXPECT_EQ(parts.count("xl/sharedStrings.xml"), 0u);
    EXPECT_EQ(parts.at("[Content_Types].xml").find("sharedStrings"), std::string::npos);
    EXPECT_EQ(parts.at("xl/_rels/workbook.xml.rels").find("sharedStrings"), std::string::npos);
}

TEST(WriterValues, TextsKeepControlCharactersBlanksAndLineBreaks) {
    const std::string texts[] = {"  two leading", "tab\tinside",     "cr\r\nlf",
                                 "bell\x07",      "_x0041_ literal", "line\nbreak\n"};
    Workbook book;
    Sheet& sheet = book.addSheet("S");
    for (int i = 0; i < 6; ++i) {
        setText(sheet, {i, 0}, texts[i]);
    }
    const auto parts = writeParts(book);
    const XmlNode sst = part(parts, "xl/sharedStrings.xml");
    ASSERT_EQ(sst.children.size(), 6u);
    // What a reader that knows the _xHHHH_ escapes sees (all ASCII here).
    auto decoded = [](const std::string& text) {
        std::string out;
        for (size_t i = 0; i < text.size();) {
            if (i + 7 <= text.size() && text[i] == '_' && text[i + 1] == 'x' &&
                text[i + 6] == '_') {
                out.push_back(static_cast<char>(std::stoi(text.substr(i + 2, 4), nullptr, 16)));
                i += 7;
            } else {
                out.push_back(text[i++]);
            }
        }
        return out;
    };
    for (int i = 0; i < 6; ++i) {
        const XmlNode* t = sst.children[i].child("t");
        EXPECT_EQ(decoded(t->text), texts[i]);
        const bool preserve = t->attribute("xml:space") != nullptr;
        EXPECT_EQ(preserve, texts[i].front() == ' ' || texts[i].back() == '\n') << texts[i];
    }
}

TEST(WriterSheets, ChartSheetsAreWrittenAsEmptyWorksheetsWithTheirNames) {
    Workbook book;
    setNumber(book.addSheet("Data"), {0, 0}, 1);
    book.addSheet("Chart1", SheetKind::Chartsheet);
    const auto parts = writeParts(book);
    const XmlNode workbook = part(parts, "xl/workbook.xml");
    const XmlNode* sheets = workbook.child("sheets");
    ASSERT_EQ(sheets->children.size(), 2u);
    EXPECT_EQ(*sheets->children[1].attribute("name"), "Chart1");
    const XmlNode chart = part(parts, "xl/worksheets/sheet2.xml");
    EXPECT_EQ(chart.name, "worksheet");
    EXPECT_TRUE(chart.child("sheetData")->children.empty());
}

TEST(WriterSheets, VisibilityAndTheActiveSheet) {
    using V = SheetVisibility;
    struct Case {
        const char* what;
        std::vector<V> visibility;
        int32_t active;
        std::vector<V> expectedVisibility;
        int32_t expectedActive;
    };
    const Case cases[] = {
        {"as set",
         {V::Visible, V::Hidden, V::VeryHidden, V::Visible},
         3,
         {V::Visible, V::Hidden, V::VeryHidden, V::Visible},
         3},
        {"active sheet hidden: the first visible one is active",
         {V::Hidden, V::Visible, V::Visible},
         0,
         {V::Hidden, V::Visible, V::Visible},
         1},
        {"every sheet hidden: the active one is shown",
         {V::Hidden, V::VeryHidden},
         1,
         {V::Hidden, V::Visible},
         1},
        {"active index past the end", {V::Visible, V::Visible}, 7, {V::Visible, V::Visible}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Workbook book;
        for (size_t i = 0; i < c.visibility.size(); ++i) {
            book.addSheet("S" + std::to_string(i)).setVisibility(c.visibility[i]);
        }
        book.setActiveSheet(c.active);
        const auto parts = writeParts(book);
        const XmlNode workbook = part(parts, "xl/workbook.xml");
        const XmlNode* view = workbook.child("bookViews")->child("workbookView");
        const std::string* activeTab = view->attribute("activeTab");
        EXPECT_EQ(activeTab ? std::stoi(*activeTab) : 0, c.expectedActive);
        const XmlNode* sheets = workbook.child("sheets");
        for (size_t i = 0; i < c.visibility.size(); ++i) {
            const std::string* state = sheets->children[i].attribute("state");
            const V written = !state                   ? V::Visible
                              : *state == "hidden"     ? V::Hidden
                              : *state == "veryHidden" ? V::VeryHidden
                                                       : V::Visible;
            EXPECT_EQ(written, c.expectedVisibility[i]) << i;
            const XmlNode sheet =
                part(parts, "xl/worksheets/sheet" + std::to_string(i + 1) + ".xml");
            const XmlNode* sheetView = sheet.child("sheetViews")->child("sheetView");
            EXPECT_EQ(sheetView->attribute("tabSelected") != nullptr,
                      static_cast<int32_t>(i) == c.expectedActive);
        }
    }
}

TEST(WriterSheets, FormulasNamingMissingSheetsBecomeRefErrors) {
    Workbook book;
    Sheet& sheet = book.addSheet("Here");
    book.addSheet("Other Sheet");
    setFormula(setNumber(sheet, {0, 0}, 1), book, "'Other Sheet'!A1+Gone!B2");
    setFormula(setNumber(sheet, {1, 0}, 1), book, "here!A1*2");
    const XmlNode xml = part(writeParts(book), "xl/worksheets/sheet1.xml");
    const std::string kept = findCell(xml, "A2")->child("f")->text;
    EXPECT_EQ(kept, "here!A1*2");
    const std::string rewritten = findCell(xml, "A1")->child("f")->text;
    EXPECT_NE(rewritten.find("'Other Sheet'!A1"), std::string::npos) << rewritten;
    EXPECT_EQ(rewritten.find("Gone"), std::string::npos) << rewritten;
    EXPECT_NE(rewritten.find("#REF!"), std::string::npos) << rewritten;
}

TEST(WriterSheets, SharedFormulasAreWrittenOnceAndReadBackAlike) {
    Workbook book;
    Sheet& data = book.addSheet("Data");
    Sheet& other = book.addSheet("Other");
    auto share = [&](Sheet& sheet, uint32_t id, const char* cells) {
        const CellRange range = *parseRangeName(cells);
        for (int32_t r = range.first.row; r <= range.last.row; ++r) {
            for (int32_t c = range.first.column; c <= range.last.column; ++c) {
                Cell& cell = setNumber(sheet, {r, c}, r);
                cell.formula = id + 1;
                cell.flags = kSharedFormula;
            }
        }
    };
    // One formula in two blocks of one sheet and on another sheet, with other formulas among
    // its cells; one that a single cell uses; one anchored away from its cells.
    const uint32_t doubled = addSharedFormula(book, "B1*2+$C$1+Gone!$A$1", {0, 0});
    share(data, doubled, "A1:A5");
    share(data, doubled, "C2:C3");
    setFormula(setNumber(data, {2, 1}, 0), book, "A1+1");
    share(other, doubled, "B2:B4");
    share(data, addSharedFormula(book, "SUM(A1:A4)", {4, 4}), "E5");
    share(data, addSharedFormula(book, "D1", {0, 3}), "G10:H11");

    StringSink sink;
    writeXlsx(book, sink, {});
    const auto parts = unzipAll(sink.bytes());
    const XmlNode sheet1 = part(parts, "xl/worksheets/sheet1.xml");
    struct Expected {
        const char* cell;
        const char* attributes;  // t, ref, si
        const char* text;
    };
    const Expected expected[] = {
        {"A1", "shared A1:C5 0", "B1*2+$C$1+#REF!"},
        {"A2", "shared  0", ""},
        {"C2", "shared  0", ""},
        {"B3", "  ", "A1+1"},
        {"E5", "  ", "SUM(A1:A4)"},
        {"G10", "shared G10:H11 1", "G10"},
        {"H11", "shared  1", ""},
    };
    for (const Expected& e : expected) {
        const XmlNode* f = findCell(sheet1, e.cell)->child("f");
        ASSERT_NE(f, nullptr) << e.cell;
        auto attribute = [&](const char* name) {
            const std::string* value = f->attribute(name);
            return value ? *value : std::string();
        };
        EXPECT_EQ(attribute("t") + " " + attribute("ref") + " " + attribute("si"), e.attributes)
            << e.cell;
        EXPECT_EQ(f->text, e.text) << e.cell;
    }
    // Each sheet numbers its own shared formulas.
    const XmlNode sheet2 = part(parts, "xl/worksheets/sheet2.xml");
    const XmlNode* otherMaster = findCell(sheet2, "B2")->child("f");
    EXPECT_EQ(*otherMaster->attribute("ref"), "B2:B4");
    EXPECT_EQ(*otherMaster->attribute("si"), "0");
    EXPECT_EQ(otherMaster->text, "C2*2+$C$1+#REF!");

    auto back = readXlsxFromMemory(sink.bytes(), "back.xlsx");
    for (int32_t s = 0; s < book.sheetCount(); ++s) {
        for (const Row& row : book.sheet(s).rows()) {
            for (const Cell& cell : row.cells) {
                const CellRef at{row.index, cell.column};
                const Cell* read = back->sheet(s).findCell(at);
                ASSERT_NE(read, nullptr) << cellName(at);
                std::string written = cellFormula(book, cell, at);
                if (written.find("Gone!$A$1") != std::string::npos) {
                    written.replace(written.find("Gone!$A$1"), 9, "#REF!");
                }
                EXPECT_EQ(cellFormula(*back, *read, at), written) << cellName(at);
                EXPECT_EQ(read->hasSharedFormula(),
                          cell.hasSharedFormula() && !(at == CellRef{4, 4}))
                    << cellName(at);
            }
        }
    }
}

TEST(WriterSheets, RowsColumnsMergesAndSelection) {
    Workbook book;
    Sheet& sheet = book.addSheet("S");
    setNumber(sheet, {2, 1}, 1);
    Row& tall = sheet.rowAt(2);
    tall.height = 15.6f;
    tall.customHeight = true;
    Row& hiddenEmpty = sheet.rowAt(4);
    hiddenEmpty.hidden = true;
    sheet.rowAt(6);  // an empty row with nothing of its own
    sheet.columns() = {ColumnInfo{0, 0, 12.5, false, true, 0}, ColumnInfo{3, 5, 0, true, false, 0},
                       ColumnInfo{7, 7, 0, false, false, 0}, ColumnInfo{9, 8, 3, false, true, 0}};
    sheet.merges() = {{{0, 0}, {1, 1}}, {{3, 3}, {3, 3}}};
    sheet.setSelectedCell({2, 1});
    const XmlNode xml = part(writeParts(book), "xl/worksheets/sheet1.xml");

    // The cell, the merge and the hidden row; not the one-cell merge.
    EXPECT_EQ(*xml.child("dimension")->attribute("ref"), "A1:B5");
    const XmlNode* rows = xml.child("sheetData");
    ASSERT_EQ(rows->children.size(), 2u);
    EXPECT_EQ(*rows->children[0].attribute("ht"), "15.6");
    EXPECT_EQ(*rows->children[0].attribute("customHeight"), "1");
    EXPECT_EQ(*rows->children[1].attribute("r"), "5");
    EXPECT_EQ(*rows->children[1].attribute("hidden"), "1");

    const XmlNode* cols = xml.child("cols");
    ASSERT_EQ(cols->children.size(), 2u);  // the run with nothing and the reversed run go
    EXPECT_EQ(std::stod(*cols->children[0].attribute("width")), 12.5);
    EXPECT_EQ(*cols->children[1].attribute("min"), "4");
    EXPECT_EQ(*cols->children[1].attribute("max"), "6");
    EXPECT_EQ(*cols->children[1].attribute("hidden"), "1");

    const XmlNode* merges = xml.child("mergeCells");
    ASSERT_EQ(merges->children.size(), 1u);  // a one-cell merge merges nothing
    EXPECT_EQ(*merges->children[0].attribute("ref"), "A1:B2");

    const XmlNode* selection = xml.child("sheetViews")->child("sheetView")->child("selection");
    ASSERT_NE(selection, nullptr);
    EXPECT_EQ(*selection->attribute("activeCell"), "B3");
}

TEST(WriterSheets, SheetDefaultsAndTheDateSystem) {
    Workbook book;
    book.setDate1904(true);
    Sheet& sheet = book.addSheet("S");
    sheet.setDefaultRowHeight(20);
    sheet.setDefaultColumnWidth(12);
    const auto parts = writeParts(book);
    const XmlNode sheetXml = part(parts, "xl/worksheets/sheet1.xml");
    const XmlNode* format = sheetXml.child("sheetFormatPr");
    EXPECT_EQ(std::stod(*format->attribute("defaultRowHeight")), 20);
    EXPECT_EQ(*format->attribute("customHeight"), "1");
    EXPECT_EQ(std::stod(*format->attribute("defaultColWidth")), 12);
    EXPECT_EQ(*part(parts, "xl/workbook.xml").child("workbookPr")->attribute("date1904"), "1");

    Workbook plain;
    plain.addSheet("S");
    const auto plainParts = writeParts(plain);
    EXPECT_EQ(part(plainParts, "xl/workbook.xml").child("workbookPr")->attribute("date1904"),
              nullptr);
    const XmlNode plainSheet = part(plainParts, "xl/worksheets/sheet1.xml");
    const XmlNode* plainFormat = plainSheet.child("sheetFormatPr");
    EXPECT_EQ(plainFormat->attribute("defaultColWidth"), nullptr);
    EXPECT_EQ(plainFormat->attribute("customHeight"), nullptr);
}

TEST(WriterStyles, NumberFormatIdsAndSchemeFonts) {
    Workbook book;
    StyleTable& styles = book.styles();
    const std::string codes[] = {"0.00", "0.0000",  "yyyy-mm-dd hh:mm",
                                 "0.00", "General", "GENERAL"};
    std::vector<uint32_t> styleIds;
    for (const std::string& code : codes) {
        CellStyle style;
        style.numberFormat = styles.addFormatCode(code);
        styleIds.push_back(styles.addStyle(style));
    }
    Font aptos;
    aptos.name = "Aptos Narrow";  // a scheme font of another theme
    aptos.scheme = "minor";
    CellStyle aptosStyle;
    aptosStyle.font = styles.addFont(aptos);
    styleIds.push_back(styles.addStyle(aptosStyle));
    Sheet& sheet = book.addSheet("S");
    for (size_t i = 0; i < styleIds.size(); ++i) {
        setNumber(sheet, {static_cast<int32_t>(i), 0}, 1).style = styleIds[i];
    }
    const XmlNode xml = part(writeParts(book), "xl/styles.xml");
    const XmlNode* xfs = xml.child("cellXfs");
    ASSERT_EQ(xfs->children.size(), styles.styleCount());
    std::map<std::string, std::string> customIds;
    for (const XmlNode& numFmt : xml.child("numFmts")->children) {
        customIds[*numFmt.attribute("formatCode")] = *numFmt.attribute("numFmtId");
    }
    EXPECT_EQ(customIds.size(), 3u);
    for (size_t i = 0; i < std::size(codes); ++i) {
        const std::string id = *xfs->children[styleIds[i]].attribute("numFmtId");
        // Built-in ids for the exact built-in codes only, so every code reads back as it was.
        const int builtin = builtinFormatId(codes[i]);
        if (builtin >= 0 && builtinFormatCode(builtin) == codes[i]) {
            EXPECT_EQ(id, std::to_string(builtin)) << codes[i];
        } else {
            EXPECT_EQ(id, customIds.at(codes[i])) << codes[i];
            EXPECT_GE(std::stoi(id), 164);
        }
    }
    const XmlNode& fonts = *xml.child("fonts");
    EXPECT_NE(fonts.children[0].child("scheme"), nullptr);  // Calibri, the theme's own
    EXPECT_EQ(fonts.children[aptosStyle.font].child("scheme"), nullptr);
    EXPECT_EQ(*fonts.children[aptosStyle.font].child("name")->attribute("val"), "Aptos Narrow");
}

TEST(WriterPackage, ContentTypeFollowsTheExtension) {
    struct Case {
        const char* path;
        const char* mainType;
    };
    const Case cases[] = {
        {"/x/result.xlsx",
         "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"},
        {"/x/RESULT.XLSM", "application/vnd.ms-excel.sheet.macroEnabled.main+xml"},
        {"t.xltx", "application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml"},
        {"t.Xltm", "application/vnd.ms-excel.template.macroEnabled.main+xml"},
        {"/x.xlsm/noextension",
         "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"},
    };
    for (const Case& c : cases) {
        Workbook book;
        book.addSheet("S");
        XlsxWriteOptions options;
        options.kind = packageKindForPath(c.path);
        const XmlNode types = part(writeParts(book, options), "[Content_Types].xml");
        std::string found;
        for (const XmlNode& entry : types.children) {
            const std::string* name = entry.attribute("PartName");
            if (name && *name == "/xl/workbook.xml") {
                found = *entry.attribute("ContentType");
            }
        }
        EXPECT_EQ(found, c.mainType) << c.path;
    }
}

TEST(WriterPackage, UnwritableModelsAreRefused) {
    Workbook empty;
    EXPECT_THROW(writeParts(empty), SpreadsheetError);

    Workbook loaderFails;
    loaderFails.addSheet("Broken").setLoader(
        [](Sheet&) { throw SpreadsheetError(ErrorNumber::ApplicationDefined, "damaged"); });
    EXPECT_THROW(writeParts(loaderFails), SpreadsheetError);

    Workbook missingStyle;
    setNumber(missingStyle.addSheet("S"), {0, 0}, 1).style = 99;
    try {
        writeParts(missingStyle);
        ADD_FAILURE() << "a cell with a missing style was written";
    } catch (const SpreadsheetError& e) {
        EXPECT_NE(e.description().find("'S'"), std::string::npos) << e.description();
    }

    Workbook missingText;
    Cell& cell = missingText.addSheet("S").cellAt({0, 0});
    cell.type = CellType::Text;
    cell.value.text = 12345;
    EXPECT_THROW(writeParts(missingText), SpreadsheetError);
}

TEST(WriterPackage, LazySheetsAreLoadedForWriting) {
    Workbook book;
    // Loaders fill rows with appendRow, as readers do, and add the texts and styles they
    // meet to the workbook while loading.
    book.addSheet("Lazy").setLoader([](Sheet& sheet) {
        Workbook& workbook = sheet.workbook();
        Cell number;
        number.column = 3;
        number.type = CellType::Number;
        number.value.number = 42;
        CellStyle style;
        style.numberFormat = workbook.styles().addFormatCode("0.0%");
        number.style = workbook.styles().addStyle(style);
        Cell text;
        text.column = 4;
        text.type = CellType::Text;
        text.value.text = workbook.strings().intern("loaded late");
        Row& row = sheet.appendRow(3);
        row.cells.push_back(number);
        row.cells.push_back(text);
    });
    const auto parts = writeParts(book);
    const XmlNode xml = part(parts, "xl/worksheets/sheet1.xml");
    ASSERT_NE(findCell(xml, "D4"), nullptr);
    EXPECT_EQ(valueOf(*findCell(xml, "D4")), "42");
    EXPECT_EQ(*findCell(xml, "D4")->attribute("s"), "1");
    EXPECT_EQ(sharedTexts(parts), std::vector<std::string>{"loaded late"});
    const XmlNode styles = part(parts, "xl/styles.xml");
    EXPECT_EQ(*styles.child("numFmts")->children.at(0).attribute("formatCode"), "0.0%");
}

}  // namespace
}  // namespace plyfold::engine::xlsx
