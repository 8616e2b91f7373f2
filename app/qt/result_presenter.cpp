#include "app/qt/result_presenter.h"

#include <QTimer>

#include <exception>

#include "app/qt/qt_text.h"

namespace plyfold::gui {

ResultPresenter::ResultPresenter(ResultWindowServices services, QObject* parent)
    : QObject(parent), m_services(std::move(services)) {
    m_services.temporaryFolder = m_temporaryFolder.isValid() ? m_temporaryFolder.path() : QString();
}

ResultPresenter::~ResultPresenter() {
    if (automation::ServerRegistry::instance().presenter() == this) {
        automation::ServerRegistry::instance().setPresenter(nullptr);
    }
    for (const QPointer<ResultWindow>& window : m_windows) {
        delete window.data();
    }
}

void ResultPresenter::present(std::shared_ptr<automation::Application> application,
                              std::vector<automation::ShownWorkbook> workbooks) {
    QTimer::singleShot(0, this, [this, application, workbooks = std::move(workbooks)] {
        open(application, workbooks);
    });
}

void ResultPresenter::open(const std::shared_ptr<automation::Application>& application,
                           const std::vector<automation::ShownWorkbook>& workbooks) {
    if (!application || !application->isRunning()) {
        return;
    }
    try {
        auto lease = std::make_shared<InstanceLease>(application);
        for (const automation::ShownWorkbook& shown : workbooks) {
            auto* window = new ResultWindow(lease, shown.book, toQString(shown.name), m_services);
            window->setSourcePaths(shown.sources);
            if (!shown.caption.empty()) {
                window->setCaption(toQString(shown.caption));
            }
            if (shown.readOnly) {
                window->setReadOnly();
            }
            m_windows << window;
            window->show();
            emit windowOpened(window);
        }
    } catch (const std::exception& error) {
        if (m_services.messages) {
            m_services.messages->showMessage(error.what(), controls::MessageIcon::Critical);
        }
    }
}

void ResultPresenter::showStatusBar(const automation::Application& application,
                                    const std::string& text) {
    for (ResultWindow* window : windows()) {
        if (&window->application() == &application) {
            window->setStatusText(toQString(text));
        }
    }
}

QList<ResultWindow*> ResultPresenter::windows() const {
    QList<ResultWindow*> open;
    for (const QPointer<ResultWindow>& window : m_windows) {
        if (window) {
            open << window.data();
        }
    }
    return open;
}

}  // namespace plyfold::gui
