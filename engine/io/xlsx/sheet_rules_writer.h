#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "engine/io/xlsx/xml_stream_writer.h"
#include "engine/model/sheet.h"

namespace plyfold::engine::xlsx {

// A formula as it may be written (references to sheets or books the file lacks as #REF!).
using WrittenFormula = std::function<std::string(std::string_view)>;

// <conditionalFormatting> elements of the sheet, nothing when it has none. Priorities are
// numbered afresh from 1 in the order of the stored ones, so that rules taken in from
// several sources never share one.
void writeConditionalFormats(XmlStreamWriter& out, const Sheet& sheet,
                             const WrittenFormula& formula);

// <dataValidations>, nothing when the sheet has none.
void writeDataValidations(XmlStreamWriter& out, const Sheet& sheet, const WrittenFormula& formula);

// "A1:B4 D7".
std::string rangeListText(const std::vector<CellRange>& ranges);

}  // namespace plyfold::engine::xlsx
