#include "engine/model/rich_text.h"

namespace plyfold::engine {

std::string RichText::plainText() const {
    std::string text;
    for (const TextRun& run : runs) {
        text += run.text;
    }
    return text;
}

}  // namespace plyfold::engine
