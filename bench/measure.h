#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace plyfold::bench {

struct Measurement {
    double seconds = 0;
    int64_t peakBytes = 0;  // peak resident memory of the process that did the work
    bool ok = false;
};

// Runs work in a child process so each measurement starts from a fresh heap and its peak
// memory is its own; the child's wall time and peak resident size come back.
Measurement measureInChild(const std::function<void()>& work);

// Wall time of work run here.
double secondsOf(const std::function<void()>& work);

std::string formatCount(double value);  // 1.92M, 540k, 17
std::string formatBytes(double bytes);  // 12.3 MB

}  // namespace plyfold::bench
