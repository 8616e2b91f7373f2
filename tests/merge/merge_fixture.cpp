#include "tests/merge/merge_fixture.h"

#include "engine/model/workbook.h"

namespace plyfold::test {

ServerTracker::ServerTracker() {
    automation::ServerRegistry::instance().registerServer(
        std::string(automation::kSpreadsheetProgId), [this] {
            m_created.push_back(std::make_shared<automation::Application>());
            return m_created.back();
        });
}

ServerTracker::~ServerTracker() {
    automation::ServerRegistry::instance().registerServer(
        std::string(automation::kSpreadsheetProgId),
        [] { return std::make_shared<automation::Application>(); });
}

int ServerTracker::runningCount() const {
    int running = 0;
    for (const auto& server : m_created) {
        running += server->isRunning() ? 1 : 0;
    }
    return running;
}

MergeTest::MergeTest() {
    form.messages = &messages;
    form.Check2.setValue(1);
    form.ProgressBar1.setChangeHandler([this] {
        if (form.ProgressBar1.value() != 0) {
            progress.push_back(form.ProgressBar1.value());
        }
    });
}

std::string MergeTest::writeBook(const std::string& name, const NamedGrids& sheets,
                                 const std::string& topLeft) {
    std::string path = dir.file(name);
    writeGridWorkbook(path, sheets, topLeft);
    return path;
}

void MergeTest::queue(const std::string& path, const std::string& sheet, bool checked) {
    int row = form.ListView4.add(path);
    form.ListView4.setChecked(row, checked);
    form.ListView4.setSubItem(row, sheet);
}

const engine::Workbook& MergeTest::resultBook() const {
    if (!presenter.server || presenter.shown.empty()) {
        throw std::runtime_error("no result was presented");
    }
    return *presenter.shown.front().book;
}

std::vector<std::string> MergeTest::resultRows(int sheetIndex) const {
    return sheetRows(resultBook(), sheetIndex);
}

}  // namespace plyfold::test
