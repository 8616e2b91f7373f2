#include "discovery/natural_order.h"

namespace plyfold::discovery {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

char foldCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// -1, 0 or 1 as a sorts before, with or after b, comparing digit runs by value.
int compareNatural(std::string_view a, std::string_view b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Leading zeros do not change a run's value; a longer run is then the larger.
            while (i < a.size() && a[i] == '0') {
                ++i;
            }
            while (j < b.size() && b[j] == '0') {
                ++j;
            }
            size_t runA = i;
            size_t runB = j;
            while (runA < a.size() && isDigit(a[runA])) {
                ++runA;
            }
            while (runB < b.size() && isDigit(b[runB])) {
                ++runB;
            }
            size_t lengthA = runA - i;
            size_t lengthB = runB - j;
            if (lengthA != lengthB) {
                return lengthA < lengthB ? -1 : 1;
            }
            int digits = a.substr(i, lengthA).compare(b.substr(j, lengthB));
            if (digits != 0) {
                return digits < 0 ? -1 : 1;
            }
            i = runA;
            j = runB;
            continue;
        }
        auto ca = static_cast<unsigned char>(foldCase(a[i]));
        auto cb = static_cast<unsigned char>(foldCase(b[j]));
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
        ++i;
        ++j;
    }
    if (i < a.size()) {
        return 1;
    }
    return j < b.size() ? -1 : 0;
}

}  // namespace

bool naturalLess(std::string_view a, std::string_view b) {
    int order = compareNatural(a, b);
    if (order != 0) {
        return order < 0;
    }
    return a < b;
}

}  // namespace plyfold::discovery
