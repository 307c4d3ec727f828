// The ORB's clock and its replaceable source.
#include <OB/Clock.h>

#include <chrono>

namespace {

long long steadyMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Origin -1: not read yet. Read on first use rather than at static
// initialisation, which other static objects' constructors may precede.
struct ClockState {
    OBClockSource source = steadyMilliseconds;
    long long origin = -1;
};

ClockState& state() {
    static ClockState clock;
    return clock;
}

}  // namespace

long long OBClockNow() {
    ClockState& clock = state();
    const long long now = clock.source();
    if (clock.origin < 0)
        clock.origin = now;
    return now - clock.origin;
}

void OBSetClockSource(OBClockSource source) {
    ClockState& clock = state();
    clock.source = source ? source : steadyMilliseconds;
    clock.origin = clock.source();
}
