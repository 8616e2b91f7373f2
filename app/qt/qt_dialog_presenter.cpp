#include "app/qt/qt_dialog_presenter.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>

#include "app/qt/qt_text.h"

namespace plyfold::gui {
namespace {

QWidget* ownerWidget(void* owner) {
    return static_cast<QWidget*>(owner);
}

// Colours of the dialogs are 0x00BBGGRR.
QColor colorFromValue(uint32_t value) {
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

uint32_t valueFromColor(const QColor& color) {
    return static_cast<uint32_t>(color.red()) | (static_cast<uint32_t>(color.green()) << 8) |
           (static_cast<uint32_t>(color.blue()) << 16);
}

enum class Selection { OneFile, ManyFiles };

// The chosen files in the order the dialog gives them (the order they were picked in), or
// nothing when the user cancelled.
std::optional<std::vector<std::string>> runFileDialog(const dialogs::FileDialogRequest& request,
                                                      QFileDialog::AcceptMode mode,
                                                      Selection selection = Selection::OneFile) {
    QFileDialog dialog(ownerWidget(request.owner), toQString(request.title),
                       toQString(request.initialFolder));
    dialog.setAcceptMode(mode);
    if (mode == QFileDialog::AcceptOpen && selection == Selection::ManyFiles) {
        dialog.setFileMode(QFileDialog::ExistingFiles);
    } else if (mode == QFileDialog::AcceptOpen) {
        dialog.setFileMode(request.fileMustExist ? QFileDialog::ExistingFile
                                                 : QFileDialog::AnyFile);
    } else {
        // The save dialog of the wrapper does not ask before replacing a file.
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    }
    const QStringList filters = QtDialogPresenter::nameFilters(request);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const int index = request.filterIndex >= 1 ? request.filterIndex - 1 : 0;
        if (index < filters.size()) {
            dialog.selectNameFilter(filters[index]);
        }
    }
    if (!request.defaultExtension.empty()) {
        dialog.setDefaultSuffix(toQString(request.defaultExtension));
    }
    if (!request.initialFileName.empty()) {
        dialog.selectFile(toQString(request.initialFileName));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    std::vector<std::string> chosen;
    for (const QString& file : dialog.selectedFiles()) {
        chosen.push_back(toStdString(QDir::toNativeSeparators(file)));
    }
    return chosen;
}

std::optional<std::string> firstOf(std::optional<std::vector<std::string>> files) {
    if (!files) {
        return std::nullopt;
    }
    return std::move(files->front());
}

}  // namespace

QStringList QtDialogPresenter::nameFilters(const dialogs::FileDialogRequest& request) {
    QStringList filters;
    for (const auto& [description, patterns] : request.filters) {
        QString spaced =
            toQString(patterns).split(QLatin1Char(';'), Qt::SkipEmptyParts).join(QLatin1Char(' '));
        filters << QStringLiteral("%1 (%2)").arg(toQString(description), spaced);
    }
    return filters;
}

std::optional<std::string> QtDialogPresenter::openFile(const dialogs::FileDialogRequest& request) {
    return firstOf(runFileDialog(request, QFileDialog::AcceptOpen));
}

std::optional<std::vector<std::string>> QtDialogPresenter::openFiles(
    const dialogs::FileDialogRequest& request) {
    return runFileDialog(request, QFileDialog::AcceptOpen, Selection::ManyFiles);
}

std::optional<std::string> QtDialogPresenter::saveFile(const dialogs::FileDialogRequest& request) {
    return firstOf(runFileDialog(request, QFileDialog::AcceptSave));
}

std::optional<std::string> QtDialogPresenter::chooseFolder(void* owner, const std::string& title) {
    QString folder = QFileDialog::getExistingDirectory(ownerWidget(owner), toQString(title));
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return toStdString(QDir::toNativeSeparators(folder));
}

std::optional<uint32_t> QtDialogPresenter::chooseColor(void* owner, uint32_t initial, bool) {
    // Qt's colour dialog always shows its full form.
    QColor color = QColorDialog::getColor(colorFromValue(initial), ownerWidget(owner));
    if (!color.isValid()) {
        return std::nullopt;
    }
    return valueFromColor(color);
}

std::optional<dialogs::FontChoice> QtDialogPresenter::chooseFont(
    void* owner, const dialogs::FontChoice& initial) {
    QFont font(toQString(initial.name));
    if (initial.size > 0) {
        font.setPointSize(initial.size);
    }
    font.setBold(initial.bold);
    font.setItalic(initial.italic);
    font.setUnderline(initial.underline);
    bool accepted = false;
    QFont chosen = QFontDialog::getFont(&accepted, font, ownerWidget(owner));
    if (!accepted) {
        return std::nullopt;
    }
    dialogs::FontChoice choice = initial;
    choice.name = toStdString(chosen.family());
    // Whole points: a fraction is dropped, as the font dialog's size in tenths is read.
    choice.size = static_cast<int>(chosen.pointSizeF());
    choice.bold = chosen.bold();
    choice.italic = chosen.italic();
    choice.underline = chosen.underline();
    return choice;
}

bool QtDialogPresenter::choosePrinter(void* owner) {
    QPrinter printer;
    QPrintDialog dialog(&printer, ownerWidget(owner));
    // No selection, no page numbers, no printing to a file.
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
    return dialog.exec() == QDialog::Accepted;
}

bool QtDialogPresenter::showPrinterProperties(void* owner) {
    QPrinter printer;
    QPageSetupDialog dialog(&printer, ownerWidget(owner));
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace plyfold::gui
