#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "controls/services.h"

namespace plyfold::test {

// Message boxes that are recorded instead of shown. Every box goes into shown; details and
// actions hold what a box had besides (empty for a plain box), at the same index. A box with
// an action takes its answer from actionAnswers (none left: OK).
class RecordingMessages : public controls::MessageBoxService {
public:
    void showMessage(std::string_view text, controls::MessageIcon icon) override {
        record(text, icon, {}, {});
    }
    void showDetailedMessage(std::string_view text, std::string_view detailText,
                             controls::MessageIcon icon) override {
        record(text, icon, detailText, {});
    }
    bool showMessageWithAction(std::string_view text, controls::MessageIcon icon,
                               std::string_view action) override {
        record(text, icon, {}, action);
        if (actionAnswers.empty()) {
            return false;
        }
        const bool answer = actionAnswers.front();
        actionAnswers.pop_front();
        return answer;
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> result;
        for (const auto& [text, icon] : shown) {
            result.push_back(text);
        }
        return result;
    }
    std::vector<std::pair<std::string, controls::MessageIcon>> shown;
    std::vector<std::string> details;
    std::vector<std::string> actions;
    std::deque<bool> actionAnswers;

private:
    void record(std::string_view text, controls::MessageIcon icon, std::string_view detailText,
                std::string_view action) {
        shown.emplace_back(std::string(text), icon);
        details.emplace_back(detailText);
        actions.emplace_back(action);
    }
};

// The pointer changes, in order, and whether the wait pointer is on at the end.
class RecordingPointer : public controls::PointerService {
public:
    void setMousePointer(controls::MousePointer pointer) override { changes.push_back(pointer); }
    bool isWaiting() const {
        return !changes.empty() && changes.back() == controls::MousePointer::Wait;
    }
    std::vector<controls::MousePointer> changes;
};

// Targets handed to the desktop.
class RecordingShell : public controls::ShellService {
public:
    void open(const std::string& target, controls::ShowCommand show) override {
        opened.emplace_back(target, show);
    }
    std::vector<std::pair<std::string, controls::ShowCommand>> opened;
};

}  // namespace plyfold::test
