#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/controls/services.h"

namespace plyfold::test {

// Message boxes that are recorded instead of shown.
class RecordingMessages : public app::MessageBoxService {
public:
    void showMessage(std::string_view text, app::MessageIcon icon) override {
        shown.emplace_back(std::string(text), icon);
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> result;
        for (const auto& [text, icon] : shown) {
            result.push_back(text);
        }
        return result;
    }
    std::vector<std::pair<std::string, app::MessageIcon>> shown;
};

// The pointer changes, in order, and whether the wait pointer is on at the end.
class RecordingPointer : public app::PointerService {
public:
    void setMousePointer(app::MousePointer pointer) override { changes.push_back(pointer); }
    bool isWaiting() const { return !changes.empty() && changes.back() == app::MousePointer::Wait; }
    std::vector<app::MousePointer> changes;
};

// Targets handed to the desktop.
class RecordingShell : public app::ShellService {
public:
    void open(const std::string& target, app::ShowCommand show) override {
        opened.emplace_back(target, show);
    }
    std::vector<std::pair<std::string, app::ShowCommand>> opened;
};

}  // namespace plyfold::test
