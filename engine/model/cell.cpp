#include "engine/model/cell.h"

#include <array>

namespace plyfold::engine {
namespace {

constexpr std::array<std::string_view, 8> kErrorTexts = {
    "#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A", "#GETTING_DATA"};

}  // namespace

std::string_view errorText(ErrorValue error) {
    return kErrorTexts[static_cast<size_t>(error)];
}

bool parseErrorText(std::string_view text, ErrorValue& error) {
    for (size_t i = 0; i < kErrorTexts.size(); ++i) {
        if (kErrorTexts[i] == text) {
            error = static_cast<ErrorValue>(i);
            return true;
        }
    }
    return false;
}

}  // namespace plyfold::engine
