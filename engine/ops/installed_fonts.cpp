#include "engine/ops/installed_fonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H

#include <array>
#include <map>
#include <mutex>
#include <tuple>
#include <unordered_map>

#include "engine/common/text.h"

namespace plyfold::engine {
namespace {

// The code points read when a face loads: Latin, with its supplements and extensions, which
// is what most sheets hold. Others are read when first asked for.
constexpr uint32_t kPreloaded = 0x250;
constexpr float kNoGlyph = -1.0f;

class FreeTypeFont final : public InstalledFont {
public:
    FreeTypeFont(FT_Face face, std::string family, bool emboldened)
        : m_face(face), m_family(std::move(family)), m_emboldened(emboldened) {
        m_perEm = face->units_per_EM > 0 ? 1000.0 / face->units_per_EM : 0.0;
        for (uint32_t cp = 0; cp < kPreloaded; ++cp) {
            m_preloaded[cp] = read(cp);
        }
    }
    ~FreeTypeFont() override { FT_Done_Face(m_face); }
    FreeTypeFont(const FreeTypeFont&) = delete;
    FreeTypeFont& operator=(const FreeTypeFont&) = delete;

    const std::string& family() const override { return m_family; }
    bool emboldened() const override { return m_emboldened; }

    std::optional<double> advance(uint32_t codePoint) const override {
        float found = kNoGlyph;
        if (codePoint < kPreloaded) {
            found = m_preloaded[codePoint];
        } else {
            // A face is not safe to use from two threads at once.
            std::lock_guard lock(m_mutex);
            auto [it, isNew] = m_others.try_emplace(codePoint, kNoGlyph);
            if (isNew) {
                it->second = read(codePoint);
            }
            found = it->second;
        }
        if (found < 0) {
            return std::nullopt;
        }
        return found;
    }

private:
    float read(uint32_t codePoint) const {
        const FT_UInt glyph = FT_Get_Char_Index(m_face, codePoint);
        FT_Fixed units = 0;
        if (glyph == 0 || FT_Get_Advance(m_face, glyph, FT_LOAD_NO_SCALE, &units) != 0) {
            return kNoGlyph;
        }
        return static_cast<float>(static_cast<double>(units) * m_perEm);
    }

    FT_Face m_face;
    std::string m_family;
    bool m_emboldened;
    double m_perEm = 0.0;
    std::array<float, kPreloaded> m_preloaded{};
    mutable std::mutex m_mutex;
    mutable std::unordered_map<uint32_t, float> m_others;
};

struct Library {
    std::mutex mutex;
    FT_Library freetype = nullptr;
    bool started = false;
    // By lowercase family, bold and italic; nullptr where nothing matched.
    std::map<std::tuple<std::string, bool, bool>, std::shared_ptr<const InstalledFont>> faces;
};

Library& library() {
    static Library* instance = new Library;  // outlives every thread that measures
    return *instance;
}

std::shared_ptr<const InstalledFont> load(FT_Library freetype, const std::string& family, bool bold,
                                          bool italic) {
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) {
        return nullptr;
    }
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) {
        return nullptr;
    }
    std::shared_ptr<const InstalledFont> font;
    FcChar8* file = nullptr;
    FcChar8* matched = nullptr;
    int index = 0;
    FcBool embolden = FcFalse;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        FcPatternGetBool(match, FC_EMBOLDEN, 0, &embolden);
        FcPatternGetString(match, FC_FAMILY, 0, &matched);
        FT_Face face = nullptr;
        if (FT_New_Face(freetype, reinterpret_cast<const char*>(file), index, &face) == 0) {
            if (face->face_flags & FT_FACE_FLAG_SCALABLE) {
                font = std::make_shared<FreeTypeFont>(
                    face, matched ? reinterpret_cast<const char*>(matched) : family,
                    embolden == FcTrue);
            } else {
                FT_Done_Face(face);  // a bitmap font has no design widths to scale
            }
        }
    }
    FcPatternDestroy(match);
    return font;
}

}  // namespace

std::shared_ptr<const InstalledFont> InstalledFont::find(std::string_view family, bool bold,
                                                         bool italic) {
    Library& fonts = library();
    std::lock_guard lock(fonts.mutex);
    if (!fonts.started) {
        fonts.started = true;
        if (FcInit() != FcTrue || FT_Init_FreeType(&fonts.freetype) != 0) {
            fonts.freetype = nullptr;
        }
    }
    if (!fonts.freetype) {
        return nullptr;
    }
    const std::string name(family);
    auto [it, isNew] = fonts.faces.try_emplace({asciiLower(name), bold, italic}, nullptr);
    if (isNew && !name.empty()) {
        it->second = load(fonts.freetype, name, bold, italic);
    }
    return it->second;
}

}  // namespace plyfold::engine
