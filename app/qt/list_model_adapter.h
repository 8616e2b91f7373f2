#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <QVector>

#include <functional>
#include <string>

#include "controls/list_model.h"

namespace plyfold::gui {

// Shows a ListModel to a Qt view: column 1 is the row's text, column 2 its sub-item, column 1
// also carries the check mark (when the list has check boxes) and the small icon (when the list
// has icons); a greyed row is drawn in the palette's disabled text colour. The adapter is the
// list's observer and turns its notifications into Qt's.
//
// The list tells of a change after making it, while Qt expects to be told before: between the
// two announcements the adapter still shows Qt the rows as they were.
//
// Rows appended after the last row Qt knows are announced in batches: a restore or a listing
// can append a hundred thousand rows one by one, and a view told of each one separately would
// lay itself out again for every row. A batch is announced when the list selects, scrolls or
// repaints, or once control returns to the event loop.
class ListModelAdapter : public QAbstractItemModel, public controls::ListObserver {
    Q_OBJECT

public:
    enum class CheckBoxes { No, Yes };

    ListModelAdapter(controls::ListModel& list, CheckBoxes checkBoxes, QObject* parent = nullptr);
    ~ListModelAdapter() override;

    controls::ListModel& list() const { return m_list; }
    bool hasCheckBoxes() const { return m_checkBoxes == CheckBoxes::Yes; }
    // Icons by small-icon index (index 1 is icons[0]); rows with another index show none.
    void setSmallIcons(QVector<QIcon> icons);
    // The tool tip of a row (1-based), shown over every column of it; none when it is empty.
    void setToolTips(std::function<std::string(int row)> toolTip);

    // Announces rows that are still waiting in a batch.
    void flushPendingRows();
    int pendingRowCount() const { return m_pendingRows; }
    // True while Qt is being told of a change of rows.
    bool isChangingRows() const { return m_changingRows; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // controls::ListObserver
    void rowsInserted(int first, int count) override;
    void rowsRemoved(int first, int count) override;
    void rowChanged(int index) override;
    void selectionChanged(int index) override;
    void scrolledTo(int index) override;
    void repaintRequested() override;
    void columnsChanged() override;

signals:
    // What the list asks of its view; rows are 0-based, -1 for no row.
    void selectionRequested(int row);
    void scrollRequested(int row);
    void repaintNeeded();
    void columnWidthsChanged();

private:
    // A change Qt is being told of: rows from `first` on are `count` rows further on in the
    // list (an insertion) or gone and then `count` rows nearer (a removal).
    struct Window {
        enum Kind { None, Insert, Remove } kind = None;
        int first = 0;
        int count = 0;
        int shownCount = 0;  // of a removal: how many of the removed rows Qt knew
    };

    void scheduleFlush();
    int shownColumnCount() const;
    // The list's row (0-based) for a row Qt knows, or -1 when the list no longer has it.
    int listRow(int shownRow) const;

    controls::ListModel& m_list;
    CheckBoxes m_checkBoxes;
    QVector<QIcon> m_icons;
    std::function<std::string(int row)> m_toolTip;
    int m_shownRows = 0;     // rows Qt has been told of
    int m_pendingRows = 0;   // appended rows not yet announced
    int m_shownColumns = 1;  // a list without headers still shows its rows in one column
    bool m_flushScheduled = false;
    bool m_changingRows = false;
    Window m_window;
};

}  // namespace plyfold::gui
