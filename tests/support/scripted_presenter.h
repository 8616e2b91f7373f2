#pragma once

#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "dialogs/common_dialogs.h"

namespace plyfold::test {

// Plays the user of the dialogs: each dialog records what it was asked, then takes the next
// scripted answer (none left: the user cancels) or fails when told to.
class ScriptedPresenter : public dialogs::DialogPresenter {
public:
    using Request = dialogs::FileDialogRequest;
    std::optional<std::string> openFile(const Request& request) override {
        openRequests.push_back(request);
        return next(request.owner, openAnswers);
    }
    // A multiple choice takes the next answer of openListAnswers; with none left, the next
    // single answer of openAnswers as a list of one.
    std::optional<std::vector<std::string>> openFiles(const Request& request) override {
        multiSelectRequests += 1;
        if (openListAnswers.empty()) {
            return DialogPresenter::openFiles(request);
        }
        openRequests.push_back(request);
        return next(request.owner, openListAnswers);
    }
    std::optional<std::string> saveFile(const Request& request) override {
        saveRequests.push_back(request);
        return next(request.owner, saveAnswers);
    }
    std::optional<std::string> chooseFolder(void* owner, const std::string& title) override {
        folderTitles.push_back(title);
        return next(owner, folderAnswers);
    }
    std::optional<uint32_t> chooseColor(void* owner, uint32_t initial, bool fullOpen) override {
        colorRequests.emplace_back(initial, fullOpen);
        return next(owner, colorAnswers);
    }
    std::optional<dialogs::FontChoice> chooseFont(void* owner,
                                                  const dialogs::FontChoice& initial) override {
        fontRequests.push_back(initial);
        return next(owner, fontAnswers);
    }
    bool choosePrinter(void* owner) override { return next(owner, printerAnswers).value_or(0); }
    bool showPrinterProperties(void* owner) override { return choosePrinter(owner); }

    std::deque<std::optional<std::string>> openAnswers, saveAnswers, folderAnswers;
    std::deque<std::optional<std::vector<std::string>>> openListAnswers;
    int multiSelectRequests = 0;
    std::deque<std::optional<uint32_t>> colorAnswers;
    std::deque<std::optional<dialogs::FontChoice>> fontAnswers;
    std::deque<std::optional<bool>> printerAnswers;
    bool fail = false;

    std::vector<Request> openRequests, saveRequests;
    std::vector<std::string> folderTitles;
    std::vector<std::pair<uint32_t, bool>> colorRequests;
    std::vector<dialogs::FontChoice> fontRequests;
    std::vector<void*> owners;

private:
    template <typename T>
    std::optional<T> next(void* owner, std::deque<std::optional<T>>& answers) {
        owners.push_back(owner);
        if (fail) {
            throw std::runtime_error("the dialog cannot be shown");
        }
        if (answers.empty()) {
            return std::nullopt;
        }
        std::optional<T> answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

}  // namespace plyfold::test
