// Local-time conversion with the time zone set through TZ (POSIX only: the
// Windows runtime takes its zone another way).
#if !defined(_WIN32)
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <cstdint>
#include <string>
#include <thread>

#include <zel/zel.h>

namespace {

class LocalTime : public ::testing::Test {
protected:
    void SetUp() override {
        const char *old = getenv("TZ");
        hadZone_ = old != nullptr;
        if (hadZone_) oldZone_ = old;
    }
    void TearDown() override {
        if (hadZone_) {
            setenv("TZ", oldZone_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    static void UseZone(const char *zone) {
        setenv("TZ", zone, 1);
        tzset();
    }

private:
    bool hadZone_ = false;
    std::string oldZone_;
};

TEST_F(LocalTime, EpochInUtc) {
    UseZone("UTC0");
    const ZEL_INT64 epoch = 0;
    const struct tm *tm = OsaStdLocalTime(&epoch);
    ASSERT_NE(tm, nullptr);
    EXPECT_EQ(tm->tm_sec, 0);
    EXPECT_EQ(tm->tm_min, 0);
    EXPECT_EQ(tm->tm_hour, 0);
    EXPECT_EQ(tm->tm_mday, 1);
    EXPECT_EQ(tm->tm_mon, 0);
    EXPECT_EQ(tm->tm_year, 70);
    EXPECT_EQ(tm->tm_wday, 4);
    EXPECT_EQ(tm->tm_yday, 0);
    EXPECT_EQ(tm->tm_isdst, 0);
}

TEST_F(LocalTime, FollowsTheZoneAndDaylightSaving) {
    // Central European rules written out, so no zone database is needed.
    UseZone("CET-1CEST,M3.5.0,M10.5.0/3");
    const ZEL_INT64 winter = 0;
    const struct tm *tm = OsaStdLocalTime(&winter);
    ASSERT_NE(tm, nullptr);
    EXPECT_EQ(tm->tm_hour, 1);
    EXPECT_EQ(tm->tm_isdst, 0);
    const ZEL_INT64 summer = 15552000;  // 1970-06-29 00:00:00 UTC
    tm = OsaStdLocalTime(&summer);
    ASSERT_NE(tm, nullptr);
    EXPECT_EQ(tm->tm_hour, 2);
    EXPECT_GT(tm->tm_isdst, 0);
}

TEST_F(LocalTime, OneRecordPerThreadOverwrittenByTheNextCall) {
    UseZone("UTC0");
    const ZEL_INT64 first = 0;
    const ZEL_INT64 second = 86400 * 2;
    const struct tm *mine = OsaStdLocalTime(&first);
    const struct tm *theirs = nullptr;
    std::thread other([&] { theirs = OsaStdLocalTime(&second); });
    other.join();
    ASSERT_NE(mine, nullptr);
    EXPECT_NE(mine, theirs);
    EXPECT_EQ(mine->tm_mday, 1);
    EXPECT_EQ(OsaStdLocalTime(&second), mine);
    EXPECT_EQ(mine->tm_mday, 3);
}

TEST_F(LocalTime, RefusesWhatDoesNotFit) {
    UseZone("UTC0");
    const ZEL_INT64 farFuture = INT64_MAX;
    EXPECT_EQ(OsaStdLocalTime(&farFuture), nullptr);
    const ZEL_INT64 farPast = INT64_MIN;
    EXPECT_EQ(OsaStdLocalTime(&farPast), nullptr);
    const ZEL_INT64 before1970 = -86400;
    const struct tm *tm = OsaStdLocalTime(&before1970);
    ASSERT_NE(tm, nullptr);
    EXPECT_EQ(tm->tm_year, 69);
    EXPECT_EQ(tm->tm_mday, 31);
}

}  // namespace
#endif
