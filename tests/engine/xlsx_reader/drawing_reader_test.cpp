#include <gtest/gtest.h>

#include <map>

#include "engine/common/error.h"
#include "engine/io/xlsx/drawing_reader.h"
#include "engine/io/xlsx/read_failure.h"
#include "engine/io/xlsx/xlsx_reader.h"
#include "engine/io/xlsx/xlsx_writer.h"
#include "engine/io/xlsx/zip_package.h"
#include "engine/io/xlsx/zip_writer.h"
#include "engine/model/limits.h"
#include "engine/model/workbook.h"
#include "engine/ops/sheet_ops.h"
#include "test_package.h"

namespace plyfold::engine {
namespace {

using plyfold::test::TestPackage;
using plyfold::test::worksheetXml;
using xlsx_read::detail::parseDrawing;
using xlsx_read::detail::splitChart;

constexpr const char* kRels = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kXdr = "http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing";
constexpr const char* kA = "http://schemas.openxmlformats.org/drawingml/2006/main";

std::string drawingXml(const std::string& anchors) {
    return std::string("<?xml version=\"1.0\"?><xdr:wsDr xmlns:xdr=\"") + kXdr + "\" xmlns:a=\"" +
           kA + "\" xmlns:r=\"" + kRels + "\">" + anchors + "</xdr:wsDr>";
}

std::string picture(const std::string& embed) {
    return "<xdr:pic><xdr:blipFill><a:blip r:embed=\"" + embed +
           "\"/></xdr:blipFill></xdr:pic><xdr:clientData/>";
}

std::string marker(const char* name, int col, int64_t colOff, int row, int64_t rowOff) {
    return std::string("<xdr:") + name + "><xdr:col>" + std::to_string(col) +
           "</xdr:col><xdr:colOff>" + std::to_string(colOff) + "</xdr:colOff><xdr:row>" +
           std::to_string(row) + "</xdr:row><xdr:rowOff>" + std::to_string(rowOff) +
           "</xdr:rowOff></xdr:" + name + ">";
}

// Links by id for parseDrawing.
struct Links {
    std::map<std::string, DrawingLink> byId;
    std::function<const DrawingLink*(std::string_view)> find() const {
        return [this](std::string_view id) -> const DrawingLink* {
            auto it = byId.find(std::string(id));
            return it == byId.end() ? nullptr : &it->second;
        };
    }
};

// The object's XML with its link linkSlots written as "#k".
std::string content(const DrawingObject& object) {
    std::string out;
    for (size_t i = 0; i < object.pieces.size(); ++i) {
        out += object.pieces[i];
        if (i < object.linkSlots.size()) {
            out += "#" + std::to_string(object.linkSlots[i]);
        }
    }
    return out;
}

TEST(DrawingParsing, EveryAnchorKindWithItsPosition) {
    Links links;
    links.byId["rId1"].type = "image";
    const std::string xml = drawingXml(
        "<xdr:twoCellAnchor editAs=\"oneCell\">" + marker("from", 2, 12700, 3, 0) +
        marker("to", 5, 0, 7, 25400) + picture("rId1") + "</xdr:twoCellAnchor>" +
        "<xdr:oneCellAnchor>" + marker("from", 1, 0, 9, 5) +
        "<xdr:ext cx=\"381000\" cy=\"285750\"/>" + picture("rId1") + "</xdr:oneCellAnchor>" +
        "<xdr:absoluteAnchor><xdr:pos x=\"4572000\" y=\"190500\"/><xdr:ext cx=\"10\" cy=\"20\"/>" +
        picture("rId1") + "</xdr:absoluteAnchor>" + "<xdr:unknown><xdr:x/></xdr:unknown>" +
        // Of a compatibility wrapper only the fallback counts.
        "<mc:AlternateContent "
        "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\">"
        "<mc:Choice Requires=\"a14\"><xdr:oneCellAnchor>" +
        marker("from", 30, 0, 30, 0) + "<xdr:ext cx=\"1\" cy=\"1\"/>" + picture("rId1") +
        "</xdr:oneCellAnchor></mc:Choice><mc:Fallback><xdr:oneCellAnchor>" +
        marker("from", 4, 0, 12, 0) + "<xdr:ext cx=\"1\" cy=\"1\"/>" + picture("rId1") +
        "</xdr:oneCellAnchor></mc:Fallback></mc:AlternateContent>");
    const std::vector<DrawingObject> objects = parseDrawing(xml, links.find());
    ASSERT_EQ(objects.size(), 4u);

    EXPECT_EQ(objects[0].anchor, AnchorKind::TwoCell);
    EXPECT_EQ(objects[0].editAs, "oneCell");
    EXPECT_EQ(objects[0].from.column, 2);
    EXPECT_EQ(objects[0].from.columnOffset, 12700);
    EXPECT_EQ(objects[0].from.row, 3);
    EXPECT_EQ(objects[0].to.column, 5);
    EXPECT_EQ(objects[0].to.row, 7);
    EXPECT_EQ(objects[0].to.rowOffset, 25400);
    EXPECT_EQ(objects[0].prefix, "xdr:");
    EXPECT_EQ(content(objects[0]),
              "<xdr:pic><xdr:blipFill><a:blip r:embed=\"#0\"/></xdr:blipFill></xdr:pic>"
              "<xdr:clientData/>");
    // The declarations the object's XML relies on go with it.
    EXPECT_NE(objects[0].namespaces.find(std::string("xmlns:r=\"") + kRels + "\""),
              std::string::npos);
    EXPECT_NE(objects[0].namespaces.find(std::string("xmlns:a=\"") + kA + "\""), std::string::npos);

    EXPECT_EQ(objects[1].anchor, AnchorKind::OneCell);
    EXPECT_EQ(objects[1].from.row, 9);
    EXPECT_EQ(objects[1].from.rowOffset, 5);
    EXPECT_EQ(objects[1].width, 381000);
    EXPECT_EQ(objects[1].height, 285750);

    EXPECT_EQ(objects[2].anchor, AnchorKind::Absolute);
    EXPECT_EQ(objects[2].x, 4572000);
    EXPECT_EQ(objects[2].y, 190500);
    EXPECT_EQ(objects[2].width, 10);
    EXPECT_EQ(objects[2].topRow(), -1);

    EXPECT_EQ(objects[3].from.column, 4);
    EXPECT_EQ(objects[3].from.row, 12);
    EXPECT_NE(objects[3].namespaces.find("xmlns:mc="), std::string::npos);
    // Its choice names a picture by a relationship id, which could not be renamed: the
    // fallback stands alone.
    EXPECT_TRUE(objects[3].wrapper.isEmpty());
    EXPECT_TRUE(objects[0].wrapper.isEmpty());
}

TEST(DrawingParsing, RelationshipIdsBecomeSlotsWhateverThePrefix) {
    Links links;
    links.byId["rId7"].type = "image";
    links.byId["rId8"].type = "hyperlink";
    links.byId["rId8"].external = true;
    // A default namespace, the relationships under another prefix declared inside the object,
    // one id named twice, an empty id (a shape's click that runs a macro) and an "r:id" whose
    // prefix means something else.
    const std::string xml =
        std::string("<wsDr xmlns=\"") + kXdr +
        "\"><oneCellAnchor><from><col>1</col><colOff>0</colOff><row>1</row><rowOff>0</rowOff>"
        "</from><ext cx=\"1\" cy=\"1\"/><pic xmlns:rel=\"" +
        kRels + "\" xmlns:r=\"urn:other\"><a:blip xmlns:a=\"" + kA +
        "\" rel:embed=\"rId7\" r:id=\"rId9\"/><x rel:id=\"rId8\"/><y rel:link=\"rId7\"/>"
        "<z rel:id=\"\"/></pic><clientData/></oneCellAnchor></wsDr>";
    const std::vector<DrawingObject> objects = parseDrawing(xml, links.find());
    ASSERT_EQ(objects.size(), 1u);
    const DrawingObject& object = objects[0];
    EXPECT_EQ(object.prefix, "");
    ASSERT_EQ(object.links.size(), 2u);
    EXPECT_EQ(object.links[0].type, "image");
    EXPECT_EQ(object.links[1].type, "hyperlink");
    EXPECT_TRUE(object.links[1].external);
    EXPECT_EQ(object.linkSlots, (std::vector<uint32_t>{0, 1, 0}));
    EXPECT_NE(content(object).find("r:id=\"rId9\""), std::string::npos);
    EXPECT_NE(content(object).find("rel:id=\"\""), std::string::npos);
    EXPECT_NE(object.namespaces.find(std::string("xmlns=\"") + kXdr + "\""), std::string::npos);
}

TEST(DrawingParsing, ChoicesThatNameRelationshipsAreLeftOut) {
    Links links;
    links.byId["rId1"].type = "image";
    auto wrapped = [](const std::string& choice, int fallbacks) {
        std::string fallback;
        for (int i = 0; i < fallbacks; ++i) {
            fallback += "<xdr:oneCellAnchor>" + marker("from", 4, 0, 12 + i, 0) +
                        "<xdr:ext cx=\"1\" cy=\"1\"/>" + picture("rId1") + "</xdr:oneCellAnchor>";
        }
        return drawingXml("<mc:AlternateContent xmlns:mc=\"urn:mc\"><mc:Choice Requires=\"x\">" +
                          choice + "</mc:Choice><mc:Fallback>" + fallback +
                          "</mc:Fallback></mc:AlternateContent>");
    };
    struct Case {
        std::string xml;
        bool kept;
    };
    const std::vector<Case> cases = {
        {wrapped("<x:shape/>", 1), true},
        {wrapped("<x:shape a=\"b:c\"/>", 1), true},
        {wrapped("<x:shape r:id=\"rId1\"/>", 1), false},
        {wrapped(std::string("<x:shape xmlns:q=\"") + kRels + "\" q:id=\"rId1\"/>", 1), false},
        {wrapped("<x:shape/>", 2), false},  // which object would it stand for?
    };
    for (const Case& c : cases) {
        const std::vector<DrawingObject> objects = parseDrawing(c.xml, links.find());
        ASSERT_FALSE(objects.empty()) << c.xml;
        EXPECT_EQ(!objects[0].wrapper.isEmpty(), c.kept) << c.xml;
        if (c.kept) {
            EXPECT_EQ(objects[0].wrapper.element, "mc:AlternateContent");
            EXPECT_EQ(objects[0].wrapper.fallback, "mc:Fallback");
            EXPECT_TRUE(objects[0].wrapper.choices.starts_with("<mc:Choice Requires=\"x\">"));
        }
    }
}

TEST(DrawingParsing, AnObjectNamingAMissingRelationshipIsLeftOut) {
    Links links;
    links.byId["rId1"].type = "image";
    const std::string xml = drawingXml(
        "<xdr:oneCellAnchor>" + marker("from", 0, 0, 0, 0) + "<xdr:ext cx=\"1\" cy=\"1\"/>" +
        picture("rId404") + "</xdr:oneCellAnchor><xdr:oneCellAnchor>" + marker("from", 0, 0, 4, 0) +
        "<xdr:ext cx=\"1\" cy=\"1\"/>" + picture("rId1") + "</xdr:oneCellAnchor>" +
        // An anchor without an object is nothing to draw.
        "<xdr:twoCellAnchor>" + marker("from", 0, 0, 0, 0) + marker("to", 1, 0, 1, 0) +
        "</xdr:twoCellAnchor>");
    const std::vector<DrawingObject> objects = parseDrawing(xml, links.find());
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0].from.row, 4);
}

TEST(DrawingParsing, WrappersNestedPastReasonAreSkippedNotFollowed) {
    Links links;
    links.byId["rId1"].type = "image";
    std::string nested;
    for (int i = 0; i < 100000; ++i) {
        nested += "<mc:AlternateContent><mc:Fallback>";
    }
    nested += "<xdr:oneCellAnchor>" + marker("from", 0, 0, 0, 0) + "<xdr:ext cx=\"1\" cy=\"1\"/>" +
              picture("rId1") + "</xdr:oneCellAnchor>";
    for (int i = 0; i < 100000; ++i) {
        nested += "</mc:Fallback></mc:AlternateContent>";
    }
    const std::string xml = drawingXml("<mc:AlternateContent xmlns:mc=\"urn:mc\"><mc:Fallback>" +
                                       nested + "</mc:Fallback></mc:AlternateContent>");
    EXPECT_TRUE(parseDrawing(xml, links.find()).empty());
}

TEST(DrawingParsing, PositionsPastTheSheetAreHeldAtItsEdge) {
    Links links;
    links.byId["rId1"].type = "image";
    const std::string xml = drawingXml(
        "<xdr:twoCellAnchor><xdr:from><xdr:col>99999999999999999999</xdr:col><xdr:row>-5</xdr:row>"
        "</xdr:from><xdr:to><xdr:col>20000</xdr:col><xdr:row>2000000</xdr:row></xdr:to>" +
        picture("rId1") + "</xdr:twoCellAnchor>");
    const std::vector<DrawingObject> objects = parseDrawing(xml, links.find());
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0].from.column, kMaxColumns - 1);
    EXPECT_EQ(objects[0].from.row, 0);
    EXPECT_EQ(objects[0].to.column, kMaxColumns - 1);
    EXPECT_EQ(objects[0].to.row, kMaxRows - 1);
}

TEST(DrawingParsing, DamagedXmlFails) {
    Links links;
    links.byId["rId1"].type = "image";
    const std::string good = "<xdr:oneCellAnchor>" + marker("from", 0, 0, 0, 0) +
                             "<xdr:ext cx=\"1\" cy=\"1\"/>" + picture("rId1") +
                             "</xdr:oneCellAnchor>";
    const std::string whole = drawingXml(good);
    std::string manyAttributes;
    for (int i = 0; i < 5000; ++i) {
        manyAttributes += " xmlns:p" + std::to_string(i) + "=\"urn:x\"";
    }
    const std::vector<std::string> cases = {
        whole.substr(0, whole.size() - 5),                               // cut short
        whole.substr(0, whole.find("<xdr:pic>") + 6),                    // cut inside a tag
        drawingXml(good + "</xdr:pic>"),                                 // an end tag too many
        drawingXml("<xdr:oneCellAnchor><xdr:pic></xdr:oneCellAnchor>"),  // crossed tags
        drawingXml("<xdr:oneCellAnchor><a:blip r:embed=rId1/></xdr:oneCellAnchor>"),
        drawingXml("<xdr:oneCellAnchor><xdr:from><xdr:col>&bogus;</xdr:col></xdr:from>"
                   "</xdr:oneCellAnchor>"),
        "<!DOCTYPE x [<!ENTITY a \"aaaa\">]>" + whole,
        drawingXml("<xdr:oneCellAnchor><xdr:pic>R&D</xdr:pic></xdr:oneCellAnchor>"),
        drawingXml("<xdr:oneCellAnchor><xdr:pic" + manyAttributes + "/></xdr:oneCellAnchor>"),
        drawingXml("<xdr:oneCellAnchor><xdr:pic a=\"R&D\"/></xdr:oneCellAnchor>"),
        "",
    };
    for (const std::string& xml : cases) {
        EXPECT_THROW(parseDrawing(xml, links.find()), xlsx_read::ReadFailure) << xml;
    }
}

TEST(ChartSplitting, TheTextsOfFormulaElementsComeApart) {
    DrawingPart part;
    const std::string xml =
        "<?xml version=\"1.0\"?><c:chartSpace xmlns:c=\"urn:c\"><c:tx><c:strRef>"
        "<c:f>'R&amp;D'!$B$1</c:f></c:strRef></c:tx><c:val><c:numRef><c:f>Data!$B$2:$B$5</c:f>"
        "<c:numCache><c:pt idx=\"0\"><c:v>1</c:v></c:pt></c:numCache></c:numRef></c:val>"
        "<c:f/><c:f><c:x/></c:f><c:ext><c15:f xmlns:c15=\"urn:c15\">Data!$C$1</c15:f></c:ext>"
        "</c:chartSpace>";
    splitChart(xml, part);
    EXPECT_EQ(part.formulas,
              (std::vector<std::string>{"'R&D'!$B$1", "Data!$B$2:$B$5", "Data!$C$1"}));
    ASSERT_EQ(part.pieces.size(), 4u);
    EXPECT_TRUE(part.isChart());
    EXPECT_EQ(part.bytes(), xml);
    // A text longer than any formula is no formula.
    DrawingPart huge;
    splitChart("<c:f>" + std::string(100000, 'A') + "</c:f>", huge);
    EXPECT_TRUE(huge.formulas.empty());
    EXPECT_EQ(huge.pieces.size(), 1u);
    part.formulas[1] = "Other!A1<2";
    EXPECT_NE(part.bytes().find("<c:f>Other!A1&lt;2</c:f>"), std::string::npos);

    DrawingPart broken;
    EXPECT_THROW(splitChart("<c:chartSpace><c:f>A1</c:chartSpace>", broken),
                 xlsx_read::ReadFailure);
}

// A package with one sheet whose drawing shows a picture twice and a chart with a style
// part; parts can be replaced to damage it.
TestPackage drawingPackage() {
    const std::string relsHead =
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    TestPackage package;
    package.sheet("Data", worksheetXml("<sheetData><row r=\"2\"><c r=\"B2\"><v>5</v></c></row>"
                                       "</sheetData><drawing r:id=\"rIdD\"/>"));
    package.part("[Content_Types].xml",
                 "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                 "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                 "<Default Extension=\"png\" ContentType=\"image/png\"/>"
                 "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/"
                 "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
                 "<Override PartName=\"/xl/charts/chart4.xml\" ContentType=\"application/"
                 "vnd.openxmlformats-officedocument.drawingml.chart+xml\"/>"
                 "<Override PartName=\"/xl/charts/style4.xml\" "
                 "ContentType=\"application/vnd.ms-office.chartstyle+xml\"/></Types>");
    package.part("xl/worksheets/_rels/sheet1.xml.rels",
                 relsHead + "<Relationship Id=\"rIdD\" Type=\"" + kRels +
                     "/drawing\" Target=\"../drawings/drawing9.xml\"/></Relationships>");
    package.part(
        "xl/drawings/drawing9.xml",
        drawingXml("<xdr:twoCellAnchor>" + marker("from", 1, 0, 1, 0) + marker("to", 3, 0, 6, 0) +
                   picture("rId1") + "</xdr:twoCellAnchor><xdr:oneCellAnchor>" +
                   marker("from", 4, 0, 8, 0) + "<xdr:ext cx=\"9\" cy=\"9\"/>" + picture("rId3") +
                   "</xdr:oneCellAnchor><xdr:twoCellAnchor>" + marker("from", 5, 0, 1, 0) +
                   marker("to", 9, 0, 12, 0) +
                   "<xdr:graphicFrame><a:graphic><a:graphicData><c:chart xmlns:c=\"urn:c\" "
                   "r:id=\"rId2\"/></a:graphicData></a:graphic></xdr:graphicFrame>"
                   "<xdr:clientData/></xdr:twoCellAnchor>"));
    package.part(
        "xl/drawings/_rels/drawing9.xml.rels",
        relsHead + "<Relationship Id=\"rId1\" Type=\"" + kRels +
            "/image\" Target=\"../media/image5.png\"/><Relationship Id=\"rId3\" Type=\"" + kRels +
            "/image\" Target=\"/xl/media/image5.png\"/><Relationship Id=\"rId2\" " + "Type=\"" +
            kRels + "/chart\" Target=\"../charts/chart4.xml\"/>" + "</Relationships>");
    package.part("xl/media/image5.png", std::string("\x89PNG\r\n\x1a\n\0\0picture", 17));
    package.part("xl/charts/chart4.xml",
                 "<c:chartSpace xmlns:c=\"urn:c\"><c:val><c:numRef><c:f>Data!$B$2:$B$6</c:f>"
                 "</c:numRef></c:val><c:tx><c:f>Data!$B$1</c:f></c:tx></c:chartSpace>");
    package.part("xl/charts/_rels/chart4.xml.rels",
                 relsHead +
                     "<Relationship Id=\"rIdS\" Type=\"http://schemas.microsoft.com/office/2011/"
                     "relationships/chartStyle\" Target=\"style4.xml\"/>"
                     // A chart that names itself must not send the reader round in circles.
                     "<Relationship Id=\"rIdLoop\" Type=\"urn:loop\" Target=\"chart4.xml\"/>"
                     "</Relationships>");
    package.part("xl/charts/style4.xml", "<cs:chartStyle xmlns:cs=\"urn:cs\"/>");
    return package;
}

TEST(DrawingReading, ObjectsWithTheirPartsReadWhole) {
    auto book = readXlsxFromMemory(drawingPackage().build(), "drawing.xlsx");
    const Sheet& sheet = book->sheet(0);
    const auto& objects = sheet.drawings();
    ASSERT_EQ(objects.size(), 3u);
    ASSERT_EQ(objects[0].links.size(), 1u);
    ASSERT_EQ(objects[1].links.size(), 1u);
    // One picture, named by two ids, read once.
    const auto picture = objects[0].links[0].part;
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture.get(), objects[1].links[0].part.get());
    EXPECT_EQ(picture->contentType, "image/png");
    EXPECT_EQ(picture->bytes(), std::string("\x89PNG\r\n\x1a\n\0\0picture", 17));
    EXPECT_EQ(picture->folder, "media");
    EXPECT_EQ(picture->stem, "image");
    EXPECT_EQ(picture->extension, "png");

    const auto chart = objects[2].links[0].part;
    ASSERT_TRUE(chart);
    EXPECT_EQ(chart->formulas, (std::vector<std::string>{"Data!$B$2:$B$6", "Data!$B$1"}));
    ASSERT_EQ(chart->links.size(), 1u);  // the loop is cut
    EXPECT_EQ(chart->links[0].first, "rIdS");
    EXPECT_EQ(chart->links[0].second.part->contentType, "application/vnd.ms-office.chartstyle+xml");
}

TEST(DrawingReading, ADamagedDrawingNamesTheFileAndTheSheet) {
    TestPackage package = drawingPackage();
    package.part("xl/drawings/drawing9.xml", drawingXml("<xdr:oneCellAnchor>"));
    auto book = readXlsxFromMemory(package.build(), "broken.xlsx");
    try {
        book->sheet(0).rows();
        FAIL() << "the damaged drawing was read";
    } catch (const SpreadsheetError& error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("broken.xlsx"), std::string::npos) << text;
        EXPECT_NE(text.find("Data"), std::string::npos) << text;
        EXPECT_NE(text.find("drawing9.xml"), std::string::npos) << text;
    }
}

TEST(DrawingReading, ASheetWhoseDrawingIsMissingHasNoObjects) {
    TestPackage package = drawingPackage();
    package.withoutPart("xl/drawings/drawing9.xml");
    auto book = readXlsxFromMemory(package.build(), "missing.xlsx");
    EXPECT_TRUE(book->sheet(0).drawings().empty());
    EXPECT_EQ(book->sheet(0).rows().size(), 1u);
}

std::string saved(const Workbook& book) {
    xlsx::StringSink sink;
    xlsx::XlsxWriteOptions options;
    options.created = 0;
    xlsx::writeXlsx(book, sink, options);
    return sink.bytes();
}

TEST(DrawingWriting, PartsAreNamedAfreshAndReadBackTheSame) {
    auto book = readXlsxFromMemory(drawingPackage().build(), "drawing.xlsx");
    // A second copy of the sheet: its chart is a part of its own, its picture shared.
    copySheet(book->sheet(0), *book, 1);
    const std::string bytes = saved(*book);
    auto package = xlsx_read::ZipPackage::openMemory(bytes);
    std::vector<std::string> names = package->partNames();
    auto has = [&](const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    EXPECT_TRUE(has("xl/drawings/drawing1.xml"));
    EXPECT_TRUE(has("xl/drawings/drawing2.xml"));
    EXPECT_TRUE(has("xl/media/image1.png"));
    EXPECT_FALSE(has("xl/media/image2.png"));
    EXPECT_TRUE(has("xl/charts/chart1.xml"));
    EXPECT_TRUE(has("xl/charts/chart2.xml"));
    EXPECT_TRUE(has("xl/charts/style1.xml"));
    EXPECT_TRUE(has("xl/charts/style2.xml"));
    EXPECT_TRUE(has("xl/charts/_rels/chart2.xml.rels"));

    auto back = readXlsxFromMemory(bytes, "back.xlsx");
    ASSERT_EQ(back->sheetCount(), 2);
    for (int32_t s = 0; s < 2; ++s) {
        const auto& before = book->sheet(s).drawings();
        const auto& after = back->sheet(s).drawings();
        ASSERT_EQ(after.size(), before.size()) << s;
        for (size_t i = 0; i < before.size(); ++i) {
            EXPECT_EQ(after[i].anchor, before[i].anchor);
            EXPECT_EQ(after[i].from.row, before[i].from.row);
            EXPECT_EQ(after[i].from.column, before[i].from.column);
            EXPECT_EQ(after[i].to.row, before[i].to.row);
            EXPECT_EQ(after[i].width, before[i].width);
            EXPECT_EQ(content(after[i]), content(before[i]));
            ASSERT_EQ(after[i].links.size(), before[i].links.size());
            for (size_t k = 0; k < before[i].links.size(); ++k) {
                EXPECT_EQ(after[i].links[k].part->bytes(), before[i].links[k].part->bytes());
                EXPECT_EQ(after[i].links[k].part->contentType,
                          before[i].links[k].part->contentType);
            }
        }
    }
    // The copy's chart reads the copy.
    EXPECT_EQ(back->sheet(1).drawings()[2].links[0].part->formulas,
              (std::vector<std::string>{"'Data (2)'!$B$2:$B$6", "'Data (2)'!$B$1"}));
}

TEST(DrawingWriting, AChartNamingAMissingSheetOrBookWritesRefErrors) {
    auto book = readXlsxFromMemory(drawingPackage().build(), "drawing.xlsx");
    auto& object = book->sheet(0).drawings()[2];
    auto part = std::make_shared<DrawingPart>(*object.links[0].part);
    part->formulas = {"Gone!$A$1:$A$3", "[3]Data!$B$1"};
    object.links[0].part = part;
    auto back = readXlsxFromMemory(saved(*book), "back.xlsx");
    const auto& formulas = back->sheet(0).drawings()[2].links[0].part->formulas;
    ASSERT_EQ(formulas.size(), 2u);
    EXPECT_EQ(formulas[0].find("Gone"), std::string::npos) << formulas[0];
    EXPECT_NE(formulas[0].find("#REF!"), std::string::npos) << formulas[0];
    EXPECT_NE(formulas[1].find("#REF!"), std::string::npos) << formulas[1];
}

TEST(DrawingWriting, HostileNamesOfCarriedPartsAreNotWritten) {
    auto book = readXlsxFromMemory(drawingPackage().build(), "drawing.xlsx");
    auto& object = book->sheet(0).drawings()[0];
    auto part = std::make_shared<DrawingPart>(*object.links[0].part);
    part->folder = "../../etc";
    part->stem = "x/y";
    part->extension = "p\"ng";
    object.links[0].part = part;
    const std::string bytes = saved(*book);
    auto package = xlsx_read::ZipPackage::openMemory(bytes);
    for (const std::string& name : package->partNames()) {
        EXPECT_EQ(name.find(".."), std::string::npos) << name;
        EXPECT_EQ(name.find('"'), std::string::npos) << name;
    }
    EXPECT_TRUE(package->findPart("xl/media/part1.bin"));
    EXPECT_EQ(readXlsxFromMemory(bytes, "back.xlsx")->sheet(0).drawings().size(), 3u);
}

}  // namespace
}  // namespace plyfold::engine
