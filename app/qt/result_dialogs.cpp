#include "app/qt/result_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "app/qt/qt_text.h"
#include "engine/common/file_kind.h"

namespace plyfold::gui {
namespace {

const QString kWorkbookFilter = QStringLiteral("Excel Workbook (*.xlsx)");
const QString kCsvFilter = QStringLiteral("CSV (Comma delimited) (*.csv)");

}  // namespace

SaveFormat saveFormatFor(const QString& path, SaveFormat pickedType) {
    switch (files::fileTypeOfName(toStdString(path))) {
        case files::FileType::Csv:
            return SaveFormat::Csv;
        case files::FileType::Xlsx:
            return SaveFormat::Workbook;
        default:
            return pickedType;
    }
}

std::optional<SaveTarget> QtResultDialogs::chooseSaveTarget(QWidget* owner,
                                                            const QString& suggestedPath) {
    QFileDialog dialog(owner, QStringLiteral("Save As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({kWorkbookFilter, kCsvFilter});
    dialog.setDefaultSuffix(QStringLiteral("xlsx"));
    dialog.selectFile(suggestedPath);
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog](const QString& filter) {
                         dialog.setDefaultSuffix(filter == kCsvFilter ? QStringLiteral("csv")
                                                                      : QStringLiteral("xlsx"));
                     });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const SaveFormat picked =
        dialog.selectedNameFilter() == kCsvFilter ? SaveFormat::Csv : SaveFormat::Workbook;
    const QString path = dialog.selectedFiles().first();
    return SaveTarget{path, saveFormatFor(path, picked)};
}

SaveAnswer QtResultDialogs::askToSaveChanges(QWidget* owner, const QString& workbookName) {
    QMessageBox box(
        QMessageBox::Warning, QStringLiteral("Plyfold"),
        QStringLiteral("Do you want to save the changes you made to '%1'?").arg(workbookName),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, owner);
    box.button(QMessageBox::Discard)->setText(QStringLiteral("Don't Save"));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
        case QMessageBox::Save:
            return SaveAnswer::Save;
        case QMessageBox::Discard:
            return SaveAnswer::DontSave;
        default:
            return SaveAnswer::Cancel;
    }
}

}  // namespace plyfold::gui
