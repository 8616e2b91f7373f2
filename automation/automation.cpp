#include "automation/automation.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <limits>
#include <new>

#include "engine/common/file_access.h"
#include "engine/common/file_kind.h"
#include "engine/common/memory_budget.h"
#include "engine/io/workbook_io.h"
#include "engine/model/limits.h"
#include "engine/model/workbook.h"
#include "engine/ops/number_format.h"
#include "engine/ops/sheet_ops.h"
#include "engine/ops/workbook_links.h"

namespace plyfold::automation {

using engine::CellRange;
using engine::CellRef;

struct WorkbookRecord {
    std::weak_ptr<ApplicationState> app;
    std::shared_ptr<engine::Workbook> book;
    std::string name;
    // The file a read-only workbook was opened from; empty for the others.
    std::string readOnlyPath;
    bool open = true;
};

struct ApplicationState {
    ApplicationState();
    ~ApplicationState();
    void stop();

    bool running = true;
    bool visible = false;
    bool displayAlerts = true;
    bool presented = false;
    // What the workbooks of the instance hold, together.
    std::shared_ptr<MemoryBudget> budget =
        std::make_shared<MemoryBudget>(MemoryBudget::defaultLimit());
    std::vector<std::shared_ptr<WorkbookRecord>> workbooks;
    std::vector<std::string> sourcePaths;
    engine::TextDialect textDialect;
    std::string statusBar;
    std::string caption;
    // The range held by Copy until it is pasted over or dropped.
    std::shared_ptr<WorkbookRecord> heldBook;
    engine::Sheet* heldSheet = nullptr;
    CellRange heldRange;
    // Where the held range was last pasted: lines of it deleted right after keep their
    // formulas reading the source.
    engine::Sheet* pastedSheet = nullptr;
    engine::CellRef pastedAt;
};

namespace {}  // namespace

ApplicationState::ApplicationState() = default;

ApplicationState::~ApplicationState() {
    stop();
}

void ApplicationState::stop() {
    running = false;
}

namespace {

[[noreturn]] void fail(std::string description) {
    throw SpreadsheetError(ErrorNumber::ApplicationDefined, std::move(description));
}

std::shared_ptr<ApplicationState> runningApp(const std::weak_ptr<ApplicationState>& weak) {
    auto app = weak.lock();
    if (!app || !app->running) {
        fail("The spreadsheet server is no longer running.");
    }
    return app;
}

const WorkbookRecord& openBook(const std::shared_ptr<WorkbookRecord>& book) {
    if (!book) {
        throw SpreadsheetError(ErrorNumber::ObjectNotSet, "No workbook is set.");
    }
    runningApp(book->app);
    if (!book->open) {
        fail("The workbook '" + book->name + "' has been closed.");
    }
    return *book;
}

engine::Sheet& liveSheet(const std::shared_ptr<WorkbookRecord>& book, engine::Sheet* sheet) {
    const WorkbookRecord& record = openBook(book);
    if (!sheet || record.book->indexOf(*sheet) < 0) {
        fail("The sheet no longer exists in the workbook '" + record.name + "'.");
    }
    return *sheet;
}

void markModified(const std::shared_ptr<WorkbookRecord>& book) {
    book->book->setModified(true);
}

CellRange wholeSheet() {
    return CellRange{{0, 0}, {engine::kMaxRows - 1, engine::kMaxColumns - 1}};
}

std::string lineAddress(const CellRange& rect, Range::Unit unit) {
    if (unit == Range::Unit::Rows) {
        return "$" + std::to_string(rect.first.row + 1) + ":$" + std::to_string(rect.last.row + 1);
    }
    return "$" + engine::columnName(rect.first.column) + ":$" +
           engine::columnName(rect.last.column);
}

std::atomic<int> g_newWorkbookNumber{0};

// Runs an edit that builds cells; what would take the instance's memory past its budget
// fails as `what` (capitalised: "Pasting ...") would take too much.
template <typename Edit>
void building(const std::string& what, Edit edit) {
    try {
        edit();
    } catch (const MemoryLimitReached& reached) {
        throw SpreadsheetError(ErrorNumber::OutOfMemory, what + " would take more than the " +
                                                             memorySizeText(reached.limit()) +
                                                             " of memory this merge may use.");
    }
}

}  // namespace

// Range

Range::Range(std::shared_ptr<WorkbookRecord> book, engine::Sheet* sheet, CellRange rect, Unit unit,
             bool wholeLines)
    : m_book(std::move(book)),
      m_sheet(sheet),
      m_rect(rect),
      m_unit(unit),
      m_wholeLines(wholeLines) {}

engine::Sheet& Range::sheet() const {
    return liveSheet(m_book, m_sheet);
}

Range Range::Cells() const {
    return Range(m_book, m_sheet, m_rect, Unit::Cells, m_wholeLines);
}

Range Range::Cells(int32_t row, int32_t column) const {
    sheet();
    int64_t r = int64_t{m_rect.first.row} + row - 1;
    int64_t c = int64_t{m_rect.first.column} + column - 1;
    if (row < 1 || column < 1 || r >= engine::kMaxRows || c >= engine::kMaxColumns) {
        fail("The cell at row " + std::to_string(r + 1) + ", column " + std::to_string(c + 1) +
             " lies outside the sheet '" + m_sheet->name() + "'.");
    }
    CellRef ref{static_cast<int32_t>(r), static_cast<int32_t>(c)};
    return Range(m_book, m_sheet, CellRange{ref, ref}, Unit::Cells, false);
}

Range Range::Rows() const {
    return Range(m_book, m_sheet, m_rect, Unit::Rows, m_wholeLines);
}

Range Range::Columns() const {
    return Range(m_book, m_sheet, m_rect, Unit::Columns, m_wholeLines);
}

int32_t Range::count() const {
    sheet();
    int64_t n = 0;
    switch (m_unit) {
        case Unit::Cells:
            n = int64_t{m_rect.rowCount()} * m_rect.columnCount();
            break;
        case Unit::Rows:
            n = m_rect.rowCount();
            break;
        case Unit::Columns:
            n = m_rect.columnCount();
            break;
    }
    if (n > std::numeric_limits<int32_t>::max()) {
        fail("The range holds more cells than can be counted.");
    }
    return static_cast<int32_t>(n);
}

int32_t Range::Row() const {
    return m_rect.first.row + 1;
}
int32_t Range::Column() const {
    return m_rect.first.column + 1;
}

std::string Range::Address() const {
    sheet();
    if (m_wholeLines) {
        return lineAddress(m_rect, m_unit);
    }
    if (m_rect.first == m_rect.last) {
        return engine::absoluteCellName(m_rect.first);
    }
    return engine::absoluteCellName(m_rect.first) + ":" + engine::absoluteCellName(m_rect.last);
}

void Range::Copy() const {
    sheet();
    auto app = runningApp(m_book->app);
    app->heldBook = m_book;
    app->heldSheet = m_sheet;
    app->heldRange = m_rect;
    app->pastedSheet = nullptr;
}

int32_t Range::drawnObjectsOutside() const {
    int32_t outside = 0;
    for (const engine::DrawingObject& object : sheet().drawings()) {
        const engine::CellRef corner{object.topRow(), object.leftColumn()};
        if (corner.row < 0 || !m_rect.contains(corner)) {
            ++outside;
        }
    }
    return outside;
}

void Range::PasteSpecial() const {
    engine::Sheet& target = sheet();
    auto app = runningApp(m_book->app);
    if (!app->heldBook) {
        fail("There is nothing to paste: no range has been copied.");
    }
    engine::Sheet& source = liveSheet(app->heldBook, app->heldSheet);
    building("Pasting the copied cells into the sheet '" + target.name() + "'",
             [&] { engine::pasteBlock(source, app->heldRange, target, m_rect.first); });
    app->pastedSheet = &target;
    app->pastedAt = m_rect.first;
    markModified(m_book);
}

void Range::PasteColumns(const std::vector<int32_t>& columns) const {
    engine::Sheet& target = sheet();
    auto app = runningApp(m_book->app);
    if (!app->heldBook) {
        fail("There is nothing to paste: no range has been copied.");
    }
    engine::Sheet& source = liveSheet(app->heldBook, app->heldSheet);
    std::vector<int32_t> targetColumns;
    targetColumns.reserve(columns.size());
    for (const int32_t column : columns) {
        targetColumns.push_back(column - 1);
    }
    building("Pasting the copied cells into the sheet '" + target.name() + "'", [&] {
        engine::pasteBlockRearranged(source, app->heldRange, target, m_rect.first.row,
                                     targetColumns);
    });
    // Lines of a rearranged block are not deleted after it lands.
    app->pastedSheet = nullptr;
    markModified(m_book);
}

std::string Range::Text() const {
    const engine::Sheet& model = sheet();
    const engine::Cell* cell = model.findCell(m_rect.first);
    return cell ? engine::displayText(model.workbook(), *cell) : std::string();
}

void Range::setValue(const std::string& text) const {
    engine::Sheet& target = sheet();
    building("Writing into the sheet '" + target.name() + "'", [&] {
        target.workbook().memory().charge(static_cast<uint64_t>(m_rect.rowCount()) *
                                          static_cast<uint64_t>(m_rect.columnCount()) *
                                          sizeof(engine::Cell));
        const uint32_t id = target.workbook().strings().intern(text);
        const auto width = static_cast<size_t>(m_rect.columnCount());
        for (int32_t row = m_rect.first.row; row <= m_rect.last.row; ++row) {
            // Room for the new cells and no more: a row grown by doubling would hold up to
            // twice the memory its cells need.
            std::vector<engine::Cell>& cells = target.rowAt(row).cells;
            cells.reserve(cells.size() + width);
            for (int32_t column = m_rect.first.column; column <= m_rect.last.column; ++column) {
                engine::Cell& cell = target.cellAt({row, column});
                cell.type = engine::CellType::Text;
                cell.value.text = id;
                cell.formula = 0;
                cell.flags = 0;
                cell.richText = 0;
            }
        }
    });
    markModified(m_book);
}

// Deleting lines of a block just pasted from another workbook (as a merge drops a block's
// header): the block's formulas that read those lines read them from the source instead of
// turning into #REF!, as long as the source is still held.
namespace {

void keepPastedLinesReadingSource(const std::shared_ptr<WorkbookRecord>& book,
                                  engine::Sheet& target, const CellRange& lines, bool columns) {
    auto app = runningApp(book->app);
    if (!app->heldBook || !app->heldBook->open || app->pastedSheet != &target || !app->heldSheet ||
        app->heldBook->book->indexOf(*app->heldSheet) < 0) {
        return;
    }
    engine::readPastedLinesFromSource(*app->heldSheet, app->heldRange, target, app->pastedAt,
                                      columns ? lines.first.column : lines.first.row,
                                      columns ? lines.columnCount() : lines.rowCount(), columns);
}

}  // namespace

void Range::Delete() const {
    engine::Sheet& target = sheet();
    if (!m_wholeLines) {
        fail("Only whole rows or whole columns can be deleted.");
    }
    building(std::string(m_unit == Unit::Columns ? "Deleting the columns " : "Deleting the rows ") +
                 lineAddress(m_rect, m_unit) + " of the sheet '" + target.name() + "'",
             [&] {
                 keepPastedLinesReadingSource(m_book, target, m_rect, m_unit == Unit::Columns);
                 if (m_unit == Unit::Columns) {
                     engine::deleteColumns(target, m_rect.first.column, m_rect.columnCount());
                 } else {
                     engine::deleteRows(target, m_rect.first.row, m_rect.rowCount());
                 }
             });
    markModified(m_book);
}

void Range::AutoFit() const {
    engine::Sheet& target = sheet();
    if (m_unit != Unit::Columns) {
        fail("Only columns can be fitted to their contents.");
    }
    engine::autoFitColumns(target);
    markModified(m_book);
}

void Range::Select() const {
    engine::Sheet& target = sheet();
    target.setSelectedCell(m_rect.first);
    m_book->book->setActiveSheet(m_book->book->indexOf(target));
}

// Worksheet

Worksheet::Worksheet(std::shared_ptr<WorkbookRecord> book, engine::Sheet* sheet)
    : m_book(std::move(book)), m_sheet(sheet) {}

engine::Sheet& Worksheet::sheetModel() const {
    return liveSheet(m_book, m_sheet);
}

int32_t Worksheet::lastUsedRow() const {
    return sheetModel().lastUsedRow().value_or(0) + 1;
}

bool Worksheet::hasCells() const {
    return sheetModel().lastUsedRow().has_value();
}

int32_t Worksheet::lastUsedColumn() const {
    return sheetModel().lastUsedColumn().value_or(0) + 1;
}

std::string Worksheet::name() const {
    return sheetModel().name();
}

void Worksheet::setName(const std::string& name) {
    engine::Sheet& sheet = sheetModel();
    m_book->book->renameSheet(m_book->book->indexOf(sheet), name);
    markModified(m_book);
}

SheetVisibility Worksheet::Visible() const {
    switch (sheetModel().visibility()) {
        case engine::SheetVisibility::Visible:
            return SheetVisibility::Visible;
        case engine::SheetVisibility::Hidden:
            return SheetVisibility::Hidden;
        case engine::SheetVisibility::VeryHidden:
            return SheetVisibility::VeryHidden;
    }
    return SheetVisibility::Visible;
}

void Worksheet::setVisible(SheetVisibility visibility) {
    engine::Sheet& sheet = sheetModel();
    const engine::Workbook& book = *m_book->book;
    if (visibility != SheetVisibility::Visible &&
        sheet.visibility() == engine::SheetVisibility::Visible) {
        bool otherVisible = false;
        for (int32_t i = 0; i < book.sheetCount(); ++i) {
            otherVisible |= &book.sheet(i) != &sheet &&
                            book.sheet(i).visibility() == engine::SheetVisibility::Visible;
        }
        if (!otherVisible) {
            fail("The sheet '" + sheet.name() +
                 "' cannot be hidden: a workbook must keep at least one visible sheet.");
        }
    }
    sheet.setVisibility(visibility == SheetVisibility::Hidden ? engine::SheetVisibility::Hidden
                        : visibility == SheetVisibility::VeryHidden
                            ? engine::SheetVisibility::VeryHidden
                            : engine::SheetVisibility::Visible);
    markModified(m_book);
}

automation::Range Worksheet::UsedRange() const {
    engine::Sheet& sheet = sheetModel();
    if (!sheet.isWorksheet()) {
        fail("The sheet '" + sheet.name() + "' is a chart sheet and holds no cells.");
    }
    CellRange used = sheet.usedRange().value_or(CellRange{{0, 0}, {0, 0}});
    return automation::Range(m_book, m_sheet, used, automation::Range::Unit::Cells, false);
}

automation::Range Worksheet::Cells(int32_t row, int32_t column) const {
    sheetModel();
    return automation::Range(m_book, m_sheet, wholeSheet(), automation::Range::Unit::Cells, false)
        .Cells(row, column);
}

automation::Range Worksheet::Range(std::string_view first, std::string_view last) const {
    sheetModel();
    auto a = engine::parseCellName(first);
    auto b = engine::parseCellName(last);
    if (!a || !b) {
        fail("'" + std::string(a ? last : first) + "' is not a cell address.");
    }
    CellRange rect{{std::min(a->row, b->row), std::min(a->column, b->column)},
                   {std::max(a->row, b->row), std::max(a->column, b->column)}};
    return automation::Range(m_book, m_sheet, rect, automation::Range::Unit::Cells, false);
}

automation::Range Worksheet::Rows(int32_t row) const {
    sheetModel();
    if (row < 1 || row > engine::kMaxRows) {
        fail("Row " + std::to_string(row) + " lies outside the sheet '" + m_sheet->name() + "'.");
    }
    CellRange rect{{row - 1, 0}, {row - 1, engine::kMaxColumns - 1}};
    return automation::Range(m_book, m_sheet, rect, automation::Range::Unit::Rows, true);
}

automation::Range Worksheet::Columns() const {
    sheetModel();
    return automation::Range(m_book, m_sheet, wholeSheet(), automation::Range::Unit::Columns, true);
}

automation::Range Worksheet::Columns(int32_t column) const {
    sheetModel();
    if (column < 1 || column > engine::kMaxColumns) {
        fail("Column " + std::to_string(column) + " lies outside the sheet '" + m_sheet->name() +
             "'.");
    }
    CellRange rect{{0, column - 1}, {engine::kMaxRows - 1, column - 1}};
    return automation::Range(m_book, m_sheet, rect, automation::Range::Unit::Columns, true);
}

void Worksheet::Copy(const automation::Before& before) const {
    Copy(before, std::string());
}

void Worksheet::Copy(const automation::Before& before, const std::string& name) const {
    engine::Sheet& source = sheetModel();
    engine::Sheet& anchor = before.sheet.sheetModel();
    engine::Workbook& target = *before.sheet.m_book->book;
    building("Copying the sheet '" + source.name() + "'",
             [&] { engine::copySheet(source, target, target.indexOf(anchor), name); });
    markModified(before.sheet.m_book);
}

void Worksheet::Delete() const {
    engine::Sheet& sheet = sheetModel();
    engine::Workbook& book = *m_book->book;
    int visibleOthers = 0;
    for (int32_t i = 0; i < book.sheetCount(); ++i) {
        if (&book.sheet(i) != &sheet &&
            book.sheet(i).visibility() == engine::SheetVisibility::Visible) {
            ++visibleOthers;
        }
    }
    if (visibleOthers == 0) {
        fail("The sheet '" + sheet.name() +
             "' cannot be deleted: a workbook must keep at least "
             "one visible sheet.");
    }
    if (auto app = m_book->app.lock(); app && app->pastedSheet == &sheet) {
        app->pastedSheet = nullptr;
    }
    book.removeSheet(book.indexOf(sheet));
    markModified(m_book);
}

std::vector<std::string> Worksheet::uncarriedFeatures() const {
    engine::Sheet& sheet = sheetModel();
    sheet.ensureLoaded();
    return sheet.uncarried().list();
}

void Worksheet::Select() const {
    engine::Sheet& sheet = sheetModel();
    m_book->book->setActiveSheet(m_book->book->indexOf(sheet));
}

// SheetCollection

SheetCollection::SheetCollection(std::shared_ptr<WorkbookRecord> book, bool worksheetsOnly)
    : m_book(std::move(book)), m_worksheetsOnly(worksheetsOnly) {}

std::vector<engine::Sheet*> SheetCollection::members() const {
    const WorkbookRecord& record = openBook(m_book);
    std::vector<engine::Sheet*> sheets;
    for (int32_t i = 0; i < record.book->sheetCount(); ++i) {
        engine::Sheet& sheet = record.book->sheet(i);
        if (!m_worksheetsOnly || sheet.isWorksheet()) {
            sheets.push_back(&sheet);
        }
    }
    return sheets;
}

int32_t SheetCollection::count() const {
    return static_cast<int32_t>(members().size());
}

Worksheet SheetCollection::operator()(int32_t index) const {
    auto sheets = members();
    if (index < 1 || index > static_cast<int32_t>(sheets.size())) {
        throw SpreadsheetError(ErrorNumber::SubscriptOutOfRange,
                               "The workbook '" + m_book->name + "' has no " +
                                   (m_worksheetsOnly ? "worksheet" : "sheet") + " number " +
                                   std::to_string(index) + ".");
    }
    return Worksheet(m_book, sheets[index - 1]);
}

Worksheet SheetCollection::operator()(std::string_view name) const {
    const WorkbookRecord& record = openBook(m_book);
    engine::Sheet* sheet = record.book->findSheet(name);
    if (!sheet || (m_worksheetsOnly && !sheet->isWorksheet())) {
        throw SpreadsheetError(ErrorNumber::SubscriptOutOfRange, "The workbook '" + m_book->name +
                                                                     "' has no worksheet named '" +
                                                                     std::string(name) + "'.");
    }
    return Worksheet(m_book, sheet);
}

// Workbook

Workbook::Workbook(std::shared_ptr<WorkbookRecord> book) : m_book(std::move(book)) {}

SheetCollection Workbook::Worksheets() const {
    return SheetCollection(m_book, true);
}
SheetCollection Workbook::Sheets() const {
    return SheetCollection(m_book, false);
}
std::string Workbook::name() const {
    return openBook(m_book).name;
}

void Workbook::Close(SaveChanges) const {
    openBook(m_book);
    auto app = runningApp(m_book->app);
    m_book->open = false;
    auto& books = app->workbooks;
    books.erase(std::remove(books.begin(), books.end(), m_book), books.end());
    if (app->heldBook == m_book) {
        app->heldBook.reset();
        app->heldSheet = nullptr;
    }
}

void Workbook::relinkToCopies() const {
    engine::Workbook& book = *openBook(m_book).book;
    building("Pointing the formulas at the copied sheets", [&] { engine::relinkToCopies(book); });
    markModified(m_book);
}

void Workbook::markAsMergeResult() const {
    openBook(m_book).book->setMergeResult(true);
}

std::vector<std::string> Workbook::uncarriedFeatures() const {
    return openBook(m_book).book->uncarried().list();
}

bool Workbook::ReadOnly() const {
    return !openBook(m_book).readOnlyPath.empty();
}

void Workbook::SaveAs(const std::string& path, engine::CsvValues csvValues) const {
    const WorkbookRecord& record = openBook(m_book);
    if (!record.readOnlyPath.empty() && files::findSameFile(path, {record.readOnlyPath})) {
        throw SpreadsheetError(ErrorNumber::FileAccess,
                               "The workbook '" + record.name + "' is open read-only: '" + path +
                                   "' is the file it was opened from and cannot be replaced.");
    }
    const engine::Workbook& book = *record.book;
    if (files::fileTypeOfName(path) == files::FileType::Csv) {
        engine::saveSheetAsCsv(book.sheet(book.activeSheet()), path, csvValues);
    } else {
        engine::saveWorkbook(book, path);
    }
}

bool isMergeResultFile(const std::string& path) {
    return engine::isMergeResultFile(path);
}

// WorkbookCollection

WorkbookCollection::WorkbookCollection(std::shared_ptr<ApplicationState> app)
    : m_app(std::move(app)) {}

Workbook WorkbookCollection::Open(const std::string& path, OpenAccess access) const {
    auto app = runningApp(m_app);
    auto record = std::make_shared<WorkbookRecord>();
    record->app = app;
    record->book = engine::openWorkbook(path, app->budget, app->textDialect);
    record->name = std::filesystem::path(path).filename().string();
    if (access == OpenAccess::ReadOnly) {
        // Absolute, so that a later change of the working folder cannot lead elsewhere.
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(path, error);
        record->readOnlyPath = error ? path : absolute.string();
    }
    app->workbooks.push_back(record);
    return Workbook(record);
}

Workbook WorkbookCollection::Add() const {
    auto app = runningApp(m_app);
    auto record = std::make_shared<WorkbookRecord>();
    record->app = app;
    record->book = std::make_shared<engine::Workbook>();
    record->book->memory().setBudget(app->budget);
    record->book->addSheet("Sheet1");
    record->name = "Book" + std::to_string(++g_newWorkbookNumber);
    app->workbooks.push_back(record);
    return Workbook(record);
}

int32_t WorkbookCollection::count() const {
    return static_cast<int32_t>(runningApp(m_app)->workbooks.size());
}

Workbook WorkbookCollection::operator()(int32_t index) const {
    auto app = runningApp(m_app);
    if (index < 1 || index > static_cast<int32_t>(app->workbooks.size())) {
        throw SpreadsheetError(ErrorNumber::SubscriptOutOfRange,
                               "There is no open workbook number " + std::to_string(index) + ".");
    }
    return Workbook(app->workbooks[index - 1]);
}

// Application

Application::Application() : m_state(std::make_shared<ApplicationState>()) {}
Application::~Application() = default;

WorkbookCollection Application::Workbooks() const {
    runningApp(m_state);
    return WorkbookCollection(m_state);
}

bool Application::isVisible() const {
    return m_state->visible;
}

void Application::setVisible(bool visible) {
    runningApp(m_state);
    m_state->visible = visible;
    ResultPresenter* presenter = ServerRegistry::instance().presenter();
    if (visible && !m_state->presented && presenter) {
        m_state->presented = true;
        std::vector<ShownWorkbook> shown;
        for (const auto& record : m_state->workbooks) {
            shown.push_back(ShownWorkbook{record->name, record->book, m_state->sourcePaths,
                                          m_state->caption, !record->readOnlyPath.empty()});
        }
        presenter->present(shared_from_this(), std::move(shown));
    }
}

void Application::setSourcePaths(std::vector<std::string> paths) {
    m_state->sourcePaths = std::move(paths);
}

const std::vector<std::string>& Application::sourcePaths() const {
    return m_state->sourcePaths;
}

bool Application::displayAlerts() const {
    return m_state->displayAlerts;
}

void Application::setDisplayAlerts(bool displayAlerts) {
    runningApp(m_state);
    m_state->displayAlerts = displayAlerts;
}

const std::string& Application::caption() const {
    return m_state->caption;
}

void Application::setCaption(std::string caption) {
    m_state->caption = std::move(caption);
}

void Application::setCutCopyMode(bool mode) {
    runningApp(m_state);
    if (!mode) {
        m_state->heldBook.reset();
        m_state->heldSheet = nullptr;
    }
}

void Application::Quit() {
    if (!m_state->running) {
        return;
    }
    for (auto& book : m_state->workbooks) {
        book->open = false;
    }
    m_state->workbooks.clear();
    m_state->heldBook.reset();
    m_state->heldSheet = nullptr;
    m_state->stop();
    m_state->visible = false;
}

bool Application::isRunning() const {
    return m_state->running;
}

uint64_t Application::memoryLimit() const {
    return m_state->budget->limit();
}

void Application::setMemoryLimit(uint64_t bytes) {
    m_state->budget->setLimit(bytes);
}

const engine::TextDialect& Application::textDialect() const {
    return m_state->textDialect;
}

void Application::setTextDialect(const engine::TextDialect& dialect) {
    m_state->textDialect = dialect;
}

const std::string& Application::statusBar() const {
    return m_state->statusBar;
}

void Application::setStatusBar(std::string text) {
    m_state->statusBar = std::move(text);
    ResultPresenter* presenter = ServerRegistry::instance().presenter();
    if (m_state->presented && presenter) {
        presenter->showStatusBar(*this, m_state->statusBar);
    }
}

// Registry

ServerRegistry::ServerRegistry() {
    registerServer(std::string(kSpreadsheetProgId), [] { return std::make_shared<Application>(); });
}

ServerRegistry& ServerRegistry::instance() {
    static ServerRegistry registry;
    return registry;
}

void ServerRegistry::registerServer(const std::string& progId, ServerFactory factory) {
    unregisterServer(progId);
    m_servers.emplace_back(progId, std::move(factory));
}

void ServerRegistry::unregisterServer(const std::string& progId) {
    m_servers.erase(std::remove_if(m_servers.begin(), m_servers.end(),
                                   [&](const auto& entry) { return entry.first == progId; }),
                    m_servers.end());
}

std::shared_ptr<Application> ServerRegistry::create(std::string_view progId) const {
    for (const auto& [id, factory] : m_servers) {
        if (id == progId) {
            return factory();
        }
    }
    throw SpreadsheetError(ErrorNumber::CannotCreateObject,
                           "The spreadsheet server '" + std::string(progId) +
                               "' is not installed or cannot be started.");
}

std::shared_ptr<Application> CreateObject(std::string_view progId) {
    return ServerRegistry::instance().create(progId);
}

SpreadsheetError currentError() {
    try {
        throw;
    } catch (const SpreadsheetError& error) {
        return error;
    } catch (const std::bad_alloc&) {
        return SpreadsheetError(ErrorNumber::OutOfMemory, "Out of memory.");
    } catch (const MemoryLimitReached& reached) {
        return SpreadsheetError(ErrorNumber::OutOfMemory, "The merge would take more than the " +
                                                              memorySizeText(reached.limit()) +
                                                              " of memory it may use.");
    } catch (const std::exception& error) {
        return SpreadsheetError(ErrorNumber::ApplicationDefined, error.what());
    } catch (...) {
        return SpreadsheetError(ErrorNumber::ApplicationDefined, "An unknown error occurred.");
    }
}

}  // namespace plyfold::automation
