// The whole road: the input becomes a source file of any format, which is merged in each
// mode through runMerge (a couple of queue rows of the same file, small gaps, the first line
// dropped or kept), the result is saved with Workbook::SaveAs as .xlsx and as .csv, and the
// .xlsx read back must hold what the result held. A crash, a leak, a hang, an exception other
// than SpreadsheetError, a result that cannot be saved or one that reads back otherwise is a
// finding.
//
// The first byte picks the source's extension; the second the mode, the gap, the first-line
// drop, autofit and the queue; the rest are the file's bytes.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "automation/automation.h"
#include "engine/common/error.h"
#include "engine/io/workbook_io.h"
#include "engine/model/workbook.h"
#include "fuzz/finding.h"
#include "merge/merge_request.h"
#include "tests/support/model_comparison.h"

namespace {

namespace fs = std::filesystem;
using namespace plyfold;
using fuzz::finding;

constexpr const char* kExtensions[] = {".xlsx", ".xlsm", ".xls", ".csv", ".txt", ".dbf"};

// A folder of this process under /dev/shm (memory) when there is one, removed at exit.
class WorkFolder {
public:
    WorkFolder() {
        const fs::path base =
            fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "plyfold-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::abort();
        }
        m_path = pattern;
    }
    ~WorkFolder() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    std::string file(const std::string& name) const { return (m_path / name).string(); }
    // Removes what a run left.
    void clear() const {
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(m_path, ignored)) {
            fs::remove_all(entry.path(), ignored);
        }
    }

private:
    fs::path m_path;
};

const WorkFolder& workFolder() {
    static const WorkFolder folder;
    return folder;
}

// Keeps the workbooks a merge shows, so the result's model can be compared.
class CapturePresenter : public automation::ResultPresenter {
public:
    void present(std::shared_ptr<automation::Application> application,
                 std::vector<automation::ShownWorkbook> workbooks) override {
        server = std::move(application);
        shown = std::move(workbooks);
    }
    std::shared_ptr<automation::Application> server;
    std::vector<automation::ShownWorkbook> shown;
};

// The worksheets of the source, or none when it cannot be read (the merge then fails on it).
std::vector<std::string> worksheetsOf(const std::string& path) {
    std::vector<std::string> names;
    try {
        auto book = engine::openWorkbook(path);
        for (int32_t i = 0; i < book->sheetCount(); ++i) {
            if (book->sheet(i).isWorksheet()) {
                names.push_back(book->sheet(i).name());
            }
        }
    } catch (const SpreadsheetError&) {
    }
    return names;
}

void saveAndCompare(const automation::Workbook& result, const engine::Workbook& model) {
    const std::string xlsxPath = workFolder().file("result.xlsx");
    const std::string csvPath = workFolder().file("result.csv");
    std::unique_ptr<engine::Workbook> back;
    try {
        result.SaveAs(xlsxPath);
        result.SaveAs(csvPath);
        back = engine::openWorkbook(xlsxPath);
        for (int32_t i = 0; i < back->sheetCount(); ++i) {
            back->sheet(i).ensureLoaded();
        }
    } catch (const SpreadsheetError& error) {
        finding("the merge's result was not saved and read back: " + error.description());
    }
    const auto differences = test::workbookDifferences(model, *back);
    if (!differences.empty()) {
        std::string text = "the saved result reads back otherwise:";
        for (const std::string& difference : differences) {
            text += "\n  " + difference;
        }
        finding(text);
    }
}

void run(const uint8_t* data, size_t size) {
    if (size < 2) {
        return;
    }
    const std::string path = workFolder().file(std::string("source") + kExtensions[data[0] % 6]);
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data + 2), static_cast<std::streamsize>(size - 2));
    }
    const uint8_t options = data[1];
    merge::MergeRequest request;
    request.mode = static_cast<merge::MergeMode>(options % 3);
    request.gap = (options >> 2) & 3;
    request.dropFirstLine = options & 16;
    request.autofit = options & 32;
    std::vector<std::string> sheets = worksheetsOf(path);
    if (sheets.empty()) {
        sheets.push_back("Sheet1");
    }
    // The first worksheet, the next (or the first again), and the first once more when asked.
    request.rows.push_back({path, sheets[0], true});
    request.rows.push_back({path, sheets[sheets.size() > 1 ? 1 : 0], true});
    if (options & 64) {
        request.rows.push_back({path, sheets[0], !(options & 128)});
    }

    CapturePresenter presenter;
    automation::ServerRegistry::instance().setPresenter(&presenter);
    merge::MergeOutcome outcome = merge::runMerge(request);
    automation::ServerRegistry::instance().setPresenter(nullptr);
    if (outcome.succeeded()) {
        if (!outcome.result) {
            finding("a merge succeeded without a result");
        }
        const std::string name = outcome.result->name();
        const engine::Workbook* model = nullptr;
        for (const automation::ShownWorkbook& shown : presenter.shown) {
            if (shown.name == name) {
                model = shown.book.get();
            }
        }
        if (!model) {
            finding("the result of a merge was not shown");
        }
        saveAndCompare(*outcome.result, *model);
    }
    if (outcome.server && outcome.server->isRunning()) {
        outcome.server->Quit();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    run(data, size);
    workFolder().clear();
    return 0;
}
