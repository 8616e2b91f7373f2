#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace plyfold::engine {

// A font installed on the machine, as the desktop shows text in it: the face fontconfig
// matches for a family and style, with its advance widths read by FreeType. Faces are loaded
// once for the life of the program and shared between threads.
class InstalledFont {
public:
    // The face matched for the family, bold and italic; nullptr when nothing matches.
    static std::shared_ptr<const InstalledFont> find(std::string_view family, bool bold,
                                                     bool italic);

    virtual ~InstalledFont() = default;

    // The family of the face matched (Caladea for Cambria, say).
    virtual const std::string& family() const = 0;
    // The advance of a code point in thousandths of an em (design units, the same at every
    // size); nullopt when the face has no glyph for it.
    virtual std::optional<double> advance(uint32_t codePoint) const = 0;
    // True when the face has no bold of its own and bold text is drawn thickened.
    virtual bool emboldened() const = 0;
};

}  // namespace plyfold::engine
