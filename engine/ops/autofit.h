#pragma once

#include <string_view>

#include "engine/model/style.h"

namespace plyfold::engine {

class Workbook;
struct Cell;

// Width estimates for fitting columns to their contents. Exact pixel metrics need a font
// rasteriser, so texts are measured with per-character advance widths of typical fonts
// (Calibri-like, Arial-like and monospaced), scaled by the font size.

// The width of a single line of text in the font, counted in maximum digit widths of
// defaultFont: the unit of column widths.
double textWidthInDigits(std::string_view text, const Font& font, const Font& defaultFont);

// The column width (in the same unit) that shows a text of the given width, padding
// included, rounded up to the 1/256 steps widths are stored in.
double columnWidthForText(double textWidth);

// True for a formula whose result is not known yet (a file saved without computing it): it
// shows nothing until a spreadsheet computes it.
bool awaitsItsResult(const Workbook& workbook, const Cell& cell);

// The widest a fitted column gets.
inline constexpr double kMaxColumnWidth = 255.0;

}  // namespace plyfold::engine
