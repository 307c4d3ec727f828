// Timers, the timer list and time arithmetic.
#include "TestClock.h"

#include <OB/Timer.h>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

// Found by argument-dependent lookup from the assertions.
static bool operator==(const OBTimeVal& a, const OBTimeVal& b) {
    return a.tv_sec == b.tv_sec && a.tv_usec == b.tv_usec;
}

static std::ostream& operator<<(std::ostream& out, const OBTimeVal& tv) {
    return out << "{" << tv.tv_sec << ", " << tv.tv_usec << "}";
}

namespace {

typedef std::vector<std::string> Log;

class LogTimer : public OBTimer {
public:
    LogTimer(std::string name, Log& log) : name_(std::move(name)), log_(log) {}
    LogTimer(std::string name, Log& log, const OBTimeVal& time)
        : OBTimer(time, false), name_(std::move(name)), log_(log) {}

    void expired() override {
        log_.push_back(name_);
        if (restart)
            start_timer(*restart, false);
    }

    const OBTimeVal* restart = nullptr;  // start again at this time

private:
    std::string name_;
    Log& log_;
};

OBTimerList& timers() { return OBTimerList::instance(); }

// --- arithmetic ---

TEST(TimeArithmetic, SubtractBorrowsASecond) {
    EXPECT_EQ(OBTimer::subtract({5, 200000}, {3, 900000}), (OBTimeVal{1, 300000}));
    EXPECT_EQ(OBTimer::subtract({5, 200000}, {3, 200000}), (OBTimeVal{2, 0}));
    EXPECT_EQ(OBTimer::subtract({7, 5}, {7, 5}), (OBTimeVal{0, 0}));
    EXPECT_EQ(OBTimer::subtract({1, 0}, {0, 999999}), (OBTimeVal{0, 1}));
}

TEST(TimeArithmetic, AddCarriesASecond) {
    EXPECT_EQ(OBTimer::add({1, 600000}, {2, 500000}), (OBTimeVal{4, 100000}));
    EXPECT_EQ(OBTimer::add({0, 999999}, {0, 1}), (OBTimeVal{1, 0}));
    EXPECT_EQ(OBTimer::add({0, 999999}, {0, 0}), (OBTimeVal{0, 999999}));
    EXPECT_EQ(OBTimer::add({2, 0}, {3, 0}), (OBTimeVal{5, 0}));
}

TEST(TimeArithmetic, CompareOrdersBySecondsThenMicroseconds) {
    EXPECT_EQ(OBTimer::compare({1, 0}, {1, 0}), 0);
    EXPECT_EQ(OBTimer::compare({1, 999999}, {2, 0}), -1);
    EXPECT_EQ(OBTimer::compare({2, 0}, {1, 999999}), 1);
    EXPECT_EQ(OBTimer::compare({3, 4}, {3, 5}), -1);
    EXPECT_EQ(OBTimer::compare({3, 5}, {3, 4}), 1);
}

TEST(TimeArithmetic, NowHasMillisecondResolution) {
    OBTimeVal now = OBTimer::now();
    EXPECT_GE(now.tv_sec, 0);
    EXPECT_GE(now.tv_usec, 0);
    EXPECT_LT(now.tv_usec, 1000000);
    EXPECT_EQ(now.tv_usec % 1000, 0);
    TestClock clock(5000);
    TestClock::advance(1234567);
    EXPECT_EQ(OBTimer::now(), (OBTimeVal{1234, 567000}));
}

// Timers compare only with each other: a clock that reads seconds since 1970
// past 2^31 (19 January 2038) must neither stop the program nor reorder them.
TEST(Timer, TimersGoOnAcrossTheEndOf32BitSecondsSince1970) {
    const long long lastSecond = 2147483647LL;  // 2038-01-19 03:14:07 UTC
    TestClock clock((lastSecond - 1) * 1000);
    Log log;
    LogTimer before("before", log);
    LogTimer after("after", log);
    before.start_timer({1, 0}, true);
    after.start_timer({3, 0}, true);
    EXPECT_LT(OBTimer::compare(before.time(), after.time()), 0);
    timers().fire_due(OBTimer::now());
    EXPECT_TRUE(log.empty());
    TestClock::advance(1500);  // the clock passes 2^31 seconds
    timers().fire_due(OBTimer::now());
    EXPECT_EQ(log, (Log{"before"}));
    TestClock::advance(2000);
    timers().fire_due(OBTimer::now());
    EXPECT_EQ(log, (Log{"before", "after"}));
    EXPECT_TRUE(timers().empty());
}

// --- timers and the list ---

TEST(Timer, DefaultTimerIsInactiveAtTimeZero) {
    Log log;
    LogTimer t("t", log);
    EXPECT_FALSE(t.active());
    EXPECT_EQ(t.time(), (OBTimeVal{0, 0}));
}

TEST(Timer, RelativeStartAddsTheClock) {
    Log log;
    LogTimer t("t", log);
    const OBTimeVal delay = {3600, 250000};
    OBTimeVal before = OBTimer::now();
    t.start_timer(delay, true);
    OBTimeVal after = OBTimer::now();
    EXPECT_TRUE(t.active());
    EXPECT_LE(OBTimer::compare(OBTimer::add(before, delay), t.time()), 0);
    EXPECT_GE(OBTimer::compare(OBTimer::add(after, delay), t.time()), 0);
    EXPECT_FALSE(timers().empty());
    EXPECT_EQ(timers().first_time(), t.time());
}

TEST(Timer, DestructorStopsAnActiveTimer) {
    Log log;
    {
        LogTimer t("t", log, {10, 0});
        EXPECT_TRUE(t.active());
        EXPECT_FALSE(timers().empty());
    }
    EXPECT_TRUE(timers().empty());
    EXPECT_TRUE(log.empty());
}

TEST(TimerList, TimerDueExactlyNowWaits) {
    Log log;
    LogTimer t("t", log, {100, 500});
    timers().fire_due({100, 500});
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(t.active());
    timers().fire_due({100, 501});
    EXPECT_EQ(log, (Log{"t"}));
    EXPECT_FALSE(t.active());
    EXPECT_TRUE(timers().empty());
}

TEST(TimerList, FiresByTimeThenStartOrderAndOnlyWhatIsDue) {
    Log log;
    LogTimer c("c", log, {30, 0});
    LogTimer a1("a1", log, {10, 0});
    LogTimer b("b", log, {20, 0});
    LogTimer a2("a2", log, {10, 0});
    LogTimer late("late", log, {40, 0});
    EXPECT_EQ(timers().first_time(), (OBTimeVal{10, 0}));
    timers().fire_due({35, 0});
    EXPECT_EQ(log, (Log{"a1", "a2", "b", "c"}));
    EXPECT_TRUE(late.active());
    EXPECT_EQ(timers().first_time(), (OBTimeVal{40, 0}));
}

TEST(TimerList, StoppedTimerIsUnlinkedFromAnyPlace) {
    Log log;
    LogTimer a("a", log, {1, 0});
    LogTimer b("b", log, {2, 0});
    LogTimer c("c", log, {3, 0});
    b.stop_timer();
    EXPECT_FALSE(b.active());
    a.stop_timer();
    EXPECT_EQ(timers().first_time(), (OBTimeVal{3, 0}));
    b.start_timer({0, 5}, false);
    timers().fire_due({10, 0});
    EXPECT_EQ(log, (Log{"b", "c"}));
    EXPECT_TRUE(timers().empty());
}

TEST(TimerList, ExpiredMayStartTheTimerAgain) {
    Log log;
    const OBTimeVal again = {50, 0};
    LogTimer t("t", log, {5, 0});
    t.restart = &again;
    timers().fire_due({6, 0});
    EXPECT_EQ(log, (Log{"t"}));
    EXPECT_TRUE(t.active());
    EXPECT_EQ(t.time(), again);
    t.restart = nullptr;
}

#ifndef _WIN32
TEST(TimerDeathTest, StartingAnActiveTimerIsAnInternalError) {
    Log log;
    LogTimer t("t", log, {5, 0});
    EXPECT_DEATH(t.start_timer({6, 0}, false), "Assertion failed: !activated_");
}

TEST(TimerDeathTest, StartingATimerInsideTheListIsAnInternalError) {
    Log log;
    LogTimer first("first", log, {5, 0});
    LogTimer second("second", log, {6, 0});
    EXPECT_DEATH(first.start_timer({7, 0}, false), "Assertion failed: !next_");
}

TEST(TimerDeathTest, StoppingAnInactiveTimerIsAnInternalError) {
    Log log;
    LogTimer t("t", log);
    EXPECT_DEATH(t.stop_timer(), "Assertion failed: activated_");
}

TEST(TimerDeathTest, UnnormalisedTimesAreInternalErrors) {
    EXPECT_DEATH(OBTimer::compare({0, 1000000}, {0, 0}), "Assertion failed: a\\.tv_usec < 1000000");
    EXPECT_DEATH(OBTimer::add({0, 0}, {-1, 0}), "Assertion failed: b\\.tv_sec >= 0");
    EXPECT_DEATH(OBTimer::add({0, 0}, {0, -1}), "Assertion failed: b\\.tv_usec >= 0");
    EXPECT_DEATH(OBTimer::subtract({3, 0}, {3, 1}), "Assertion failed: tv\\.tv_sec >= 0");
    Log log;
    LogTimer t("t", log);
    EXPECT_DEATH(t.start_timer({1, 1000000}, false), "Assertion failed: time\\.tv_usec < 1000000");
}
#endif

} // namespace
