#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/common/memory_budget.h"
#include "engine/model/cell_ref.h"
#include "engine/model/external_link.h"
#include "engine/model/rich_text.h"
#include "engine/model/sheet.h"
#include "engine/model/string_pool.h"
#include "engine/model/style.h"
#include "engine/model/uncarried.h"

namespace plyfold::engine {

// A formula that many cells share, held once: its text as it reads in the anchor cell. Each
// cell of the group reads it moved by the cell's distance from the anchor, as a formula
// filled down or across reads. Only cells within reach use it: there every moved reference
// stays on the sheet (elsewhere a reference would become #REF!, and such a cell keeps a
// formula text of its own).
struct SharedFormula {
    uint32_t text = 0;  // id in the workbook's formula pool
    CellRef anchor;
    CellRange reach;
};

struct IterativeCalculation {
    bool enabled = false;
    uint32_t maxIterations = 100;
    double maxChange = 0.001;

    bool operator==(const IterativeCalculation&) const = default;
};

// A workbook: its sheets in order, one pool of cell texts, one pool of formula texts, the
// formulas shared by many cells, and one style table shared by all its sheets. What it holds
// is counted in its memory account.
class Workbook {
public:
    Workbook();
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;
    ~Workbook();

    StringPool& strings() { return m_strings; }
    const StringPool& strings() const { return m_strings; }
    StringPool& formulas() { return m_formulas; }
    const StringPool& formulas() const { return m_formulas; }
    // Ids are what Cell::formulaId() gives for a cell with kSharedFormula.
    const SharedFormula& sharedFormula(uint32_t id) const { return m_sharedFormulas[id]; }
    uint32_t sharedFormulaCount() const { return static_cast<uint32_t>(m_sharedFormulas.size()); }
    uint32_t addSharedFormula(const SharedFormula& formula);
    // Points a shared formula at another text of the formula pool, for rewrites that leave
    // every reference reading cells at the same distance (its reach stays as it is).
    void setSharedFormulaText(uint32_t id, uint32_t text) { m_sharedFormulas.at(id).text = text; }

    // The texts of cells formatted in runs; Cell::richText is an id + 1 here. Texts whose runs
    // name fonts of this workbook's style table.
    uint32_t addRichText(RichText text);
    const RichText& richText(uint32_t id) const { return m_richTexts[id]; }
    uint32_t richTextCount() const { return static_cast<uint32_t>(m_richTexts.size()); }
    // The runs of a text cell, or nullptr when it has none or its text is no longer theirs
    // (a value written over the cell since).
    const RichText* richTextOf(const Cell& cell) const;

    StyleTable& styles() { return m_styles; }
    const StyleTable& styles() const { return m_styles; }

    bool isDate1904() const { return m_date1904; }
    void setDate1904(bool date1904) { m_date1904 = date1904; }

    // Whether circular references are calculated by iteration, and how: a workbook whose
    // formulas refer to themselves computes only with it.
    const IterativeCalculation& iterativeCalculation() const { return m_iteration; }
    void setIterativeCalculation(const IterativeCalculation& iteration) { m_iteration = iteration; }

    // The names scoped to the whole workbook; names scoped to one sheet are the sheet's.
    std::vector<DefinedName>& definedNames() { return m_definedNames; }
    const std::vector<DefinedName>& definedNames() const { return m_definedNames; }

    // The other workbooks that formulas read: "[1]Sheet!A1" reads externalBooks()[0].
    std::vector<ExternalBook>& externalBooks() { return m_externalBooks; }
    const std::vector<ExternalBook>& externalBooks() const { return m_externalBooks; }
    // The index of the external book for path (compared exactly), added when missing.
    int32_t externalBookFor(std::string_view path);

    // The file the workbook was read from; empty for a new workbook.
    const std::string& path() const { return m_path; }
    void setPath(std::string path) { m_path = std::move(path); }

    int32_t sheetCount() const { return static_cast<int32_t>(m_sheets.size()); }
    // 0-based.
    Sheet& sheet(int32_t index) { return *m_sheets.at(index); }
    const Sheet& sheet(int32_t index) const { return *m_sheets.at(index); }
    // The sheet with this name, compared without regard to case; nullptr when none.
    Sheet* findSheet(std::string_view name);
    int32_t indexOf(const Sheet& sheet) const;

    // Adds a sheet at position index (0-based; sheetCount() appends). Throws when the
    // name is not a valid sheet name or is taken.
    Sheet& insertSheet(int32_t index, std::string name, SheetKind kind = SheetKind::Worksheet);
    Sheet& addSheet(std::string name, SheetKind kind = SheetKind::Worksheet) {
        return insertSheet(sheetCount(), std::move(name), kind);
    }
    void removeSheet(int32_t index);
    void renameSheet(int32_t index, std::string name);
    // "Name", or "Name (2)", "Name (3)", ... cut so the whole stays within 31 characters.
    std::string uniqueSheetName(std::string_view base) const;

    int32_t activeSheet() const { return m_activeSheet; }
    void setActiveSheet(int32_t index) { m_activeSheet = index; }

    // What the reader found in the workbook as a whole that cannot be carried (a VBA
    // project); what it found in a sheet is the sheet's.
    UncarriedFeatures& uncarried() { return m_uncarried; }
    const UncarriedFeatures& uncarried() const { return m_uncarried; }

    // Set by every change made through the automation layer; readers leave it false.
    bool isModified() const { return m_modified; }
    void setModified(bool modified) { m_modified = modified; }

    // A merge's result: the writer marks it in the document properties, so that a folder scan
    // can tell an earlier result from a source.
    bool isMergeResult() const { return m_mergeResult; }
    void setMergeResult(bool mergeResult) { m_mergeResult = mergeResult; }

    // The bytes the workbook holds, counted against its server instance's budget.
    MemoryAccount& memory() { return m_memory; }
    const MemoryAccount& memory() const { return m_memory; }

    // Keeps a reader's open file alive for the lazy loading of sheets.
    void setSource(std::shared_ptr<void> source) { m_source = std::move(source); }

private:
    // First, so that it outlives everything that gives memory back to it.
    MemoryAccount m_memory;
    StringPool m_strings;
    StringPool m_formulas;
    std::vector<SharedFormula> m_sharedFormulas;
    StyleTable m_styles;
    std::vector<RichText> m_richTexts;
    std::vector<std::unique_ptr<Sheet>> m_sheets;
    std::vector<DefinedName> m_definedNames;
    std::vector<ExternalBook> m_externalBooks;
    std::string m_path;
    std::shared_ptr<void> m_source;
    int32_t m_activeSheet = 0;
    bool m_date1904 = false;
    IterativeCalculation m_iteration;
    bool m_modified = false;
    bool m_mergeResult = false;
    UncarriedFeatures m_uncarried;
};

// Why a sheet name is not acceptable, or empty when it is: 1 to 31 characters, none of
// : \ / ? * [ ], not beginning or ending with an apostrophe.
std::string sheetNameProblem(std::string_view name);

}  // namespace plyfold::engine
