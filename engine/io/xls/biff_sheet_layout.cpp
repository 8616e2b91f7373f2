#include "engine/io/xls/biff_sheet_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include "engine/common/byte_order.h"
#include "engine/common/code_page.h"
#include "engine/model/limits.h"

namespace plyfold::engine::xls {
namespace {

constexpr uint16_t kWindow1 = 0x003D;

constexpr uint16_t kRow = 0x0208;
constexpr uint16_t kRowBiff2 = 0x0008;
constexpr uint16_t kColInfo = 0x007D;
constexpr uint16_t kColWidthBiff2 = 0x0024;
constexpr uint16_t kMergedCells = 0x00E5;
constexpr uint16_t kDefColWidth = 0x0055;
constexpr uint16_t kStandardWidth = 0x0099;
constexpr uint16_t kDefaultRowHeight = 0x0225;
constexpr uint16_t kDefaultRowHeightBiff2 = 0x0025;
constexpr uint16_t kGuts = 0x0080;
constexpr uint16_t kWsBool = 0x0081;
constexpr uint16_t kWindow2 = 0x023E;
constexpr uint16_t kPane = 0x0041;
constexpr uint16_t kScl = 0x00A0;
constexpr uint16_t kSelection = 0x001D;
constexpr uint16_t kSheetExt = 0x0862;
constexpr uint16_t kSetup = 0x00A1;
constexpr uint16_t kLeftMargin = 0x0026;
constexpr uint16_t kRightMargin = 0x0027;
constexpr uint16_t kTopMargin = 0x0028;
constexpr uint16_t kBottomMargin = 0x0029;
constexpr uint16_t kHeader = 0x0014;
constexpr uint16_t kFooter = 0x0015;
constexpr uint16_t kHCenter = 0x0083;
constexpr uint16_t kVCenter = 0x0084;
constexpr uint16_t kPrintGridLines = 0x002B;
constexpr uint16_t kPrintHeaders = 0x002A;
constexpr uint16_t kHorizontalPageBreaks = 0x001B;
constexpr uint16_t kVerticalPageBreaks = 0x001A;
constexpr uint16_t kProtect = 0x0012;
constexpr uint16_t kPassword = 0x0013;
constexpr uint16_t kObjProtect = 0x0063;
constexpr uint16_t kScenProtect = 0x00DD;
constexpr uint16_t kFeatHeadr = 0x0867;
constexpr uint16_t kObj = 0x005D;
constexpr uint16_t kCondFmt = 0x01B0;
constexpr uint16_t kCondFmt12 = 0x0879;
constexpr uint16_t kDVal = 0x01B2;
constexpr uint16_t kAutoFilterInfo = 0x009D;
constexpr uint16_t kPageLayoutView = 0x088B;
constexpr uint16_t kSharedFeature = 0x0868;

// Records of what the model cannot carry, with the name the user is told (the names the
// .xlsx reader gives the same things).
constexpr std::array<std::pair<uint16_t, std::string_view>, 6> kUncarriedRecords = {{
    {0x00B0, "pivot table (its cells are kept as values)"},
    {0x00AE, "scenarios"},
    {0x01AA, "custom views"},
    {0x00E9, "background picture"},
    {0x0801, "web publishing items"},
    {0x0050, "data consolidation settings"},
}};

bool bit(uint32_t flags, int index) {
    return (flags >> index & 1) != 0;
}

// A margin or header distance in inches that a page can have.
bool usableInches(double value) {
    return std::isfinite(value) && value >= 0 && value < 100;
}

std::string hex4(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

}  // namespace

BiffWindowGlobals readBiffWindowGlobals(std::string_view stream, const BiffGlobals& globals) {
    BiffWindowGlobals result;
    if (!globals.isBiff5Or8) {
        return result;
    }
    BiffRecordCursor records(stream, 0);
    auto bof = records.next();
    if (!bof || bof->type != kBof) {
        return result;
    }
    while (auto record = records.next()) {
        const std::string_view data = record->data;
        if (record->type == kEof || record->type == kBof) {
            break;
        }
        if (record->type == kWindow1 && data.size() >= 12) {
            result.selectedTab = le16(data, 10);
        }
    }
    return result;
}

BiffSheetLayoutReader::BiffSheetLayoutReader(const BiffGlobals& globals, const BiffPalette& palette,
                                             StyleOf styleOf)
    : m_globals(globals), m_palette(palette), m_styleOf(std::move(styleOf)) {
    // What a sheet without margin records prints with.
    m_layout.settings.margins = PageMargins{0.75, 0.75, 1.0, 1.0, 0.5, 0.5};
}

void BiffSheetLayoutReader::record(const BiffRecord& record, BiffRecordCursor& records) {
    const std::string_view data = record.data;
    const bool biff2 = m_globals.earlyVersion == 2;
    SheetSettings& settings = m_layout.settings;
    switch (record.type) {
        case kRow:
            row(data);
            break;
        case kRowBiff2:
            if (biff2) {
                earlyRow(data);
            }
            break;
        case kColInfo:
            columnInfo(data);
            break;
        case kColWidthBiff2:
            if (biff2) {
                earlyColumnWidth(data);
            }
            break;
        case kMergedCells:
            mergedCells(data);
            break;
        case kDefColWidth:
            // Digits of the default font, without the margins every column adds.
            if (data.size() >= 2 && le16(data, 0) > 0 && le16(data, 0) <= 255) {
                m_baseWidth = le16(data, 0);
            }
            break;
        case kStandardWidth:
            // In 256ths of a character, margins included; it wins over DEFCOLWIDTH.
            if (data.size() >= 2 && le16(data, 0) > 0 && le16(data, 0) <= 255 * 256) {
                m_standardWidth = le16(data, 0) / 256.0;
            }
            break;
        case kDefaultRowHeight:
            // Its height is of a hidden row when the flags say the rows are hidden.
            if (data.size() >= 4 && !bit(le16(data, 0), 1) && le16(data, 2) > 0 &&
                le16(data, 2) <= 8190) {
                m_layout.defaultRowHeight = le16(data, 2) / 20.0;
            }
            break;
        case kDefaultRowHeightBiff2:
            if (biff2 && data.size() >= 2 && (le16(data, 0) & 0x7FFF) > 0 &&
                (le16(data, 0) & 0x7FFF) <= 8190) {
                m_layout.defaultRowHeight = (le16(data, 0) & 0x7FFF) / 20.0;
            }
            break;
        case kGuts:
            // The levels shown, one more than the deepest level (none is 0).
            if (data.size() >= 8) {
                settings.outlineLevelRow =
                    static_cast<uint8_t>(std::clamp<int>(le16(data, 4) - 1, 0, 7));
                settings.outlineLevelColumn =
                    static_cast<uint8_t>(std::clamp<int>(le16(data, 6) - 1, 0, 7));
            }
            break;
        case kWsBool:
            if (data.size() >= 2) {
                const uint16_t flags = le16(data, 0);
                SheetProperties& properties = settings.properties;
                properties.autoPageBreaks = bit(flags, 0);
                properties.applyOutlineStyles = bit(flags, 5);
                properties.summaryBelow = bit(flags, 6);
                properties.summaryRight = bit(flags, 7);
                properties.fitToPage = bit(flags, 8);
                properties.showOutlineSymbols = bit(flags, 10) || bit(flags, 11);  // rows, columns
            }
            break;
        case kWindow2:
            window(data);
            break;
        case kPane:
            pane(data);
            break;
        case kScl:
            if (data.size() >= 4) {
                const auto numerator = static_cast<int16_t>(le16(data, 0));
                const auto denominator = static_cast<int16_t>(le16(data, 2));
                if (numerator > 0 && denominator > 0) {
                    const int zoom = numerator * 100 / denominator;
                    settings.view.zoomScale = zoom >= 10 && zoom <= 400 ? zoom : 100;
                }
            }
            break;
        case kSelection:
            selection(data);
            break;
        case kSheetExt:
            sheetExtension(data);
            break;
        case kSetup:
            setup(data);
            break;
        case kLeftMargin:
        case kRightMargin:
        case kTopMargin:
        case kBottomMargin:
            if (data.size() >= 8 && usableInches(leDouble(data, 0))) {
                PageMargins& margins = settings.margins;
                double& side = record.type == kLeftMargin    ? margins.left
                               : record.type == kRightMargin ? margins.right
                               : record.type == kTopMargin   ? margins.top
                                                             : margins.bottom;
                side = leDouble(data, 0);
            }
            break;
        case kHeader:
        case kFooter:
            headerFooter(record, records, record.type == kHeader);
            break;
        case kHCenter:
        case kVCenter:
        case kPrintGridLines:
        case kPrintHeaders:
            if (data.size() >= 2) {
                PrintOptions& options = printOptions();
                const bool on = le16(data, 0) != 0;
                (record.type == kHCenter        ? options.horizontalCentered
                 : record.type == kVCenter      ? options.verticalCentered
                 : record.type == kPrintHeaders ? options.headings
                                                : options.gridLines) = on;
            }
            break;
        case kHorizontalPageBreaks:
            pageBreaks(data, settings.rowBreaks, true);
            break;
        case kVerticalPageBreaks:
            pageBreaks(data, settings.columnBreaks, false);
            break;
        case kProtect:
            if (data.size() >= 2 && le16(data, 0) != 0) {
                protection().sheet = true;
            }
            break;
        case kPassword:
            if (data.size() >= 2 && le16(data, 0) != 0) {
                protection().password = hex4(le16(data, 0));
            }
            break;
        case kObjProtect:
            if (data.size() >= 2) {
                protection().objects = le16(data, 0) != 0;
            }
            break;
        case kScenProtect:
            if (data.size() >= 2) {
                protection().scenarios = le16(data, 0) != 0;
            }
            break;
        case kFeatHeadr:
            protectionFlags(data);
            break;
        case kObj:
            drawingObject(data);
            break;
        case kCondFmt:
        case kCondFmt12:
            m_layout.uncarried.add("conditional formats");
            break;
        case kDVal:
            m_layout.uncarried.add("data validation");
            break;
        case kAutoFilterInfo:
            m_layout.uncarried.add("autofilter");
            break;
        case kPageLayoutView:
            // A future record header of 12 bytes, the zoom of the view, then its flags.
            if (data.size() >= 16 && bit(le16(data, 14), 0)) {
                settings.view.view = ViewKind::PageLayout;
                settings.view.zoomScalePageLayoutView = le16(data, 12);
            }
            break;
        case kSharedFeature:
            // A future record header, then the feature's kind: 2 is a range that a password
            // unlocks on a protected sheet.
            if (data.size() >= 14 && le16(data, 12) == 2) {
                m_layout.uncarried.add("ranges unlocked by password");
            }
            break;
        default:
            for (const auto& [type, feature] : kUncarriedRecords) {
                if (record.type == type) {
                    m_layout.uncarried.add(std::string(feature));
                }
            }
            break;
    }
}

void BiffSheetLayoutReader::row(std::string_view data) {
    if (data.size() < 16) {
        return;
    }
    Row row;
    row.index = le16(data, 0);
    row.height = static_cast<float>(le16(data, 6) & 0x7FFF) / 20.0f;
    const uint16_t flags = le16(data, 12);
    row.outlineLevel = static_cast<uint8_t>(flags & 7);
    row.collapsed = bit(flags, 4);
    row.hidden = bit(flags, 5);
    row.customHeight = bit(flags, 6);
    if (bit(flags, 7) && m_styleOf) {
        row.style = m_styleOf(le16(data, 14) & 0x0FFF);
    }
    if (!m_layout.rows.empty() && m_layout.rows.back().index >= row.index) {
        m_rowsSorted = false;
    }
    m_layout.rows.push_back(row);
}

void BiffSheetLayoutReader::earlyRow(std::string_view data) {
    if (data.size() < 8) {
        return;
    }
    Row row;
    row.index = le16(data, 0);
    const uint16_t height = le16(data, 6);
    // The high bit marks the default height.
    row.height = static_cast<float>(height & 0x7FFF) / 20.0f;
    row.customHeight = !bit(height, 15);
    if (!m_layout.rows.empty() && m_layout.rows.back().index >= row.index) {
        m_rowsSorted = false;
    }
    m_layout.rows.push_back(row);
}

void BiffSheetLayoutReader::columnInfo(std::string_view data) {
    if (data.size() < 10) {
        return;
    }
    // A sheet of these versions has 256 columns; files give the last as 256.
    const uint16_t first = le16(data, 0);
    const uint16_t last = std::min<uint16_t>(le16(data, 2), 255);
    if (first > last) {
        return;
    }
    const uint16_t flags = le16(data, 8);
    ColumnInfo info;
    info.first = first;
    info.last = last;
    info.width = std::min(le16(data, 4) / 256.0, 255.0);
    info.hidden = bit(flags, 0);
    info.customWidth = bit(flags, 1);
    info.outlineLevel = static_cast<uint8_t>(flags >> 8 & 7);
    info.collapsed = bit(flags, 12);
    info.style = m_styleOf ? m_styleOf(le16(data, 6)) : 0;
    m_layout.columns.push_back(info);
}

void BiffSheetLayoutReader::earlyColumnWidth(std::string_view data) {
    if (data.size() < 4) {
        return;
    }
    const auto first = static_cast<uint8_t>(data[0]);
    const auto last = static_cast<uint8_t>(data[1]);
    if (first > last) {
        return;
    }
    ColumnInfo info;
    info.first = first;
    info.last = last;
    info.width = le16(data, 2) / 256.0;
    info.customWidth = true;
    m_layout.columns.push_back(info);
}

void BiffSheetLayoutReader::mergedCells(std::string_view data) {
    if (data.size() < 2) {
        return;
    }
    const size_t count = std::min<size_t>(le16(data, 0), (data.size() - 2) / 8);
    for (size_t i = 0; i < count; ++i) {
        const size_t at = 2 + 8 * i;
        const uint16_t firstRow = le16(data, at);
        const uint16_t lastRow = le16(data, at + 2);
        const uint16_t firstColumn = le16(data, at + 4);
        const uint16_t lastColumn = le16(data, at + 6);
        if (firstRow > lastRow || firstColumn > lastColumn || lastColumn >= kMaxColumns) {
            continue;  // no range a sheet can hold
        }
        CellRange range{{firstRow, firstColumn}, {lastRow, lastColumn}};
        if (range.first != range.last) {
            m_layout.merges.push_back(range);
        }
    }
}

void BiffSheetLayoutReader::window(std::string_view data) {
    if (data.size() < 6 || m_globals.earlyVersion == 2) {
        return;
    }
    const uint16_t flags = le16(data, 0);
    m_windowFlags = flags;
    SheetView& view = m_layout.settings.view;
    view.showFormulas = bit(flags, 0);
    view.showGridLines = bit(flags, 1);
    view.showRowColHeaders = bit(flags, 2);
    view.showZeros = bit(flags, 4);
    view.defaultGridColor = bit(flags, 5);
    view.rightToLeft = bit(flags, 6);
    view.showOutlineSymbols = bit(flags, 7);
    view.view = bit(flags, 11) ? ViewKind::PageBreakPreview : ViewKind::Normal;
    const CellRef topLeft{le16(data, 2), le16(data, 4)};
    if (topLeft.row != 0 || topLeft.column != 0) {
        view.topLeftCell = topLeft;
    }
    if (m_globals.biff8 && data.size() >= 14) {
        if (!view.defaultGridColor && le16(data, 6) < 64) {
            view.colorId = le16(data, 6);
        }
        view.zoomScaleSheetLayoutView = le16(data, 10);
        view.zoomScaleNormal = le16(data, 12);
    }
}

void BiffSheetLayoutReader::pane(std::string_view data) {
    if (data.size() < 9) {
        return;
    }
    Pane pane;
    pane.xSplit = le16(data, 0);
    pane.ySplit = le16(data, 2);
    pane.topLeftCell = CellRef{le16(data, 4), le16(data, 6)};
    pane.activePane = static_cast<PaneId>(static_cast<uint8_t>(data[8]) & 3);
    if (pane.xSplit == 0 && pane.ySplit == 0) {
        return;
    }
    m_layout.settings.view.pane = pane;
}

void BiffSheetLayoutReader::selection(std::string_view data) {
    std::vector<Selection>& selections = m_layout.settings.view.selections;
    constexpr size_t kMaxSelections = 4;  // one a pane
    if (data.size() < 9 || selections.size() >= kMaxSelections) {
        return;
    }
    Selection selection;
    selection.pane = static_cast<PaneId>(static_cast<uint8_t>(data[0]) & 3);
    selection.activeCell = CellRef{le16(data, 1), le16(data, 3)};
    const size_t count = std::min<size_t>(le16(data, 7), (data.size() - 9) / 6);
    for (size_t i = 0; i < count; ++i) {
        const size_t at = 9 + 6 * i;
        const uint16_t firstRow = le16(data, at);
        const uint16_t lastRow = le16(data, at + 2);
        const auto firstColumn = static_cast<uint8_t>(data[at + 4]);
        const auto lastColumn = static_cast<uint8_t>(data[at + 5]);
        if (firstRow <= lastRow && firstColumn <= lastColumn) {
            selection.ranges.push_back({{firstRow, firstColumn}, {lastRow, lastColumn}});
        }
    }
    selections.push_back(std::move(selection));
}

void BiffSheetLayoutReader::sheetExtension(std::string_view data) {
    // A future record header of 12 bytes, the record's size, then the colour index.
    if (data.size() < 20) {
        return;
    }
    const uint32_t index = le32(data, 16) & 0x7F;
    Color color;
    if (std::optional<uint32_t> argb = m_palette.argb(static_cast<uint16_t>(index))) {
        color = Color::rgb(*argb);
    }
    // The optional part may give the colour as RGB: 4 bytes of flags, then its type and value.
    if (le32(data, 12) == 0x28 && data.size() >= 40 && le32(data, 24) == 2) {
        const auto byte = [&](size_t at) {
            return static_cast<uint32_t>(static_cast<unsigned char>(data[at]));
        };
        color = Color::rgb(0xFF000000 | byte(28) << 16 | byte(29) << 8 | byte(30));
    }
    m_layout.settings.properties.tabColor = color;
}

void BiffSheetLayoutReader::setup(std::string_view data) {
    if (data.size() < 12) {
        return;
    }
    PageSetup& setup = m_layout.settings.pageSetup.emplace();
    const uint16_t flags = le16(data, 10);
    // Without printer settings, the paper, scale, resolution, copies and orientation are
    // undefined.
    const bool noPrinterSettings = bit(flags, 2);
    if (!noPrinterSettings) {
        setup.paperSize = le16(data, 0);
        const uint16_t scale = le16(data, 2);
        setup.scale = scale >= 10 && scale <= 400 ? scale : 100;
        setup.orientation = bit(flags, 6)   ? Orientation::Default
                            : bit(flags, 1) ? Orientation::Portrait
                                            : Orientation::Landscape;
    }
    const auto firstPage = static_cast<int16_t>(le16(data, 4));
    setup.useFirstPageNumber = bit(flags, 7);
    setup.firstPageNumber = firstPage > 0 ? static_cast<uint32_t>(firstPage) : 1;
    setup.fitToWidth = le16(data, 6);
    setup.fitToHeight = le16(data, 8);
    setup.pageOrder = bit(flags, 0) ? PageOrder::OverThenDown : PageOrder::DownThenOver;
    setup.blackAndWhite = bit(flags, 3);
    setup.draft = bit(flags, 4);
    setup.cellComments = !bit(flags, 5)  ? PrintedComments::None
                         : bit(flags, 9) ? PrintedComments::AtEnd
                                         : PrintedComments::AsDisplayed;
    if (m_globals.biff8) {
        setup.errors = static_cast<PrintedErrors>(flags >> 10 & 3);
    }
    if (data.size() < 34) {
        return;
    }
    if (!noPrinterSettings) {
        setup.horizontalDpi = le16(data, 12);
        setup.verticalDpi = le16(data, 14);
        setup.copies = std::max<uint16_t>(le16(data, 32), 1);
    }
    PageMargins& margins = m_layout.settings.margins;
    if (usableInches(leDouble(data, 16))) {
        margins.header = leDouble(data, 16);
    }
    if (usableInches(leDouble(data, 24))) {
        margins.footer = leDouble(data, 24);
    }
}

void BiffSheetLayoutReader::pageBreaks(std::string_view data, std::vector<PageBreak>& breaks,
                                       bool rows) {
    if (data.size() < 2) {
        return;
    }
    // Before BIFF8 a break is the line after it alone; since, with the span it crosses.
    const size_t size = m_globals.biff8 ? 6 : 2;
    const size_t count = std::min<size_t>(le16(data, 0), (data.size() - 2) / size);
    const int32_t lastAcross = (rows ? kMaxColumns : kMaxRows) - 1;
    for (size_t i = 0; i < count && breaks.size() < kMaxPageBreaks; ++i) {
        const size_t at = 2 + size * i;
        const uint16_t line = le16(data, at);
        if (line == 0) {
            continue;  // a break before the first line breaks nothing
        }
        PageBreak pageBreak;
        pageBreak.line = line - 1;
        pageBreak.max = lastAcross;
        if (size == 6) {
            pageBreak.min = std::min<int32_t>(le16(data, at + 2), lastAcross);
            pageBreak.max = std::clamp<int32_t>(le16(data, at + 4), pageBreak.min, lastAcross);
        }
        breaks.push_back(pageBreak);
    }
}

void BiffSheetLayoutReader::headerFooter(const BiffRecord& record, BiffRecordCursor& records,
                                         bool header) {
    if (record.data.empty()) {
        return;  // an empty record: no text
    }
    std::string text;
    try {
        if (m_globals.biff8) {
            std::vector<std::string_view> segments{record.data};
            records.takeContinues(segments);
            BiffContinuedReader reader(std::move(segments), "cut short");
            text = reader.unicodeString(2, BiffContinuedReader::Layout::Plain);
        } else {
            const size_t count = static_cast<unsigned char>(record.data[0]);
            if (record.data.size() < 1 + count) {
                return;
            }
            dbf::CodePageConverter codePage(biffCodePageName(m_globals.codePage));
            codePage.appendUtf8(text, record.data.substr(1, count));
        }
    } catch (const BiffDamage&) {
        return;
    }
    if (text.empty()) {
        return;
    }
    HeaderFooter& texts = m_layout.settings.headerFooter ? *m_layout.settings.headerFooter
                                                         : m_layout.settings.headerFooter.emplace();
    (header ? texts.oddHeader : texts.oddFooter) = std::move(text);
}

void BiffSheetLayoutReader::protectionFlags(std::string_view data) {
    // A future record header of 12 bytes, the feature's kind (2: protection), a reserved
    // byte, the size of its data (4 bytes; protection gives all ones) and the data: what a
    // protected sheet allows.
    if (data.size() < 23 || le16(data, 12) != 2 || le32(data, 15) == 0) {
        return;
    }
    const uint32_t allowed = le32(data, 19);
    SheetProtection& p = protection();
    p.objects = !bit(allowed, 0);
    p.scenarios = !bit(allowed, 1);
    p.formatCells = !bit(allowed, 2);
    p.formatColumns = !bit(allowed, 3);
    p.formatRows = !bit(allowed, 4);
    p.insertColumns = !bit(allowed, 5);
    p.insertRows = !bit(allowed, 6);
    p.insertHyperlinks = !bit(allowed, 7);
    p.deleteColumns = !bit(allowed, 8);
    p.deleteRows = !bit(allowed, 9);
    p.selectLockedCells = !bit(allowed, 10);
    p.sort = !bit(allowed, 11);
    p.autoFilter = !bit(allowed, 12);
    p.pivotTables = !bit(allowed, 13);
    p.selectUnlockedCells = !bit(allowed, 14);
}

void BiffSheetLayoutReader::drawingObject(std::string_view data) {
    // The first sub-record of an object (its common data) tells its kind.
    if (data.size() < 6 || le16(data, 0) != 0x15) {
        return;
    }
    switch (le16(data, 4)) {
        case 0x05:
            m_layout.uncarried.add("charts");
            break;
        case 0x08:
            m_layout.uncarried.add("pictures");
            break;
        case 0x07:  // button
        case 0x0B:  // check box
        case 0x0C:  // option button
        case 0x0D:  // edit box
        case 0x0E:  // label
        case 0x0F:  // dialog box
        case 0x10:  // spinner
        case 0x11:  // scroll bar
        case 0x12:  // list box
        case 0x13:  // group box
        case 0x70:  // dialog
            m_layout.uncarried.add("form or ActiveX controls");
            break;
        case 0x14:  // the drop-down arrows of autofilters and validation lists
        case 0x19:  // a note
            break;
        default:
            m_layout.uncarried.add("shapes");
            break;
    }
}

PrintOptions& BiffSheetLayoutReader::printOptions() {
    std::optional<PrintOptions>& options = m_layout.settings.printOptions;
    return options ? *options : options.emplace();
}

SheetProtection& BiffSheetLayoutReader::protection() {
    std::optional<SheetProtection>& protection = m_layout.settings.protection;
    return protection ? *protection : protection.emplace();
}

BiffSheetLayout BiffSheetLayoutReader::finish() {
    BiffSheetLayout& layout = m_layout;
    // Rows: sorted, the last record of a row holding; only those that say something kept.
    std::vector<Row>& rows = layout.rows;
    if (!m_rowsSorted) {
        std::stable_sort(rows.begin(), rows.end(),
                         [](const Row& a, const Row& b) { return a.index < b.index; });
    }
    const double defaultHeight = layout.defaultRowHeight.value_or(0.0);
    std::vector<Row> kept;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i + 1 < rows.size() && rows[i + 1].index == rows[i].index) {
            continue;
        }
        Row row = rows[i];
        if (!row.customHeight && std::abs(row.height - defaultHeight) < 0.01) {
            row.height = 0.0f;  // the sheet's default
        }
        if (row.height > 0 || row.hasOwnFormat()) {
            kept.push_back(row);
        }
    }
    rows = std::move(kept);
    // Columns: sorted, a run that overlaps one before it cut to what is left.
    std::vector<ColumnInfo>& columns = layout.columns;
    std::stable_sort(columns.begin(), columns.end(),
                     [](const ColumnInfo& a, const ColumnInfo& b) { return a.first < b.first; });
    std::vector<ColumnInfo> runs;
    for (ColumnInfo column : columns) {
        if (!runs.empty() && column.first <= runs.back().last) {
            column.first = runs.back().last + 1;
            if (column.first > column.last) {
                continue;
            }
        }
        runs.push_back(column);
    }
    columns = std::move(runs);
    // The default columns' width, margins included: STANDARDWIDTH, else the digits of
    // DEFCOLWIDTH (8 when there is none) and margins of 5 pixels on a 7-pixel digit. A width
    // nobody set that is this width is the default; any other is a width of its own.
    const double standard = m_standardWidth.value_or(m_baseWidth + 0.71);
    layout.defaultColumnWidth = standard;
    for (ColumnInfo& column : columns) {
        if (!column.customWidth) {
            if (std::abs(column.width - standard) < 0.1) {
                column.width = 0.0;
            } else {
                column.customWidth = column.width > 0;
            }
        }
    }
    // Flags of what a protected sheet allows mean nothing on a sheet that is not protected.
    if (layout.settings.protection && !layout.settings.protection->sheet) {
        layout.settings.protection.reset();
    }
    // Panes: frozen or split as the window says.
    SheetView& view = layout.settings.view;
    if (view.pane) {
        Pane& pane = *view.pane;
        const bool frozen = m_windowFlags && bit(*m_windowFlags, 3);
        if (frozen) {
            pane.state = bit(*m_windowFlags, 8) ? PaneState::Frozen : PaneState::FrozenSplit;
            if (pane.xSplit > kMaxColumns || pane.ySplit > kMaxRows) {
                view.pane.reset();
                layout.uncarried.add("window panes (their split lies outside the sheet)");
            }
        }
    }
    // The selected cell is the active cell of the active pane's selection.
    const PaneId active = view.pane ? view.pane->activePane : PaneId::TopLeft;
    for (const Selection& selection : view.selections) {
        if (selection.activeCell && (selection.pane == active || !layout.selectedCell)) {
            layout.selectedCell = selection.activeCell;
        }
    }
    return std::move(m_layout);
}

namespace {

// Gives a row of the sheet what its ROW record says, its cells aside.
void takeFormat(const Row& format, Row& row) {
    row.height = format.height;
    row.hidden = format.hidden;
    row.customHeight = format.customHeight;
    row.outlineLevel = format.outlineLevel;
    row.collapsed = format.collapsed;
    row.style = format.style;
}

}  // namespace

void BiffRowFormats::appendBefore(Sheet& sheet, int32_t index) {
    while (m_next < m_formats.size() && m_formats[m_next].index < index) {
        const Row& format = m_formats[m_next++];
        if (format.hasOwnFormat()) {
            takeFormat(format, sheet.appendRow(format.index));
        }
    }
}

void BiffRowFormats::apply(Row& row) {
    while (m_next < m_formats.size() && m_formats[m_next].index < row.index) {
        ++m_next;
    }
    if (m_next < m_formats.size() && m_formats[m_next].index == row.index) {
        takeFormat(m_formats[m_next++], row);
    }
}

bool BiffRowFormats::formatsCell(int32_t row, int32_t column,
                                 const std::vector<ColumnInfo>& columns) const {
    auto format = std::lower_bound(m_formats.begin(), m_formats.end(), row,
                                   [](const Row& r, int32_t index) { return r.index < index; });
    if (format != m_formats.end() && format->index == row && format->style != 0) {
        return true;
    }
    auto run = std::lower_bound(columns.begin(), columns.end(), column,
                                [](const ColumnInfo& c, int32_t index) { return c.last < index; });
    return run != columns.end() && run->first <= column && run->style != 0;
}

void applySheetLayout(BiffSheetLayout& layout, Sheet& sheet) {
    sheet.columns() = std::move(layout.columns);
    sheet.merges() = std::move(layout.merges);
    if (layout.defaultColumnWidth) {
        sheet.setDefaultColumnWidth(*layout.defaultColumnWidth);
    }
    if (layout.defaultRowHeight) {
        sheet.setDefaultRowHeight(*layout.defaultRowHeight);
    }
    if (layout.selectedCell) {
        sheet.setSelectedCell(*layout.selectedCell);
    }
    sheet.settings() = std::move(layout.settings);
    for (const std::string& feature : layout.uncarried.list()) {
        sheet.uncarried().add(feature);
    }
}

}  // namespace plyfold::engine::xls
