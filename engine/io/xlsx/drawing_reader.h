#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/io/xlsx/zip_package.h"
#include "engine/model/drawing.h"

namespace plyfold::engine {
class Sheet;
}

namespace plyfold::engine::xlsx_read {

// The objects of the drawing part that a worksheet names by relationshipId, with the parts
// they use (pictures, charts and what those use) read whole. What is read is counted while
// the sheet loads (Sheet::countLoaded). An object whose anchor is not in the drawing's
// grammar, or that names a relationship the drawing lacks, is left out. Throws ReadFailure
// for a damaged part (part says which) or one past the reader's limits.
std::vector<DrawingObject> readSheetDrawing(ZipPackage& package, const std::string& sheetPart,
                                            const std::string& relationshipId, Sheet& sheet,
                                            std::string& part);

namespace detail {
// A drawing part's objects from its XML text; links are resolved through find, which gives
// nullptr for an id the drawing lacks. Exposed for tests.
std::vector<DrawingObject> parseDrawing(
    std::string_view xml, const std::function<const DrawingLink*(std::string_view)>& find);
// A chart's XML split around the texts of its "f" elements.
void splitChart(std::string_view xml, DrawingPart& part);
}  // namespace detail

}  // namespace plyfold::engine::xlsx_read
