#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/io/xlsx/color_resolver.h"
#include "engine/io/xlsx/xml_handler.h"
#include "engine/model/sheet_settings.h"
#include "engine/model/uncarried.h"

namespace plyfold::engine::xlsx_read {

// Reads the elements of a worksheet part that hold its settings (sheetPr, sheetViews,
// sheetProtection, autoFilter, printing) and notes those that hold what the model cannot
// carry (controls, embedded objects, extensions). The sheet reader hands it each such child
// of the root whole, from its start to its end. A setting that is malformed is dropped and
// noted as not carried; counts past the limits fail the sheet.
class SheetSettingsReader {
public:
    // count is told the bytes of what is kept, as it grows.
    SheetSettingsReader(const ColorResolver& colors, std::function<void(uint64_t)> count)
        : m_colors(colors), m_count(std::move(count)) {}

    // Whether a child of the root with this (local) name is read here.
    static bool claims(std::string_view name);

    // The events of a claimed element and everything inside it; active() is false again once
    // the element has ended.
    void startElement(std::string_view name, XmlAttributes attributes);
    void endElement();
    void characters(std::string_view text);
    bool active() const { return !m_stack.empty(); }

    // sheetFormatPr's outline levels, read by the sheet reader with the rest of that element.
    void readOutlineLevels(XmlAttributes attributes);

    // What was read; nullopt when the part held no settings of its own.
    std::optional<SheetSettings> takeSettings();
    // The active cell of the view's first selection that gives one.
    std::optional<CellRef> selectedCell() const;
    UncarriedFeatures takeUncarried() { return std::move(m_uncarried); }
    // Where other readers of the sheet note what they cannot hold.
    UncarriedFeatures& uncarried() { return m_uncarried; }
    // An extension of the sheet (an ext of its extLst), noted as not carried.
    void noteExtension(XmlAttributes attributes);

private:
    enum Context : uint8_t {
        kSkip,
        kSheetPr,
        kSheetViews,
        kSheetView,
        kAutoFilter,
        kFilterColumn,
        kFilters,
        kCustomFilters,
        kSortState,
        kHeaderFooter,
        kHeaderFooterText,
        kBreaks,
        kAlternate,
    };

    void startRoot(std::string_view name, XmlAttributes attributes);
    void startChild(uint8_t parent, std::string_view name, XmlAttributes attributes,
                    uint8_t& context);
    void readSheetView(XmlAttributes attributes);
    void readPane(XmlAttributes attributes);
    void readSelection(XmlAttributes attributes);
    void readProtection(XmlAttributes attributes);
    void readAutoFilter(XmlAttributes attributes);
    void readFilterColumn(XmlAttributes attributes);
    void readPageSetup(XmlAttributes attributes);
    void readBreak(XmlAttributes attributes);
    void dropAutoFilter(const std::string& why);
    SheetSettings& settings();
    void count(uint64_t bytes) { m_count(bytes); }

    const ColorResolver& m_colors;
    std::function<void(uint64_t)> m_count;
    std::optional<SheetSettings> m_settings;
    UncarriedFeatures m_uncarried;
    std::vector<uint8_t> m_stack;
    bool m_viewSeen = false;       // only the first sheetView is the sheet's
    bool m_autoFilterBad = false;  // dropped: the rest of it is skipped
    std::vector<PageBreak>* m_breaks = nullptr;
    std::string* m_text = nullptr;  // the header or footer being read
};

}  // namespace plyfold::engine::xlsx_read
