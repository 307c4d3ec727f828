// Timers of the reactor and the time arithmetic they use.
//
// Active timers form one process-wide list sorted by time; the reactor fires
// the ones that are due at the start of each pass and bounds its waits by the
// first one. Times are OBTimeVal values kept normalised: tv_sec >= 0 and
// 0 <= tv_usec < 1000000.
#ifndef OB_TIMER_H
#define OB_TIMER_H

#include <OB/Net.h>

class OBTimerList;

// A time-out that an application defines by overriding expired(). The owner
// keeps the object; an active timer is stopped by its destructor.
class OBTimer {
public:
    // An inactive timer with time 0.
    OBTimer();

    // A timer started at once: at now() + time if relative, else at time.
    OBTimer(const OBTimeVal& time, bool relative);

    // Stops the timer if it is active.
    virtual ~OBTimer();

    OBTimer(const OBTimer&) = delete;
    OBTimer& operator=(const OBTimer&) = delete;

    // Called once when the timer's time has passed; the timer is inactive by
    // then and may be started again from here.
    virtual void expired() = 0;

    // Sets the time (now() + time if relative, else time) and puts the timer
    // into the list, after every timer whose time is not later. The timer
    // must be inactive.
    void start_timer(const OBTimeVal& time, bool relative);

    // Takes the timer out of the list. The timer must be active.
    void stop_timer();

    // True while the timer is in the list.
    bool active() const { return activated_; }

    // The time at which the timer fires.
    const OBTimeVal& time() const { return time_; }

    // The ORB's clock (OB/Clock.h) with millisecond resolution: seconds
    // since its origin and the milliseconds as microseconds. Timers compare
    // only with each other, so the origin is the process's first reading,
    // not the epoch: no date overflows the 32-bit seconds.
    static OBTimeVal now();

    // -1, 0 or 1 as a is earlier than, equal to or later than b.
    static int compare(const OBTimeVal& a, const OBTimeVal& b);

    // a + b, normalised.
    static OBTimeVal add(const OBTimeVal& a, const OBTimeVal& b);

    // a - b, normalised; b must not be later than a.
    static OBTimeVal subtract(const OBTimeVal& a, const OBTimeVal& b);

private:
    friend class OBTimerList;

    OBTimer* next_;    // following timer in the list, null when not listed
    bool activated_;   // true while in the list
    OBTimeVal time_;
};

// The process-wide list of active timers, earliest first.
class OBTimerList {
public:
    // The one list, created on first use.
    static OBTimerList& instance();

    // True when no timer is active.
    bool empty() const { return !head_; }

    // Time of the first timer; the list must not be empty.
    const OBTimeVal& first_time() const;

    // Links timer in after every timer whose time is not later, and marks it
    // active. The timer must be inactive.
    void insert(OBTimer* timer);

    // Unlinks timer and marks it inactive. The timer must be active.
    void remove(OBTimer* timer);

    // Takes out and fires, in order, every timer whose time is strictly
    // earlier than now. A timer due exactly at now waits.
    void fire_due(const OBTimeVal& now);

private:
    OBTimerList() = default;

    OBTimer* head_ = nullptr;
};

#endif
