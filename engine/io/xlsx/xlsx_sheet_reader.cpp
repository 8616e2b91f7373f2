#include "engine/io/xlsx/xlsx_sheet_reader.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>

#include "engine/common/text.h"
#include "engine/io/xlsx/read_failure.h"
#include "engine/io/xlsx/sheet_rules_reader.h"
#include "engine/io/xlsx/sheet_settings_reader.h"
#include "engine/io/xlsx/value_parsing.h"
#include "engine/io/xlsx/xml_parser.h"
#include "engine/model/limits.h"
#include "engine/model/workbook.h"
#include "engine/ops/formula_refs.h"
#include "engine/ops/shared_formula.h"

namespace plyfold::engine::xlsx_read {
namespace {

// Where an element sits; elements this reader does not use are skipped with all they hold.
enum Context : uint8_t {
    kIgnore,
    kDocument,
    kRoot,
    kSheetData,
    kRow,
    kCell,
    kValue,
    kFormula,
    kInline,
    kInlineText,
    kInlineRun,
    kInlineRunText,
    kCols,
    kMergeCells,
    kExtensions,
    kExtension,
    kExtensionFormats,
    kSettings,  // inside an element the settings reader takes
    kInlineRunProperties,
    kHyperlinks,
};

enum class ValueType : uint8_t {
    Number,
    SharedString,
    InlineString,
    FormulaString,
    Boolean,
    Error,
    Date
};

enum class FormulaKind : uint8_t { None, Normal, Array, Shared, DataTable };

// What is built is counted in chunks of about this many bytes.
constexpr uint64_t kCountingChunk = 64 * 1024;

bool nameIs(std::string_view name, std::string_view expected) {
    return name.size() == expected.size() &&
           std::memcmp(name.data(), expected.data(), name.size()) == 0;
}

std::string quoted(std::string_view text) {
    std::string shown(utf16Prefix(text, 40));
    if (shown.size() < text.size()) {
        shown += "...";
    }
    return "'" + shown + "'";
}

bool isBlankText(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; });
}

// The extensions of a sheet part that hold conditional formats and validation rules of a later
// version (rules reading other sheets), read with the others.
bool isRuleExtension(std::string_view uri) {
    return equalsIgnoringAsciiCase(uri, "{78C0D931-6437-407d-A8EE-F0AAD7539E65}") ||
           equalsIgnoringAsciiCase(uri, "{CCE6A557-97BC-4b89-ADB6-D9C93CAAB3DF}");
}

class SheetHandler final : public XmlHandler {
public:
    explicit SheetHandler(const SheetContext& context)
        : m_context(context),
          m_settings(context.colors ? *context.colors : defaultColors(),
                     [this](uint64_t bytes) { count(bytes); }) {
        m_stack.reserve(32);
        m_stack.push_back(kDocument);
        if (context.runFonts) {
            m_runs.emplace(*context.runFonts);
        }
    }

    void startElement(std::string_view name, XmlAttributes attributes) override;
    void endElement(std::string_view name) override;
    void characters(std::string_view text) override {
        if (m_rules) {
            m_rules->characters(text);
            return;
        }
        if (m_stack.back() == kSettings) {
            m_settings.characters(text);
            return;
        }
        if (m_collect) {
            if (m_collect->size() + text.size() > kMaxRawTextBytes) {
                fail(FailureKind::TooLarge,
                     "the cell " + cellName(m_cell) + " holds a text longer than the " +
                         std::to_string(kMaxCellTextLength) + " characters a cell can hold");
            }
            m_collect->append(text);
        }
    }

    SheetContent finish();

private:
    void startRow(XmlAttributes attributes);
    void finishRow();
    void startCell(XmlAttributes attributes);
    void startFormula(XmlAttributes attributes);
    void finishCell();
    void readColumn(XmlAttributes attributes);
    void readMerge(XmlAttributes attributes);
    void readFormat(XmlAttributes attributes);
    // Hands the element just started and all it holds to a reader of its own.
    void startRules(std::unique_ptr<XmlHandler> reader, std::string_view name,
                    XmlAttributes attributes);
    static const ColorResolver& defaultColors() {
        static const ColorResolver colors;
        return colors;
    }
    void readHyperlink(XmlAttributes attributes);
    void keepInlineRuns(Cell& cell);

    Row& rowFor(int32_t index);
    uint32_t styleFor(uint32_t format) const;
    [[noreturn]] void failFormat(uint32_t format, const std::string& user) const;
    uint32_t internText(std::string& text);
    void checkFormulaLength(std::string_view text) const;
    uint32_t internFormula(std::string_view text);
    void count(uint64_t bytes) {
        m_uncounted += bytes;
        if (m_uncounted >= kCountingChunk) {
            countNow();
        }
    }
    void countNow() {
        m_context.sheet.countLoaded(m_uncounted);
        m_uncounted = 0;
    }
    CellRef parseReference(std::string_view text) const;
    void setValue(Cell& cell);
    void setFormula(Cell& cell);

    const SheetContext& m_context;
    SheetContent m_content;
    std::vector<uint8_t> m_stack;
    std::string* m_collect = nullptr;

    int32_t m_rowIndex = -1;    // of the current <row>
    int32_t m_nextColumn = 0;   // for cells without r=
    size_t m_lastRowWidth = 0;  // cells in the previous row, to size the next
    bool m_unordered = false;   // rows or cells came out of order
    SheetSettingsReader m_settings;

    // The cell being read.
    CellRef m_cell;
    uint32_t m_format = 0;
    ValueType m_type = ValueType::Number;
    bool m_hasValue = false;
    bool m_hasInline = false;
    FormulaKind m_formulaKind = FormulaKind::None;
    uint32_t m_sharedIndex = 0;
    std::string m_formulaRef;
    std::string m_value;
    std::string m_inline;
    std::string m_formula;

    // The shared formulas defined so far: si -> id in the workbook's shared formulas.
    std::unordered_map<uint32_t, uint32_t> m_sharedFormulas;
    uint64_t m_uncounted = 0;  // bytes built, not counted yet

    // Conditional formats and validation rules: the reader of the element being read, and
    // how deep in it the parser is.
    RuleContext m_ruleContext;
    std::unique_ptr<XmlHandler> m_rules;
    int m_rulesDepth = 0;

    // The runs of the cell's inline string.
    std::optional<RunCollector> m_runs;
    size_t m_runStart = 0;  // where the current run's text begins in m_inline
};

void SheetHandler::startRules(std::unique_ptr<XmlHandler> reader, std::string_view name,
                              XmlAttributes attributes) {
    if (!m_ruleContext.count) {
        m_ruleContext.count = [this](uint64_t bytes) { count(bytes); };
        m_ruleContext.differentialStyleIds = m_context.differentialStyleIds;
        m_ruleContext.colors = m_context.colors;
        m_ruleContext.styles = &m_context.sheet.workbook().styles();
        m_ruleContext.uncarried = &m_settings.uncarried();
    }
    m_rules = std::move(reader);
    m_rulesDepth = 1;
    m_rules->startElement(name, attributes);
}

void SheetHandler::startElement(std::string_view name, XmlAttributes attributes) {
    if (m_rules) {
        ++m_rulesDepth;
        m_rules->startElement(name, attributes);
        return;
    }
    uint8_t context = kIgnore;
    switch (m_stack.back()) {
        case kRow:
            if (nameIs(name, "c")) {
                startCell(attributes);
                context = kCell;
            }
            break;
        case kCell:
            if (nameIs(name, "v")) {
                m_value.clear();
                m_hasValue = true;
                m_collect = &m_value;
                context = kValue;
            } else if (nameIs(name, "f")) {
                startFormula(attributes);
                m_collect = &m_formula;
                context = kFormula;
            } else if (nameIs(name, "is")) {
                m_inline.clear();
                m_hasInline = true;
                if (m_runs) {
                    m_runs->clear();
                }
                context = kInline;
            }
            break;
        case kSheetData:
            if (nameIs(name, "row")) {
                startRow(attributes);
                context = kRow;
            }
            break;
        case kInline:
            if (nameIs(name, "t")) {
                m_collect = &m_inline;
                context = kInlineText;
            } else if (nameIs(name, "r")) {
                if (m_runs) {
                    m_runs->startRun();
                }
                context = kInlineRun;
            }
            break;
        case kInlineRun:
            if (nameIs(name, "t")) {
                m_collect = &m_inline;
                m_runStart = m_inline.size();
                context = kInlineRunText;
            } else if (nameIs(name, "rPr")) {
                context = kInlineRunProperties;
            }
            break;
        case kInlineRunProperties:
            if (m_runs) {
                m_runs->runProperty(name, attributes);
            }
            break;
        case kHyperlinks:
            if (nameIs(name, "hyperlink")) {
                readHyperlink(attributes);
            }
            break;
        case kRoot:
            if (nameIs(name, "sheetData")) {
                context = kSheetData;
            } else if (nameIs(name, "cols")) {
                context = kCols;
            } else if (nameIs(name, "mergeCells")) {
                context = kMergeCells;
            } else if (nameIs(name, "sheetFormatPr")) {
                readFormat(attributes);
            } else if (nameIs(name, "conditionalFormatting")) {
                startRules(conditionalFormatReader(m_ruleContext, m_content.conditionalFormats),
                           name, attributes);
                return;
            } else if (nameIs(name, "dataValidations")) {
                startRules(dataValidationReader(m_ruleContext, m_content.dataValidations), name,
                           attributes);
                return;
            } else if (nameIs(name, "extLst")) {
                context = kExtensions;
            } else if (nameIs(name, "hyperlinks")) {
                context = kHyperlinks;
            } else if (nameIs(name, "legacyDrawing")) {
                m_content.hasLegacyDrawing = true;
            } else if (nameIs(name, "drawing")) {
                m_content.drawingRelationship = attributeOr(attributes, "id");
            } else if (SheetSettingsReader::claims(name)) {
                m_settings.startElement(name, attributes);
                context = kSettings;
            }
            break;
        case kExtensions:
            if (nameIs(name, "ext")) {
                // Rules of a later version are read with the others; what other extensions
                // hold is noted as left out.
                const std::string_view* uri = findAttribute(attributes, "uri");
                if (uri && isRuleExtension(*uri)) {
                    context = kExtension;
                } else {
                    m_settings.noteExtension(attributes);
                }
            }
            break;
        case kExtension:
            // Validation rules that read other sheets, as programs write them for readers
            // that allow such references only there.
            if (nameIs(name, "dataValidations")) {
                startRules(dataValidationReader(m_ruleContext, m_content.dataValidations), name,
                           attributes);
                return;
            } else if (nameIs(name, "conditionalFormattings")) {
                context = kExtensionFormats;
            }
            break;
        case kExtensionFormats:
            if (nameIs(name, "conditionalFormatting")) {
                startRules(
                    extensionConditionalFormatReader(m_ruleContext, m_content.conditionalFormats),
                    name, attributes);
                return;
            }
            break;
        case kSettings:
            m_settings.startElement(name, attributes);
            context = kSettings;
            break;
        case kCols:
            if (nameIs(name, "col")) {
                readColumn(attributes);
            }
            break;
        case kMergeCells:
            if (nameIs(name, "mergeCell")) {
                readMerge(attributes);
            }
            break;
        case kDocument:
            context = kRoot;
            break;
        default:
            break;
    }
    m_stack.push_back(context);
}

void SheetHandler::endElement(std::string_view name) {
    if (m_rules) {
        m_rules->endElement(name);
        if (--m_rulesDepth == 0) {
            m_rules.reset();
        }
        return;
    }
    uint8_t context = m_stack.back();
    m_stack.pop_back();
    switch (context) {
        case kValue:
        case kFormula:
        case kInlineText:
            m_collect = nullptr;
            break;
        case kInlineRunText:
            m_collect = nullptr;
            if (m_runs) {
                m_runs->runText().append(m_inline, m_runStart);
            }
            break;
        case kInlineRun:
            if (m_runs) {
                m_runs->endRun();
            }
            break;
        case kCell:
            finishCell();
            break;
        case kRow:
            finishRow();
            break;
        case kSettings:
            m_settings.endElement();
            break;
        default:
            break;
    }
}

CellRef SheetHandler::parseReference(std::string_view text) const {
    CellRef ref;
    switch (parseCellReference(text, ref)) {
        case ReferenceStatus::Ok:
            return ref;
        case ReferenceStatus::BeyondLimits:
            fail(FailureKind::TooLarge,
                 "the cell " + quoted(text) + " lies beyond the last cell of a sheet, XFD1048576");
        case ReferenceStatus::Invalid:
            break;
    }
    fail(FailureKind::Invalid, quoted(text) + " is not a valid cell reference");
}

Row& SheetHandler::rowFor(int32_t index) {
    std::vector<Row>& rows = m_content.rows;
    if (!rows.empty()) {
        if (rows.back().index == index) {
            return rows.back();
        }
        if (rows.back().index > index) {
            m_unordered = true;
        }
    }
    count(sizeof(Row) + m_lastRowWidth * sizeof(Cell));
    Row& row = rows.emplace_back();
    row.index = index;
    row.cells.reserve(m_lastRowWidth);
    return row;
}

void SheetHandler::startRow(XmlAttributes attributes) {
    int32_t index = m_rowIndex + 1;
    float height = 0.0f;
    bool hidden = false;
    bool customHeight = false;
    uint32_t outlineLevel = 0;
    bool collapsed = false;
    uint32_t format = 0;
    bool customFormat = false;
    for (const XmlAttribute& a : attributes) {
        if (nameIs(a.name, "r")) {
            uint32_t number = 0;
            if (!parseIndex(a.value, number) || number == 0) {
                fail(FailureKind::Invalid, quoted(a.value) + " is not a valid row number");
            }
            if (number > static_cast<uint32_t>(kMaxRows)) {
                fail(FailureKind::TooLarge, "row " + std::to_string(number) +
                                                " lies beyond the last row of a sheet, " +
                                                std::to_string(kMaxRows));
            }
            index = static_cast<int32_t>(number - 1);
        } else if (nameIs(a.name, "ht")) {
            double points = 0;
            if (parseNumber(a.value, points) && points >= 0 && points <= 409.5) {
                height = static_cast<float>(points);
            }
        } else if (nameIs(a.name, "hidden")) {
            hidden = parseBoolean(a.value).value_or(false);
        } else if (nameIs(a.name, "customHeight")) {
            customHeight = parseBoolean(a.value).value_or(false);
        } else if (nameIs(a.name, "outlineLevel")) {
            parseIndex(a.value, outlineLevel);
        } else if (nameIs(a.name, "collapsed")) {
            collapsed = parseBoolean(a.value).value_or(false);
        } else if (nameIs(a.name, "s")) {
            parseIndex(a.value, format);
        } else if (nameIs(a.name, "customFormat")) {
            customFormat = parseBoolean(a.value).value_or(false);
        }
    }
    if (index >= kMaxRows) {
        fail(FailureKind::TooLarge,
             "the sheet has more than the " + std::to_string(kMaxRows) + " rows a sheet can hold");
    }
    m_rowIndex = index;
    m_nextColumn = 0;
    Row& row = rowFor(index);
    if (height > 0) {
        row.height = height;
    }
    row.hidden = row.hidden || hidden;
    row.customHeight = row.customHeight || customHeight;
    row.outlineLevel = static_cast<uint8_t>(std::min<uint32_t>(outlineLevel, 7));
    row.collapsed = row.collapsed || collapsed;
    // A row's s is its format only when customFormat says so.
    if (customFormat && format < m_context.styleIds.size()) {
        row.style = m_context.styleIds[format];
    }
}

void SheetHandler::finishRow() {
    std::vector<Row>& rows = m_content.rows;
    if (rows.empty()) {
        return;
    }
    Row& last = rows.back();
    if (last.index == m_rowIndex && last.cells.empty() && !last.hasOwnFormat()) {
        rows.pop_back();  // nothing of its own to keep
        return;
    }
    m_lastRowWidth = last.cells.size();
}

void SheetHandler::startCell(XmlAttributes attributes) {
    m_cell = CellRef{m_rowIndex, m_nextColumn};
    bool positioned = false;
    m_format = 0;
    m_type = ValueType::Number;
    for (const XmlAttribute& a : attributes) {
        if (a.name.size() != 1) {
            continue;
        }
        switch (a.name[0]) {
            case 'r':
                m_cell = parseReference(a.value);
                positioned = true;
                break;
            case 's':
                if (!parseIndex(a.value, m_format)) {
                    fail(FailureKind::Invalid,
                         quoted(a.value) + " is not a valid cell format number");
                }
                break;
            case 't': {
                std::string_view t = a.value;
                if (nameIs(t, "s")) {
                    m_type = ValueType::SharedString;
                } else if (nameIs(t, "n")) {
                    m_type = ValueType::Number;
                } else if (nameIs(t, "str")) {
                    m_type = ValueType::FormulaString;
                } else if (nameIs(t, "inlineStr")) {
                    m_type = ValueType::InlineString;
                } else if (nameIs(t, "b")) {
                    m_type = ValueType::Boolean;
                } else if (nameIs(t, "e")) {
                    m_type = ValueType::Error;
                } else if (nameIs(t, "d")) {
                    m_type = ValueType::Date;
                } else {
                    fail(FailureKind::Invalid, quoted(t) + " is not a cell type");
                }
                break;
            }
            default:
                break;
        }
    }
    if (!positioned && m_cell.column >= kMaxColumns) {
        fail(FailureKind::TooLarge, "row " + std::to_string(m_cell.row + 1) +
                                        " has more than the " + std::to_string(kMaxColumns) +
                                        " columns a sheet can hold");
    }
    if (m_cell.row < 0) {
        m_cell.row = 0;  // a cell outside any <row>, placed by its reference
    }
    m_nextColumn = m_cell.column + 1;
    m_hasValue = false;
    m_hasInline = false;
    m_formulaKind = FormulaKind::None;
}

void SheetHandler::startFormula(XmlAttributes attributes) {
    m_formula.clear();
    m_formulaRef.clear();
    m_formulaKind = FormulaKind::Normal;
    bool hasIndex = false;
    for (const XmlAttribute& a : attributes) {
        if (nameIs(a.name, "t")) {
            if (nameIs(a.value, "array")) {
                m_formulaKind = FormulaKind::Array;
            } else if (nameIs(a.value, "shared")) {
                m_formulaKind = FormulaKind::Shared;
            } else if (nameIs(a.value, "dataTable")) {
                m_formulaKind = FormulaKind::DataTable;
            }
        } else if (nameIs(a.name, "ref")) {
            m_formulaRef.assign(a.value);
        } else if (nameIs(a.name, "si")) {
            hasIndex = parseIndex(a.value, m_sharedIndex);
        }
    }
    if (m_formulaKind == FormulaKind::Shared && !hasIndex) {
        m_formulaKind = FormulaKind::Normal;  // nothing to share: an ordinary formula
    }
}

uint32_t SheetHandler::styleFor(uint32_t format) const {
    const std::vector<uint32_t>& ids = m_context.styleIds;
    if (format < ids.size()) {
        return ids[format];
    }
    if (format == 0) {
        return 0;  // no styles part: the default format
    }
    failFormat(format, "the cell " + cellName(m_cell));
}

void SheetHandler::failFormat(uint32_t format, const std::string& user) const {
    fail(FailureKind::Invalid, user + " uses cell format " + std::to_string(format) +
                                   ", but the file has only " +
                                   std::to_string(m_context.styleIds.size()));
}

uint32_t SheetHandler::internText(std::string& text) {
    if (!isXmlText(text)) {
        fail(FailureKind::Damaged, "the cell " + cellName(m_cell) +
                                       " holds text that is not "
                                       "valid UTF-8");
    }
    decodeEscapes(text);
    if (utf16Length(text) > static_cast<size_t>(kMaxCellTextLength)) {
        fail(FailureKind::TooLarge,
             "the cell " + cellName(m_cell) + " holds a text longer than the " +
                 std::to_string(kMaxCellTextLength) + " characters a cell can hold");
    }
    return m_context.strings.intern(text);
}

void SheetHandler::checkFormulaLength(std::string_view text) const {
    if (utf16Length(text) > static_cast<size_t>(kMaxFormulaLength)) {
        fail(FailureKind::TooLarge, "the formula of cell " + cellName(m_cell) +
                                        " is longer than the " + std::to_string(kMaxFormulaLength) +
                                        " characters a formula can have");
    }
}

uint32_t SheetHandler::internFormula(std::string_view text) {
    checkFormulaLength(text);
    return m_context.formulas.intern(text) + 1;
}

void SheetHandler::setValue(Cell& cell) {
    switch (m_type) {
        case ValueType::Number:
            if (m_hasValue && !isBlankText(m_value)) {
                if (!parseNumber(m_value, cell.value.number)) {
                    fail(FailureKind::Invalid, "the cell " + cellName(m_cell) + " holds " +
                                                   quoted(m_value) + " where a number belongs");
                }
                cell.type = CellType::Number;
            }
            break;
        case ValueType::SharedString:
            // An empty value (<v/>) names no shared string: the cell is empty.
            if (m_hasValue && !isBlankText(m_value)) {
                uint32_t index = 0;
                if (!parseIndex(m_value, index)) {
                    fail(FailureKind::Invalid, "the cell " + cellName(m_cell) + " holds " +
                                                   quoted(m_value) +
                                                   " where a shared string number belongs");
                }
                if (index >= m_context.sharedStrings.size()) {
                    fail(FailureKind::Invalid,
                         "the cell " + cellName(m_cell) + " refers to shared string " +
                             std::to_string(index) + ", but the file has only " +
                             std::to_string(m_context.sharedStrings.size()));
                }
                cell.type = CellType::Text;
                cell.value.text = m_context.sharedStrings[index];
                if (const std::vector<uint32_t>* rich = m_context.sharedRichIds;
                    rich && index < rich->size()) {
                    cell.richText = (*rich)[index];
                }
            }
            break;
        case ValueType::InlineString:
            if (m_hasInline || m_hasValue) {
                cell.type = CellType::Text;
                cell.value.text = internText(m_hasInline ? m_inline : m_value);
                if (m_hasInline && m_runs && m_runs->hasRuns()) {
                    keepInlineRuns(cell);
                }
            }
            break;
        case ValueType::FormulaString:
            if (m_hasValue) {
                cell.type = CellType::Text;
                cell.value.text = internText(m_value);
            }
            break;
        case ValueType::Boolean:
            if (m_hasValue && !isBlankText(m_value)) {
                std::optional<bool> value = parseBoolean(m_value);
                if (!value) {
                    fail(FailureKind::Invalid, "the cell " + cellName(m_cell) + " holds " +
                                                   quoted(m_value) +
                                                   " where TRUE or FALSE belongs");
                }
                cell.type = CellType::Boolean;
                cell.value.boolean = *value;
            }
            break;
        case ValueType::Error:
            if (m_hasValue && !isBlankText(m_value)) {
                ErrorValue error;
                std::string_view text = m_value;
                while (!text.empty() && (text.back() == ' ' || text.back() == '\n')) {
                    text.remove_suffix(1);
                }
                // Errors newer than the model's list (#SPILL!, #CALC!, ...) read as #VALUE!.
                cell.type = CellType::Error;
                cell.value.error = parseErrorText(text, error) ? error : ErrorValue::Value;
            }
            break;
        case ValueType::Date:
            if (m_hasValue && !isBlankText(m_value)) {
                std::optional<double> serial = parseIsoDateSerial(m_value, m_context.date1904);
                if (!serial) {
                    fail(FailureKind::Invalid, "the cell " + cellName(m_cell) + " holds " +
                                                   quoted(m_value) + " where a date belongs");
                }
                cell.type = CellType::Number;
                cell.value.number = *serial;
            }
            break;
    }
}

void SheetHandler::setFormula(Cell& cell) {
    if (!isXmlText(m_formula)) {
        fail(FailureKind::Damaged,
             "the formula of cell " + cellName(m_cell) + " is not valid UTF-8 text");
    }
    decodeEscapes(m_formula);
    std::string_view text = m_formula;
    while (!text.empty() && (text.front() == ' ' || text.front() == '\n')) {
        text.remove_prefix(1);
    }
    if (!text.empty() && text.front() == '=') {
        text.remove_prefix(1);
    }
    switch (m_formulaKind) {
        case FormulaKind::None:
        case FormulaKind::DataTable:
            return;  // a what-if table's cells hold only their values
        case FormulaKind::Normal:
            if (!text.empty()) {
                cell.formula = internFormula(text);
            }
            return;
        case FormulaKind::Array:
            if (!text.empty()) {
                cell.formula = internFormula(text);
                cell.flags |= kArrayFormula;
                CellRange range{m_cell, m_cell};
                if (std::optional<CellRange> given = parseRangeName(m_formulaRef);
                    given && given->first == m_cell) {
                    range = *given;
                }
                m_content.arrayFormulas.push_back(ArrayFormula{range});
            }
            return;
        case FormulaKind::Shared: {
            // The first cell of a group holds the formula; the others name it by si. The
            // workbook holds it once for all of them.
            if (!text.empty()) {
                checkFormulaLength(text);
                const uint32_t id = addSharedFormula(m_context.sheet.workbook(), text, m_cell);
                m_sharedFormulas[m_sharedIndex] = id;
            }
            auto found = m_sharedFormulas.find(m_sharedIndex);
            if (found == m_sharedFormulas.end()) {
                fail(FailureKind::Invalid,
                     "the cell " + cellName(m_cell) + " uses shared formula " +
                         std::to_string(m_sharedIndex) + ", which no cell before it defines");
            }
            const SharedFormula& shared = m_context.sheet.workbook().sharedFormula(found->second);
            if (shared.reach.contains(m_cell)) {
                cell.formula = found->second + 1;
                cell.flags |= kSharedFormula;
                return;
            }
            // Here a reference would leave the sheet (#REF!): the cell keeps a text of its own.
            cell.formula = internFormula(shiftFormula(m_context.formulas.text(shared.text),
                                                      m_cell.row - shared.anchor.row,
                                                      m_cell.column - shared.anchor.column));
            return;
        }
    }
}

void SheetHandler::finishCell() {
    Cell cell;
    cell.column = static_cast<uint16_t>(m_cell.column);
    cell.style = styleFor(m_format);
    setValue(cell);
    if (m_formulaKind != FormulaKind::None) {
        setFormula(cell);
    }
    if (cell.type == CellType::Blank && !cell.hasFormula() && cell.style == 0) {
        return;
    }
    Row& row = rowFor(m_cell.row);
    if (!row.cells.empty() && row.cells.back().column >= cell.column) {
        m_unordered = true;
    }
    if (row.cells.size() == row.cells.capacity()) {
        count(std::max<size_t>(row.cells.capacity(), 4) * sizeof(Cell));
    }
    row.cells.push_back(cell);
}

void SheetHandler::keepInlineRuns(Cell& cell) {
    RichText text;
    if (!m_runs->take(text) || text.runs.empty()) {
        return;
    }
    cell.richText = m_context.sheet.workbook().addRichText(std::move(text)) + 1;
}

void SheetHandler::readHyperlink(XmlAttributes attributes) {
    HyperlinkEntry entry;
    std::optional<CellRange> range;
    for (const XmlAttribute& a : attributes) {
        if (nameIs(a.name, "ref")) {
            range = parseRangeName(a.value);
        } else if (nameIs(a.name, "id")) {
            entry.relationshipId.assign(a.value);
        } else if (nameIs(a.name, "location")) {
            entry.link.location.assign(a.value);
        } else if (nameIs(a.name, "display")) {
            entry.link.display.assign(a.value);
        } else if (nameIs(a.name, "tooltip")) {
            entry.link.tooltip.assign(a.value);
        }
    }
    if (!range || (entry.relationshipId.empty() && entry.link.location.empty())) {
        return;  // a link to nowhere, or on no cells: spreadsheet programs drop it too
    }
    entry.link.range = *range;
    count(sizeof(HyperlinkEntry) + entry.relationshipId.size() + entry.link.location.size() +
          entry.link.display.size() + entry.link.tooltip.size());
    m_content.hyperlinks.push_back(std::move(entry));
}

void SheetHandler::readColumn(XmlAttributes attributes) {
    ColumnInfo info;
    uint32_t first = 0;
    uint32_t last = 0;
    uint32_t format = 0;
    for (const XmlAttribute& a : attributes) {
        if (nameIs(a.name, "min")) {
            parseIndex(a.value, first);
        } else if (nameIs(a.name, "max")) {
            parseIndex(a.value, last);
        } else if (nameIs(a.name, "width")) {
            double width = 0;
            if (parseNumber(a.value, width) && width >= 0 && width <= 255) {
                info.width = width;
            }
        } else if (nameIs(a.name, "hidden")) {
            info.hidden = parseBoolean(a.value).value_or(false);
        } else if (nameIs(a.name, "customWidth")) {
            info.customWidth = parseBoolean(a.value).value_or(false);
        } else if (nameIs(a.name, "outlineLevel")) {
            uint32_t level = 0;
            parseIndex(a.value, level);
            info.outlineLevel = static_cast<uint8_t>(std::min<uint32_t>(level, 7));
        } else if (nameIs(a.name, "collapsed")) {
            info.collapsed = parseBoolean(a.value).value_or(false);
        } else if (nameIs(a.name, "style")) {
            parseIndex(a.value, format);
        }
    }
    if (first == 0 || last < first) {
        fail(FailureKind::Invalid,
             "a column range runs from " + std::to_string(first) + " to " + std::to_string(last));
    }
    if (last > static_cast<uint32_t>(kMaxColumns)) {
        fail(FailureKind::TooLarge, "column " + std::to_string(last) +
                                        " lies beyond the last column of a sheet, " +
                                        columnName(kMaxColumns - 1));
    }
    info.first = static_cast<int32_t>(first - 1);
    info.last = static_cast<int32_t>(last - 1);
    if (format >= m_context.styleIds.size() && format != 0) {
        failFormat(format, "column " + columnName(info.first));
    }
    info.style = format < m_context.styleIds.size() ? m_context.styleIds[format] : 0;
    // The sheet's default width, stated for a styled or hidden column, is no width of its own.
    const double sheetDefault = m_content.defaultColumnWidth.value_or(8.43);
    if (!info.customWidth && info.width == sheetDefault) {
        info.width = 0;
    }
    count(sizeof(ColumnInfo));
    m_content.columns.push_back(info);
}

void SheetHandler::readMerge(XmlAttributes attributes) {
    std::string_view ref = attributeOr(attributes, "ref");
    size_t colon = ref.find(':');
    CellRef first = parseReference(ref.substr(0, colon));
    CellRef last = colon == std::string_view::npos ? first : parseReference(ref.substr(colon + 1));
    CellRange range{{std::min(first.row, last.row), std::min(first.column, last.column)},
                    {std::max(first.row, last.row), std::max(first.column, last.column)}};
    if (range.first != range.last) {
        count(sizeof(CellRange));
        m_content.merges.push_back(range);
    }
}

void SheetHandler::readFormat(XmlAttributes attributes) {
    m_settings.readOutlineLevels(attributes);
    std::optional<double> base;
    for (const XmlAttribute& a : attributes) {
        double value = 0;
        if (!parseNumber(a.value, value) || value <= 0) {
            continue;
        }
        if (nameIs(a.name, "defaultRowHeight") && value <= 409.5) {
            m_content.defaultRowHeight = value;
        } else if (nameIs(a.name, "defaultColWidth") && value <= 255) {
            m_content.defaultColumnWidth = value;
        } else if (nameIs(a.name, "baseColWidth") && value <= 255) {
            base = value;
        }
    }
    if (!m_content.defaultColumnWidth && base) {
        // The base width counts digits only; the default column adds the margins, which
        // come to 0.43 of a digit in the default font (8 -> 8.43).
        m_content.defaultColumnWidth = *base + 0.43;
    }
}

SheetContent SheetHandler::finish() {
    m_content.selectedCell = m_settings.selectedCell();
    m_content.settings = m_settings.takeSettings();
    m_content.uncarried = m_settings.takeUncarried();
    countNow();
    std::vector<Row>& rows = m_content.rows;
    if (m_unordered) {
        std::stable_sort(rows.begin(), rows.end(),
                         [](const Row& a, const Row& b) { return a.index < b.index; });
        std::vector<Row> merged;
        merged.reserve(rows.size());
        for (Row& row : rows) {
            if (!merged.empty() && merged.back().index == row.index) {
                Row& into = merged.back();
                into.cells.insert(into.cells.end(), row.cells.begin(), row.cells.end());
                into.hidden = into.hidden || row.hidden;
                into.customHeight = into.customHeight || row.customHeight;
                into.outlineLevel = std::max(into.outlineLevel, row.outlineLevel);
                into.collapsed = into.collapsed || row.collapsed;
                if (row.height > 0) {
                    into.height = row.height;
                }
            } else {
                merged.push_back(std::move(row));
            }
        }
        rows = std::move(merged);
        for (Row& row : rows) {
            std::stable_sort(row.cells.begin(), row.cells.end(),
                             [](const Cell& a, const Cell& b) { return a.column < b.column; });
            // A cell given twice keeps what came last, as the file was written.
            auto out = row.cells.begin();
            for (auto it = row.cells.begin(); it != row.cells.end(); ++it) {
                if (out != row.cells.begin() && (out - 1)->column == it->column) {
                    *(out - 1) = *it;
                } else {
                    *out++ = *it;
                }
            }
            row.cells.erase(out, row.cells.end());
        }
    }

    std::vector<ColumnInfo>& columns = m_content.columns;
    std::stable_sort(columns.begin(), columns.end(),
                     [](const ColumnInfo& a, const ColumnInfo& b) { return a.first < b.first; });
    std::vector<ColumnInfo> runs;
    for (ColumnInfo info : columns) {
        if (!runs.empty() && info.first <= runs.back().last) {
            info.first = runs.back().last + 1;  // overlapping runs: the earlier one wins
            if (info.first > info.last) {
                continue;
            }
        }
        runs.push_back(info);
    }
    columns = std::move(runs);
    return std::move(m_content);
}

}  // namespace

SheetContent readSheetPart(ByteSource& source, const SheetContext& context, XmlParser parser) {
    SheetHandler handler(context);
    if (parser == XmlParser::Fast) {
        parseXmlFast(source, handler);
    } else {
        parseXmlWithExpat(source, handler);
    }
    return handler.finish();
}

}  // namespace plyfold::engine::xlsx_read
