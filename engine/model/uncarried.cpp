#include "engine/model/uncarried.h"

#include <algorithm>

namespace plyfold::engine {

void UncarriedFeatures::add(std::string feature) {
    if (std::find(m_features.begin(), m_features.end(), feature) == m_features.end()) {
        m_features.push_back(std::move(feature));
    }
}

}  // namespace plyfold::engine
