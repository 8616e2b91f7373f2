#include "engine/model/workbook.h"

#include <algorithm>

#include "engine/common/error.h"
#include "engine/common/text.h"
#include "engine/model/limits.h"

namespace plyfold::engine {

Workbook::Workbook() {
    m_strings.setMemoryAccount(&m_memory);
    m_formulas.setMemoryAccount(&m_memory);
}
Workbook::~Workbook() = default;

uint32_t Workbook::addSharedFormula(const SharedFormula& formula) {
    if (m_sharedFormulas.size() == m_sharedFormulas.capacity()) {
        const size_t added = std::max<size_t>(m_sharedFormulas.capacity(), 16);
        m_memory.charge(added * sizeof(SharedFormula));
        m_sharedFormulas.reserve(m_sharedFormulas.capacity() + added);
    }
    m_sharedFormulas.push_back(formula);
    return static_cast<uint32_t>(m_sharedFormulas.size() - 1);
}

uint32_t Workbook::addRichText(RichText text) {
    size_t bytes = sizeof(RichText) + text.runs.size() * sizeof(TextRun);
    for (const TextRun& run : text.runs) {
        bytes += run.text.size();
    }
    m_memory.charge(bytes);
    m_richTexts.push_back(std::move(text));
    return static_cast<uint32_t>(m_richTexts.size() - 1);
}

const RichText* Workbook::richTextOf(const Cell& cell) const {
    if (cell.richText == 0 || cell.type != CellType::Text || cell.richText > m_richTexts.size()) {
        return nullptr;
    }
    const RichText& text = m_richTexts[cell.richText - 1];
    const std::string_view plain = m_strings.text(cell.value.text);
    size_t at = 0;
    for (const TextRun& run : text.runs) {
        if (plain.compare(at, run.text.size(), run.text) != 0) {
            return nullptr;
        }
        at += run.text.size();
    }
    return at == plain.size() ? &text : nullptr;
}

Sheet* Workbook::findSheet(std::string_view name) {
    for (auto& sheet : m_sheets) {
        if (equalsIgnoringAsciiCase(sheet->name(), name)) {
            return sheet.get();
        }
    }
    return nullptr;
}

int32_t Workbook::indexOf(const Sheet& sheet) const {
    for (size_t i = 0; i < m_sheets.size(); ++i) {
        if (m_sheets[i].get() == &sheet) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

int32_t Workbook::externalBookFor(std::string_view path) {
    for (size_t i = 0; i < m_externalBooks.size(); ++i) {
        if (m_externalBooks[i].path == path) {
            return static_cast<int32_t>(i);
        }
    }
    m_externalBooks.push_back(ExternalBook{std::string(path), {}, {}});
    return static_cast<int32_t>(m_externalBooks.size() - 1);
}

Sheet& Workbook::insertSheet(int32_t index, std::string name, SheetKind kind) {
    if (std::string problem = sheetNameProblem(name); !problem.empty()) {
        throw SpreadsheetError(ErrorNumber::ApplicationDefined, problem);
    }
    if (findSheet(name)) {
        throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                               "The sheet name '" + name + "' is already taken.");
    }
    index = std::clamp(index, 0, sheetCount());
    auto sheet = std::make_unique<Sheet>(*this, std::move(name), kind);
    Sheet& ref = *sheet;
    m_sheets.insert(m_sheets.begin() + index, std::move(sheet));
    return ref;
}

void Workbook::removeSheet(int32_t index) {
    m_sheets.erase(m_sheets.begin() + index);
    if (m_activeSheet >= sheetCount()) {
        m_activeSheet = std::max(0, sheetCount() - 1);
    }
}

void Workbook::renameSheet(int32_t index, std::string name) {
    if (std::string problem = sheetNameProblem(name); !problem.empty()) {
        throw SpreadsheetError(ErrorNumber::ApplicationDefined, problem);
    }
    Sheet* other = findSheet(name);
    if (other && other != m_sheets.at(index).get()) {
        throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                               "The sheet name '" + name + "' is already taken.");
    }
    m_sheets.at(index)->setName(std::move(name));
}

std::string Workbook::uniqueSheetName(std::string_view base) const {
    auto taken = [this](std::string_view name) {
        return std::any_of(m_sheets.begin(), m_sheets.end(),
                           [&](const auto& s) { return equalsIgnoringAsciiCase(s->name(), name); });
    };
    if (!taken(base)) {
        return std::string(base);
    }
    for (int n = 2;; ++n) {
        std::string suffix = " (" + std::to_string(n) + ")";
        std::string candidate(utf16Prefix(base, kMaxSheetNameLength - suffix.size()));
        candidate += suffix;
        if (!taken(candidate)) {
            return candidate;
        }
    }
}

std::string sheetNameProblem(std::string_view name) {
    if (name.empty()) {
        return "A sheet name cannot be empty.";
    }
    if (utf16Length(name) > static_cast<size_t>(kMaxSheetNameLength)) {
        return "The sheet name '" + std::string(name) + "' is longer than 31 characters.";
    }
    if (name.find_first_of(":\\/?*[]") != std::string_view::npos) {
        return "The sheet name '" + std::string(name) +
               "' contains one of the characters : \\ / ? * [ ].";
    }
    if (name.front() == '\'' || name.back() == '\'') {
        return "The sheet name '" + std::string(name) + "' cannot begin or end with an apostrophe.";
    }
    return {};
}

}  // namespace plyfold::engine
