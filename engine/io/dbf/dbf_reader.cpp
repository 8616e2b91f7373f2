#include "engine/io/dbf/dbf_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <unordered_map>

#include "engine/common/byte_order.h"
#include "engine/common/code_page.h"
#include "engine/common/error.h"
#include "engine/common/file_access.h"
#include "engine/common/text.h"
#include "engine/common/text_decoding.h"
#include "engine/io/csv/file_sheet_name.h"
#include "engine/io/dbf/dbf_table.h"
#include "engine/io/dbf/memo_file.h"
#include "engine/model/limits.h"
#include "engine/ops/date_serial.h"

namespace plyfold::engine::dbf {
namespace {

constexpr int kMaxSignificantDigits = 15;
// Memos at least this long are converted once however many records point at them.
constexpr size_t kSharedMemoFrom = 256;
// Julian day number of 1899-12-30, day 0 of the 1900 date system.
constexpr int64_t kJulianDayOfSerialZero = 2415019;

std::string_view trimSpaces(std::string_view text) {
    size_t first = text.find_first_not_of(" \0", 0, 2);
    if (first == std::string_view::npos) {
        return {};
    }
    size_t last = text.find_last_not_of(" \0", std::string_view::npos, 2);
    return text.substr(first, last - first + 1);
}

std::string_view trimTrailingPadding(std::string_view text) {
    size_t last = text.find_last_not_of(" \0", std::string_view::npos, 2);
    return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}

// A numeric field as a number, unless a double would lose digits of it.
bool parseNumeric(std::string_view text, double& value) {
    if (!text.empty() && text[0] == '+') {
        text.remove_prefix(1);
    }
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(value)) {
        return false;
    }
    size_t significant = 0;
    bool started = false;
    std::string_view mantissa = text.substr(0, text.find_first_of("eE"));
    size_t dot = mantissa.find('.');
    if (dot != std::string_view::npos) {
        size_t lastNonZero = mantissa.find_last_not_of('0');
        mantissa = mantissa.substr(0, std::max(lastNonZero, dot) + 1);
    }
    for (char c : mantissa) {
        if (c >= '1' && c <= '9') {
            started = true;
        }
        if (started && c >= '0' && c <= '9') {
            ++significant;
        }
    }
    if (value == 0.0) {
        value = 0.0;
    }
    return significant <= static_cast<size_t>(kMaxSignificantDigits);
}

// How many bytes at the end of a text begin a UTF-8 character they do not finish: a writer
// that cuts texts to a field's width in bytes may cut one in two.
size_t unfinishedUtf8Tail(std::string_view bytes) {
    for (size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((byte & 0xC0) == 0x80) {
            continue;  // a continuation byte: look further back for the lead
        }
        const size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

std::string withoutNuls(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        if (c != '\0') {
            out.push_back(c);
        }
    }
    return out;
}

std::string normaliseLineBreaks(std::string text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

class RecordReader {
public:
    RecordReader(DbfTable& table, CodePageConverter& codePage, const MemoFile* memo,
                 std::string memoProblem, Sheet& sheet, const std::string& displayName)
        : m_table(table),
          m_codePage(codePage),
          m_memo(memo),
          m_memoProblem(std::move(memoProblem)),
          m_sheet(sheet),
          m_displayName(displayName) {
        for (const DbfField& field : table.fields()) {
            if (field.isSystem && field.type == '0') {
                m_nullFlags = &field;
            }
        }
    }

    void run() {
        const auto& fields = m_table.fields();
        if (std::all_of(fields.begin(), fields.end(),
                        [](const DbfField& f) { return f.isSystem; })) {
            return;  // no fields: an empty table, whatever its records
        }
        Row& header = m_sheet.appendRow(0);
        uint16_t column = 0;
        for (const DbfField& field : m_table.fields()) {
            if (field.isSystem) {
                continue;
            }
            std::string name;
            m_codePage.appendUtf8(name, field.name);
            if (!name.empty()) {
                header.cells.push_back(textCell(column, name));
            }
            ++column;
        }
        int32_t rowIndex = 1;
        for (int32_t i = 0; i < m_table.recordCount(); ++i) {
            std::string_view record = m_table.record(i);
            if (record.empty()) {
                break;  // the rest of the file cannot be read: keep what was
            }
            if (record[0] == '*') {
                continue;  // deleted
            }
            if (rowIndex >= kMaxRows) {
                throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                                       "'" + m_displayName +
                                           "' has more records than the 1,048,575 a sheet can "
                                           "hold below its row of field names.");
            }
            m_record = i;
            Row& row = m_sheet.appendRow(rowIndex++);
            row.cells.reserve(m_table.fields().size());
            column = 0;
            for (const DbfField& field : m_table.fields()) {
                if (field.isSystem) {
                    continue;
                }
                if (field.offset + field.length <= record.size() && !isNull(record, field)) {
                    addCell(row, column, field, record.substr(field.offset, field.length), record);
                }
                ++column;
            }
        }
    }

private:
    bool bitSet(std::string_view record, int bit) const {
        if (!m_nullFlags || bit < 0 || static_cast<uint32_t>(bit / 8) >= m_nullFlags->length) {
            return false;
        }
        auto byte = static_cast<unsigned char>(record[m_nullFlags->offset + bit / 8]);
        return (byte >> (bit % 8)) & 1;
    }

    bool isNull(std::string_view record, const DbfField& field) const {
        return bitSet(record, field.nullBit);
    }

    Cell textCell(uint16_t column, std::string_view utf8) {
        if (utf16Length(utf8) > static_cast<size_t>(kMaxCellTextLength)) {
            throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                                   "Record " + std::to_string(m_record + 1) + " of '" +
                                       m_displayName +
                                       "' holds a text longer than 32,767 characters, the most "
                                       "a cell can hold.");
        }
        Cell cell;
        cell.column = column;
        cell.type = CellType::Text;
        cell.value.text = m_sheet.workbook().strings().intern(utf8);
        return cell;
    }

    void addText(Row& row, uint16_t column, std::string_view bytes) {
        // NUL bytes are padding wherever a writer put them, never text.
        std::string kept;
        if (bytes.find('\0') != std::string_view::npos) {
            kept = withoutNuls(bytes);
            bytes = trimTrailingPadding(kept);
        }
        if (m_codePage.name() == "UTF-8") {
            bytes.remove_suffix(unfinishedUtf8Tail(bytes));
        }
        if (bytes.empty()) {
            return;
        }
        m_text.clear();
        m_codePage.appendUtf8(m_text, bytes);
        row.cells.push_back(textCell(column, m_text));
    }

    void addNumber(Row& row, uint16_t column, double value, uint32_t style = 0) {
        Cell cell;
        cell.column = column;
        cell.type = CellType::Number;
        cell.value.number = value;
        cell.style = style;
        row.cells.push_back(cell);
    }

    uint32_t formatStyle(uint32_t& cache, std::string_view code) {
        if (cache == 0) {
            StyleTable& styles = m_sheet.workbook().styles();
            CellStyle style;
            style.numberFormat = styles.addFormatCode(code);
            cache = styles.addStyle(style);
        }
        return cache;
    }

    void addMemo(Row& row, uint16_t column, const DbfField& field, std::string_view raw) {
        uint32_t block = 0;
        if (field.length == 4) {
            block = le32(raw, 0);  // Visual FoxPro: a binary block number
        } else {
            std::string_view digits = trimSpaces(raw);
            if (digits.empty() ||
                std::from_chars(digits.data(), digits.data() + digits.size(), block).ptr !=
                    digits.data() + digits.size()) {
                return;
            }
        }
        if (block == 0) {
            return;  // block 0 is the memo file's header: no memo
        }
        if (!m_memo) {
            throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                                   "Record " + std::to_string(m_record + 1) + " of '" +
                                       m_displayName + "' refers to a memo, but " + m_memoProblem +
                                       ".");
        }
        auto memo = m_memo->memo(block, true);
        if (!memo || memo->empty()) {
            return;
        }
        // Records may share a memo: a long one is converted once and its text id reused.
        const bool shareable = memo->size() >= kSharedMemoFrom;
        if (shareable) {
            if (auto known = m_memoTexts.find(block); known != m_memoTexts.end()) {
                Cell cell;
                cell.column = column;
                cell.type = CellType::Text;
                cell.value.text = known->second;
                row.cells.push_back(cell);
                return;
            }
        }
        std::string text;
        m_codePage.appendUtf8(text, memo->find('\0') == std::string_view::npos
                                        ? *memo
                                        : std::string_view(withoutNuls(*memo)));
        text = normaliseLineBreaks(std::move(text));
        if (!text.empty()) {
            row.cells.push_back(textCell(column, text));
            if (shareable) {
                m_memoTexts.emplace(block, row.cells.back().value.text);
            }
        }
    }

    void addCell(Row& row, uint16_t column, const DbfField& field, std::string_view raw,
                 std::string_view record) {
        const bool dBase7 = m_table.isDBase7();
        const bool foxPro = m_table.isVisualFoxPro();
        switch (field.type) {
            case 'N':
            case 'F': {
                std::string_view text = trimSpaces(raw);
                double value = 0.0;
                if (text.empty()) {
                    return;
                }
                if (parseNumeric(text, value)) {
                    addNumber(row, column, value);
                } else {
                    addText(row, column, text);
                }
                return;
            }
            case 'D': {
                std::string_view text = trimSpaces(raw);
                if (text.empty() || text.find_first_not_of('0') == std::string_view::npos) {
                    return;
                }
                int year = 0, month = 0, day = 0;
                auto digits = [&](size_t at, size_t n, int& out) {
                    auto r = std::from_chars(text.data() + at, text.data() + at + n, out);
                    return r.ec == std::errc() && r.ptr == text.data() + at + n;
                };
                std::optional<int64_t> serial;
                if (text.size() == 8 && digits(0, 4, year) && digits(4, 2, month) &&
                    digits(6, 2, day)) {
                    serial = serialFromDate(CivilDate{year, month, day}, false);
                }
                if (serial && *serial >= 1) {
                    addNumber(row, column, static_cast<double>(*serial),
                              formatStyle(m_dateStyle, "m/d/yyyy"));
                } else {
                    addText(row, column, text);  // not a date a sheet can hold: kept as written
                }
                return;
            }
            case 'L': {
                std::string_view text = trimSpaces(raw);
                if (text.empty()) {
                    return;
                }
                Cell cell;
                cell.column = column;
                cell.type = CellType::Boolean;
                switch (text[0]) {
                    case 'T':
                    case 't':
                    case 'Y':
                    case 'y':
                        cell.value.boolean = true;
                        break;
                    case 'F':
                    case 'f':
                    case 'N':
                    case 'n':
                        cell.value.boolean = false;
                        break;
                    default:
                        return;  // '?': not set
                }
                row.cells.push_back(cell);
                return;
            }
            case 'M':
                addMemo(row, column, field, raw);
                return;
            case 'I':
            case '+':
                if (raw.size() == 4) {
                    int32_t value = dBase7 ? static_cast<int32_t>(be32(raw, 0) ^ 0x80000000u)
                                           : static_cast<int32_t>(le32(raw, 0));
                    addNumber(row, column, value);
                }
                return;
            case 'Y':
                if (raw.size() == 8) {
                    addNumber(row, column,
                              static_cast<double>(static_cast<int64_t>(le64(raw, 0))) / 10000.0);
                }
                return;
            case 'T':
                if (raw.size() == 8) {
                    int64_t julianDay = static_cast<int32_t>(le32(raw, 0));
                    int64_t milliseconds = static_cast<int32_t>(le32(raw, 4));
                    if (julianDay == 0 && milliseconds == 0) {
                        return;
                    }
                    double days = static_cast<double>(julianDay - kJulianDayOfSerialZero);
                    if (days < 61) {
                        days -= 1;  // before the leap day the 1900 system invents
                    }
                    addNumber(row, column, days + static_cast<double>(milliseconds) / 86400000.0,
                              formatStyle(m_dateTimeStyle, "m/d/yyyy h:mm:ss"));
                }
                return;
            case 'B':
                if (foxPro && raw.size() == 8) {
                    double value = leDouble(raw, 0);
                    if (std::isfinite(value)) {
                        addNumber(row, column, value);
                    }
                }
                return;  // elsewhere a binary memo
            case 'O':
                if (raw.size() == 8) {
                    // dBase 7 doubles are big-endian, sign bit flipped so they sort as bytes.
                    uint64_t bits = be64(raw, 0);
                    bits = (bits & 0x8000000000000000ull) ? bits ^ 0x8000000000000000ull : ~bits;
                    double value;
                    std::memcpy(&value, &bits, 8);
                    if (std::isfinite(value)) {
                        addNumber(row, column, value);
                    }
                }
                return;
            case 'V': {
                std::string_view text = raw;
                if (bitSet(record, field.varLengthBit) && !raw.empty()) {
                    text = raw.substr(0, std::min<size_t>(static_cast<unsigned char>(raw.back()),
                                                          raw.size() - 1));
                }
                addText(row, column, text);
                return;
            }
            case 'G':
            case 'P':
            case 'Q':
            case 'W':
            case '0':
            case '@':
                return;  // pictures, objects, binary data; dBase 7 timestamps (see report)
            default:
                addText(row, column, trimTrailingPadding(raw));  // 'C' and unknown types
                return;
        }
    }

    DbfTable& m_table;
    CodePageConverter& m_codePage;
    const MemoFile* m_memo;
    std::string m_memoProblem;  // why there is no memo file, when there is none
    Sheet& m_sheet;
    const std::string& m_displayName;
    const DbfField* m_nullFlags = nullptr;
    std::string m_text;
    int32_t m_record = 0;
    uint32_t m_dateStyle = 0;
    uint32_t m_dateTimeStyle = 0;
    std::unordered_map<uint32_t, uint32_t> m_memoTexts;  // memo block -> text id
};

// Whether the character fields of every record are UTF-8 and some hold a letter beyond ASCII:
// then UTF-8 is what wrote them, since texts of an 8-bit code page almost never decode so.
bool charactersReadAsUtf8(DbfTable& table) {
    bool beyondAscii = false;
    for (int32_t i = 0; i < table.recordCount(); ++i) {
        std::string_view record = table.record(i);
        if (record.empty()) {
            break;
        }
        for (const DbfField& field : table.fields()) {
            if (field.isSystem || field.type != 'C' ||
                field.offset + field.length > record.size()) {
                continue;
            }
            std::string_view text = trimTrailingPadding(record.substr(field.offset, field.length));
            text.remove_suffix(unfinishedUtf8Tail(text));
            const bool ascii = std::all_of(text.begin(), text.end(), [](char c) {
                return static_cast<unsigned char>(c) < 0x80;
            });
            if (!ascii && !csv::isUtf8(text)) {
                return false;
            }
            beyondAscii = beyondAscii || !ascii;
        }
    }
    return beyondAscii;
}

// Tables of the DOS programs, by their version byte: dBase III and IV with memos (0x83, 0x8B),
// dBase IV SQL tables (0x43, 0x63, 0xCB), FoxBASE (0xFB) and FoxPro 2 (0xF5). 0x03 is left
// out: it is also what GIS tools write today, in Windows code pages.
bool isDosTable(unsigned char version) {
    switch (version) {
        case 0x43:
        case 0x63:
        case 0x83:
        case 0x8B:
        case 0xCB:
        case 0xF5:
        case 0xFB:
            return true;
        default:
            return false;
    }
}

std::string chooseCodePage(DbfTable& table, const DbfCompanions& companions) {
    if (companions.codePageText) {
        std::string named = codePageOfCpgText(*companions.codePageText);
        if (!named.empty()) {
            return named;
        }
    }
    std::string declared = codePageOfLanguageDriver(table.languageDriver());
    if (!declared.empty()) {
        return declared;
    }
    if (charactersReadAsUtf8(table)) {
        return "UTF-8";
    }
    if (table.languageDriver() != 0) {
        return "CP1252";  // an id not known: Windows-1252 is the likeliest reading
    }
    if (isDosTable(table.version())) {
        // DOS programs wrote in the OEM code page. 850 rather than 437: it has every accented
        // letter 437 has at the same place, and the Western European letters (ø, Ø, Á, Ê...)
        // where 437 has line drawing and currency signs, which tables rarely hold.
        return "CP850";
    }
    return declared;
}

// The memo file's bytes, or why there are none: "its memo file 'x.dbt' is missing".
struct MemoLookup {
    std::optional<std::string> bytes;
    std::string problem;
};
// Looks for the memo file only when the table has memo fields; memoName is the name it has
// when it is missing.
using MemoSource = std::function<MemoLookup(const std::string& memoName)>;

void loadTable(std::string bytes, const DbfCompanions& companions, const MemoSource& memoSource,
               Sheet& sheet, const std::string& displayName) {
    DbfTable table(std::move(bytes), displayName);
    CodePageConverter codePage(chooseCodePage(table, companions));
    std::optional<MemoFile> memo;
    std::string memoProblem;
    if (table.hasMemoFields()) {
        bool foxPro = table.isVisualFoxPro() || table.version() == 0xF5 || table.version() == 0xFB;
        std::string memoName =
            std::filesystem::path(displayName).replace_extension(foxPro ? ".fpt" : ".dbt").string();
        MemoLookup lookup = memoSource ? memoSource(memoName) : MemoLookup{companions.memo, {}};
        if (lookup.bytes) {
            memo.emplace(std::move(*lookup.bytes),
                         foxPro ? MemoFile::Kind::FoxPro : MemoFile::Kind::DBase);
        } else {
            memoProblem = lookup.problem.empty() ? "its memo file '" + memoName + "' is missing"
                                                 : std::move(lookup.problem);
        }
    }
    RecordReader(table, codePage, memo ? &*memo : nullptr, std::move(memoProblem), sheet,
                 displayName)
        .run();
}

struct Companion {
    std::string path;
    files::EntryKind kind = files::EntryKind::File;
};

// A file beside path with the same stem and one of the extensions, in any case; failing that,
// an entry of such a name that is no file (a folder), for the caller to report. A folder that
// cannot be listed offers none: the companions only add to a table that reads without them.
std::optional<Companion> findCompanion(const std::string& path,
                                       std::initializer_list<std::string_view> extensions) {
    namespace fs = std::filesystem;
    fs::path table(path);
    fs::path folder = table.has_parent_path() ? table.parent_path() : fs::path(".");
    std::string stem = table.stem().string();
    for (std::string_view extension : extensions) {
        fs::path exact = folder / (stem + std::string(extension));
        if (files::isFile(exact.string())) {
            return Companion{exact.string()};
        }
    }
    std::vector<files::FolderEntry> entries;
    try {
        entries = files::listFolder(folder.string());
    } catch (const files::FileError&) {
        return std::nullopt;
    }
    std::optional<Companion> other;
    for (const files::FolderEntry& entry : entries) {
        for (std::string_view extension : extensions) {
            if (!equalsIgnoringAsciiCase(entry.name, stem + std::string(extension))) {
                continue;
            }
            if (entry.kind == files::EntryKind::File) {
                return Companion{(folder / entry.name).string()};
            }
            if (!other) {
                other = Companion{(folder / entry.name).string(), entry.kind};
            }
        }
    }
    return other;
}

std::unique_ptr<Workbook> makeWorkbook(const std::string& path) {
    auto workbook = std::make_unique<Workbook>();
    workbook->setPath(path);
    workbook->addSheet(csv::sheetNameForFile(path));
    return workbook;
}

}  // namespace

std::unique_ptr<Workbook> readDbf(const std::string& path) {
    auto workbook = makeWorkbook(path);
    workbook->sheet(0).setLoader([path](Sheet& sheet) {
        DbfCompanions companions;
        std::string bytes = files::readFile(path);
        if (auto cpg = findCompanion(path, {".cpg"}); cpg && cpg->kind == files::EntryKind::File) {
            companions.codePageText = files::readFile(cpg->path);
        }
        MemoSource memoSource = [&path](const std::string& memoName) -> MemoLookup {
            auto memo = findCompanion(path, {".fpt", ".dbt"});
            if (!memo) {
                return {std::nullopt, "its memo file '" + memoName + "' is missing"};
            }
            if (memo->kind != files::EntryKind::File) {
                return {std::nullopt,
                        "its memo file '" + memo->path + "' is " +
                            (memo->kind == files::EntryKind::Folder ? "a folder"
                                                                    : "not a regular file")};
            }
            return {files::readFile(memo->path), {}};
        };
        loadTable(std::move(bytes), companions, memoSource, sheet, path);
    });
    return workbook;
}

std::unique_ptr<Workbook> readDbfFromMemory(std::string bytes, const std::string& displayName,
                                            DbfCompanions companions) {
    auto workbook = makeWorkbook(displayName);
    auto shared = std::make_shared<const std::pair<std::string, DbfCompanions>>(
        std::move(bytes), std::move(companions));
    workbook->sheet(0).setLoader([shared, displayName](Sheet& sheet) {
        loadTable(shared->first, shared->second, nullptr, sheet, displayName);
    });
    return workbook;
}

}  // namespace plyfold::engine::dbf
