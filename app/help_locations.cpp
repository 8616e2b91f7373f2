#include "app/help_locations.h"

#include <filesystem>

namespace plyfold::app {

std::string_view SourceTreeManual() {
    return PLYFOLD_SOURCE_TREE_MANUAL;
}

std::vector<std::string> HelpLocations(const std::string& programFolder,
                                       std::string_view sourceTreeManual) {
    const std::filesystem::path folder(programFolder);
    std::vector<std::string> locations = {
        (folder / "help.chm").lexically_normal().string(),
        (folder / ".." / "share" / "plyfold" / "manual" / "index.html").lexically_normal().string(),
    };
    if (!sourceTreeManual.empty()) {
        locations.emplace_back(sourceTreeManual);
    }
    return locations;
}

}  // namespace plyfold::app
