#include "engine/io/xls/biff_formula_globals.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/common/byte_order.h"
#include "engine/common/code_page.h"
#include "engine/io/xls/biff_records.h"
#include "engine/model/workbook.h"

namespace plyfold::engine::xls {
namespace {

constexpr uint16_t kSupBook = 0x01AE;
constexpr uint16_t kExternName = 0x0023;
constexpr uint16_t kExternSheet = 0x0017;
constexpr uint16_t kName = 0x0018;
constexpr uint16_t kExternCount = 0x0059;  // XCT: the sheet of the CRN records that follow
constexpr uint16_t kExternCells = 0x005A;  // CRN: cached values of another book's cells

// The markers a SUPBOOK record puts where a path's length would be.
constexpr uint16_t kSelfBook = 0x0401;
constexpr uint16_t kAddInBook = 0x3A01;

// A file path as a SUPBOOK record encodes it: control characters stand for a drive, the
// folder above, the same drive... Written with "/" as the model's paths are; a path relative
// to the workbook's folder is made absolute from it, as the .xlsx reader does.
std::string decodedBookPath(const std::string& encoded, std::string_view workbookPath) {
    std::string path;
    size_t i = 0;
    if (!encoded.empty() && encoded[0] == '\x01') {
        i = 1;
        if (i < encoded.size()) {
            const char marker = encoded[i++];
            if (marker == '@') {
                path += "//";  // a share: the server's name follows
            } else if (marker == '\x05') {
                if (i < encoded.size()) {
                    ++i;  // the length of a location given in full (a URL)
                }
            } else if (marker >= '\x01' && marker <= '\x08') {
                --i;  // no drive: the controls below handle it
            } else {
                path.push_back(marker);
                path += ":/";
            }
        }
    }
    for (; i < encoded.size(); ++i) {
        switch (encoded[i]) {
            case '\x01':
                break;
            case '\x02':  // the root of the workbook's own drive
            case '\x03':
            case '\\':
                path.push_back('/');
                break;
            case '\x04':
                path += "../";
                break;
            case '\x06':
            case '\x07':
            case '\x08':
                break;  // the program's own folders
            default:
                path.push_back(encoded[i]);
                break;
        }
    }
    const bool absolute = path.starts_with('/') || (path.size() >= 2 && path[1] == ':') ||
                          path.find("://") != std::string::npos;
    if (absolute || path.empty()) {
        return path;
    }
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::path(workbookPath).parent_path();
    std::filesystem::path joined = std::filesystem::absolute(folder / path, error);
    return error ? path : joined.lexically_normal().string();
}

class LinksReader {
public:
    LinksReader(const BiffGlobals& globals, const std::vector<int32_t>& modelSheetOf,
                Workbook& workbook)
        : m_modelSheetOf(modelSheetOf), m_workbook(workbook) {
        m_links.biff8 = globals.biff8;
        if (!globals.biff8) {
            m_links.codePage = biffCodePageName(globals.codePage);
        }
        for (size_t i = 0; i < globals.sheets.size(); ++i) {
            const int32_t model = i < modelSheetOf.size() ? modelSheetOf[i] : -1;
            m_links.sheetNames.push_back(model >= 0 ? workbook.sheet(model).name()
                                                    : globals.sheets[i].name);
        }
    }

    void record(const BiffRecord& record, BiffRecordCursor& records) {
        std::vector<std::string_view> segments{record.data};
        records.takeContinues(segments);
        BiffContinuedReader reader(segments, "cut short");
        if (!m_links.biff8 && record.type != kName) {
            return;  // BIFF5 names other books in records of its own form, which are not read
        }
        // A record cut short is left out alone; what stands in the others is read.
        try {
            readRecord(record.type, reader, segments);
        } catch (const BiffDamage&) {
            if (record.type == kSupBook) {
                // A book of no known kind keeps the places of the books after it.
                m_links.books.emplace_back();
            }
        }
    }

    void readRecord(uint16_t type, BiffContinuedReader& reader,
                    const std::vector<std::string_view>& segments) {
        switch (type) {
            case kSupBook:
                m_cachedSheet = 0;
                supBook(reader);
                break;
            case kExternName:
                externName(reader);
                break;
            case kExternSheet:
                externSheet(reader);
                break;
            case kExternCount:
                reader.skip(2);
                m_cachedSheet = reader.u16();
                break;
            case kExternCells:
                externCells(reader);
                break;
            case kName: {
                std::string joined;
                for (std::string_view segment : segments) {
                    joined += segment;
                }
                m_nameRecords.push_back(std::move(joined));
                break;
            }
            default:
                break;
        }
    }

    // Names are read last: their formulas may name each other and other books.
    BiffFormulaLinks finish() {
        for (const std::string& data : m_nameRecords) {
            m_links.names.push_back(nameText(data));
            NameHead h;
            m_links.nameSheets.push_back(head(data, h) && h.sheet > 0 ? h.sheet - 1 : -1);
        }
        for (const std::string& data : m_nameRecords) {
            definedName(data);
        }
        return std::move(m_links);
    }

private:
    void supBook(BiffContinuedReader& reader) {
        BiffFormulaLinks::Book book;
        const uint16_t sheetCount = reader.u16();
        const uint16_t marker = reader.u16();
        if (marker == kSelfBook) {
            book.kind = BiffFormulaLinks::Book::Kind::Self;
        } else if (marker == kAddInBook) {
            book.kind = BiffFormulaLinks::Book::Kind::AddIn;
        } else if (marker != 0) {
            // The path: its characters follow their option byte.
            const uint8_t options = reader.u8();
            std::string encoded;
            reader.appendCharacters(marker, (options & 0x01) != 0, encoded);
            if (encoded.size() == 1 && (encoded[0] == '\0' || encoded[0] == ' ')) {
                book.kind = BiffFormulaLinks::Book::Kind::Self;  // a reference to itself
            } else {
                std::vector<std::string> sheets;
                for (uint16_t i = 0; i < sheetCount; ++i) {
                    sheets.push_back(reader.unicodeString(2, BiffContinuedReader::Layout::Plain));
                }
                // A book with no sheets is a DDE or OLE link, which formulas of cells do not
                // reach through sheets.
                if (!sheets.empty()) {
                    book.kind = BiffFormulaLinks::Book::Kind::External;
                    book.externalIndex =
                        m_workbook.externalBookFor(decodedBookPath(encoded, m_workbook.path()));
                    ExternalBook& model = m_workbook.externalBooks()[book.externalIndex];
                    for (const std::string& sheet : sheets) {
                        model.addSheet(sheet);
                    }
                    book.sheets = std::move(sheets);
                }
            }
        }
        m_links.books.push_back(std::move(book));
    }

    void externName(BiffContinuedReader& reader) {
        if (m_links.books.empty()) {
            return;
        }
        reader.skip(6);  // options, then the sheet or the reserved field
        std::string name = reader.unicodeString(1, BiffContinuedReader::Layout::Plain);
        BiffFormulaLinks::Book& book = m_links.books.back();
        if (book.kind == BiffFormulaLinks::Book::Kind::External && book.externalIndex >= 0) {
            ExternalName external;
            external.name = name;
            m_workbook.externalBooks()[book.externalIndex].names.push_back(std::move(external));
        }
        book.names.push_back(std::move(name));
    }

    // The values another book's cells had when the workbook was saved, which formulas that
    // read them show until that book is opened.
    void externCells(BiffContinuedReader& reader) {
        if (m_links.books.empty() ||
            m_links.books.back().kind != BiffFormulaLinks::Book::Kind::External) {
            return;
        }
        ExternalBook& book = m_workbook.externalBooks()[m_links.books.back().externalIndex];
        const auto sheet = static_cast<size_t>(m_cachedSheet);
        if (sheet >= m_links.books.back().sheets.size()) {
            return;
        }
        const int32_t at = book.sheetIndex(m_links.books.back().sheets[sheet]);
        if (at < 0) {
            return;
        }
        const uint8_t last = reader.u8();
        const uint8_t first = reader.u8();
        const uint16_t row = reader.u16();
        for (int32_t column = first; column <= last; ++column) {
            ExternalValue value;
            const uint8_t kind = reader.u8();
            if (kind == 0x02) {
                value.type = CellType::Text;
                value.text = reader.unicodeString(2, BiffContinuedReader::Layout::Plain);
            } else {
                uint8_t bytes[8];
                for (uint8_t& byte : bytes) {
                    byte = reader.u8();
                }
                const std::string_view raw(reinterpret_cast<const char*>(bytes), sizeof bytes);
                if (kind == 0x01) {
                    value.type = CellType::Number;
                    value.number = leDouble(raw, 0);
                } else if (kind == 0x04) {
                    value.type = CellType::Boolean;
                    value.number = bytes[0] ? 1.0 : 0.0;
                } else if (kind == 0x10) {
                    value.type = CellType::Error;
                    if (!errorOfBiffCode(bytes[0], value.error)) {
                        continue;
                    }
                } else {
                    continue;  // an empty cell
                }
            }
            book.sheets[static_cast<size_t>(at)].cells[{row, column}] = std::move(value);
        }
        m_workbook.memory().charge(uint64_t{last - first + 1u} * sizeof(ExternalValue));
    }

    void externSheet(BiffContinuedReader& reader) {
        const uint16_t count = reader.u16();
        for (uint16_t i = 0; i < count; ++i) {
            BiffFormulaLinks::SheetRun run;
            run.book = reader.u16();
            run.first = reader.u16();
            run.last = reader.u16();
            m_links.sheetRuns.push_back(run);
        }
    }

    struct NameHead {
        uint16_t options = 0;
        uint8_t length = 0;
        uint16_t formulaSize = 0;
        uint16_t sheet = 0;  // 1-based; 0 for a workbook-wide name
    };

    static bool head(std::string_view data, NameHead& out) {
        if (data.size() < 15) {
            return false;
        }
        out.options = le16(data, 0);
        out.length = byteAt(data, 3);
        out.formulaSize = le16(data, 4);
        out.sheet = le16(data, 8);
        return true;
    }

    // The description of a name: the second of the texts that follow its formula (a menu
    // text, the description, a help topic, a status bar text), whose lengths its head gives.
    // Empty when it has none or the record ends early.
    std::string description(std::string_view data, size_t at) {
        const uint8_t menuLength = byteAt(data, 10);
        const uint8_t length = byteAt(data, 11);
        if (length == 0) {
            return {};
        }
        try {
            BiffContinuedReader reader({data.substr(std::min(at, data.size()))}, "cut short");
            std::string text;
            if (!m_links.biff8) {
                reader.skip(menuLength);
                std::string bytes;
                for (uint8_t i = 0; i < length; ++i) {
                    bytes.push_back(static_cast<char>(reader.u8()));
                }
                if (!m_codePage) {
                    m_codePage = std::make_unique<dbf::CodePageConverter>(m_links.codePage);
                }
                m_codePage->appendUtf8(text, bytes);
                return text;
            }
            if (menuLength > 0) {
                const bool wide = (reader.u8() & 0x01) != 0;
                reader.skip(uint64_t{menuLength} * (wide ? 2 : 1));
            }
            const bool wide = (reader.u8() & 0x01) != 0;
            reader.appendCharacters(length, wide, text);
            return text;
        } catch (const BiffDamage&) {
            return {};
        }
    }

    // Where a NAME record's tokens begin.
    size_t formulaAt(std::string_view data, const NameHead& h) const {
        if (!m_links.biff8) {
            return 14 + size_t{h.length};
        }
        return 15 + (byteAt(data, 14) & 0x01 ? 2u : 1u) * h.length;
    }

    // The name as formulas write it; empty when the record is damaged.
    std::string nameText(std::string_view data) {
        NameHead h;
        if (!head(data, h)) {
            return {};
        }
        if (!m_links.biff8) {
            if (data.size() < 14 + size_t{h.length}) {
                return {};
            }
            std::string name;
            if (!m_codePage) {
                m_codePage = std::make_unique<dbf::CodePageConverter>(m_links.codePage);
            }
            m_codePage->appendUtf8(name, data.substr(14, h.length));
            return (h.options & 0x0020) ? builtInName(name) : name;
        }
        try {
            BiffContinuedReader reader({data.substr(14)}, "cut short");
            const uint8_t options = reader.u8();
            std::string name;
            reader.appendCharacters(h.length, (options & 0x01) != 0, name);
            return (h.options & 0x0020) ? builtInName(name) : name;
        } catch (const BiffDamage&) {
            return {};
        }
    }

    void definedName(std::string_view data) {
        NameHead h;
        const std::string name = head(data, h) ? nameText(data) : std::string();
        if (name.empty() || (h.options & 0x0002) || (h.options & 0x0008)) {
            return;  // damaged, or the name of a macro's function or command
        }
        const size_t at = formulaAt(data, h);
        if (at + h.formulaSize > data.size()) {
            return;
        }
        DefinedName defined;
        defined.name = name;
        defined.hidden = (h.options & 0x0001) != 0;
        if (h.formulaSize == 0) {
            return;  // a name that stands for nothing (a macro's, left behind)
        }
        size_t extraRead = 0;
        std::optional<std::string> formula =
            decompileBiffFormula(data.substr(at, h.formulaSize), data.substr(at + h.formulaSize),
                                 CellRef{}, m_links, h.sheet > 0 ? h.sheet - 1 : -1, &extraRead);
        if (!formula) {
            m_workbook.uncarried().add("defined name " + name + " (its formula cannot be read)");
            return;
        }
        defined.formula = std::move(*formula);
        defined.comment = description(data, at + h.formulaSize + extraRead);
        std::vector<DefinedName>* names = nullptr;
        if (h.sheet == 0) {
            names = &m_workbook.definedNames();
        } else if (const size_t index = h.sheet - 1u;
                   index < m_modelSheetOf.size() && m_modelSheetOf[index] >= 0) {
            names = &m_workbook.sheet(m_modelSheetOf[index]).definedNames();
        }
        // A name given twice in one scope (a built-in name also spelled out, as some writers
        // do) is kept once: a workbook may not hold both.
        if (names && !findDefinedName(*names, defined.name)) {
            names->push_back(std::move(defined));
        }
    }

    const std::vector<int32_t>& m_modelSheetOf;
    Workbook& m_workbook;
    BiffFormulaLinks m_links;
    std::vector<std::string> m_nameRecords;
    uint16_t m_cachedSheet = 0;  // of the CRN records: the sheet the last XCT record named
    std::unique_ptr<dbf::CodePageConverter> m_codePage;  // of BIFF5 names
};

}  // namespace

std::string_view builtInNameOf(uint8_t code) {
    // Those .xlsx files know as built in carry its prefix; the others (names of macros to
    // run at given times, ...) are plain names there.
    static constexpr std::array<std::string_view, 14> kNames{
        "_xlnm.Consolidate_Area",
        "Auto_Open",
        "Auto_Close",
        "_xlnm.Extract",
        "Database",
        "_xlnm.Criteria",
        "_xlnm.Print_Area",
        "_xlnm.Print_Titles",
        "Recorder",
        "Data_Form",
        "Auto_Activate",
        "Auto_Deactivate",
        "_xlnm.Sheet_Title",
        "_xlnm._FilterDatabase",
    };
    return code < kNames.size() ? kNames[code] : std::string_view();
}

std::string builtInName(std::string_view stored) {
    if (stored.empty()) {
        return {};
    }
    const std::string_view name = builtInNameOf(static_cast<uint8_t>(stored.front()));
    // The characters after the code, if any, go on from the built-in name.
    return name.empty() ? std::string() : std::string(name) + std::string(stored.substr(1));
}

BiffFormulaLinks readFormulaLinks(std::string_view stream, const BiffGlobals& globals,
                                  const std::vector<int32_t>& modelSheetOf, Workbook& workbook) {
    LinksReader reader(globals, modelSheetOf, workbook);
    if (!globals.isBiff5Or8) {
        BiffFormulaLinks links;
        links.readable = false;
        return links;
    }
    BiffRecordCursor records(stream, 0);
    records.next();  // the globals' BOF
    while (auto record = records.next()) {
        if (record->type == kEof) {
            break;
        }
        reader.record(*record, records);
    }
    return reader.finish();
}

}  // namespace plyfold::engine::xls
