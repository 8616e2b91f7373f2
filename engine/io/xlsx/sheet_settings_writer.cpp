#include "engine/io/xlsx/sheet_settings_writer.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "engine/model/limits.h"

namespace plyfold::engine::xlsx {
namespace {

// name="1" or name="0" where value differs from what the format takes when it is missing.
void flag(XmlStreamWriter& out, std::string_view name, bool value, bool fallback) {
    if (value != fallback) {
        out.attribute(name, value ? "1" : "0");
    }
}

void count(XmlStreamWriter& out, std::string_view name, uint32_t value, uint32_t fallback) {
    if (value != fallback) {
        out.attribute(name, static_cast<int64_t>(value));
    }
}

void number(XmlStreamWriter& out, std::string_view name, double value) {
    out.attributeNumber(name, std::isfinite(value) ? value : 0.0);
}

bool inSheet(CellRef ref) {
    return ref.row >= 0 && ref.row < kMaxRows && ref.column >= 0 && ref.column < kMaxColumns;
}

bool inSheet(const CellRange& range) {
    return inSheet(range.first) && inSheet(range.last) && range.first.row <= range.last.row &&
           range.first.column <= range.last.column;
}

std::string_view paneName(PaneId pane) {
    switch (pane) {
        case PaneId::BottomRight:
            return "bottomRight";
        case PaneId::TopRight:
            return "topRight";
        case PaneId::BottomLeft:
            return "bottomLeft";
        case PaneId::TopLeft:
            break;
    }
    return "topLeft";
}

std::string_view operatorName(FilterOperator op) {
    switch (op) {
        case FilterOperator::Equal:
            return "equal";
        case FilterOperator::LessThan:
            return "lessThan";
        case FilterOperator::LessThanOrEqual:
            return "lessThanOrEqual";
        case FilterOperator::NotEqual:
            return "notEqual";
        case FilterOperator::GreaterThanOrEqual:
            return "greaterThanOrEqual";
        case FilterOperator::GreaterThan:
            return "greaterThan";
    }
    return "equal";
}

void writeArgb(XmlStreamWriter& out, std::string_view element, const Color& color) {
    if (color.kind != Color::Kind::Rgb) {
        return;
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    char rgb[8];
    for (int i = 0; i < 8; ++i) {
        rgb[i] = kHex[(color.argb >> (28 - 4 * i)) & 0xF];
    }
    out.raw('<');
    out.raw(element);
    out.attribute("rgb", std::string_view(rgb, 8));
    out.raw("/>");
}

void writeSelection(XmlStreamWriter& out, const Selection& selection) {
    out.raw("<selection");
    if (selection.pane != PaneId::TopLeft) {
        out.attribute("pane", paneName(selection.pane));
    }
    if (selection.activeCell && inSheet(*selection.activeCell)) {
        out.attribute("activeCell", cellName(*selection.activeCell));
    }
    std::string sqref;
    for (const CellRange& range : selection.ranges) {
        if (inSheet(range)) {
            if (!sqref.empty()) {
                sqref += ' ';
            }
            sqref += rangeName(range);
        }
    }
    if (!sqref.empty()) {
        out.attribute("sqref", sqref);
    }
    out.raw("/>");
}

void writeFilterColumn(XmlStreamWriter& out, const FilterColumn& column) {
    out.raw("<filterColumn");
    out.attribute("colId", column.column);
    flag(out, "hiddenButton", column.hiddenButton, false);
    flag(out, "showButton", column.showButton, true);
    out.raw('>');
    switch (column.kind) {
        case FilterKind::Values:
            out.raw("<filters");
            flag(out, "blank", column.blank, false);
            out.raw('>');
            for (const std::string& value : column.values) {
                out.raw("<filter");
                out.attribute("val", value);
                out.raw("/>");
            }
            for (const DateGroup& group : column.dateGroups) {
                out.raw("<dateGroupItem");
                out.attribute("year", static_cast<int64_t>(group.year));
                count(out, "month", group.month, 0);
                count(out, "day", group.day, 0);
                count(out, "hour", group.hour, 0);
                count(out, "minute", group.minute, 0);
                count(out, "second", group.second, 0);
                out.attribute("dateTimeGrouping", group.grouping.empty() ? "year" : group.grouping);
                out.raw("/>");
            }
            out.raw("</filters>");
            break;
        case FilterKind::Custom:
            out.raw("<customFilters");
            flag(out, "and", column.matchAll, false);
            out.raw('>');
            for (const CustomFilter& filter : column.custom) {
                out.raw("<customFilter");
                if (filter.op != FilterOperator::Equal) {
                    out.attribute("operator", operatorName(filter.op));
                }
                out.attribute("val", filter.value);
                out.raw("/>");
            }
            out.raw("</customFilters>");
            break;
        case FilterKind::Top10:
            out.raw("<top10");
            flag(out, "top", column.top, true);
            flag(out, "percent", column.percent, false);
            number(out, "val", column.value);
            if (column.filterValue) {
                number(out, "filterVal", *column.filterValue);
            }
            out.raw("/>");
            break;
        case FilterKind::Dynamic:
            out.raw("<dynamicFilter");
            out.attribute("type", column.dynamicType.empty() ? "null" : column.dynamicType);
            if (column.dynamicValue) {
                number(out, "val", *column.dynamicValue);
            }
            if (column.dynamicMaxValue) {
                number(out, "maxVal", *column.dynamicMaxValue);
            }
            out.raw("/>");
            break;
    }
    out.raw("</filterColumn>");
}

void writeBreaks(XmlStreamWriter& out, std::string_view element,
                 const std::vector<PageBreak>& breaks, int32_t lines) {
    std::vector<const PageBreak*> kept;
    for (const PageBreak& pageBreak : breaks) {
        if (pageBreak.line >= 0 && pageBreak.line < lines - 1) {
            kept.push_back(&pageBreak);
        }
    }
    if (kept.empty()) {
        return;
    }
    out.raw('<');
    out.raw(element);
    out.attribute("count", static_cast<int64_t>(kept.size()));
    int64_t manual = 0;
    for (const PageBreak* pageBreak : kept) {
        manual += pageBreak->manual ? 1 : 0;
    }
    out.attribute("manualBreakCount", manual);
    out.raw('>');
    for (const PageBreak* pageBreak : kept) {
        out.raw("<brk");
        out.attribute("id", int64_t{pageBreak->line} + 1);
        if (pageBreak->min > 0) {
            out.attribute("min", pageBreak->min);
        }
        out.attribute("max", pageBreak->max);
        flag(out, "man", pageBreak->manual, false);
        flag(out, "pt", pageBreak->pivotTable, false);
        out.raw("/>");
    }
    out.raw("</");
    out.raw(element);
    out.raw('>');
}

void writeText(XmlStreamWriter& out, std::string_view element, const std::string& text) {
    if (text.empty()) {
        return;
    }
    out.raw('<');
    out.raw(element);
    if (needsSpacePreserve(text)) {
        out.raw(" xml:space=\"preserve\"");
    }
    out.raw('>');
    out.text(text);
    out.raw("</");
    out.raw(element);
    out.raw('>');
}

}  // namespace

void writeSheetProperties(XmlStreamWriter& out, const SheetProperties& p) {
    const SheetProperties defaults;
    if (p == defaults) {
        return;
    }
    out.raw("<sheetPr");
    flag(out, "filterMode", p.filterMode, false);
    out.raw('>');
    writeArgb(out, "tabColor", p.tabColor);
    if (p.summaryBelow != defaults.summaryBelow || p.summaryRight != defaults.summaryRight ||
        p.applyOutlineStyles != defaults.applyOutlineStyles ||
        p.showOutlineSymbols != defaults.showOutlineSymbols) {
        out.raw("<outlinePr");
        flag(out, "applyStyles", p.applyOutlineStyles, false);
        flag(out, "summaryBelow", p.summaryBelow, true);
        flag(out, "summaryRight", p.summaryRight, true);
        flag(out, "showOutlineSymbols", p.showOutlineSymbols, true);
        out.raw("/>");
    }
    if (p.fitToPage || !p.autoPageBreaks) {
        out.raw("<pageSetUpPr");
        flag(out, "autoPageBreaks", p.autoPageBreaks, true);
        flag(out, "fitToPage", p.fitToPage, false);
        out.raw("/>");
    }
    out.raw("</sheetPr>");
}

void writeSheetViews(XmlStreamWriter& out, const SheetView& view, bool tabSelected,
                     std::optional<CellRef> selectedCell) {
    out.raw("<sheetViews><sheetView");
    flag(out, "windowProtection", view.windowProtection, false);
    flag(out, "showFormulas", view.showFormulas, false);
    flag(out, "showGridLines", view.showGridLines, true);
    flag(out, "showRowColHeaders", view.showRowColHeaders, true);
    flag(out, "showZeros", view.showZeros, true);
    flag(out, "rightToLeft", view.rightToLeft, false);
    flag(out, "tabSelected", tabSelected, false);
    flag(out, "showRuler", view.showRuler, true);
    flag(out, "showOutlineSymbols", view.showOutlineSymbols, true);
    flag(out, "defaultGridColor", view.defaultGridColor, true);
    flag(out, "showWhiteSpace", view.showWhiteSpace, true);
    if (view.view == ViewKind::PageBreakPreview) {
        out.attribute("view", "pageBreakPreview");
    } else if (view.view == ViewKind::PageLayout) {
        out.attribute("view", "pageLayout");
    }
    if (view.topLeftCell && inSheet(*view.topLeftCell)) {
        out.attribute("topLeftCell", cellName(*view.topLeftCell));
    }
    count(out, "colorId", view.colorId, 64);
    count(out, "zoomScale", view.zoomScale, 100);
    count(out, "zoomScaleNormal", view.zoomScaleNormal, 0);
    count(out, "zoomScaleSheetLayoutView", view.zoomScaleSheetLayoutView, 0);
    count(out, "zoomScalePageLayoutView", view.zoomScalePageLayoutView, 0);
    out.raw(" workbookViewId=\"0\"");

    // The object model's selection is the first selection that names an active cell, as
    // the reader takes it; without one it goes to the active pane. The others stay.
    std::vector<Selection> selections = view.selections;
    if (selectedCell && inSheet(*selectedCell)) {
        auto named = std::find_if(selections.begin(), selections.end(),
                                  [](const Selection& s) { return s.activeCell.has_value(); });
        if (named != selections.end()) {
            if (named->activeCell != selectedCell) {
                named->activeCell = selectedCell;
                named->ranges = {CellRange{*selectedCell, *selectedCell}};
            }
        } else if (!(*selectedCell == CellRef{}) || view.pane) {
            const PaneId active = view.pane ? view.pane->activePane : PaneId::TopLeft;
            selections.push_back(
                Selection{active, selectedCell, {CellRange{*selectedCell, *selectedCell}}});
        }
    }
    if (!view.pane && selections.empty()) {
        out.raw("/></sheetViews>");
        return;
    }
    out.raw('>');
    if (view.pane) {
        const Pane& pane = *view.pane;
        out.raw("<pane");
        if (pane.xSplit > 0) {
            number(out, "xSplit", pane.xSplit);
        }
        if (pane.ySplit > 0) {
            number(out, "ySplit", pane.ySplit);
        }
        if (pane.topLeftCell && inSheet(*pane.topLeftCell)) {
            out.attribute("topLeftCell", cellName(*pane.topLeftCell));
        }
        if (pane.activePane != PaneId::TopLeft) {
            out.attribute("activePane", paneName(pane.activePane));
        }
        if (pane.state == PaneState::Frozen) {
            out.attribute("state", "frozen");
        } else if (pane.state == PaneState::FrozenSplit) {
            out.attribute("state", "frozenSplit");
        }
        out.raw("/>");
    }
    for (const Selection& selection : selections) {
        writeSelection(out, selection);
    }
    out.raw("</sheetView></sheetViews>");
}

void writeProtectionAndFilter(XmlStreamWriter& out, const SheetSettings& settings) {
    if (const auto& p = settings.protection) {
        out.raw("<sheetProtection");
        if (!p->password.empty()) {
            out.attribute("password", p->password);
        }
        if (!p->algorithmName.empty()) {
            out.attribute("algorithmName", p->algorithmName);
        }
        if (!p->hashValue.empty()) {
            out.attribute("hashValue", p->hashValue);
        }
        if (!p->saltValue.empty()) {
            out.attribute("saltValue", p->saltValue);
        }
        count(out, "spinCount", p->spinCount, 0);
        flag(out, "sheet", p->sheet, false);
        flag(out, "objects", p->objects, false);
        flag(out, "scenarios", p->scenarios, false);
        flag(out, "formatCells", p->formatCells, true);
        flag(out, "formatColumns", p->formatColumns, true);
        flag(out, "formatRows", p->formatRows, true);
        flag(out, "insertColumns", p->insertColumns, true);
        flag(out, "insertRows", p->insertRows, true);
        flag(out, "insertHyperlinks", p->insertHyperlinks, true);
        flag(out, "deleteColumns", p->deleteColumns, true);
        flag(out, "deleteRows", p->deleteRows, true);
        flag(out, "selectLockedCells", p->selectLockedCells, false);
        flag(out, "sort", p->sort, true);
        flag(out, "autoFilter", p->autoFilter, true);
        flag(out, "pivotTables", p->pivotTables, true);
        flag(out, "selectUnlockedCells", p->selectUnlockedCells, false);
        out.raw("/>");
    }
    const auto& filter = settings.autoFilter;
    if (!filter || !inSheet(filter->range)) {
        return;
    }
    out.raw("<autoFilter");
    out.attribute("ref", rangeName(filter->range));
    const int32_t width = filter->range.last.column - filter->range.first.column + 1;
    bool open = false;
    auto openElement = [&] {
        if (!open) {
            out.raw('>');
            open = true;
        }
    };
    for (const FilterColumn& column : filter->columns) {
        if (column.column >= 0 && column.column < width) {
            openElement();
            writeFilterColumn(out, column);
        }
    }
    if (filter->sortState && inSheet(filter->sortState->range)) {
        const SortState& state = *filter->sortState;
        openElement();
        out.raw("<sortState");
        flag(out, "columnSort", state.columnSort, false);
        flag(out, "caseSensitive", state.caseSensitive, false);
        out.attribute("ref", rangeName(state.range));
        out.raw('>');
        for (const SortCondition& condition : state.conditions) {
            if (inSheet(condition.range)) {
                out.raw("<sortCondition");
                flag(out, "descending", condition.descending, false);
                out.attribute("ref", rangeName(condition.range));
                out.raw("/>");
            }
        }
        out.raw("</sortState>");
    }
    out.raw(open ? "</autoFilter>" : "/>");
}

void writePrintSetup(XmlStreamWriter& out, const SheetSettings& settings) {
    if (const auto& options = settings.printOptions; options && !(*options == PrintOptions{})) {
        out.raw("<printOptions");
        flag(out, "horizontalCentered", options->horizontalCentered, false);
        flag(out, "verticalCentered", options->verticalCentered, false);
        flag(out, "headings", options->headings, false);
        flag(out, "gridLines", options->gridLines, false);
        flag(out, "gridLinesSet", options->gridLinesSet, true);
        out.raw("/>");
    }
    const PageMargins& m = settings.margins;
    out.raw("<pageMargins");
    number(out, "left", m.left);
    number(out, "right", m.right);
    number(out, "top", m.top);
    number(out, "bottom", m.bottom);
    number(out, "header", m.header);
    number(out, "footer", m.footer);
    out.raw("/>");
    if (const auto& setup = settings.pageSetup) {
        const PageSetup defaults;
        out.raw("<pageSetup");
        count(out, "paperSize", setup->paperSize, defaults.paperSize);
        if (!setup->paperHeight.empty()) {
            out.attribute("paperHeight", setup->paperHeight);
        }
        if (!setup->paperWidth.empty()) {
            out.attribute("paperWidth", setup->paperWidth);
        }
        count(out, "scale", setup->scale, defaults.scale);
        count(out, "firstPageNumber", setup->firstPageNumber, defaults.firstPageNumber);
        count(out, "fitToWidth", setup->fitToWidth, defaults.fitToWidth);
        count(out, "fitToHeight", setup->fitToHeight, defaults.fitToHeight);
        if (setup->pageOrder == PageOrder::OverThenDown) {
            out.attribute("pageOrder", "overThenDown");
        }
        if (setup->orientation == Orientation::Portrait) {
            out.attribute("orientation", "portrait");
        } else if (setup->orientation == Orientation::Landscape) {
            out.attribute("orientation", "landscape");
        }
        flag(out, "usePrinterDefaults", setup->usePrinterDefaults, true);
        flag(out, "blackAndWhite", setup->blackAndWhite, false);
        flag(out, "draft", setup->draft, false);
        if (setup->cellComments == PrintedComments::AsDisplayed) {
            out.attribute("cellComments", "asDisplayed");
        } else if (setup->cellComments == PrintedComments::AtEnd) {
            out.attribute("cellComments", "atEnd");
        }
        flag(out, "useFirstPageNumber", setup->useFirstPageNumber, false);
        switch (setup->errors) {
            case PrintedErrors::Blank:
                out.attribute("errors", "blank");
                break;
            case PrintedErrors::Dash:
                out.attribute("errors", "dash");
                break;
            case PrintedErrors::NotAvailable:
                out.attribute("errors", "NA");
                break;
            case PrintedErrors::Displayed:
                break;
        }
        count(out, "horizontalDpi", setup->horizontalDpi, defaults.horizontalDpi);
        count(out, "verticalDpi", setup->verticalDpi, defaults.verticalDpi);
        count(out, "copies", setup->copies, defaults.copies);
        out.raw("/>");
    }
    if (const auto& texts = settings.headerFooter) {
        out.raw("<headerFooter");
        flag(out, "differentOddEven", texts->differentOddEven, false);
        flag(out, "differentFirst", texts->differentFirst, false);
        flag(out, "scaleWithDoc", texts->scaleWithDoc, true);
        flag(out, "alignWithMargins", texts->alignWithMargins, true);
        out.raw('>');
        writeText(out, "oddHeader", texts->oddHeader);
        writeText(out, "oddFooter", texts->oddFooter);
        writeText(out, "evenHeader", texts->evenHeader);
        writeText(out, "evenFooter", texts->evenFooter);
        writeText(out, "firstHeader", texts->firstHeader);
        writeText(out, "firstFooter", texts->firstFooter);
        out.raw("</headerFooter>");
    }
    writeBreaks(out, "rowBreaks", settings.rowBreaks, kMaxRows);
    writeBreaks(out, "colBreaks", settings.columnBreaks, kMaxColumns);
}

}  // namespace plyfold::engine::xlsx
