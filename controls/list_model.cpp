#include "controls/list_model.h"

#include <stdexcept>

namespace plyfold::controls {

int ListModel::add(std::string text) {
    return insert(count() + 1, std::move(text));
}

int ListModel::insert(int index, std::string text) {
    if (index < 1 || index > count() + 1) {
        throw std::out_of_range("list index out of range");
    }
    m_items.insert(m_items.begin() + (index - 1), ListItem{std::move(text), {}, false, 0});
    if (m_selected >= index) {
        ++m_selected;
    }
    if (m_observer) {
        m_observer->rowsInserted(index, 1);
    }
    return index;
}

void ListModel::remove(int index) {
    item(index);
    m_items.erase(m_items.begin() + (index - 1));
    if (m_selected == index) {
        m_selected = 0;
    } else if (m_selected > index) {
        --m_selected;
    }
    if (m_observer) {
        m_observer->rowsRemoved(index, 1);
    }
}

void ListModel::clear() {
    int n = count();
    m_items.clear();
    m_selected = 0;
    if (m_observer && n > 0) {
        m_observer->rowsRemoved(1, n);
    }
}

const ListItem& ListModel::item(int index) const {
    if (index < 1 || index > count()) {
        throw std::out_of_range("list index out of range");
    }
    return m_items[index - 1];
}

ListItem& ListModel::mutableItem(int index) {
    return const_cast<ListItem&>(item(index));
}

void ListModel::setText(int index, std::string text) {
    mutableItem(index).text = std::move(text);
    if (m_observer) {
        m_observer->rowChanged(index);
    }
}

void ListModel::setSubItem(int index, std::string subItem) {
    mutableItem(index).subItem = std::move(subItem);
    if (m_observer) {
        m_observer->rowChanged(index);
    }
}

void ListModel::setChecked(int index, bool checked) {
    mutableItem(index).checked = checked;
    if (m_observer) {
        m_observer->rowChanged(index);
    }
}

void ListModel::setSmallIcon(int index, int icon) {
    mutableItem(index).smallIcon = icon;
    if (m_observer) {
        m_observer->rowChanged(index);
    }
}

void ListModel::setGreyed(int index, bool greyed) {
    mutableItem(index).greyed = greyed;
    if (m_observer) {
        m_observer->rowChanged(index);
    }
}

void ListModel::select(int index) {
    if (index != 0) {
        item(index);
    }
    m_selected = index;
    if (m_observer) {
        m_observer->selectionChanged(index);
    }
}

void ListModel::ensureVisible(int index) {
    item(index);
    if (m_observer) {
        m_observer->scrolledTo(index);
    }
}

void ListModel::refresh() {
    if (m_observer) {
        m_observer->repaintRequested();
    }
}

void ListModel::addColumnHeader(std::string text, int widthTwips) {
    m_headers.push_back(ColumnHeader{std::move(text), widthTwips});
    if (m_observer) {
        m_observer->columnsChanged();
    }
}

}  // namespace plyfold::controls
