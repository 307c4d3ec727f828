// The reactive client worker: the reactor calls it when its socket is ready,
// and a thread waiting for a reply drives the reactor.
#include <OB/GIOPClient.h>

namespace {

OBReactor* reactor() {
    return OBSelectReactor::instance();
}

}  // namespace

OBGIOPClientWorkerReactive::OBGIOPClientWorkerReactive(OBGIOPClient* client, OCI_Transport* transport)
    : OBGIOPClientWorker(client, transport), handle_(transport_->handle()), watching_(true) {
    OB_ASSERT_NAMED(handle_ >= 0, "handle >= 0");
    reactor()->register_handler(this, OBEventRead, handle_);
}

OBGIOPClientWorkerReactive::~OBGIOPClientWorkerReactive() {
    reactor()->unregister_handler(this);
}

void OBGIOPClientWorkerReactive::watch(CORBA_Long mask) {
    if (watching_)
        reactor()->register_handler(this, mask, handle_);
}

void OBGIOPClientWorkerReactive::enqueue(OBBuffer& buf) {
    OBGIOPClientWorker::enqueue(buf);
    if (queue_length() == 1)
        watch(OBEventRead | OBEventWrite);
}

void OBGIOPClientWorkerReactive::close() {
    // A closed handle must leave the sets before the system reuses its number.
    watch(0);
    watching_ = false;
    OBGIOPClientWorker::close();
}

CORBA_ULong OBGIOPClientWorkerReactive::flush_and_receive(CORBA_ULong id, OBBuffer& buf, bool& swap,
                                                          CORBA_ULong& status, CORBA_Long timeout) {
    // Nothing ahead of it: write at once rather than wait a reactor pass for
    // writability; what the socket does not take goes out with the reactor.
    if (queue_length() == 1 && !failure_) {
        try {
            write_available();
        } catch (const CORBA_COMM_FAILURE& failure) {
            fail(failure);
        }
    }
    return receive_reply(id, buf, swap, status, timeout);
}

CORBA_ULong OBGIOPClientWorkerReactive::receive_reply(CORBA_ULong id, OBBuffer& buf, bool& swap,
                                                      CORBA_ULong& status, CORBA_Long timeout) {
    OBObjVar<OBGIOPClientWorker> self = OBDuplicate(static_cast<OBGIOPClientWorker*>(this));
    const OBStopwatch clock;
    bool last = false;
    for (;;) {
        // A reply read before the failure, even in the same pass, is delivered.
        const CORBA_ULong offset = take_reply(id, buf, swap, status);
        if (offset)
            return offset;
        raise_failure();
        if (timeout < 0) {
            const bool dispatched = dispatch(timeout);
            OB_ASSERT_NAMED(dispatched, "false");
            continue;
        }
        if (last)
            return 0;
        // Another connection's event may end a pass at the deadline: one
        // look without waiting takes what has come for this one meanwhile.
        const long long spent = clock.elapsed();
        last = spent > timeout;
        if (!dispatch(last ? 0 : static_cast<CORBA_Long>(timeout - spent)))
            last = true;
    }
}

void OBGIOPClientWorkerReactive::send_nowait(OBBuffer& buf) {
    OBObjVar<OBGIOPClientWorker> self = OBDuplicate(static_cast<OBGIOPClientWorker*>(this));
    enqueue(buf);
    dispatch(0);
    raise_failure();
}

bool OBGIOPClientWorkerReactive::dispatch(CORBA_Long timeout) {
    try {
        return reactor()->dispatch_one(timeout);
    } catch (const CORBA_COMM_FAILURE& failure) {
        // A failed select, or a failure that another handler let escape:
        // either way the wait has ended without this connection's reply.
        fail(failure);
        throw;
    }
}

void OBGIOPClientWorkerReactive::on_events(CORBA_Long mask) {
    // The client may drop this worker during the callback.
    OBObjVar<OBGIOPClientWorker> self = OBDuplicate(static_cast<OBGIOPClientWorker*>(this));
    try {
        if (mask & OBEventRead)
            read_available(OBGIOPReadAhead);
    } catch (const CORBA_COMM_FAILURE& failure) {
        fail(failure);
        return;
    }
    try {
        if ((mask & OBEventWrite) && !queue_empty())
            write_available();
    } catch (const CORBA_COMM_FAILURE& failure) {
        fail(failure);
    }
}

void OBGIOPClientWorkerReactive::write_available() {
    OCI_Buffer* front = queue_front();
    transport_->send(front, false);
    if (!front->is_full())
        return;
    pop_front();
    if (queue_empty())
        watch(OBEventRead);
}

void OBGIOPClientWorkerReactive::fail(const CORBA_COMM_FAILURE& failure) {
    drop();
    if (!failure_)
        failure_.reset(new CORBA_COMM_FAILURE(failure));
}

void OBGIOPClientWorkerReactive::raise_failure() const {
    if (failure_)
        throw CORBA_COMM_FAILURE(*failure_);
}
