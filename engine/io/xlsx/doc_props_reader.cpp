#include <exception>
#include <string>

#include "engine/io/workbook_io.h"
#include "engine/io/xlsx/doc_props_writer.h"
#include "engine/io/xlsx/xml_handler.h"
#include "engine/io/xlsx/xml_parser.h"
#include "engine/io/xlsx/zip_package.h"

namespace plyfold::engine {
namespace {

// The core properties are a few hundred bytes; anything past this is no mark of ours.
constexpr uint64_t kMaxCorePropertiesBytes = 64 * 1024;

// Collects the text of the core properties' description.
class DescriptionHandler : public xlsx_read::XmlHandler {
public:
    void startElement(std::string_view name, xlsx_read::XmlAttributes) override {
        ++m_depth;
        m_inDescription = m_depth == 2 && name == "description";
    }
    void endElement(std::string_view) override {
        --m_depth;
        m_inDescription = false;
    }
    void characters(std::string_view text) override {
        if (m_inDescription) {
            description.append(text);
        }
    }

    std::string description;

private:
    int m_depth = 0;
    bool m_inDescription = false;
};

}  // namespace

bool isMergeResultFile(const std::string& path) {
    try {
        // Opening the package reads only the zip directory; then one small part is inflated.
        auto package = xlsx_read::ZipPackage::openFile(path);
        const auto stored = package->findPart("docProps/core.xml");
        if (!stored) {
            return false;
        }
        auto source = package->openPart(*stored, kMaxCorePropertiesBytes);
        DescriptionHandler handler;
        xlsx_read::parseXmlWithExpat(*source, handler);
        return handler.description == xlsx::kMergeResultDescription;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace plyfold::engine
