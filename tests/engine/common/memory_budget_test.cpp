#include <gtest/gtest.h>

#include <memory>

#include "engine/common/memory_budget.h"

namespace plyfold {
namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr uint64_t kGiB = uint64_t{1} << 30;

TEST(MemoryBudget, SizesAreReadAsUsersWriteThem) {
    struct Case {
        const char* text;
        std::optional<uint64_t> bytes;
    };
    const Case cases[] = {
        {"512M", 512 * kMiB},
        {"512m", 512 * kMiB},
        {"512MB", 512 * kMiB},
        {"512MiB", 512 * kMiB},
        {"2G", 2 * kGiB},
        {"2 GB", 2 * kGiB},
        {"1.5G", kGiB + kGiB / 2},
        {"64K", 64 * 1024},
        {"1T", 1024 * kGiB},
        {"1000000", 1000000},
        {"1000000B", 1000000},
        {" 3G ", 3 * kGiB},
        {"", std::nullopt},
        {"G", std::nullopt},
        {"0", std::nullopt},
        {"0M", std::nullopt},
        {"-1G", std::nullopt},
        {"2X", std::nullopt},
        {"2GBs", std::nullopt},
        {"1.G", std::nullopt},
        {"2 G B", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"99999999999T", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseMemorySize(c.text), c.bytes) << "'" << c.text << "'";
    }
}

TEST(MemoryBudget, SizesAreWrittenInTheirLargestWholeUnit) {
    struct Case {
        uint64_t bytes;
        const char* text;
    };
    const Case cases[] = {
        {2 * kGiB, "2 GB"},    {kGiB + kGiB / 2, "1.5 GB"}, {512 * kMiB, "512 MB"},
        {kGiB - 1, "1024 MB"}, {64 * 1024, "64 KB"},        {1000, "1000 bytes"},
        {1, "1 byte"},         {4 * kGiB, "4 GB"},          {3 * 1024 * kGiB, "3 TB"},
        {kMiB + 1024, "1 MB"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(memorySizeText(c.bytes), c.text) << c.bytes;
    }
}

TEST(MemoryBudget, ChargesPastTheLimitAreRefusedAndCountNothing) {
    MemoryBudget budget(1000);
    budget.charge(600);
    budget.charge(400);
    EXPECT_EQ(budget.used(), 1000u);
    try {
        budget.charge(1);
        FAIL() << "a charge past the limit was taken";
    } catch (const MemoryLimitReached& reached) {
        EXPECT_EQ(reached.limit(), 1000u);
    }
    EXPECT_THROW(budget.charge(UINT64_MAX), MemoryLimitReached);
    EXPECT_EQ(budget.used(), 1000u);
    budget.release(500);
    budget.charge(500);
    budget.setLimit(2000);
    budget.charge(1000);
    EXPECT_EQ(budget.used(), 2000u);
}

TEST(MemoryBudget, TheDefaultSuitsADesktop) {
    const uint64_t limit = MemoryBudget::defaultLimit();
    EXPECT_GT(limit, 0u);
    EXPECT_LE(limit, 4 * kGiB);
}

TEST(MemoryBudget, AnAccountMovesToItsBudgetAndGivesBackWhatItCounted) {
    auto budget = std::make_shared<MemoryBudget>(1000);
    {
        MemoryAccount account;
        account.charge(300);  // counted before the account has a budget
        account.setBudget(budget);
        EXPECT_EQ(budget->used(), 300u);
        account.charge(200);
        EXPECT_EQ(budget->used(), 500u);
        {
            ScopedCharge buffer(account);
            buffer.add(400);
            EXPECT_EQ(budget->used(), 900u);
            EXPECT_THROW(buffer.add(200), MemoryLimitReached);
        }
        EXPECT_EQ(budget->used(), 500u);
        EXPECT_EQ(account.bytes(), 500u);
        // An account gives back no more than it counted.
        account.release(10000);
        EXPECT_EQ(account.bytes(), 0u);
        EXPECT_EQ(budget->used(), 0u);
        account.charge(700);
    }
    EXPECT_EQ(budget->used(), 0u);

    // A workbook that already holds more than the budget has room for does not move to it.
    auto small = std::make_shared<MemoryBudget>(100);
    MemoryAccount big;
    big.charge(500);
    EXPECT_THROW(big.setBudget(small), MemoryLimitReached);
    EXPECT_EQ(big.budget(), nullptr);
    EXPECT_EQ(small->used(), 0u);
    big.setBudget(budget);
    EXPECT_EQ(budget->used(), 500u);
    big.setBudget(nullptr);
    EXPECT_EQ(budget->used(), 0u);
    EXPECT_EQ(big.bytes(), 500u);
}

TEST(MemoryBudget, ChunkedCountsReachTheAccountEveryChunk) {
    auto budget = std::make_shared<MemoryBudget>(ChunkedCount::kChunk * 3);
    MemoryAccount account;
    account.setBudget(budget);
    ChunkedCount count(account);
    for (uint64_t i = 0; i < ChunkedCount::kChunk - 1; ++i) {
        count.add(1);
    }
    EXPECT_EQ(budget->used(), 0u);
    count.add(1);
    EXPECT_EQ(budget->used(), ChunkedCount::kChunk);
    count.add(5);
    count.flush();
    EXPECT_EQ(budget->used(), ChunkedCount::kChunk + 5);
    EXPECT_THROW(count.add(ChunkedCount::kChunk * 2), MemoryLimitReached);
}

}  // namespace
}  // namespace plyfold
