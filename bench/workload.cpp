#include "bench/workload.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "engine/io/workbook_io.h"
#include "engine/model/workbook.h"

namespace plyfold::bench {
namespace {

constexpr int kColumns = 10;
const char* const kHeader[kColumns] = {"Id",    "Date",  "Name",  "Region", "Amount",
                                       "Price", "Units", "Ratio", "Cost",   "Margin"};
const char* const kRegions[] = {"North", "South", "East", "West", "Centre"};

std::string nameFor(std::mt19937& random) {
    static const char* const parts[] = {"al", "be", "co", "da", "el", "fa", "go", "hu",
                                        "io", "ja", "ki", "lo", "mu", "ne", "or", "pi"};
    std::string name;
    for (int i = 0; i < 3; ++i) {
        name += parts[random() % 16];
    }
    return name;
}

void fillSheet(engine::Workbook& book, engine::Sheet& sheet, int32_t rows, uint32_t seed) {
    engine::StyleTable& styles = book.styles();
    engine::Font bold = styles.font(0);
    bold.bold = true;
    engine::Fill fill;
    fill.pattern = engine::PatternType::Solid;
    fill.foreground = engine::Color::rgb(0xFFDDEBF7);
    engine::CellStyle header;
    header.font = styles.addFont(bold);
    header.fill = styles.addFill(fill);
    const uint32_t headerStyle = styles.addStyle(header);
    engine::CellStyle date;
    date.numberFormat = styles.addFormatCode("yyyy-mm-dd");
    const uint32_t dateStyle = styles.addStyle(date);
    engine::CellStyle money;
    money.numberFormat = styles.addFormatCode("#,##0.00");
    const uint32_t moneyStyle = styles.addStyle(money);

    for (int c = 0; c < kColumns; ++c) {
        engine::Cell& cell = sheet.cellAt({0, c});
        cell.type = engine::CellType::Text;
        cell.value.text = book.strings().intern(kHeader[c]);
        cell.style = headerStyle;
    }
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> amount(0, 100000);
    for (int32_t r = 1; r <= rows; ++r) {
        engine::Row& row = sheet.appendRow(r);
        row.cells.resize(kColumns);
        for (int c = 0; c < kColumns; ++c) {
            row.cells[c].column = static_cast<uint16_t>(c);
            row.cells[c].type = engine::CellType::Number;
        }
        row.cells[0].value.number = r;
        row.cells[1].value.number = 44927 + static_cast<double>(random() % 1500);
        row.cells[1].style = dateStyle;
        row.cells[2].type = engine::CellType::Text;
        row.cells[2].value.text = book.strings().intern(nameFor(random));
        row.cells[3].type = engine::CellType::Text;
        row.cells[3].value.text = book.strings().intern(kRegions[random() % 5]);
        for (int c = 4; c < kColumns; ++c) {
            row.cells[c].value.number =
                static_cast<double>(static_cast<int64_t>(amount(random) * 100)) / 100;
        }
        row.cells[4].style = moneyStyle;
    }
}

}  // namespace

void writeWorkbook(const std::string& path, int32_t rows, uint32_t seed, int sheets) {
    engine::Workbook book;
    for (int s = 1; s <= sheets; ++s) {
        engine::Sheet& sheet = book.addSheet("Data" + std::to_string(s));
        fillSheet(book, sheet, rows, seed + static_cast<uint32_t>(s));
    }
    engine::saveWorkbook(book, path);
}

void writeRotatedWorkbook(const std::string& path, int32_t rows, uint32_t seed, int shift) {
    engine::Workbook book;
    engine::Sheet& sheet = book.addSheet("Data1");
    fillSheet(book, sheet, rows, seed);
    for (engine::Row& row : sheet.mutableRows()) {
        for (engine::Cell& cell : row.cells) {
            cell.column = static_cast<uint16_t>((cell.column + shift) % kColumns);
        }
        std::sort(row.cells.begin(), row.cells.end(),
                  [](const engine::Cell& a, const engine::Cell& b) { return a.column < b.column; });
    }
    engine::saveWorkbook(book, path);
}

void writeCsv(const std::string& path, int32_t rows, uint32_t seed) {
    std::ofstream out(path, std::ios::binary);
    for (int c = 0; c < kColumns; ++c) {
        out << (c ? "," : "") << kHeader[c];
    }
    out << "\r\n";
    std::mt19937 random(seed + 1);
    std::uniform_real_distribution<double> amount(0, 100000);
    char line[512];
    for (int32_t r = 1; r <= rows; ++r) {
        int day = static_cast<int>(random() % 1500);
        int year = 2023 + day / 365, dayOfYear = day % 365;
        std::string name = nameFor(random);
        int n = std::snprintf(line, sizeof line, "%d,%04d-%02d-%02d,%s,%s", r, year,
                              dayOfYear / 31 % 12 + 1, dayOfYear % 28 + 1, name.c_str(),
                              kRegions[random() % 5]);
        out.write(line, n);
        for (int c = 4; c < kColumns; ++c) {
            n = std::snprintf(
                line, sizeof line, ",%.2f",
                static_cast<double>(static_cast<int64_t>(amount(random) * 100)) / 100);
            out.write(line, n);
        }
        out << "\r\n";
    }
}

void generateWorkload(const WorkloadPaths& paths) {
    namespace fs = std::filesystem;
    for (const std::string& folder : {paths.bigFolder(), paths.csvFolder(), paths.smallFolder()}) {
        fs::create_directories(folder);
    }
    char name[64];
    for (int i = 1; i <= 20; ++i) {
        std::snprintf(name, sizeof name, "/region%02d", i);
        writeWorkbook(paths.bigFolder() + name + ".xlsx", 25000, static_cast<uint32_t>(i));
        writeCsv(paths.csvFolder() + name + ".csv", 25000, static_cast<uint32_t>(i));
    }
    for (int i = 1; i <= 500; ++i) {
        std::snprintf(name, sizeof name, "/month%03d.xlsx", i);
        writeWorkbook(paths.smallFolder() + name, 200, static_cast<uint32_t>(1000 + i));
    }
    writeWorkbook(paths.largeFile(), 140000, 7, 4);
    generateDriftedWorkload(paths);
}

void generateDriftedWorkload(const WorkloadPaths& paths) {
    std::filesystem::create_directories(paths.driftedFolder());
    char name[64];
    for (int i = 1; i <= 20; ++i) {
        std::snprintf(name, sizeof name, "/region%02d.xlsx", i);
        writeRotatedWorkbook(paths.driftedFolder() + name, 25000, static_cast<uint32_t>(i), i % 10);
    }
}

}  // namespace plyfold::bench
