#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/io/xlsx/color_resolver.h"
#include "engine/io/xlsx/xml_handler.h"
#include "engine/model/conditional_format.h"
#include "engine/model/data_validation.h"
#include "engine/model/uncarried.h"

namespace plyfold::engine::xlsx_read {

// What the readers of a sheet's conditional formats and validation rules need from the sheet
// reader: a count of what they build (Sheet::countLoaded), the ids of the styles part's
// differential styles and its colours.
struct RuleContext {
    std::function<void(uint64_t)> count;
    const std::vector<uint32_t>* differentialStyleIds = nullptr;
    const ColorResolver* colors = nullptr;
    // Where differential styles written inside rules (extension lists) are added.
    StyleTable* styles = nullptr;
    // Where what is read and cannot be held is noted.
    UncarriedFeatures* uncarried = nullptr;
};

// A rule's formula as the file writes it, made the text the model holds: escapes decoded, a
// leading "=" dropped. False when it is not text XML allows or is longer than a formula may be.
bool cleanFormula(std::string& text);

// A list of ranges as an sqref attribute writes it ("A1:B4 D7"); ranges that do not parse
// are left out.
std::vector<CellRange> parseRangeList(std::string_view text);

// Readers of one <conditionalFormatting> or <dataValidations> element, given its events from
// that element on. A rule that breaks the file format's rules is left out, the others kept;
// what is too large to hold throws ReadFailure.
std::unique_ptr<XmlHandler> conditionalFormatReader(const RuleContext& context,
                                                    std::vector<ConditionalFormat>& into);
// The same for a <conditionalFormatting> of a sheet's extension list, whose rules write their
// formulas and ranges as elements and their differential styles inside them. Its data bars,
// colour scales and icon sets are left out: a data bar there extends one the sheet holds
// anyway, and the others use what only the extension can say.
std::unique_ptr<XmlHandler> extensionConditionalFormatReader(const RuleContext& context,
                                                             std::vector<ConditionalFormat>& into);
std::unique_ptr<XmlHandler> dataValidationReader(const RuleContext& context,
                                                 std::vector<DataValidation>& into);

}  // namespace plyfold::engine::xlsx_read
