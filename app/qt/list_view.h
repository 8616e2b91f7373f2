#pragma once

#include <QStringList>
#include <QTreeView>

namespace plyfold::gui {

class ListModelAdapter;

// A list in report view over a ListModelAdapter: one selected row, no tree decoration. The
// list's model decides the selection: code that selects a row in the model moves the view's
// selection and raises nothing; a user's click or keyboard move updates the model's selection
// and raises userClickedItem (again when the row clicked is the selected one), and a
// double-click anywhere in the list raises userDoubleClicked, Enter or Return
// userPressedEnter. A list told to take dropped files raises filesDropped with them.
class ListView : public QTreeView {
    Q_OBJECT

public:
    explicit ListView(ListModelAdapter* adapter, QWidget* parent = nullptr);

    ListModelAdapter* adapter() const { return m_adapter; }
    // The selected row (0-based) as the view shows it, or -1.
    int selectedRow() const;
    // Takes files and folders dragged from elsewhere (URLs, local or not); the list's own rows
    // cannot be dragged.
    void setTakesDroppedFiles();

signals:
    void userClickedItem();
    void userDoubleClicked();
    void userPressedEnter();
    // Local files by their paths, other URLs as they are written, in the order dropped.
    void filesDropped(const QStringList& paths);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;

private:
    void showSelection(int row);
    void showColumnWidths();
    void onViewSelectionChanged();

    ListModelAdapter* m_adapter;
    bool m_showingModel = false;  // the view is being changed from the model: raise nothing
    int m_pressedRow = -1;
};

}  // namespace plyfold::gui
