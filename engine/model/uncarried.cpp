#include "engine/model/uncarried.h"

#include <algorithm>

namespace plyfold::engine {

void UncarriedFeatures::add(std::string feature) {
    if (m_features.size() > kMaxListed ||
        std::find(m_features.begin(), m_features.end(), feature) != m_features.end()) {
        return;
    }
    m_features.push_back(m_features.size() == kMaxListed ? std::string("further features")
                                                         : std::move(feature));
}

}  // namespace plyfold::engine
