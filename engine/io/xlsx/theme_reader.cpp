#include "engine/io/xlsx/theme_reader.h"

#include "engine/io/xlsx/opc_package.h"

namespace plyfold::engine::xlsx_read {
namespace {

// Reads theme > themeElements > clrScheme > (dk1 ...) > (srgbClr | sysClr). Other colour
// schemes (extraClrSchemeLst) are left alone.
class ThemeHandler : public XmlHandler {
public:
    void startElement(std::string_view name, XmlAttributes attributes) override {
        ++m_depth;
        if (m_depth == 2 && name == "themeElements") {
            m_inElements = true;
        } else if (m_depth == 3 && m_inElements && name == "clrScheme" && !m_schemeSeen) {
            m_inScheme = true;
        } else if (m_depth == 4 && m_inScheme) {
            m_slot = themeSlot(name);
        } else if (m_depth == 5 && m_slot >= 0) {
            uint32_t argb;
            std::string_view value;
            if (name == "srgbClr") {
                value = attributeOr(attributes, "val");
            } else if (name == "sysClr") {
                value = attributeOr(attributes, "lastClr");
            }
            if (!value.empty() && parseArgb(value, argb)) {
                colors[static_cast<size_t>(m_slot)] = 0xFF000000u | (argb & 0xFFFFFF);
            }
        }
    }
    void endElement(std::string_view) override {
        if (m_depth == 4) {
            m_slot = -1;
        } else if (m_depth == 3 && m_inScheme) {
            m_inScheme = false;
            m_schemeSeen = true;
        } else if (m_depth == 2) {
            m_inElements = false;
        }
        --m_depth;
    }
    void characters(std::string_view) override {}

    ThemeColors colors = defaultThemeColors();

private:
    int m_depth = 0;
    int m_slot = -1;
    bool m_inElements = false;
    bool m_inScheme = false;
    bool m_schemeSeen = false;
};

}  // namespace

ThemeColors readThemeColors(ZipPackage& package, const std::string& storedName) {
    ThemeHandler handler;
    AlternateContentFilter filter(handler);
    parsePart(package, storedName, filter, kMaxSmallPartBytes, false);
    return handler.colors;
}

}  // namespace plyfold::engine::xlsx_read
