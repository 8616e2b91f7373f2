#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace plyfold::gui {

enum class SaveFormat { Workbook, Csv };

struct SaveTarget {
    QString path;
    SaveFormat format = SaveFormat::Workbook;
};

enum class SaveAnswer { Save, DontSave, Cancel };

// The questions a result window asks its user; tests answer them from a script.
class ResultDialogs {
public:
    virtual ~ResultDialogs() = default;
    // Where and how to save; nothing when the user cancels.
    virtual std::optional<SaveTarget> chooseSaveTarget(QWidget* owner,
                                                       const QString& suggestedPath) = 0;
    // "Do you want to save the changes you made to 'Book1'?"
    virtual SaveAnswer askToSaveChanges(QWidget* owner, const QString& workbookName) = 0;
};

// The format a chosen path is saved in: its extension when it names one of the two formats,
// else the file type picked in the dialog.
SaveFormat saveFormatFor(const QString& path, SaveFormat pickedType);

// The same questions in Qt's file dialog and a message box.
class QtResultDialogs : public ResultDialogs {
public:
    std::optional<SaveTarget> chooseSaveTarget(QWidget* owner,
                                               const QString& suggestedPath) override;
    SaveAnswer askToSaveChanges(QWidget* owner, const QString& workbookName) override;
};

}  // namespace plyfold::gui
