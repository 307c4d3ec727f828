// The ORB's clock: milliseconds on a clock that never jumps, counted from its
// first reading in the process. Timers, time-outs and the idle test before a
// request all read it, so that no calendar date can overflow the 32-bit
// seconds that timers hold, and so that a test can put a clock of its own in
// its place and move time on without waiting.
#ifndef OB_CLOCK_H
#define OB_CLOCK_H

// A source of milliseconds on a clock that never goes back, from any origin.
typedef long long (*OBClockSource)();

// Milliseconds since the origin: the first reading of the current source.
// Never negative, never decreasing.
long long OBClockNow();

// Replaces the source (null: the system's steady clock); its reading now
// becomes the new origin. Meant for tests, from one thread while no timer is
// active and no timed wait is running.
void OBSetClockSource(OBClockSource source);

// Milliseconds since construction on OBClockNow.
class OBStopwatch {
public:
    OBStopwatch() : start_(OBClockNow()) {}
    long long elapsed() const { return OBClockNow() - start_; }

private:
    long long start_;
};

#endif
