#include "engine/io/xls/biff_formula.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>

#include "engine/common/byte_order.h"
#include "engine/common/code_page.h"
#include "engine/io/xls/biff_functions.h"
#include "engine/model/cell.h"
#include "engine/ops/formula_lexer.h"

namespace plyfold::engine::xls {
namespace {

constexpr int32_t kBiffRows = 65536;
constexpr int32_t kBiffColumns = 256;

// How tightly an operand binds, so that an operator whose operand binds less tightly puts it
// in parentheses (tokens written without parenthesis tokens still read right).
enum Precedence : int {
    kComparison = 1,
    kConcatenation,
    kAddition,
    kMultiplication,
    kPower,
    kPercent,
    kUnary,
    kUnion,
    kIntersection,
    kRange,
    kAtom,
};

struct Operand {
    std::string text;
    int precedence = kAtom;
    bool isName = false;  // a defined or external name, which may name a function
};

struct BinaryOperator {
    const char* text;
    int precedence;
};

// The binary operators by token number 0x03 to 0x11.
constexpr BinaryOperator kBinary[] = {
    {"+", kAddition},     {"-", kAddition},      {"*", kMultiplication}, {"/", kMultiplication},
    {"^", kPower},        {"&", kConcatenation}, {"<", kComparison},     {"<=", kComparison},
    {"=", kComparison},   {">=", kComparison},   {">", kComparison},     {"<>", kComparison},
    {" ", kIntersection}, {",", kUnion},         {":", kRange},
};

std::string errorCodeText(uint8_t code) {
    switch (code) {
        case 0x00:
            return "#NULL!";
        case 0x07:
            return "#DIV/0!";
        case 0x0F:
            return "#VALUE!";
        case 0x17:
            return "#REF!";
        case 0x1D:
            return "#NAME?";
        case 0x24:
            return "#NUM!";
        case 0x2A:
            return "#N/A";
        case 0x2B:
            return "#GETTING_DATA";
        default:
            return {};
    }
}

std::string quotedText(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        out.push_back(c);
        if (c == '"') {
            out.push_back('"');
        }
    }
    out.push_back('"');
    return out;
}

// The functions newer than the format that .xlsx files name without "_xlfn.".
bool isUnprefixedNewFunction(std::string_view name) {
    static constexpr std::string_view kNames[] = {
        "AVERAGEIF",    "AVERAGEIFS",         "COUNTIFS",         "CUBEKPIMEMBER",
        "CUBEMEMBER",   "CUBEMEMBERPROPERTY", "CUBERANKEDMEMBER", "CUBESET",
        "CUBESETCOUNT", "CUBEVALUE",          "IFERROR",          "SUMIFS",
    };
    for (std::string_view known : kNames) {
        if (name.size() == known.size() &&
            std::equal(name.begin(), name.end(), known.begin(),
                       [](char a, char b) { return (a & ~0x20) == (b & ~0x20); })) {
            return true;
        }
    }
    return false;
}

// Reads the token stream and the constants after it, never past either's end.
class Decompiler {
public:
    Decompiler(std::string_view tokens, std::string_view extra, CellRef at,
               const BiffFormulaLinks& links, int32_t sheet)
        : m_tokens(tokens),
          m_extra(extra),
          m_at(at),
          m_links(links),
          m_biff8(links.biff8),
          m_sheet(sheet) {}

    std::optional<std::string> run() {
        while (m_pos < m_tokens.size()) {
            if (!token()) {
                return std::nullopt;
            }
        }
        if (m_stack.size() != 1) {
            return std::nullopt;
        }
        return std::move(m_stack.back().text);
    }

    size_t extraRead() const { return m_extraPos; }

private:
    bool has(size_t count) const { return m_tokens.size() - m_pos >= count; }
    uint8_t u8() { return byteAt(m_tokens, m_pos++); }
    uint16_t u16() {
        const uint16_t value = le16(m_tokens, m_pos);
        m_pos += 2;
        return value;
    }

    void push(std::string text, int precedence = kAtom) {
        m_stack.push_back({std::move(text), precedence, false});
    }
    // A name of the workbook's NAME table; one scoped to a sheet other than the formula's is
    // written with its sheet (Data!Rate).
    bool pushWorkbookName(size_t index) {
        const int32_t sheet = index < m_links.nameSheets.size() ? m_links.nameSheets[index] : -1;
        if (sheet < 0 || sheet == m_sheet ||
            static_cast<size_t>(sheet) >= m_links.sheetNames.size() ||
            m_links.names[index].empty()) {
            return pushName(m_links.names[index]);
        }
        return pushName(formula::quotedSheetName(m_links.sheetNames[static_cast<size_t>(sheet)]) +
                        "!" + m_links.names[index]);
    }

    // False for the empty name a damaged NAME record leaves.
    bool pushName(std::string text) {
        if (text.empty()) {
            return false;
        }
        m_stack.push_back({std::move(text), kAtom, true});
        return true;
    }
    bool pop(Operand& operand) {
        if (m_stack.empty()) {
            return false;
        }
        operand = std::move(m_stack.back());
        m_stack.pop_back();
        return true;
    }

    static std::string wrapped(const Operand& operand, bool needed) {
        return needed ? "(" + operand.text + ")" : operand.text;
    }

    bool token() {
        const uint8_t ptg = u8();
        if (ptg >= 0x03 && ptg <= 0x11) {
            return binary(kBinary[ptg - 0x03]);
        }
        switch (ptg) {
            case 0x12:
            case 0x13: {
                Operand operand;
                if (!pop(operand)) {
                    return false;
                }
                push((ptg == 0x12 ? "+" : "-") + wrapped(operand, operand.precedence < kUnary),
                     kUnary);
                return true;
            }
            case 0x14: {
                Operand operand;
                if (!pop(operand)) {
                    return false;
                }
                push(wrapped(operand, operand.precedence < kPercent) + "%", kPercent);
                return true;
            }
            case 0x15: {
                Operand operand;
                if (!pop(operand)) {
                    return false;
                }
                push("(" + operand.text + ")");
                return true;
            }
            case 0x16:
                push({});
                return true;
            case 0x17:
                return string();
            case 0x19:
                return attribute();
            case 0x1C: {
                if (!has(1)) {
                    return false;
                }
                std::string text = errorCodeText(u8());
                if (text.empty()) {
                    return false;
                }
                push(std::move(text));
                return true;
            }
            case 0x1D:
                if (!has(1)) {
                    return false;
                }
                push(u8() ? "TRUE" : "FALSE");
                return true;
            case 0x1E:
                if (!has(2)) {
                    return false;
                }
                push(std::to_string(u16()));
                return true;
            case 0x1F: {
                if (!has(8)) {
                    return false;
                }
                const double value = leDouble(m_tokens, m_pos);
                m_pos += 8;
                if (!std::isfinite(value)) {
                    return false;
                }
                // A negative constant is the negation of a positive one in formulas.
                push(formulaNumberText(value), value < 0 ? kUnary : kAtom);
                return true;
            }
            default:
                break;
        }
        if (ptg < 0x20 || ptg >= 0x80) {
            return false;  // the control tokens that begin a formula, and the ones it never holds
        }
        return operandOrFunction(static_cast<uint8_t>((ptg & 0x1F) | 0x20));
    }

    bool binary(const BinaryOperator& op) {
        Operand right;
        Operand left;
        if (!pop(right) || !pop(left)) {
            return false;
        }
        // Operators of one precedence read from left to right: a right operand of the same
        // precedence was computed first, so it keeps its parentheses.
        push(wrapped(left, left.precedence < op.precedence) + op.text +
                 wrapped(right, right.precedence <= op.precedence),
             op.precedence);
        return true;
    }

    bool string() {
        if (!has(m_biff8 ? 2 : 1)) {
            return false;
        }
        const size_t count = u8();
        std::string text;
        if (!m_biff8) {
            if (!has(count)) {
                return false;
            }
            eightBitText(m_tokens.substr(m_pos, count), text);
            m_pos += count;
        } else if (!characters(m_tokens, m_pos, count, (u8() & 0x01) != 0, text)) {
            return false;
        }
        push(quotedText(text));
        return true;
    }

    // Text of BIFF5, in the workbook's code page.
    void eightBitText(std::string_view bytes, std::string& out) {
        if (!m_codePage) {
            m_codePage = std::make_unique<dbf::CodePageConverter>(m_links.codePage);
        }
        m_codePage->appendUtf8(out, bytes);
    }

    // count characters at `at` of bytes, one or two bytes wide, as UTF-8.
    static bool characters(std::string_view bytes, size_t& at, size_t count, bool wide,
                           std::string& out) {
        const size_t size = count * (wide ? 2 : 1);
        if (bytes.size() - at < size) {
            return false;
        }
        for (size_t i = 0; i < count; ++i) {
            uint32_t c = wide ? le16(bytes, at + 2 * i) : byteAt(bytes, at + i);
            if (wide && c >= 0xD800 && c < 0xDC00 && i + 1 < count) {
                const uint32_t low = le16(bytes, at + 2 * (i + 1));
                if (low >= 0xDC00 && low < 0xE000) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                }
            } else if (c >= 0xD800 && c < 0xE000) {
                c = 0xFFFD;
            }
            appendUtf8(c, out);
        }
        at += size;
        return true;
    }

    static void appendUtf8(uint32_t c, std::string& out) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | c >> 6));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | c >> 12));
            out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | c >> 18));
            out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }

    bool attribute() {
        if (!has(3)) {
            return false;
        }
        const uint8_t kind = u8();
        const uint16_t data = u16();
        if (kind & 0x04) {  // CHOOSE: a table of jumps follows
            const size_t size = (static_cast<size_t>(data) + 1) * 2;
            if (!has(size)) {
                return false;
            }
            m_pos += size;
            return true;
        }
        if (kind & 0x10) {  // SUM of one argument
            Operand operand;
            if (!pop(operand)) {
                return false;
            }
            push("SUM(" + operand.text + ")");
        }
        // IF and GOTO jumps, volatile marks and spaces change nothing in the text.
        return true;
    }

    bool operandOrFunction(uint8_t base) {
        switch (base) {
            case 0x20:
                return array();
            case 0x21: {
                if (!has(2)) {
                    return false;
                }
                const BiffFunction* function = biffFunction(u16());
                if (!function || function->argumentCount < 0) {
                    return false;
                }
                return call(function->name, static_cast<size_t>(function->argumentCount));
            }
            case 0x22: {
                if (!has(3)) {
                    return false;
                }
                // BIFF5 keeps a prompt flag in the count's high bit.
                const size_t count = u8() & (m_biff8 ? 0xFF : 0x7F);
                const uint16_t tab = u16();
                if (tab & 0x8000) {
                    return false;  // a macro command
                }
                if (tab == 0xFF) {
                    return userCall(count);
                }
                const BiffFunction* function = biffFunction(tab);
                return function && call(function->name, count);
            }
            case 0x23: {
                if (!has(m_biff8 ? 4 : 14)) {
                    return false;
                }
                const uint32_t index = m_biff8 ? le32(m_tokens, m_pos) : le16(m_tokens, m_pos);
                m_pos += m_biff8 ? 4 : 14;
                if (index == 0 || index > m_links.names.size()) {
                    return false;
                }
                return pushWorkbookName(index - 1);
            }
            case 0x24:
            case 0x2C:
                return cell(base == 0x2C, {});
            case 0x25:
            case 0x2D:
                return area(base == 0x2D, {});
            case 0x26:  // the tokens that follow compute the reference; these only say so
            case 0x27:
            case 0x28:
                if (!has(6)) {
                    return false;
                }
                m_pos += 6;
                return true;
            case 0x29:
            case 0x2E:
                if (!has(2)) {
                    return false;
                }
                m_pos += 2;
                return true;
            case 0x2A:
            case 0x2B: {
                const size_t size = base == 0x2A ? cellSize() : areaSize();
                if (!has(size)) {
                    return false;
                }
                m_pos += size;
                push("#REF!");
                return true;
            }
            case 0x39:
                return m_biff8 && externalName();
            case 0x3A:
            case 0x3B:
            case 0x3C:
            case 0x3D: {
                bool deleted = false;
                std::optional<std::string> prefix;
                if (m_biff8) {
                    if (!has(2)) {
                        return false;
                    }
                    prefix = sheetPrefix(u16(), deleted);
                } else {
                    prefix = biff5SheetPrefix(deleted);
                }
                if (!prefix) {
                    return false;
                }
                if (deleted) {
                    // A reference into a sheet that is gone reads #REF! whatever its cells.
                    const size_t size = base == 0x3A || base == 0x3C ? cellSize() : areaSize();
                    if (!has(size)) {
                        return false;
                    }
                    m_pos += size;
                    push("#REF!");
                    return true;
                }
                if (base == 0x3A) {
                    return cell(false, *prefix);
                }
                if (base == 0x3B) {
                    return area(false, *prefix);
                }
                const size_t size = base == 0x3C ? cellSize() : areaSize();
                if (!has(size)) {
                    return false;
                }
                m_pos += size;
                push("#REF!");  // as a sheet-less #REF!, which every reader takes
                return true;
            }
            default:
                return false;
        }
    }

    bool call(std::string_view name, size_t count) {
        if (m_stack.size() < count) {
            return false;
        }
        std::string text(name);
        text.push_back('(');
        for (size_t i = m_stack.size() - count; i < m_stack.size(); ++i) {
            if (i != m_stack.size() - count) {
                text.push_back(',');
            }
            // A union as an argument needs parentheses, or its comma would part arguments.
            text += wrapped(m_stack[i], m_stack[i].precedence == kUnion);
        }
        text.push_back(')');
        m_stack.resize(m_stack.size() - count);
        push(std::move(text));
        return true;
    }

    // A function not built in: its name is the first argument (an add-in's or a macro's).
    bool userCall(size_t count) {
        if (count == 0 || m_stack.size() < count) {
            return false;
        }
        Operand& name = m_stack[m_stack.size() - count];
        if (!name.isName) {
            return false;
        }
        std::string callee = std::move(name.text);
        // Functions that came after the format keep their prefix, except those the newer
        // files write without one.
        static constexpr std::string_view kPrefix = "_xlfn.";
        if (callee.starts_with(kPrefix) && isUnprefixedNewFunction(callee.substr(kPrefix.size()))) {
            callee.erase(0, kPrefix.size());
        }
        m_stack.erase(m_stack.end() - static_cast<std::ptrdiff_t>(count));
        return call(callee, count - 1);
    }

    bool externalName() {
        if (!has(6)) {
            return false;
        }
        const uint16_t run = u16();
        const uint32_t index = le32(m_tokens, m_pos);
        m_pos += 4;
        if (run >= m_links.sheetRuns.size() ||
            m_links.sheetRuns[run].book >= m_links.books.size() || index == 0) {
            return false;
        }
        const BiffFormulaLinks::Book& book = m_links.books[m_links.sheetRuns[run].book];
        switch (book.kind) {
            case BiffFormulaLinks::Book::Kind::Self:
                if (index > m_links.names.size()) {
                    return false;
                }
                return pushWorkbookName(index - 1);
            case BiffFormulaLinks::Book::Kind::AddIn:
                if (index > book.names.size()) {
                    return false;
                }
                return pushName(book.names[index - 1]);
            case BiffFormulaLinks::Book::Kind::External:
                if (index > book.names.size()) {
                    return false;
                }
                pushName("[" + std::to_string(book.externalIndex + 1) + "]!" +
                         book.names[index - 1]);
                return true;
            case BiffFormulaLinks::Book::Kind::Other:
                break;
        }
        return false;
    }

    // "Sheet1!", "'A b:C'!", "[1]Sheet1!" for an EXTERNSHEET index; deleted when the entry
    // names a sheet that is no longer there.
    std::optional<std::string> sheetPrefix(uint16_t index, bool& deleted) const {
        if (index == 0xFFFF && index >= m_links.sheetRuns.size() && m_sheet >= 0 &&
            static_cast<size_t>(m_sheet) < m_links.sheetNames.size()) {
            // Some writers give the sheet of a name scoped to it as 0xFFFF, outside the table.
            const auto own = static_cast<size_t>(m_sheet);
            return sheetRangePrefix(m_links.sheetNames, own, own, {});
        }
        if (index >= m_links.sheetRuns.size()) {
            return std::nullopt;
        }
        const BiffFormulaLinks::SheetRun& run = m_links.sheetRuns[index];
        if (run.book >= m_links.books.size()) {
            return std::nullopt;
        }
        const BiffFormulaLinks::Book& book = m_links.books[run.book];
        const std::vector<std::string>* sheets = nullptr;
        std::string bookPrefix;
        if (book.kind == BiffFormulaLinks::Book::Kind::Self) {
            sheets = &m_links.sheetNames;
        } else if (book.kind == BiffFormulaLinks::Book::Kind::External) {
            sheets = &book.sheets;
            bookPrefix = "[" + std::to_string(book.externalIndex + 1) + "]";
        } else {
            return std::nullopt;
        }
        if (run.first == 0xFFFF || run.last == 0xFFFF || run.first >= sheets->size() ||
            run.last >= sheets->size()) {
            deleted = true;
            return std::string();
        }
        return sheetRangePrefix(*sheets, run.first, run.last, bookPrefix);
    }

    // The sheets of a BIFF5 3-D reference: the workbook's own, by their indexes (a reference
    // into another workbook is not read).
    std::optional<std::string> biff5SheetPrefix(bool& deleted) {
        if (!has(14)) {
            return std::nullopt;
        }
        const auto book = static_cast<int16_t>(u16());
        m_pos += 8;
        const uint16_t first = u16();
        const uint16_t last = u16();
        if (book >= 0) {
            return std::nullopt;
        }
        if (first >= m_links.sheetNames.size() || last >= m_links.sheetNames.size()) {
            deleted = true;
            return std::string();
        }
        return sheetRangePrefix(m_links.sheetNames, first, last, {});
    }

    static std::string sheetRangePrefix(const std::vector<std::string>& sheets, size_t first,
                                        size_t last, const std::string& bookPrefix) {
        std::string names = sheets[first];
        if (last != first) {
            names += ":" + sheets[last];
        }
        const bool plain = formula::quotedSheetName(sheets[first]).front() != '\'' &&
                           formula::quotedSheetName(sheets[last]).front() != '\'';
        // A run of plain names stands bare (Q1:Q4 is quoted as a name, not for its colon).
        std::string quoted = last != first && plain ? names : formula::quotedSheetName(names);
        if (!bookPrefix.empty()) {
            // The book's number goes inside the quotes: '[1]My Sheet'!A1.
            quoted =
                quoted.front() == '\'' ? "'" + bookPrefix + quoted.substr(1) : bookPrefix + quoted;
        }
        return quoted + "!";
    }

    struct End {
        int32_t row = 0;
        int32_t column = 0;
        bool relativeRow = false;
        bool relativeColumn = false;
    };

    // The size of a cell's row and column fields, and of an area's.
    size_t cellSize() const { return m_biff8 ? 4 : 3; }
    size_t areaSize() const { return m_biff8 ? 8 : 6; }

    // A row and a column field of a reference; relative parts of the tokens of shared formulas
    // and names are distances from the cell the formula is read at. BIFF8 keeps the flags
    // with the column, BIFF5 with the row (whose rows are 14 bits).
    End end(uint16_t row, uint16_t column, bool fromCell) const {
        End e;
        const uint16_t flags = m_biff8 ? column : row;
        e.relativeRow = (flags & 0x8000) != 0;
        e.relativeColumn = (flags & 0x4000) != 0;
        e.row = m_biff8 ? row : row & 0x3FFF;
        e.column = m_biff8 ? column & 0x3FFF : column & 0xFF;
        if (fromCell && e.relativeRow) {
            const int32_t distance =
                m_biff8 ? static_cast<int16_t>(row) : ((row & 0x3FFF) ^ 0x2000) - 0x2000;
            e.row = (m_at.row + distance) & (m_biff8 ? kBiffRows - 1 : 0x3FFF);
        }
        if (fromCell && e.relativeColumn) {
            e.column = (m_at.column + static_cast<int8_t>(column & 0xFF)) & (kBiffColumns - 1);
        }
        return e;
    }

    static std::string columnText(const End& e) {
        return (e.relativeColumn ? "" : "$") + columnName(e.column);
    }
    static std::string rowText(const End& e) {
        return (e.relativeRow ? "" : "$") + std::to_string(e.row + 1);
    }

    uint16_t columnField() { return m_biff8 ? u16() : u8(); }

    bool cell(bool fromCell, const std::string& prefix) {
        if (!has(cellSize())) {
            return false;
        }
        const uint16_t row = u16();
        const uint16_t column = columnField();
        const End e = end(row, column, fromCell);
        if (e.column >= kBiffColumns) {
            return false;
        }
        push(prefix + columnText(e) + rowText(e));
        return true;
    }

    bool area(bool fromCell, const std::string& prefix) {
        if (!has(areaSize())) {
            return false;
        }
        const uint16_t firstRow = u16();
        const uint16_t lastRow = u16();
        const uint16_t firstColumn = columnField();
        const uint16_t lastColumn = columnField();
        const End first = end(firstRow, firstColumn, fromCell);
        const End last = end(lastRow, lastColumn, fromCell);
        if (first.column >= kBiffColumns || last.column >= kBiffColumns) {
            return false;
        }
        // Every row (or column) of the sheet is how the format stores whole columns (rows),
        // which read as such: A:A reaches every row of a larger sheet too.
        const int32_t sheetEnd = m_biff8 ? kBiffRows - 1 : 0x3FFF;
        if (first.row == 0 && last.row == sheetEnd) {
            push(prefix + columnText(first) + ":" + columnText(last));
        } else if (first.column == 0 && last.column == kBiffColumns - 1) {
            push(prefix + rowText(first) + ":" + rowText(last));
        } else {
            push(prefix + columnText(first) + rowText(first) + ":" + columnText(last) +
                 rowText(last));
        }
        return true;
    }

    bool array() {
        if (!has(7)) {
            return false;
        }
        m_pos += 7;
        if (m_extra.size() - m_extraPos < 3) {
            return false;
        }
        const size_t columns = static_cast<size_t>(byteAt(m_extra, m_extraPos)) + 1;
        const size_t rows = static_cast<size_t>(le16(m_extra, m_extraPos + 1)) + 1;
        m_extraPos += 3;
        std::string text = "{";
        for (size_t r = 0; r < rows; ++r) {
            for (size_t c = 0; c < columns; ++c) {
                if (c) {
                    text.push_back(',');
                } else if (r) {
                    text.push_back(';');
                }
                if (!constant(text)) {
                    return false;
                }
            }
        }
        text.push_back('}');
        push(std::move(text));
        return true;
    }

    bool constant(std::string& out) {
        if (m_extra.size() - m_extraPos < 1) {
            return false;
        }
        const uint8_t kind = byteAt(m_extra, m_extraPos++);
        if (kind == 0x02 && !m_biff8) {
            if (m_extra.size() - m_extraPos < 1) {
                return false;
            }
            const size_t count = byteAt(m_extra, m_extraPos++);
            if (m_extra.size() - m_extraPos < count) {
                return false;
            }
            std::string text;
            eightBitText(m_extra.substr(m_extraPos, count), text);
            m_extraPos += count;
            out += quotedText(text);
            return true;
        }
        if (kind == 0x02) {
            if (m_extra.size() - m_extraPos < 3) {
                return false;
            }
            const size_t count = le16(m_extra, m_extraPos);
            const bool wide = (byteAt(m_extra, m_extraPos + 2) & 0x01) != 0;
            m_extraPos += 3;
            std::string text;
            if (!characters(m_extra, m_extraPos, count, wide, text)) {
                return false;
            }
            out += quotedText(text);
            return true;
        }
        if (m_extra.size() - m_extraPos < 8) {
            return false;
        }
        const std::string_view value = m_extra.substr(m_extraPos, 8);
        m_extraPos += 8;
        switch (kind) {
            case 0x00:
                return true;  // an empty element
            case 0x01: {
                const double number = leDouble(value, 0);
                if (!std::isfinite(number)) {
                    return false;
                }
                out += formulaNumberText(number);
                return true;
            }
            case 0x04:
                out += byteAt(value, 0) ? "TRUE" : "FALSE";
                return true;
            case 0x10: {
                std::string text = errorCodeText(byteAt(value, 0));
                out += text;
                return !text.empty();
            }
            default:
                return false;
        }
    }

    std::string_view m_tokens;
    std::string_view m_extra;
    CellRef m_at;
    const BiffFormulaLinks& m_links;
    const bool m_biff8;
    const int32_t m_sheet;
    std::unique_ptr<dbf::CodePageConverter> m_codePage;  // made for the first 8-bit text
    size_t m_pos = 0;
    size_t m_extraPos = 0;
    std::vector<Operand> m_stack;
};

}  // namespace

bool errorOfBiffCode(uint8_t code, ErrorValue& error) {
    const std::string text = errorCodeText(code);
    return !text.empty() && parseErrorText(text, error);
}

std::string formulaNumberText(double value) {
    // The shortest digits that read back as the value, then written out in full for numbers
    // of ordinary size (1000000, 0.0025) and with an exponent for the others (1E+15, 1E-06).
    char buffer[40];
    auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    if (error != std::errc()) {
        return "0";
    }
    const std::string text(buffer, end);
    const size_t e = text.find('e');
    std::string digits;
    for (size_t i = 0; i < e; ++i) {
        if (text[i] >= '0' && text[i] <= '9') {
            digits.push_back(text[i]);
        }
    }
    const bool negative = text.front() == '-';
    const int exponent = std::stoi(text.substr(e + 1));
    std::string out = negative ? "-" : "";
    if (exponent >= 15 || exponent < -5) {
        out += digits.substr(0, 1);
        if (digits.size() > 1) {
            out += "." + digits.substr(1);
        }
        const std::string power = std::to_string(exponent < 0 ? -exponent : exponent);
        out += std::string(exponent < 0 ? "E-" : "E+") + (power.size() < 2 ? "0" : "") + power;
        return out;
    }
    if (exponent < 0) {
        return out + "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    }
    const size_t whole = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= whole) {
        return out + digits + std::string(whole - digits.size(), '0');
    }
    return out + digits.substr(0, whole) + "." + digits.substr(whole);
}

std::optional<std::string> decompileBiffFormula(std::string_view tokens, std::string_view extra,
                                                CellRef at, const BiffFormulaLinks& links,
                                                int32_t sheet, size_t* extraRead) {
    if (tokens.empty() || !links.readable) {
        return std::nullopt;
    }
    Decompiler decompiler(tokens, extra, at, links, sheet);
    std::optional<std::string> text = decompiler.run();
    if (extraRead) {
        *extraRead = decompiler.extraRead();
    }
    return text;
}

}  // namespace plyfold::engine::xls
