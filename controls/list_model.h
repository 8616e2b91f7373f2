#pragma once

#include <string>
#include <vector>

namespace plyfold::controls {

// What a list shows in one row. Only the lists that have them use the sub-item (the merge
// queue), the check mark (lists 2 to 4) and the small icon (the source list). A greyed row
// (a hidden worksheet) is shown dimmed and is otherwise like any other.
struct ListItem {
    std::string text;
    std::string subItem;
    bool checked = false;
    int smallIcon = 0;
    bool greyed = false;
};

struct ColumnHeader {
    std::string text;
    int widthTwips = 0;
};

// The view side of a list: told of every change so it can show it. Indices are 1-based.
class ListObserver {
public:
    virtual ~ListObserver() = default;
    virtual void rowsInserted(int first, int count) = 0;
    virtual void rowsRemoved(int first, int count) = 0;
    virtual void rowChanged(int index) = 0;
    virtual void selectionChanged(int index) = 0;  // 0 when no row is selected
    virtual void scrolledTo(int index) = 0;
    virtual void repaintRequested() = 0;
    virtual void columnsChanged() = 0;
};

// A list of rows as the procedures see it: rows in order with 1-based indices, at most one
// selected row. Selecting from code raises no event; user events reach the handlers from
// the view. Reading or changing a row that does not exist throws std::out_of_range.
class ListModel {
public:
    int count() const { return static_cast<int>(m_items.size()); }
    bool isEmpty() const { return m_items.empty(); }

    // Appends a row and returns its index.
    int add(std::string text);
    // Inserts a row at index (1 to count() + 1) and returns index.
    int insert(int index, std::string text);
    void remove(int index);
    void clear();

    const ListItem& item(int index) const;
    const std::string& text(int index) const { return item(index).text; }
    const std::string& subItem(int index) const { return item(index).subItem; }
    bool isChecked(int index) const { return item(index).checked; }
    int smallIcon(int index) const { return item(index).smallIcon; }
    bool isGreyed(int index) const { return item(index).greyed; }
    void setText(int index, std::string text);
    void setSubItem(int index, std::string subItem);
    void setChecked(int index, bool checked);
    void setSmallIcon(int index, int icon);
    void setGreyed(int index, bool greyed);

    // 1-based, 0 when no row is selected.
    int selectedIndex() const { return m_selected; }
    bool hasSelection() const { return m_selected != 0; }
    // Selects the row (0 clears the selection); raises no event.
    void select(int index);
    void ensureVisible(int index);
    void refresh();

    bool isVisible() const { return m_visible; }
    void setVisible(bool visible) { m_visible = visible; }

    void addColumnHeader(std::string text, int widthTwips);
    const std::vector<ColumnHeader>& columnHeaders() const { return m_headers; }

    void setObserver(ListObserver* observer) { m_observer = observer; }

private:
    ListItem& mutableItem(int index);

    std::vector<ListItem> m_items;
    std::vector<ColumnHeader> m_headers;
    int m_selected = 0;
    bool m_visible = true;
    ListObserver* m_observer = nullptr;
};

}  // namespace plyfold::controls
