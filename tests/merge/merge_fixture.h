#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/form1_controls.h"
#include "engine/model/workbook.h"
#include "automation/automation.h"
#include "tests/support/grid_workbook.h"
#include "tests/support/recording_services.h"
#include "tests/support/temp_dir.h"

namespace plyfold::test {

// Takes the instance a merge makes visible.
class CapturePresenter : public automation::ResultPresenter {
public:
    CapturePresenter() { automation::ServerRegistry::instance().setPresenter(this); }
    ~CapturePresenter() override {
        if (server) {
            server->Quit();
        }
        automation::ServerRegistry::instance().setPresenter(nullptr);
    }
    void present(std::shared_ptr<automation::Application> application) override {
        server = std::move(application);
    }
    std::shared_ptr<automation::Application> server;
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

    TempDir dir;
    RecordingMessages messages;
    controls::Form1Controls form;
    CapturePresenter presenter;
    std::vector<int> progress;
};

}  // namespace plyfold::test
