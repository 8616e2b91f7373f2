#pragma once

#include <string_view>

#include "engine/model/style.h"

namespace plyfold::engine {

class Workbook;
class Sheet;
struct Cell;

// Width estimates for fitting columns to their contents. Texts are measured with the advance
// widths of their font's glyphs, scaled by the font size: built-in tables for the families
// spreadsheets use most (Calibri, Arial, Courier New and their metric twins), the face the
// machine's fontconfig matches for any other family (Cambria shows as Caladea, say), read
// with FreeType. Kerning and hinting are left out: they make a text narrower, if anything.

// The width of a single line of text in the font, counted in maximum digit widths of
// defaultFont: the unit of column widths.
double textWidthInDigits(std::string_view text, const Font& font, const Font& defaultFont);

// The column width (in the same unit) that shows a text of the given width, padding
// included, rounded up to the 1/256 steps widths are stored in.
double columnWidthForText(double textWidth);

// True for a formula whose result is not known yet (a file saved without computing it): it
// shows nothing until a spreadsheet computes it.
bool awaitsItsResult(const Workbook& workbook, const Cell& cell);

// What autoFitColumns (sheet_ops.h) fits, found by measuring every cell's shown text: the
// plain definition the fast path has to agree with, kept for the tests and the benchmark.
void autoFitColumnsMeasuringEveryCell(Sheet& sheet);

// The widest a fitted column gets.
inline constexpr double kMaxColumnWidth = 255.0;

}  // namespace plyfold::engine
