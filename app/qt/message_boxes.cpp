#include "app/qt/message_boxes.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>

#include "app/qt/qt_text.h"

namespace plyfold::gui {

MessageBoxes::MessageBoxes(std::function<QWidget*()> owner) : m_owner(std::move(owner)) {}

void MessageBoxes::showMessage(std::string_view text, controls::MessageIcon icon) {
    QMessageBox box(
        icon == controls::MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::Information,
        QStringLiteral("Plyfold"), toQString(text), QMessageBox::Ok, m_owner ? m_owner() : nullptr);
    box.setObjectName(QStringLiteral("PlyfoldMessageBox"));
    box.setWindowModality(Qt::ApplicationModal);
    const bool waiting = QApplication::overrideCursor() != nullptr;
    if (waiting) {
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    // Windows already on their way (a merge's result windows open from a queued call) open
    // first, which the box's own loop would do anyway; the box then goes above them all.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    box.show();
    box.raise();
    box.activateWindow();
    box.exec();
    if (waiting) {
        QApplication::restoreOverrideCursor();
    }
}

}  // namespace plyfold::gui
