#include "engine/io/xls/biff_cell_values.h"

#include <algorithm>
#include <cmath>

#include "engine/common/byte_order.h"
#include "engine/common/code_page.h"
#include "engine/common/text.h"
#include "engine/io/xls/biff_records.h"

namespace plyfold::engine::xls {
namespace {

constexpr uint16_t kFormula = 0x0006;
constexpr uint16_t kFormulaBiff3 = 0x0206;
constexpr uint16_t kFormulaBiff4 = 0x0406;
constexpr uint16_t kString = 0x0207;
constexpr uint16_t kBoolErr = 0x0205;
constexpr uint16_t kNumber = 0x0203;
constexpr uint16_t kRk = 0x027E;
constexpr uint16_t kMulRk = 0x00BD;
constexpr uint16_t kLabel = 0x0204;
constexpr uint16_t kRString = 0x00D6;
constexpr uint16_t kLabelSst = 0x00FD;
constexpr uint16_t kBlank = 0x0201;
constexpr uint16_t kMulBlank = 0x00BE;
// What may stand between a formula and the STRING record holding its text result.
constexpr uint16_t kSharedFormula = 0x04BC;
constexpr uint16_t kArray = 0x0221;
constexpr uint16_t kTable = 0x0236;
// The cell records of BIFF2, whose cells begin with 3 bytes of attributes instead of an XF
// index.
constexpr uint16_t kIntegerBiff2 = 0x0002;
constexpr uint16_t kNumberBiff2 = 0x0003;
constexpr uint16_t kLabelBiff2 = 0x0004;
constexpr uint16_t kBoolErrBiff2 = 0x0005;
constexpr uint16_t kFormulaBiff2 = 0x0006;
constexpr uint16_t kStringBiff2 = 0x0007;
constexpr uint16_t kIxfeBiff2 = 0x0044;

bool isBofOf(const BiffGlobals& globals, uint16_t type) {
    return globals.earlyVersion ? type == 0x0009 || type == 0x0209 || type == 0x0409 : type == kBof;
}

bool errorOfCode(uint8_t code, ErrorValue& error) {
    switch (code) {
        case 0x00:
            error = ErrorValue::Null;
            return true;
        case 0x07:
            error = ErrorValue::Div0;
            return true;
        case 0x0F:
            error = ErrorValue::Value;
            return true;
        case 0x17:
            error = ErrorValue::Ref;
            return true;
        case 0x1D:
            error = ErrorValue::Name;
            return true;
        case 0x24:
            error = ErrorValue::Num;
            return true;
        case 0x2A:
            error = ErrorValue::NA;
            return true;
        case 0x2B:
            error = ErrorValue::GettingData;
            return true;
        default:
            return false;
    }
}

class SheetValueReader {
public:
    SheetValueReader(const BiffSheetInfo& sheet, const BiffGlobals& globals,
                     const std::vector<std::string>& sharedStrings,
                     const std::function<void(BiffCellValue&)>& visit,
                     const BiffRecordVisitor& otherRecord)
        : m_globals(globals),
          m_sharedStrings(sharedStrings),
          m_biff2(globals.earlyVersion == 2),
          m_visit(visit),
          m_otherRecord(otherRecord),
          m_codePage(globals.biff8 ? "CP1252" : biffCodePageName(globals.codePage)),
          m_cellDamage("is damaged: a cell of the sheet '" + sheet.name + "' cannot be read") {}

    // Handles one record of the sheet (not BOF or EOF).
    void record(const BiffRecord& record, BiffRecordCursor& records) {
        std::string_view data = record.data;
        if (m_pending) {
            if (record.type == (m_biff2 ? kStringBiff2 : kString)) {
                m_value.text = stringRecord(data, records);
                m_pending = false;
                if (m_value.text.empty()) {
                    m_value.type = CellType::Blank;  // an empty text result is no value
                }
                m_visit(m_value);
                return;
            }
            if (record.type == kSharedFormula || record.type == kArray || record.type == kTable) {
                other(record, records);
                return;
            }
            if (record.type == kBiffContinue) {
                return;
            }
            finish();  // a text result whose STRING record never came is no value
        }
        if (m_biff2) {
            biff2Record(record, records);
            return;
        }
        switch (record.type) {
            case kFormula:
            case kFormulaBiff3:
            case kFormulaBiff4:
                need(data, 14);
                formula(data, 6, le16(data, 4));
                break;
            case kBoolErr:
                need(data, 8);
                boolErr(data, 6);
                break;
            case kNumber:
                need(data, 14);
                number(data, le16(data, 4), leDouble(data, 6));
                break;
            case kRk:
                need(data, 10);
                number(data, le16(data, 4), rkNumber(le32(data, 6)));
                break;
            case kMulRk:
                mulRk(data);
                break;
            case kLabel:
                label(data, false);
                break;
            case kRString:
                label(data, true);
                break;
            case kLabelSst:
                labelSst(data);
                break;
            case kBlank:
                need(data, 6);
                start(data, CellType::Blank);
                m_visit(m_value);
                break;
            case kMulBlank:
                mulBlank(data);
                break;
            default:
                other(record, records);
                break;
        }
    }

    // At the sheet's end: a formula still awaiting its text result has none.
    void finish() {
        if (m_pending) {
            m_pending = false;
            m_value.type = CellType::Blank;
            m_value.text.clear();
            m_visit(m_value);
        }
    }

private:
    void other(const BiffRecord& record, BiffRecordCursor& records) const {
        if (m_otherRecord) {
            m_otherRecord(record, records);
        }
    }

    void biff2Record(const BiffRecord& record, BiffRecordCursor& records) {
        std::string_view data = record.data;
        switch (record.type) {
            case kIxfeBiff2:
                need(data, 2);
                m_ixfe = le16(data, 0);
                break;
            case kIntegerBiff2:
                need(data, 9);
                number(data, biff2Xf(data), le16(data, 7));
                break;
            case kNumberBiff2:
                need(data, 15);
                number(data, biff2Xf(data), leDouble(data, 7));
                break;
            case kLabelBiff2:
                need(data, 8);
                start(data, CellType::Text);
                need(data, 8 + static_cast<unsigned char>(data[7]));
                m_codePage.appendUtf8(m_value.text,
                                      data.substr(8, static_cast<unsigned char>(data[7])));
                if (!m_value.text.empty()) {
                    m_visit(m_value);
                }
                break;
            case kBoolErrBiff2:
                need(data, 9);
                boolErr(data, 7);
                break;
            case kFormulaBiff2:
                need(data, 15);
                formula(data, 7, biff2Xf(data));
                break;
            default:
                other(record, records);
                break;
        }
    }

    // The XF index of a BIFF2 cell: the low 6 bits of its first attribute byte, where 63
    // stands for the index of the IXFE record before it.
    uint16_t biff2Xf(std::string_view data) const {
        const uint16_t xf = static_cast<unsigned char>(data[4]) & 0x3F;
        return xf == 63 ? m_ixfe : xf;
    }

    void need(std::string_view data, size_t size) const {
        if (data.size() < size) {
            throw BiffDamage(m_cellDamage);
        }
    }

    void start(std::string_view data, CellType type) {
        startAt(le16(data, 0), le16(data, 2), type, m_biff2 ? biff2Xf(data) : le16(data, 4));
    }

    // A new value of a cell, nothing of the one before left.
    void startAt(uint16_t row, uint16_t column, CellType type, uint16_t xf) {
        m_value.row = row;
        m_value.column = column;
        m_value.type = type;
        m_value.isDate = false;
        m_value.xf = xf;
        m_value.text.clear();
        m_value.sharedString = BiffCellValue::kNotShared;
        m_value.runs.clear();
        m_value.formula = {};
    }

    bool isDate(uint16_t xf) const {
        return xf < m_globals.xfIsDate.size() && m_globals.xfIsDate[xf];
    }

    // Formula results come here too.
    void number(std::string_view data, uint16_t xf, double value) {
        const bool date = isDate(xf);
        if (!std::isfinite(value)) {
            return;
        }
        start(data, CellType::Number);
        m_value.number = value;
        m_value.isDate = date;
        m_value.xf = xf;
        m_visit(m_value);
    }

    void mulRk(std::string_view data) {
        need(data, 6);
        const size_t count = (data.size() - 6) / 6;
        const uint16_t row = le16(data, 0);
        const uint16_t first = le16(data, 2);
        for (size_t i = 0; i < count && first + i <= 0xFFFF; ++i) {
            double value = rkNumber(le32(data, 4 + 6 * i + 2));
            const uint16_t xf = le16(data, 4 + 6 * i);
            const bool date = isDate(xf);
            if (!std::isfinite(value)) {
                continue;
            }
            startAt(row, static_cast<uint16_t>(first + i), CellType::Number, xf);
            m_value.number = value;
            m_value.isDate = date;
            m_visit(m_value);
        }
    }

    // Blank cells that carry only a cell format, one after another in a row.
    void mulBlank(std::string_view data) {
        need(data, 6);
        const size_t count = (data.size() - 6) / 2;
        const uint16_t row = le16(data, 0);
        const uint16_t first = le16(data, 2);
        for (size_t i = 0; i < count && first + i <= 0xFFFF; ++i) {
            startAt(row, static_cast<uint16_t>(first + i), CellType::Blank, le16(data, 4 + 2 * i));
            m_visit(m_value);
        }
    }

    // A text of LABEL, or of RSTRING, which formatting runs follow.
    void label(std::string_view data, bool withRuns) {
        need(data, 8);
        start(data, CellType::Text);
        if (m_globals.biff8) {
            BiffContinuedReader reader({data.substr(6)}, m_cellDamage);
            m_value.text = reader.unicodeString(2, BiffContinuedReader::Layout::Plain);
            if (withRuns) {
                biff8Runs(reader);
            }
        } else {
            size_t count = le16(data, 6);
            need(data, 8 + count);
            m_codePage.appendUtf8(m_value.text, data.substr(8, count));
            if (withRuns) {
                eightBitRuns(data.substr(8, count), data.substr(8 + count));
            }
        }
        visitText();
    }

    // Runs are an addition to the text: a list cut short leaves the text unformatted.
    void biff8Runs(BiffContinuedReader& reader) {
        try {
            const uint16_t count = reader.u16();
            for (uint16_t i = 0; i < count; ++i) {
                BiffTextRun run;
                run.character = reader.u16();
                run.font = reader.u16();
                m_value.runs.push_back(run);
            }
        } catch (const BiffDamage&) {
            m_value.runs.clear();
        }
    }

    // The runs of an 8-bit text count its bytes, which a code page of two-byte characters
    // makes more than its characters: each start is counted again in the converted text.
    void eightBitRuns(std::string_view bytes, std::string_view runs) {
        if (runs.empty() || runs.size() < 1 + 2 * size_t{static_cast<uint8_t>(runs[0])}) {
            return;
        }
        const size_t count = static_cast<uint8_t>(runs[0]);
        std::string before;
        for (size_t i = 0; i < count; ++i) {
            const size_t at = static_cast<uint8_t>(runs[1 + 2 * i]);
            if (at > bytes.size()) {
                continue;
            }
            before.clear();
            m_codePage.appendUtf8(before, bytes.substr(0, at));
            BiffTextRun run;
            run.character = static_cast<uint16_t>(utf16Length(before));
            run.font = static_cast<uint8_t>(runs[2 + 2 * i]);
            m_value.runs.push_back(run);
        }
    }

    void labelSst(std::string_view data) {
        need(data, 10);
        uint32_t index = le32(data, 6);
        if (index >= m_sharedStrings.size()) {
            throw BiffDamage("is damaged: its table of shared texts is broken");
        }
        start(data, CellType::Text);
        m_value.text = m_sharedStrings[index];
        m_value.sharedString = index;
        visitText();
    }

    // An empty text is no value: the cell is blank, kept when its format is not the default.
    void visitText() {
        if (m_value.text.empty()) {
            m_value.type = CellType::Blank;
            m_value.runs.clear();
        }
        m_visit(m_value);
    }

    // The cached result is the 8 bytes at resultAt. The cell is visited even without one, for
    // its formula.
    void formula(std::string_view data, size_t resultAt, uint16_t xf) {
        start(data, CellType::Blank);
        m_value.formula = data;
        m_value.xf = xf;
        std::string_view result = data.substr(resultAt, 8);
        if (le16(result, 6) != 0xFFFF) {
            const double value = leDouble(result, 0);
            if (std::isfinite(value)) {
                m_value.type = CellType::Number;
                m_value.number = value;
                m_value.isDate = isDate(xf);
            }
            m_visit(m_value);
            return;
        }
        switch (static_cast<uint8_t>(result[0])) {
            case 0:  // text, in the STRING record that follows
                m_value.type = CellType::Text;
                m_pending = true;
                return;
            case 1:
                m_value.type = CellType::Boolean;
                m_value.boolean = result[2] != 0;
                break;
            case 2:
                if (errorOfCode(static_cast<uint8_t>(result[2]), m_value.error)) {
                    m_value.type = CellType::Error;
                }
                break;
            default:
                break;  // an empty text: no value
        }
        m_visit(m_value);
    }

    // The value byte is at valueAt, the byte telling an error after it.
    void boolErr(std::string_view data, size_t valueAt) {
        start(data, CellType::Boolean);
        auto code = static_cast<uint8_t>(data[valueAt]);
        if (data[valueAt + 1] != 0) {
            if (!errorOfCode(code, m_value.error)) {
                return;
            }
            m_value.type = CellType::Error;
        } else {
            m_value.boolean = code != 0;
        }
        m_visit(m_value);
    }

    std::string stringRecord(std::string_view data, BiffRecordCursor& records) {
        std::string text;
        if (m_globals.biff8) {
            std::vector<std::string_view> segments{data};
            records.takeContinues(segments);
            BiffContinuedReader reader(std::move(segments), m_cellDamage);
            text = reader.unicodeString(2, BiffContinuedReader::Layout::Plain);
        } else if (m_biff2) {
            need(data, 1);
            size_t count = static_cast<unsigned char>(data[0]);
            need(data, 1 + count);
            m_codePage.appendUtf8(text, data.substr(1, count));
        } else {
            need(data, 2);
            size_t count = le16(data, 0);
            need(data, 2 + count);
            m_codePage.appendUtf8(text, data.substr(2, count));
        }
        return text;
    }

    const BiffGlobals& m_globals;
    const std::vector<std::string>& m_sharedStrings;
    const bool m_biff2;
    const std::function<void(BiffCellValue&)>& m_visit;
    const BiffRecordVisitor& m_otherRecord;
    dbf::CodePageConverter m_codePage;
    const std::string m_cellDamage;
    BiffCellValue m_value;
    bool m_pending = false;  // m_value is a formula awaiting its text result
    uint16_t m_ixfe = 0;     // of BIFF2: the XF index of the next cell that asks for it
};

}  // namespace

void readSheetValues(std::string_view stream, const BiffSheetInfo& sheet,
                     const BiffGlobals& globals, const std::vector<std::string>& sharedStrings,
                     const std::function<void(BiffCellValue&)>& visit,
                     const BiffRecordVisitor& otherRecord) {
    BiffRecordCursor records(stream, sheet.position);
    auto bof = records.next();
    if (!bof || !isBofOf(globals, bof->type)) {
        throw BiffDamage("is damaged: the sheet '" + sheet.name + "' cannot be found");
    }
    SheetValueReader reader(sheet, globals, sharedStrings, visit, otherRecord);
    int depth = 0;  // of substreams embedded in the sheet (charts)
    while (auto record = records.next()) {
        if (isBofOf(globals, record->type)) {
            ++depth;
        } else if (record->type == kEof) {
            if (depth == 0) {
                reader.finish();
                return;
            }
            --depth;
        } else if (depth == 0) {
            reader.record(*record, records);
        }
    }
    throw BiffDamage("is damaged: the file ends before its contents do");
}

}  // namespace plyfold::engine::xls
