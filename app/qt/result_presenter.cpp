#include "app/qt/result_presenter.h"

#include <QTimer>

#include <exception>

#include "app/qt/qt_text.h"
#include "engine/model/workbook.h"

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

void ResultPresenter::present(std::shared_ptr<automation::Application> application) {
    QTimer::singleShot(0, this, [this, application] { open(application); });
}

void ResultPresenter::open(const std::shared_ptr<automation::Application>& application) {
    if (!application || !application->isRunning()) {
        return;
    }
    try {
        auto lease = std::make_shared<InstanceLease>(application);
        automation::WorkbookCollection books = application->Workbooks();
        for (int32_t i = 1; i <= books.count(); ++i) {
            automation::Workbook book = books(i);
            auto* window = new ResultWindow(lease, book.engineWorkbook(), toQString(book.name()),
                                            m_services);
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
