#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "engine/io/workbook_io.h"
#include "tests/engine/xlsx_writer/sample_workbooks.h"

namespace plyfold::engine {
namespace {

namespace fs = std::filesystem;

// Writes sample results, each beside one CSV file a sheet (the values as the engine shows
// them), for checks by other programs: tests/tools/check-xlsx-with-libreoffice sets
// PLYFOLD_WRITER_SAMPLES to the folder to fill. Without it there is nothing to do.
TEST(Samples, WrittenForOtherPrograms) {
    const char* folder = std::getenv("PLYFOLD_WRITER_SAMPLES");
    if (!folder || !*folder) {
        GTEST_SKIP() << "PLYFOLD_WRITER_SAMPLES is not set";
    }
    fs::create_directories(folder);
    auto everything = plyfold::test::everythingWorkbook();
    // Its cell at XFD1048576 would make the sheet's CSV, ours and LibreOffice's, 17 GB.
    everything->sheet(0).eraseCell({1048575, 16383});
    const std::pair<const char*, std::unique_ptr<Workbook>> samples[] = {
        {"everything", std::move(everything)},
        {"table", plyfold::test::tableWorkbook(25000, 1)},
    };
    for (const auto& [name, book] : samples) {
        const std::string base = (fs::path(folder) / name).string();
        saveWorkbook(*book, base + ".xlsx");
        EXPECT_TRUE(fs::file_size(base + ".xlsx") > 0);
        for (int32_t i = 0; i < book->sheetCount(); ++i) {
            saveSheetAsCsv(book->sheet(i), base + ".sheet" + std::to_string(i + 1) + ".csv");
        }
    }
}

}  // namespace
}  // namespace plyfold::engine
