#include "app/qt/list_model_adapter.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QPalette>
#include <QTextDocument>

#include <algorithm>

#include "app/qt/qt_text.h"

namespace plyfold::gui {
namespace {

// A tool tip that looks like markup ("<b>" in a path) would be drawn as rich text: such a
// text is escaped, so that it shows as it is.
QVariant plainToolTip(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const QString tip = toQString(text);
    if (!Qt::mightBeRichText(tip)) {
        return tip;
    }
    return QStringLiteral("<p style='white-space:pre'>%1</p>")
        .arg(tip.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>")));
}

}  // namespace

ListModelAdapter::ListModelAdapter(controls::ListModel& list, CheckBoxes checkBoxes,
                                   QObject* parent)
    : QAbstractItemModel(parent), m_list(list), m_checkBoxes(checkBoxes) {
    m_shownRows = list.count();
    m_shownColumns = shownColumnCount();
    m_list.setObserver(this);
}

ListModelAdapter::~ListModelAdapter() {
    m_list.setObserver(nullptr);
}

void ListModelAdapter::setSmallIcons(QVector<QIcon> icons) {
    m_icons = std::move(icons);
    if (m_shownRows > 0) {
        emit dataChanged(index(0, 0), index(m_shownRows - 1, 0), {Qt::DecorationRole});
    }
}

void ListModelAdapter::setToolTips(std::function<std::string(int row)> toolTip) {
    m_toolTip = std::move(toolTip);
}

int ListModelAdapter::shownColumnCount() const {
    return std::max(1, static_cast<int>(m_list.columnHeaders().size()));
}

void ListModelAdapter::scheduleFlush() {
    if (m_flushScheduled) {
        return;
    }
    m_flushScheduled = true;
    QMetaObject::invokeMethod(
        this, [this] { flushPendingRows(); }, Qt::QueuedConnection);
}

void ListModelAdapter::flushPendingRows() {
    m_flushScheduled = false;
    if (m_pendingRows == 0) {
        return;
    }
    const int first = m_shownRows;
    const int count = m_pendingRows;
    m_changingRows = true;
    beginInsertRows({}, first, first + count - 1);
    m_shownRows += count;
    m_pendingRows = 0;
    endInsertRows();
    m_changingRows = false;
}

QModelIndex ListModelAdapter::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || row >= m_shownRows || column < 0 ||
        column >= m_shownColumns) {
        return {};
    }
    return createIndex(row, column);
}

QModelIndex ListModelAdapter::parent(const QModelIndex&) const {
    return {};
}

int ListModelAdapter::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_shownRows;
}

int ListModelAdapter::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_shownColumns;
}

int ListModelAdapter::listRow(int shownRow) const {
    int row = shownRow;
    switch (m_window.kind) {
        case Window::None:
            break;
        case Window::Insert:
            row = shownRow < m_window.first ? shownRow : shownRow + m_window.count;
            break;
        case Window::Remove:
            if (shownRow >= m_window.first) {
                if (shownRow < m_window.first + m_window.shownCount) {
                    return -1;
                }
                row = shownRow - m_window.count;
            }
            break;
    }
    return row < m_list.count() ? row : -1;
}

QVariant ListModelAdapter::data(const QModelIndex& index, int role) const {
    const int row = index.isValid() ? listRow(index.row()) : -1;
    if (row < 0) {
        return {};
    }
    const controls::ListItem& item = m_list.item(row + 1);
    switch (role) {
        case Qt::DisplayRole:
            if (index.column() == 0) {
                return toQString(item.text);
            }
            if (index.column() == 1) {
                return toQString(item.subItem);
            }
            return {};
        case Qt::CheckStateRole:
            if (index.column() == 0 && hasCheckBoxes()) {
                return item.checked ? Qt::Checked : Qt::Unchecked;
            }
            return {};
        case Qt::DecorationRole:
            if (index.column() == 0 && item.smallIcon >= 1 &&
                item.smallIcon <= static_cast<int>(m_icons.size())) {
                return m_icons[item.smallIcon - 1];
            }
            return {};
        case Qt::ToolTipRole:
            return m_toolTip ? plainToolTip(m_toolTip(row + 1)) : QVariant();
        case Qt::ForegroundRole:
            if (item.greyed) {
                return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
            }
            return {};
        default:
            return {};
    }
}

bool ListModelAdapter::setData(const QModelIndex& index, const QVariant& value, int role) {
    const int row = index.isValid() ? listRow(index.row()) : -1;
    if (role != Qt::CheckStateRole || !hasCheckBoxes() || index.column() != 0 || row < 0) {
        return false;
    }
    m_list.setChecked(row + 1, value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags ListModelAdapter::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (hasCheckBoxes() && index.column() == 0) {
        flags |= Qt::ItemIsUserCheckable;
    }
    return flags;
}

QVariant ListModelAdapter::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0) {
        return {};
    }
    const auto& headers = m_list.columnHeaders();
    if (role == Qt::DisplayRole) {
        if (section < static_cast<int>(headers.size())) {
            return toQString(headers[section].text);
        }
        return QString();
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    return {};
}

void ListModelAdapter::rowsInserted(int first, int count) {
    const int at = first - 1;
    if (count <= 0) {
        return;
    }
    if (at >= m_shownRows) {
        // Among the rows Qt has not been told of yet: part of the batch.
        m_pendingRows += count;
        scheduleFlush();
        return;
    }
    m_changingRows = true;
    m_window = {Window::Insert, at, count, 0};
    beginInsertRows({}, at, at + count - 1);
    m_shownRows += count;
    m_window = {};
    endInsertRows();
    m_changingRows = false;
}

void ListModelAdapter::rowsRemoved(int first, int count) {
    const int at = first - 1;
    if (count <= 0) {
        return;
    }
    if (at == 0 && count == m_shownRows + m_pendingRows) {
        m_changingRows = true;
        beginResetModel();
        m_shownRows = 0;
        m_pendingRows = 0;
        endResetModel();
        m_changingRows = false;
        return;
    }
    const int shownCount = std::max(0, std::min(at + count, m_shownRows) - at);
    m_pendingRows -= count - shownCount;
    if (shownCount == 0) {
        return;
    }
    m_changingRows = true;
    m_window = {Window::Remove, at, count, shownCount};
    beginRemoveRows({}, at, at + shownCount - 1);
    m_shownRows -= shownCount;
    m_window = {};
    endRemoveRows();
    m_changingRows = false;
}

void ListModelAdapter::rowChanged(int index) {
    const int row = index - 1;
    if (row < 0 || row >= m_shownRows) {
        return;  // still in a batch: it is shown as it is when the batch is announced
    }
    emit dataChanged(this->index(row, 0), this->index(row, m_shownColumns - 1));
}

void ListModelAdapter::selectionChanged(int index) {
    flushPendingRows();
    emit selectionRequested(index - 1);
}

void ListModelAdapter::scrolledTo(int index) {
    flushPendingRows();
    emit scrollRequested(index - 1);
}

void ListModelAdapter::repaintRequested() {
    flushPendingRows();
    emit repaintNeeded();
}

void ListModelAdapter::columnsChanged() {
    flushPendingRows();
    const int columns = shownColumnCount();
    if (columns > m_shownColumns) {
        beginInsertColumns({}, m_shownColumns, columns - 1);
        m_shownColumns = columns;
        endInsertColumns();
    } else if (columns < m_shownColumns) {
        beginRemoveColumns({}, columns, m_shownColumns - 1);
        m_shownColumns = columns;
        endRemoveColumns();
    }
    emit headerDataChanged(Qt::Horizontal, 0, m_shownColumns - 1);
    emit columnWidthsChanged();
}

}  // namespace plyfold::gui
