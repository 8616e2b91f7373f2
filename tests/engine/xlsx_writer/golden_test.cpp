#include <gtest/gtest.h>

#include <charconv>
#include <map>
#include <set>

#include "engine/io/xlsx/xlsx_writer.h"
#include "engine/ops/number_format.h"
#include "tests/engine/xlsx_writer/book_description.h"
#include "tests/engine/xlsx_writer/package_inspection.h"
#include "tests/support/temp_dir.h"

namespace plyfold::test {
namespace {

using namespace plyfold::engine;
using Kind = CellDescription::Kind;

CellDescription number(CellRef ref, double value, int style = -1) {
    CellDescription c;
    c.ref = ref;
    c.number = value;
    c.style = style;
    return c;
}

CellDescription text(CellRef ref, std::string value, int style = -1) {
    CellDescription c;
    c.ref = ref;
    c.kind = Kind::Text;
    c.text = std::move(value);
    c.style = style;
    return c;
}

CellDescription boolean(CellRef ref, bool value) {
    CellDescription c;
    c.ref = ref;
    c.kind = Kind::Boolean;
    c.boolean = value;
    return c;
}

CellDescription formula(CellRef ref, std::string f, double result) {
    CellDescription c = number(ref, result);
    c.kind = Kind::NumberFormula;
    c.formula = std::move(f);
    return c;
}

CellDescription textFormula(CellRef ref, std::string f, std::string result) {
    CellDescription c = text(ref, std::move(result));
    c.kind = Kind::TextFormula;
    c.formula = std::move(f);
    return c;
}

CellDescription arrayFormula(CellRange range, std::string f, double result) {
    CellDescription c = formula(range.first, std::move(f), result);
    c.kind = Kind::ArrayFormula;
    c.arrayRange = range;
    return c;
}

CellDescription blank(CellRef ref, int style) {
    CellDescription c;
    c.ref = ref;
    c.kind = Kind::Blank;
    c.style = style;
    return c;
}

struct GoldenCase {
    const char* name;
    BookDescription book;
};

std::vector<GoldenCase> goldenCases() {
    std::vector<GoldenCase> cases;
    {
        SheetDescription s;
        s.name = "Values";
        s.cells = {number({0, 0}, 1),         number({0, 1}, -1.5),
                   number({0, 2}, 0.1),       number({0, 3}, 1e20),
                   number({0, 4}, 1e-7),      number({0, 5}, 45292.75),
                   text({1, 0}, "Hello"),     text({1, 1}, " lead"),
                   text({1, 2}, "a & b <c>"), text({1, 3}, "Hello"),
                   text({1, 4}, "trail "),    text({1, 5}, "caf\xC3\xA9 \xE2\x82\xAC"),
                   boolean({2, 0}, true),     boolean({2, 1}, false),
                   text({3, 0}, "=1+1"),  // a text that looks like a formula stays a text
                   number({6, 2}, 7)};
        cases.push_back({"numbers, texts and booleans", {{}, {s}, 0}});
    }
    {
        SheetDescription s;
        s.name = "Formulas";
        s.cells = {number({0, 0}, 2),
                   formula({0, 1}, "A1*A2", 6),
                   arrayFormula({{0, 2}, {2, 2}}, "A1:A3*2", 4),
                   number({1, 0}, 3),
                   textFormula({1, 1}, "\"a\"&\"b\"", "ab"),
                   formula({3, 1}, "SUM(A1:A2)", 5)};
        cases.push_back({"formulas with cached results", {{}, {s}, 0}});
    }
    {
        BookDescription book;
        StyleDescription bold;
        bold.bold = true;
        StyleDescription fill;
        fill.fillRgb = 0xFF0000;
        StyleDescription border;
        border.thinBorder = true;
        StyleDescription custom;
        custom.numberFormat = "0.000";
        StyleDescription builtin;
        builtin.numberFormat = "0.00";
        StyleDescription date;
        date.numberFormat = "yyyy-mm-dd";
        StyleDescription aligned;
        aligned.horizontal = HorizontalAlign::Center;
        aligned.vertical = VerticalAlign::Top;
        aligned.wrap = true;
        StyleDescription font;
        font.italic = true;
        font.fontName = "Arial";
        font.fontSize = 14;
        StyleDescription mixed;
        mixed.bold = true;
        mixed.fillRgb = 0x00B050;
        mixed.thinBorder = true;
        mixed.numberFormat = "#,##0.0;[Red]-#,##0.0";
        mixed.horizontal = HorizontalAlign::Right;
        mixed.unlocked = true;
        book.styles = {bold, fill, border, custom, builtin, date, aligned, font, mixed};
        SheetDescription s;
        s.name = "Styles";
        s.cells = {text({0, 0}, "Header", 0),
                   text({0, 1}, "Filled", 1),
                   number({0, 2}, 1, 2),
                   number({1, 0}, 1.2345, 3),
                   number({1, 1}, 2.5, 4),
                   number({1, 2}, 45292, 5),
                   text({2, 0}, "centred and wrapped", 6),
                   text({2, 1}, "Arial", 7),
                   number({2, 2}, -1234.56, 8),
                   blank({3, 3}, 0),
                   number({4, 0}, 3, 3)};
        book.sheets = {s};
        cases.push_back({"styles", book});
    }
    {
        SheetDescription s;
        s.name = "Merges";
        s.merges = {{{0, 0}, {0, 2}}, {{2, 1}, {4, 2}}};
        s.cells = {text({0, 0}, "Title"), number({2, 1}, 42)};
        cases.push_back({"merged ranges", {{}, {s}, 0}});
    }
    {
        SheetDescription s;
        s.name = "Sizes";
        s.cells = {number({0, 0}, 1), number({1, 1}, 2), number({4, 4}, 3)};
        s.columns = {{1, 2, 20}, {4, 4, 5.5}};
        s.rows = {{1, 30, false}, {3, 7.5, false}, {5, 15, true}};
        cases.push_back({"column widths and row heights", {{}, {s}, 0}});
    }
    {
        SheetDescription first;
        first.name = "First";
        first.cells = {text({0, 0}, "shared"), number({0, 1}, 1)};
        SheetDescription hidden;
        hidden.name = "Hidden sheet";
        hidden.hidden = true;
        hidden.cells = {text({0, 0}, "only here"), text({1, 0}, "shared")};
        SheetDescription third;
        third.name = "R&D 'third' one";
        third.cells = {text({2, 2}, "shared"), number({4, 2}, 5)};
        third.selection = {4, 2};
        cases.push_back({"several sheets, one hidden", {{}, {first, hidden, third}, 2}});
    }
    return cases;
}

// The shortest form of a number, so "1E+20" (printf's %.16G, which libxlsxwriter uses) and
// "1e+20" (the shortest round trip, which we write) compare equal. The cases use numbers
// that 16 digits hold exactly.
void normaliseNumber(std::string& value) {
    double parsed = 0;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), parsed);
    if (error == std::errc() && end == value.data() + value.size()) {
        char out[40];
        value.assign(out, std::to_chars(out, out + sizeof out, parsed).ptr);
    }
}

// Brings both packages to a form where only meaningful differences remain. Each step names
// a deliberate difference.
void normalise(const std::string& part, XmlNode& root) {
    if (part == "docProps/core.xml") {
        // Creation and modification times differ from run to run.
        for (XmlNode& child : root.children) {
            if (child.name == "dcterms:created" || child.name == "dcterms:modified") {
                child.text.clear();
            }
        }
    }
    if (part == "docProps/app.xml") {
        // Each names itself; the model has no company to write.
        if (XmlNode* application = root.child("Application")) {
            application->text.clear();
        }
        root.removeWhere([](const XmlNode& n) { return n.name == "Company"; });
    }
    if (part.starts_with("xl/worksheets/")) {
        root.visit([](XmlNode& node) {
            // spans is an optional hint for readers; we do not compute it.
            if (node.name == "row") {
                node.removeAttribute("spans");
            }
            if (node.name == "c" && !node.attribute("t")) {
                if (XmlNode* v = node.child("v")) {
                    normaliseNumber(v->text);
                }
            }
        });
    }
    if (part == "xl/styles.xml") {
        // libxlsxwriter writes some built-in codes (such as 0.00) as custom formats; we give
        // them their built-in ids, as spreadsheet programs do. Each format is compared by its
        // code, and only codes that are not built-in must be listed.
        std::map<std::string, std::string> codes;
        if (XmlNode* numFmts = root.child("numFmts")) {
            for (const XmlNode& numFmt : numFmts->children) {
                codes[*numFmt.attribute("numFmtId")] = *numFmt.attribute("formatCode");
            }
            std::erase_if(numFmts->children, [](const XmlNode& numFmt) {
                return builtinFormatId(*numFmt.attribute("formatCode")) >= 0;
            });
            numFmts->removeAttribute("count");
            for (XmlNode& numFmt : numFmts->children) {
                numFmt.removeAttribute("numFmtId");
            }
        }
        root.visit([&codes](XmlNode& node) {
            if (node.name != "xf") {
                return;
            }
            for (auto& [key, value] : node.attributes) {
                if (key == "numFmtId") {
                    auto it = codes.find(value);
                    value = it != codes.end() ? it->second
                                              : std::string(builtinFormatCode(std::stoi(value)));
                }
            }
        });
        // libxlsxwriter gives every font the theme's text colour; the model keeps a font
        // whose colour was never set without one (it means the same).
        root.visit([](XmlNode& node) {
            if (node.name == "font") {
                std::erase_if(node.children, [](const XmlNode& c) {
                    return c.name == "color" && c.attribute("theme") &&
                           *c.attribute("theme") == "1" && c.attributes.size() == 1;
                });
            }
        });
    }
}

// The parts of our theme that matter: its colours and its scheme fonts. The rest of the
// theme is a compact one of our own.
std::string themeEssentials(const std::string& xml) {
    XmlNode root = parseXml(xml);
    XmlNode* elements = root.child("a:themeElements");
    if (!elements) {
        return "no theme elements";
    }
    std::string out = canonicalXml(*elements->child("a:clrScheme"));
    for (const char* slot : {"a:majorFont", "a:minorFont"}) {
        const XmlNode* fonts = elements->child("a:fontScheme")->child(slot);
        out += std::string(slot) + " " + *fonts->child("a:latin")->attribute("typeface") + "\n";
    }
    return out;
}

class GoldenTest : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenTest, PartsHaveTheStructureLibxlsxwriterWrites) {
    const GoldenCase& c = GetParam();
    TempDir dir;
    const std::string reference = dir.file("reference.xlsx");
    buildWithLibxlsxwriter(c.book, reference);
    const auto expected = unzipAll(readFile(reference));

    auto workbook = buildModel(c.book);
    engine::xlsx::StringSink sink;
    engine::xlsx::writeXlsx(*workbook, sink);
    const auto actual = unzipAll(sink.bytes());

    std::set<std::string> expectedNames, actualNames;
    for (const auto& [name, bytes] : expected) {
        expectedNames.insert(name);
    }
    for (const auto& [name, bytes] : actual) {
        actualNames.insert(name);
    }
    ASSERT_EQ(actualNames, expectedNames);

    for (const auto& [name, bytes] : expected) {
        SCOPED_TRACE(name);
        const std::string& ours = actual.at(name);
        if (name == "xl/theme/theme1.xml") {
            EXPECT_EQ(themeEssentials(ours), themeEssentials(bytes));
            continue;
        }
        XmlNode want = parseXml(bytes);
        XmlNode got = parseXml(ours);
        normalise(name, want);
        normalise(name, got);
        EXPECT_EQ(canonicalXml(got), canonicalXml(want));
    }
}

std::string caseName(const ::testing::TestParamInfo<GoldenCase>& param) {
    std::string name;
    for (char ch : std::string(param.param.name)) {
        name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenTest, ::testing::ValuesIn(goldenCases()), caseName);

}  // namespace
}  // namespace plyfold::test
