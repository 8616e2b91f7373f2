#include "engine/io/xlsx/xlsx_reader.h"

#include <map>
#include <optional>

#include "engine/common/error.h"
#include "engine/common/file_access.h"
#include "engine/io/xlsx/color_resolver.h"
#include "engine/io/xlsx/drawing_reader.h"
#include "engine/io/xlsx/external_link_reader.h"
#include "engine/io/xlsx/notes_reader.h"
#include "engine/io/xlsx/opc_package.h"
#include "engine/io/xlsx/read_failure.h"
#include "engine/io/xlsx/shared_strings_reader.h"
#include "engine/io/xlsx/styles_reader.h"
#include "engine/io/xlsx/table_reader.h"
#include "engine/io/xlsx/theme_reader.h"
#include "engine/io/xlsx/value_parsing.h"
#include "engine/io/xlsx/xlsx_sheet_reader.h"

namespace plyfold::engine {
namespace {

using xlsx_read::FailureKind;
using xlsx_read::ReadFailure;
using xlsx_read::ZipPackage;

// The message for a failure, naming the file and, where known, the part and the sheet.
SpreadsheetError describe(const ReadFailure& failure, const std::string& file,
                          std::string_view part = {}, const std::string* sheet = nullptr) {
    std::string quotedFile = "'" + file + "'";
    std::string where = sheet ? "in the sheet '" + *sheet + "', " : std::string();
    std::string text;
    switch (failure.kind()) {
        case FailureKind::Damaged:
            text = quotedFile + " is not a valid spreadsheet file: the part " + std::string(part);
            if (sheet) {
                text += " of the sheet '" + *sheet + "'";
            }
            text += " is damaged (" + failure.message() + ")";
            break;
        case FailureKind::Invalid:
            text = quotedFile + " is not a valid spreadsheet file: " + where + failure.message();
            break;
        case FailureKind::TooLarge:
            text = quotedFile + " cannot be read: " + where + failure.message();
            break;
        case FailureKind::Encrypted:
            text = quotedFile + " is protected by a password and cannot be read";
            break;
        case FailureKind::NotPackage:
            text = quotedFile + " is not a valid spreadsheet file: " + failure.message();
            break;
        case FailureKind::Unreadable:
            text = quotedFile + " cannot be opened (" + failure.message() + ")";
            break;
    }
    return SpreadsheetError(ErrorNumber::ApplicationDefined, text + ".");
}

struct NameEntry {
    DefinedName name;
    std::optional<uint32_t> sheet;  // localSheetId
};

struct SheetEntry {
    std::string name;
    std::string relationshipId;
    SheetVisibility visibility = SheetVisibility::Visible;
};

// workbook > (workbookPr, bookViews > workbookView, sheets > sheet).
class WorkbookHandler : public xlsx_read::XmlHandler {
public:
    // The names read are counted in account: a workbook part can hold millions.
    explicit WorkbookHandler(MemoryAccount& account) : m_account(account) {}

    void startElement(std::string_view name, xlsx_read::XmlAttributes attributes) override {
        ++m_depth;
        if (m_depth == 1) {
            isWorkbook = name == "workbook";
        } else if (m_depth == 2) {
            m_section = name;
            if (name == "workbookPr") {
                date1904 = xlsx_read::parseBoolean(xlsx_read::attributeOr(attributes, "date1904"))
                               .value_or(false);
            } else if (name == "calcPr") {
                readIteration(attributes);
            } else if (name == "pivotCaches") {
                hasPivotCaches = true;
            }
        } else if (m_depth == 3 && m_section == "sheets" && name == "sheet") {
            SheetEntry entry;
            entry.name = xlsx_read::attributeOr(attributes, "name");
            xlsx_read::decodeEscapes(entry.name);  // a name can hold characters XML cannot
            entry.relationshipId = xlsx_read::attributeOr(attributes, "id");
            std::string_view state = xlsx_read::attributeOr(attributes, "state");
            entry.visibility = state == "hidden"       ? SheetVisibility::Hidden
                               : state == "veryHidden" ? SheetVisibility::VeryHidden
                                                       : SheetVisibility::Visible;
            sheets.push_back(std::move(entry));
        } else if (m_depth == 3 && m_section == "definedNames" && name == "definedName") {
            NameEntry entry;
            entry.name.name = xlsx_read::attributeOr(attributes, "name");
            entry.name.comment = xlsx_read::attributeOr(attributes, "comment");
            entry.name.hidden =
                xlsx_read::parseBoolean(xlsx_read::attributeOr(attributes, "hidden"))
                    .value_or(false);
            uint32_t sheet = 0;
            if (xlsx_read::parseIndex(xlsx_read::attributeOr(attributes, "localSheetId"), sheet)) {
                entry.sheet = sheet;
            }
            m_account.charge(sizeof(NameEntry) + entry.name.name.size() +
                             entry.name.comment.size());
            names.push_back(std::move(entry));
            m_inName = true;
        } else if (m_depth == 3 && m_section == "externalReferences" &&
                   name == "externalReference") {
            externalReferences.emplace_back(xlsx_read::attributeOr(attributes, "id"));
        } else if (m_depth == 3 && m_section == "bookViews" && name == "workbookView" &&
                   !activeTab) {
            uint32_t tab = 0;
            if (xlsx_read::parseIndex(xlsx_read::attributeOr(attributes, "activeTab", "0"), tab)) {
                activeTab = tab;
            }
        }
    }
    void endElement(std::string_view) override {
        m_inName = false;
        --m_depth;
    }
    void characters(std::string_view text) override {
        if (m_inName) {
            m_account.charge(text.size());
            names.back().name.formula += text;
        }
    }

    bool isWorkbook = false;
    std::vector<NameEntry> names;
    std::vector<std::string> externalReferences;  // relationship ids, in order
    bool date1904 = false;
    IterativeCalculation iteration;
    std::optional<uint32_t> activeTab;
    std::vector<SheetEntry> sheets;
    bool hasPivotCaches = false;  // so some sheet holds a pivot table

private:
    void readIteration(xlsx_read::XmlAttributes attributes) {
        iteration.enabled =
            xlsx_read::parseBoolean(xlsx_read::attributeOr(attributes, "iterate")).value_or(false);
        uint32_t count = 0;
        if (xlsx_read::parseIndex(xlsx_read::attributeOr(attributes, "iterateCount"), count)) {
            iteration.maxIterations = count;
        }
        double delta = 0;
        if (xlsx_read::parseNumber(xlsx_read::attributeOr(attributes, "iterateDelta"), delta) &&
            delta >= 0) {
            iteration.maxChange = delta;
        }
    }

    MemoryAccount& m_account;
    int m_depth = 0;
    std::string m_section;
    bool m_inName = false;
};

// The open package behind a workbook, kept for the sheets read later.
class XlsxSource {
public:
    XlsxSource(std::string displayName, std::string bytes)
        : m_displayName(std::move(displayName)), m_bytes(std::move(bytes)) {}

    const std::string& displayName() const { return m_displayName; }
    const std::string& bytes() const { return m_bytes; }
    void setPackage(std::unique_ptr<ZipPackage> package) { m_package = std::move(package); }
    ZipPackage& package() { return *m_package; }

    void setWorkbookParts(std::optional<std::string> sharedStrings,
                          std::optional<std::string> styles, std::optional<std::string> theme) {
        m_sharedStringsPart = std::move(sharedStrings);
        m_stylesPart = std::move(styles);
        m_themePart = std::move(theme);
    }

    void loadSheet(Sheet& sheet, const std::string& part);
    // Pivot tables are found through the sheets' relationships, which are read for that only
    // in a workbook that has pivot caches.
    void setHasPivotTables(bool has) { m_hasPivotTables = has; }
    void loadTables(Sheet& sheet, const std::string& sheetPart);
    // The external link part of each of the workbook's external books (nullopt where the
    // package lacks it), read with the workbook's other shared parts.
    void setExternalLinkParts(std::vector<std::optional<std::string>> parts) {
        m_externalLinkParts = std::move(parts);
    }

private:
    void loadWorkbookParts(Workbook& workbook);
    void notePivotTables(Sheet& sheet, const std::string& sheetPart);
    void readExternalLinks(Workbook& workbook, std::string& part);
    std::string storedName(const std::string& part);

    std::string m_displayName;
    std::string m_bytes;  // for a workbook read from memory; outlives the package
    std::unique_ptr<ZipPackage> m_package;
    std::optional<std::string> m_sharedStringsPart;
    std::optional<std::string> m_stylesPart;
    std::optional<std::string> m_themePart;
    std::vector<std::optional<std::string>> m_externalLinkParts;
    bool m_workbookPartsRead = false;
    std::optional<SpreadsheetError> m_workbookPartsError;
    std::vector<uint32_t> m_sharedStrings;
    std::vector<uint32_t> m_sharedRichIds;
    std::optional<xlsx_read::RunFonts> m_runFonts;
    std::vector<uint32_t> m_styleIds;
    xlsx_read::StylesExtras m_stylesExtras;
    bool m_hasPivotTables = false;
};

std::string XlsxSource::storedName(const std::string& part) {
    std::optional<std::string> stored = m_package->findPart(part);
    if (!stored) {
        throw describe(ReadFailure(FailureKind::Invalid, "the part " + part + " is missing"),
                       m_displayName);
    }
    return *stored;
}

// Shared strings and styles serve every sheet; they are read with the first sheet, never
// when only the sheet names are wanted.
void XlsxSource::loadWorkbookParts(Workbook& workbook) {
    if (m_workbookPartsError) {
        throw *m_workbookPartsError;
    }
    if (m_workbookPartsRead) {
        return;
    }
    std::string part;
    try {
        xlsx_read::ThemeColors theme = xlsx_read::defaultThemeColors();
        if (m_stylesPart) {
            if (m_themePart) {
                part = storedName(*m_themePart);
                theme = xlsx_read::readThemeColors(*m_package, part);
            }
            part = storedName(*m_stylesPart);
            m_styleIds = xlsx_read::readStyles(*m_package, part, theme, workbook.styles(),
                                               workbook.memory(), &m_stylesExtras);
        }
        // Formatted runs of texts and notes take their fonts into the style table.
        m_runFonts.emplace(xlsx_read::RunFonts{workbook.styles(), {}, {}});
        m_runFonts->colors.setThemeColors(theme);
        if (m_sharedStringsPart) {
            part = storedName(*m_sharedStringsPart);
            xlsx_read::SharedStringRuns runs{*m_runFonts, workbook, {}};
            m_sharedStrings = xlsx_read::readSharedStrings(*m_package, part, workbook.strings(),
                                                           workbook.memory(), &runs);
            m_sharedRichIds = std::move(runs.richIds);
        }
        readExternalLinks(workbook, part);
    } catch (const ReadFailure& failure) {
        m_workbookPartsError = describe(failure, m_displayName, part);
        throw *m_workbookPartsError;
    } catch (const SpreadsheetError& error) {
        m_workbookPartsError = error;
        throw;
    }
    m_workbookPartsRead = true;
}

// The books stay in place, empty where a part is missing, so that "[n]" in formulas keeps
// naming the n-th.
void XlsxSource::readExternalLinks(Workbook& workbook, std::string& part) {
    auto& books = workbook.externalBooks();
    for (size_t i = 0; i < m_externalLinkParts.size() && i < books.size(); ++i) {
        if (!m_externalLinkParts[i]) {
            continue;
        }
        std::optional<std::string> stored = m_package->findPart(*m_externalLinkParts[i]);
        if (!stored) {
            continue;
        }
        part = *stored;
        xlsx_read::readExternalLink(*m_package, part, books[i], m_displayName, workbook.memory());
    }
}

void XlsxSource::loadSheet(Sheet& sheet, const std::string& part) {
    Workbook& workbook = sheet.workbook();
    loadWorkbookParts(workbook);
    std::optional<std::string> stored = m_package->findPart(part);
    if (!stored) {
        throw describe(ReadFailure(FailureKind::Invalid, "its part " + part + " is missing"),
                       m_displayName, part, &sheet.name());
    }
    xlsx_read::SheetContent content;
    try {
        const xlsx_read::SheetContext context{
            .sheet = sheet,
            .strings = workbook.strings(),
            .formulas = workbook.formulas(),
            .sharedStrings = m_sharedStrings,
            .styleIds = m_styleIds,
            .date1904 = workbook.isDate1904(),
            .differentialStyleIds = &m_stylesExtras.differentialStyleIds,
            .colors = &m_stylesExtras.colors,
            .sharedRichIds = &m_sharedRichIds,
            .runFonts = &*m_runFonts};
        std::unique_ptr<xlsx_read::ByteSource> source =
            m_package->openPart(*stored, xlsx_read::kMaxLargePartBytes);
        content = xlsx_read::readSheetPart(*source, context);
    } catch (const ReadFailure& failure) {
        throw describe(failure, m_displayName, *stored, &sheet.name());
    }
    // The loader runs before the sheet counts as loaded; the rows come sorted, counted as
    // they were read.
    sheet.setLoadedRows(std::move(content.rows));
    sheet.columns() = std::move(content.columns);
    sheet.merges() = std::move(content.merges);
    sheet.arrayFormulas() = std::move(content.arrayFormulas);
    sheet.conditionalFormats() = std::move(content.conditionalFormats);
    sheet.dataValidations() = std::move(content.dataValidations);
    if (content.defaultColumnWidth) {
        sheet.setDefaultColumnWidth(*content.defaultColumnWidth);
    }
    if (content.defaultRowHeight) {
        sheet.setDefaultRowHeight(*content.defaultRowHeight);
    }
    if (content.selectedCell) {
        sheet.setSelectedCell(*content.selectedCell);
    }
    if (content.settings) {
        sheet.settings() = std::move(*content.settings);
    }
    sheet.uncarried() = std::move(content.uncarried);
    if (!content.hyperlinks.empty() || content.hasLegacyDrawing) {
        std::string notesPart = *stored;
        try {
            xlsx_read::SheetNotes notes = xlsx_read::readSheetNotes(
                *m_package, *stored, std::move(content.hyperlinks), content.hasLegacyDrawing,
                *m_runFonts, workbook.memory(), notesPart);
            sheet.setLoadedNotes(std::move(notes.hyperlinks), std::move(notes.comments));
            if (notes.hasThreads) {
                sheet.uncarried().add("threaded comments (each thread is kept as a note)");
            }
        } catch (const ReadFailure& failure) {
            throw describe(failure, m_displayName, notesPart, &sheet.name());
        }
    }
    // Pictures, shapes and charts: their parts are read only for a sheet that has them.
    if (!content.drawingRelationship.empty()) {
        std::string drawingPart = *stored;
        try {
            sheet.setLoadedDrawings(xlsx_read::readSheetDrawing(
                *m_package, *stored, content.drawingRelationship, sheet, drawingPart));
        } catch (const ReadFailure& failure) {
            throw describe(failure, m_displayName, drawingPart, &sheet.name());
        }
    }
    if (m_hasPivotTables) {
        notePivotTables(sheet, *stored);
    }
}

void XlsxSource::notePivotTables(Sheet& sheet, const std::string& sheetPart) {
    try {
        for (const xlsx_read::Relationship& r :
             xlsx_read::readRelationships(*m_package, sheetPart)) {
            if (xlsx_read::relationshipKind(r.type) == "pivotTable") {
                sheet.uncarried().add("pivot table (its cells are kept as values)");
            }
        }
    } catch (const ReadFailure& failure) {
        throw describe(failure, m_displayName, xlsx_read::relationshipsPartOf(sheetPart),
                       &sheet.name());
    }
}

void XlsxSource::loadTables(Sheet& sheet, const std::string& sheetPart) {
    std::string part = sheetPart;
    try {
        sheet.setLoadedTables(xlsx_read::readSheetTables(
            *m_package, m_package->findPart(sheetPart).value_or(sheetPart), part,
            sheet.workbook().memory()));
    } catch (const ReadFailure& failure) {
        throw describe(failure, m_displayName, part, &sheet.name());
    } catch (const MemoryLimitReached& reached) {
        throw SpreadsheetError(ErrorNumber::OutOfMemory,
                               "'" + m_displayName + "', sheet '" + sheet.name() +
                                   "': reading its tables would take more than the " +
                                   memorySizeText(reached.limit()) +
                                   " of memory this merge may use.");
    }
}

const xlsx_read::Relationship* findRelationship(
    const std::vector<xlsx_read::Relationship>& relationships, std::string_view kind) {
    for (const auto& r : relationships) {
        if (!r.external && xlsx_read::relationshipKind(r.type) == kind) {
            return &r;
        }
    }
    return nullptr;
}

// Reads the package structure and the sheet list into the workbook.
void readStructure(const std::shared_ptr<XlsxSource>& source, Workbook& workbook) {
    ZipPackage& package = source->package();
    std::string part = "_rels/.rels";
    try {
        std::optional<std::string> workbookPart;
        auto packageRelationships = xlsx_read::readRelationships(package, "");
        if (const auto* r = findRelationship(packageRelationships, "officeDocument")) {
            workbookPart = package.findPart(xlsx_read::resolveTarget("", r->target));
        }
        if (!workbookPart) {
            part = "[Content_Types].xml";
            if (auto byType = xlsx_read::workbookPartFromContentTypes(package)) {
                workbookPart = package.findPart(*byType);
            }
        }
        if (!workbookPart) {
            workbookPart = package.findPart("xl/workbook.xml");
        }
        if (!workbookPart) {
            xlsx_read::fail(FailureKind::NotPackage,
                            "it is a zip archive without a workbook in it");
        }

        part = xlsx_read::relationshipsPartOf(*workbookPart);
        auto relationships = xlsx_read::readRelationships(package, *workbookPart);

        part = *workbookPart;
        WorkbookHandler handler(workbook.memory());
        xlsx_read::AlternateContentFilter filter(handler);
        xlsx_read::parsePart(package, part, filter, xlsx_read::kMaxSmallPartBytes, false);
        if (!handler.isWorkbook) {
            xlsx_read::fail(FailureKind::NotPackage,
                            "it is an Office Open XML package, but not a workbook");
        }
        workbook.setDate1904(handler.date1904);
        source->setHasPivotTables(handler.hasPivotCaches);
        if (findRelationship(relationships, "vbaProject")) {
            workbook.uncarried().add("VBA project (macros)");
        }
        workbook.setIterativeCalculation(handler.iteration);

        auto target = [&](const xlsx_read::Relationship* r) -> std::optional<std::string> {
            if (!r) {
                return std::nullopt;
            }
            return xlsx_read::resolveTarget(*workbookPart, r->target);
        };
        source->setWorkbookParts(target(findRelationship(relationships, "sharedStrings")),
                                 target(findRelationship(relationships, "styles")),
                                 target(findRelationship(relationships, "theme")));

        // The sheet that took its cells from each part: a part read for two sheets is damage
        // that no spreadsheet program writes, and each sheet would hold all of its cells.
        std::map<std::string, std::string> sheetOfPart;
        for (const SheetEntry& entry : handler.sheets) {
            const xlsx_read::Relationship* relationship = nullptr;
            for (const auto& r : relationships) {
                if (r.id == entry.relationshipId && !r.external) {
                    relationship = &r;
                }
            }
            if (!relationship) {
                xlsx_read::fail(FailureKind::Invalid,
                                "the sheet '" + entry.name + "' has no part in the package");
            }
            std::string_view kind = xlsx_read::relationshipKind(relationship->type);
            // Chart and dialog sheets hold no cells; macro sheets hold cells as worksheets do.
            bool cells = kind != "chartsheet" && kind != "dialogsheet";
            Sheet* sheet = nullptr;
            try {
                sheet = &workbook.addSheet(entry.name,
                                           cells ? SheetKind::Worksheet : SheetKind::Chartsheet);
            } catch (const SpreadsheetError& error) {
                // "The sheet name ... is taken." reads on after "...file: ".
                std::string problem = error.description();
                if (!problem.empty() && problem.back() == '.') {
                    problem.pop_back();
                }
                if (!problem.empty() && problem[0] >= 'A' && problem[0] <= 'Z') {
                    problem[0] = static_cast<char>(problem[0] - 'A' + 'a');
                }
                xlsx_read::fail(FailureKind::Invalid, problem);
            }
            sheet->setVisibility(entry.visibility);
            if (cells) {
                std::string sheetPart =
                    xlsx_read::resolveTarget(*workbookPart, relationship->target);
                auto [owner, added] = sheetOfPart.try_emplace(
                    package.findPart(sheetPart).value_or(sheetPart), entry.name);
                if (!added) {
                    xlsx_read::fail(FailureKind::Invalid,
                                    "the sheets '" + owner->second + "' and '" + entry.name +
                                        "' both take their cells from the part " + owner->first);
                }
                // A sheet that failed once fails the same way again without another read.
                auto failure = std::make_shared<std::optional<SpreadsheetError>>();
                sheet->setTableLoader([source, sheetPart](Sheet& loading) {
                    source->loadTables(loading, sheetPart);
                });
                sheet->setLoader([source, sheetPart, failure](Sheet& loading) {
                    if (*failure) {
                        throw **failure;
                    }
                    try {
                        source->loadSheet(loading, sheetPart);
                    } catch (const SpreadsheetError& error) {
                        *failure = error;
                        throw;
                    }
                });
            }
        }
        std::vector<std::optional<std::string>> externalLinkParts;
        for (const std::string& id : handler.externalReferences) {
            std::optional<std::string> linkPart;
            for (const auto& r : relationships) {
                if (r.id == id && !r.external) {
                    linkPart = xlsx_read::resolveTarget(*workbookPart, r.target);
                }
            }
            externalLinkParts.push_back(std::move(linkPart));
            workbook.externalBooks().emplace_back();
        }
        source->setExternalLinkParts(std::move(externalLinkParts));
        for (NameEntry& entry : handler.names) {
            DefinedName& name = entry.name;
            xlsx_read::decodeEscapes(name.formula);
            if (!name.formula.empty() && name.formula.front() == '=') {
                name.formula.erase(0, 1);
            }
            if (name.name.empty()) {
                continue;
            }
            if (!entry.sheet) {
                workbook.definedNames().push_back(std::move(name));
            } else if (*entry.sheet < static_cast<uint32_t>(workbook.sheetCount())) {
                workbook.sheet(static_cast<int32_t>(*entry.sheet))
                    .definedNames()
                    .push_back(std::move(name));
            }
        }
        if (handler.activeTab &&
            *handler.activeTab < static_cast<uint32_t>(workbook.sheetCount())) {
            workbook.setActiveSheet(static_cast<int32_t>(*handler.activeTab));
        }
    } catch (const ReadFailure& failure) {
        throw describe(failure, source->displayName(), part);
    }
}

std::unique_ptr<Workbook> readPackage(std::shared_ptr<XlsxSource> source) {
    auto workbook = std::make_unique<Workbook>();
    readStructure(source, *workbook);
    workbook->setPath(source->displayName());
    workbook->setSource(std::move(source));
    return workbook;
}

}  // namespace

std::unique_ptr<Workbook> readXlsx(std::shared_ptr<const files::InputFile> file) {
    auto source = std::make_shared<XlsxSource>(file->path(), std::string());
    try {
        source->setPackage(ZipPackage::openFile(std::move(file)));
    } catch (const ReadFailure& failure) {
        throw describe(failure, source->displayName());
    }
    return readPackage(std::move(source));
}

std::unique_ptr<Workbook> readXlsx(const std::string& path) {
    return readXlsx(std::make_shared<const files::InputFile>(path));
}

std::unique_ptr<Workbook> readXlsxFromMemory(std::string bytes, const std::string& displayName) {
    auto source = std::make_shared<XlsxSource>(displayName, std::move(bytes));
    try {
        source->setPackage(ZipPackage::openMemory(source->bytes()));
    } catch (const ReadFailure& failure) {
        throw describe(failure, displayName);
    }
    return readPackage(std::move(source));
}

}  // namespace plyfold::engine
