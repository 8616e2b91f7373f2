#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QShortcut>

#include <memory>

#include "app/qt/list_model_adapter.h"
#include "app/qt/list_view.h"
#include "app/qt/main_window.h"

namespace plyfold::gui {
namespace {

constexpr auto kPreviewKey = Qt::Key_F3;

}  // namespace

// The key previews the current row of the list that has the focus; the Edit menu's item the
// current row of the list that last had it (the worksheet list until either has had it); a
// list's context menu the row it was opened on. The key belongs to the lists, not to the menu
// item: it previews the list it is pressed in.
void MainWindow::addPreviewCommand(QMenu* edit) {
    auto* worksheets = findChild<ListView*>(QStringLiteral("ListView3"));
    auto* queue = findChild<ListView*>(QStringLiteral("ListView4"));
    if (!worksheets || !queue) {
        return;
    }
    auto handlerOf = [](app::PreviewList list) {
        return list == app::PreviewList::Queue ? &app::Form1::PreviewQueueItem_Click
                                               : &app::Form1::PreviewWorksheet_Click;
    };

    auto lastList = std::make_shared<app::PreviewList>(app::PreviewList::Worksheets);
    edit->addSeparator();
    QAction* item = edit->addAction(QStringLiteral("&Preview Sheet"));
    item->setObjectName(QStringLiteral("PreviewSheet"));
    connect(item, &QAction::triggered, this,
            [this, lastList, handlerOf] { run(handlerOf(*lastList)); });
    connect(qApp, &QApplication::focusChanged, item,
            [worksheets, queue, lastList](QWidget*, QWidget* now) {
                if (now == worksheets) {
                    *lastList = app::PreviewList::Worksheets;
                } else if (now == queue) {
                    *lastList = app::PreviewList::Queue;
                }
            });

    const std::pair<ListView*, app::PreviewList> lists[] = {
        {worksheets, app::PreviewList::Worksheets}, {queue, app::PreviewList::Queue}};
    for (const auto& [view, list] : lists) {
        auto* key = new QShortcut(QKeySequence(kPreviewKey), view);
        key->setContext(Qt::WidgetShortcut);
        connect(key, &QShortcut::activated, this,
                [this, handler = handlerOf(list)] { run(handler); });
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this,
                [this, view = view, handler = handlerOf(list)](const QPoint& position) {
                    controls::ListModel& rows = view->adapter()->list();
                    const QModelIndex index = view->indexAt(position);
                    // Off the rows (or from the keyboard) the menu is the selected row's.
                    const int row = index.isValid() ? index.row() + 1 : rows.selectedIndex();
                    if (row < 1) {
                        return;
                    }
                    rows.select(row);
                    auto* menu = new QMenu(view);
                    menu->setObjectName(QStringLiteral("PreviewMenu"));
                    menu->setAttribute(Qt::WA_DeleteOnClose);
                    // The tab shows the list's key in the menu's shortcut column.
                    QAction* preview = menu->addAction(
                        QStringLiteral("Preview Sheet\t") +
                        QKeySequence(kPreviewKey).toString(QKeySequence::NativeText));
                    preview->setObjectName(QStringLiteral("PreviewSheetItem"));
                    connect(preview, &QAction::triggered, this, [this, handler] { run(handler); });
                    menu->popup(view->viewport()->mapToGlobal(position));
                });
    }
}

}  // namespace plyfold::gui
