#include "engine/io/xlsx/sheet_rules_writer.h"

#include <algorithm>

#include "engine/model/workbook.h"

namespace plyfold::engine::xlsx {
namespace {

void writeColorElement(XmlStreamWriter& out, const Color& color) {
    out.raw("<color");
    if (color.kind == Color::Kind::Rgb) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        char rgb[8];
        for (int i = 0; i < 8; ++i) {
            rgb[i] = kHex[(color.argb >> (28 - 4 * i)) & 0xF];
        }
        out.raw(" rgb=\"");
        out.raw(std::string_view(rgb, 8));
        out.raw('"');
    } else {
        out.raw(" auto=\"1\"");
    }
    out.raw("/>");
}

void writeValues(XmlStreamWriter& out, const ConditionalFormatRule& rule,
                 const WrittenFormula& formula) {
    for (const ConditionalValue& value : rule.values) {
        out.raw("<cfvo");
        out.attribute("type", value.type);
        if (!value.value.empty()) {
            out.attribute("val", formula(value.value));
        }
        if (!value.greaterOrEqual) {
            out.raw(" gte=\"0\"");
        }
        out.raw("/>");
    }
}

void writeFlag(XmlStreamWriter& out, std::string_view name, bool value, bool fallback) {
    if (value != fallback) {
        out.attribute(name, value ? "1" : "0");
    }
}

void writeRule(XmlStreamWriter& out, const ConditionalFormatRule& rule, int64_t priority,
               uint32_t styleCount, const WrittenFormula& formula) {
    using Type = ConditionalFormatType;
    out.raw("<cfRule");
    out.attribute("type", conditionalFormatTypeName(rule.type));
    if (rule.differentialStyle && *rule.differentialStyle < styleCount) {
        out.attribute("dxfId", static_cast<int64_t>(*rule.differentialStyle));
    }
    out.attribute("priority", priority);
    writeFlag(out, "stopIfTrue", rule.stopIfTrue, false);
    if (rule.type == Type::AboveAverage) {
        writeFlag(out, "aboveAverage", rule.aboveAverage, true);
        writeFlag(out, "equalAverage", rule.equalAverage, false);
        if (rule.stdDev != 0) {
            out.attribute("stdDev", rule.stdDev);
        }
    }
    if (rule.type == Type::Top10) {
        writeFlag(out, "percent", rule.percent, false);
        writeFlag(out, "bottom", rule.bottom, false);
        out.attribute("rank", rule.rank);
    }
    if (rule.op != ConditionalFormatOperator::None) {
        out.attribute("operator", conditionalFormatOperatorName(rule.op));
    }
    if (!rule.text.empty()) {
        out.attribute("text", rule.text);
    }
    if (rule.type == Type::TimePeriod && !rule.timePeriod.empty()) {
        out.attribute("timePeriod", rule.timePeriod);
    }
    out.raw('>');
    for (const std::string& text : rule.formulas) {
        out.raw("<formula>");
        out.text(formula(text));
        out.raw("</formula>");
    }
    if (rule.type == Type::ColorScale) {
        out.raw("<colorScale>");
        writeValues(out, rule, formula);
        for (const Color& color : rule.colors) {
            writeColorElement(out, color);
        }
        out.raw("</colorScale>");
    } else if (rule.type == Type::DataBar) {
        out.raw("<dataBar");
        if (rule.minLength != 10) {
            out.attribute("minLength", static_cast<int64_t>(rule.minLength));
        }
        if (rule.maxLength != 90) {
            out.attribute("maxLength", static_cast<int64_t>(rule.maxLength));
        }
        writeFlag(out, "showValue", rule.showValue, true);
        out.raw('>');
        writeValues(out, rule, formula);
        for (const Color& color : rule.colors) {
            writeColorElement(out, color);
        }
        out.raw("</dataBar>");
    } else if (rule.type == Type::IconSet) {
        out.raw("<iconSet");
        if (!rule.iconSet.empty()) {
            out.attribute("iconSet", rule.iconSet);
        }
        writeFlag(out, "showValue", rule.showValue, true);
        writeFlag(out, "percent", rule.percent, true);
        writeFlag(out, "reverse", rule.reverseIcons, false);
        out.raw('>');
        writeValues(out, rule, formula);
        out.raw("</iconSet>");
    }
    out.raw("</cfRule>");
}

}  // namespace

std::string rangeListText(const std::vector<CellRange>& ranges) {
    std::string text;
    for (const CellRange& range : ranges) {
        if (!text.empty()) {
            text += ' ';
        }
        text += rangeName(range);
    }
    return text;
}

void writeConditionalFormats(XmlStreamWriter& out, const Sheet& sheet,
                             const WrittenFormula& formula) {
    const auto& formats = sheet.conditionalFormats();
    if (formats.empty()) {
        return;
    }
    // The written priority of each rule: its rank among the sheet's rules by stored priority,
    // ties in the order of the sheet.
    std::vector<std::pair<int32_t, size_t>> order;
    for (const ConditionalFormat& format : formats) {
        for (const ConditionalFormatRule& rule : format.rules) {
            order.emplace_back(rule.priority, order.size());
        }
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<int64_t> priority(order.size());
    for (size_t rank = 0; rank < order.size(); ++rank) {
        priority[order[rank].second] = static_cast<int64_t>(rank) + 1;
    }
    size_t next = 0;
    for (const ConditionalFormat& format : formats) {
        if (format.ranges.empty() || format.rules.empty()) {
            next += format.rules.size();
            continue;
        }
        out.raw("<conditionalFormatting");
        if (format.pivot) {
            out.raw(" pivot=\"1\"");
        }
        out.attribute("sqref", rangeListText(format.ranges));
        out.raw('>');
        for (const ConditionalFormatRule& rule : format.rules) {
            writeRule(out, rule, priority[next++],
                      sheet.workbook().styles().differentialStyleCount(), formula);
        }
        out.raw("</conditionalFormatting>");
    }
}

void writeDataValidations(XmlStreamWriter& out, const Sheet& sheet, const WrittenFormula& formula) {
    size_t count = 0;
    for (const DataValidation& rule : sheet.dataValidations()) {
        count += rule.ranges.empty() ? 0 : 1;
    }
    if (count == 0) {
        return;
    }
    out.raw("<dataValidations");
    out.attribute("count", static_cast<int64_t>(count));
    out.raw('>');
    for (const DataValidation& rule : sheet.dataValidations()) {
        if (rule.ranges.empty()) {
            continue;
        }
        out.raw("<dataValidation");
        if (rule.type != ValidationType::None) {
            out.attribute("type", validationTypeName(rule.type));
        }
        if (rule.errorStyle != ValidationErrorStyle::Stop) {
            out.attribute("errorStyle", validationErrorStyleName(rule.errorStyle));
        }
        if (rule.op != ValidationOperator::Between) {
            out.attribute("operator", validationOperatorName(rule.op));
        }
        writeFlag(out, "allowBlank", rule.allowBlank, false);
        writeFlag(out, "showDropDown", rule.showDropDown, false);
        writeFlag(out, "showInputMessage", rule.showInputMessage, false);
        writeFlag(out, "showErrorMessage", rule.showErrorMessage, false);
        const std::pair<std::string_view, const std::string*> texts[] = {
            {"errorTitle", &rule.errorTitle},
            {"error", &rule.error},
            {"promptTitle", &rule.promptTitle},
            {"prompt", &rule.prompt}};
        for (const auto& [name, text] : texts) {
            if (!text->empty()) {
                out.attribute(name, *text);
            }
        }
        out.attribute("sqref", rangeListText(rule.ranges));
        if (rule.formula1.empty() && rule.formula2.empty()) {
            out.raw("/>");
            continue;
        }
        out.raw('>');
        if (!rule.formula1.empty()) {
            out.raw("<formula1>");
            out.text(formula(rule.formula1));
            out.raw("</formula1>");
        }
        if (!rule.formula2.empty()) {
            out.raw("<formula2>");
            out.text(formula(rule.formula2));
            out.raw("</formula2>");
        }
        out.raw("</dataValidation>");
    }
    out.raw("</dataValidations>");
}

}  // namespace plyfold::engine::xlsx
