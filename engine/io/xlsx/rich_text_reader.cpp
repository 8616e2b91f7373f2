#include "engine/io/xlsx/rich_text_reader.h"

#include "engine/io/xlsx/styles_reader.h"
#include "engine/io/xlsx/value_parsing.h"

namespace plyfold::engine::xlsx_read {
namespace {

// Past this many fonts in the style table, a run's font is not looked up or added (the table
// is searched linearly) and the run takes its cell's font: its text is kept.
constexpr uint32_t kMaxFontsForRuns = 16384;

std::string fontKey(const Font& font) {
    std::string key = font.name;
    key += '\0';
    key += font.scheme;
    key += '\0';
    const double size = font.size;
    key.append(reinterpret_cast<const char*>(&size), sizeof size);
    for (int32_t value :
         {static_cast<int32_t>(font.bold), static_cast<int32_t>(font.italic),
          static_cast<int32_t>(font.strike), static_cast<int32_t>(font.underline),
          static_cast<int32_t>(font.verticalAlign), static_cast<int32_t>(font.color.kind),
          static_cast<int32_t>(font.color.argb), font.family, font.charset}) {
        key.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    return key;
}

}  // namespace

void RunCollector::startRun() {
    m_text.runs.emplace_back();
    m_font = Font{};
    m_font.family = 0;  // stated by <family> when the run has it
    m_font.scheme.clear();
    m_color = ColorSpec{};
    m_hasFont = false;
}

void RunCollector::runProperty(std::string_view name, XmlAttributes attributes) {
    if (m_text.runs.empty()) {
        return;
    }
    m_hasFont = true;
    readFontProperty(name, attributes, m_font, m_color);
}

void RunCollector::endRun() {
    if (m_text.runs.empty()) {
        return;
    }
    if (m_text.runs.back().text.empty()) {
        m_text.runs.pop_back();  // carries nothing
        return;
    }
    if (m_hasFont) {
        m_font.color = m_fonts.colors.resolve(m_color);
        StyleTable& styles = m_fonts.styles;
        std::string key = fontKey(m_font);
        if (auto found = m_fonts.known.find(key); found != m_fonts.known.end()) {
            m_text.runs.back().font = found->second;
        } else if (styles.fontCount() < kMaxFontsForRuns) {
            const uint32_t id = styles.addFont(m_font);
            m_fonts.known.emplace(std::move(key), id);
            m_text.runs.back().font = id;
        }
    }
}

bool RunCollector::take(RichText& text) {
    for (TextRun& run : m_text.runs) {
        if (!isXmlText(run.text)) {
            return false;
        }
        decodeEscapes(run.text);
    }
    text = std::move(m_text);
    m_text.runs.clear();
    return true;
}

}  // namespace plyfold::engine::xlsx_read
