#include <algorithm>
#include <array>
#include <optional>

#include "engine/common/text.h"
#include "engine/io/xlsx/differential_style_reader.h"
#include "engine/io/xlsx/read_failure.h"
#include "engine/io/xlsx/sheet_rules_reader.h"
#include "engine/io/xlsx/value_parsing.h"
#include "engine/model/limits.h"

namespace plyfold::engine::xlsx_read {
namespace {

constexpr size_t kMaxFormulasPerRule = 3;

constexpr std::array<std::string_view, 10> kTimePeriods = {
    "today",     "yesterday", "tomorrow", "last7Days", "thisMonth",
    "lastMonth", "nextMonth", "thisWeek", "lastWeek",  "nextWeek"};

constexpr std::array<std::string_view, 6> kValueTypes = {"num", "percent", "max",
                                                         "min", "formula", "percentile"};

constexpr std::array<std::string_view, 17> kIconSets = {
    "3Arrows",        "3ArrowsGray", "3Flags",      "3TrafficLights1", "3TrafficLights2", "3Signs",
    "3Symbols",       "3Symbols2",   "4Arrows",     "4ArrowsGray",     "4RedToBlack",     "4Rating",
    "4TrafficLights", "5Arrows",     "5ArrowsGray", "5Rating",         "5Quarters"};

template <size_t N>
bool isOneOf(std::string_view value, const std::array<std::string_view, N>& names) {
    return std::find(names.begin(), names.end(), value) != names.end();
}

class ConditionalFormatHandler final : public XmlHandler {
public:
    ConditionalFormatHandler(const RuleContext& context, std::vector<ConditionalFormat>& into,
                             bool extension)
        : m_context(context), m_into(into), m_extension(extension) {}

    void startElement(std::string_view name, XmlAttributes attributes) override {
        ++m_depth;
        if (m_dxf) {
            m_dxf->startElement(m_depth - 1, name, attributes);
            return;
        }
        if (m_depth == 1) {
            m_format = {};
            m_format.ranges = parseRangeList(attributeOr(attributes, "sqref"));
            m_format.pivot = booleanAttribute(attributes, "pivot", false);
            m_context.count(sizeof(ConditionalFormat) + m_format.ranges.size() * sizeof(CellRange));
        } else if (m_depth == 2 && name == "cfRule") {
            startRule(attributes);
        } else if (m_depth == 3 && m_inRule &&
                   (name == "formula" || (m_extension && name == "f"))) {
            m_text.clear();
            m_collecting = true;
        } else if (m_depth == 3 && m_inRule && m_extension && name == "dxf") {
            m_dxf.emplace(m_context.count);
            m_dxf->startElement(2, name, attributes);
        } else if (m_depth == 2 && m_extension && name == "sqref") {
            m_text.clear();
            m_collectingRanges = true;
        } else if (m_depth == 3 && m_inRule &&
                   (name == "colorScale" || name == "dataBar" || name == "iconSet")) {
            m_inScale = true;
            if (name == "dataBar") {
                uint32_t length = 0;
                if (parseIndex(attributeOr(attributes, "minLength"), length) && length <= 100) {
                    m_rule.minLength = length;
                }
                if (parseIndex(attributeOr(attributes, "maxLength"), length) && length <= 100) {
                    m_rule.maxLength = length;
                }
            } else if (name == "iconSet") {
                // Names other programs would not know fall back to the default set.
                m_rule.iconSet = textAttribute(attributes, "iconSet");
                if (!isOneOf(m_rule.iconSet, kIconSets)) {
                    m_rule.iconSet.clear();
                }
                m_rule.reverseIcons = booleanAttribute(attributes, "reverse", false);
                m_rule.percent = booleanAttribute(attributes, "percent", true);
            }
            m_rule.showValue = booleanAttribute(attributes, "showValue", true);
        } else if (m_depth == 4 && m_inScale && name == "cfvo") {
            ConditionalValue value;
            value.type = textAttribute(attributes, "type");
            value.value = textAttribute(attributes, "val");
            if (!value.value.empty() && value.value.front() == '=') {
                value.value.erase(0, 1);
            }
            value.greaterOrEqual = booleanAttribute(attributes, "gte", true);
            if (!isOneOf(value.type, kValueTypes)) {
                m_ruleValid = false;
            }
            m_context.count(sizeof(ConditionalValue) + value.type.size() + value.value.size());
            m_rule.values.push_back(std::move(value));
        } else if (m_depth == 4 && m_inScale && name == "color") {
            m_context.count(sizeof(Color));
            m_rule.colors.push_back(
                m_context.colors ? m_context.colors->resolve(readColorSpec(attributes)) : Color{});
        }
    }

    void endElement(std::string_view) override {
        if (m_dxf) {
            m_dxf->endElement(m_depth - 1);
            if (m_depth == 3) {
                finishStyle();
            }
            --m_depth;
            return;
        }
        if (m_depth == 2 && m_collectingRanges) {
            m_collectingRanges = false;
            const std::vector<CellRange> ranges = parseRangeList(m_text);
            m_format.ranges.insert(m_format.ranges.end(), ranges.begin(), ranges.end());
            m_context.count(ranges.size() * sizeof(CellRange));
        } else if (m_depth == 3 && m_collecting) {
            m_collecting = false;
            if (!cleanFormula(m_text) || m_text.empty() ||
                m_rule.formulas.size() >= kMaxFormulasPerRule) {
                m_ruleValid = false;
            } else {
                m_context.count(sizeof(std::string) + m_text.size());
                m_rule.formulas.push_back(std::move(m_text));
            }
        } else if (m_depth == 3) {
            m_inScale = false;
        } else if (m_depth == 2 && m_inRule) {
            m_inRule = false;
            if (m_ruleValid && ruleComplete()) {
                m_format.rules.push_back(std::move(m_rule));
            }
        } else if (m_depth == 1 && !m_format.ranges.empty() && !m_format.rules.empty()) {
            m_into.push_back(std::move(m_format));
        }
        --m_depth;
    }

    void characters(std::string_view text) override {
        if (m_collecting || m_collectingRanges) {
            if (m_text.size() + text.size() > kMaxRawTextBytes) {
                fail(FailureKind::TooLarge,
                     "a conditional format holds a formula longer than a formula can be");
            }
            m_text.append(text);
        }
    }

private:
    void startRule(XmlAttributes attributes) {
        m_rule = {};
        m_inRule = true;
        m_ruleValid = true;
        const auto type = conditionalFormatTypeFromName(attributeOr(attributes, "type"));
        if (!type) {
            m_ruleValid = false;
            return;
        }
        m_rule.type = *type;
        if (m_extension && (m_rule.type == ConditionalFormatType::DataBar ||
                            m_rule.type == ConditionalFormatType::ColorScale ||
                            m_rule.type == ConditionalFormatType::IconSet)) {
            // The settings a later version adds to the rule kept in the sheet part.
            if (m_context.uncarried) {
                m_context.uncarried->add(
                    "data bar, colour scale and icon set settings of a later version (negative "
                    "bar colours, bar axis, custom icons)");
            }
            m_ruleValid = false;
            return;
        }
        uint32_t number = 0;
        if (parseIndex(attributeOr(attributes, "dxfId"), number) &&
            m_context.differentialStyleIds && number < m_context.differentialStyleIds->size()) {
            m_rule.differentialStyle = (*m_context.differentialStyleIds)[number];
        }
        if (parseIndex(attributeOr(attributes, "priority"), number) && number >= 1 &&
            number <= INT32_MAX) {
            m_rule.priority = static_cast<int32_t>(number);
        }
        m_rule.stopIfTrue = booleanAttribute(attributes, "stopIfTrue", false);
        if (const std::string_view* op = findAttribute(attributes, "operator")) {
            m_rule.op =
                conditionalFormatOperatorFromName(*op).value_or(ConditionalFormatOperator::None);
        }
        m_rule.text = textAttribute(attributes, "text");
        m_rule.timePeriod = textAttribute(attributes, "timePeriod");
        if (m_rule.type == ConditionalFormatType::TimePeriod &&
            !isOneOf(m_rule.timePeriod, kTimePeriods)) {
            m_ruleValid = false;
        }
        if (parseIndex(attributeOr(attributes, "rank"), number) && number <= INT32_MAX) {
            m_rule.rank = static_cast<int32_t>(number);
        }
        m_rule.percent = booleanAttribute(attributes, "percent", false);
        m_rule.bottom = booleanAttribute(attributes, "bottom", false);
        m_rule.aboveAverage = booleanAttribute(attributes, "aboveAverage", true);
        m_rule.equalAverage = booleanAttribute(attributes, "equalAverage", false);
        if (parseIndex(attributeOr(attributes, "stdDev"), number) && number <= 3) {
            m_rule.stdDev = static_cast<int32_t>(number);
        }
        m_context.count(sizeof(ConditionalFormatRule) + m_rule.text.size());
    }

    // Whether the rule holds what its kind needs to be drawn.
    bool ruleComplete() const {
        switch (m_rule.type) {
            case ConditionalFormatType::Expression:
            case ConditionalFormatType::CellIs:
                return !m_rule.formulas.empty();
            case ConditionalFormatType::ColorScale:
                return m_rule.values.size() >= 2 && m_rule.values.size() <= 3 &&
                       m_rule.colors.size() == m_rule.values.size();
            case ConditionalFormatType::DataBar:
                return m_rule.values.size() == 2 && m_rule.colors.size() == 1;
            case ConditionalFormatType::IconSet:
                return m_rule.values.size() >= 2 && m_rule.values.size() <= 5;
            default:
                return true;
        }
    }

    // The style written inside the rule, added to the workbook's differential styles.
    void finishStyle() {
        if (m_context.styles && m_context.colors && !m_dxf->styles.empty()) {
            m_rule.differentialStyle =
                addDifferentialStyles(m_dxf->styles, *m_context.colors, *m_context.styles).back();
        }
        m_dxf.reset();
    }

    const RuleContext& m_context;
    std::vector<ConditionalFormat>& m_into;
    bool m_extension;
    std::optional<DifferentialStyleHandler> m_dxf;
    bool m_collectingRanges = false;
    int m_depth = 0;
    ConditionalFormat m_format;
    ConditionalFormatRule m_rule;
    bool m_inRule = false;
    bool m_ruleValid = false;
    bool m_inScale = false;
    bool m_collecting = false;
    std::string m_text;
};

}  // namespace

bool cleanFormula(std::string& text) {
    if (!isXmlText(text)) {
        return false;
    }
    decodeEscapes(text);
    size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\n')) {
        ++start;
    }
    if (start < text.size() && text[start] == '=') {
        ++start;
    }
    text.erase(0, start);
    return utf16Length(text) <= static_cast<size_t>(kMaxFormulaLength);
}

std::vector<CellRange> parseRangeList(std::string_view text) {
    std::vector<CellRange> ranges;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(' ', at);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > at) {
            if (auto range = parseRangeName(text.substr(at, end - at))) {
                ranges.push_back(*range);
            }
        }
        at = end + 1;
    }
    return ranges;
}

std::unique_ptr<XmlHandler> conditionalFormatReader(const RuleContext& context,
                                                    std::vector<ConditionalFormat>& into) {
    return std::make_unique<ConditionalFormatHandler>(context, into, false);
}

std::unique_ptr<XmlHandler> extensionConditionalFormatReader(const RuleContext& context,
                                                             std::vector<ConditionalFormat>& into) {
    return std::make_unique<ConditionalFormatHandler>(context, into, true);
}

}  // namespace plyfold::engine::xlsx_read
