#include "bench/measure.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>

namespace plyfold::bench {

double secondsOf(const std::function<void()>& work) {
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

Measurement measureInChild(const std::function<void()>& work) {
    std::fflush(stdout);
    auto start = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child == 0) {
        try {
            work();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "failed: %s\n", error.what());
            _exit(1);
        }
        _exit(0);
    }
    Measurement m;
    int status = 0;
    struct rusage usage {};
    if (child > 0 && wait4(child, &status, 0, &usage) == child) {
        m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        m.peakBytes = static_cast<int64_t>(usage.ru_maxrss) * 1024;
        m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return m;
}

std::string formatCount(double value) {
    char text[32];
    if (value >= 1e6) {
        std::snprintf(text, sizeof text, "%.2fM", value / 1e6);
    } else if (value >= 1e3) {
        std::snprintf(text, sizeof text, "%.1fk", value / 1e3);
    } else {
        std::snprintf(text, sizeof text, "%.0f", value);
    }
    return text;
}

std::string formatBytes(double bytes) {
    char text[32];
    if (bytes >= 1e9) {
        std::snprintf(text, sizeof text, "%.2f GB", bytes / 1e9);
    } else if (bytes >= 1e6) {
        std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
    } else {
        std::snprintf(text, sizeof text, "%.1f kB", bytes / 1e3);
    }
    return text;
}

}  // namespace plyfold::bench
