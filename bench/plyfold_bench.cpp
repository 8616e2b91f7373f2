// Benchmarks of the engine, the merges, discovery and the flat readers on generated
// workloads, each printed beside the machine's floor for the same bytes.
#include <sys/mman.h>
#include <unistd.h>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/form1.h"
#include "automation/automation.h"
#include "bench/floors.h"
#include "bench/measure.h"
#include "bench/workload.h"
#include "controls/form1_controls.h"
#include "discovery/list_workbooks.h"
#include "discovery/list_worksheets.h"
#include "engine/io/workbook_io.h"
#include "engine/model/workbook.h"
#include "engine/ops/autofit.h"
#include "engine/ops/sheet_ops.h"
#include "merge/merge_request.h"

namespace plyfold::bench {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> files;
    if (fs::is_directory(folder)) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

size_t loadAll(const engine::Workbook& book) {
    size_t cells = 0;
    for (int32_t i = 0; i < book.sheetCount(); ++i) {
        cells += book.sheet(i).cellCount();
    }
    return cells;
}

void line(const char* what, const std::string& value, const std::string& note = "") {
    std::printf("  %-46s %14s   %s\n", what, value.c_str(), note.c_str());
}

// "1.03x": how many times the other a time is; nothing when either run failed (0).
void lineOfTimes(const char* what, double seconds, double other, const std::string& note = "") {
    if (seconds > 0 && other > 0) {
        char text[32];
        std::snprintf(text, sizeof text, "%.2fx", seconds / other);
        line(what, text, note);
    }
}

std::string ratio(double ours, double floor) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2fx the floor", ours / floor);
    return text;
}

std::string seconds(double s) {
    char text[32];
    if (s < 1) {
        std::snprintf(text, sizeof text, "%.2f ms", s * 1e3);
    } else {
        std::snprintf(text, sizeof text, "%.3f s", s);
    }
    return text;
}

// Peak memory of the work beyond what a child of this process starts with.
Measurement measureAboveBaseline(const std::function<void()>& work) {
    malloc_trim(0);
    Measurement baseline = measureInChild([] {});
    Measurement m = measureInChild(work);
    m.peakBytes -= baseline.peakBytes;
    return m;
}

// Takes the workbooks a merge shows, to count the result's cells.
class KeepResult : public automation::ResultPresenter {
public:
    KeepResult() { automation::ServerRegistry::instance().setPresenter(this); }
    ~KeepResult() override { automation::ServerRegistry::instance().setPresenter(nullptr); }
    void present(std::shared_ptr<automation::Application>,
                 std::vector<automation::ShownWorkbook> workbooks) override {
        shown = std::move(workbooks);
    }
    std::vector<automation::ShownWorkbook> shown;
};

void runEngine(const WorkloadPaths& paths) {
    std::printf("Engine: %s\n", paths.bigFolder().c_str());
    const auto inputs = filesIn(paths.bigFolder());
    size_t heldCells = 0;
    Measurement held = measureAboveBaseline([&] {
        std::vector<std::unique_ptr<engine::Workbook>> kept;
        for (const std::string& path : inputs) {
            kept.push_back(engine::openWorkbook(path));
            loadAll(*kept.back());
        }
    });
    for (const std::string& path : inputs) {
        heldCells += loadAll(*engine::openWorkbook(path));
    }
    line("peak memory, bytes a cell held",
         formatCount(static_cast<double>(held.peakBytes) / static_cast<double>(heldCells)),
         formatBytes(static_cast<double>(held.peakBytes)));
    size_t cells = 0;
    std::vector<std::unique_ptr<engine::Workbook>> books;
    double readSeconds = secondsOf([&] {
        for (const std::string& path : inputs) {
            books.push_back(engine::openWorkbook(path));
            cells += loadAll(*books.back());
        }
    });
    Floor inflate = inflateFloor(inputs);
    Floor expat = expatFloor(inputs);
    line("cells read", formatCount(static_cast<double>(cells)));
    line("read, cells/s", formatCount(cells / readSeconds), seconds(readSeconds));
    line("floor: inflate, MB/s", formatCount(inflate.bytes / inflate.seconds / 1e6),
         seconds(inflate.seconds));
    line("floor: expat with no handlers, cells/s", formatCount(cells / expat.seconds),
         seconds(expat.seconds));
    line("read against inflate + expat", ratio(readSeconds, inflate.seconds + expat.seconds));

    const std::string outFolder = paths.root + "/out";
    fs::create_directories(outFolder);
    std::vector<std::string> outputs;
    double writeSeconds = secondsOf([&] {
        for (size_t i = 0; i < books.size(); ++i) {
            outputs.push_back(outFolder + "/" + fs::path(inputs[i]).filename().string());
            engine::saveWorkbook(*books[i], outputs.back());
        }
    });
    double level6 = 0, level1 = 0, written = 0;
    Floor deflate1 = deflateFloor(outputs, 1, level1);
    deflateFloor(outputs, 6, level6);
    for (const std::string& output : outputs) {
        written += static_cast<double>(fs::file_size(output));
    }
    line("write, cells/s", formatCount(cells / writeSeconds), seconds(writeSeconds));
    line("floor: deflate level 1, MB/s", formatCount(deflate1.bytes / deflate1.seconds / 1e6),
         seconds(deflate1.seconds));
    line("write against deflate level 1", ratio(writeSeconds, deflate1.seconds));
    char size[64];
    std::snprintf(size, sizeof size, "%.2fx zlib level 6", written / level6);
    line("output size", formatBytes(written), size);
    books.clear();

    double best = 1e9;
    int32_t sheets = 0;
    size_t nameBytes = 0;
    for (int i = 0; i < 5; ++i) {
        best = std::min(best, secondsOf([&] {
                            auto book = engine::openWorkbook(paths.largeFile());
                            sheets = book->sheetCount();
                            for (int32_t s = 0; s < sheets; ++s) {
                                nameBytes += book->sheet(s).name().size();
                            }
                        }));
    }
    char note[64];
    std::snprintf(note, sizeof note, "%s, %d sheets",
                  formatBytes(static_cast<double>(fs::file_size(paths.largeFile()))).c_str(),
                  sheets);
    line("list the sheet names of the large workbook", seconds(best), note);
    if (nameBytes == 0) {
        line("the large workbook has no sheet names", "");
    }
}

// Runs one merge of the files' first sheets through the merge path both front ends run.
struct MergeRun {
    double mergeSeconds = 0;
    double writeSeconds = 0;
    size_t resultCells = 0;
    // Fitting the result's columns again, alone: as the merge does it, and measuring every
    // cell's shown text without the shortcuts.
    double autofitSeconds = 0;
    double autofitEveryCellSeconds = 0;
};

MergeRun mergeFiles(const std::vector<std::string>& files, merge::MergeRequest request) {
    for (const std::string& file : files) {
        request.rows.push_back(merge::QueueRow{file, "Data1", true});
    }
    KeepResult keep;
    MergeRun run;
    merge::MergeOutcome outcome;
    run.mergeSeconds = secondsOf([&] { outcome = merge::runMerge(request); });
    if (!outcome.succeeded() || keep.shown.empty()) {
        throw std::runtime_error("the merge failed");
    }
    // The result is shown read-only; fitting it again changes nothing the benchmark reads.
    auto& result = const_cast<engine::Workbook&>(*keep.shown.front().book);
    run.resultCells = loadAll(result);
    if (request.autofit) {
        run.autofitEveryCellSeconds = secondsOf([&] {
            for (int32_t s = 0; s < result.sheetCount(); ++s) {
                engine::autoFitColumnsMeasuringEveryCell(result.sheet(s));
            }
        });
        run.autofitSeconds = secondsOf([&] {
            for (int32_t s = 0; s < result.sheetCount(); ++s) {
                engine::autoFitColumns(result.sheet(s));
            }
        });
    }
    std::string out =
        fs::temp_directory_path() / ("plyfold-bench-" + std::to_string(getpid()) + ".xlsx");
    run.writeSeconds = secondsOf([&] { outcome.result->SaveAs(out); });
    fs::remove(out);
    outcome.server->Quit();
    return run;
}

// A merge of the workload as the tools' users run it: every block's header row dropped but
// the first.
merge::MergeRequest requestFor(merge::MergeMode mode) {
    merge::MergeRequest request;
    request.mode = mode;
    request.dropFirstLine = true;
    return request;
}

// Prints the merge's figures; returns its time end to end (0 when it failed).
double reportMerge(const char* title, const std::vector<std::string>& files,
                   const merge::MergeRequest& request) {
    // The child's figures come back through a shared page.
    auto* run = static_cast<MergeRun*>(
        mmap(nullptr, sizeof(MergeRun), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    Measurement m = measureAboveBaseline([&] { *run = mergeFiles(files, request); });
    std::printf("%s (%zu files)\n", title, files.size());
    if (!m.ok) {
        line("failed", "");
        munmap(run, sizeof(MergeRun));
        return 0;
    }
    const double endToEnd = run->mergeSeconds + run->writeSeconds;
    line("open + merge", seconds(run->mergeSeconds));
    line("write the result", seconds(run->writeSeconds));
    if (run->autofitSeconds > 0) {
        line("autofit of the result alone", seconds(run->autofitSeconds),
             "measuring every cell: " + seconds(run->autofitEveryCellSeconds));
    }
    line("end to end", seconds(run->mergeSeconds + run->writeSeconds),
         formatCount(run->resultCells / (run->mergeSeconds + run->writeSeconds)) + " cells/s");
    line("peak memory, bytes a result cell",
         formatCount(static_cast<double>(m.peakBytes) / static_cast<double>(run->resultCells)),
         formatBytes(static_cast<double>(m.peakBytes)));
    munmap(run, sizeof(MergeRun));
    return endToEnd;
}

void runMerges(const WorkloadPaths& paths) {
    using merge::MergeMode;
    const std::vector<std::string> big = filesIn(paths.bigFolder());
    const double plain = reportMerge("Vertical merge, header dropped after the first", big,
                                     requestFor(MergeMode::Vertical));
    merge::MergeRequest matched = requestFor(MergeMode::Vertical);
    matched.matchHeaders = true;
    matched.sourceColumn = true;
    const double byHeader =
        reportMerge("The same, columns matched by header, a source column", big, matched);
    lineOfTimes("matched with a source column / plain", byHeader, plain, "target: at most 1.20x");
    // Every file's columns in another order: each block is pasted column by column.
    const std::vector<std::string> drifted = filesIn(paths.driftedFolder());
    if (!drifted.empty()) {
        const double rearranged =
            reportMerge("The same on files whose columns drifted (each rotated)", drifted, matched);
        lineOfTimes("drifted, matched with a source column / plain", rearranged, plain);
    }
    reportMerge("One-workbook merge", big, requestFor(MergeMode::Workbook));
    reportMerge("Vertical merge of small workbooks", filesIn(paths.smallFolder()),
                requestFor(MergeMode::Vertical));
}

// Each deflate library's floor on the same bytes: inflating the inputs of the big merge and
// deflating a sheet the size of that merge's result at level 1.
void runCodecs(const WorkloadPaths& paths) {
    std::printf("Deflate libraries\n");
    const std::vector<std::string> big = filesIn(paths.bigFolder());
    const std::string sheet = resultLikeSheet(big, size_t{200} << 20);
    for (const CodecFloor& floor : codecFloors(big, sheet)) {
        line(("floor: " + floor.library + " inflate the big inputs").c_str(),
             seconds(floor.inflate.seconds),
             formatCount(floor.inflate.bytes / floor.inflate.seconds / 1e6) + " MB/s");
        char note[96];
        std::snprintf(note, sizeof note, "%s MB/s, %s of %s",
                      formatCount(floor.deflate.bytes / floor.deflate.seconds / 1e6).c_str(),
                      formatBytes(floor.compressedBytes).c_str(),
                      formatBytes(floor.deflate.bytes).c_str());
        line(("floor: " + floor.library + " deflate a result sheet, level 1").c_str(),
             seconds(floor.deflate.seconds), note);
    }
}

void runDiscovery(const WorkloadPaths& paths) {
    std::printf("Discovery\n");
    controls::Form1Controls form;
    form.ListView1.select(form.ListView1.add(paths.largeFile()));
    discovery::ListWorkbooks(form, paths.largeFile());
    form.ListView2.select(1);
    double list = secondsOf([&] { discovery::ListWorksheets(form); });
    line("list the worksheets of the large workbook", seconds(list),
         std::to_string(form.ListView3.count()) + " worksheets");

    app::Form1Services services;
    app::Form1 window("", services);
    window.SetUpControls();
    controls::Form1Controls& c = window.controls();
    c.ListView1.select(c.ListView1.add(paths.smallFolder()));
    discovery::ListWorkbooks(c, paths.smallFolder());
    double queue = secondsOf([&] { window.Command20_Click(); });
    line("\"Add All Excel Files\" on the small folder", seconds(queue),
         std::to_string(c.ListView4.count()) + " entries");
}

void runFormats(const WorkloadPaths& paths) {
    std::printf("Flat and legacy readers\n");
    for (const auto& [name, folder] :
         {std::pair<const char*, std::string>{"csv", paths.csvFolder()},
          {"xls", paths.xlsFolder()}}) {
        auto files = filesIn(folder);
        if (files.empty()) {
            line(name, "skipped", "no inputs in " + folder);
            continue;
        }
        size_t cells = 0;
        double s = secondsOf([&] {
            for (const std::string& file : files) {
                cells += loadAll(*engine::openWorkbook(file));
            }
        });
        line((std::string(name) + " read, cells/s").c_str(), formatCount(cells / s), seconds(s));
    }
}

}  // namespace
}  // namespace plyfold::bench

int main(int argc, char** argv) {
    using namespace plyfold::bench;
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: plyfold-bench "
                     "generate|generate-drifted|engine|merge|codecs|discovery|formats|all DIR\n");
        return 2;
    }
    const std::string command = argv[1];
    WorkloadPaths paths{argv[2]};
    try {
        if (command == "generate") {
            generateWorkload(paths);
        }
        if (command == "generate-drifted") {
            generateDriftedWorkload(paths);
        }
        if (command == "engine" || command == "all")
            runEngine(paths);
        if (command == "merge" || command == "all")
            runMerges(paths);
        if (command == "codecs" || command == "all")
            runCodecs(paths);
        if (command == "discovery" || command == "all")
            runDiscovery(paths);
        if (command == "formats" || command == "all")
            runFormats(paths);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "plyfold-bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
