#include "engine/io/xls/biff_sheet_formulas.h"

#include "engine/common/byte_order.h"
#include "engine/common/text.h"
#include "engine/model/limits.h"
#include "engine/model/workbook.h"
#include "engine/ops/shared_formula.h"

namespace plyfold::engine::xls {
namespace {

constexpr uint8_t kPtgExp = 0x01;
constexpr uint8_t kPtgTbl = 0x02;

// The tokens and what follows them in a record whose token count is at `at`.
bool tokensAt(std::string_view data, size_t at, std::string_view& tokens, std::string_view& extra) {
    if (data.size() < at + 2) {
        return false;
    }
    const size_t size = le16(data, at);
    if (size == 0 || data.size() < at + 2 + size) {
        return false;
    }
    tokens = data.substr(at + 2, size);
    extra = data.substr(at + 2 + size);
    return true;
}

}  // namespace

void BiffSheetFormulas::addCell(uint32_t row, uint16_t column, std::string_view formulaRecord) {
    FormulaCell cell;
    cell.at = CellRef{static_cast<int32_t>(row), column};
    // Cells whose tokens cannot be found keep their values; apply() reports them.
    tokensAt(formulaRecord, 20, cell.tokens, cell.extra);
    m_cells.push_back(cell);
}

bool BiffSheetFormulas::group(std::string_view data, size_t headSize, Group& out) {
    if (data.size() < 6) {
        return false;
    }
    out.range.first = CellRef{le16(data, 0), byteAt(data, 4)};
    out.range.last = CellRef{le16(data, 2), byteAt(data, 5)};
    return out.range.first.row <= out.range.last.row &&
           out.range.first.column <= out.range.last.column &&
           tokensAt(data, headSize, out.tokens, out.extra);
}

bool BiffSheetFormulas::takeRecord(const BiffRecord& record) {
    Group found;
    if (record.type == kSharedFormulaRecord) {
        if (group(record.data, 8, found)) {
            m_shared.try_emplace({found.range.first.row, found.range.first.column}, found);
        }
        return true;
    }
    if (record.type == kArrayRecord) {
        if (group(record.data, 12, found)) {
            m_arrays.try_emplace({found.range.first.row, found.range.first.column}, found);
        }
        return true;
    }
    return false;
}

const BiffSheetFormulas::Group* BiffSheetFormulas::findGroup(
    const std::map<std::pair<int32_t, int32_t>, Group>& groups, CellRef anchor) const {
    // Found by its first cell only: a search of every group for each cell would let a
    // damaged file take time in proportion to the square of its cells.
    auto found = groups.find({anchor.row, anchor.column});
    return found != groups.end() ? &found->second : nullptr;
}

void BiffSheetFormulas::apply(Sheet& sheet, const std::function<Cell*(CellRef)>& cellOf) const {
    Workbook& workbook = sheet.workbook();
    auto decompiled = [&](std::string_view tokens, std::string_view extra,
                          CellRef at) -> std::optional<std::string> {
        std::optional<std::string> text = decompileBiffFormula(tokens, extra, at, m_links, m_sheet);
        if (text && utf16Length(*text) > static_cast<size_t>(kMaxFormulaLength)) {
            return std::nullopt;
        }
        return text;
    };
    // The shared formulas made so far, by the group's first cell; nullopt for one whose
    // tokens cannot be read.
    std::map<std::pair<int32_t, int32_t>, std::optional<uint32_t>> sharedIds;
    size_t keptAsValues = 0;
    for (const FormulaCell& formula : m_cells) {
        Cell* cell = cellOf(formula.at);
        if (!cell) {
            continue;
        }
        std::string_view tokens = formula.tokens;
        if (tokens.empty()) {
            ++keptAsValues;
            continue;
        }
        if (byteAt(tokens, 0) == kPtgTbl) {
            continue;  // a cell of a what-if table: only its value is kept
        }
        std::optional<std::string> text;
        if (byteAt(tokens, 0) == kPtgExp && tokens.size() >= 5) {
            const CellRef anchor{le16(tokens, 1), le16(tokens, 3)};
            if (const Group* shared = findGroup(m_shared, anchor)) {
                const std::pair<int32_t, int32_t> key{shared->range.first.row,
                                                      shared->range.first.column};
                auto [known, added] = sharedIds.try_emplace(key);
                if (added) {
                    if (std::optional<std::string> anchorText =
                            decompiled(shared->tokens, shared->extra, shared->range.first)) {
                        known->second =
                            addSharedFormula(workbook, *anchorText, shared->range.first);
                    }
                }
                if (known->second &&
                    workbook.sharedFormula(*known->second).reach.contains(formula.at)) {
                    cell->formula = *known->second + 1;
                    cell->flags |= kSharedFormula;
                    continue;
                }
                text = decompiled(shared->tokens, shared->extra, formula.at);
            } else if (const Group* array = findGroup(m_arrays, anchor)) {
                if (!(formula.at == array->range.first)) {
                    continue;  // the other cells of an array formula hold only their values
                }
                text = decompiled(array->tokens, array->extra, formula.at);
                if (text) {
                    if (!(cell->flags & kArrayFormula)) {  // once, if the file says it twice
                        sheet.arrayFormulas().push_back(ArrayFormula{array->range});
                    }
                    cell->formula = workbook.formulas().intern(*text) + 1;
                    cell->flags |= kArrayFormula;
                    continue;
                }
            }
        } else {
            text = decompiled(tokens, formula.extra, formula.at);
        }
        if (!text) {
            ++keptAsValues;
            continue;
        }
        cell->formula = workbook.formulas().intern(*text) + 1;
    }
    if (keptAsValues) {
        sheet.uncarried().add("formulas kept as values (" + std::to_string(keptAsValues) +
                              (keptAsValues == 1 ? " cell)" : " cells)"));
    }
}

}  // namespace plyfold::engine::xls
