// Formula lexing and reference moving: any text is split into tokens that give it back, a
// formula moved by (a, b) and back by (-a, -b) reads as before when no reference fell off the
// sheet, and a sheet name written by quotedSheetName reads back as that name. The deletions
// and the sheet rewrites run too: none may crash.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/model/limits.h"
#include "engine/model/workbook.h"
#include "engine/ops/formula_lexer.h"
#include "engine/ops/formula_refs.h"
#include "fuzz/finding.h"
#include "fuzz/fuzz_input.h"

namespace {

using namespace plyfold::engine;
using plyfold::fuzz::finding;

bool isCellReference(formula::RefKind kind) {
    return kind == formula::RefKind::Cell || kind == formula::RefKind::Area ||
           kind == formula::RefKind::Columns || kind == formula::RefKind::Rows;
}

bool staysOnSheet(const formula::RefEnd& end, int32_t rows, int32_t columns) {
    const int64_t row = int64_t{end.row} + rows;
    const int64_t column = int64_t{end.column} + columns;
    return (end.row < 0 || end.absoluteRow || (row >= 0 && row < kMaxRows)) &&
           (end.column < 0 || end.absoluteColumn || (column >= 0 && column < kMaxColumns));
}

// An offset that is mostly small, sometimes up to the sheet's size, rarely anything.
int32_t offset(plyfold::fuzz::FuzzInput& in, int32_t limit) {
    const uint8_t kind = in.byte();
    const auto value = static_cast<int32_t>(in.fourBytes());
    switch (kind % 4) {
        case 0:
            return static_cast<int8_t>(value);
        case 1:
        case 2:
            return value % limit;
        default:
            return std::max(value, -INT32_MAX);  // so that it can be negated
    }
}

void checkTokens(const std::string& text) {
    std::string joined;
    for (const formula::Token& token : formula::tokenize(text)) {
        joined += token.text;
        if (token.kind == formula::TokenKind::Reference &&
            token.text != std::string(token.ref.prefix) + std::string(token.ref.body)) {
            finding("a reference token is not its prefix and body: " + std::string(token.text));
        }
    }
    if (joined != text) {
        finding("the tokens do not give the formula back: [" + text + "] -> [" + joined + "]");
    }
}

// The formula as moving it writes its references: each cell, area, row or column reference
// spelled by referenceBody, the rest as it is; and whether every reference stays on the sheet
// when moved by (rows, columns).
std::string normalized(const std::string& text, int32_t rows, int32_t columns, bool& staysOn) {
    std::string out;
    staysOn = true;
    for (const formula::Token& token : formula::tokenize(text)) {
        if (token.kind != formula::TokenKind::Reference || !isCellReference(token.ref.kind)) {
            out += token.text;
            continue;
        }
        out += token.ref.prefix;
        out += formula::referenceBody(token.ref.kind, token.ref.first, token.ref.last);
        staysOn = staysOn && staysOnSheet(token.ref.first, rows, columns) &&
                  staysOnSheet(token.ref.last, rows, columns);
    }
    return out;
}

void checkShiftAndBack(const std::string& text, int32_t rows, int32_t columns) {
    const std::string there = shiftFormula(text, rows, columns);
    const std::string back = shiftFormula(there, -rows, -columns);
    bool staysOn = true;
    const std::string expected = normalized(text, rows, columns, staysOn);
    if (staysOn && (rows != 0 || columns != 0) && back != expected) {
        finding("moving by (" + std::to_string(rows) + ", " + std::to_string(columns) +
                ") and back changed [" + text + "] into [" + there + "] then [" + back +
                "], expected [" + expected + "]");
    }
}

void checkSheetName(const std::string& name) {
    if (!sheetNameProblem(name).empty()) {
        return;
    }
    const std::string written = formula::quotedSheetName(name) + "!B2";
    const auto tokens = formula::tokenize(written);
    if (tokens.size() != 1 || tokens[0].kind != formula::TokenKind::Reference ||
        tokens[0].ref.firstSheet != name || tokens[0].ref.isThreeD() || tokens[0].ref.external ||
        tokens[0].ref.kind != formula::RefKind::Cell || tokens[0].ref.body != "B2") {
        finding("the sheet name [" + name + "] written as [" + written + "] reads back otherwise");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    plyfold::fuzz::FuzzInput in(data, size);
    const int32_t rows = offset(in, kMaxRows);
    const int32_t columns = offset(in, kMaxColumns);
    const auto deleteFirst = static_cast<int32_t>(in.fourBytes() % (kMaxRows + 2));
    const auto deleteCount = static_cast<int32_t>(in.twoBytes()) - 4;
    const std::string sheetName = in.text(40);
    const std::string text(in.rest());

    checkTokens(text);
    checkShiftAndBack(text, rows, columns);
    checkSheetName(sheetName);

    const SheetScope onEdited{sheetName, sheetName};
    const SheetScope elsewhere{sheetName, "Other"};
    (void)formulaAfterDeletingRows(text, deleteFirst, deleteCount, onEdited);
    (void)formulaAfterDeletingColumns(text, deleteFirst % (kMaxColumns + 2), deleteCount,
                                      elsewhere);
    (void)formulaWithMissingSheetsAsRef(
        text, [&](std::string_view name) { return name.size() % 2 == sheetName.size() % 2; });
    const std::string renamed = formulaWithSheetRenamed(text, sheetName, "Renamed sheet");
    checkTokens(renamed);
    return 0;
}
