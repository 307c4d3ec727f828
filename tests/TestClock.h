// Test support: the ORB's clock (OB/Clock.h) replaced, for a test's
// duration, by one that moves only when the test moves it, from any thread.
// Time-outs still end, since every wait is bounded by the system as well;
// what the clock decides (what has run out, what is idle, which timer is
// due) is then the test's choice.
#ifndef TESTS_TEST_CLOCK_H
#define TESTS_TEST_CLOCK_H

#include <OB/Clock.h>

#include <atomic>
#include <mutex>

class TestClock {
public:
    // The ORB reads this clock from now on; its source reads start ms (the
    // ORB counts from its first reading, so start is what the source shows,
    // such as a date, not what OBClockNow() returns).
    explicit TestClock(long long start = 0) {
        value().store(start);
        OBSetClockSource(&read);
    }
    // The system's clock again.
    ~TestClock() { OBSetClockSource(nullptr); }
    TestClock(const TestClock&) = delete;
    TestClock& operator=(const TestClock&) = delete;

    // Moves the clock on by ms; any thread.
    static void advance(long long ms) { value() += ms; }

    // Moves the clock on by ms and runs step (which must not read the ORB's
    // clock); a reading meanwhile waits until step is done, so that no thread
    // sees the new time without what step does, such as a message sent.
    template <typename Step>
    static void advanceWith(long long ms, Step step) {
        std::lock_guard<std::mutex> hold(gate());
        value() += ms;
        step();
    }

private:
    static std::atomic<long long>& value() {
        static std::atomic<long long> ms(0);
        return ms;
    }
    static std::mutex& gate() {
        static std::mutex m;
        return m;
    }
    static long long read() {
        std::lock_guard<std::mutex> wait(gate());
        return value().load();
    }
};

#endif
