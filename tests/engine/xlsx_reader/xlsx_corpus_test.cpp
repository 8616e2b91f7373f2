// The reader against files made by real spreadsheet programs: every workbook of the corpus opens,
// or fails as its manifest says. The cells of many of them are compared with dumps made
// independently with openpyxl among the golden cases (tests/engine/formats/golden_cases_test.cpp).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "engine/common/error.h"
#include "engine/io/xlsx/xlsx_reader.h"

namespace plyfold::engine {
namespace {

namespace fs = std::filesystem;

struct ManifestEntry {
    std::string file;
    std::string exercises;
};

std::vector<ManifestEntry> workbooksOfManifest() {
    std::ifstream in(fs::path(PLYFOLD_CORPUS_DIR) / "MANIFEST.tsv");
    std::vector<ManifestEntry> entries;
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream stream(line);
        for (std::string field; std::getline(stream, field, '\t');) {
            fields.push_back(field);
        }
        if (fields.size() < 6) {
            continue;
        }
        std::string extension = fs::path(fields[0]).extension().string();
        bool ooxml = fields[4].starts_with("xlsx") || fields[4].starts_with("xlsm");
        if (ooxml && (extension == ".xlsx" || extension == ".xlsm")) {
            entries.push_back({fields[0], fields[5]});
        }
    }
    return entries;
}

// The number written just before " word" in the text ("4 sheets": 4), or -1.
int countBefore(const std::string& text, const std::string& word) {
    for (size_t at = text.find(" " + word); at != std::string::npos;
         at = text.find(" " + word, at + 1)) {
        size_t start = at;
        while (start > 0 && std::isdigit(static_cast<unsigned char>(text[start - 1]))) {
            --start;
        }
        if (start < at && (start == 0 || text[start - 1] == ' ' || text[start - 1] == '(')) {
            return std::stoi(text.substr(start, at - start));
        }
    }
    return -1;
}

// What follows "label" up to the next ";", or nullopt.
std::optional<std::string> fieldAfter(const std::string& text, const std::string& label) {
    size_t at = text.find(label);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    at += label.size();
    return text.substr(at, text.find(';', at) - at);
}

TEST(XlsxCorpus, EveryWorkbookOpensOrFailsAsTheManifestSays) {
    std::vector<ManifestEntry> entries = workbooksOfManifest();
    ASSERT_GE(entries.size(), 50u);
    for (const ManifestEntry& entry : entries) {
        SCOPED_TRACE(entry.file);
        std::string path = (fs::path(PLYFOLD_CORPUS_DIR) / entry.file).string();
        bool encrypted = entry.exercises.starts_with("ENCRYPTED");
        bool broken =
            entry.exercises.starts_with("CORRUPT") || entry.exercises.starts_with("MALICIOUS");
        if (encrypted || broken) {
            try {
                auto workbook = readXlsx(path);
                for (int32_t i = 0; i < workbook->sheetCount(); ++i) {
                    workbook->sheet(i).ensureLoaded();
                }
                ADD_FAILURE() << "read without an error";
            } catch (const SpreadsheetError& error) {
                EXPECT_EQ(error.number(), static_cast<int>(ErrorNumber::ApplicationDefined));
                EXPECT_NE(error.description().find(path), std::string::npos) << error.description();
                if (encrypted) {
                    EXPECT_NE(error.description().find("protected by a password"),
                              std::string::npos)
                        << error.description();
                } else {
                    EXPECT_NE(error.description().find("not a valid spreadsheet file"),
                              std::string::npos)
                        << error.description();
                }
            }
            continue;
        }
        std::unique_ptr<Workbook> workbook;
        try {
            workbook = readXlsx(path);
            for (int32_t i = 0; i < workbook->sheetCount(); ++i) {
                workbook->sheet(i).ensureLoaded();
            }
        } catch (const SpreadsheetError& error) {
            ADD_FAILURE() << error.description();
            continue;
        }
        int sheets = countBefore(entry.exercises, "sheet");
        if (sheets >= 0) {
            EXPECT_EQ(workbook->sheetCount(), sheets);
        }
        int charts = std::max(countBefore(entry.exercises, "chartsheet"), 0) +
                     std::max(countBefore(entry.exercises, "dialogsheet"), 0);
        int hidden = 0;
        int veryHidden = 0;
        int nonWorksheets = 0;
        for (int32_t i = 0; i < workbook->sheetCount(); ++i) {
            const Sheet& sheet = workbook->sheet(i);
            hidden += sheet.visibility() == SheetVisibility::Hidden;
            veryHidden += sheet.visibility() == SheetVisibility::VeryHidden;
            nonWorksheets += !sheet.isWorksheet();
            EXPECT_TRUE(sheet.isLoaded());
        }
        EXPECT_EQ(nonWorksheets, charts);
        if (std::optional<std::string> states = fieldAfter(entry.exercises, "hidden: ")) {
            std::string listed = ", " + *states + ",";
            EXPECT_EQ(hidden > 0, listed.find(" hidden,") != std::string::npos) << listed;
            EXPECT_EQ(veryHidden > 0, listed.find("veryHidden") != std::string::npos) << listed;
        } else {
            EXPECT_EQ(hidden + veryHidden, 0);
        }
    }
}

}  // namespace
}  // namespace plyfold::engine
