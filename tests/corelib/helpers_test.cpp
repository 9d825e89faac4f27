// The free helpers: byte copy, minimum, rounded-up division and month lengths.
#include "ka/exception.h"
#include "ka/helpers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>

namespace {

TEST(HelpersMemcpy, CopiesForwardByteByByte) {
    char buf[] = "abcdefgh";
    EXPECT_EQ(3, Ka::memcpy(buf + 4, "XYZ", 3));
    EXPECT_STREQ("abcdXYZh", buf);
    // Overlap with the destination behind the source: the copy runs forward,
    // so the first byte repeats.
    char run[] = "abcdef";
    EXPECT_EQ(4, Ka::memcpy(run + 1, run, 4));
    EXPECT_STREQ("aaaaaf", run);
    char shift[] = "abcdef";
    Ka::memcpy(shift, shift + 1, 5);
    EXPECT_STREQ("bcdeff", shift);
    // Nothing to copy.
    EXPECT_EQ(0, Ka::memcpy(buf, "zz", 0));
    EXPECT_EQ(0, Ka::memcpy(buf, "zz", -7));
    EXPECT_STREQ("abcdXYZh", buf);
}

struct Tagged {
    int iKey;
    char cTag;
    bool operator<(const Tagged &o) const { return iKey < o.iKey; }
};

TEST(HelpersMinOf, SmallerOrFirst) {
    EXPECT_EQ(3, Ka::minOf<int>(3, 5));
    EXPECT_EQ(3, Ka::minOf<int>(5, 3));
    EXPECT_EQ(INT_MIN, Ka::minOf<int>(INT_MAX, INT_MIN));
    EXPECT_EQ('a', Ka::minOf(Tagged{1, 'a'}, Tagged{1, 'b'}).cTag);
    EXPECT_EQ('b', Ka::minOf(Tagged{2, 'a'}, Tagged{1, 'b'}).cTag);
}

TEST(HelpersDivUp, RoundsUpAndRefusesBadOperands) {
    EXPECT_EQ(0, Ka::divUp(0, 8));
    EXPECT_EQ(1, Ka::divUp(1, 8));
    EXPECT_EQ(1, Ka::divUp(8, 8));
    EXPECT_EQ(2, Ka::divUp(9, 8));
    EXPECT_EQ(7, Ka::divUp(7, 1));
    EXPECT_EQ((int64_t(1) << 28) + 1, Ka::divUp((int64_t(1) << 40) + 1, 4096));
    EXPECT_EQ(1, Ka::divUp(INT64_MAX, INT64_MAX));
    EXPECT_EQ(2, Ka::divUp(INT64_MAX - 1, INT64_MAX / 2));
    EXPECT_EQ(3, Ka::divUp(INT64_MAX, INT64_MAX / 2));
    EXPECT_THROW(Ka::divUp(5, 0), Ka::ExceptionBase);
    EXPECT_THROW(Ka::divUp(5, -4), Ka::ExceptionBase);
    EXPECT_THROW(Ka::divUp(-1, 4), Ka::ExceptionBase);
    EXPECT_THROW(Ka::divUp(INT64_MIN, -1), Ka::ExceptionBase);
}

TEST(HelpersDaysInMonth, LeapRulesAndOverflowingMonths) {
    EXPECT_EQ(29, Ka::getDaysInMonth(1, 2000));
    EXPECT_EQ(28, Ka::getDaysInMonth(1, 1900));
    EXPECT_EQ(29, Ka::getDaysInMonth(1, 2012));
    EXPECT_EQ(28, Ka::getDaysInMonth(1, 2011));
    EXPECT_EQ(29, Ka::getDaysInMonth(13, 2011)); // February 2012
    EXPECT_EQ(31, Ka::getDaysInMonth(12, 2011)); // January 2012
    EXPECT_EQ(-1, Ka::getDaysInMonth(-1, 2012));
    EXPECT_EQ(-1, Ka::getDaysInMonth(INT_MIN, 2012));
    // INT_MAX months: year + 178956970 would pass INT_MAX in 32 bits.
    int iDays = Ka::getDaysInMonth(INT_MAX, INT_MAX);
    EXPECT_GE(iDays, 28);
    EXPECT_LE(iDays, 31);
}

// Against the standard library's Gregorian calendar over four centuries and
// a bit, negative years included.
TEST(HelpersDaysInMonth, MatchesStandardCalendar) {
    using namespace std::chrono;
    for (int iYear = -401; iYear <= 2401; ++iYear)
        for (unsigned iMonth = 1; iMonth <= 12; ++iMonth) {
            unsigned iExpected =
                unsigned(year_month_day_last(year(iYear), month_day_last(month(iMonth))).day());
            ASSERT_EQ(int(iExpected), Ka::getDaysInMonth(int(iMonth) - 1, iYear))
                << iYear << "-" << iMonth;
        }
}

} // namespace
