#include "engine/xls/xls_reader.h"

#include <freexl.h>
#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <stdexcept>

#include "engine/csv/file_bytes.h"
#include "engine/error.h"
#include "engine/limits.h"
#include "engine/text.h"
#include "engine/xls/biff_cell_values.h"
#include "engine/xls/biff_globals.h"
#include "engine/xls/biff_records.h"
#include "engine/xls/compound_file.h"
#include "engine/xls/freexl_dates.h"

namespace plyfold::engine::xls {
namespace {

std::string describeFreeXlError(int code) {
    switch (code) {
        case FREEXL_INVALID_CFBF_HEADER:
        case FREEXL_CFBF_INVALID_SIGNATURE:
            return "is not an Excel 97-2003 workbook, or its file header is damaged";
        case FREEXL_CFBF_READ_ERROR:
        case FREEXL_CFBF_SEEK_ERROR:
            return "is damaged: the file ends before its contents do";
        case FREEXL_CFBF_INVALID_SECTOR_SIZE:
        case FREEXL_CFBF_EMPTY_FAT_CHAIN:
        case FREEXL_CFBF_ILLEGAL_FAT_ENTRY:
        case FREEXL_INVALID_MINI_STREAM:
        case FREEXL_CFBF_ILLEGAL_MINI_FAT_ENTRY:
            return "is damaged: its internal table of contents is broken";
        case FREEXL_BIFF_INVALID_BOF:
            return "is damaged: its workbook data does not begin as it should";
        case FREEXL_BIFF_INVALID_SST:
        case FREEXL_BIFF_ILLEGAL_SST_INDEX:
            return "is damaged: its table of shared texts is broken";
        case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
            return "holds no workbook data that Plyfold can find (it may be another kind of Office "
                   "document, or its workbook stream is stored in a way Plyfold cannot read)";
        case FREEXL_INVALID_CHARACTER:
            return "holds text that cannot be converted from its code page";
        case FREEXL_UNSUPPORTED_CHARSET:
            return "uses a code page Plyfold cannot convert";
        case FREEXL_ILLEGAL_RK_VALUE:
            return "is damaged: a number in it cannot be decoded";
        case FREEXL_CRAFTED_FILE:
            return "is damaged or deliberately malformed";
        case FREEXL_ILLEGAL_CELL_ROW_COL:
            return "is damaged: a cell lies outside its sheet";
        default:
            return "could not be read: it is damaged or uses features Plyfold cannot read";
    }
}

[[noreturn]] void fail(const std::string& displayName, const std::string& what) {
    throw SpreadsheetError(ErrorNumber::ApplicationDefined, "'" + displayName + "' " + what + ".");
}

[[noreturn]] void failProtected(const std::string& displayName) {
    fail(displayName,
         "is protected by a password; Plyfold cannot open protected workbooks. Remove the "
         "password in a spreadsheet program and try again");
}

// FreeXL reports some failures as success with no handle; this code stands for them.
constexpr int kFreeXlGaveNoHandle = -1000;

// An open FreeXL handle.
class FreeXlHandle {
public:
    FreeXlHandle() = default;
    FreeXlHandle(const FreeXlHandle&) = delete;
    FreeXlHandle& operator=(const FreeXlHandle&) = delete;
    ~FreeXlHandle() { close(); }

    // FREEXL_OK with a handle, or what went wrong.
    int tryOpen(const std::string& path, bool infoOnly) {
        close();
        int code = infoOnly ? freexl_open_info(path.c_str(), &m_handle)
                            : freexl_open(path.c_str(), &m_handle);
        if (code != FREEXL_OK || !m_handle) {
            close();
            return code != FREEXL_OK ? code : kFreeXlGaveNoHandle;
        }
        return FREEXL_OK;
    }

    void open(const std::string& path, bool infoOnly, const std::string& displayName) {
        failOn(tryOpen(path, infoOnly), displayName);
    }

    static void failOn(int code, const std::string& displayName) {
        if (code != FREEXL_OK) {
            if (code == FREEXL_INSUFFICIENT_MEMORY) {
                throw SpreadsheetError(ErrorNumber::OutOfMemory,
                                       "There is not enough memory to read '" + displayName + "'.");
            }
            if (code == FREEXL_FILE_NOT_FOUND) {
                throw SpreadsheetError(ErrorNumber::FileNotFound,
                                       "'" + displayName + "' could not be found.");
            }
            fail(displayName, describeFreeXlError(code));
        }
    }

    void close() {
        if (m_handle) {
            freexl_close(m_handle);
        }
        m_handle = nullptr;
    }

    const void* get() const { return m_handle; }

private:
    const void* m_handle = nullptr;
};

// What the sheets of a workbook share: the file (a temporary copy for bytes in memory) and
// the FreeXL handle that reads their cells, opened once at the first sheet that is loaded.
struct XlsSource {
    std::string path;
    std::string displayName;
    bool temporary = false;
    bool date1904 = false;
    std::mutex mutex;
    FreeXlHandle cells;
    bool cellsOpen = false;
    // The workbook stream and its globals, for the values FreeXL leaves out; empty when the
    // container could not be read by us.
    std::string stream;
    BiffGlobals globals;
    bool kindsKnown = false;
    // Our own reader reads the cells (FreeXL refused the file); the shared strings are read
    // with the first sheet.
    bool ownReader = false;
    bool sharedStringsRead = false;
    std::vector<std::string> sharedStrings;

    ~XlsSource() {
        cells.close();
        if (temporary) {
            ::unlink(path.c_str());
        }
    }
};

uint32_t styleWithFormat(Workbook& workbook, std::string_view code) {
    CellStyle style;
    style.numberFormat = workbook.styles().addFormatCode(code);
    return workbook.styles().addStyle(style);
}

Cell cellOfBiffValue(Workbook& workbook, const BiffCellValue& value, uint32_t& dateStyle,
                     uint32_t& dateTimeStyle, uint32_t& timeStyle) {
    Cell cell;
    cell.column = value.column;
    cell.type = value.type;
    switch (value.type) {
        case CellType::Number:
            cell.value.number = value.number;
            if (value.isDate) {
                // The same formats FreeXL's date cells get, chosen by what the number holds.
                double whole = std::floor(value.number);
                uint32_t& style = value.number < 1.0      ? timeStyle
                                  : whole == value.number ? dateStyle
                                                          : dateTimeStyle;
                if (!style) {
                    style = styleWithFormat(workbook, &style == &timeStyle   ? "h:mm:ss"
                                                      : &style == &dateStyle ? "m/d/yyyy"
                                                                             : "m/d/yyyy h:mm");
                }
                cell.style = style;
            }
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

// Reads a sheet's cells with our own reader, giving the cells and styles the FreeXL path gives.
void loadSheetOwn(XlsSource& source, size_t index, Sheet& sheet) {
    if (!source.sharedStringsRead) {
        source.sharedStrings = readSharedStrings(source.stream, source.globals);
        source.sharedStringsRead = true;
    }
    Workbook& workbook = sheet.workbook();
    uint32_t dateStyle = 0;
    uint32_t dateTimeStyle = 0;
    uint32_t timeStyle = 0;
    struct Placed {
        uint32_t row;
        Cell cell;
    };
    std::vector<Placed> cells;
    readSheetValues(
        source.stream, source.globals.sheets[index], source.globals, source.sharedStrings,
        BiffValueKinds::All, [&](BiffCellValue& value) {
            if (value.row >= static_cast<uint32_t>(kMaxRows) || value.column >= kMaxColumns) {
                throw BiffDamage("is damaged: a cell lies outside its sheet");
            }
            if (value.type == CellType::Text &&
                utf16Length(value.text) > static_cast<size_t>(kMaxCellTextLength)) {
                throw BiffDamage("is damaged: a cell of the sheet '" + sheet.name() +
                                 "' holds more than 32,767 characters");
            }
            cells.push_back(
                {value.row, cellOfBiffValue(workbook, value, dateStyle, dateTimeStyle, timeStyle)});
        });
    // Records come row by row but need not; where two give one cell, the later one holds.
    std::stable_sort(cells.begin(), cells.end(), [](const Placed& a, const Placed& b) {
        return a.row != b.row ? a.row < b.row : a.cell.column < b.cell.column;
    });
    Row* row = nullptr;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i + 1 < cells.size() && cells[i + 1].row == cells[i].row &&
            cells[i + 1].cell.column == cells[i].cell.column) {
            continue;
        }
        if (!row || row->index != static_cast<int32_t>(cells[i].row)) {
            row = &sheet.appendRow(static_cast<int32_t>(cells[i].row));
        }
        row->cells.push_back(cells[i].cell);
    }
}

void loadSheet(XlsSource& source, unsigned short index, Sheet& sheet) {
    std::lock_guard lock(source.mutex);
    if (!source.ownReader && !source.cellsOpen) {
        int code = source.cells.tryOpen(source.path, false);
        if (code != FREEXL_OK && code != FREEXL_INSUFFICIENT_MEMORY &&
            code != FREEXL_FILE_NOT_FOUND && source.kindsKnown && source.globals.complete) {
            source.ownReader = true;  // FreeXL lists the sheets but cannot read their cells
        } else {
            FreeXlHandle::failOn(code, source.displayName);
            source.cellsOpen = true;
        }
    }
    if (source.ownReader) {
        try {
            loadSheetOwn(source, index, sheet);
        } catch (const BiffDamage& damage) {
            fail(source.displayName, damage.what());
        }
        return;
    }
    const void* handle = source.cells.get();
    if (freexl_select_active_worksheet(handle, index) != FREEXL_OK) {
        fail(source.displayName, "is damaged: the sheet '" + sheet.name() + "' cannot be found");
    }
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_worksheet_dimensions(handle, &rows, &columns) != FREEXL_OK) {
        fail(source.displayName,
             "is damaged: the size of the sheet '" + sheet.name() + "' cannot be read");
    }
    if (rows > static_cast<unsigned>(kMaxRows) || columns > kMaxColumns) {
        fail(source.displayName, "is damaged: the sheet '" + sheet.name() +
                                     "' claims more rows or columns than a sheet can hold");
    }
    Workbook& workbook = sheet.workbook();
    uint32_t dateStyle = 0;
    uint32_t dateTimeStyle = 0;
    uint32_t timeStyle = 0;
    std::vector<BiffCellValue> extras;
    if (source.kindsKnown && index < source.globals.sheets.size()) {
        extras = scanSheetValues(source.stream, source.globals.sheets[index], source.globals);
    }
    // Values outside the sheet's stated size still count.
    for (const BiffCellValue& extra : extras) {
        rows = std::max(rows, extra.row + 1);
        columns = std::max<unsigned short>(columns, static_cast<unsigned short>(std::min<uint32_t>(
                                                        extra.column + 1u, kMaxColumns)));
    }
    size_t nextExtra = 0;
    for (unsigned int r = 0; r < rows; ++r) {
        Row* row = nullptr;
        for (unsigned short c = 0; c < columns; ++c) {
            while (nextExtra < extras.size() &&
                   (extras[nextExtra].row < r ||
                    (extras[nextExtra].row == r && extras[nextExtra].column < c))) {
                ++nextExtra;  // a second value for a cell already done
            }
            const BiffCellValue* extra = nextExtra < extras.size() && extras[nextExtra].row == r &&
                                                 extras[nextExtra].column == c
                                             ? &extras[nextExtra]
                                             : nullptr;
            // Our own reading wins where there is one: FreeXL gives booleans as numbers,
            // formula results not at all, and dates as texts that lose part of the serial.
            if (extra) {
                if (!row) {
                    row = &sheet.appendRow(static_cast<int32_t>(r));
                }
                row->cells.push_back(
                    cellOfBiffValue(workbook, *extra, dateStyle, dateTimeStyle, timeStyle));
                continue;
            }
            FreeXL_CellValue value{};
            if (freexl_get_cell_value(handle, r, c, &value) != FREEXL_OK) {
                continue;
            }
            Cell cell;
            cell.column = c;
            std::optional<double> serial;
            switch (value.type) {
                case FREEXL_CELL_INT:
                    cell.type = CellType::Number;
                    cell.value.number = value.value.int_value;
                    break;
                case FREEXL_CELL_DOUBLE:
                    cell.type = CellType::Number;
                    cell.value.number = value.value.double_value;
                    break;
                case FREEXL_CELL_TEXT:
                case FREEXL_CELL_SST_TEXT: {
                    std::string_view text = value.value.text_value ? value.value.text_value : "";
                    if (text.empty()) {
                        continue;
                    }
                    if (utf16Length(text) > static_cast<size_t>(kMaxCellTextLength)) {
                        fail(source.displayName, "is damaged: a cell of the sheet '" +
                                                     sheet.name() +
                                                     "' holds more than 32,767 characters");
                    }
                    cell.type = CellType::Text;
                    cell.value.text = workbook.strings().intern(text);
                    break;
                }
                case FREEXL_CELL_DATE:
                    serial = serialOfFreeXlDate(value.value.text_value, source.date1904);
                    if (!dateStyle) {
                        dateStyle = styleWithFormat(workbook, "m/d/yyyy");
                    }
                    cell.style = dateStyle;
                    break;
                case FREEXL_CELL_DATETIME:
                    serial = serialOfFreeXlDateTime(value.value.text_value, source.date1904);
                    if (!dateTimeStyle) {
                        dateTimeStyle = styleWithFormat(workbook, "m/d/yyyy h:mm");
                    }
                    cell.style = dateTimeStyle;
                    break;
                case FREEXL_CELL_TIME:
                    serial = serialOfFreeXlTime(value.value.text_value);
                    if (!timeStyle) {
                        timeStyle = styleWithFormat(workbook, "h:mm:ss");
                    }
                    cell.style = timeStyle;
                    break;
                default:
                    continue;  // empty
            }
            if (value.type == FREEXL_CELL_DATE || value.type == FREEXL_CELL_DATETIME ||
                value.type == FREEXL_CELL_TIME) {
                if (serial) {
                    cell.type = CellType::Number;
                    cell.value.number = *serial;
                } else {
                    // Not a date FreeXL could spell (before the epoch): its text is kept.
                    cell.type = CellType::Text;
                    cell.style = 0;
                    cell.value.text = workbook.strings().intern(value.value.text_value);
                }
            }
            if (!row) {
                row = &sheet.appendRow(static_cast<int32_t>(r));
            }
            row->cells.push_back(cell);
        }
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
        auto index = static_cast<unsigned short>(i);
        sheet.setLoader([source, index](Sheet& s) { loadSheet(*source, index, s); });
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
        fail(source->displayName, describeFreeXlError(FREEXL_BIFF_INVALID_BOF));
    }
    if (!globals.complete) {
        fail(source->displayName, describeFreeXlError(FREEXL_CFBF_READ_ERROR));
    }
    if (globals.sheets.empty()) {
        fail(source->displayName, "is damaged: it lists no sheets");
    }
    source->ownReader = true;
    source->kindsKnown = true;
    source->date1904 = globals.date1904;
    auto workbook = std::make_unique<Workbook>();
    workbook->setPath(source->displayName);
    workbook->setDate1904(source->date1904);
    for (size_t i = 0; i < globals.sheets.size() && i <= 0xFFFF; ++i) {
        addSheet(*workbook, source, i, globals.sheets[i], globals.sheets[i].name);
    }
    workbook->setSource(source);
    return workbook;
}

// FreeXL sets aside room for every cell a DIMENSIONS record states (16 bytes a cell, every
// record anew, reading past a record too short to state a size), and frees that room twice
// when it cannot have it. The formats hold no more than 65,536 rows and 256 columns a sheet;
// a record that states more, or too little to read, is damage. Beyond one full sheet's cells
// stated in all, FreeXL would need more than 268 MB however few cells there are, so such a
// stream must not reach it either.
constexpr uint64_t kFreeXlCellBudget = uint64_t{65536} * 256;

enum class StatedSize { Fits, TooLarge, Impossible };

StatedSize statedSheetSizes(std::string_view stream) {
    BiffRecordCursor records(stream, 0);
    uint16_t bof = 0;
    bool biff8 = false;
    uint64_t stated = 0;
    while (auto record = records.next()) {
        std::string_view data = record->data;
        if (!bof) {
            bof = record->type;
            biff8 = bof == 0x0809 && data.size() >= 2 && biffU16(data, 0) == 0x0600;
        }
        const bool dimensions = record->type == 0x0200 || (bof == 0x0009 && record->type == 0);
        if (!dimensions) {
            continue;
        }
        if (data.size() < (biff8 ? 12u : 8u)) {
            return StatedSize::Impossible;
        }
        const uint32_t rows = biff8 ? biffU32(data, 4) : biffU16(data, 2);
        const uint32_t columns = biff8 ? biffU16(data, 10) : biffU16(data, 6);
        if (rows > 65536 || columns > 256) {
            return StatedSize::Impossible;
        }
        stated += uint64_t{rows} * columns;
    }
    return stated > kFreeXlCellBudget ? StatedSize::TooLarge : StatedSize::Fits;
}

// The stream begins with the BOF record of BIFF2, BIFF3 or BIFF4.
bool isEarlyBof(std::string_view bytes) {
    if (bytes.size() < 2) {
        return false;
    }
    const uint16_t type = biffU16(bytes, 0);
    return type == 0x0009 || type == 0x0209 || type == 0x0409;
}

std::unique_ptr<Workbook> openXls(std::shared_ptr<XlsSource> source, std::string_view bytes) {
    const std::string& displayName = source->displayName;
    const bool compound = bytes.substr(0, 8) == "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    BiffGlobals globals;
    if (compound) {
        try {
            CompoundFile container(bytes);
            if (container.hasEntry("EncryptionInfo") || container.hasEntry("EncryptedPackage")) {
                failProtected(displayName);
            }
            auto stream = container.readStream({"Workbook", "Book"});
            if (!stream) {
                fail(displayName, describeFreeXlError(FREEXL_BIFF_WORKBOOK_NOT_FOUND));
            }
            source->stream = std::move(*stream);
        } catch (const std::runtime_error&) {
            fail(displayName, describeFreeXlError(FREEXL_CFBF_ILLEGAL_FAT_ENTRY));
        }
        globals = scanBiffGlobals(source->stream);
    } else if (bytes.size() >= 2 && biffU16(bytes, 0) == 0x0809) {
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
    if (compound || globals.isBiff5Or8 || globals.earlyVersion) {
        return openOwn(source);
    }
    const StatedSize stated = statedSheetSizes(bytes);
    if (stated != StatedSize::Fits) {
        fail(displayName, stated == StatedSize::Impossible
                              ? "is damaged: a sheet claims more rows or columns than a sheet "
                                "can hold, or states its size wrongly"
                              : "is too large for Plyfold's reader of this early Excel format");
    }

    FreeXlHandle info;
    int code = info.tryOpen(source->path, true);
    if (code != FREEXL_OK) {
        FreeXlHandle::failOn(code, displayName);
    }
    unsigned int value = 0;
    if (freexl_get_info(info.get(), FREEXL_BIFF_PASSWORD, &value) == FREEXL_OK &&
        value == FREEXL_BIFF_OBFUSCATED) {
        failProtected(displayName);
    }
    if (freexl_get_info(info.get(), FREEXL_BIFF_DATEMODE, &value) == FREEXL_OK) {
        source->date1904 = value == FREEXL_BIFF_DATEMODE_1904;
    }
    unsigned int sheetCount = 0;
    freexl_get_info(info.get(), FREEXL_BIFF_SHEET_COUNT, &sheetCount);

    auto workbook = std::make_unique<Workbook>();
    workbook->setPath(displayName);
    workbook->setDate1904(source->date1904);
    // FreeXL lists every sheet as a worksheet; the globals tell which are charts and the like.
    const bool kindsKnown = !globals.sheets.empty() && globals.sheets.size() == sheetCount;
    source->kindsKnown = kindsKnown;
    for (unsigned int i = 0; i < sheetCount && i <= 0xFFFF; ++i) {
        const char* rawName = nullptr;
        if (freexl_get_worksheet_name(info.get(), static_cast<unsigned short>(i), &rawName) !=
            FREEXL_OK) {
            fail(displayName,
                 "is damaged: the name of sheet " + std::to_string(i + 1) + " cannot be read");
        }
        addSheet(*workbook, source, i, kindsKnown ? globals.sheets[i] : BiffSheetInfo{},
                 rawName ? rawName : "");
    }
    workbook->setSource(source);
    return workbook;
}

}  // namespace

std::unique_ptr<Workbook> readXls(const std::string& path) {
    auto source = std::make_shared<XlsSource>();
    source->path = path;
    source->displayName = path;
    return openXls(source, readWholeFile(path));
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
    const char* folder = std::getenv("TMPDIR");
    std::string pattern = std::string(folder && *folder ? folder : "/tmp") + "/plyfold-xls-XXXXXX";
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        throw SpreadsheetError(ErrorNumber::FileAccess,
                               "A temporary copy of '" + displayName + "' could not be made.");
    }
    source->path = pattern;
    source->temporary = true;
    size_t written = 0;
    while (written < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n <= 0) {
            ::close(fd);
            throw SpreadsheetError(ErrorNumber::FileAccess,
                                   "A temporary copy of '" + displayName + "' could not be made.");
        }
        written += static_cast<size_t>(n);
    }
    ::close(fd);
    return openXls(source, bytes);
}

}  // namespace plyfold::engine::xls
