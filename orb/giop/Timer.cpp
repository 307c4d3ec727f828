// Timers, the timer list and time arithmetic.
#include <OB/Timer.h>

#include <OB/Assert.h>
#include <OB/Clock.h>

// Checks that t is normalised; the report names the operand.
#define OB_CHECK_TIME(t)                 \
    (OB_ASSERT(t.tv_sec >= 0),           \
     OB_ASSERT(t.tv_usec >= 0),          \
     OB_ASSERT(t.tv_usec < 1000000))

namespace {
const CORBA_Long usecPerSec = 1000000;
}

OBTimer::OBTimer() : next_(nullptr), activated_(false), time_{0, 0} {}

OBTimer::OBTimer(const OBTimeVal& time, bool relative) : OBTimer() { start_timer(time, relative); }

OBTimer::~OBTimer() {
    if (activated_)
        stop_timer();
    OB_ASSERT(!next_);
    OB_ASSERT(!activated_);
}

void OBTimer::start_timer(const OBTimeVal& time, bool relative) {
    OB_ASSERT(!next_);
    OB_ASSERT(!activated_);
    if (relative) {
        time_ = add(now(), time);
    } else {
        OB_CHECK_TIME(time);
        time_ = time;
    }
    OBTimerList::instance().insert(this);
    OB_ASSERT(activated_);
}

void OBTimer::stop_timer() {
    OB_ASSERT(activated_);
    OBTimerList::instance().remove(this);
    OB_ASSERT(!next_);
    OB_ASSERT(!activated_);
}

OBTimeVal OBTimer::now() {
    // Counted from the clock's origin in this process, not from 1970: the
    // 32-bit seconds last 68 years of running, whatever the date.
    const long long ms = OBClockNow();
    OBTimeVal tv = {static_cast<CORBA_Long>(ms / 1000), static_cast<CORBA_Long>(ms % 1000) * 1000};
    return tv;
}

int OBTimer::compare(const OBTimeVal& a, const OBTimeVal& b) {
    OB_CHECK_TIME(a);
    OB_CHECK_TIME(b);
    if (a.tv_sec != b.tv_sec)
        return a.tv_sec < b.tv_sec ? -1 : 1;
    if (a.tv_usec != b.tv_usec)
        return a.tv_usec < b.tv_usec ? -1 : 1;
    return 0;
}

OBTimeVal OBTimer::add(const OBTimeVal& a, const OBTimeVal& b) {
    OB_CHECK_TIME(a);
    OB_CHECK_TIME(b);
    OBTimeVal tv = {a.tv_sec + b.tv_sec, a.tv_usec + b.tv_usec};
    if (tv.tv_usec >= usecPerSec) {
        ++tv.tv_sec;
        tv.tv_usec -= usecPerSec;
    }
    OB_CHECK_TIME(tv);
    return tv;
}

OBTimeVal OBTimer::subtract(const OBTimeVal& a, const OBTimeVal& b) {
    OB_CHECK_TIME(a);
    OB_CHECK_TIME(b);
    OBTimeVal tv = {a.tv_sec - b.tv_sec, a.tv_usec - b.tv_usec};
    if (tv.tv_usec < 0) {
        --tv.tv_sec;
        tv.tv_usec += usecPerSec;
    }
    OB_CHECK_TIME(tv);
    return tv;
}

OBTimerList& OBTimerList::instance() {
    static OBTimerList list;
    return list;
}

const OBTimeVal& OBTimerList::first_time() const {
    OB_ASSERT(head_);
    return head_->time_;
}

void OBTimerList::insert(OBTimer* timer) {
    OB_ASSERT(!timer -> next_);
    OB_ASSERT(!timer -> activated_);
    // Equal times keep start order: pass every timer that is not later.
    OBTimer** link = &head_;
    while (*link && OBTimer::compare((*link)->time_, timer->time_) <= 0)
        link = &(*link)->next_;
    timer->next_ = *link;
    *link = timer;
    timer->activated_ = true;
}

void OBTimerList::remove(OBTimer* timer) {
    OB_ASSERT(timer -> activated_);
    OBTimer** link = &head_;
    while (*link != timer) {
        OB_ASSERT(*link);
        link = &(*link)->next_;
    }
    *link = timer->next_;
    timer->next_ = nullptr;
    timer->activated_ = false;
}

void OBTimerList::fire_due(const OBTimeVal& now) {
    while (head_ && OBTimer::compare(now, head_->time_) > 0) {
        OBTimer* timer = head_;
        head_ = timer->next_;
        timer->next_ = nullptr;
        timer->activated_ = false;
        timer->expired();
    }
}
