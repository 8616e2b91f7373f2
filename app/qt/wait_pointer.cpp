#include "app/qt/wait_pointer.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace plyfold::gui {
namespace {

bool isUserInput(const QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        case QEvent::Close:
            // Closes asked for by the program itself go through.
            return event->spontaneous();
        default:
            return false;
    }
}

// Input for a modal box opened during the command: it has to be answered.
bool isForModalBox(QObject* watched) {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) {
        return false;
    }
    if (auto* widget = qobject_cast<QWidget*>(watched)) {
        return widget->window() == modal;
    }
    if (auto* window = qobject_cast<QWindow*>(watched)) {
        return window == modal->windowHandle();
    }
    return false;
}

}  // namespace

WaitPointer::WaitPointer(QObject* parent) : QObject(parent) {}

WaitPointer::~WaitPointer() {
    if (m_waiting) {
        qApp->removeEventFilter(this);
        QApplication::restoreOverrideCursor();
    }
}

void WaitPointer::setMousePointer(controls::MousePointer pointer) {
    if (pointer == controls::MousePointer::Wait) {
        if (!m_waiting) {
            m_waiting = true;
            QApplication::setOverrideCursor(Qt::WaitCursor);
            qApp->installEventFilter(this);
        }
        return;
    }
    if (!m_waiting) {
        return;
    }
    // Input that arrived while the command ran is delivered now, into the filter.
    QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
    qApp->removeEventFilter(this);
    m_waiting = false;
    QApplication::restoreOverrideCursor();
}

bool WaitPointer::eventFilter(QObject* watched, QEvent* event) {
    if (!isUserInput(event) || isForModalBox(watched)) {
        return false;
    }
    event->ignore();  // a swallowed close leaves the window open
    return true;
}

}  // namespace plyfold::gui
