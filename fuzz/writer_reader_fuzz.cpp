// The .xlsx writer against the reader: a small interpreter turns the input into a workbook
// model (cells of every type, texts with odd characters, styles, merged ranges, column
// widths, row heights, sheet names, hidden sheets, formulas, array formulas), the writer
// writes it, the reader reads it back, and every difference is a finding. The model holds
// only what a reader can give (valid UTF-8, finite numbers, values in their ranges, a visible
// active sheet), so nothing in it is changed on purpose by a save.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/common/error.h"
#include "engine/io/xlsx/xlsx_reader.h"
#include "engine/io/xlsx/xlsx_writer.h"
#include "engine/model/limits.h"
#include "engine/model/workbook.h"
#include "engine/ops/formula_lexer.h"
#include "engine/ops/formula_refs.h"
#include "fuzz/finding.h"
#include "fuzz/fuzz_input.h"
#include "tests/support/model_comparison.h"

namespace {

using namespace plyfold::engine;
using plyfold::fuzz::finding;
using plyfold::fuzz::FuzzInput;

// Pieces that texts, sheet names and format codes are made of: markup, quotes, escapes that
// look like the format's own, control characters, spaces at the ends, multi-byte characters,
// the two non-characters XML forbids.
constexpr std::string_view kTextPieces[] = {
    "a",
    "Z",
    " ",
    "  ",
    "\t",
    "\r\n",
    "\n",
    "\r",
    "&",
    "<",
    ">",
    "\"",
    "'",
    "''",
    "_x0041_",
    "_x005F_",
    "_X000d_",
    "_",
    "\x01",
    std::string_view("\0", 1),
    "\x1F",
    "\x7F",
    "\xC3\xA9",
    "\xE2\x82\xAC",
    "\xF0\x9F\x98\x80",
    "\xEF\xBF\xBE",
    "\xEF\xBF\xBF",
    "]]>",
    "=A1",
    "!",
    "#REF!",
    "0",
    "123",
    "1e5",
    "TRUE",
    "Sheet1",
    "\xE4\xB8\xAD",
};

std::string oddText(FuzzInput& in, size_t maxPieces) {
    std::string text;
    const size_t pieces = in.byte() % (maxPieces + 1);
    for (size_t i = 0; i < pieces && !in.empty(); ++i) {
        const uint8_t b = in.byte();
        if (b < 0x80) {
            text += kTextPieces[b % std::size(kTextPieces)];
        } else if (b < 0xC0) {
            text.push_back(static_cast<char>(0x20 + (b & 0x3F)));  // printable ASCII
        } else {
            text += in.text(12);  // raw bytes, made valid below
        }
    }
    // Readers give valid UTF-8 only; the writer replaces anything else on purpose.
    std::string valid;
    for (size_t i = 0; i < text.size();) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        size_t length = b0 < 0x80                  ? 1
                        : b0 >= 0xC2 && b0 <= 0xDF ? 2
                        : b0 >= 0xE0 && b0 <= 0xEF ? 3
                        : b0 >= 0xF0 && b0 <= 0xF4 ? 4
                                                   : 0;
        bool ok = length > 0 && i + length <= text.size();
        for (size_t k = 1; ok && k < length; ++k) {
            ok = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        }
        if (ok && length > 1) {
            const auto b1 = static_cast<unsigned char>(text[i + 1]);
            ok = !((b0 == 0xE0 && b1 < 0xA0) || (b0 == 0xED && b1 > 0x9F) ||
                   (b0 == 0xF0 && b1 < 0x90) || (b0 == 0xF4 && b1 > 0x8F));
        }
        if (ok) {
            valid.append(text, i, length);
            i += length;
        } else {
            ++i;
        }
    }
    return valid;
}

// Mostly near the top left, sometimes anywhere, sometimes at the sheet's far edges.
int32_t position(FuzzInput& in, int32_t limit) {
    const uint8_t kind = in.byte();
    if (kind < 200) {
        return kind % 12;
    }
    if (kind < 250) {
        return static_cast<int32_t>(in.fourBytes() % static_cast<uint32_t>(limit));
    }
    return limit - 1 - (kind - 250);
}

CellRange range(FuzzInput& in) {
    CellRef a{position(in, kMaxRows), position(in, kMaxColumns)};
    CellRef b{position(in, kMaxRows), position(in, kMaxColumns)};
    return {{std::min(a.row, b.row), std::min(a.column, b.column)},
            {std::max(a.row, b.row), std::max(a.column, b.column)}};
}

double number(FuzzInput& in) {
    double value = 0;
    switch (in.byte() % 4) {
        case 0:
            value = static_cast<int32_t>(in.fourBytes());
            break;
        case 1:
            value = static_cast<double>(static_cast<int32_t>(in.fourBytes())) / 1000.0;
            break;
        default:
            value = in.anyDouble();
            break;
    }
    // Files hold finite numbers only, and no negative zero.
    return std::isfinite(value) && value != 0 ? value : 0.0;
}

Color color(FuzzInput& in) {
    switch (in.byte() % 3) {
        case 0:
            return {};
        case 1:
            return Color::automatic();
        default:
            return Color::rgb(in.fourBytes() | 0xFF000000u);
    }
}

BorderEdge edge(FuzzInput& in) {
    BorderEdge e;
    e.style = static_cast<BorderStyle>(in.choose(14));
    if (e.style != BorderStyle::None) {
        e.color = color(in);
    }
    return e;
}

constexpr std::string_view kFormatCodes[] = {
    "General",
    "0",
    "0.00",
    "#,##0",
    "0%",
    "0.00E+00",
    "# ?/?",
    "m/d/yyyy",
    "h:mm AM/PM",
    "[h]:mm:ss",
    "@",
    "GENERAL",
    "yyyy-mm-dd",
    "[Red]0.00;[Blue]-0.00",
    "\"text\" @",
    "_(* #,##0_)",
    "[$-409]d mmmm yyyy;@",
};

uint32_t addStyle(FuzzInput& in, Workbook& book) {
    StyleTable& styles = book.styles();
    CellStyle style;
    const uint8_t parts = in.byte();
    if (parts & 1) {
        Font font;
        static constexpr const char* kNames[] = {"Calibri", "Arial", "Cambria", "Times New Roman"};
        font.name = in.flag() ? std::string(kNames[in.choose(4)]) : oddText(in, 4);
        static constexpr double kSizes[] = {11, 9.5, 1, 409, 10.25, 72, 8};
        font.size = kSizes[in.choose(7)];
        const uint8_t looks = in.byte();
        font.bold = looks & 1;
        font.italic = looks & 2;
        font.strike = looks & 4;
        font.underline = static_cast<Underline>((looks >> 3) % 5);
        font.verticalAlign = static_cast<VerticalTextAlign>((looks >> 6) % 3);
        font.color = color(in);
        font.family = in.choose(6);
        font.charset = in.flag() ? -1 : in.byte();
        static constexpr const char* kSchemes[] = {"minor", "major", ""};
        font.scheme = kSchemes[in.choose(3)];
        style.font = styles.addFont(font);
    }
    if (parts & 2) {
        Fill fill;
        fill.pattern = static_cast<PatternType>(in.choose(19));
        if (fill.pattern != PatternType::None) {
            fill.foreground = color(in);
            fill.background = color(in);
        }
        style.fill = styles.addFill(fill);
    }
    if (parts & 4) {
        Border border;
        border.left = edge(in);
        border.right = edge(in);
        border.top = edge(in);
        border.bottom = edge(in);
        border.diagonal = edge(in);
        const uint8_t diagonals = in.byte();
        border.diagonalUp = diagonals & 1;
        border.diagonalDown = diagonals & 2;
        style.border = styles.addBorder(border);
    }
    if (parts & 8) {
        const std::string code = in.flag()
                                     ? std::string(kFormatCodes[in.choose(std::size(kFormatCodes))])
                                     : oddText(in, 6);
        // An empty code is General to every reader (and shows as General).
        style.numberFormat = styles.addFormatCode(code.empty() ? "General" : code);
    }
    if (parts & 16) {
        Alignment& a = style.alignment;
        a.horizontal = static_cast<HorizontalAlign>(in.choose(8));
        a.vertical = static_cast<VerticalAlign>(in.choose(5));
        const uint8_t wraps = in.byte();
        a.wrapText = wraps & 1;
        a.shrinkToFit = wraps & 2;
        a.indent = in.choose(16);
        const uint8_t rotation = in.byte();
        a.textRotation = rotation == 255 ? 255 : rotation % 181;
        a.readingOrder = in.choose(3);
    }
    if (parts & 32) {
        const uint8_t flags = in.byte();
        style.protection = {static_cast<bool>(flags & 1), static_cast<bool>(flags & 2)};
    }
    return styles.addStyle(style);
}

constexpr std::string_view kFormulas[] = {
    "SUM(A1:B2)",
    "A1*2",
    "\"a\"&\"b\"",
    "1/0",
    "{}!A1",  // {} stands for the name of a sheet of the workbook
    "{}!$B$2:C3+SUM({}!A:B)",
    "IF(A1>0,\"yes\",\"no\")",
    "A:A",
    "1:1",
    "#REF!",
    "{1,2;3,4}",
    "NOW()",
    "\"<&>\"",
};

class Interpreter {
public:
    Interpreter(FuzzInput& in, Workbook& book) : m_in(in), m_book(book) {}

    void run() {
        const uint8_t header = m_in.byte();
        m_book.setDate1904(header & 1);
        const int sheets = 1 + (header >> 1) % 4;
        for (int i = 0; i < sheets; ++i) {
            addSheet();
        }
        m_styles.push_back(0);
        for (int steps = 0; !m_in.empty() && steps < 400; ++steps) {
            step();
        }
        // Readers drop a row with neither cells nor a height of its own (one that only
        // followed its font), so the model has none.
        for (int32_t i = 0; i < m_book.sheetCount(); ++i) {
            for (Row& row : m_book.sheet(i).mutableRows()) {
                if (row.cells.empty() && !row.customHeight && !row.hidden) {
                    row.height = 0;
                }
            }
        }
        // The writer writes a reference to a sheet the workbook lacks as #REF!, since
        // spreadsheet programs refuse such a file; a text that happens to name one is given so.
        auto exists = [this](std::string_view name) { return m_book.findSheet(name) != nullptr; };
        for (int32_t i = 0; i < m_book.sheetCount(); ++i) {
            for (Row& row : m_book.sheet(i).mutableRows()) {
                for (Cell& c : row.cells) {
                    if (c.hasFormula()) {
                        const std::string text = formulaWithMissingSheetsAsRef(
                            m_book.formulas().text(c.formulaId()), exists);
                        c.formula = m_book.formulas().intern(text) + 1;
                    }
                }
            }
        }
        // The active sheet is a visible one, as a reader gives it.
        int32_t active = m_in.choose(static_cast<uint32_t>(m_book.sheetCount()));
        while (m_book.sheet(active).visibility() != SheetVisibility::Visible) {
            active = (active + 1) % m_book.sheetCount();
        }
        m_book.setActiveSheet(active);
    }

private:
    void addSheet() {
        std::string name = m_in.flag() ? oddText(m_in, 5) : std::string();
        if (!sheetNameProblem(name).empty()) {
            name = "Sheet" + std::to_string(m_book.sheetCount() + 1);
        }
        name = m_book.uniqueSheetName(name);
        if (!sheetNameProblem(name).empty()) {
            return;
        }
        Sheet& sheet = m_book.addSheet(name);
        const uint8_t state = m_in.byte();
        // The first sheet stays visible, so one always is.
        if (m_book.sheetCount() > 1) {
            sheet.setVisibility(static_cast<SheetVisibility>(state % 3));
        }
    }

    Sheet& sheet() { return m_book.sheet(m_in.choose(static_cast<uint32_t>(m_book.sheetCount()))); }
    uint32_t style() { return m_styles[m_in.choose(static_cast<uint32_t>(m_styles.size()))]; }

    // The cell at ref made anew; an array formula anchored there goes with what it held.
    Cell& cell(Sheet& target, CellRef ref) {
        std::erase_if(target.arrayFormulas(),
                      [&](const ArrayFormula& array) { return array.range.first == ref; });
        Cell& c = target.cellAt(ref);
        c = Cell{};
        c.column = static_cast<uint16_t>(ref.column);
        return c;
    }

    void setValue(Cell& c, uint8_t kind) {
        switch (kind % 5) {
            case 0:
                c.type = CellType::Blank;
                break;
            case 1:
                c.type = CellType::Number;
                c.value.number = number(m_in);
                break;
            case 2:
                c.type = CellType::Text;
                c.value.text = m_book.strings().intern(oddText(m_in, 8));
                break;
            case 3:
                c.type = CellType::Boolean;
                c.value.boolean = m_in.flag();
                break;
            default:
                c.type = CellType::Error;
                c.value.error = static_cast<ErrorValue>(m_in.choose(8));
                break;
        }
    }

    // A formula; readers drop blanks and an "=" before one, which change nothing it means.
    std::string formulaText() {
        std::string text = m_in.flag() ? std::string(kFormulas[m_in.choose(std::size(kFormulas))])
                                       : oddText(m_in, 6);
        const std::string sheetName = formula::quotedSheetName(
            m_book.sheet(m_in.choose(static_cast<uint32_t>(m_book.sheetCount()))).name());
        for (size_t at = text.find("{}"); at != std::string::npos; at = text.find("{}", at)) {
            text.replace(at, 2, sheetName);
            at += sheetName.size();
        }
        const size_t start = text.find_first_not_of(" \n=");
        return start == std::string::npos ? "0" : text.substr(start);
    }

    void step() {
        const uint8_t op = m_in.byte();
        Sheet& target = sheet();
        switch (op % 10) {
            case 0:
            case 1:
            case 2: {  // a cell with a value
                const CellRef ref{position(m_in, kMaxRows), position(m_in, kMaxColumns)};
                Cell& c = cell(target, ref);
                setValue(c, op >> 4);
                c.style = style();
                if (c.type == CellType::Blank && c.style == 0) {
                    target.eraseCell(ref);
                }
                break;
            }
            case 3: {  // a formula with its cached result
                const CellRef ref{position(m_in, kMaxRows), position(m_in, kMaxColumns)};
                Cell& c = cell(target, ref);
                setValue(c, op >> 4);
                c.style = style();
                c.formula = m_book.formulas().intern(formulaText()) + 1;
                break;
            }
            case 4: {  // an array formula over a range, its anchor holding the formula
                const CellRange area = range(m_in);
                Cell& c = cell(target, area.first);
                setValue(c, op >> 4);
                c.formula = m_book.formulas().intern(formulaText()) + 1;
                c.flags = kArrayFormula;
                target.arrayFormulas().push_back({area});
                break;
            }
            case 5:
                m_styles.push_back(addStyle(m_in, m_book));
                break;
            case 6:
                target.merges().push_back(range(m_in));
                break;
            case 7: {  // a run of columns with a width, hidden or styled
                const int32_t first = position(m_in, kMaxColumns);
                const int32_t last = std::min(kMaxColumns - 1, first + position(m_in, kMaxColumns));
                for (const ColumnInfo& c : target.columns()) {
                    if (c.last >= first) {
                        return;  // runs are sorted and do not overlap
                    }
                }
                ColumnInfo info;
                info.first = first;
                info.last = last;
                static constexpr double kWidths[] = {0, 8.43, 0.5, 255, 30.5, 9.140625, 1e-3};
                info.width = kWidths[m_in.choose(7)];
                const uint8_t flags = m_in.byte();
                info.hidden = flags & 1;
                info.customWidth = (flags & 2) && info.width > 0;
                info.style = style();
                target.columns().push_back(info);
                break;
            }
            case 8: {  // a row's height or hiding
                Row& row = target.rowAt(position(m_in, kMaxRows));
                static constexpr float kHeights[] = {0, 15, 33.75f, 409, 0.25f, 12.75f, 1};
                row.height = kHeights[m_in.choose(7)];
                const uint8_t flags = m_in.byte();
                row.hidden = flags & 1;
                row.customHeight = (flags & 2) && row.height > 0;
                break;
            }
            default: {  // the sheet's selection and defaults
                const uint8_t what = m_in.byte();
                if (what & 1) {
                    target.setSelectedCell({position(m_in, kMaxRows), position(m_in, kMaxColumns)});
                }
                if (what & 2) {
                    static constexpr double kHeights[] = {15, 18, 12.75, 409, 0.75};
                    target.setDefaultRowHeight(kHeights[m_in.choose(5)]);
                }
                if (what & 4) {
                    static constexpr double kWidths[] = {8.43, 11.5, 20, 0.5, 100};
                    target.setDefaultColumnWidth(kWidths[m_in.choose(5)]);
                }
                break;
            }
        }
    }

    FuzzInput& m_in;
    Workbook& m_book;
    std::vector<uint32_t> m_styles;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    Workbook book;
    Interpreter(in, book).run();

    xlsx::XlsxWriteOptions options;
    options.created = 0;
    options.zip.threads = 0;
    xlsx::StringSink sink;
    std::unique_ptr<Workbook> back;
    try {
        xlsx::writeXlsx(book, sink, options);
        back = readXlsxFromMemory(sink.bytes(), "written.xlsx");
        for (int32_t i = 0; i < back->sheetCount(); ++i) {
            back->sheet(i).ensureLoaded();
        }
    } catch (const plyfold::SpreadsheetError& error) {
        finding("a workbook the model holds was not written and read back: " + error.description());
    }
    const auto differences = plyfold::test::workbookDifferences(book, *back);
    if (!differences.empty()) {
        std::string text = "the workbook read back differs from the one written:";
        for (const std::string& difference : differences) {
            text += "\n  " + difference;
        }
        finding(text);
    }
    return 0;
}
