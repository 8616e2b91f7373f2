#include "engine/ops/formula_refs.h"

#include <utility>

#include "engine/common/text.h"
#include "engine/model/limits.h"
#include "engine/ops/formula_lexer.h"

namespace plyfold::engine {
namespace {

using formula::RefEnd;
using formula::Reference;
using formula::RefKind;
using formula::Token;
using formula::TokenKind;

// Applies rewrite to every reference; rewrite returns false to keep a reference as written,
// or true after putting its replacement into the text it is given. The new formula is only
// built once a reference changes.
template <typename Rewrite>
std::string rewriteReferences(std::string_view text, Rewrite rewrite) {
    struct Rewriter final : formula::ReferenceVisitor {
        Rewriter(std::string_view formula, Rewrite& change) : text(formula), rewrite(change) {}
        void visit(size_t begin, size_t end, const Reference& ref) override {
            replacement.clear();
            if (!rewrite(ref, replacement)) {
                return;
            }
            if (!changed) {
                out.reserve(text.size() + 8);
                changed = true;
            }
            out.append(text.substr(copied, begin - copied));
            out += replacement;
            copied = end;
        }
        std::string_view text;
        Rewrite& rewrite;
        std::string out;
        std::string replacement;
        size_t copied = 0;
        bool changed = false;
    } rewriter(text, rewrite);
    formula::scanReferences(text, rewriter);
    if (!rewriter.changed) {
        return std::string(text);
    }
    rewriter.out.append(text.substr(rewriter.copied));
    return std::move(rewriter.out);
}

// Cheap tests on the text that rule out a change before the formula is read properly. Every
// row of a reference is written as a run of digits (its 1-based number), and every column
// as a maximal run of at most three letters not followed by "(", outside string literals.
template <typename Run>
bool anyRunOutsideStrings(std::string_view text, bool (*isRunChar)(char), Run run) {
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '"') {
            // Skip the literal; a doubled quote stands for one inside it.
            for (++i; i < text.size(); ++i) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
            }
            continue;
        }
        if (!isRunChar(text[i])) {
            ++i;
            continue;
        }
        const size_t start = i;
        while (i < text.size() && isRunChar(text[i])) {
            ++i;
        }
        if (run(text.substr(start, i - start), i < text.size() ? text[i] : '\0')) {
            return true;
        }
    }
    return false;
}

bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool mayReferToRowsFrom(std::string_view text, int32_t first) {
    return anyRunOutsideStrings(text, isAsciiDigit, [&](std::string_view digits, char) {
        if (digits.size() > 7) {
            return true;
        }
        int64_t number = 0;
        for (char c : digits) {
            number = number * 10 + (c - '0');
        }
        return number >= int64_t{first} + 1;
    });
}

bool mayReferToColumnsFrom(std::string_view text, int32_t first) {
    return anyRunOutsideStrings(text, isAsciiLetter, [&](std::string_view letters, char next) {
        if (letters.size() > 3 || next == '(') {
            return false;
        }
        int32_t column = 0;
        for (char c : letters) {
            column = column * 26 + ((c | 0x20) - 'a' + 1);
        }
        return column - 1 >= first;
    });
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
    if (count <= 0 || (!onEditedSheet && text.find('!') == std::string_view::npos) ||
        !(axis == Axis::Rows ? mayReferToRowsFrom(text, first)
                             : mayReferToColumnsFrom(text, first))) {
        return std::string(text);
    }
    const RefKind untouchedKind = axis == Axis::Rows ? RefKind::Columns : RefKind::Rows;
    return rewriteReferences(text, [&](const Reference& ref, std::string& out) {
        if (!formula::readsCells(ref.kind) || ref.kind == untouchedKind ||
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
        const bool single = ref.kind == RefKind::Cell;
        const bool kept =
            spanAfterDeleting(coordinate(low, axis), coordinate(high, axis), first, count);
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

// The formula with its references moved by the offset, those into other workbooks too when
// withExternal; a reference pushed off the sheet becomes #REF!.
std::string shifted(std::string_view text, int32_t rowOffset, int32_t columnOffset,
                    bool withExternal) {
    if (rowOffset == 0 && columnOffset == 0) {
        return std::string(text);
    }
    return rewriteReferences(text, [&](const Reference& ref, std::string& out) {
        if (!formula::readsCells(ref.kind) || (ref.external && !withExternal)) {
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

}  // namespace

std::string shiftFormula(std::string_view text, int32_t rowOffset, int32_t columnOffset) {
    return shifted(text, rowOffset, columnOffset, true);
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
                    if (c == '\'') {
                        out.push_back('\'');
                    }
                }
                out += "'";
            }
        }
        out += "!";
        out += ref.body;
        return true;
    });
}

std::string rewriteFormulaReferences(
    std::string_view text,
    const std::function<bool(const formula::Reference&, std::string&)>& rewrite) {
    return rewriteReferences(
        text, [&](const Reference& ref, std::string& out) { return rewrite(ref, out); });
}

std::string shiftLocalReferences(std::string_view text, int32_t rowOffset, int32_t columnOffset) {
    return shifted(text, rowOffset, columnOffset, false);
}

}  // namespace plyfold::engine
