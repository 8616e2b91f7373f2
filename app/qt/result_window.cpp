#include "app/qt/result_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>

#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>

#include "app/qt/cell_delegate.h"
#include "app/qt/qt_text.h"
#include "app/qt/sheet_table_model.h"
#include "automation/automation.h"
#include "engine/common/file_access.h"
#include "engine/io/workbook_io.h"
#include "engine/model/sheet.h"
#include "engine/model/workbook.h"

namespace plyfold::gui {
namespace {

// The default column width the model keeps for a sheet that names none, or only a base
// width of eight digits.
constexpr double kUnsetDefaultColumnWidth = 8.43;

}  // namespace

InstanceLease::InstanceLease(std::shared_ptr<automation::Application> application)
    : m_application(std::move(application)) {}

InstanceLease::~InstanceLease() {
    m_application->Quit();
}

int ResultWindow::columnWidthPixels(double width, double maxDigitWidth) {
    if (!(width > 0) || !(maxDigitWidth > 0)) {
        return 0;
    }
    // The stored width counts digits of the default font, the margins and gridline included,
    // in 1/256 steps.
    const double steps = 256.0 * width + std::trunc(128.0 / maxDigitWidth);
    return static_cast<int>(std::trunc(steps / 256.0 * maxDigitWidth));
}

double ResultWindow::maxDigitWidth(const QFont& font) {
    const QFontMetricsF metrics(font);
    double widest = 0.0;
    for (char digit = '0'; digit <= '9'; ++digit) {
        widest = std::max(widest, metrics.horizontalAdvance(QLatin1Char(digit)));
    }
    return widest;
}

int ResultWindow::rowHeightPixels(double points) {
    return static_cast<int>(std::lround(points * 96.0 / 72.0));
}

ResultWindow::ResultWindow(std::shared_ptr<InstanceLease> lease,
                           std::shared_ptr<const engine::Workbook> book, QString name,
                           ResultWindowServices services)
    : m_lease(std::move(lease)),
      m_book(std::move(book)),
      m_name(std::move(name)),
      m_services(std::move(services)) {
    setObjectName(QStringLiteral("ResultWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(m_name + QStringLiteral(" - Plyfold"));
    resize(960, 640);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("SheetTabs"));
    m_tabs->setTabPosition(QTabWidget::South);
    m_tabs->setDocumentMode(true);
    int currentTab = 0;
    for (int32_t i = 0; i < m_book->sheetCount(); ++i) {
        const engine::Sheet& sheet = m_book->sheet(i);
        if (sheet.visibility() != engine::SheetVisibility::Visible) {
            continue;
        }
        if (i == m_book->activeSheet()) {
            currentTab = m_tabs->count();
        }
        m_tabs->addTab(createSheetView(sheet), toQString(sheet.name()));
        m_tabSheets << &sheet;
    }
    m_tabs->setCurrentIndex(currentTab);
    setCentralWidget(m_tabs);

    QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
    m_saveAsAction = file->addAction(QStringLiteral("Save As…"));
    m_saveAsAction->setObjectName(QStringLiteral("SaveAs"));
    m_saveAsAction->setShortcut(QKeySequence::SaveAs);
    connect(m_saveAsAction, &QAction::triggered, this, [this] { saveAs(); });
    m_openAction = file->addAction(QStringLiteral("Open in spreadsheet application"));
    m_openAction->setObjectName(QStringLiteral("OpenInSpreadsheetApplication"));
    connect(m_openAction, &QAction::triggered, this, [this] { openInSpreadsheetApplication(); });
    file->addSeparator();
    QAction* closeAction = file->addAction(QStringLiteral("Close"));
    closeAction->setObjectName(QStringLiteral("Close"));
    closeAction->setShortcut(QKeySequence::Close);
    connect(closeAction, &QAction::triggered, this, &QWidget::close);

    // A widget of the bar rather than its message: hovering a menu clears a message.
    m_statusText = new QLabel(this);
    m_statusText->setObjectName(QStringLiteral("StatusText"));
    m_statusText->setTextFormat(Qt::PlainText);
    m_statusText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->addWidget(m_statusText, 1);
    setStatusText(toQString(m_lease->application().statusBar()));
}

ResultWindow::~ResultWindow() {
    // The views read the workbook's sheets: let them go before it.
    delete takeCentralWidget();
}

QWidget* ResultWindow::createSheetView(const engine::Sheet& sheet) {
    if (!sheet.isWorksheet()) {
        auto* label = new QLabel(QStringLiteral("This chart sheet has no cells to show."));
        label->setAlignment(Qt::AlignCenter);
        return label;
    }
    auto* view = new QTableView;
    view->setObjectName(QStringLiteral("SheetView"));
    auto* model = new SheetTableModel(sheet, view);
    view->setModel(model);
    view->setItemDelegate(new CellDelegate(view));
    view->setWordWrap(false);
    // The delegate draws the grid: a text running on into empty cells crosses their lines.
    view->setShowGrid(false);
    view->setFont(SheetTableModel::qtFont(m_book->styles().font(0)));
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    view->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    view->setCornerButtonEnabled(true);

    QHeaderView* columns = view->horizontalHeader();
    QHeaderView* rows = view->verticalHeader();
    columns->setMinimumSectionSize(2);
    rows->setMinimumSectionSize(2);
    const double digit = maxDigitWidth(view->font());
    double defaultColumn = sheet.defaultColumnWidth();
    if (defaultColumn == kUnsetDefaultColumnWidth) {
        // What a sheet that names no default width gets: eight digits and the margins.
        defaultColumn = 8.0 + 5.0 / digit;
    }
    const int defaultWidth = columnWidthPixels(defaultColumn, digit);
    const int defaultHeight = rowHeightPixels(sheet.defaultRowHeight());
    columns->setDefaultSectionSize(defaultWidth);
    rows->setDefaultSectionSize(defaultHeight);
    rows->setSectionResizeMode(QHeaderView::Interactive);

    const int columnCount = model->columnCount();
    for (const engine::ColumnInfo& info : sheet.columns()) {
        for (int32_t column = info.first; column <= info.last && column < columnCount; ++column) {
            if (info.hidden) {
                view->setColumnHidden(column, true);
            } else if (info.width > 0) {
                const int width = columnWidthPixels(info.width, digit);
                if (width != defaultWidth) {
                    view->setColumnWidth(column, width);
                }
            }
        }
    }
    // Only rows of their own height are touched: a million rows of the default height cost
    // nothing this way.
    const int rowCount = model->rowCount();
    for (const engine::Row& row : sheet.rows()) {
        if (row.index >= rowCount) {
            break;
        }
        if (row.hidden) {
            view->setRowHidden(row.index, true);
        } else if (row.customHeight && row.height > 0) {
            const int height = rowHeightPixels(row.height);
            if (height != defaultHeight) {
                rows->resizeSection(row.index, height);
            }
        }
    }
    for (const engine::CellRange& merge : sheet.merges()) {
        if (merge.rowCount() > 1 || merge.columnCount() > 1) {
            view->setSpan(merge.first.row, merge.first.column, merge.rowCount(),
                          merge.columnCount());
        }
    }
    const engine::CellRef selected = sheet.selectedCell();
    view->setCurrentIndex(model->index(selected.row, selected.column));
    return view;
}

const automation::Application& ResultWindow::application() const {
    return m_lease->application();
}

void ResultWindow::setStatusText(const QString& text) {
    m_statusText->setText(text);
    statusBar()->setVisible(!text.isEmpty());
}

QString ResultWindow::statusText() const {
    return m_statusText->text();
}

void ResultWindow::setCaption(const QString& caption) {
    setWindowTitle(caption + QStringLiteral(" - Plyfold"));
}

void ResultWindow::setReadOnly() {
    m_readOnly = true;
    // Hidden and disabled, which also silences their keys.
    for (QAction* action : {m_saveAsAction, m_openAction}) {
        action->setEnabled(false);
        action->setVisible(false);
    }
}

QTableView* ResultWindow::sheetView(int tab) const {
    return qobject_cast<QTableView*>(m_tabs->widget(tab));
}

const engine::Sheet* ResultWindow::currentSheet() const {
    const int tab = m_tabs->currentIndex();
    return tab >= 0 && tab < m_tabSheets.size() ? m_tabSheets[tab] : nullptr;
}

int ResultWindow::worksheetCount() const {
    int count = 0;
    for (int32_t i = 0; i < m_book->sheetCount(); ++i) {
        count += m_book->sheet(i).isWorksheet() ? 1 : 0;
    }
    return count;
}

bool ResultWindow::saveAs() {
    if (m_readOnly || !m_services.dialogs) {
        return false;
    }
    const QString suggested = m_savedPath.isEmpty()
                                  ? QDir::home().filePath(m_name + QStringLiteral(".xlsx"))
                                  : m_savedPath;
    const std::optional<SaveTarget> target = m_services.dialogs->chooseSaveTarget(this, suggested);
    if (!target || target->path.isEmpty()) {
        return false;
    }
    return saveTo(*target);
}

bool ResultWindow::saveTo(const SaveTarget& target) {
    if (!writeFile(target)) {
        return false;
    }
    // Only a whole workbook counts as saved: a CSV file keeps one sheet of it.
    if (target.format == SaveFormat::Workbook) {
        m_saved = true;
        m_savedPath = target.path;
        setWindowTitle(QFileInfo(target.path).fileName() + QStringLiteral(" - Plyfold"));
    }
    return true;
}

bool ResultWindow::writeFile(const SaveTarget& target) {
    const QString shownPath = QDir::toNativeSeparators(target.path);
    auto fail = [&](const QString& why) {
        if (m_services.messages) {
            m_services.messages->showMessage(
                toStdString(QStringLiteral("Could not save '%1'.\n%2").arg(shownPath, why)),
                controls::MessageIcon::Critical);
        }
        return false;
    };
    if (const std::optional<std::string> source =
            files::findSameFile(toStdString(target.path), m_sourcePaths)) {
        return fail(QStringLiteral("It is '%1', a file queued as a source of this result: saving "
                                   "there would replace it. Choose another file.")
                        .arg(QDir::toNativeSeparators(toQString(*source))));
    }
    try {
        if (target.format == SaveFormat::Csv) {
            const engine::Sheet* sheet = currentSheet();
            if (!sheet || !sheet->isWorksheet()) {
                return fail(QStringLiteral("Only a worksheet can be saved as CSV."));
            }
            engine::saveSheetAsCsv(*sheet, toStdString(target.path));
            const int sheets = worksheetCount();
            if (sheets > 1 && m_services.messages) {
                m_services.messages->showMessage(
                    toStdString(QStringLiteral("Only the current sheet '%1' was saved to '%2': a "
                                               "CSV file holds one sheet, and this workbook has "
                                               "%3. Save as an Excel Workbook to keep them all.")
                                    .arg(toQString(sheet->name()), shownPath)
                                    .arg(sheets)),
                    controls::MessageIcon::Information);
            }
            return true;
        }
        engine::saveWorkbook(*m_book, toStdString(target.path));
    } catch (const std::exception& error) {
        return fail(toQString(error.what()));
    } catch (...) {
        return fail(QStringLiteral("An unexpected error occurred."));
    }
    return true;
}

void ResultWindow::openInSpreadsheetApplication() {
    if (m_readOnly || m_services.temporaryFolder.isEmpty()) {
        return;
    }
    QDir folder(m_services.temporaryFolder);
    QString path = folder.filePath(m_name + QStringLiteral(".xlsx"));
    for (int n = 2; QFileInfo::exists(path); ++n) {
        path = folder.filePath(QStringLiteral("%1 (%2).xlsx").arg(m_name).arg(n));
    }
    // A temporary copy is no save of the user's: the window's saved state stays as it was.
    if (writeFile(SaveTarget{path, SaveFormat::Workbook})) {
        if (m_services.shell) {
            m_services.shell->open(toStdString(QDir::toNativeSeparators(path)),
                                   controls::ShowCommand::Show);
        }
    }
}

void ResultWindow::closeEvent(QCloseEvent* event) {
    const automation::Application& application = m_lease->application();
    if (m_saved || m_readOnly || !application.isRunning() || !application.displayAlerts() ||
        !m_services.dialogs) {
        event->accept();
        return;
    }
    switch (m_services.dialogs->askToSaveChanges(this, m_name)) {
        case SaveAnswer::Save:
            if (saveAs()) {
                event->accept();
            } else {
                event->ignore();
            }
            return;
        case SaveAnswer::DontSave:
            event->accept();
            return;
        case SaveAnswer::Cancel:
            event->ignore();
            return;
    }
}

}  // namespace plyfold::gui
