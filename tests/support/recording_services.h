#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "controls/services.h"

namespace plyfold::test {

// Message boxes that are recorded instead of shown.
class RecordingMessages : public controls::MessageBoxService {
public:
    void showMessage(std::string_view text, controls::MessageIcon icon) override {
        shown.emplace_back(std::string(text), icon);
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> result;
        for (const auto& [text, icon] : shown) {
            result.push_back(text);
        }
        return result;
    }
    std::vector<std::pair<std::string, controls::MessageIcon>> shown;
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
