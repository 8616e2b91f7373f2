#include "app/qt/source_icons.h"

// The resources live in a static library: nothing references them until they are registered.
static void registerProgramResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(plyfold);
        return true;
    }();
    (void)registered;
}

namespace plyfold::gui {

QIcon programIcon(const QString& fileName) {
    registerProgramResources();
    return QIcon(QStringLiteral(":/plyfold/") + fileName);
}

QVector<QIcon> sourceListIcons() {
    return {programIcon(QStringLiteral("source_workbook.svg")),
            programIcon(QStringLiteral("source_folder.svg")),
            programIcon(QStringLiteral("source_not_found.svg")),
            programIcon(QStringLiteral("source_text.svg")),
            programIcon(QStringLiteral("source_csv.svg")),
            programIcon(QStringLiteral("source_dbf.svg"))};
}

}  // namespace plyfold::gui
