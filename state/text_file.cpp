#include "state/text_file.h"

namespace plyfold::state {

std::vector<std::string> splitLines(std::string_view bytes) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r') {
            continue;
        }
        lines.emplace_back(bytes.substr(start, i - start));
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            ++i;
        }
        start = i + 1;
    }
    if (start < bytes.size()) {
        lines.emplace_back(bytes.substr(start));
    }
    return lines;
}

std::string fileInFolder(const std::string& folder, std::string_view name) {
    if (!folder.empty() && folder.back() == '/') {
        return folder + std::string(name);
    }
    return folder + "/" + std::string(name);
}

}  // namespace plyfold::state
