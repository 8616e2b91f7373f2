#include "engine/io/xlsx/sheet_settings_reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "engine/io/xlsx/read_failure.h"
#include "engine/io/xlsx/value_parsing.h"
#include "engine/model/limits.h"

namespace plyfold::engine::xlsx_read {
namespace {

// A header or footer holds at most 255 characters in spreadsheet programs; far more is not
// a file one of them wrote.
constexpr size_t kMaxHeaderFooterBytes = 64 * 1024;
constexpr size_t kMaxSelectionRanges = 65536;
constexpr size_t kMaxSelections = 4;  // one a pane

// Children of the root that hold what the model cannot carry, with the name the user is
// told.
constexpr std::array<std::pair<std::string_view, std::string_view>, 10> kUncarriedElements = {{
    {"controls", "form or ActiveX controls"},
    {"oleObjects", "embedded OLE objects"},
    {"picture", "background picture"},
    {"customSheetViews", "custom views"},
    {"scenarios", "scenarios"},
    {"protectedRanges", "ranges unlocked by password"},
    {"cellWatches", "cell watches"},
    {"smartTags", "smart tags"},
    {"webPublishItems", "web publishing items"},
    {"dataConsolidate", "data consolidation settings"},
}};

// The extensions of a sheet by their uri, with the name the user is told.
constexpr std::array<std::pair<std::string_view, std::string_view>, 7> kExtensions = {{
    {"{05C60535-1F16-4fd2-B633-F4F36F0B64E0}", "sparklines"},
    {"{A8765BA9-456A-4dab-B4F3-ACF838C121DE}", "slicers"},
    {"{3A4CF648-6AED-40f4-86FF-DC5316D8AED3}", "slicers"},
    {"{7E03D99C-DC04-49d9-9315-930204A7B6E9}", "timelines"},
    {"{F7C9EE02-42E1-4005-9D12-6889AFFD525C}", "web extensions"},
    {"{876F7934-8845-4945-9796-88D515C7AA90}", "pivot table changes"},
    {"{0E6A1FB9-41BE-4B2B-9A71-1A6D8B0A9E2B}", "web extensions"},
}};

// A file's own text shown to the user, cut short, with anything but printable ASCII replaced:
// it goes to a terminal.
std::string shownText(std::string_view text) {
    std::string shown(text.substr(0, 64));
    for (char& c : shown) {
        if (c < 0x20 || c > 0x7E) {
            c = '?';
        }
    }
    return shown;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

void readBool(XmlAttributes attributes, std::string_view name, bool& target) {
    if (const std::string_view* value = findAttribute(attributes, name)) {
        target = parseBoolean(*value).value_or(target);
    }
}

void readUnsigned(XmlAttributes attributes, std::string_view name, uint32_t& target) {
    if (const std::string_view* value = findAttribute(attributes, name)) {
        uint32_t parsed = 0;
        if (parseIndex(*value, parsed)) {
            target = parsed;
        }
    }
}

void readDouble(XmlAttributes attributes, std::string_view name, double& target) {
    if (const std::string_view* value = findAttribute(attributes, name)) {
        double parsed = 0;
        if (parseNumber(*value, parsed) && std::isfinite(parsed)) {
            target = parsed;
        }
    }
}

std::optional<double> optionalDouble(XmlAttributes attributes, std::string_view name) {
    double value = 0;
    if (const std::string_view* text = findAttribute(attributes, name);
        text && parseNumber(*text, value) && std::isfinite(value)) {
        return value;
    }
    return std::nullopt;
}

std::optional<CellRef> cellAttribute(XmlAttributes attributes, std::string_view name) {
    if (const std::string_view* value = findAttribute(attributes, name)) {
        return parseCellName(*value);
    }
    return std::nullopt;
}

PaneId paneId(std::string_view name) {
    return name == "bottomRight"  ? PaneId::BottomRight
           : name == "topRight"   ? PaneId::TopRight
           : name == "bottomLeft" ? PaneId::BottomLeft
                                  : PaneId::TopLeft;
}

std::optional<FilterOperator> filterOperator(std::string_view name) {
    if (name.empty() || name == "equal") {
        return FilterOperator::Equal;
    }
    if (name == "lessThan") {
        return FilterOperator::LessThan;
    }
    if (name == "lessThanOrEqual") {
        return FilterOperator::LessThanOrEqual;
    }
    if (name == "notEqual") {
        return FilterOperator::NotEqual;
    }
    if (name == "greaterThanOrEqual") {
        return FilterOperator::GreaterThanOrEqual;
    }
    if (name == "greaterThan") {
        return FilterOperator::GreaterThan;
    }
    return std::nullopt;
}

// The ranges of a space-separated list ("A1:B2 D4"); nullopt when one is not a range.
std::optional<std::vector<CellRange>> rangeList(std::string_view text, size_t limit) {
    std::vector<CellRange> ranges;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > start) {
            std::optional<CellRange> range = parseRangeName(text.substr(start, end - start));
            if (!range) {
                return std::nullopt;
            }
            if (ranges.size() >= limit) {
                fail(FailureKind::TooLarge, "a selection of the sheet holds more than " +
                                                std::to_string(limit) + " ranges");
            }
            ranges.push_back(*range);
        }
        start = end + 1;
    }
    return ranges;
}

}  // namespace

bool SheetSettingsReader::claims(std::string_view name) {
    if (name == "sheetPr" || name == "sheetViews" || name == "sheetProtection" ||
        name == "autoFilter" || name == "printOptions" || name == "pageMargins" ||
        name == "pageSetup" || name == "headerFooter" || name == "rowBreaks" ||
        name == "colBreaks" || name == "AlternateContent") {
        return true;
    }
    for (const auto& [element, feature] : kUncarriedElements) {
        if (name == element) {
            return true;
        }
    }
    return false;
}

SheetSettings& SheetSettingsReader::settings() {
    if (!m_settings) {
        count(sizeof(SheetSettings));
        m_settings.emplace();
    }
    return *m_settings;
}

void SheetSettingsReader::startElement(std::string_view name, XmlAttributes attributes) {
    uint8_t context = kSkip;
    if (m_stack.empty()) {
        startRoot(name, attributes);
        return;
    }
    const uint8_t parent = m_stack.back();
    if (parent != kSkip) {
        startChild(parent, name, attributes, context);
    }
    m_stack.push_back(context);
}

void SheetSettingsReader::endElement() {
    const uint8_t context = m_stack.back();
    m_stack.pop_back();
    if (context == kHeaderFooterText) {
        if (!isXmlText(*m_text)) {
            fail(FailureKind::Damaged, "a header or footer of the sheet is not valid UTF-8 text");
        }
        decodeEscapes(*m_text);
        m_text = nullptr;
    }
}

void SheetSettingsReader::characters(std::string_view text) {
    if (m_text && !m_stack.empty() && m_stack.back() == kHeaderFooterText) {
        if (m_text->size() + text.size() > kMaxHeaderFooterBytes) {
            fail(FailureKind::TooLarge, "a header or footer of the sheet is longer than " +
                                            std::to_string(kMaxHeaderFooterBytes) + " bytes");
        }
        count(text.size());
        m_text->append(text);
    }
}

// The first element: a child of the worksheet root.
void SheetSettingsReader::startRoot(std::string_view name, XmlAttributes attributes) {
    uint8_t context = kSkip;
    if (name == "sheetPr") {
        readBool(attributes, "filterMode", settings().properties.filterMode);
        context = kSheetPr;
    } else if (name == "sheetViews") {
        context = kSheetViews;
    } else if (name == "sheetProtection") {
        readProtection(attributes);
    } else if (name == "autoFilter") {
        readAutoFilter(attributes);
        context = m_autoFilterBad ? kSkip : kAutoFilter;
    } else if (name == "printOptions") {
        PrintOptions& options = settings().printOptions.emplace();
        readBool(attributes, "horizontalCentered", options.horizontalCentered);
        readBool(attributes, "verticalCentered", options.verticalCentered);
        readBool(attributes, "headings", options.headings);
        readBool(attributes, "gridLines", options.gridLines);
        readBool(attributes, "gridLinesSet", options.gridLinesSet);
        if (options == PrintOptions{}) {
            settings().printOptions.reset();  // as if not given: nothing to write back
        }
    } else if (name == "pageMargins") {
        PageMargins& margins = settings().margins;
        readDouble(attributes, "left", margins.left);
        readDouble(attributes, "right", margins.right);
        readDouble(attributes, "top", margins.top);
        readDouble(attributes, "bottom", margins.bottom);
        readDouble(attributes, "header", margins.header);
        readDouble(attributes, "footer", margins.footer);
    } else if (name == "pageSetup") {
        readPageSetup(attributes);
    } else if (name == "headerFooter") {
        HeaderFooter& texts = settings().headerFooter.emplace();
        readBool(attributes, "differentOddEven", texts.differentOddEven);
        readBool(attributes, "differentFirst", texts.differentFirst);
        readBool(attributes, "scaleWithDoc", texts.scaleWithDoc);
        readBool(attributes, "alignWithMargins", texts.alignWithMargins);
        context = kHeaderFooter;
    } else if (name == "rowBreaks" || name == "colBreaks") {
        m_breaks = name == "rowBreaks" ? &settings().rowBreaks : &settings().columnBreaks;
        context = kBreaks;
    } else if (name == "AlternateContent") {
        context = kAlternate;
    } else {
        for (const auto& [element, feature] : kUncarriedElements) {
            if (name == element) {
                m_uncarried.add(std::string(feature));
            }
        }
    }
    m_stack.push_back(context);
}

void SheetSettingsReader::startChild(uint8_t parent, std::string_view name,
                                     XmlAttributes attributes, uint8_t& context) {
    switch (parent) {
        case kSheetPr:
            if (name == "tabColor") {
                settings().properties.tabColor = m_colors.resolve(readColorSpec(attributes));
            } else if (name == "outlinePr") {
                SheetProperties& properties = settings().properties;
                readBool(attributes, "summaryBelow", properties.summaryBelow);
                readBool(attributes, "summaryRight", properties.summaryRight);
                readBool(attributes, "applyStyles", properties.applyOutlineStyles);
                readBool(attributes, "showOutlineSymbols", properties.showOutlineSymbols);
            } else if (name == "pageSetUpPr") {
                readBool(attributes, "fitToPage", settings().properties.fitToPage);
                readBool(attributes, "autoPageBreaks", settings().properties.autoPageBreaks);
            }
            break;
        case kSheetViews:
            if (name == "sheetView" && !m_viewSeen) {
                m_viewSeen = true;
                readSheetView(attributes);
                context = kSheetView;
            }
            break;
        case kSheetView:
            if (name == "pane") {
                readPane(attributes);
            } else if (name == "selection") {
                readSelection(attributes);
            }
            break;
        case kAutoFilter:
            if (name == "filterColumn") {
                readFilterColumn(attributes);
                context = m_autoFilterBad ? kSkip : kFilterColumn;
            } else if (name == "sortState") {
                SortState state;
                std::optional<CellRange> range = parseRangeName(attributeOr(attributes, "ref"));
                if (range) {
                    state.range = *range;
                    readBool(attributes, "columnSort", state.columnSort);
                    readBool(attributes, "caseSensitive", state.caseSensitive);
                    settings().autoFilter->sortState = state;
                    context = kSortState;
                }
            }
            break;
        case kSortState:
            if (name == "sortCondition") {
                std::optional<CellRange> range = parseRangeName(attributeOr(attributes, "ref"));
                SortState& state = *settings().autoFilter->sortState;
                if (range && state.conditions.size() < 64) {
                    SortCondition condition{*range, false};
                    readBool(attributes, "descending", condition.descending);
                    state.conditions.push_back(condition);
                    count(sizeof(SortCondition));
                }
            }
            break;
        case kFilterColumn: {
            FilterColumn& column = settings().autoFilter->columns.back();
            if (name == "filters") {
                column.kind = FilterKind::Values;
                readBool(attributes, "blank", column.blank);
                context = kFilters;
            } else if (name == "customFilters") {
                column.kind = FilterKind::Custom;
                readBool(attributes, "and", column.matchAll);
                context = kCustomFilters;
            } else if (name == "top10") {
                column.kind = FilterKind::Top10;
                readBool(attributes, "top", column.top);
                readBool(attributes, "percent", column.percent);
                readDouble(attributes, "val", column.value);
                column.filterValue = optionalDouble(attributes, "filterVal");
            } else if (name == "dynamicFilter") {
                column.kind = FilterKind::Dynamic;
                column.dynamicType = attributeOr(attributes, "type");
                count(column.dynamicType.size());
                column.dynamicValue = optionalDouble(attributes, "val");
                column.dynamicMaxValue = optionalDouble(attributes, "maxVal");
            } else if (name == "colorFilter" || name == "iconFilter") {
                // Their criteria name differential formats and icon sets, which the filter
                // does not carry: the column is shown unfiltered.
                m_uncarried.add("autofilter criteria by colour or icon");
                settings().autoFilter->columns.pop_back();
                m_stack.back() = kSkip;
            }
            break;
        }
        case kFilters: {
            FilterColumn& column = settings().autoFilter->columns.back();
            if (column.values.size() + column.dateGroups.size() >= kMaxFilterValues) {
                fail(FailureKind::TooLarge, "a column of the sheet's autofilter keeps more than " +
                                                std::to_string(kMaxFilterValues) + " values");
            }
            if (name == "filter") {
                std::string value(attributeOr(attributes, "val"));
                count(sizeof(std::string) + value.size());
                column.values.push_back(std::move(value));
            } else if (name == "dateGroupItem") {
                DateGroup group;
                group.grouping = attributeOr(attributes, "dateTimeGrouping");
                readUnsigned(attributes, "year", group.year);
                readUnsigned(attributes, "month", group.month);
                readUnsigned(attributes, "day", group.day);
                readUnsigned(attributes, "hour", group.hour);
                readUnsigned(attributes, "minute", group.minute);
                readUnsigned(attributes, "second", group.second);
                count(sizeof(DateGroup));
                column.dateGroups.push_back(std::move(group));
            }
            break;
        }
        case kCustomFilters:
            if (name == "customFilter") {
                FilterColumn& column = settings().autoFilter->columns.back();
                std::optional<FilterOperator> op =
                    filterOperator(attributeOr(attributes, "operator"));
                if (op && column.custom.size() < 2) {
                    column.custom.push_back(
                        CustomFilter{*op, std::string(attributeOr(attributes, "val"))});
                    count(sizeof(CustomFilter) + column.custom.back().value.size());
                }
            }
            break;
        case kHeaderFooter: {
            HeaderFooter& texts = *settings().headerFooter;
            std::string* target = name == "oddHeader"     ? &texts.oddHeader
                                  : name == "oddFooter"   ? &texts.oddFooter
                                  : name == "evenHeader"  ? &texts.evenHeader
                                  : name == "evenFooter"  ? &texts.evenFooter
                                  : name == "firstHeader" ? &texts.firstHeader
                                  : name == "firstFooter" ? &texts.firstFooter
                                                          : nullptr;
            if (target) {
                target->clear();
                m_text = target;
                context = kHeaderFooterText;
            }
            break;
        }
        case kBreaks:
            if (name == "brk") {
                readBreak(attributes);
            }
            break;
        case kAlternate:
            if (name == "Choice" || name == "Fallback") {
                context = kAlternate;
            } else {
                for (const auto& [element, feature] : kUncarriedElements) {
                    if (name == element) {
                        m_uncarried.add(std::string(feature));
                    }
                }
            }
            break;
        default:
            break;
    }
}

void SheetSettingsReader::readOutlineLevels(XmlAttributes attributes) {
    uint32_t rows = 0;
    uint32_t columns = 0;
    readUnsigned(attributes, "outlineLevelRow", rows);
    readUnsigned(attributes, "outlineLevelCol", columns);
    if (rows != 0 || columns != 0) {
        settings().outlineLevelRow = static_cast<uint8_t>(std::min<uint32_t>(rows, 7));
        settings().outlineLevelColumn = static_cast<uint8_t>(std::min<uint32_t>(columns, 7));
    }
}

void SheetSettingsReader::readSheetView(XmlAttributes attributes) {
    SheetView& view = settings().view;
    readBool(attributes, "showGridLines", view.showGridLines);
    readBool(attributes, "showRowColHeaders", view.showRowColHeaders);
    readBool(attributes, "showZeros", view.showZeros);
    readBool(attributes, "showFormulas", view.showFormulas);
    readBool(attributes, "rightToLeft", view.rightToLeft);
    readBool(attributes, "showRuler", view.showRuler);
    readBool(attributes, "showOutlineSymbols", view.showOutlineSymbols);
    readBool(attributes, "showWhiteSpace", view.showWhiteSpace);
    readBool(attributes, "defaultGridColor", view.defaultGridColor);
    readBool(attributes, "windowProtection", view.windowProtection);
    const std::string_view kind = attributeOr(attributes, "view");
    view.view = kind == "pageBreakPreview" ? ViewKind::PageBreakPreview
                : kind == "pageLayout"     ? ViewKind::PageLayout
                                           : ViewKind::Normal;
    view.topLeftCell = cellAttribute(attributes, "topLeftCell");
    readUnsigned(attributes, "colorId", view.colorId);
    readUnsigned(attributes, "zoomScale", view.zoomScale);
    readUnsigned(attributes, "zoomScaleNormal", view.zoomScaleNormal);
    readUnsigned(attributes, "zoomScalePageLayoutView", view.zoomScalePageLayoutView);
    readUnsigned(attributes, "zoomScaleSheetLayoutView", view.zoomScaleSheetLayoutView);
    if (view.zoomScale < 10 || view.zoomScale > 400) {
        view.zoomScale = 100;
    }
}

void SheetSettingsReader::readPane(XmlAttributes attributes) {
    Pane pane;
    readDouble(attributes, "xSplit", pane.xSplit);
    readDouble(attributes, "ySplit", pane.ySplit);
    pane.topLeftCell = cellAttribute(attributes, "topLeftCell");
    pane.activePane = paneId(attributeOr(attributes, "activePane", "topLeft"));
    const std::string_view state = attributeOr(attributes, "state", "split");
    pane.state = state == "frozen"        ? PaneState::Frozen
                 : state == "frozenSplit" ? PaneState::FrozenSplit
                                          : PaneState::Split;
    if (pane.xSplit < 0 || pane.ySplit < 0 ||
        (pane.state != PaneState::Split && (pane.xSplit > kMaxColumns || pane.ySplit > kMaxRows))) {
        m_uncarried.add("window panes (their split lies outside the sheet)");
        return;
    }
    settings().view.pane = pane;
}

void SheetSettingsReader::readSelection(XmlAttributes attributes) {
    SheetView& view = settings().view;
    if (view.selections.size() >= kMaxSelections) {
        return;
    }
    Selection selection;
    selection.pane = paneId(attributeOr(attributes, "pane", "topLeft"));
    selection.activeCell = cellAttribute(attributes, "activeCell");
    const std::string_view* sqref = findAttribute(attributes, "sqref");
    if (sqref) {
        std::optional<std::vector<CellRange>> ranges = rangeList(*sqref, kMaxSelectionRanges);
        if (!ranges) {
            return;  // a selection is only where the cursor was: an unreadable one is left out
        }
        selection.ranges = std::move(*ranges);
    }
    count(sizeof(Selection) + selection.ranges.size() * sizeof(CellRange));
    view.selections.push_back(std::move(selection));
}

void SheetSettingsReader::readProtection(XmlAttributes attributes) {
    SheetProtection& p = settings().protection.emplace();
    p.password = attributeOr(attributes, "password");
    p.algorithmName = attributeOr(attributes, "algorithmName");
    p.hashValue = attributeOr(attributes, "hashValue");
    p.saltValue = attributeOr(attributes, "saltValue");
    count(p.password.size() + p.algorithmName.size() + p.hashValue.size() + p.saltValue.size());
    readUnsigned(attributes, "spinCount", p.spinCount);
    readBool(attributes, "sheet", p.sheet);
    readBool(attributes, "objects", p.objects);
    readBool(attributes, "scenarios", p.scenarios);
    readBool(attributes, "formatCells", p.formatCells);
    readBool(attributes, "formatColumns", p.formatColumns);
    readBool(attributes, "formatRows", p.formatRows);
    readBool(attributes, "insertColumns", p.insertColumns);
    readBool(attributes, "insertRows", p.insertRows);
    readBool(attributes, "insertHyperlinks", p.insertHyperlinks);
    readBool(attributes, "deleteColumns", p.deleteColumns);
    readBool(attributes, "deleteRows", p.deleteRows);
    readBool(attributes, "selectLockedCells", p.selectLockedCells);
    readBool(attributes, "sort", p.sort);
    readBool(attributes, "autoFilter", p.autoFilter);
    readBool(attributes, "pivotTables", p.pivotTables);
    readBool(attributes, "selectUnlockedCells", p.selectUnlockedCells);
}

void SheetSettingsReader::dropAutoFilter(const std::string& why) {
    m_autoFilterBad = true;
    if (m_settings) {
        m_settings->autoFilter.reset();
    }
    m_uncarried.add("autofilter (" + why + ")");
}

void SheetSettingsReader::readAutoFilter(XmlAttributes attributes) {
    const std::string_view ref = attributeOr(attributes, "ref");
    std::optional<CellRange> range = parseRangeName(ref);
    if (!range) {
        dropAutoFilter("its range '" + shownText(ref) + "' is not a range of the sheet");
        return;
    }
    m_autoFilterBad = false;
    settings().autoFilter.emplace().range = *range;
}

void SheetSettingsReader::readFilterColumn(XmlAttributes attributes) {
    AutoFilter& filter = *settings().autoFilter;
    uint32_t column = 0;
    if (!parseIndex(attributeOr(attributes, "colId"), column) ||
        column > static_cast<uint32_t>(filter.range.last.column - filter.range.first.column)) {
        dropAutoFilter("a filter column lies outside its range");
        return;
    }
    if (filter.columns.size() >= kMaxFilterColumns) {
        fail(FailureKind::TooLarge, "the sheet's autofilter has more than " +
                                        std::to_string(kMaxFilterColumns) + " filter columns");
    }
    FilterColumn& added = filter.columns.emplace_back();
    added.column = static_cast<int32_t>(column);
    readBool(attributes, "hiddenButton", added.hiddenButton);
    readBool(attributes, "showButton", added.showButton);
    count(sizeof(FilterColumn));
}

void SheetSettingsReader::readPageSetup(XmlAttributes attributes) {
    PageSetup& setup = settings().pageSetup.emplace();
    readUnsigned(attributes, "paperSize", setup.paperSize);
    setup.paperHeight = attributeOr(attributes, "paperHeight").substr(0, 32);
    setup.paperWidth = attributeOr(attributes, "paperWidth").substr(0, 32);
    readUnsigned(attributes, "scale", setup.scale);
    readUnsigned(attributes, "firstPageNumber", setup.firstPageNumber);
    readUnsigned(attributes, "fitToWidth", setup.fitToWidth);
    readUnsigned(attributes, "fitToHeight", setup.fitToHeight);
    setup.pageOrder = attributeOr(attributes, "pageOrder") == "overThenDown"
                          ? PageOrder::OverThenDown
                          : PageOrder::DownThenOver;
    const std::string_view orientation = attributeOr(attributes, "orientation");
    setup.orientation = orientation == "portrait"    ? Orientation::Portrait
                        : orientation == "landscape" ? Orientation::Landscape
                                                     : Orientation::Default;
    readBool(attributes, "usePrinterDefaults", setup.usePrinterDefaults);
    readBool(attributes, "blackAndWhite", setup.blackAndWhite);
    readBool(attributes, "draft", setup.draft);
    const std::string_view comments = attributeOr(attributes, "cellComments");
    setup.cellComments = comments == "asDisplayed" ? PrintedComments::AsDisplayed
                         : comments == "atEnd"     ? PrintedComments::AtEnd
                                                   : PrintedComments::None;
    readBool(attributes, "useFirstPageNumber", setup.useFirstPageNumber);
    const std::string_view errors = attributeOr(attributes, "errors");
    setup.errors = errors == "blank"  ? PrintedErrors::Blank
                   : errors == "dash" ? PrintedErrors::Dash
                   : errors == "NA"   ? PrintedErrors::NotAvailable
                                      : PrintedErrors::Displayed;
    readUnsigned(attributes, "horizontalDpi", setup.horizontalDpi);
    readUnsigned(attributes, "verticalDpi", setup.verticalDpi);
    readUnsigned(attributes, "copies", setup.copies);
    if (setup.scale < 10 || setup.scale > 400) {
        setup.scale = 100;
    }
}

void SheetSettingsReader::readBreak(XmlAttributes attributes) {
    if (m_breaks->size() >= kMaxPageBreaks) {
        fail(FailureKind::TooLarge, "the sheet has more than the " +
                                        std::to_string(kMaxPageBreaks) +
                                        " page breaks a sheet can hold");
    }
    const bool rows = m_breaks == &settings().rowBreaks;
    const uint32_t lastLine = static_cast<uint32_t>(rows ? kMaxRows : kMaxColumns);
    const uint32_t lastAcross = static_cast<uint32_t>(rows ? kMaxColumns : kMaxRows);
    uint32_t id = 0;
    uint32_t min = 0;
    uint32_t max = lastAcross - 1;
    readUnsigned(attributes, "id", id);
    readUnsigned(attributes, "min", min);
    readUnsigned(attributes, "max", max);
    if (id == 0 || id >= lastLine) {
        return;  // a break before the first line or after the last breaks nothing
    }
    PageBreak pageBreak;
    // id counts lines from 1 and names the first after the break: 0-based, the last before.
    pageBreak.line = static_cast<int32_t>(id - 1);
    pageBreak.min = static_cast<int32_t>(std::min(min, lastAcross - 1));
    pageBreak.max = static_cast<int32_t>(std::min(std::max(max, min), lastAcross - 1));
    pageBreak.manual = false;  // the format's default, unlike the model's for breaks made here
    readBool(attributes, "man", pageBreak.manual);
    readBool(attributes, "pt", pageBreak.pivotTable);
    count(sizeof(PageBreak));
    m_breaks->push_back(pageBreak);
}

void SheetSettingsReader::noteExtension(XmlAttributes attributes) {
    const std::string_view uri = attributeOr(attributes, "uri");
    for (const auto& [known, feature] : kExtensions) {
        if (equalsIgnoringCase(uri, known)) {
            m_uncarried.add(std::string(feature));
            return;
        }
    }
    m_uncarried.add("sheet extension " + shownText(uri));
}

std::optional<SheetSettings> SheetSettingsReader::takeSettings() {
    return std::move(m_settings);
}

std::optional<CellRef> SheetSettingsReader::selectedCell() const {
    if (!m_settings) {
        return std::nullopt;
    }
    for (const Selection& selection : m_settings->view.selections) {
        if (selection.activeCell) {
            return selection.activeCell;
        }
    }
    return std::nullopt;
}

}  // namespace plyfold::engine::xlsx_read
