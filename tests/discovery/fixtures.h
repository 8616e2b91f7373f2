#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "automation/automation.h"
#include "controls/form1_controls.h"
#include "tests/support/recording_services.h"

namespace plyfold::test {

using ShownMessage = std::pair<std::string, controls::MessageIcon>;
inline const ShownMessage kFileMissing{"File does not exist!", controls::MessageIcon::Critical};
inline const ShownMessage kOpenFailed{"Open excel file failed!", controls::MessageIcon::Critical};

// A message box that records and then fails, as one whose window has gone would.
class FailingMessages : public RecordingMessages {
public:
    void showMessage(std::string_view text, controls::MessageIcon icon) override {
        RecordingMessages::showMessage(text, icon);
        throw std::runtime_error("the message box cannot be shown");
    }
};

// Records the rows a list scrolled into view and how often it was repainted.
class ListRecorder : public controls::ListObserver {
public:
    void rowsInserted(int, int) override {}
    void rowsRemoved(int, int) override {}
    void rowChanged(int) override {}
    void selectionChanged(int) override {}
    void scrolledTo(int index) override { scrolled.push_back(index); }
    void repaintRequested() override { ++repaints; }
    void columnsChanged() override {}
    std::vector<int> scrolled;
    int repaints = 0;
};

// Keeps the server instances created while it lives, to count them and see each was quit.
class ServerCounter {
public:
    ServerCounter() { registerServer(this); }
    ~ServerCounter() { registerServer(nullptr); }
    ServerCounter(const ServerCounter&) = delete;
    ServerCounter& operator=(const ServerCounter&) = delete;
    bool allQuit() const {
        for (const auto& server : created) {
            if (server->isRunning()) {
                return false;
            }
        }
        return true;
    }
    // Registers the embedded server, counted by counter when there is one.
    static void registerServer(ServerCounter* counter) {
        automation::ServerRegistry::instance().registerServer(
            std::string(automation::kSpreadsheetProgId), [counter] {
                auto server = std::make_shared<automation::Application>();
                if (counter) {
                    counter->created.push_back(server);
                }
                return server;
            });
    }
    std::vector<std::shared_ptr<automation::Application>> created;
};

struct RecordedForm {
    RecordedForm() {
        form.messages = &messages;
        form.pointer = &pointer;
    }
    RecordingMessages messages;
    RecordingPointer pointer;
    controls::Form1Controls form;
};

// The row texts of a list, each followed by "-" when the row is unchecked; a queue's rows as
// "path|sheet".
std::vector<std::string> rows(const controls::ListModel& list);
std::vector<std::string> queueRows(const controls::ListModel& queue);

// Writes a real .xlsx workbook with the sheets in order, each worksheet holding a few rows; a
// name beginning "chart:" gives a chart sheet of the rest of the name.
void writeWorkbook(const std::string& path, const std::vector<std::string>& sheets,
                   int rowsPerSheet = 3);
// Writes a workbook as Plyfold's writer does, through the automation layer; marked as a
// merge's result when asked.
enum class ResultMark { Marked, Unmarked };
void writePlyfoldWorkbook(const std::string& path, ResultMark mark);
// Puts other bytes in place of one part of a workbook package.
void replacePackagePart(const std::string& path, const std::string& part, const std::string& bytes);

}  // namespace plyfold::test
