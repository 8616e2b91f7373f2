#include "engine/io/csv/dialect_guess.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "engine/common/error.h"
#include "engine/io/csv/field_splitter.h"
#include "engine/io/csv/field_typing.h"

namespace plyfold::engine::csv {
namespace {

constexpr size_t kSampleBytes = 64 * 1024;
constexpr size_t kSampleLines = 50;
constexpr std::array<char, 4> kCandidates = {',', ';', '\t', '|'};

using Counts = std::array<uint32_t, kCandidates.size()>;

int candidateIndex(char c) {
    for (size_t i = 0; i < kCandidates.size(); ++i) {
        if (kCandidates[i] == c) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

struct Sample {
    std::vector<Counts> lines;  // the count of each candidate outside quotes, by line
    bool everyCommaIsDecimalOrProse = true;
};

// Counts the candidates of the first lines. A quote opens a quoted part at the start of a
// line or right after a candidate, as it would open a quoted field; a line the sample cuts
// short is left out.
Sample sampleLines(std::string_view text) {
    Sample sample;
    const size_t limit = std::min(text.size(), kSampleBytes);
    Counts counts{};
    bool inQuotes = false;
    bool atFieldStart = true;
    bool lineHasText = false;
    for (size_t i = 0; i < limit; ++i) {
        const char c = text[i];
        if (inQuotes) {
            if (c == '"') {
                if (i + 1 < limit && text[i + 1] == '"') {
                    ++i;
                } else {
                    inQuotes = false;
                }
            }
            continue;
        }
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < limit && text[i + 1] == '\n') {
                ++i;
            }
            if (lineHasText) {
                sample.lines.push_back(counts);
                if (sample.lines.size() == kSampleLines) {
                    return sample;
                }
            }
            counts = {};
            lineHasText = false;
            atFieldStart = true;
            continue;
        }
        lineHasText = true;
        if (c == '"' && atFieldStart) {
            inQuotes = true;
            atFieldStart = false;
            continue;
        }
        const int index = candidateIndex(c);
        atFieldStart = index >= 0;
        if (index < 0) {
            continue;
        }
        ++counts[static_cast<size_t>(index)];
        if (c == ',') {
            const bool betweenDigits =
                i > 0 && isDigit(text[i - 1]) && i + 1 < text.size() && isDigit(text[i + 1]);
            const bool beforeSpace = i + 1 < text.size() && text[i + 1] == ' ';
            if (!betweenDigits && !beforeSpace) {
                sample.everyCommaIsDecimalOrProse = false;
            }
        }
    }
    if (lineHasText && limit == text.size() && !inQuotes) {
        sample.lines.push_back(counts);
    }
    return sample;
}

// How many lines hold the candidate the same non-zero number of times, when that is every
// line or four in five; 0 when the candidate does not separate the lines consistently.
size_t consistentLines(const std::vector<Counts>& lines, size_t candidate) {
    if (lines.size() < 2) {
        return 0;
    }
    std::vector<uint32_t> counts;
    counts.reserve(lines.size());
    for (const Counts& line : lines) {
        counts.push_back(line[candidate]);
    }
    std::sort(counts.begin(), counts.end());
    size_t best = 0;
    for (size_t start = 0; start < counts.size();) {
        size_t end = start;
        while (end < counts.size() && counts[end] == counts[start]) {
            ++end;
        }
        if (counts[start] != 0 && end - start > best) {
            best = end - start;
        }
        start = end;
    }
    return best * 5 >= lines.size() * 4 ? best : 0;
}

}  // namespace

char guessDelimiter(std::string_view text) {
    const Sample sample = sampleLines(text);
    size_t bestLines = 0;
    char best = ',';
    for (size_t i = 1; i < kCandidates.size(); ++i) {
        const size_t lines = consistentLines(sample.lines, i);
        if (lines > bestLines) {
            bestLines = lines;
            best = kCandidates[i];
        }
    }
    if (best != ',' && consistentLines(sample.lines, 0) > 0 && !sample.everyCommaIsDecimalOrProse) {
        return ',';
    }
    return best;
}

bool writesDecimalCommas(std::string_view text, char delimiter, const std::string& displayName) {
    bool comma = false;
    bool point = false;
    try {
        FieldSplitter splitter(text, delimiter, displayName);
        splitter.run([&](std::string_view field) {
            switch (decimalEvidence(field)) {
                case DecimalEvidence::Comma:
                    comma = true;
                    return true;
                case DecimalEvidence::Point:
                    point = true;
                    return false;
                case DecimalEvidence::None:
                    return true;
            }
            return true;
        });
    } catch (const SpreadsheetError&) {
        // A field too long for a cell: reading the cells reports it.
        return false;
    }
    return comma && !point;
}

}  // namespace plyfold::engine::csv
