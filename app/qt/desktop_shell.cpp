#include "app/qt/desktop_shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QRegularExpression>

#include "app/qt/qt_text.h"

namespace plyfold::gui {

QUrl DesktopShell::urlForTarget(const std::string& target) {
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    const QString text = toQString(target);
    if (scheme.match(text).hasMatch()) {
        return QUrl(text);
    }
    return QUrl::fromLocalFile(text);
}

void DesktopShell::open(const std::string& target, controls::ShowCommand) {
    const QUrl url = urlForTarget(target);
    if (!url.isValid() || (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile()))) {
        return;
    }
    QDesktopServices::openUrl(url);
}

}  // namespace plyfold::gui
