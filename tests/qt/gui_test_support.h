#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QWidget>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/qt/result_dialogs.h"
#include "controls/services.h"
#include "dialogs/common_dialogs.h"

namespace plyfold::gui::test {

struct ShownMessage {
    std::string text;
    controls::MessageIcon icon;
    std::string details = {};
    std::string action = {};
};

// Records every box; a box with an action takes its answer from actionAnswers (none left: OK).
class RecordingMessages : public controls::MessageBoxService {
public:
    void showMessage(std::string_view text, controls::MessageIcon icon) override {
        shown.push_back({std::string(text), icon});
    }
    void showDetailedMessage(std::string_view text, std::string_view details,
                             controls::MessageIcon icon) override {
        shown.push_back({std::string(text), icon, std::string(details)});
    }
    bool showMessageWithAction(std::string_view text, controls::MessageIcon icon,
                               std::string_view action) override {
        shown.push_back({std::string(text), icon, {}, std::string(action)});
        if (actionAnswers.empty()) {
            return false;
        }
        const bool answer = actionAnswers.front();
        actionAnswers.pop_front();
        return answer;
    }
    std::vector<ShownMessage> shown;
    std::deque<bool> actionAnswers;
};

class RecordingShell : public controls::ShellService {
public:
    void open(const std::string& target, controls::ShowCommand show) override {
        opened.emplace_back(target, show);
    }
    std::vector<std::pair<std::string, controls::ShowCommand>> opened;
};

// Answers the common dialogs from queues; an empty queue answers "cancelled".
class ScriptedDialogs : public dialogs::DialogPresenter {
public:
    std::optional<std::string> openFile(const dialogs::FileDialogRequest& request) override {
        requests.push_back(request);
        return next(files);
    }
    std::optional<std::string> saveFile(const dialogs::FileDialogRequest& request) override {
        requests.push_back(request);
        return next(files);
    }
    std::optional<std::string> chooseFolder(void*, const std::string&) override {
        return next(folders);
    }
    std::optional<uint32_t> chooseColor(void*, uint32_t, bool) override { return std::nullopt; }
    std::optional<dialogs::FontChoice> chooseFont(void*, const dialogs::FontChoice&) override {
        return std::nullopt;
    }
    bool choosePrinter(void*) override { return false; }
    bool showPrinterProperties(void*) override { return false; }

    std::deque<std::string> files;
    std::deque<std::string> folders;
    std::vector<dialogs::FileDialogRequest> requests;

private:
    static std::optional<std::string> next(std::deque<std::string>& queue) {
        if (queue.empty()) {
            return std::nullopt;
        }
        std::string answer = queue.front();
        queue.pop_front();
        return answer;
    }
};

class ScriptedResultDialogs : public ResultDialogs {
public:
    std::optional<SaveTarget> chooseSaveTarget(QWidget*, const QString& suggested) override {
        suggestedPaths.push_back(suggested);
        if (targets.empty()) {
            return std::nullopt;
        }
        SaveTarget target = targets.front();
        targets.pop_front();
        return target;
    }
    SaveAnswer askToSaveChanges(QWidget*, const QString& name) override {
        askedAbout.push_back(name);
        if (answers.empty()) {
            return SaveAnswer::Cancel;
        }
        SaveAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<SaveTarget> targets;
    std::deque<SaveAnswer> answers;
    std::vector<QString> suggestedPaths;
    std::vector<QString> askedAbout;
};

// Runs action on the next modal window once it is showing; a window the action leaves open
// is closed after a few seconds so a failing test cannot hang. Returns after scheduling.
void whenModalOpens(const std::function<void(QWidget*)>& action);

// The widget of the given type and object name under parent; fails the test when missing.
template <typename T>
T* child(const QObject* parent, const char* name) {
    T* found = parent->findChild<T*>(QString::fromLatin1(name));
    if (!found) {
        ADD_FAILURE() << "no widget named " << name;
    }
    return found;
}

// Lets queued calls and posted events run (deferred layouts, batched rows, result windows).
void processEvents();

}  // namespace plyfold::gui::test
