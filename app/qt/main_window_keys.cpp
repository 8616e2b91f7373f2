#include <QAction>
#include <QKeySequence>
#include <QShortcut>

#include <string>
#include <vector>

#include "app/qt/list_model_adapter.h"
#include "app/qt/list_view.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_text.h"

namespace plyfold::gui {
namespace {

// The menu items' keys. Remove List Item's Delete is the source list's alone (the queue's
// Delete removes a queue entry), so it is set below with the lists' keys.
struct MenuKey {
    const char* item;
    QKeyCombination key;
};
constexpr MenuKey kMenuKeys[] = {
    {"Addexcel", Qt::CTRL | Qt::Key_O},
    {"AddFolder", Qt::CTRL | Qt::SHIFT | Qt::Key_O},
    {"Merge", QKeyCombination(Qt::Key_F5)},
    {"Help", QKeyCombination(Qt::Key_F1)},
};

}  // namespace

void MainWindow::addKeysDropsAndTips() {
    for (const MenuKey& key : kMenuKeys) {
        if (auto* action = findChild<QAction*>(QString::fromLatin1(key.item))) {
            action->setShortcut(QKeySequence(key.key));
        }
    }

    auto list = [this](const char* name) {
        return findChild<ListView*>(QString::fromLatin1(name));
    };
    ListView* sources = list("ListView1");
    ListView* worksheets = list("ListView3");
    ListView* queue = list("ListView4");
    if (!sources || !worksheets || !queue) {
        return;
    }

    // Delete in the source list is Remove List Item, whose menu entry shows the key; in the
    // queue it is the left arrow's command.
    if (auto* removeItem = findChild<QAction*>(QStringLiteral("RemoveItem"))) {
        removeItem->setShortcut(QKeySequence(QKeySequence::Delete));
        removeItem->setShortcutContext(Qt::WidgetShortcut);
        sources->addAction(removeItem);
    }
    auto* removeQueued = new QShortcut(QKeySequence(QKeySequence::Delete), queue);
    removeQueued->setContext(Qt::WidgetShortcut);
    connect(removeQueued, &QShortcut::activated, this,
            [this] { run(&app::Form1::Command11_Click); });
    // Enter queues the worksheet, as a double-click does.
    connect(worksheets, &ListView::userPressedEnter, this,
            [this] { run(&app::Form1::ListView3_DblClick); });

    sources->setTakesDroppedFiles();
    // Handled once the drop is over: the source of the drag waits for it to end, and the
    // command may show a box.
    connect(
        sources, &ListView::filesDropped, this,
        [this](const QStringList& dropped) {
            std::vector<std::string> paths;
            for (const QString& path : dropped) {
                paths.push_back(toStdString(path));
            }
            run([this, &paths] { m_form->DropSources(paths); });
        },
        Qt::QueuedConnection);

    for (const char* name : {"ListView1", "ListView2", "ListView3", "ListView4"}) {
        if (ListView* view = list(name)) {
            const controls::ListModel& rows = view->adapter()->list();
            view->adapter()->setToolTips(
                [this, &rows](int row) { return m_form->RowToolTip(rows, row); });
        }
    }
}

}  // namespace plyfold::gui
