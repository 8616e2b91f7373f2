#include "engine/common/text.h"
#include "engine/io/xlsx/read_failure.h"
#include "engine/io/xlsx/sheet_rules_reader.h"
#include "engine/io/xlsx/value_parsing.h"
#include "engine/model/limits.h"

namespace plyfold::engine::xlsx_read {
namespace {

class DataValidationHandler final : public XmlHandler {
public:
    DataValidationHandler(const RuleContext& context, std::vector<DataValidation>& into)
        : m_context(context), m_into(into) {}

    void startElement(std::string_view name, XmlAttributes attributes) override {
        ++m_depth;
        if (m_depth == 2 && name == "dataValidation") {
            startRule(attributes);
        } else if (m_depth == 3 && m_inRule && (name == "formula1" || name == "formula2")) {
            // Written as text, or (in the extension list) as the text of an <f> inside.
            m_formula = name == "formula1" ? &m_rule.formula1 : &m_rule.formula2;
            m_formula->clear();
        } else if (m_depth == 3 && m_inRule && name == "sqref") {
            // The extension list's rules give their ranges as an element.
            m_sqref.clear();
            m_formula = &m_sqref;
        }
    }

    void endElement(std::string_view) override {
        if (m_depth == 3 && m_formula == &m_sqref) {
            const std::vector<CellRange> ranges = parseRangeList(m_sqref);
            m_rule.ranges.insert(m_rule.ranges.end(), ranges.begin(), ranges.end());
            m_context.count(ranges.size() * sizeof(CellRange));
            m_formula = nullptr;
        } else if (m_depth == 3 && m_formula) {
            if (!cleanFormula(*m_formula)) {
                m_valid = false;
            }
            m_context.count(m_formula->size());
            m_formula = nullptr;
        } else if (m_depth == 2 && m_inRule) {
            m_inRule = false;
            if (m_valid && !m_rule.ranges.empty()) {
                m_into.push_back(std::move(m_rule));
            }
        }
        --m_depth;
    }

    void characters(std::string_view text) override {
        if (m_formula) {
            if (m_formula->size() + text.size() > kMaxRawTextBytes) {
                fail(FailureKind::TooLarge,
                     "a validation rule holds a formula longer than a formula can be");
            }
            m_formula->append(text);
        }
    }

private:
    void startRule(XmlAttributes attributes) {
        m_rule = {};
        m_inRule = true;
        m_valid = true;
        m_rule.ranges = parseRangeList(attributeOr(attributes, "sqref"));
        if (const std::string_view* type = findAttribute(attributes, "type")) {
            const auto known = validationTypeFromName(*type);
            m_valid = known.has_value();
            m_rule.type = known.value_or(ValidationType::None);
        }
        if (const std::string_view* op = findAttribute(attributes, "operator")) {
            m_rule.op = validationOperatorFromName(*op).value_or(ValidationOperator::Between);
        }
        if (const std::string_view* style = findAttribute(attributes, "errorStyle")) {
            m_rule.errorStyle =
                validationErrorStyleFromName(*style).value_or(ValidationErrorStyle::Stop);
        }
        m_rule.allowBlank = booleanAttribute(attributes, "allowBlank", false);
        m_rule.showDropDown = booleanAttribute(attributes, "showDropDown", false);
        m_rule.showInputMessage = booleanAttribute(attributes, "showInputMessage", false);
        m_rule.showErrorMessage = booleanAttribute(attributes, "showErrorMessage", false);
        m_rule.errorTitle = textAttribute(attributes, "errorTitle");
        m_rule.error = textAttribute(attributes, "error");
        m_rule.promptTitle = textAttribute(attributes, "promptTitle");
        m_rule.prompt = textAttribute(attributes, "prompt");
        m_context.count(sizeof(DataValidation) + m_rule.ranges.size() * sizeof(CellRange) +
                        m_rule.errorTitle.size() + m_rule.error.size() + m_rule.promptTitle.size() +
                        m_rule.prompt.size());
    }

    const RuleContext& m_context;
    std::vector<DataValidation>& m_into;
    int m_depth = 0;
    DataValidation m_rule;
    bool m_inRule = false;
    bool m_valid = false;
    std::string* m_formula = nullptr;  // the text being collected
    std::string m_sqref;
};

}  // namespace

std::unique_ptr<XmlHandler> dataValidationReader(const RuleContext& context,
                                                 std::vector<DataValidation>& into) {
    return std::make_unique<DataValidationHandler>(context, into);
}

}  // namespace plyfold::engine::xlsx_read
