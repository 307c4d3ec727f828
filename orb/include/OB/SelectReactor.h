// The reactor: one thread multiplexes the ORB's sockets with select and
// calls an event handler when its socket is ready; active timers (OB/Timer.h)
// fire at the start of each pass and bound each wait.
#ifndef OB_SELECT_REACTOR_H
#define OB_SELECT_REACTOR_H

#include <OB/Net.h>

#include <vector>

// Event mask bits; 3 is both, 0 none.
const CORBA_Long OBEventRead = 1;
const CORBA_Long OBEventWrite = 2;

// Receives the events of one watched socket. Owned by whoever registers it,
// never by the reactor; it must be unregistered before it is destroyed.
class OBEventHandler {
public:
    virtual ~OBEventHandler() = default;

    // The handler's socket is ready: mask holds OBEventRead and/or
    // OBEventWrite.
    virtual void on_events(CORBA_Long mask) = 0;

    // The reactor's run() has been told to stop and is about to return.
    virtual void on_reactor_stop() = 0;
};

// Interface of a reactor; holds the stop flag.
class OBReactor {
public:
    virtual ~OBReactor() = default;

    // Watches handle for the events in mask (0: registered but not watched)
    // on behalf of handler. A handler already registered keeps its place and
    // takes the new mask and handle.
    virtual void register_handler(OBEventHandler* handler, CORBA_Long mask,
                                  OBSocketHandle handle) = 0;

    // Removes handler, keeping the order of the others. The handler must be
    // registered.
    virtual void unregister_handler(OBEventHandler* handler) = 0;

    // Dispatches passes of events until stop() is called; then calls
    // on_reactor_stop() on each handler and returns.
    virtual void run() = 0;

    // Makes run() return after its current pass.
    virtual void stop() { stop_ = true; }

    // Waits at most timeout ms (negative: without limit) for one pass of
    // events and dispatches it: true if a pass was dispatched, false if the
    // time ran out.
    virtual bool dispatch_one(CORBA_Long timeout) = 0;

protected:
    OBReactor() = default;

    bool stop_ = false;
};

// The select-based reactor, one per process.
//
// Each pass fires due timers, builds the socket sets from the handler table
// in registration order (at most OBSocketSet::capacity sockets per set; the
// others wait), selects, and calls the ready handlers from a copy of the
// table. Changes made by callbacks take effect in the next pass; a handler
// removed during a pass is not called later in that pass. A failing select
// raises CORBA_COMM_FAILURE minor OBMinorSelect, COMPLETED_NO, with
// socket_error_text() as reason. Exceptions from callbacks end the pass and
// propagate.
class OBSelectReactor : public OBReactor {
public:
    // The one reactor, created on the first call and kept until the process
    // ends.
    static OBSelectReactor* instance();

    OBSelectReactor(const OBSelectReactor&) = delete;
    OBSelectReactor& operator=(const OBSelectReactor&) = delete;

    void register_handler(OBEventHandler* handler, CORBA_Long mask, OBSocketHandle handle) override;
    void unregister_handler(OBEventHandler* handler) override;
    void run() override;
    bool dispatch_one(CORBA_Long timeout) override;

private:
    struct Entry {
        OBEventHandler* handler;
        CORBA_Long mask;
        OBSocketHandle handle;
        CORBA_ULong serial;  // tells a later registration from this one
    };

    struct Sets {
        CORBA_Long nfds = 0;
        OBSocketSet read;
        OBSocketSet write;
    };

    OBSelectReactor() = default;

    // The socket sets of the current table.
    Sets build_sets() const;

    // select on sets with timeout (null: without limit): the count of ready
    // sockets, 0 on time-out; raises on failure.
    CORBA_Long wait_for_events(Sets& sets, const OBTimeVal* timeout);

    // Calls on_events on every table entry of a copy whose socket is in the
    // ready sets.
    void dispatch(const Sets& ready);

    // Calls on_reactor_stop on every handler of a copy of the table.
    void notify_stop();

    // True if the entry with serial is still in the table.
    bool registered(CORBA_ULong serial) const;

    // The mask that the entry with serial has now; 0 when it is gone.
    CORBA_Long current_mask(CORBA_ULong serial) const;

    std::vector<Entry> table_;
    CORBA_ULong next_serial_ = 0;
    std::vector<Entry> pass_;   // copy of the table for the outermost pass
    bool dispatching_ = false;  // a pass is running (a callback may start another)
};

#endif
