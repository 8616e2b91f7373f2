#include "engine/common/memory_budget.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>

namespace plyfold {
namespace {

constexpr uint64_t kKilobyte = 1024;
constexpr uint64_t kMegabyte = kKilobyte * 1024;
constexpr uint64_t kGigabyte = kMegabyte * 1024;
constexpr uint64_t kTerabyte = kGigabyte * 1024;

constexpr uint64_t kMostByDefault = 4 * kGigabyte;
// When the machine does not say how much memory it has.
constexpr uint64_t kUnknownMachineLimit = 2 * kGigabyte;

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsLower(std::string_view text, std::string_view lower) {
    return text.size() == lower.size() &&
           std::equal(text.begin(), text.end(), lower.begin(),
                      [](char a, char b) { return lowerAscii(a) == b; });
}

}  // namespace

void MemoryBudget::charge(uint64_t bytes) {
    const uint64_t limit = this->limit();
    uint64_t used = m_used.load(std::memory_order_relaxed);
    do {
        if (bytes > limit || used > limit - bytes) {
            throw MemoryLimitReached(limit);
        }
    } while (!m_used.compare_exchange_weak(used, used + bytes, std::memory_order_relaxed));
}

void MemoryBudget::release(uint64_t bytes) {
    m_used.fetch_sub(bytes, std::memory_order_relaxed);
}

uint64_t MemoryBudget::defaultLimit() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) {
        return kUnknownMachineLimit;
    }
    const uint64_t physical = static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
    return std::min(physical / 2, kMostByDefault);
}

std::string memorySizeText(uint64_t bytes) {
    struct Unit {
        uint64_t size;
        const char* name;
    };
    constexpr std::array<Unit, 4> kUnits = {
        {{kTerabyte, "TB"}, {kGigabyte, "GB"}, {kMegabyte, "MB"}, {kKilobyte, "KB"}}};
    for (const Unit& unit : kUnits) {
        if (bytes >= unit.size) {
            const double value = static_cast<double>(bytes) / static_cast<double>(unit.size);
            const double tenths = std::round(value * 10) / 10;
            char text[48];
            if (tenths == std::floor(tenths)) {
                std::snprintf(text, sizeof text, "%.0f %s", tenths, unit.name);
            } else {
                std::snprintf(text, sizeof text, "%.1f %s", tenths, unit.name);
            }
            return text;
        }
    }
    return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

std::optional<uint64_t> parseMemorySize(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    size_t digits = 0;
    uint64_t whole = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        if (whole > (std::numeric_limits<uint64_t>::max() - 9) / 10) {
            return std::nullopt;
        }
        whole = whole * 10 + static_cast<uint64_t>(text[digits] - '0');
        ++digits;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    double fraction = 0;
    size_t at = digits;
    if (at < text.size() && text[at] == '.') {
        double scale = 0.1;
        size_t fractionDigits = 0;
        for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
            fraction += (text[at] - '0') * scale;
            scale /= 10;
            ++fractionDigits;
        }
        if (fractionDigits == 0) {
            return std::nullopt;
        }
    }
    std::string_view suffix = text.substr(at);
    while (!suffix.empty() && suffix.front() == ' ') {
        suffix.remove_prefix(1);
    }
    uint64_t unit = 0;
    if (suffix.empty() || equalsLower(suffix, "b")) {
        unit = 1;
    } else {
        const char first = lowerAscii(suffix.front());
        const std::string_view rest = suffix.substr(1);
        if (!rest.empty() && !equalsLower(rest, "b") && !equalsLower(rest, "ib")) {
            return std::nullopt;
        }
        switch (first) {
            case 'k':
                unit = kKilobyte;
                break;
            case 'm':
                unit = kMegabyte;
                break;
            case 'g':
                unit = kGigabyte;
                break;
            case 't':
                unit = kTerabyte;
                break;
            default:
                return std::nullopt;
        }
    }
    if (whole > std::numeric_limits<uint64_t>::max() / unit) {
        return std::nullopt;
    }
    const uint64_t bytes =
        whole * unit + static_cast<uint64_t>(fraction * static_cast<double>(unit));
    if (bytes == 0) {
        return std::nullopt;
    }
    return bytes;
}

MemoryAccount::~MemoryAccount() {
    if (m_budget) {
        m_budget->release(bytes());
    }
}

void MemoryAccount::setBudget(std::shared_ptr<MemoryBudget> budget) {
    if (budget == m_budget) {
        return;
    }
    const uint64_t counted = bytes();
    if (budget) {
        budget->charge(counted);
    }
    if (m_budget) {
        m_budget->release(counted);
    }
    m_budget = std::move(budget);
}

void MemoryAccount::charge(uint64_t bytes) {
    if (m_budget) {
        m_budget->charge(bytes);
    }
    m_bytes.fetch_add(bytes, std::memory_order_relaxed);
}

void MemoryAccount::release(uint64_t bytes) {
    // Never below zero: an account gives back at most what it counted.
    uint64_t counted = this->bytes();
    uint64_t given;
    do {
        given = std::min(counted, bytes);
    } while (!m_bytes.compare_exchange_weak(counted, counted - given, std::memory_order_relaxed));
    if (m_budget) {
        m_budget->release(given);
    }
}

}  // namespace plyfold
