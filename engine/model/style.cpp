#include "engine/model/style.h"

#include <algorithm>
#include <functional>

namespace plyfold::engine {
namespace {

uint64_t styleKey(const CellStyle& s) {
    uint64_t h = s.numberFormat;
    h = h * 1000003u ^ s.font;
    h = h * 1000003u ^ s.fill;
    h = h * 1000003u ^ s.border;
    h = h * 1000003u ^ static_cast<uint64_t>(s.alignment.horizontal);
    h = h * 1000003u ^ static_cast<uint64_t>(s.alignment.vertical);
    h = h * 1000003u ^ (s.alignment.wrapText ? 1u : 0u);
    return h;
}

}  // namespace

StyleTable::StyleTable() {
    m_fonts.emplace_back();
    m_fills.emplace_back();
    Fill gray;  // every file carries the gray125 fill as its second entry
    gray.pattern = PatternType::Gray125;
    m_fills.push_back(gray);
    m_borders.emplace_back();
    m_formatCodes.intern("General");
    m_styles.emplace_back();
    m_styleIndex[styleKey(m_styles[0])].push_back(0);
}

template <typename T>
uint32_t StyleTable::addUnique(std::vector<T>& table, const T& value) {
    // Tables of fonts, fills and borders stay small (tens to a few thousand), so a linear
    // search from the end, where recent additions are, is fast enough.
    for (size_t i = table.size(); i-- > 0;) {
        if (table[i] == value) {
            return static_cast<uint32_t>(i);
        }
    }
    table.push_back(value);
    return static_cast<uint32_t>(table.size() - 1);
}

uint32_t StyleTable::addFont(const Font& font) {
    return addUnique(m_fonts, font);
}
uint32_t StyleTable::addFill(const Fill& fill) {
    return addUnique(m_fills, fill);
}
uint32_t StyleTable::addBorder(const Border& border) {
    return addUnique(m_borders, border);
}
uint32_t StyleTable::addFormatCode(std::string_view code) {
    return m_formatCodes.intern(code);
}

uint32_t StyleTable::addStyle(const CellStyle& style) {
    auto& bucket = m_styleIndex[styleKey(style)];
    for (uint32_t id : bucket) {
        if (m_styles[id] == style) {
            return id;
        }
    }
    m_styles.push_back(style);
    uint32_t id = static_cast<uint32_t>(m_styles.size() - 1);
    bucket.push_back(id);
    return id;
}

void StyleTable::setDefaultFont(const Font& font) {
    m_fonts[0] = font;
}

uint32_t StyleTable::importStyle(const StyleTable& source, uint32_t sourceStyle) {
    if (&source == this) {
        return sourceStyle;
    }
    const CellStyle& s = source.style(sourceStyle);
    CellStyle mapped = s;
    mapped.numberFormat = addFormatCode(source.formatCode(s.numberFormat));
    mapped.font = addFont(source.font(s.font));
    mapped.fill = addFill(source.fill(s.fill));
    mapped.border = addBorder(source.border(s.border));
    return addStyle(mapped);
}

uint32_t StyleTable::addDifferentialStyle(const DifferentialStyle& style) {
    return addUnique(m_differential, style);
}

uint32_t StyleTable::appendDifferentialStyle(DifferentialStyle style) {
    m_differential.push_back(std::move(style));
    return static_cast<uint32_t>(m_differential.size() - 1);
}

uint32_t StyleTable::importDifferentialStyle(const StyleTable& source, uint32_t sourceId) {
    if (&source == this) {
        return sourceId;
    }
    DifferentialStyle mapped = source.differentialStyle(sourceId);
    if (mapped.numberFormat) {
        mapped.numberFormat = addFormatCode(source.formatCode(*mapped.numberFormat));
    }
    return addDifferentialStyle(mapped);
}

}  // namespace plyfold::engine
