#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "automation/automation.h"

namespace plyfold::test {

// Takes the instance a merge makes visible, with the workbooks it shows, as the result window
// would; ends an instance taken before and the last one with the test.
class CapturePresenter : public automation::ResultPresenter {
public:
    CapturePresenter() { automation::ServerRegistry::instance().setPresenter(this); }
    ~CapturePresenter() override {
        if (server) {
            server->Quit();
        }
        automation::ServerRegistry::instance().setPresenter(nullptr);
    }
    CapturePresenter(const CapturePresenter&) = delete;
    CapturePresenter& operator=(const CapturePresenter&) = delete;

    void present(std::shared_ptr<automation::Application> application,
                 std::vector<automation::ShownWorkbook> workbooks) override {
        if (server && server != application) {
            server->Quit();
        }
        server = std::move(application);
        shown = std::move(workbooks);
    }
    std::shared_ptr<automation::Application> server;
    std::vector<automation::ShownWorkbook> shown;
};

}  // namespace plyfold::test
