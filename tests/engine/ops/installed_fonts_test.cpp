#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include <gtest/gtest.h>
#include FT_FREETYPE_H

#include <cmath>
#include <string>
#include <string_view>

#include "engine/model/workbook.h"
#include "engine/ops/autofit.h"
#include "engine/ops/installed_fonts.h"
#include "engine/ops/sheet_ops.h"

namespace plyfold::engine {
namespace {

// The width of an ASCII text in the face fontconfig picks for a family, in thousandths of an
// em, read here straight from the font file.
struct FaceWidth {
    std::string family;  // the family of the face found
    double thousandths = 0.0;
};

FaceWidth widthInFace(const char* family, bool bold, std::string_view text) {
    FaceWidth result;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult found;
    FcPattern* match = FcFontMatch(nullptr, pattern, &found);
    FcPatternDestroy(pattern);
    if (!match) {
        return result;
    }
    FcChar8* file = nullptr;
    FcChar8* name = nullptr;
    FcPatternGetString(match, FC_FILE, 0, &file);
    FcPatternGetString(match, FC_FAMILY, 0, &name);
    result.family = name ? reinterpret_cast<const char*>(name) : "";
    FT_Library library;
    FT_Face face;
    if (file && FT_Init_FreeType(&library) == 0) {
        if (FT_New_Face(library, reinterpret_cast<const char*>(file), 0, &face) == 0) {
            for (char c : text) {
                FT_Load_Char(face, static_cast<unsigned char>(c), FT_LOAD_NO_SCALE);
                result.thousandths +=
                    face->glyph->metrics.horiAdvance * 1000.0 / face->units_per_EM;
            }
            FT_Done_Face(face);
        }
        FT_Done_FreeType(library);
    }
    FcPatternDestroy(match);
    return result;
}

Font fontNamed(const char* name, double size, bool bold = false) {
    Font font;
    font.name = name;
    font.size = size;
    font.bold = bold;
    return font;
}

TEST(InstalledFonts, FitsAColumnToTheAdvancesOfTheFontInstalled) {
    constexpr std::string_view heading = "Quarterly reconciliation (EUR)";
    struct Case {
        const char* family;
        double size;
        bool bold;
    };
    const Case cases[] = {{"DejaVu Sans", 11, false},
                          {"DejaVu Sans", 11, true},
                          {"Liberation Serif", 14, false},
                          {"Cambria", 11, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.family) + (c.bold ? " bold" : ""));
        const FaceWidth face = widthInFace(c.family, c.bold, heading);
        ASSERT_GT(face.thousandths, 0) << "no face for the family";
        Workbook book;  // its default font is Calibri 11, a digit 0.507 em wide
        Sheet& sheet = book.addSheet("S");
        CellStyle style;
        style.font = book.styles().addFont(fontNamed(c.family, c.size, c.bold));
        Cell& cell = sheet.cellAt({0, 0});
        cell.type = CellType::Text;
        cell.value.text = book.strings().intern(heading);
        cell.style = book.styles().addStyle(style);
        autoFitColumns(sheet);

        const double digits = face.thousandths * c.size / (507.0 * 11.0);
        EXPECT_NEAR(sheet.columnWidth(0), columnWidthForText(digits), 1.0 / 256);
        // Not the Calibri table's estimate, which would cut these fonts' wider texts.
        const double calibri =
            textWidthInDigits(heading, fontNamed("Calibri", c.size, c.bold), book.styles().font(0));
        EXPECT_GT(std::abs(digits - calibri), 0.5);
    }
}

TEST(InstalledFonts, FindsFacesOncePerFamilyAndStyle) {
    auto regular = InstalledFont::find("DejaVu Sans", false, false);
    ASSERT_TRUE(regular);
    EXPECT_EQ(regular->family(), "DejaVu Sans");
    EXPECT_EQ(InstalledFont::find("dejavu sans", false, false), regular);
    auto bold = InstalledFont::find("DejaVu Sans", true, false);
    ASSERT_TRUE(bold);
    EXPECT_NE(bold, regular);
    EXPECT_GT(*bold->advance('m'), *regular->advance('m'));
    // Beyond the code points read up front, and one the face has no glyph for.
    EXPECT_GT(regular->advance(0x0416).value_or(0), 0);  // Cyrillic Zhe
    EXPECT_FALSE(regular->advance(0x10FFFD));
    EXPECT_FALSE(InstalledFont::find("", false, false));
    // The metric twins take the Office families' places where installed.
    if (widthInFace("Cambria", false, "x").family == "Caladea") {
        EXPECT_EQ(InstalledFont::find("Cambria", false, false)->family(), "Caladea");
    }
}

}  // namespace
}  // namespace plyfold::engine
