#include "engine/io/xlsx/rich_text_reader.h"

#include "engine/io/xlsx/styles_reader.h"
#include "engine/io/xlsx/value_parsing.h"

namespace plyfold::engine::xlsx_read {
namespace {

// Past this many fonts in the style table, a run's new font is not added (the table is
// searched linearly) and the run takes its cell's font: its text is kept.
constexpr uint32_t kMaxFontsForRuns = 16384;

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
        const uint32_t before = styles.fontCount();
        if (before < kMaxFontsForRuns) {
            m_text.runs.back().font = styles.addFont(m_font);
        } else {
            for (uint32_t i = 0; i < before; ++i) {
                if (styles.font(i) == m_font) {
                    m_text.runs.back().font = i;
                    break;
                }
            }
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
