#include "engine/io/xls/xls_reader.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <unordered_map>

#include "engine/common/byte_order.h"
#include "engine/common/error.h"
#include "engine/common/file_access.h"
#include "engine/common/memory_budget.h"
#include "engine/common/text.h"
#include "engine/io/compound/compound_file.h"
#include "engine/io/xls/biff_cell_values.h"
#include "engine/io/xls/biff_formula_globals.h"
#include "engine/io/xls/biff_globals.h"
#include "engine/io/xls/biff_notes.h"
#include "engine/io/xls/biff_records.h"
#include "engine/io/xls/biff_rich_text.h"
#include "engine/io/xls/biff_sheet_formulas.h"
#include "engine/io/xls/biff_sheet_layout.h"
#include "engine/io/xls/biff_styles.h"
#include "engine/model/limits.h"

namespace plyfold::engine::xls {
namespace {

constexpr const char* kNotAWorkbook =
    "is not an Excel 97-2003 workbook, or its file header is damaged";
constexpr const char* kBrokenDirectory = "is damaged: its internal table of contents is broken";
constexpr const char* kBadBeginning = "is damaged: its workbook data does not begin as it should";
constexpr const char* kEndsEarly = "is damaged: the file ends before its contents do";
constexpr const char* kNoWorkbookStream =
    "holds no workbook data that Plyfold can find (it may be another kind of Office document, "
    "or its workbook stream is stored in a way Plyfold cannot read)";

[[noreturn]] void fail(const std::string& displayName, const std::string& what) {
    throw SpreadsheetError(ErrorNumber::ApplicationDefined, "'" + displayName + "' " + what + ".");
}

[[noreturn]] void failProtected(const std::string& displayName) {
    fail(displayName,
         "is protected by a password; Plyfold cannot open protected workbooks. Remove the "
         "password in a spreadsheet program and try again");
}

// What the sheets of a workbook share: the workbook stream and its globals; the shared
// strings are read with the first sheet that is loaded.
struct XlsSource {
    std::string displayName;
    std::mutex mutex;
    std::string stream;
    BiffGlobals globals;
    BiffWindowGlobals window;
    bool sharedStringsRead = false;
    std::vector<std::string> sharedStrings;
    // The workbook font of each FONT index the runs of notes name, added once.
    std::unordered_map<uint16_t, uint32_t> noteFontIds;
    std::vector<std::vector<BiffTextRun>> sharedRuns;  // of the shared strings formatted in parts
    std::vector<uint32_t> sharedRichIds;  // Cell::richText of each shared string, made once
    BiffCellFormats formats;
    BiffFormulaLinks formulaLinks;
};

uint32_t noteFontId(XlsSource& source, Workbook& workbook, uint16_t index) {
    auto [known, added] = source.noteFontIds.try_emplace(index, TextRun::kCellFont);
    if (added) {
        if (std::optional<Font> font = source.formats.fontAt(index)) {
            known->second = workbook.styles().addFont(*font);
        }
    }
    return known->second;
}

// The styles of a sheet's cells: the workbook style of each cell's format, imported once for
// the workbook. A date whose number format is unknown gets a date, a date and time or a time
// of day over its format's other attributes, chosen by what the number holds.
class CellStyles {
public:
    CellStyles(Workbook& workbook, BiffCellFormats& formats)
        : m_styles(workbook.styles()), m_formats(formats) {}

    uint32_t styleOf(const BiffCellValue& value) {
        const uint32_t style = m_formats.styleId(value.xf, m_styles);
        if (value.type != CellType::Number || !value.isDate ||
            m_styles.style(style).numberFormat != 0) {
            return style;
        }
        const double whole = std::floor(value.number);
        const int kind = value.number < 1.0 ? 0 : whole == value.number ? 1 : 2;
        auto [known, added] = m_dates.try_emplace(uint64_t{style} << 2 | kind, 0);
        if (added) {
            static constexpr const char* kCodes[3] = {"h:mm:ss", "m/d/yyyy", "m/d/yyyy h:mm"};
            CellStyle dated = m_styles.style(style);
            dated.numberFormat = m_styles.addFormatCode(kCodes[kind]);
            known->second = m_styles.addStyle(dated);
        }
        return known->second;
    }

private:
    StyleTable& m_styles;
    BiffCellFormats& m_formats;
    std::unordered_map<uint64_t, uint32_t> m_dates;
};

constexpr uint32_t kUnmade = UINT32_MAX;

// The rich text a text cell formatted in parts refers to (Cell::richText), made once for each
// shared string; 0 for a text that is not.
uint32_t sharedRichText(XlsSource& source, Workbook& workbook, const BiffCellValue& value) {
    if (!value.runs.empty()) {
        RichText text = richTextOf(value.text, value.runs, source.formats, workbook.styles());
        return text.runs.empty() ? 0 : workbook.addRichText(std::move(text)) + 1;
    }
    if (value.sharedString >= source.sharedRichIds.size()) {
        return 0;
    }
    uint32_t& id = source.sharedRichIds[value.sharedString];
    if (id == kUnmade) {
        RichText text = richTextOf(value.text, source.sharedRuns[value.sharedString],
                                   source.formats, workbook.styles());
        id = text.runs.empty() ? 0 : workbook.addRichText(std::move(text)) + 1;
    }
    return id;
}

Cell cellOfBiffValue(Workbook& workbook, const BiffCellValue& value, CellStyles& styles) {
    Cell cell;
    cell.column = value.column;
    cell.type = value.type;
    cell.style = styles.styleOf(value);
    switch (value.type) {
        case CellType::Number:
            cell.value.number = value.number;
            break;
        case CellType::Text:
            cell.value.text = workbook.strings().intern(value.text);
            break;
        case CellType::Boolean:
            cell.value.boolean = value.boolean;
            break;
        case CellType::Error:
            cell.value.error = value.error;
            break;
        case CellType::Blank:
            break;
    }
    return cell;
}

// The links and notes read with a sheet's cells, counted as loaded with them.
void keepNotes(Sheet& sheet, BiffNotesReader& notes) {
    std::vector<Hyperlink> links = notes.takeHyperlinks();
    std::vector<Comment> comments = notes.takeComments();
    uint64_t bytes = 0;
    for (const Hyperlink& link : links) {
        bytes += sizeof link + link.target.size() + link.location.size() + link.display.size() +
                 link.tooltip.size();
    }
    for (const Comment& comment : comments) {
        bytes += sizeof comment + comment.author.size();
        for (const TextRun& run : comment.text.runs) {
            bytes += sizeof run + run.text.size();
        }
    }
    sheet.countLoaded(bytes);
    sheet.setLoadedNotes(std::move(links), std::move(comments));
}

void readSheet(XlsSource& source, size_t index, Sheet& sheet) {
    Workbook& workbook = sheet.workbook();
    if (!source.sharedStringsRead) {
        source.sharedStrings = readSharedStrings(source.stream, source.globals, &source.sharedRuns);
        source.sharedRichIds.assign(source.sharedRuns.size(), kUnmade);
        // Kept for every sheet read later, so counted for the workbook. They come from the
        // workbook stream, whose size bounds them.
        uint64_t bytes = source.sharedStrings.capacity() * sizeof(std::string);
        for (const std::string& text : source.sharedStrings) {
            bytes += text.capacity() > 15 ? text.capacity() + 1 : 0;
        }
        workbook.memory().charge(bytes);
        source.sharedStringsRead = true;
    }
    CellStyles styles(workbook, source.formats);
    struct Placed {
        uint32_t row;
        Cell cell;
    };
    // The cells are gathered, then sorted into rows: counted while they are gathered.
    ScopedCharge gathered(workbook.memory());
    constexpr size_t kCountEvery = 4096;
    std::vector<Placed> cells;
    BiffNotesReader notes(source.globals, [&source, &workbook](uint16_t fontIndex) {
        return noteFontId(source, workbook, fontIndex);
    });
    BiffSheetLayoutReader layoutReader(source.globals, source.formats.palette(),
                                       source.formats.styleLookup(workbook.styles()));
    BiffSheetFormulas formulas(source.formulaLinks, static_cast<int32_t>(index));
    readSheetValues(
        source.stream, source.globals.sheets[index], source.globals, source.sharedStrings,
        [&](BiffCellValue& value) {
            if (value.row >= static_cast<uint32_t>(kMaxRows) || value.column >= kMaxColumns) {
                throw BiffDamage("is damaged: a cell lies outside its sheet");
            }
            if (value.type == CellType::Text &&
                utf16Length(value.text) > static_cast<size_t>(kMaxCellTextLength)) {
                throw BiffDamage("is damaged: a cell of the sheet '" + sheet.name() +
                                 "' holds more than 32,767 characters");
            }
            Cell cell = cellOfBiffValue(workbook, value, styles);
            if (cells.size() % kCountEvery == 0) {
                gathered.add(kCountEvery * sizeof(Placed));
            }
            if (cell.type == CellType::Text) {
                cell.richText = sharedRichText(source, workbook, value);
            }
            if (!value.formula.empty()) {
                formulas.addCell(value.row, value.column, value.formula);
            }
            cells.push_back({value.row, cell});
        },
        [&](const BiffRecord& record, BiffRecordCursor& records) {
            formulas.takeRecord(record);
            notes.record(record, records);
            layoutReader.record(record, records);
        });
    keepNotes(sheet, notes);
    BiffSheetLayout layout = layoutReader.finish();
    BiffRowFormats rowFormats(layout.rows);
    // Records come row by row but need not; where two give one cell, the later one holds.
    std::stable_sort(cells.begin(), cells.end(), [](const Placed& a, const Placed& b) {
        return a.row != b.row ? a.row < b.row : a.cell.column < b.cell.column;
    });
    formulas.apply(sheet, [&](CellRef at) -> Cell* {
        // The last of the cells at `at`, the one that holds.
        auto after =
            std::upper_bound(cells.begin(), cells.end(), at, [](CellRef ref, const Placed& p) {
                return ref.row != static_cast<int32_t>(p.row)
                           ? ref.row < static_cast<int32_t>(p.row)
                           : ref.column < p.cell.column;
            });
        if (after == cells.begin()) {
            return nullptr;
        }
        Placed& found = *(after - 1);
        return static_cast<int32_t>(found.row) == at.row && found.cell.column == at.column
                   ? &found.cell
                   : nullptr;
    });
    Row* row = nullptr;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i + 1 < cells.size() && cells[i + 1].row == cells[i].row &&
            cells[i + 1].cell.column == cells[i].cell.column) {
            continue;
        }
        const Cell& cell = cells[i].cell;
        // A blank cell of the default format holds nothing, unless it hides its row's or
        // column's format.
        if (cell.type == CellType::Blank && !cell.hasFormula() && cell.style == 0 &&
            !rowFormats.formatsCell(static_cast<int32_t>(cells[i].row), cell.column,
                                    layout.columns)) {
            continue;
        }
        if (!row || row->index != static_cast<int32_t>(cells[i].row)) {
            rowFormats.appendBefore(sheet, static_cast<int32_t>(cells[i].row));
            row = &sheet.appendRow(static_cast<int32_t>(cells[i].row));
            rowFormats.apply(*row);
        }
        row->cells.push_back(cell);
    }
    rowFormats.appendRest(sheet);
    applySheetLayout(layout, sheet);
}

void loadSheet(XlsSource& source, size_t index, Sheet& sheet) {
    std::lock_guard lock(source.mutex);
    try {
        readSheet(source, index, sheet);
    } catch (const BiffDamage& damage) {
        fail(source.displayName, damage.what());
    }
}

// A usable sheet name for what the file calls a sheet: damaged files may give an empty
// name, forbidden characters or one name twice.
std::string usableSheetName(Workbook& workbook, std::string name, size_t index) {
    if (!sheetNameProblem(name).empty()) {
        for (char& c : name) {
            if (std::string_view(":\\/?*[]").find(c) != std::string_view::npos) {
                c = '_';
            }
        }
        name = std::string(utf16Prefix(name, kMaxSheetNameLength));
        while (!name.empty() && name.front() == '\'') {
            name.erase(0, 1);
        }
        while (!name.empty() && name.back() == '\'') {
            name.pop_back();
        }
        if (!sheetNameProblem(name).empty()) {
            name = "Sheet" + std::to_string(index + 1);
        }
    }
    return workbook.uniqueSheetName(name);
}

void addSheet(Workbook& workbook, const std::shared_ptr<XlsSource>& source, size_t i,
              const BiffSheetInfo& kind, const std::string& rawName) {
    if (kind.type != BiffSheetInfo::Type::Worksheet && kind.type != BiffSheetInfo::Type::Chart) {
        return;  // macro sheets, dialog sheets and modules hold no worksheet data
    }
    std::string name = usableSheetName(workbook, rawName, i);
    const bool chart = kind.type == BiffSheetInfo::Type::Chart;
    Sheet& sheet = workbook.addSheet(name, chart ? SheetKind::Chartsheet : SheetKind::Worksheet);
    sheet.setVisibility(kind.visibility == 1   ? SheetVisibility::Hidden
                        : kind.visibility == 2 ? SheetVisibility::VeryHidden
                                               : SheetVisibility::Visible);
    if (!chart) {
        sheet.setLoader([source, i](Sheet& s) { loadSheet(*source, i, s); });
    }
}

// The workbook as our own reader lists it, from the globals of its stream.
std::unique_ptr<Workbook> openOwn(const std::shared_ptr<XlsSource>& source) {
    const BiffGlobals& globals = source->globals;
    if (globals.isEarlyWorkbook) {
        fail(source->displayName,
             "is an Excel 4 workbook, which Plyfold cannot read; save it in a later Excel format "
             "and try again");
    }
    if (globals.earlyVersion && globals.sheets[0].type != BiffSheetInfo::Type::Worksheet) {
        fail(source->displayName,
             "holds no worksheet: it is a chart or macro sheet of Excel 2 to 4, which Plyfold "
             "cannot read");
    }
    if (!globals.isBiff5Or8 && !globals.earlyVersion) {
        fail(source->displayName, kBadBeginning);
    }
    if (!globals.complete) {
        fail(source->displayName, kEndsEarly);
    }
    if (globals.sheets.empty()) {
        fail(source->displayName, "is damaged: it lists no sheets");
    }
    auto workbook = std::make_unique<Workbook>();
    workbook->setPath(source->displayName);
    workbook->setDate1904(globals.date1904);
    source->formats = BiffCellFormats(source->stream, globals);
    workbook->memory().charge(source->formats.memoryBytes());
    if (const std::optional<Font>& font = source->formats.defaultFont()) {
        workbook->styles().setDefaultFont(*font);
    }
    // The workbook stream stays in memory for the sheets read later.
    workbook->memory().charge(source->stream.size());
    // The worksheet read from each place in the stream: two sheets that point at one sheet's
    // records are damage no spreadsheet program writes, and each would hold all of its cells.
    std::unordered_map<uint32_t, const std::string*> sheetAt;
    source->window = readBiffWindowGlobals(source->stream, globals);
    std::vector<int32_t> modelSheetOf;  // for each sheet of the globals
    for (size_t i = 0; i < globals.sheets.size() && i <= 0xFFFF; ++i) {
        const BiffSheetInfo& info = globals.sheets[i];
        if (info.type == BiffSheetInfo::Type::Worksheet) {
            auto [owner, added] = sheetAt.try_emplace(info.position, &info.name);
            if (!added) {
                fail(source->displayName, "is damaged: its sheets '" + *owner->second + "' and '" +
                                              info.name +
                                              "' take their cells from the same place in the file");
            }
        }
        const int32_t before = workbook->sheetCount();
        addSheet(*workbook, source, i, info, info.name);
        if (i == source->window.selectedTab && workbook->sheetCount() > before) {
            workbook->setActiveSheet(before);  // the selected tab, among the sheets kept
        }
        modelSheetOf.push_back(workbook->sheetCount() > before ? before : -1);
    }
    source->formulaLinks = readFormulaLinks(source->stream, globals, modelSheetOf, *workbook);
    workbook->setSource(source);
    return workbook;
}

// The stream begins with the BOF record of BIFF2, BIFF3 or BIFF4.
bool isEarlyBof(std::string_view bytes) {
    if (bytes.size() < 2) {
        return false;
    }
    const uint16_t type = le16(bytes, 0);
    return type == 0x0009 || type == 0x0209 || type == 0x0409;
}

std::unique_ptr<Workbook> openXls(const std::shared_ptr<XlsSource>& source,
                                  std::string_view bytes) {
    const std::string& displayName = source->displayName;
    const bool inContainer = bytes.substr(0, compound::kSignature.size()) == compound::kSignature;
    BiffGlobals globals;
    if (inContainer) {
        try {
            compound::CompoundFile container(bytes);
            if (container.hasEntry("EncryptionInfo") || container.hasEntry("EncryptedPackage")) {
                failProtected(displayName);
            }
            auto stream = container.readStream({"Workbook", "Book"});
            if (!stream) {
                fail(displayName, kNoWorkbookStream);
            }
            source->stream = std::move(*stream);
        } catch (const compound::CompoundDamage&) {
            fail(displayName, kBrokenDirectory);
        }
        globals = scanBiffGlobals(source->stream);
    } else if (bytes.size() >= 2 && le16(bytes, 0) == 0x0809) {
        // A BIFF5 or BIFF8 workbook stream saved without its container.
        source->stream = std::string(bytes);
        globals = scanBiffGlobals(source->stream);
    } else if (isEarlyBof(bytes)) {
        // A worksheet of Excel 2 to 4: one sheet in a stream of its own.
        source->stream = std::string(bytes);
        globals = scanEarlyBiffGlobals(source->stream);
    }
    if (globals.encrypted) {
        failProtected(displayName);
    }
    source->globals = globals;
    if (!inContainer && !globals.isBiff5Or8 && !globals.earlyVersion) {
        fail(displayName, kNotAWorkbook);
    }
    return openOwn(source);
}

}  // namespace

std::unique_ptr<Workbook> readXls(const std::string& path) {
    return readXls(files::InputFile(path));
}

std::unique_ptr<Workbook> readXls(const files::InputFile& file) {
    auto source = std::make_shared<XlsSource>();
    source->displayName = file.path();
    return openXls(source, file.readAll());
}

std::unique_ptr<Workbook> readBiffStream(const std::string& stream,
                                         const std::string& displayName) {
    auto source = std::make_shared<XlsSource>();
    source->displayName = displayName;
    source->stream = stream;
    source->globals =
        isEarlyBof(stream) ? scanEarlyBiffGlobals(source->stream) : scanBiffGlobals(source->stream);
    if (source->globals.encrypted) {
        failProtected(displayName);
    }
    return openOwn(source);
}

std::unique_ptr<Workbook> readXlsFromMemory(const std::string& bytes,
                                            const std::string& displayName) {
    auto source = std::make_shared<XlsSource>();
    source->displayName = displayName;
    return openXls(source, bytes);
}

}  // namespace plyfold::engine::xls
