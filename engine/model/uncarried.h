#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace plyfold::engine {

// What a reader found in a workbook or a sheet that the model cannot hold, so that nothing
// copied from it carries it: "pivot table", "form control", "VBA project", ... A merge lists
// them for the user instead of dropping them without a word. Each feature is listed once.
class UncarriedFeatures {
public:
    // Adds feature unless it is listed already. Past kMaxListed features, a last entry says
    // there are more: a file that names thousands of its own is not read into a long list.
    void add(std::string feature);
    static constexpr size_t kMaxListed = 64;
    const std::vector<std::string>& list() const { return m_features; }
    bool empty() const { return m_features.empty(); }
    void clear() { m_features.clear(); }

private:
    std::vector<std::string> m_features;
};

}  // namespace plyfold::engine
