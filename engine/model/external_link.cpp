#include "engine/model/external_link.h"

#include "engine/common/text.h"

namespace plyfold::engine {

int32_t ExternalBook::sheetIndex(std::string_view name) const {
    for (size_t i = 0; i < sheets.size(); ++i) {
        if (equalsIgnoringAsciiCase(sheets[i].name, name)) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

int32_t ExternalBook::addSheet(std::string_view name) {
    int32_t index = sheetIndex(name);
    if (index < 0) {
        index = static_cast<int32_t>(sheets.size());
        sheets.push_back(ExternalSheet{std::string(name), {}});
    }
    return index;
}

const DefinedName* findDefinedName(const std::vector<DefinedName>& names, std::string_view name) {
    for (const DefinedName& defined : names) {
        if (equalsIgnoringAsciiCase(defined.name, name)) {
            return &defined;
        }
    }
    return nullptr;
}

}  // namespace plyfold::engine
