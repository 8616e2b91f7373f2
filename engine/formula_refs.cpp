#include "engine/formula_refs.h"

#include <utility>

#include "engine/formula_lexer.h"
#include "engine/limits.h"
#include "engine/text.h"

namespace plyfold::engine {
namespace {

using formula::RefEnd;
using formula::Reference;
using formula::RefKind;
using formula::Token;
using formula::TokenKind;

bool isCellReference(RefKind kind) {
    return kind == RefKind::Cell || kind == RefKind::Area || kind == RefKind::Columns ||
           kind == RefKind::Rows;
}

// Applies rewrite to every reference; rewrite returns false to keep a reference as written,
// or true after putting its replacement into the text it is given.
template <typename Rewrite>
std::string rewriteReferences(std::string_view text, Rewrite rewrite) {
    const std::vector<Token> tokens = formula::tokenize(text);
    std::string out;
    out.reserve(text.size() + 8);
    std::string replacement;
    for (const Token& token : tokens) {
        replacement.clear();
        if (token.kind == TokenKind::Reference && rewrite(token.ref, replacement)) {
            out += replacement;
        } else {
            out += token.text;
        }
    }
    return out;
}

bool shiftEnd(RefEnd& end, int32_t rowOffset, int32_t columnOffset) {
    if (end.row >= 0 && !end.absoluteRow) {
        const int64_t row = int64_t{end.row} + rowOffset;
        if (row < 0 || row >= kMaxRows) {
            return false;
        }
        end.row = static_cast<int32_t>(row);
    }
    if (end.column >= 0 && !end.absoluteColumn) {
        const int64_t column = int64_t{end.column} + columnOffset;
        if (column < 0 || column >= kMaxColumns) {
            return false;
        }
        end.column = static_cast<int32_t>(column);
    }
    return true;
}

// Whether a reference points into the edited sheet: unqualified ones when the formula lives
// on it, qualified ones when they name it. 3-D and external references span other sheets
// or books and are left alone.
bool concernsEditedSheet(const Reference& ref, const SheetScope& scope) {
    if (ref.external || ref.isThreeD()) {
        return false;
    }
    if (!ref.hasSheet()) {
        return equalsIgnoringAsciiCase(scope.formulaSheet, scope.editedSheet);
    }
    return equalsIgnoringAsciiCase(ref.firstSheet, scope.editedSheet);
}

enum class Axis { Rows, Columns };

int32_t& coordinate(RefEnd& end, Axis axis) {
    return axis == Axis::Rows ? end.row : end.column;
}
bool& absoluteFlag(RefEnd& end, Axis axis) {
    return axis == Axis::Rows ? end.absoluteRow : end.absoluteColumn;
}

// Moves the span [low, high] for deleted lines [first, first + count); false when nothing of
// it is left.
bool spanAfterDeleting(int32_t& low, int32_t& high, int64_t first, int64_t count) {
    const int64_t end = first + count;
    if (high < first) {
        return true;
    }
    if (low >= end) {
        low = static_cast<int32_t>(low - count);
        high = static_cast<int32_t>(high - count);
        return true;
    }
    if (low >= first && high < end) {
        return false;
    }
    const int64_t newLow = low < first ? low : first;
    const int64_t newHigh = high >= end ? high - count : first - 1;
    low = static_cast<int32_t>(newLow);
    high = static_cast<int32_t>(newHigh);
    return true;
}

std::string formulaAfterDeleting(std::string_view text, int32_t first, int32_t count,
                                 const SheetScope& scope, Axis axis) {
    const bool onEditedSheet = equalsIgnoringAsciiCase(scope.formulaSheet, scope.editedSheet);
    if (count <= 0 || (!onEditedSheet && text.find('!') == std::string_view::npos)) {
        return std::string(text);
    }
    const RefKind untouchedKind = axis == Axis::Rows ? RefKind::Columns : RefKind::Rows;
    return rewriteReferences(text, [&](const Reference& ref, std::string& out) {
        if (!isCellReference(ref.kind) || ref.kind == untouchedKind ||
            !concernsEditedSheet(ref, scope)) {
            return false;
        }
        RefEnd low = ref.first;
        RefEnd high = ref.last;
        if (coordinate(low, axis) > coordinate(high, axis)) {
            std::swap(coordinate(low, axis), coordinate(high, axis));
            std::swap(absoluteFlag(low, axis), absoluteFlag(high, axis));
        }
        const int32_t before = coordinate(low, axis);
        const int32_t beforeHigh = coordinate(high, axis);
        // A single cell has no lines to lose: it is either kept, moved or gone.
        const bool single = ref.kind == RefKind::Cell;
        bool kept = spanAfterDeleting(coordinate(low, axis), coordinate(high, axis), first, count);
        if (single && kept && coordinate(low, axis) != coordinate(high, axis)) {
            kept = false;
        }
        out += ref.prefix;
        if (!kept) {
            out += "#REF!";
            return true;
        }
        if (coordinate(low, axis) == before && coordinate(high, axis) == beforeHigh &&
            ref.first.row <= ref.last.row && ref.first.column <= ref.last.column) {
            return false;
        }
        out += formula::referenceBody(ref.kind, low, single ? low : high);
        return true;
    });
}

}  // namespace

std::string shiftFormula(std::string_view text, int32_t rowOffset, int32_t columnOffset) {
    if (rowOffset == 0 && columnOffset == 0) {
        return std::string(text);
    }
    return rewriteReferences(text, [&](const Reference& ref, std::string& out) {
        if (!isCellReference(ref.kind)) {
            return false;
        }
        RefEnd first = ref.first;
        RefEnd last = ref.last;
        out += ref.prefix;
        if (!shiftEnd(first, rowOffset, columnOffset) || !shiftEnd(last, rowOffset, columnOffset)) {
            out += "#REF!";
        } else {
            out += formula::referenceBody(ref.kind, first, last);
        }
        return true;
    });
}

std::string formulaAfterDeletingRows(std::string_view text, int32_t first, int32_t count,
                                     const SheetScope& scope) {
    return formulaAfterDeleting(text, first, count, scope, Axis::Rows);
}

std::string formulaAfterDeletingColumns(std::string_view text, int32_t first, int32_t count,
                                        const SheetScope& scope) {
    return formulaAfterDeleting(text, first, count, scope, Axis::Columns);
}

std::string formulaWithMissingSheetsAsRef(
    std::string_view text, const std::function<bool(std::string_view)>& sheetExists) {
    if (text.find('!') == std::string_view::npos) {
        return std::string(text);
    }
    return rewriteReferences(text, [&](const Reference& ref, std::string& out) {
        if (!ref.hasSheet() || ref.external) {
            return false;
        }
        if (sheetExists(ref.firstSheet) && (!ref.isThreeD() || sheetExists(ref.lastSheet))) {
            return false;
        }
        out += "#REF!";
        return true;
    });
}

std::string formulaWithSheetRenamed(std::string_view text, std::string_view oldName,
                                    std::string_view newName) {
    if (text.find('!') == std::string_view::npos) {
        return std::string(text);
    }
    return rewriteReferences(text, [&](const Reference& ref, std::string& out) {
        if (!ref.hasSheet() || ref.external) {
            return false;
        }
        const bool firstMatches = equalsIgnoringAsciiCase(ref.firstSheet, oldName);
        const bool lastMatches = ref.isThreeD() && equalsIgnoringAsciiCase(ref.lastSheet, oldName);
        if (!firstMatches && !lastMatches) {
            return false;
        }
        std::string firstName = firstMatches ? std::string(newName) : ref.firstSheet;
        if (!ref.isThreeD()) {
            out += formula::quotedSheetName(firstName);
        } else {
            std::string lastName = lastMatches ? std::string(newName) : ref.lastSheet;
            const bool plain = formula::quotedSheetName(firstName) == firstName &&
                               formula::quotedSheetName(lastName) == lastName;
            const std::string both = firstName + ":" + lastName;
            if (plain) {
                out += both;
            } else {
                // Both names go inside one pair of quotes: 'Jan 1:Mar 1'!A1.
                out += "'";
                for (char c : both) {
                    out.push_back(c);
                    if (c == '\'')
                        out.push_back('\'');
                }
                out += "'";
            }
        }
        out += "!";
        out += ref.body;
        return true;
    });
}

}  // namespace plyfold::engine
