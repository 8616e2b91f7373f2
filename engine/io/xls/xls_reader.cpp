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
#include "engine/io/xls/biff_records.h"
#include "engine/io/xls/biff_sheet_formulas.h"
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
    bool sharedStringsRead = false;
    std::vector<std::string> sharedStrings;
    BiffFormulaLinks formulaLinks;
};

uint32_t styleWithFormat(Workbook& workbook, std::string_view code) {
    CellStyle style;
    style.numberFormat = workbook.styles().addFormatCode(code);
    return workbook.styles().addStyle(style);
}

// The styles that give a sheet's numbers the number formats of their cell formats, each made
// once. A date whose format is unknown gets a date, a date and time or a time of day, chosen
// by what the number holds.
class NumberStyles {
public:
    NumberStyles(Workbook& workbook, const BiffGlobals& globals)
        : m_workbook(workbook), m_globals(globals) {}

    uint32_t styleOf(const BiffCellValue& value) {
        if (value.xf < m_globals.xfFormatCode.size()) {
            const std::string& code = m_globals.xfFormatCode[value.xf];
            if (!code.empty() && !equalsIgnoringAsciiCase(code, "General")) {
                auto [known, added] = m_byFormat.try_emplace(value.xf, 0);
                if (added) {
                    known->second = styleWithFormat(m_workbook, code);
                }
                return known->second;
            }
        }
        if (!value.isDate) {
            return 0;
        }
        const double whole = std::floor(value.number);
        uint32_t& style = value.number < 1.0 ? m_time : whole == value.number ? m_date : m_dateTime;
        if (!style) {
            style = styleWithFormat(m_workbook, &style == &m_time   ? "h:mm:ss"
                                                : &style == &m_date ? "m/d/yyyy"
                                                                    : "m/d/yyyy h:mm");
        }
        return style;
    }

private:
    Workbook& m_workbook;
    const BiffGlobals& m_globals;
    std::unordered_map<uint16_t, uint32_t> m_byFormat;
    uint32_t m_date = 0;
    uint32_t m_dateTime = 0;
    uint32_t m_time = 0;
};

Cell cellOfBiffValue(Workbook& workbook, const BiffCellValue& value, NumberStyles& styles) {
    Cell cell;
    cell.column = value.column;
    cell.type = value.type;
    switch (value.type) {
        case CellType::Number:
            cell.value.number = value.number;
            cell.style = styles.styleOf(value);
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

void readSheet(XlsSource& source, size_t index, Sheet& sheet) {
    Workbook& workbook = sheet.workbook();
    if (!source.sharedStringsRead) {
        source.sharedStrings = readSharedStrings(source.stream, source.globals);
        // Kept for every sheet read later, so counted for the workbook. They come from the
        // workbook stream, whose size bounds them.
        uint64_t bytes = source.sharedStrings.capacity() * sizeof(std::string);
        for (const std::string& text : source.sharedStrings) {
            bytes += text.capacity() > 15 ? text.capacity() + 1 : 0;
        }
        workbook.memory().charge(bytes);
        source.sharedStringsRead = true;
    }
    NumberStyles styles(workbook, source.globals);
    struct Placed {
        uint32_t row;
        Cell cell;
    };
    // The cells are gathered, then sorted into rows: counted while they are gathered.
    ScopedCharge gathered(workbook.memory());
    constexpr size_t kCountEvery = 4096;
    std::vector<Placed> cells;
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
            if (cells.size() % kCountEvery == 0) {
                gathered.add(kCountEvery * sizeof(Placed));
            }
            if (!value.formula.empty()) {
                formulas.addCell(value.row, value.column, value.formula);
            }
            cells.push_back({value.row, cellOfBiffValue(workbook, value, styles)});
        },
        [&](const BiffRecord& record, BiffRecordCursor&) { formulas.takeRecord(record); });
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
        if (cell.type == CellType::Blank && !cell.hasFormula() && cell.style == 0) {
            continue;  // a formula kept as its value, which it does not have
        }
        if (!row || row->index != static_cast<int32_t>(cells[i].row)) {
            row = &sheet.appendRow(static_cast<int32_t>(cells[i].row));
        }
        row->cells.push_back(cell);
    }
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

// The font of the default cell format becomes the workbook's default font, which every cell
// read from the file shows (the fonts of other cell formats are not read).
void applyDefaultFont(const BiffGlobals& globals, Workbook& workbook) {
    if (!globals.defaultFont || globals.defaultFont->name.empty()) {
        return;
    }
    const BiffFont& read = *globals.defaultFont;
    Font font;
    font.name = read.name;
    font.size = read.points;
    font.bold = read.bold;
    font.italic = read.italic;
    font.strike = read.strike;
    switch (read.underline) {
        case 0x01:
            font.underline = Underline::Single;
            break;
        case 0x02:
            font.underline = Underline::Double;
            break;
        case 0x21:
            font.underline = Underline::SingleAccounting;
            break;
        case 0x22:
            font.underline = Underline::DoubleAccounting;
            break;
        default:
            break;
    }
    font.family = read.family;
    font.charset = read.charset;
    font.scheme.clear();  // a font of its own, not one of a theme
    workbook.styles().setDefaultFont(font);
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
    applyDefaultFont(globals, *workbook);
    // The workbook stream stays in memory for the sheets read later.
    workbook->memory().charge(source->stream.size());
    // The worksheet read from each place in the stream: two sheets that point at one sheet's
    // records are damage no spreadsheet program writes, and each would hold all of its cells.
    std::unordered_map<uint32_t, const std::string*> sheetAt;
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
