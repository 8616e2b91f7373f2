#pragma once

#include <cstdint>
#include <string>

namespace plyfold::bench {

// The generated inputs: workbooks of rows x 10 columns (an id, a date, a short text, a
// category, six decimals) under a bold, filled header row, written by the engine's writer.
struct WorkloadPaths {
    std::string root;
    std::string bigFolder() const { return root + "/big"; }         // 20 x 25,000 rows, .xlsx
    std::string csvFolder() const { return root + "/csv"; }         // the same as .csv
    std::string xlsFolder() const { return root + "/xls"; }         // the same as .xls, if made
    std::string smallFolder() const { return root + "/small"; }     // 500 x 200 rows
    std::string largeFile() const { return root + "/large.xlsx"; }  // about 50 MB
    // 20 x 25,000 rows whose columns each file rotates by its number (headers drifted).
    std::string driftedFolder() const { return root + "/drifted"; }
};

void writeWorkbook(const std::string& path, int32_t rows, uint32_t seed, int sheets = 1);
void writeCsv(const std::string& path, int32_t rows, uint32_t seed);
void generateWorkload(const WorkloadPaths& paths);
void generateDriftedWorkload(const WorkloadPaths& paths);

}  // namespace plyfold::bench
