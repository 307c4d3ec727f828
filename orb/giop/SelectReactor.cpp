// The select-based reactor.
#include <OB/SelectReactor.h>

#include <OB/Assert.h>
#include <OB/Except.h>
#include <OB/Timer.h>

namespace {

OBTimeVal fromMilliseconds(CORBA_Long ms) {
    OBTimeVal tv = {ms / 1000, (ms % 1000) * 1000};
    return tv;
}

// Fires the timers that are due. Then, if a timer remains, sets untilFirst
// to the time left until it and returns true; returns false otherwise.
bool fireTimers(OBTimeVal& untilFirst) {
    OBTimerList& timers = OBTimerList::instance();
    if (timers.empty())
        return false;
    OBTimeVal now = OBTimer::now();
    timers.fire_due(now);
    if (timers.empty())
        return false;
    // Whatever remains is not earlier than now: timers started by expired()
    // read a clock that is not behind it.
    untilFirst = OBTimer::subtract(timers.first_time(), now);
    return true;
}

// Sets a flag for its lifetime and then restores the earlier value, also
// when a callback throws.
class ScopedFlag {
public:
    explicit ScopedFlag(bool& flag) : flag_(flag), earlier_(flag) { flag_ = true; }
    ~ScopedFlag() { flag_ = earlier_; }
    ScopedFlag(const ScopedFlag&) = delete;
    ScopedFlag& operator=(const ScopedFlag&) = delete;

private:
    bool& flag_;
    const bool earlier_;
};

} // namespace

OBSelectReactor* OBSelectReactor::instance() {
    static OBSelectReactor reactor;
    return &reactor;
}

void OBSelectReactor::register_handler(OBEventHandler* handler, CORBA_Long mask,
                                       OBSocketHandle handle) {
    OB_ASSERT(handler);
    for (Entry& entry : table_) {
        if (entry.handler == handler) {
            entry.mask = mask;
            entry.handle = handle;
            return;
        }
    }
    table_.push_back(Entry{handler, mask, handle, next_serial_++});
}

void OBSelectReactor::unregister_handler(OBEventHandler* handler) {
    for (auto it = table_.begin(); it != table_.end(); ++it) {
        if (it->handler == handler) {
            table_.erase(it);
            return;
        }
    }
    OB_ASSERT(false);
}

void OBSelectReactor::run() {
    stop_ = false;
    for (;;) {
        OBTimeVal untilTimer;
        bool timers = fireTimers(untilTimer);
        Sets sets = build_sets();
        CORBA_Long result = wait_for_events(sets, timers ? &untilTimer : nullptr);
        if (!timers)
            OB_ASSERT(result != 0);
        if (result == 0)
            continue;  // a timer is due: fire it before anything else
        dispatch(sets);
        if (stop_) {
            notify_stop();
            return;
        }
    }
}

bool OBSelectReactor::dispatch_one(CORBA_Long timeout) {
    for (;;) {
        OBTimeVal untilTimer;
        bool timers = fireTimers(untilTimer);
        Sets sets = build_sets();

        OBTimeVal limit = {0, 0};
        const OBTimeVal* wait = nullptr;
        if (timeout >= 0) {
            limit = fromMilliseconds(timeout);
            wait = &limit;
        }
        // A timer due before the caller's limit bounds the wait instead; its
        // expiry is not a result, so the caller's full time applies again.
        bool timerWait = timers && (timeout < 0 || OBTimer::compare(limit, untilTimer) >= 0);
        if (timerWait)
            wait = &untilTimer;

        CORBA_Long result = wait_for_events(sets, wait);
        if (!wait)
            OB_ASSERT(result != 0);
        if (result == 0) {
            if (timerWait)
                continue;
            return false;
        }
        dispatch(sets);
        return true;
    }
}

OBSelectReactor::Sets OBSelectReactor::build_sets() const {
    Sets sets;
    for (const Entry& entry : table_) {
        if (entry.mask == 0)
            continue;
        if (entry.handle >= sets.nfds)
            sets.nfds = entry.handle + 1;
        // A full set leaves the socket unwatched for this pass.
        if (entry.mask & OBEventRead)
            sets.read.add(entry.handle);
        if (entry.mask & OBEventWrite)
            sets.write.add(entry.handle);
    }
    return sets;
}

CORBA_Long OBSelectReactor::wait_for_events(Sets& sets, const OBTimeVal* timeout) {
    CORBA_Long result = OBSocketSelect(sets.nfds, &sets.read, &sets.write, timeout);
    if (result < 0) {
        // Described before anything else can touch the error code.
        const char* reason = socket_error_text();
        throw CORBA_COMM_FAILURE(reason, OBMinorSelect, CORBA_COMPLETED_NO);
    }
    return result;
}

void OBSelectReactor::dispatch(const Sets& ready) {
    // Callbacks may change the table; iterate over this pass's copy. The
    // outermost pass reuses one vector, so a pass allocates nothing.
    std::vector<Entry> nested;
    std::vector<Entry>& pass = dispatching_ ? nested : pass_;
    pass = table_;
    const ScopedFlag running(dispatching_);
    for (const Entry& entry : pass) {
        CORBA_Long events = 0;
        if (ready.read.contains(entry.handle))
            events |= OBEventRead;
        if (ready.write.contains(entry.handle))
            events |= OBEventWrite;
        // An earlier callback may have removed, even destroyed, this handler,
        // or taken its mask away. A handler without a mask has closed its
        // socket, whose number another socket in the sets may have taken.
        events &= current_mask(entry.serial);
        if (events != 0)
            entry.handler->on_events(events);
    }
}

void OBSelectReactor::notify_stop() {
    const std::vector<Entry> pass = table_;
    for (const Entry& entry : pass) {
        if (registered(entry.serial))
            entry.handler->on_reactor_stop();
    }
}

CORBA_Long OBSelectReactor::current_mask(CORBA_ULong serial) const {
    for (const Entry& entry : table_) {
        if (entry.serial == serial)
            return entry.mask;
    }
    return 0;
}

bool OBSelectReactor::registered(CORBA_ULong serial) const {
    for (const Entry& entry : table_) {
        if (entry.serial == serial)
            return true;
    }
    return false;
}
