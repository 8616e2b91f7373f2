#include "engine/ops/sheet_rules_copy.h"

#include <algorithm>
#include <climits>
#include <map>
#include <optional>

#include "engine/model/sheet.h"
#include "engine/model/workbook.h"
#include "engine/ops/formula_refs.h"
#include "engine/ops/workbook_links.h"

namespace plyfold::engine {
namespace {

// Calls fn with every formula text of a conditional format.
template <typename Fn>
void forEachFormula(ConditionalFormat& format, Fn&& fn) {
    for (ConditionalFormatRule& rule : format.rules) {
        for (std::string& text : rule.formulas) {
            fn(text);
        }
        for (ConditionalValue& value : rule.values) {
            if (!value.value.empty()) {
                fn(value.value);
            }
        }
    }
}

template <typename Fn>
void forEachFormula(DataValidation& rule, Fn&& fn) {
    for (std::string* text : {&rule.formula1, &rule.formula2}) {
        if (!text->empty()) {
            fn(*text);
        }
    }
}

bool intersects(const CellRange& a, const CellRange& b) {
    return a.first.row <= b.last.row && b.first.row <= a.last.row &&
           a.first.column <= b.last.column && b.first.column <= a.last.column;
}

// The ranges cut to block; empty when none reaches into it.
std::vector<CellRange> clipped(const std::vector<CellRange>& ranges, const CellRange& block) {
    std::vector<CellRange> kept;
    for (const CellRange& range : ranges) {
        if (intersects(range, block)) {
            kept.push_back({{std::max(range.first.row, block.first.row),
                             std::max(range.first.column, block.first.column)},
                            {std::min(range.last.row, block.last.row),
                             std::min(range.last.column, block.last.column)}});
        }
    }
    return kept;
}

// The ranges without the cells of hole: each range cut around it into up to four bands.
std::vector<CellRange> without(const std::vector<CellRange>& ranges, const CellRange& hole) {
    std::vector<CellRange> kept;
    for (const CellRange& range : ranges) {
        if (!intersects(range, hole)) {
            kept.push_back(range);
            continue;
        }
        if (range.first.row < hole.first.row) {
            kept.push_back({range.first, {hole.first.row - 1, range.last.column}});
        }
        const int32_t top = std::max(range.first.row, hole.first.row);
        const int32_t bottom = std::min(range.last.row, hole.last.row);
        if (range.first.column < hole.first.column) {
            kept.push_back({{top, range.first.column}, {bottom, hole.first.column - 1}});
        }
        if (range.last.column > hole.last.column) {
            kept.push_back({{top, hole.last.column + 1}, {bottom, range.last.column}});
        }
        if (range.last.row > hole.last.row) {
            kept.push_back({{hole.last.row + 1, range.first.column}, range.last});
        }
    }
    return kept;
}

CellRange shifted(CellRange range, CellRef offset) {
    range.first.row += offset.row;
    range.last.row += offset.row;
    range.first.column += offset.column;
    range.last.column += offset.column;
    return range;
}

// Moves the relative references of formulas read from `from` so that they read the same
// cells from `to`.
template <typename Rule>
void reanchor(Rule& rule, CellRef from, CellRef to) {
    if (from == to) {
        return;
    }
    forEachFormula(rule, [&](std::string& text) {
        text = shiftFormula(text, to.row - from.row, to.column - from.column);
    });
}

// Gives a rule the ranges left to it, its formulas following its top-left cell. False when
// nothing is left.
template <typename Rule>
bool setRanges(Rule& rule, std::vector<CellRange> ranges) {
    const auto before = topLeftOf(rule.ranges);
    const auto after = topLeftOf(ranges);
    rule.ranges = std::move(ranges);
    if (!after) {
        return false;
    }
    if (before) {
        reanchor(rule, *before, *after);
    }
    return true;
}

// Differential styles of one workbook mapped into another's, each once.
class StyleMap {
public:
    StyleMap(const Workbook& from, Workbook& to) : m_from(from), m_to(to) {}

    void map(ConditionalFormat& format) {
        for (ConditionalFormatRule& rule : format.rules) {
            if (!rule.differentialStyle) {
                continue;
            }
            const uint32_t id = *rule.differentialStyle;
            if (id >= m_from.styles().differentialStyleCount()) {
                rule.differentialStyle.reset();
                continue;
            }
            auto [it, added] = m_ids.try_emplace(id, 0);
            if (added) {
                it->second = m_to.styles().importDifferentialStyle(m_from.styles(), id);
            }
            rule.differentialStyle = it->second;
        }
    }

private:
    const Workbook& m_from;
    Workbook& m_to;
    std::map<uint32_t, uint32_t> m_ids;
};

int32_t lastPriority(const Sheet& sheet) {
    int32_t last = 0;
    for (const ConditionalFormat& format : sheet.conditionalFormats()) {
        for (const ConditionalFormatRule& rule : format.rules) {
            last = std::max(last, rule.priority);
        }
    }
    return last;
}

// Cuts the rectangle out of the rules of sheet.
void clearRules(Sheet& sheet, const CellRange& rect) {
    auto& formats = sheet.conditionalFormats();
    std::erase_if(formats, [&](ConditionalFormat& format) {
        return !setRanges(format, without(format.ranges, rect));
    });
    auto& validations = sheet.dataValidations();
    std::erase_if(validations, [&](DataValidation& rule) {
        return !setRanges(rule, without(rule.ranges, rect));
    });
}

// Where the lines [first, first + count) are deleted: the range's span, moved and shrunk;
// false when it lay wholly in the deleted lines.
bool spanAfterDeleting(int32_t& lo, int32_t& hi, int32_t first, int32_t count) {
    const int64_t end = int64_t{first} + count;
    if (hi < first) {
        return true;
    }
    if (lo >= end) {
        lo -= count;
        hi -= count;
        return true;
    }
    if (lo >= first && hi < end) {
        return false;
    }
    lo = lo < first ? lo : first;
    hi = hi >= end ? static_cast<int32_t>(hi - count) : first - 1;
    return true;
}

template <typename Rule>
bool deleteLines(Rule& rule, int32_t first, int32_t count, bool columns,
                 const RuleFormulaRewrite& rewrite) {
    const auto before = topLeftOf(rule.ranges);
    std::vector<CellRange> kept;
    for (CellRange range : rule.ranges) {
        int32_t& lo = columns ? range.first.column : range.first.row;
        int32_t& hi = columns ? range.last.column : range.last.row;
        if (spanAfterDeleting(lo, hi, first, count)) {
            kept.push_back(range);
        }
    }
    const auto after = topLeftOf(kept);
    rule.ranges = std::move(kept);
    if (!after) {
        return false;
    }
    // The formulas are first made to read from where the new top-left cell stood before the
    // deletion, then updated for it like any formula of the sheet.
    CellRef stood = *after;
    int32_t& line = columns ? stood.column : stood.row;
    if (line >= first) {
        line += count;
    }
    reanchor(rule, *before, stood);
    forEachFormula(rule, [&](std::string& text) { text = rewrite(text); });
    return true;
}

}  // namespace

void rewriteRuleFormulas(Sheet& sheet, const RuleFormulaRewrite& rewrite) {
    for (ConditionalFormat& format : sheet.conditionalFormats()) {
        forEachFormula(format, [&](std::string& text) { text = rewrite(text); });
    }
    for (DataValidation& rule : sheet.dataValidations()) {
        forEachFormula(rule, [&](std::string& text) { text = rewrite(text); });
    }
}

void rewriteRuleFormulasWithin(Sheet& sheet, const CellRange& area,
                               const RuleFormulaRewrite& rewrite) {
    auto inside = [&](const std::vector<CellRange>& ranges) {
        return std::all_of(ranges.begin(), ranges.end(), [&](const CellRange& range) {
            return area.contains(range.first) && area.contains(range.last);
        });
    };
    for (ConditionalFormat& format : sheet.conditionalFormats()) {
        if (inside(format.ranges)) {
            forEachFormula(format, [&](std::string& text) { text = rewrite(text); });
        }
    }
    for (DataValidation& rule : sheet.dataValidations()) {
        if (inside(rule.ranges)) {
            forEachFormula(rule, [&](std::string& text) { text = rewrite(text); });
        }
    }
}

void copySheetRules(const Sheet& source, Sheet& copy, const RuleFormulaRewrite& rewrite) {
    if (source.conditionalFormats().empty() && source.dataValidations().empty()) {
        return;
    }
    copy.conditionalFormats() = source.conditionalFormats();
    copy.dataValidations() = source.dataValidations();
    StyleMap styles(source.workbook(), copy.workbook());
    for (ConditionalFormat& format : copy.conditionalFormats()) {
        styles.map(format);
    }
    if (rewrite) {
        rewriteRuleFormulas(copy, rewrite);
    }
}

void pasteSheetRules(const Sheet& source, const CellRange& block, Sheet& target, CellRef topLeft,
                     FormulaCarrier* carrier) {
    const CellRange rect{
        topLeft, {topLeft.row + block.rowCount() - 1, topLeft.column + block.columnCount() - 1}};
    if (!target.conditionalFormats().empty() || !target.dataValidations().empty()) {
        clearRules(target, rect);
    }
    if (source.conditionalFormats().empty() && source.dataValidations().empty()) {
        return;
    }
    const CellRef offset{topLeft.row - block.first.row, topLeft.column - block.first.column};
    // Formulas are first made to read from the top-left cell of the cut ranges, in the
    // source, then carried or moved as the pasted cells' formulas are.
    auto carried = [&](std::string& text) {
        if (!carrier) {
            text = shiftFormula(text, offset.row, offset.column);
        } else if (carrier->movesLocalReferences()) {
            text = carrier->carry(text);
        } else {
            text = shiftLocalReferences(carrier->carry(text), offset.row, offset.column);
        }
    };
    StyleMap styles(source.workbook(), target.workbook());
    const int32_t after = lastPriority(target);
    for (const ConditionalFormat& original : source.conditionalFormats()) {
        ConditionalFormat format = original;
        if (!setRanges(format, clipped(original.ranges, block))) {
            continue;
        }
        forEachFormula(format, carried);
        for (CellRange& range : format.ranges) {
            range = shifted(range, offset);
        }
        for (ConditionalFormatRule& rule : format.rules) {
            rule.priority = rule.priority > INT32_MAX - after ? INT32_MAX : rule.priority + after;
        }
        styles.map(format);
        target.conditionalFormats().push_back(std::move(format));
    }
    for (const DataValidation& original : source.dataValidations()) {
        DataValidation rule = original;
        if (!setRanges(rule, clipped(original.ranges, block))) {
            continue;
        }
        forEachFormula(rule, carried);
        for (CellRange& range : rule.ranges) {
            range = shifted(range, offset);
        }
        target.dataValidations().push_back(std::move(rule));
    }
}

void deleteLinesFromRules(Sheet& sheet, int32_t first, int32_t count, bool columns,
                          const RuleFormulaRewrite& rewrite) {
    std::erase_if(sheet.conditionalFormats(), [&](ConditionalFormat& format) {
        return !deleteLines(format, first, count, columns, rewrite);
    });
    std::erase_if(sheet.dataValidations(), [&](DataValidation& rule) {
        return !deleteLines(rule, first, count, columns, rewrite);
    });
}

}  // namespace plyfold::engine
