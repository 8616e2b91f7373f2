#include "test_package.h"

#include <algorithm>

namespace plyfold::test {
namespace {

constexpr const char* kRelationships =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";

std::string relationship(const std::string& id, const std::string& kind,
                         const std::string& target) {
    return "<Relationship Id=\"" + id + "\" Type=\"" + kRelationships + "/" + kind +
           "\" Target=\"" + target + "\"/>";
}

}  // namespace

std::string worksheetXml(const std::string& content) {
    return std::string(kHeader) + "<worksheet xmlns=\"" + kMainNamespace + "\" xmlns:r=\"" +
           kRelationships + "\">" + content + "</worksheet>";
}

std::string sheetDataXml(const std::string& rows) {
    return "<sheetData>" + rows + "</sheetData>";
}

TestPackage& TestPackage::sheet(std::string name, std::string partXml, std::string state) {
    m_sheets.push_back({std::move(name), std::move(state), false});
    return part("xl/worksheets/sheet" + std::to_string(m_sheets.size()) + ".xml",
                std::move(partXml));
}

TestPackage& TestPackage::chartsheet(std::string name) {
    m_sheets.push_back({std::move(name), {}, true});
    return part("xl/chartsheets/sheet" + std::to_string(m_sheets.size()) + ".xml",
                std::string(kHeader) + "<chartsheet xmlns=\"" + kMainNamespace + "\"/>");
}

TestPackage& TestPackage::sharedStrings(std::string xml) {
    m_sharedStrings = true;
    return part("xl/sharedStrings.xml", std::move(xml));
}

TestPackage& TestPackage::styles(std::string xml) {
    m_styles = true;
    return part("xl/styles.xml", std::move(xml));
}

TestPackage& TestPackage::theme(std::string xml) {
    m_theme = true;
    return part("xl/theme/theme1.xml", std::move(xml));
}

TestPackage& TestPackage::workbookProperties(std::string attributes) {
    m_workbookProperties = std::move(attributes);
    return *this;
}

TestPackage& TestPackage::part(std::string name, std::string content) {
    for (auto& [existing, text] : m_parts) {
        if (existing == name) {
            text = std::move(content);
            return *this;
        }
    }
    m_parts.emplace_back(std::move(name), std::move(content));
    return *this;
}

TestPackage& TestPackage::withoutPart(std::string name) {
    m_removed.push_back(std::move(name));
    return *this;
}

std::string TestPackage::build() const {
    std::vector<std::pair<std::string, std::string>> parts;
    parts.emplace_back("[Content_Types].xml",
                       std::string(kHeader) +
                           "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                           "content-types\"><Default Extension=\"xml\" "
                           "ContentType=\"application/xml\"/><Override PartName=\"/xl/"
                           "workbook.xml\" ContentType=\"application/"
                           "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
                           "</Types>");
    parts.emplace_back("_rels/.rels",
                       std::string(kHeader) +
                           "<Relationships xmlns=\"http://schemas."
                           "openxmlformats.org/package/2006/relationships\">" +
                           relationship("rId1", "officeDocument", "xl/workbook.xml") +
                           "</Relationships>");
    std::string workbook = std::string(kHeader) + "<workbook xmlns=\"" + kMainNamespace +
                           "\" xmlns:r=\"" + kRelationships + "\"><workbookPr " +
                           m_workbookProperties + "/><sheets>";
    std::string rels = std::string(kHeader) +
                       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                       "relationships\">";
    for (size_t i = 0; i < m_sheets.size(); ++i) {
        std::string id = "rId" + std::to_string(i + 1);
        std::string number = std::to_string(i + 1);
        workbook += "<sheet name=\"" + m_sheets[i].name + "\" sheetId=\"" + number + "\"";
        if (!m_sheets[i].state.empty()) {
            workbook += " state=\"" + m_sheets[i].state + "\"";
        }
        workbook += " r:id=\"" + id + "\"/>";
        rels += m_sheets[i].chart
                    ? relationship(id, "chartsheet", "chartsheets/sheet" + number + ".xml")
                    : relationship(id, "worksheet", "worksheets/sheet" + number + ".xml");
    }
    workbook += "</sheets></workbook>";
    if (m_sharedStrings) {
        rels += relationship("rIdS", "sharedStrings", "sharedStrings.xml");
    }
    if (m_styles) {
        rels += relationship("rIdY", "styles", "styles.xml");
    }
    if (m_theme) {
        rels += relationship("rIdT", "theme", "theme/theme1.xml");
    }
    rels += "</Relationships>";
    parts.emplace_back("xl/workbook.xml", workbook);
    parts.emplace_back("xl/_rels/workbook.xml.rels", rels);
    for (const auto& p : m_parts) {
        auto same = [&](const auto& q) { return q.first == p.first; };
        auto it = std::find_if(parts.begin(), parts.end(), same);
        if (it != parts.end()) {
            it->second = p.second;
        } else {
            parts.push_back(p);
        }
    }
    ZipBuilder zip;
    for (const auto& [name, content] : parts) {
        if (std::find(m_removed.begin(), m_removed.end(), name) == m_removed.end()) {
            zip.add(name, content);
        }
    }
    return zip.finish();
}

}  // namespace plyfold::test
