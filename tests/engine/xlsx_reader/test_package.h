#pragma once

#include <string>
#include <utility>
#include <vector>

#include "zip_builder.h"

namespace plyfold::test {

inline constexpr const char* kMainNamespace =
    "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

// A worksheet part around the given content (sheetData and the like).
std::string worksheetXml(const std::string& content);
// A sheetData with the given rows' XML.
std::string sheetDataXml(const std::string& rows);

// Builds a small workbook package part by part, the way spreadsheet programs lay it out.
class TestPackage {
public:
    TestPackage& sheet(std::string name, std::string partXml, std::string state = {});
    TestPackage& chartsheet(std::string name);
    TestPackage& sharedStrings(std::string xml);
    TestPackage& styles(std::string xml);
    TestPackage& theme(std::string xml);
    TestPackage& workbookProperties(std::string attributes);
    // Replaces the part of that name, or adds it.
    TestPackage& part(std::string name, std::string content);
    TestPackage& withoutPart(std::string name);

    std::string build() const;

private:
    struct Sheet {
        std::string name;
        std::string state;
        bool chart = false;
    };
    std::vector<Sheet> m_sheets;
    std::vector<std::pair<std::string, std::string>> m_parts;
    std::vector<std::string> m_removed;
    std::string m_workbookProperties;
    bool m_sharedStrings = false;
    bool m_styles = false;
    bool m_theme = false;
};

}  // namespace plyfold::test
