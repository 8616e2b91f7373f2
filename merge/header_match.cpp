#include "merge/header_match.h"

#include <algorithm>
#include <map>

#include "engine/common/text.h"

namespace plyfold::merge {
namespace {

constexpr std::string_view kNoBreakSpace = "\xC2\xA0";

bool isAsciiBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The header without the blanks around it (the no-break space, which headers often end in,
// counts as one).
std::string_view trimmedHeader(std::string_view header) {
    while (!header.empty()) {
        if (isAsciiBlank(header.front())) {
            header.remove_prefix(1);
        } else if (header.starts_with(kNoBreakSpace)) {
            header.remove_prefix(kNoBreakSpace.size());
        } else {
            break;
        }
    }
    while (!header.empty()) {
        if (isAsciiBlank(header.back())) {
            header.remove_suffix(1);
        } else if (header.ends_with(kNoBreakSpace)) {
            header.remove_suffix(kNoBreakSpace.size());
        } else {
            break;
        }
    }
    return header;
}

std::string shownHeader(std::string_view header) {
    const std::string_view trimmed = trimmedHeader(header);
    return trimmed.empty() ? std::string("(blank)") : std::string(trimmed);
}

// The headers of `from` that `minus` lacks, counting repeats, in from's order.
std::vector<std::string> headersNotIn(const std::vector<std::string>& from,
                                      const std::vector<std::string>& minus) {
    std::map<std::string, int> available;
    for (const std::string& header : minus) {
        ++available[headerKey(header)];
    }
    std::vector<std::string> missing;
    for (const std::string& header : from) {
        int& count = available[headerKey(header)];
        if (count > 0) {
            --count;
        } else {
            missing.push_back(shownHeader(header));
        }
    }
    return missing;
}

std::string joined(const std::vector<std::string>& names) {
    constexpr size_t kShown = 5;
    std::string text;
    for (size_t i = 0; i < std::min(names.size(), kShown); ++i) {
        text += (i == 0 ? "" : ", ") + names[i];
    }
    if (names.size() > kShown) {
        text += " and " + std::to_string(names.size() - kShown) + " more";
    }
    return text;
}

}  // namespace

std::string headerKey(std::string_view header) {
    return engine::caseFolded(trimmedHeader(header));
}

std::vector<int32_t> HeaderUnion::place(const std::vector<std::string>& headers) {
    std::vector<int32_t> columns;
    columns.reserve(headers.size());
    std::map<std::string, int> seen;  // rank of each header within the block so far
    for (const std::string& header : headers) {
        std::string key = headerKey(header);
        int rank = seen[key]++;
        int32_t column = -1;
        for (size_t i = 0; i < m_keys.size(); ++i) {
            if (m_keys[i] == key && rank-- == 0) {
                column = static_cast<int32_t>(i);
                break;
            }
        }
        if (column < 0) {
            column = static_cast<int32_t>(m_keys.size());
            m_keys.push_back(std::move(key));
        }
        columns.push_back(column);
    }
    return columns;
}

std::string headerDifference(const std::vector<std::string>& first,
                             const std::vector<std::string>& other) {
    const std::vector<std::string> lacks = headersNotIn(first, other);
    const std::vector<std::string> adds = headersNotIn(other, first);
    std::string text;
    if (!lacks.empty()) {
        text = "lacks " + joined(lacks);
    }
    if (!adds.empty()) {
        text += (text.empty() ? "adds " : "; adds ") + joined(adds);
    }
    if (!text.empty()) {
        return text;
    }
    const bool sameOrder = std::equal(
        first.begin(), first.end(), other.begin(), other.end(),
        [](const std::string& a, const std::string& b) { return headerKey(a) == headerKey(b); });
    return sameOrder ? std::string() : std::string("the same headers in another order");
}

}  // namespace plyfold::merge
