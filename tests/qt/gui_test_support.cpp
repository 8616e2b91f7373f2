#include <gtest/gtest.h>

#include "tests/qt/gui_test_support.h"

#include <QApplication>
#include <QTimer>

#include <memory>

namespace plyfold::gui::test {
namespace {

// One QApplication for the whole test program, on the offscreen platform unless the
// environment chose another. It is made when the tests start, not when they are listed.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        static int argc = 1;
        static char name[] = "qt_gui_tests";
        static char* argv[] = {name, nullptr};
        m_application = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { m_application.reset(); }

private:
    std::unique_ptr<QApplication> m_application;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

void whenModalOpens(const std::function<void(QWidget*)>& action) {
    auto* poll = new QTimer(qApp);  // owned by the application, so never leaked
    auto acted = std::make_shared<QWidget*>(nullptr);
    auto waited = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, action, acted, waited] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!*acted) {
            if (modal && modal->isVisible()) {
                *acted = modal;
                *waited = 0;
                action(modal);
            } else if (++*waited > 500) {
                ADD_FAILURE() << "no modal window opened";
                poll->deleteLater();
                poll->stop();
            }
            return;
        }
        if (modal != *acted) {
            poll->stop();
            poll->deleteLater();
        } else if (++*waited > 300) {
            ADD_FAILURE() << "the modal window stayed open";
            modal->close();
        }
    });
    poll->start(10);
}

void processEvents() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

}  // namespace plyfold::gui::test
