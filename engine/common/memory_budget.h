#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace plyfold {

// Thrown when what is being read or built would take the memory counted against a budget past
// its limit. The code that knows which file or sheet it was turns it into a message.
class MemoryLimitReached : public std::exception {
public:
    explicit MemoryLimitReached(uint64_t limit) : m_limit(limit) {}
    uint64_t limit() const { return m_limit; }
    const char* what() const noexcept override { return "the memory limit was reached"; }

private:
    uint64_t m_limit;
};

// The memory one merge may use. The large things the engine holds (cells, texts, formulas,
// the tables of a file read whole) are counted against it as they are built, in chunks (a
// row, a block of texts), never byte by byte. Shared by the workbooks of one server instance,
// which may be used from more than one thread.
class MemoryBudget {
public:
    explicit MemoryBudget(uint64_t limit) : m_limit(limit) {}
    MemoryBudget(const MemoryBudget&) = delete;
    MemoryBudget& operator=(const MemoryBudget&) = delete;

    uint64_t limit() const { return m_limit.load(std::memory_order_relaxed); }
    void setLimit(uint64_t limit) { m_limit.store(limit, std::memory_order_relaxed); }
    uint64_t used() const { return m_used.load(std::memory_order_relaxed); }

    // Counts bytes, or throws MemoryLimitReached (counting nothing) when they do not fit.
    void charge(uint64_t bytes);
    void release(uint64_t bytes);

    // What a merge may use unless told otherwise: half the physical memory, at most 4 GB.
    static uint64_t defaultLimit();

private:
    std::atomic<uint64_t> m_limit;
    std::atomic<uint64_t> m_used{0};
};

// "2 GB", "1.5 GB", "512 MB": a size for messages, in units of 1024.
std::string memorySizeText(uint64_t bytes);

// Reads a size as a user writes it: a number of bytes, or a number with K, M, G or T (KB,
// MB, ...; in units of 1024): "512M", "2G", "1.5GB". nullopt for anything else or for 0.
std::optional<uint64_t> parseMemorySize(std::string_view text);

// What one workbook has counted, against its server instance's budget when it has one. The
// workbook's bytes are given back when it goes.
class MemoryAccount {
public:
    MemoryAccount() = default;
    MemoryAccount(const MemoryAccount&) = delete;
    MemoryAccount& operator=(const MemoryAccount&) = delete;
    ~MemoryAccount();

    // Counts against budget from now on (none: counted, never refused). What was counted
    // before moves to it, which throws MemoryLimitReached when it does not fit; the account
    // keeps its old budget then.
    void setBudget(std::shared_ptr<MemoryBudget> budget);
    const std::shared_ptr<MemoryBudget>& budget() const { return m_budget; }

    void charge(uint64_t bytes);
    void release(uint64_t bytes);
    uint64_t bytes() const { return m_bytes.load(std::memory_order_relaxed); }

private:
    std::shared_ptr<MemoryBudget> m_budget;
    std::atomic<uint64_t> m_bytes{0};
};

// Counts many small things (entries of a table being read) in chunks: add() only adds up, the
// account hears of the bytes every chunk and at flush().
class ChunkedCount {
public:
    static constexpr uint64_t kChunk = 64 * 1024;

    explicit ChunkedCount(MemoryAccount& account) : m_account(account) {}

    void add(uint64_t bytes) {
        m_pending += bytes;
        if (m_pending >= kChunk) {
            flush();
        }
    }
    void flush() {
        m_account.charge(m_pending);
        m_pending = 0;
    }

private:
    MemoryAccount& m_account;
    uint64_t m_pending = 0;
};

// Bytes counted for a while, for what lives only while something else is built (a buffer of
// records to sort, a whole file's bytes); given back when it goes out of scope.
class ScopedCharge {
public:
    explicit ScopedCharge(MemoryAccount& account) : m_account(account) {}
    ScopedCharge(const ScopedCharge&) = delete;
    ScopedCharge& operator=(const ScopedCharge&) = delete;
    ~ScopedCharge() { m_account.release(m_bytes); }

    void add(uint64_t bytes) {
        m_account.charge(bytes);
        m_bytes += bytes;
    }

private:
    MemoryAccount& m_account;
    uint64_t m_bytes = 0;
};

}  // namespace plyfold
