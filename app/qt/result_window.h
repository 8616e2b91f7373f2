#pragma once

#include <QMainWindow>
#include <QString>

class QFont;

#include <memory>
#include <string>
#include <vector>

#include "app/qt/result_dialogs.h"
#include "controls/services.h"

class QAction;
class QLabel;
class QTabWidget;
class QTableView;

namespace plyfold::automation {
class Application;
}
namespace plyfold::engine {
class Sheet;
class Workbook;
}  // namespace plyfold::engine

namespace plyfold::gui {

// Keeps a server instance running while one of its windows is open and ends it when the last
// one has closed.
class InstanceLease {
public:
    explicit InstanceLease(std::shared_ptr<automation::Application> application);
    ~InstanceLease();
    InstanceLease(const InstanceLease&) = delete;
    InstanceLease& operator=(const InstanceLease&) = delete;

    automation::Application& application() const { return *m_application; }

private:
    std::shared_ptr<automation::Application> m_application;
};

struct ResultWindowServices {
    ResultDialogs* dialogs = nullptr;
    controls::MessageBoxService* messages = nullptr;
    controls::ShellService* shell = nullptr;
    // Where "Open in spreadsheet application" writes its copies; it lives until the program ends.
    QString temporaryFolder;
};

// One workbook of a merge's result: a tab per sheet, the cells as a spreadsheet shows them,
// "Save As…", "Open in spreadsheet application" and "Close". Closing a result the user has not
// saved asks first while the instance's alerts are on. Nothing is saved unless the user asks.
class ResultWindow : public QMainWindow {
    Q_OBJECT

public:
    ResultWindow(std::shared_ptr<InstanceLease> lease, std::shared_ptr<const engine::Workbook> book,
                 QString name, ResultWindowServices services);
    ~ResultWindow() override;

    const QString& workbookName() const { return m_name; }
    QTabWidget* tabs() const { return m_tabs; }
    // The table of a tab, or nullptr for a chart sheet's tab.
    QTableView* sheetView(int tab) const;
    bool isSaved() const { return m_saved; }
    // The server instance whose workbook the window shows.
    const automation::Application& application() const;

    // The line the status bar shows (a merge's summary); the bar is hidden while it is empty.
    void setStatusText(const QString& text);
    QString statusText() const;

    // The files the result was made from: a save never replaces one of them, whatever name
    // (a link, a hard link) leads to it.
    void setSourcePaths(std::vector<std::string> paths) { m_sourcePaths = std::move(paths); }

    // Titles the window caption (a preview's) instead of the workbook's name.
    void setCaption(const QString& caption);
    // A read-only window (a preview of a source) offers no save: Save As and Open in
    // spreadsheet application are gone, saveAs() refuses, and closing never asks.
    void setReadOnly();
    bool isReadOnly() const { return m_readOnly; }

    // Asks where to save and saves there; false when cancelled or failed (the failure shown).
    bool saveAs();
    // Saves a copy to the temporary folder and hands it to the desktop's spreadsheet program.
    void openInSpreadsheetApplication();

    // Pixels for a column width as files store it (in widths of the default font's widest
    // digit, margins included) when that digit is maxDigitWidth pixels wide, as spreadsheets
    // compute them; pixels for a row height in points.
    static int columnWidthPixels(double width, double maxDigitWidth);
    // The pixels of the widest digit of a font as the screen shows it.
    static double maxDigitWidth(const QFont& font);
    static int rowHeightPixels(double points);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* createSheetView(const engine::Sheet& sheet);
    const engine::Sheet* currentSheet() const;
    bool saveTo(const SaveTarget& target);
    // Writes the file and shows what went wrong; changes nothing else.
    bool writeFile(const SaveTarget& target);
    int worksheetCount() const;

    std::shared_ptr<InstanceLease> m_lease;
    std::shared_ptr<const engine::Workbook> m_book;
    QString m_name;
    ResultWindowServices m_services;
    QTabWidget* m_tabs = nullptr;
    QLabel* m_statusText = nullptr;
    QList<const engine::Sheet*> m_tabSheets;
    QAction* m_saveAsAction = nullptr;
    QAction* m_openAction = nullptr;
    bool m_saved = false;
    bool m_readOnly = false;
    QString m_savedPath;
    std::vector<std::string> m_sourcePaths;
};

}  // namespace plyfold::gui
