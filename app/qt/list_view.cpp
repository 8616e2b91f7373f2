#include "app/qt/list_view.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

#include "app/qt/list_model_adapter.h"
#include "app/qt/twips.h"

namespace plyfold::gui {

ListView::ListView(ListModelAdapter* adapter, QWidget* parent)
    : QTreeView(parent), m_adapter(adapter) {
    setModel(adapter);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAllColumnsShowFocus(true);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    connect(adapter, &ListModelAdapter::selectionRequested, this, &ListView::showSelection);
    connect(adapter, &ListModelAdapter::scrollRequested, this,
            [this](int row) { scrollTo(model()->index(row, 0)); });
    connect(adapter, &ListModelAdapter::repaintNeeded, this, [this] { viewport()->repaint(); });
    connect(adapter, &ListModelAdapter::columnWidthsChanged, this, &ListView::showColumnWidths);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ListView::onViewSelectionChanged);
    // Qt moves the selection itself when rows come and go (to a neighbour of a removed row):
    // the list's own selection is what shows.
    auto showListSelection = [this] { showSelection(m_adapter->list().selectedIndex() - 1); };
    connect(adapter, &QAbstractItemModel::rowsInserted, this, showListSelection);
    connect(adapter, &QAbstractItemModel::rowsRemoved, this, showListSelection);
    connect(adapter, &QAbstractItemModel::modelReset, this, showListSelection);
    showColumnWidths();
    showSelection(adapter->list().selectedIndex() - 1);
}

int ListView::selectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void ListView::showSelection(int row) {
    m_showingModel = true;
    // Selecting from code does not scroll; the list's commands scroll when they mean to.
    const bool scrolls = hasAutoScroll();
    setAutoScroll(false);
    const QModelIndex index = model()->index(row, 0);
    if (!index.isValid()) {
        selectionModel()->clearSelection();
        selectionModel()->clearCurrentIndex();
    } else if (selectedRow() != row || selectionModel()->currentIndex().row() != row) {
        selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    setAutoScroll(scrolls);
    m_showingModel = false;
}

void ListView::showColumnWidths() {
    const auto& headers = m_adapter->list().columnHeaders();
    for (int column = 0; column < static_cast<int>(headers.size()); ++column) {
        header()->resizeSection(column, twipsToPixels(headers[column].widthTwips));
    }
}

// The user moved the selection: the model follows without raising an event of its own.
void ListView::onViewSelectionChanged() {
    if (m_showingModel || m_adapter->isChangingRows()) {
        return;
    }
    controls::ListModel& list = m_adapter->list();
    const int index = selectedRow() + 1;
    if (index == list.selectedIndex() || index > list.count()) {
        return;
    }
    m_showingModel = true;
    list.select(index);
    m_showingModel = false;
}

void ListView::mousePressEvent(QMouseEvent* event) {
    const QModelIndex pressed = indexAt(event->position().toPoint());
    m_pressedRow = event->button() == Qt::LeftButton && pressed.isValid() ? pressed.row() : -1;
    QTreeView::mousePressEvent(event);
}

void ListView::mouseReleaseEvent(QMouseEvent* event) {
    QTreeView::mouseReleaseEvent(event);
    const int pressedRow = m_pressedRow;
    m_pressedRow = -1;
    if (event->button() != Qt::LeftButton || pressedRow < 0) {
        return;
    }
    const QModelIndex released = indexAt(event->position().toPoint());
    if (released.isValid() && released.row() == pressedRow && selectedRow() == pressedRow) {
        emit userClickedItem();
    }
}

void ListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeView::mouseDoubleClickEvent(event);
    m_pressedRow = -1;  // the release that ends a double-click is no click of its own
    if (event->button() == Qt::LeftButton) {
        emit userDoubleClicked();
    }
}

void ListView::setTakesDroppedFiles() {
    setAcceptDrops(true);
    // Drags reach a scroll area through its viewport.
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(false);
}

void ListView::dragEnterEvent(QDragEnterEvent* event) {
    if (acceptDrops() && event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

// Anywhere in the list takes the drop: the entries go to its end whatever row is under it.
void ListView::dragMoveEvent(QDragMoveEvent* event) {
    if (acceptDrops() && event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void ListView::dropEvent(QDropEvent* event) {
    if (!acceptDrops() || !event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        paths << (url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : url.toString());
    }
    event->acceptProposedAction();
    emit filesDropped(paths);
}

void ListView::keyPressEvent(QKeyEvent* event) {
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        emit userPressedEnter();
    }
    const int before = selectedRow();
    QTreeView::keyPressEvent(event);
    const int after = selectedRow();
    if (after >= 0 && after != before) {
        emit userClickedItem();
    }
}

// A list always keeps its selected row: Ctrl+click picks a row, it does not deselect one.
QItemSelectionModel::SelectionFlags ListView::selectionCommand(const QModelIndex& index,
                                                               const QEvent* event) const {
    QItemSelectionModel::SelectionFlags flags = QTreeView::selectionCommand(index, event);
    if (index.isValid() &&
        (flags & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))) {
        return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    }
    return flags;
}

}  // namespace plyfold::gui
