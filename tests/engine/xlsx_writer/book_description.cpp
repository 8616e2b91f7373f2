#include "tests/engine/xlsx_writer/book_description.h"

#include <xlsxwriter.h>

#include <cmath>
#include <map>
#include <stdexcept>

namespace plyfold::test {

using namespace plyfold::engine;

double storedColumnWidth(double userWidth) {
    // Columns are whole pixels wide: the characters are rounded to pixels first.
    const double digit = 7.0;
    const double padding = 5.0;
    return std::trunc((std::round(userWidth * digit) + padding) / digit * 256.0) / 256.0;
}

namespace {

CellStyle modelStyle(StyleTable& table, const StyleDescription& d) {
    CellStyle style;
    Font font;
    font.bold = d.bold;
    font.italic = d.italic;
    if (d.fontSize > 0) {
        font.size = d.fontSize;
    }
    if (!d.fontName.empty()) {
        font.name = d.fontName;
        if (font.name != "Calibri") {
            font.scheme.clear();  // only the theme's own font is a scheme font
        }
    }
    style.font = table.addFont(font);
    if (d.fillRgb != 0) {
        Fill fill;
        fill.pattern = PatternType::Solid;
        fill.foreground = Color::rgb(0xFF000000u | d.fillRgb);
        fill.background = Color::automatic();
        style.fill = table.addFill(fill);
    }
    if (d.thinBorder) {
        Border border;
        for (BorderEdge* edge : {&border.left, &border.right, &border.top, &border.bottom}) {
            edge->style = BorderStyle::Thin;
            edge->color = Color::automatic();
        }
        style.border = table.addBorder(border);
    }
    if (!d.numberFormat.empty()) {
        style.numberFormat = table.addFormatCode(d.numberFormat);
    }
    style.alignment.horizontal = d.horizontal;
    style.alignment.vertical = d.vertical;
    style.alignment.wrapText = d.wrap;
    style.protection.locked = !d.unlocked;
    return style;
}

lxw_format* libxlsxwriterFormat(lxw_workbook* book, const StyleDescription& d) {
    lxw_format* format = workbook_add_format(book);
    if (d.bold) {
        format_set_bold(format);
    }
    if (d.italic) {
        format_set_italic(format);
    }
    if (d.fontSize > 0) {
        format_set_font_size(format, d.fontSize);
    }
    if (!d.fontName.empty()) {
        format_set_font_name(format, d.fontName.c_str());
    }
    if (d.fillRgb != 0) {
        format_set_bg_color(format, d.fillRgb);
    }
    if (d.thinBorder) {
        format_set_border(format, LXW_BORDER_THIN);
    }
    if (!d.numberFormat.empty()) {
        format_set_num_format(format, d.numberFormat.c_str());
    }
    switch (d.horizontal) {
        case HorizontalAlign::Left:
            format_set_align(format, LXW_ALIGN_LEFT);
            break;
        case HorizontalAlign::Center:
            format_set_align(format, LXW_ALIGN_CENTER);
            break;
        case HorizontalAlign::Right:
            format_set_align(format, LXW_ALIGN_RIGHT);
            break;
        default:
            break;
    }
    switch (d.vertical) {
        case VerticalAlign::Top:
            format_set_align(format, LXW_ALIGN_VERTICAL_TOP);
            break;
        case VerticalAlign::Center:
            format_set_align(format, LXW_ALIGN_VERTICAL_CENTER);
            break;
        default:
            break;
    }
    if (d.wrap) {
        format_set_text_wrap(format);
    }
    if (d.unlocked) {
        format_set_unlocked(format);
    }
    return format;
}

}  // namespace

std::unique_ptr<Workbook> buildModel(const BookDescription& book) {
    auto workbook = std::make_unique<Workbook>();
    // Styles enter the table in the order cells first use them, as libxlsxwriter numbers
    // its formats.
    std::map<int, uint32_t> styleIds;
    auto styleOf = [&](int index) -> uint32_t {
        if (index < 0) {
            return 0;
        }
        auto it = styleIds.find(index);
        if (it == styleIds.end()) {
            CellStyle style = modelStyle(workbook->styles(), book.styles.at(index));
            it = styleIds.emplace(index, workbook->styles().addStyle(style)).first;
        }
        return it->second;
    };
    for (const SheetDescription& s : book.sheets) {
        Sheet& sheet = workbook->addSheet(s.name);
        if (s.hidden) {
            sheet.setVisibility(SheetVisibility::Hidden);
        }
        sheet.setSelectedCell(s.selection);
        for (const CellDescription& c : s.cells) {
            Cell& cell = sheet.cellAt(c.ref);
            cell.style = styleOf(c.style);
            switch (c.kind) {
                case CellDescription::Kind::Number:
                case CellDescription::Kind::NumberFormula:
                case CellDescription::Kind::ArrayFormula:
                    cell.type = CellType::Number;
                    cell.value.number = c.number;
                    break;
                case CellDescription::Kind::Text:
                case CellDescription::Kind::TextFormula:
                    cell.type = CellType::Text;
                    cell.value.text = workbook->strings().intern(c.text);
                    break;
                case CellDescription::Kind::Boolean:
                    cell.type = CellType::Boolean;
                    cell.value.boolean = c.boolean;
                    break;
                case CellDescription::Kind::Blank:
                    break;
            }
            if (!c.formula.empty()) {
                cell.formula = workbook->formulas().intern(c.formula) + 1;
            }
            if (c.kind == CellDescription::Kind::ArrayFormula) {
                cell.flags |= kArrayFormula;
                sheet.arrayFormulas().push_back(ArrayFormula{c.arrayRange});
                // The other cells of the range hold their cached results.
                for (int32_t r = c.arrayRange.first.row; r <= c.arrayRange.last.row; ++r) {
                    for (int32_t col = c.arrayRange.first.column; col <= c.arrayRange.last.column;
                         ++col) {
                        if (!(CellRef{r, col} == c.ref)) {
                            Cell& other = sheet.cellAt({r, col});
                            other.type = CellType::Number;
                            other.value.number = 0;
                        }
                    }
                }
            }
        }
        sheet.merges() = s.merges;
        for (const ColumnDescription& column : s.columns) {
            sheet.columns().push_back(ColumnInfo{column.first, column.last,
                                                 storedColumnWidth(column.width), false, true, 0});
        }
        for (const RowDescription& r : s.rows) {
            // As a reader fills the model: a height only where it differs from the default.
            Row& row = sheet.rowAt(r.row);
            if (r.height != sheet.defaultRowHeight()) {
                row.height = static_cast<float>(r.height);
                row.customHeight = true;
            }
            row.hidden = r.hidden;
        }
    }
    workbook->setActiveSheet(book.active);
    return workbook;
}

void buildWithLibxlsxwriter(const BookDescription& book, const std::string& path) {
    lxw_workbook* workbook = workbook_new(path.c_str());
    if (!workbook) {
        throw std::runtime_error("libxlsxwriter cannot create " + path);
    }
    std::vector<lxw_format*> formats;
    for (const StyleDescription& style : book.styles) {
        formats.push_back(libxlsxwriterFormat(workbook, style));
    }
    auto format = [&](int index) { return index < 0 ? nullptr : formats.at(index); };
    int index = 0;
    for (const SheetDescription& s : book.sheets) {
        lxw_worksheet* sheet = workbook_add_worksheet(workbook, s.name.c_str());
        if (index == book.active) {
            worksheet_activate(sheet);
        }
        if (s.hidden) {
            worksheet_hide(sheet);
        }
        if (!(s.selection == CellRef{})) {
            worksheet_set_selection(sheet, s.selection.row, s.selection.column, s.selection.row,
                                    static_cast<lxw_col_t>(s.selection.column));
        }
        for (const CellRange& merge : s.merges) {
            worksheet_merge_range(sheet, merge.first.row, merge.first.column, merge.last.row,
                                  merge.last.column, "", nullptr);
        }
        for (const CellDescription& c : s.cells) {
            const auto row = static_cast<lxw_row_t>(c.ref.row);
            const auto col = static_cast<lxw_col_t>(c.ref.column);
            const std::string formula = "=" + c.formula;
            switch (c.kind) {
                case CellDescription::Kind::Number:
                    worksheet_write_number(sheet, row, col, c.number, format(c.style));
                    break;
                case CellDescription::Kind::Text:
                    worksheet_write_string(sheet, row, col, c.text.c_str(), format(c.style));
                    break;
                case CellDescription::Kind::Boolean:
                    worksheet_write_boolean(sheet, row, col, c.boolean, format(c.style));
                    break;
                case CellDescription::Kind::Blank:
                    worksheet_write_blank(sheet, row, col, format(c.style));
                    break;
                case CellDescription::Kind::NumberFormula:
                    worksheet_write_formula_num(sheet, row, col, formula.c_str(), format(c.style),
                                                c.number);
                    break;
                case CellDescription::Kind::TextFormula:
                    worksheet_write_formula_str(sheet, row, col, formula.c_str(), format(c.style),
                                                c.text.c_str());
                    break;
                case CellDescription::Kind::ArrayFormula:
                    worksheet_write_array_formula_num(
                        sheet, c.arrayRange.first.row,
                        static_cast<lxw_col_t>(c.arrayRange.first.column), c.arrayRange.last.row,
                        static_cast<lxw_col_t>(c.arrayRange.last.column),
                        ("{" + formula + "}").c_str(), format(c.style), c.number);
                    break;
            }
        }
        for (const ColumnDescription& column : s.columns) {
            worksheet_set_column(sheet, static_cast<lxw_col_t>(column.first),
                                 static_cast<lxw_col_t>(column.last), column.width, nullptr);
        }
        for (const RowDescription& r : s.rows) {
            lxw_row_col_options options{};
            options.hidden = r.hidden ? 1 : 0;
            worksheet_set_row_opt(sheet, static_cast<lxw_row_t>(r.row), r.height, nullptr,
                                  &options);
        }
        ++index;
    }
    if (workbook_close(workbook) != LXW_NO_ERROR) {
        throw std::runtime_error("libxlsxwriter cannot write " + path);
    }
}

}  // namespace plyfold::test
