#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "automation/automation.h"
#include "controls/form1_controls.h"
#include "engine/model/workbook.h"
#include "tests/support/capture_presenter.h"
#include "tests/support/grid_workbook.h"
#include "tests/support/recording_services.h"
#include "tests/support/temp_dir.h"

namespace plyfold::test {

// Serves the spreadsheet identifier while it lives, keeping every instance it created, so a
// test can check that each one ended.
class ServerTracker {
public:
    ServerTracker();
    ~ServerTracker();
    ServerTracker(const ServerTracker&) = delete;
    ServerTracker& operator=(const ServerTracker&) = delete;

    int runningCount() const;

private:
    std::vector<std::shared_ptr<automation::Application>> m_created;
};

class MergeTest : public ::testing::Test {
protected:
    MergeTest();

    // Writes a workbook file into the test's folder and returns its path.
    std::string writeBook(const std::string& name, const NamedGrids& sheets,
                          const std::string& topLeft = "A1");
    void queue(const std::string& path, const std::string& sheet, bool checked = true);

    // The result sheet of the last merge, as text (see sheetRows).
    std::vector<std::string> resultRows(int sheetIndex = 0) const;
    const engine::Workbook& resultBook() const;

    ServerTracker servers;
    TempDir dir;
    RecordingMessages messages;
    controls::Form1Controls form;
    CapturePresenter presenter;
    std::vector<int> progress;
};

}  // namespace plyfold::test
