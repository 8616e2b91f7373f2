#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/io/xlsx/color_resolver.h"
#include "engine/io/xlsx/xml_handler.h"
#include "engine/model/rich_text.h"
#include "engine/model/style.h"

namespace plyfold::engine::xlsx_read {

// Where the fonts of runs go: the workbook's style table, their colours resolved against the
// workbook's theme.
struct RunFonts {
    StyleTable& styles;
    ColorResolver colors;
    // The fonts of runs met so far, by a key of their properties: the style table is searched
    // once a font, not once a run.
    std::unordered_map<std::string, uint32_t> known;
};

// Collects the runs of a formatted text (<r><rPr>...</rPr><t>...</t></r>) as a handler meets
// their elements. A run's text comes as written (escapes undecoded) until take().
class RunCollector {
public:
    explicit RunCollector(RunFonts& fonts) : m_fonts(fonts) {}

    void clear() { m_text.runs.clear(); }
    void startRun();
    // A child of the run's <rPr>.
    void runProperty(std::string_view name, XmlAttributes attributes);
    // Where the characters of the current run's <t> go.
    std::string& runText() { return m_text.runs.back().text; }
    void endRun();
    bool hasRuns() const { return !m_text.runs.empty(); }
    // The runs, their texts decoded; false when a text is not valid XML text.
    bool take(RichText& text);

private:
    RunFonts& m_fonts;
    RichText m_text;
    Font m_font;
    ColorSpec m_color;
    bool m_hasFont = false;
};

}  // namespace plyfold::engine::xlsx_read
