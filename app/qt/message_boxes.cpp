#include "app/qt/message_boxes.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>

#include "app/qt/qt_text.h"

namespace plyfold::gui {

MessageBoxes::MessageBoxes(std::function<QWidget*()> owner) : m_owner(std::move(owner)) {}

void MessageBoxes::showMessage(std::string_view text, controls::MessageIcon icon) {
    QMessageBox box(m_owner ? m_owner() : nullptr);
    fill(box, text, {}, icon);
    exec(box);
}

void MessageBoxes::showDetailedMessage(std::string_view text, std::string_view details,
                                       controls::MessageIcon icon) {
    QMessageBox box(m_owner ? m_owner() : nullptr);
    fill(box, text, details, icon);
    exec(box);
}

bool MessageBoxes::showMessageWithAction(std::string_view text, controls::MessageIcon icon,
                                         std::string_view action) {
    QMessageBox box(m_owner ? m_owner() : nullptr);
    fill(box, text, {}, icon);
    QPushButton* actionButton = box.addButton(toQString(action), QMessageBox::ActionRole);
    actionButton->setObjectName(QStringLiteral("MessageAction"));
    // OK stays the answer to Enter and Escape: the action is only ever chosen on purpose.
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    exec(box);
    return box.clickedButton() == actionButton;
}

void MessageBoxes::fill(QMessageBox& box, std::string_view text, std::string_view details,
                        controls::MessageIcon icon) const {
    box.setObjectName(QStringLiteral("PlyfoldMessageBox"));
    box.setWindowTitle(QStringLiteral("Plyfold"));
    box.setIcon(icon == controls::MessageIcon::Critical ? QMessageBox::Critical
                                                        : QMessageBox::Information);
    box.setStandardButtons(QMessageBox::Ok);
    QString shown = toQString(text);
    QString detailText = toQString(details);
    const QStringList lines = shown.split(QLatin1Char('\n'));
    if (lines.size() > kMostShownLines) {
        const QString whole = shown;
        shown = lines.mid(0, kMostShownLines).join(QLatin1Char('\n')) +
                QStringLiteral("\n… (%1 more lines: see the details)")
                    .arg(lines.size() - kMostShownLines);
        detailText = detailText.isEmpty() ? whole : whole + QStringLiteral("\n\n") + detailText;
    }
    // File and sheet names are shown as they are, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(shown);
    if (!detailText.isEmpty()) {
        box.setDetailedText(detailText);
        // Wide enough to read a path and a sentence a line, however short the text above.
        if (auto* detailView = box.findChild<QTextEdit*>()) {
            detailView->setMinimumWidth(440);
        }
    }
}

void MessageBoxes::exec(QMessageBox& box) const {
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
