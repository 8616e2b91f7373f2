#include <gtest/gtest.h>

#include "engine/ops/date_serial.h"

namespace plyfold::engine {
namespace {

TEST(DateSerial, KnownDaysOfBothSystems) {
    struct Case {
        int64_t serial;
        bool date1904;
        CivilDate date;
        int weekday;  // 0 Sunday
    };
    const Case cases[] = {
        {0, false, {1900, 1, 0}, 6},      {1, false, {1900, 1, 1}, 0},
        {59, false, {1900, 2, 28}, 2},    {60, false, {1900, 2, 29}, 3},
        {61, false, {1900, 3, 1}, 4},     {1462, false, {1904, 1, 1}, 5},
        {45000, false, {2023, 3, 15}, 3}, {2958465, false, {9999, 12, 31}, 5},
        {0, true, {1904, 1, 1}, 5},       {1, true, {1904, 1, 2}, 6},
        {43538, true, {2023, 3, 15}, 3},
    };
    for (const Case& c : cases) {
        auto date = dateFromSerial(c.serial, c.date1904);
        ASSERT_TRUE(date) << c.serial;
        EXPECT_EQ(*date, c.date) << c.serial << (c.date1904 ? " (1904)" : "");
        EXPECT_EQ(weekdayOfSerial(c.serial, c.date1904), c.weekday) << c.serial;
        EXPECT_EQ(serialFromDate(c.date, c.date1904), c.serial) << c.serial;
    }
}

TEST(DateSerial, EverySerialRoundTripsOneDayApart) {
    for (bool date1904 : {false, true}) {
        CivilDate previous{};
        const int64_t last = date1904 ? kMaxDateSerial1900 - kDate1904Offset : kMaxDateSerial1900;
        for (int64_t serial = 0; serial <= last; ++serial) {
            auto date = dateFromSerial(serial, date1904);
            ASSERT_TRUE(date) << serial;
            ASSERT_EQ(serialFromDate(*date, date1904), serial);
            if (serial > 0) {
                // The next day is the previous day plus one, or the first of the next month.
                const bool sameMonth = date->year == previous.year &&
                                       date->month == previous.month &&
                                       date->day == previous.day + 1;
                const bool nextMonth = date->day == 1 && (date->month == previous.month % 12 + 1);
                ASSERT_TRUE(sameMonth || nextMonth) << serial;
            }
            previous = *date;
        }
        EXPECT_FALSE(dateFromSerial(last + 1, date1904));
        EXPECT_FALSE(dateFromSerial(-1, date1904));
    }
}

TEST(DateSerial, RejectsDaysThatDoNotExist) {
    EXPECT_FALSE(serialFromDate({1900, 2, 29}, true));
    EXPECT_FALSE(serialFromDate({1903, 12, 31}, true));
    EXPECT_FALSE(serialFromDate({2023, 2, 29}, false));
    EXPECT_FALSE(serialFromDate({2023, 13, 1}, false));
    EXPECT_FALSE(serialFromDate({1899, 12, 31}, false));
    EXPECT_EQ(serialFromDate({2024, 2, 29}, false), 45351);
}

}  // namespace
}  // namespace plyfold::engine
