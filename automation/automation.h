#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/common/error.h"
#include "engine/common/text_dialect.h"
#include "engine/model/cell_ref.h"

namespace plyfold::engine {
class Sheet;
class Workbook;
}  // namespace plyfold::engine

// The spreadsheet automation object model: a server instance, its workbooks, their sheets and
// ranges, under the member names that spreadsheet automation uses. Indexes are 1-based. Every
// failure throws SpreadsheetError with a positive number and a description naming the file or
// sheet and what is wrong. Objects are handles: copying one refers to the same thing, and a
// handle to a closed workbook or a deleted sheet fails when used.
namespace plyfold::automation {

using plyfold::SpreadsheetError;

class Application;
class Worksheet;
struct ApplicationState;
struct WorkbookRecord;

enum class SaveChanges { No, Yes };

// How Workbooks.Open opens a file. A read-only workbook is never saved over the file it came
// from, and the server's window offers no way to save it.
enum class OpenAccess { ReadWrite, ReadOnly };

// A rectangle of a worksheet. What count() counts depends on how the range was reached:
// Cells counts cells, Rows rows, Columns columns.
class Range {
public:
    enum class Unit { Cells, Rows, Columns };

    Range Cells() const;
    // The cell at row, column counted from the range's top-left cell (1-based).
    Range Cells(int32_t row, int32_t column) const;
    Range Rows() const;
    Range Columns() const;
    int32_t count() const;
    // First row and column of the range (1-based).
    int32_t Row() const;
    int32_t Column() const;
    // Absolute A1 text: "$C$5", or "$A$1:$C$3".
    std::string Address() const;

    // Holds the range for pasting.
    void Copy() const;
    // The pictures, shapes and charts of the sheet that a paste of the range leaves behind:
    // those whose top-left corner lies outside it, or that sit on no cell.
    int32_t drawnObjectsOutside() const;
    // Pastes the held block whole (values, formulas, formats, merged cells) with its
    // top-left cell here.
    void PasteSpecial() const;
    // Pastes the held block with its top row in this range's row and its i-th column in the
    // sheet's column columns[i] (1-based, distinct). References of its formulas that read
    // only its own cells follow them; the others read the source, as in a paste.
    void PasteColumns(const std::vector<int32_t>& columns) const;
    // The text the top-left cell shows, as formatted; empty for a blank cell.
    std::string Text() const;
    // Writes text as the value of every cell of the range, keeping their formats.
    void setValue(const std::string& text) const;
    // Deletes whole rows (a range from Worksheet::Rows) or whole columns.
    void Delete() const;
    // Fits the widths of the columns to their contents.
    void AutoFit() const;
    void Select() const;

    engine::CellRange rectangle() const { return m_rect; }

private:
    friend class Worksheet;
    Range(std::shared_ptr<WorkbookRecord> book, engine::Sheet* sheet, engine::CellRange rect,
          Unit unit, bool wholeLines);
    engine::Sheet& sheet() const;

    std::shared_ptr<WorkbookRecord> m_book;
    engine::Sheet* m_sheet;
    engine::CellRange m_rect;
    Unit m_unit;
    bool m_wholeLines;  // whole rows or whole columns of the sheet
};

// A named argument of Worksheet::Copy: the sheet before which the copy goes.
struct Before;

// Whether a sheet shows as a tab: hidden sheets can be shown from the program, very hidden
// ones only from code.
enum class SheetVisibility { Visible, Hidden, VeryHidden };

// A sheet of a workbook: a worksheet, or a chart sheet when reached through Sheets.
class Worksheet {
public:
    std::string name() const;
    void setName(const std::string& name);
    SheetVisibility Visible() const;
    void setVisible(SheetVisibility visibility);

    automation::Range UsedRange() const;
    automation::Range Cells(int32_t row, int32_t column) const;
    // The rectangle spanned by two cell addresses ("$A$1", "C3").
    automation::Range Range(std::string_view first, std::string_view last) const;
    automation::Range Rows(int32_t row) const;
    automation::Range Columns() const;
    automation::Range Columns(int32_t column) const;
    // The last row (or column) of the used range, 1-based; 1 on an empty sheet, whose used
    // range is A1. Found from the end of the sheet, without building the used range.
    int32_t lastUsedRow() const;
    int32_t lastUsedColumn() const;
    // Whether any cell holds a value, a formula or a style: an empty sheet's UsedRange is A1
    // all the same.
    bool hasCells() const;

    // Copies the whole sheet before the given sheet, which may belong to another workbook.
    void Copy(const Before& before) const;
    // The same, the copy named name (a valid sheet name; a taken one gets " (2)", " (3)",
    // ...); its formulas that name this sheet name the copy.
    void Copy(const Before& before, const std::string& name) const;
    void Delete() const;
    void Select() const;

    // What the sheet holds that no copy or paste of it carries (pivot tables, controls, ...),
    // as short names; reads the sheet's cells first, since that is when they are found.
    std::vector<std::string> uncarriedFeatures() const;

private:
    friend class SheetCollection;
    friend class Workbook;
    Worksheet(std::shared_ptr<WorkbookRecord> book, engine::Sheet* sheet);
    engine::Sheet& sheetModel() const;

    std::shared_ptr<WorkbookRecord> m_book;
    engine::Sheet* m_sheet;
};

struct Before {
    Worksheet sheet;
};

// The Worksheets (worksheets only) or Sheets (every sheet) of a workbook.
class SheetCollection {
public:
    int32_t count() const;
    Worksheet operator()(int32_t index) const;
    Worksheet operator()(std::string_view name) const;

private:
    friend class Workbook;
    SheetCollection(std::shared_ptr<WorkbookRecord> book, bool worksheetsOnly);
    std::vector<engine::Sheet*> members() const;

    std::shared_ptr<WorkbookRecord> m_book;
    bool m_worksheetsOnly;
};

class Workbook {
public:
    SheetCollection Worksheets() const;
    SheetCollection Sheets() const;
    // The file name without folder, or "Book1", "Book2", ... for a new workbook.
    std::string name() const;
    // Closes the workbook without a prompt. Sources are never written: a workbook opened from
    // a file is closed as it is, whatever saveChanges says, since nothing here changes one.
    void Close(SaveChanges saveChanges = SaveChanges::No) const;
    // Writes the workbook to path in the format its name asks for: comma-separated text of the
    // active sheet for .csv, else an Office Open XML package (.xlsm, .xltx and .xltm by name).
    // The file appears whole or not at all; an existing file stays untouched on failure. A
    // read-only workbook is refused the file it was opened from, under any name that leads
    // there.
    void SaveAs(const std::string& path,
                engine::CsvValues csvValues = engine::CsvValues::Shown) const;
    // After sheets were copied in from other workbooks: every reference to another file's
    // sheet that has a copy here points at that copy; the others stay external references.
    void relinkToCopies() const;
    // Marks the workbook as a merge's result: its .xlsx file says so in its document
    // properties, and folder scans leave it out.
    void markAsMergeResult() const;
    // What the workbook as a whole holds that no copy of its sheets carries (a VBA project).
    std::vector<std::string> uncarriedFeatures() const;
    // Whether the workbook was opened with OpenAccess::ReadOnly.
    bool ReadOnly() const;

private:
    friend class WorkbookCollection;
    explicit Workbook(std::shared_ptr<WorkbookRecord> book);
    std::shared_ptr<WorkbookRecord> m_book;
};

class WorkbookCollection {
public:
    // Opens a workbook file of any supported format; only its sheet list is read now.
    Workbook Open(const std::string& path, OpenAccess access = OpenAccess::ReadWrite) const;
    // A new unsaved workbook with one empty worksheet, "Sheet1".
    Workbook Add() const;
    int32_t count() const;
    Workbook operator()(int32_t index) const;

private:
    friend class Application;
    explicit WorkbookCollection(std::shared_ptr<ApplicationState> app);
    std::shared_ptr<ApplicationState> m_app;
};

// One instance of the spreadsheet server.
class Application : public std::enable_shared_from_this<Application> {
public:
    Application();
    ~Application();

    WorkbookCollection Workbooks() const;
    bool isVisible() const;
    // Making the instance visible hands its workbooks to the registered result presenter.
    void setVisible(bool visible);
    bool displayAlerts() const;
    void setDisplayAlerts(bool displayAlerts);
    // The files the instance's workbooks were made from, handed to the result presenter with
    // them so that saving a result never replaces one of them.
    void setSourcePaths(std::vector<std::string> paths);
    const std::vector<std::string>& sourcePaths() const;
    // The title of the server's windows; empty (the default) titles each window by its
    // workbook's name.
    const std::string& caption() const;
    void setCaption(std::string caption);
    // False drops the held copy.
    void setCutCopyMode(bool mode);
    // Ends the instance: every workbook is discarded unsaved, every handle becomes invalid.
    void Quit();
    bool isRunning() const;

    // The memory the instance's workbooks may hold together (MemoryBudget::defaultLimit() until
    // set): cells, texts and formulas read or built past it fail with a message that names the
    // file and sheet being read, or what was being built.
    uint64_t memoryLimit() const;
    void setMemoryLimit(uint64_t bytes);

    // How the .csv and .txt files the instance opens are read (by default guessed from each).
    const engine::TextDialect& textDialect() const;
    void setTextDialect(const engine::TextDialect& dialect);

    // A line the server's window shows below the workbooks (a merge's summary); told to the
    // result presenter once the instance has been presented.
    const std::string& statusBar() const;
    void setStatusBar(std::string text);

private:
    std::shared_ptr<ApplicationState> m_state;
};

// A workbook as the server's window shows it: its name and its cells, to read, and the files
// it was made from (Application::sourcePaths), which a save must not replace. The window is
// titled caption when the instance has one (Application::caption), and a read-only workbook's
// window offers no save.
struct ShownWorkbook {
    std::string name;
    std::shared_ptr<const engine::Workbook> book;
    std::vector<std::string> sources = {};
    std::string caption = {};
    bool readOnly = false;
};

// The server's window: receives a server instance and its open workbooks when the instance
// becomes visible. The instance is the presenter's from then on; while it runs, the workbooks
// stay as they were shown.
class ResultPresenter {
public:
    virtual ~ResultPresenter() = default;
    virtual void present(std::shared_ptr<Application> application,
                         std::vector<ShownWorkbook> workbooks) = 0;
    // The instance's status bar text changed after it was presented.
    virtual void showStatusBar(const Application& application, const std::string& text) {
        (void)application;
        (void)text;
    }
};

using ServerFactory = std::function<std::shared_ptr<Application>()>;

// The programmatic identifiers that name servers. "Excel.Application" names the embedded
// engine from the start.
class ServerRegistry {
public:
    static ServerRegistry& instance();

    void registerServer(const std::string& progId, ServerFactory factory);
    void unregisterServer(const std::string& progId);
    // A new instance, or SpreadsheetError 429 when no server has the identifier.
    std::shared_ptr<Application> create(std::string_view progId) const;

    void setPresenter(ResultPresenter* presenter) { m_presenter = presenter; }
    ResultPresenter* presenter() const { return m_presenter; }

private:
    ServerRegistry();
    std::vector<std::pair<std::string, ServerFactory>> m_servers;
    ResultPresenter* m_presenter = nullptr;
};

// The failure being handled, for use inside a catch block: a SpreadsheetError as it is, any
// other exception turned into one (out of memory is error 7).
SpreadsheetError currentError();

// Whether the file is a merge's result, as markAsMergeResult marked it. Never fails.
bool isMergeResultFile(const std::string& path);

// Creates a server instance by its programmatic identifier.
std::shared_ptr<Application> CreateObject(std::string_view progId);

inline constexpr std::string_view kSpreadsheetProgId = "Excel.Application";

}  // namespace plyfold::automation
