#include "engine/common/temporary_files.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace plyfold::files {
namespace {

constexpr int kSlotCount = 64;
constexpr size_t kPathRoom = 4096;

enum SlotState : int { kFree, kClaimed, kLive };

// A slot's path is written while it is claimed and only read once it is live, so the handler
// never reads a path being written. Everything here is static: the handler allocates nothing.
struct Slot {
    std::atomic<int> state{kFree};
    char path[kPathRoom];
};

static_assert(std::atomic<int>::is_always_lock_free, "the handler reads the states");

Slot g_slots[kSlotCount];

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void removeTemporaryFilesAndEnd(int signalNumber) {
    for (Slot& slot : g_slots) {
        if (slot.state.load(std::memory_order_acquire) == kLive) {
            ::unlink(slot.path);
        }
    }
    // The signal is blocked while its handler runs: raised again with the default action, it
    // ends the program as soon as the handler returns, and the parent sees it as the cause.
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    ::sigaction(signalNumber, &defaultAction, nullptr);
    ::raise(signalNumber);
}

// The path as the handler must see it: absolute, since the current folder may change.
bool absolutePath(const std::string& path, std::string& absolute) {
    if (!path.empty() && path.front() == '/') {
        absolute = path;
        return true;
    }
    char folder[kPathRoom];
    if (::getcwd(folder, sizeof folder) == nullptr) {
        return false;
    }
    absolute = folder;
    if (absolute.back() != '/') {
        absolute += '/';
    }
    absolute += path;
    return true;
}

}  // namespace

void removeTemporaryFilesOnSignals() {
    for (int signalNumber : kSignals) {
        struct sigaction previous {};
        if (::sigaction(signalNumber, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction action {};
        action.sa_handler = removeTemporaryFilesAndEnd;
        // One handler at a time: a second signal waits until the first has ended the program.
        sigemptyset(&action.sa_mask);
        for (int other : kSignals) {
            sigaddset(&action.sa_mask, other);
        }
        ::sigaction(signalNumber, &action, nullptr);
    }
}

TemporaryFileRegistration::TemporaryFileRegistration(const std::string& path) {
    std::string absolute;
    if (!absolutePath(path, absolute) || absolute.size() >= kPathRoom ||
        absolute.find('\0') != std::string::npos) {
        return;
    }
    for (int i = 0; i < kSlotCount; ++i) {
        int expected = kFree;
        if (g_slots[i].state.compare_exchange_strong(expected, kClaimed,
                                                     std::memory_order_acquire)) {
            std::memcpy(g_slots[i].path, absolute.c_str(), absolute.size() + 1);
            g_slots[i].state.store(kLive, std::memory_order_release);
            m_slot = i;
            return;
        }
    }
}

TemporaryFileRegistration::~TemporaryFileRegistration() {
    if (m_slot >= 0) {
        g_slots[m_slot].state.store(kFree, std::memory_order_release);
    }
}

}  // namespace plyfold::files
