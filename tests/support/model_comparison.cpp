#include "tests/support/model_comparison.h"

#include <algorithm>
#include <sstream>

#include "engine/model/cell_ref.h"
#include "engine/ops/shared_formula.h"

namespace plyfold::test {
namespace {

using namespace plyfold::engine;

class Differences {
public:
    template <typename T>
    void check(bool same, const std::string& where, const T& expected, const T& actual) {
        if (!same && m_list.size() < 50) {
            std::ostringstream out;
            out << where << ": expected " << expected << ", got " << actual;
            m_list.push_back(out.str());
        }
    }
    void note(const std::string& text) {
        if (m_list.size() < 50) {
            m_list.push_back(text);
        }
    }
    std::vector<std::string> take() { return std::move(m_list); }

private:
    std::vector<std::string> m_list;
};

std::string colorText(const Color& c) {
    std::ostringstream out;
    out << static_cast<int>(c.kind) << ":" << std::hex << c.argb;
    return out.str();
}

std::string fontText(Font font, const SavedForm& form) {
    if (form.schemeOnlyOnThemeFonts && !((font.scheme == "minor" && font.name == "Calibri") ||
                                         (font.scheme == "major" && font.name == "Cambria"))) {
        font.scheme.clear();
    }
    std::ostringstream out;
    out << font.name << "/" << font.size << "/b" << font.bold << "/i" << font.italic << "/s"
        << font.strike << "/u" << static_cast<int>(font.underline) << "/v"
        << static_cast<int>(font.verticalAlign) << "/c" << colorText(font.color) << "/f"
        << font.family << "/cs" << font.charset << "/" << font.scheme;
    return out.str();
}

std::string edgeText(const BorderEdge& e) {
    return std::to_string(static_cast<int>(e.style)) +
           (e.style == BorderStyle::None ? std::string() : "," + colorText(e.color));
}

// A cell style as text: everything it holds, resolved through its table.
std::string styleText(const StyleTable& table, uint32_t id, const SavedForm& form) {
    const CellStyle& s = table.style(id);
    const Fill& fill = table.fill(s.fill);
    const Border& border = table.border(s.border);
    const Alignment& a = s.alignment;
    std::ostringstream out;
    out << "format[" << table.formatCode(s.numberFormat) << "] font["
        << fontText(table.font(s.font), form) << "] fill[" << static_cast<int>(fill.pattern) << ","
        << colorText(fill.foreground) << "," << colorText(fill.background) << "] border["
        << edgeText(border.left) << " " << edgeText(border.right) << " " << edgeText(border.top)
        << " " << edgeText(border.bottom) << " " << edgeText(border.diagonal) << " "
        << border.diagonalUp << border.diagonalDown << "] align[" << static_cast<int>(a.horizontal)
        << "," << static_cast<int>(a.vertical) << "," << a.wrapText << a.shrinkToFit << ","
        << static_cast<int>(a.indent) << "," << a.textRotation << ","
        << static_cast<int>(a.readingOrder) << "] protect[" << s.protection.locked
        << s.protection.hidden << "]";
    return out.str();
}

std::string valueText(const Workbook& book, const Cell& cell, CellRef at) {
    std::ostringstream out;
    switch (cell.type) {
        case CellType::Blank:
            out << "blank";
            break;
        case CellType::Number:
            out.precision(17);
            out << "number " << cell.value.number;
            break;
        case CellType::Text:
            out << "text [" << book.strings().text(cell.value.text) << "]";
            break;
        case CellType::Boolean:
            out << "boolean " << cell.value.boolean;
            break;
        case CellType::Error:
            out << "error " << errorText(cell.value.error);
            break;
    }
    if (cell.hasFormula()) {
        out << " formula [" << cellFormula(book, cell, at) << "]"
            << ((cell.flags & kArrayFormula) ? " array" : "");
    }
    return out.str();
}

std::string rangesText(std::vector<CellRange> ranges) {
    std::erase_if(ranges, [](const CellRange& r) { return r.first == r.last; });
    std::vector<std::string> names;
    names.reserve(ranges.size());
    for (const CellRange& r : ranges) {
        names.push_back(rangeName(r));
    }
    std::sort(names.begin(), names.end());
    std::string out;
    for (const std::string& n : names) {
        out += n + " ";
    }
    return out;
}

std::string columnsText(const Sheet& sheet, const Workbook& book, const SavedForm& form) {
    std::string out;
    for (const ColumnInfo& c : sheet.columns()) {
        // A width nobody set that equals the sheet's default is the default width.
        const double width =
            !c.customWidth && c.width == sheet.defaultColumnWidth() ? 0.0 : c.width;
        if (width <= 0 && !c.hidden && c.style == 0) {
            continue;  // says nothing
        }
        std::ostringstream line;
        line.precision(17);
        line << c.first << "-" << c.last << " w" << width << " h" << c.hidden << " c"
             << (width > 0 && c.customWidth) << " s{" << styleText(book.styles(), c.style, form)
             << "}; ";
        out += line.str();
    }
    return out;
}

std::string rowText(const Row& row, const Workbook& book, const SavedForm& form) {
    std::ostringstream out;
    out << "h" << row.height << " c" << row.customHeight << " hidden" << row.hidden << " s{"
        << styleText(book.styles(), row.style, form) << "}";
    return out.str();
}

bool rowCarries(const Row& row) {
    return !row.cells.empty() || row.hidden || row.height > 0 || row.style != 0;
}

}  // namespace

std::vector<std::string> workbookDifferences(const Workbook& expected, const Workbook& actual,
                                             const SavedForm& form) {
    Differences d;
    d.check(expected.sheetCount() == actual.sheetCount(), "sheet count", expected.sheetCount(),
            actual.sheetCount());
    d.check(expected.isDate1904() == actual.isDate1904(), "1904", expected.isDate1904(),
            actual.isDate1904());
    const IterativeCalculation& iterating = expected.iterativeCalculation();
    d.check(
        iterating == actual.iterativeCalculation(), "iterative calculation",
        iterating.enabled ? iterating.maxIterations : 0,
        actual.iterativeCalculation().enabled ? actual.iterativeCalculation().maxIterations : 0);
    if (expected.sheetCount() != actual.sheetCount()) {
        return d.take();
    }
    d.check(expected.activeSheet() == actual.activeSheet(), "active sheet", expected.activeSheet(),
            actual.activeSheet());
    for (int32_t i = 0; i < expected.sheetCount(); ++i) {
        const Sheet& e = expected.sheet(i);
        const Sheet& a = actual.sheet(i);
        const std::string where = "sheet '" + e.name() + "'";
        d.check(e.name() == a.name(), where + " name", e.name(), a.name());
        d.check(a.isWorksheet(), where + " kind", true, a.isWorksheet());
        d.check(e.visibility() == a.visibility(), where + " visibility",
                static_cast<int>(e.visibility()), static_cast<int>(a.visibility()));
        if (!e.isWorksheet()) {
            d.check(a.cellCount() == 0, where + " cells of a chart sheet", size_t{0},
                    a.cellCount());
            continue;
        }
        d.check(e.selectedCell() == a.selectedCell(), where + " selection",
                cellName(e.selectedCell()), cellName(a.selectedCell()));
        d.check(e.defaultRowHeight() == a.defaultRowHeight(), where + " default height",
                e.defaultRowHeight(), a.defaultRowHeight());
        d.check(e.defaultColumnWidth() == a.defaultColumnWidth(), where + " default width",
                e.defaultColumnWidth(), a.defaultColumnWidth());
        d.check(rangesText(e.merges()) == rangesText(a.merges()), where + " merges",
                rangesText(e.merges()), rangesText(a.merges()));
        std::vector<CellRange> eArrays, aArrays;
        for (const ArrayFormula& f : e.arrayFormulas()) {
            eArrays.push_back(f.range);
        }
        for (const ArrayFormula& f : a.arrayFormulas()) {
            aArrays.push_back(f.range);
        }
        d.check(rangesText(eArrays) == rangesText(aArrays), where + " array formulas",
                rangesText(eArrays), rangesText(aArrays));
        const std::string eColumns = columnsText(e, expected, form);
        const std::string aColumns = columnsText(a, actual, form);
        d.check(eColumns == aColumns, where + " columns", eColumns, aColumns);

        std::vector<const Row*> eRows, aRows;
        for (const Row& row : e.rows()) {
            if (rowCarries(row)) {
                eRows.push_back(&row);
            }
        }
        for (const Row& row : a.rows()) {
            if (rowCarries(row)) {
                aRows.push_back(&row);
            }
        }
        d.check(eRows.size() == aRows.size(), where + " rows", eRows.size(), aRows.size());
        for (size_t r = 0; r < std::min(eRows.size(), aRows.size()); ++r) {
            const Row& er = *eRows[r];
            const Row& ar = *aRows[r];
            const std::string rowWhere = where + " row " + std::to_string(er.index + 1);
            d.check(er.index == ar.index, rowWhere + " index", er.index, ar.index);
            const std::string eRow = rowText(er, expected, form);
            const std::string aRow = rowText(ar, actual, form);
            d.check(eRow == aRow, rowWhere, eRow, aRow);
            std::vector<const Cell*> eCells, aCells;
            for (const Cell& c : er.cells) {
                if (c.type != CellType::Blank || c.style != 0 || c.hasFormula()) {
                    eCells.push_back(&c);
                }
            }
            for (const Cell& c : ar.cells) {
                aCells.push_back(&c);
            }
            d.check(eCells.size() == aCells.size(), rowWhere + " cell count", eCells.size(),
                    aCells.size());
            for (size_t c = 0; c < std::min(eCells.size(), aCells.size()); ++c) {
                const Cell& ec = *eCells[c];
                const Cell& ac = *aCells[c];
                const std::string cellWhere = where + " " + cellName({er.index, ec.column});
                d.check(ec.column == ac.column, cellWhere + " column", ec.column, ac.column);
                const CellRef eAt{er.index, ec.column};
                const CellRef aAt{ar.index, ac.column};
                d.check(valueText(expected, ec, eAt) == valueText(actual, ac, aAt), cellWhere,
                        valueText(expected, ec, eAt), valueText(actual, ac, aAt));
                const std::string es = styleText(expected.styles(), ec.style, form);
                const std::string as = styleText(actual.styles(), ac.style, form);
                d.check(es == as, cellWhere + " style", es, as);
            }
        }
    }
    return d.take();
}

}  // namespace plyfold::test
