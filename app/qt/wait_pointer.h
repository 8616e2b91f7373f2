#pragma once

#include <QObject>

#include "controls/services.h"

namespace plyfold::gui {

// The main window's mouse pointer. The wait pointer also means a command is running on the
// window's thread: user input (mouse, keys, wheel, closing a window) is swallowed, not queued,
// so clicks made while the window looked busy do nothing afterwards. A modal box the command
// opens meanwhile (a message) still takes input. Like the window's pointer property it is a
// state, not a counter: the default pointer ends the wait however often it was asked for.
class WaitPointer : public QObject, public controls::PointerService {
public:
    explicit WaitPointer(QObject* parent = nullptr);
    ~WaitPointer() override;

    void setMousePointer(controls::MousePointer pointer) override;
    bool isWaiting() const { return m_waiting; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool m_waiting = false;
};

}  // namespace plyfold::gui
