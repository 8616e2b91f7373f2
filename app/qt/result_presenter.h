#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTemporaryDir>

#include <memory>
#include <vector>

#include "app/qt/result_window.h"
#include "automation/automation.h"

namespace plyfold::gui {

// Opens a result window for every workbook of a server instance that becomes visible. The
// instance is handed over while the merge that made it is still finishing, so the windows open
// once control is back in the event loop, and only if the instance still runs by then (a merge
// that fails after showing its result quits it). The windows do not belong to the main window:
// they stay open after it has closed.
class ResultPresenter : public QObject, public automation::ResultPresenter {
    Q_OBJECT

public:
    // services.temporaryFolder is filled in by the presenter.
    explicit ResultPresenter(ResultWindowServices services, QObject* parent = nullptr);
    ~ResultPresenter() override;

    void present(std::shared_ptr<automation::Application> application,
                 std::vector<automation::ShownWorkbook> workbooks) override;
    // Shows the text in the status bar of every open window of the instance; windows still on
    // their way read it from the instance when they open.
    void showStatusBar(const automation::Application& application,
                       const std::string& text) override;

    // The open result windows, oldest first.
    QList<ResultWindow*> windows() const;
    QString temporaryFolder() const { return m_temporaryFolder.path(); }

signals:
    void windowOpened(ResultWindow* window);

private:
    void open(const std::shared_ptr<automation::Application>& application,
              const std::vector<automation::ShownWorkbook>& workbooks);

    ResultWindowServices m_services;
    QTemporaryDir m_temporaryFolder;
    QList<QPointer<ResultWindow>> m_windows;
};

}  // namespace plyfold::gui
