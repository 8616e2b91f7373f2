#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "engine/io/workbook_io.h"
#include "engine/model/cell_ref.h"
#include "tests/support/temp_dir.h"

namespace plyfold::engine {
namespace {

constexpr const char* kPython = "/usr/bin/python3";

// Prints what openpyxl reads, one fact a line, texts as hex of their UTF-8 bytes.
constexpr const char* kScript = R"(import sys
import openpyxl
def hx(text):
    return text.encode('utf-8').hex() or '-'
path = sys.argv[1]
formulas = openpyxl.load_workbook(path)
values = openpyxl.load_workbook(path, data_only=True)
print('A', formulas.sheetnames.index(formulas.active.title))
for ws, wv in zip(formulas.worksheets, values.worksheets):
    print('S', hx(ws.title), ws.sheet_state)
    for row in ws.iter_rows():
        for cell in row:
            v = cell.value
            cached = wv[cell.coordinate].value
            if v is None:
                continue
            if cell.data_type == 'f':
                print('F', hx(ws.title), cell.coordinate, hx(v), repr(cached))
            elif cell.data_type == 'b':
                print('B', hx(ws.title), cell.coordinate, int(v))
            elif cell.data_type == 'e':
                print('E', hx(ws.title), cell.coordinate, v)
            elif cell.data_type == 's':
                print('T', hx(ws.title), cell.coordinate, hx(v))
            elif cell.data_type == 'n':
                print('N', hx(ws.title), cell.coordinate, repr(float(v)))
            if cell.font.b:
                print('BOLD', hx(ws.title), cell.coordinate)
            if cell.number_format != 'General':
                print('FMT', hx(ws.title), cell.coordinate, hx(cell.number_format))
    for merged in ws.merged_cells.ranges:
        print('M', hx(ws.title), merged.coord)
    for letter, dim in ws.column_dimensions.items():
        if dim.customWidth:
            print('W', hx(ws.title), letter, repr(dim.width))
    for index, dim in ws.row_dimensions.items():
        if dim.ht is not None or dim.hidden:
            print('H', hx(ws.title), index, repr(dim.ht), int(bool(dim.hidden)))
)";

std::string hex(std::string_view text) {
    if (text.empty()) {
        return "-";
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : text) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

bool haveOpenpyxl() {
    if (!std::filesystem::exists(kPython)) {
        return false;
    }
    std::string command = std::string(kPython) + " -c 'import openpyxl' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

std::vector<std::string> runOpenpyxl(const plyfold::test::TempDir& dir, const std::string& path) {
    const std::string script = dir.file("read.py");
    plyfold::test::writeFile(script, kScript);
    const std::string command = std::string(kPython) + " " + script + " " + path + " 2>&1";
    std::vector<std::string> lines;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return lines;
    }
    char buffer[65536];
    std::string current;
    while (fgets(buffer, sizeof buffer, pipe)) {
        current += buffer;
        if (!current.empty() && current.back() == '\n') {
            current.pop_back();
            lines.push_back(current);
            current.clear();
        }
    }
    EXPECT_EQ(pclose(pipe), 0) << "openpyxl failed";
    return lines;
}

Cell& put(Sheet& sheet, CellRef ref, CellType type) {
    Cell& cell = sheet.cellAt(ref);
    cell.type = type;
    return cell;
}

std::string exact(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

TEST(Openpyxl, ReadsWhatWasWritten) {
    if (!haveOpenpyxl()) {
        GTEST_SKIP() << "/usr/bin/python3 has no openpyxl";
    }
    Workbook book;
    Font boldFont;
    boldFont.bold = true;
    CellStyle bold;
    bold.font = book.styles().addFont(boldFont);
    const uint32_t boldStyle = book.styles().addStyle(bold);
    CellStyle percent;
    percent.numberFormat = book.styles().addFormatCode("0.000%");
    const uint32_t percentStyle = book.styles().addStyle(percent);

    Sheet& data = book.addSheet("Daten & \xC3\xBC");
    Sheet& hidden = book.addSheet("Hidden");
    hidden.setVisibility(SheetVisibility::Hidden);
    book.setActiveSheet(0);

    std::vector<std::string> expected;
    const std::string dataName = hex(data.name());
    expected.push_back("A 0");
    expected.push_back("S " + dataName + " visible");
    auto text = [&](CellRef ref, std::string_view value, uint32_t style = 0) {
        Cell& cell = put(data, ref, CellType::Text);
        cell.value.text = book.strings().intern(value);
        cell.style = style;
    };
    text({0, 0}, "Header", boldStyle);
    text({0, 1}, " padded ");
    text({0, 2}, "=1+2");
    text({0, 3}, "\xE2\x82\xAC line\nbreak");
    Cell& number = put(data, {1, 0}, CellType::Number);
    number.value.number = 0.1 + 0.2;
    number.style = percentStyle;
    put(data, {1, 1}, CellType::Number).value.number = -123456789.25;
    put(data, {1, 2}, CellType::Boolean).value.boolean = true;
    put(data, {1, 3}, CellType::Error).value.error = ErrorValue::Div0;
    Cell& formula = put(data, {2, 0}, CellType::Number);
    formula.value.number = 42;
    formula.formula = book.formulas().intern("SUM(A2:B2)") + 1;
    Cell& textFormula = put(data, {2, 1}, CellType::Text);
    textFormula.value.text = book.strings().intern("ab");
    textFormula.formula = book.formulas().intern("\"a\"&\"b\"") + 1;
    data.merges().push_back({{4, 0}, {5, 2}});
    data.columns().push_back(ColumnInfo{1, 1, 25.5, false, true, 0});
    Row& tall = data.rowAt(1);
    tall.height = 30;
    tall.customHeight = true;
    Row& hiddenRow = data.rowAt(3);
    hiddenRow.hidden = true;

    put(hidden, {0, 0}, CellType::Number).value.number = 7;

    // What openpyxl must see, in the order the script prints it.
    expected.push_back("T " + dataName + " A1 " + hex("Header"));
    expected.push_back("BOLD " + dataName + " A1");
    expected.push_back("T " + dataName + " B1 " + hex(" padded "));
    expected.push_back("T " + dataName + " C1 " + hex("=1+2"));
    expected.push_back("T " + dataName + " D1 " + hex("\xE2\x82\xAC line\nbreak"));
    expected.push_back("N " + dataName + " A2 NUMBER " + exact(0.1 + 0.2));
    expected.push_back("FMT " + dataName + " A2 " + hex("0.000%"));
    expected.push_back("N " + dataName + " B2 NUMBER " + exact(-123456789.25));
    expected.push_back("B " + dataName + " C2 1");
    expected.push_back("E " + dataName + " D2 #DIV/0!");
    expected.push_back("F " + dataName + " A3 " + hex("=SUM(A2:B2)") + " NUMBER 42");
    expected.push_back("F " + dataName + " B3 " + hex("=\"a\"&\"b\"") + " 'ab'");
    expected.push_back("M " + dataName + " A5:C6");
    expected.push_back("W " + dataName + " B NUMBER 25.5");
    expected.push_back("H " + dataName + " 2 NUMBER 30 0");
    expected.push_back("H " + dataName + " 4 None 1");
    expected.push_back("S " + hex("Hidden") + " hidden");
    expected.push_back("N " + hex("Hidden") + " A1 NUMBER 7");

    plyfold::test::TempDir dir;
    const std::string path = dir.file("for openpyxl.xlsx");
    saveWorkbook(book, path);
    const std::string quoted = "'" + path + "'";
    const auto lines = runOpenpyxl(dir, quoted);

    ASSERT_EQ(lines.size(), expected.size()) << [&] {
        std::string all;
        for (const auto& l : lines) {
            all += l + "\n";
        }
        return all;
    }();
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& want = expected[i];
        const size_t marker = want.find("NUMBER ");
        if (marker == std::string::npos) {
            EXPECT_EQ(lines[i], want);
            continue;
        }
        // Numbers compare as numbers: Python prints its own shortest form.
        EXPECT_EQ(lines[i].substr(0, marker), want.substr(0, marker));
        std::istringstream got(lines[i].substr(marker)), wanted(want.substr(marker + 7));
        double gotNumber = 0, wantedNumber = 0;
        got >> gotNumber;
        wanted >> wantedNumber;
        EXPECT_EQ(gotNumber, wantedNumber) << lines[i];
        std::string gotRest, wantedRest;
        std::getline(got, gotRest);
        std::getline(wanted, wantedRest);
        EXPECT_EQ(gotRest, wantedRest) << lines[i];
    }
}

}  // namespace
}  // namespace plyfold::engine
