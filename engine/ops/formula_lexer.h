#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plyfold::engine::formula {

// One end of a reference: a row, a column or both, each absolute ($) or relative. A part
// that the reference does not have (the row of a whole-column reference) is -1.
struct RefEnd {
    int32_t row = -1;
    int32_t column = -1;
    bool absoluteRow = false;
    bool absoluteColumn = false;
};

enum class RefKind : uint8_t {
    Cell,     // A1
    Area,     // A1:B2
    Columns,  // A:C
    Rows,     // 3:5
    Error,    // Sheet1!#REF!
    Name,     // Total, Sheet1!Total: a defined name, on its own or scoped to a sheet
    // Sales[Qty], Sales[[#This Row],[Qty]], [@Qty]: a table's structured reference, whole in
    // body (parseStructuredReference takes it apart); prefix and sheets are empty.
    Structured,
};

// Whether the reference reads cells (a cell, an area, whole rows or columns), which move
// when the formula is copied or the sheet is edited.
inline bool readsCells(RefKind kind) {
    return kind == RefKind::Cell || kind == RefKind::Area || kind == RefKind::Columns ||
           kind == RefKind::Rows;
}

// A reference found in a formula, with its sheet prefix taken apart.
struct Reference {
    RefKind kind = RefKind::Cell;
    std::string_view prefix;     // "Sheet1!", "'My Sheet'!", "[1]Sheet1!" as written; may be empty
    std::string_view body;       // the text after the prefix
    std::string firstSheet;      // the sheet named by the prefix, unquoted; empty without one
    std::string lastSheet;       // the second sheet of a 3-D prefix (Sheet1:Sheet3!)
    bool external = false;       // the prefix names another workbook ([1]Sheet1!)
    int32_t externalIndex = -1;  // n of a "[n]" prefix, -1 when it names the book otherwise
    RefEnd first;
    RefEnd last;  // equal to first for a single cell

    bool hasSheet() const { return !prefix.empty(); }
    bool isThreeD() const { return !lastSheet.empty(); }
};

enum class TokenKind : uint8_t {
    Text,       // copied as it is: operators, spaces, numbers, strings, names, functions ...
    Reference,  // a reference to cells, rows, columns, an error on a sheet, or a name
};

struct Token {
    TokenKind kind = TokenKind::Text;
    std::string_view text;  // the whole token as written, prefix included
    Reference ref;          // set for a reference
};

// Splits a formula (A1 style, without its leading "=") into references and the text
// between them. Concatenating every token's text gives the formula back unchanged.
std::vector<Token> tokenize(std::string_view formula);

// Receives the references of a formula in order, without anything being stored: the
// reference passed is valid during the call only.
class ReferenceVisitor {
public:
    // [begin, end) is where the reference, prefix included, stands in the formula.
    virtual void visit(size_t begin, size_t end, const Reference& ref) = 0;

protected:
    ~ReferenceVisitor() = default;
};

void scanReferences(std::string_view formula, ReferenceVisitor& visitor);

// The text of a reference body after its ends changed: "$A1:B$2", "A:C", "3:5".
std::string referenceBody(RefKind kind, const RefEnd& first, const RefEnd& last);

// A sheet name as it must be written before "!": quoted ('My Sheet') when it is not a plain
// word, with apostrophes doubled.
std::string quotedSheetName(std::string_view name);

}  // namespace plyfold::engine::formula
