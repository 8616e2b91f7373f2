// Every reader counts what it builds against the memory budget of the workbook it fills.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

#include "engine/common/error.h"
#include "engine/common/memory_budget.h"
#include "engine/io/csv/delimited_text_reader.h"
#include "engine/io/dbf/dbf_reader.h"
#include "engine/io/workbook_io.h"
#include "engine/io/xls/xls_reader.h"
#include "engine/io/xlsx/xlsx_reader.h"
#include "engine/model/workbook.h"
#include "tests/support/temp_dir.h"

namespace plyfold::engine {
namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;

std::string le16(uint32_t value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8 & 0xFF)};
}

std::string le32(uint32_t value) {
    return le16(value & 0xFFFF) + le16(value >> 16);
}

std::string biffRecord(uint16_t type, const std::string& data) {
    return le16(type) + le16(static_cast<uint32_t>(data.size())) + data;
}

// A BIFF8 workbook stream of one worksheet, "Data", of rows x columns integers (RK records).
std::string numbersStream(uint32_t rows, uint32_t columns) {
    const std::string bof = le16(0x0600) + le16(0x0005) + std::string(12, '\0');
    const std::string sheetBof = le16(0x0600) + le16(0x0010) + std::string(12, '\0');
    auto globals = [&](uint32_t position) {
        return biffRecord(0x0809, bof) +
               biffRecord(0x0085, le32(position) + std::string("\0\0\x04\0", 4) + "Data") +
               biffRecord(0x000A, {});
    };
    std::string cells;
    for (uint32_t r = 0; r < rows; ++r) {
        for (uint32_t c = 0; c < columns; ++c) {
            cells += biffRecord(0x027E, le16(r) + le16(c) + le16(0) + le32((r + c) << 2 | 2));
        }
    }
    const uint32_t position = static_cast<uint32_t>(globals(0).size());
    return globals(position) + biffRecord(0x0809, sheetBof) + cells + biffRecord(0x000A, {});
}

// A dBase III table of one numeric field, "N", holding 0 to records - 1.
std::string numbersTable(uint32_t records) {
    std::string header(32, '\0');
    header[0] = 0x03;
    const std::string count = le32(records);
    header.replace(4, 4, count);
    header.replace(8, 2, le16(32 + 32 + 1));
    header.replace(10, 2, le16(1 + 8));
    std::string field(32, '\0');
    field[0] = 'N';
    field[11] = 'N';
    field[16] = 8;
    std::string table = header + field + "\x0D";
    for (uint32_t i = 0; i < records; ++i) {
        std::string value = std::to_string(i);
        table += " " + std::string(8 - value.size(), ' ') + value;
    }
    return table + "\x1A";
}

// An .xlsx file written by the engine: rows x columns cells, numbers or each its own text.
std::string xlsxBytes(const test::TempDir& folder, int32_t rows, int32_t columns, bool texts) {
    Workbook book;
    Sheet& sheet = book.addSheet("Data");
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < columns; ++c) {
            Cell& cell = sheet.cellAt({r, c});
            if (texts) {
                cell.type = CellType::Text;
                cell.value.text =
                    book.strings().intern(std::to_string(r * columns + c) + std::string(300, 'x'));
            } else {
                cell.type = CellType::Number;
                cell.value.number = r * columns + c;
            }
        }
    }
    const std::string path = folder.file("made.xlsx");
    saveWorkbook(book, path);
    return test::readFile(path);
}

struct ReaderCase {
    const char* what;
    std::string sheet;  // the sheet the message names
    std::function<std::unique_ptr<Workbook>()> open;
};

std::vector<ReaderCase> readerCases(const test::TempDir& folder) {
    // Each builds well over 1 MB: cells in rows, or texts (with fewer cells than 1 MB holds).
    return {
        {"xlsx cells", "Data",
         [bytes = xlsxBytes(folder, 2000, 50, false)] {
             return readXlsxFromMemory(bytes, "big.xlsx");
         }},
        {"xlsx shared strings", "Data",
         [bytes = xlsxBytes(folder, 5000, 1, true)] {
             return readXlsxFromMemory(bytes, "big.xlsx");
         }},
        {"xls", "Data",
         [stream = numbersStream(500, 100)] { return xls::readBiffStream(stream, "big.xls"); }},
        {"csv", "big",
         [] {
             std::string text;
             for (int r = 0; r < 2000; ++r) {
                 for (int c = 0; c < 100; ++c) {
                     text += c ? ",1" : "1";
                 }
                 text += "\r\n";
             }
             return csv::readDelimitedTextFromMemory(text, "big.csv", ',');
         }},
        {"dbf", "big", [] { return dbf::readDbfFromMemory(numbersTable(100000), "big.dbf"); }},
    };
}

TEST(ReaderBudget, EveryReaderStopsAtTheLimitNamingTheFileAndSheet) {
    test::TempDir folder;
    for (const ReaderCase& c : readerCases(folder)) {
        auto budget = std::make_shared<MemoryBudget>(kMiB);
        {
            std::unique_ptr<Workbook> workbook = c.open();
            const std::string file = workbook->path();
            workbook->memory().setBudget(budget);
            try {
                workbook->sheet(0).rows();
                ADD_FAILURE() << c.what << ": read within 1 MB";
            } catch (const SpreadsheetError& error) {
                EXPECT_EQ(error.number(), 7) << c.what;
                EXPECT_EQ(error.description(),
                          "'" + file + "', sheet '" + c.sheet +
                              "': reading it would take more than the 1 MB of memory this merge "
                              "may use.")
                    << c.what;
            }
            // The sheet is left unread and keeps no cells counted.
            EXPECT_FALSE(workbook->sheet(0).isLoaded()) << c.what;
            EXPECT_LE(budget->used(), kMiB) << c.what;
        }
        EXPECT_EQ(budget->used(), 0u) << c.what << ": a closed workbook gives its memory back";
    }
}

TEST(ReaderBudget, WithinTheLimitEveryReaderCountsWhatItHolds) {
    test::TempDir folder;
    for (const ReaderCase& c : readerCases(folder)) {
        auto budget = std::make_shared<MemoryBudget>(256 * kMiB);
        {
            std::unique_ptr<Workbook> workbook = c.open();
            workbook->memory().setBudget(budget);
            const size_t cells = workbook->sheet(0).cellCount();
            EXPECT_GE(cells, 5000u) << c.what;
            // Each cell is counted, and little more than a cell's share besides its texts.
            EXPECT_GE(budget->used(), cells * sizeof(Cell)) << c.what;
            EXPECT_LE(budget->used(), 64 * kMiB) << c.what;
        }
        EXPECT_EQ(budget->used(), 0u) << c.what;
    }
}

TEST(ReaderBudget, OpeningAFileTheBudgetCannotHoldNamesTheFile) {
    // A .xls file is read whole when it is opened.
    test::TempDir folder;
    const std::string path = folder.file("whole.xls");
    test::writeFile(path, numbersStream(300, 100));
    try {
        openWorkbook(path, std::make_shared<MemoryBudget>(64 * 1024));
        FAIL() << "opened within 64 KB";
    } catch (const SpreadsheetError& error) {
        EXPECT_EQ(error.description(), "'" + path +
                                           "': reading it would take more than the 64 KB of "
                                           "memory this merge may use.");
    }
    auto budget = std::make_shared<MemoryBudget>(64 * kMiB);
    auto workbook = openWorkbook(path, budget);
    EXPECT_GT(budget->used(), 300u * 100 * 10);  // the stream, kept for the sheets
    EXPECT_EQ(workbook->sheet(0).cellCount(), 300u * 100);
}

}  // namespace
}  // namespace plyfold::engine
