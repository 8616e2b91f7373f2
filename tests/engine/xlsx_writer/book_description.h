#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/model/cell_ref.h"
#include "engine/model/style.h"
#include "engine/model/workbook.h"

namespace plyfold::test {

// Workbook content described once and built both in the engine's model and through
// libxlsxwriter, so the two files can be compared part by part.
struct StyleDescription {
    bool bold = false;
    bool italic = false;
    double fontSize = 0;   // 0: the default
    std::string fontName;  // empty: the default
    uint32_t fillRgb = 0;  // 0: no fill; else a solid fill of 0xRRGGBB
    bool thinBorder = false;
    std::string numberFormat;  // empty: General
    engine::HorizontalAlign horizontal = engine::HorizontalAlign::General;
    engine::VerticalAlign vertical = engine::VerticalAlign::Bottom;
    bool wrap = false;
    bool unlocked = false;
};

struct CellDescription {
    enum class Kind { Number, Text, Boolean, Blank, NumberFormula, TextFormula, ArrayFormula };
    engine::CellRef ref;
    Kind kind = Kind::Number;
    double number = 0;
    std::string text;     // the text, or a text formula's result
    std::string formula;  // without "="
    int style = -1;       // index into BookDescription::styles, -1 the default
    engine::CellRange arrayRange{};
    bool boolean = false;
};

struct ColumnDescription {
    int32_t first = 0;
    int32_t last = 0;
    double width = 0;  // as a user sees it: characters of the default font's digits
};

struct RowDescription {
    int32_t row = 0;
    double height = 0;  // points
    bool hidden = false;
};

struct SheetDescription {
    std::string name;
    bool hidden = false;
    std::vector<CellDescription> cells;  // in row order, columns ascending within a row
    std::vector<engine::CellRange> merges;
    std::vector<ColumnDescription> columns;
    std::vector<RowDescription> rows;
    engine::CellRef selection{};
};

struct BookDescription {
    std::vector<StyleDescription> styles;
    std::vector<SheetDescription> sheets;
    int active = 0;
};

// The width the file stores for a width a user sees, with the 5-pixel padding of the
// default font (7-pixel digits), as the file format defines it. The model holds stored widths.
double storedColumnWidth(double userWidth);

std::unique_ptr<engine::Workbook> buildModel(const BookDescription& book);
// Writes the book with libxlsxwriter to path.
void buildWithLibxlsxwriter(const BookDescription& book, const std::string& path);

}  // namespace plyfold::test
