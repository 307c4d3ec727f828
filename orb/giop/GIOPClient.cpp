// The GIOP client: request headers, lazy connection and reply outcomes.
#include <OB/GIOPClient.h>

OBConcurrencyModelKind OBConcurrencyModel = OBBlockingModel;

namespace {

// Sets the flags from the reply status; a system exception is raised.
void reply_outcome(const OBBuffer& buf, CORBA_ULong offset, bool swap, CORBA_ULong status,
                   bool& userException, bool& forward) {
    if (status == OBGIOPSystemException) {
        OBInCursor in = OBMakeInCursor(buf, offset);
        OBRaiseSystemException(in, swap);
    }
    userException = status == OBGIOPUserException;
    forward = status == OBGIOPLocationForward;
}

// A reply that did not come within the time-out: its id is forgotten so that
// the late reply is dropped. The request has gone out, or its rest stays
// queued and goes out before the next one, so the server may carry it out:
// completed maybe, lest a caller repeat a call that did happen.
[[noreturn]] void no_response(OBGIOPClientWorker* worker, CORBA_ULong id, CORBA_Long timeout) {
    OB_ASSERT_NAMED(timeout >= 0, "t >= 0");
    worker->forget_request(id);
    throw CORBA_NO_RESPONSE(0, CORBA_COMPLETED_MAYBE);
}

// What is left of timeout ms (negative: no limit) since start, a reading
// of OBClockNow() taken when timeout >= 0.
CORBA_Long time_left(CORBA_Long timeout, long long start) {
    if (timeout < 0)
        return timeout;
    const long long left = timeout - (OBClockNow() - start);
    return left > 0 ? static_cast<CORBA_Long>(left) : 0;
}

}  // namespace

OBGIOPClient::OBGIOPClient(OCI_Connector* connector) : connector_(connector) {}

OBGIOPClient::~OBGIOPClient() {
    release_worker();
}

OCI_Connector* OBGIOPClient::connector() {
    return OBDuplicate(connector_.in());
}

OCI_ConnectorInfo* OBGIOPClient::connector_info() {
    return CORBA_is_nil(connector_.in()) ? nullptr : connector_->info();
}

OCI_Transport* OBGIOPClient::transport() {
    OBObjVar<OBGIOPClientWorker> current = worker(-1);
    return current->transport();
}

OCI_TransportInfo* OBGIOPClient::transport_info() {
    OBObjVar<OCI_Transport> current = transport();
    return CORBA_is_nil(current.in()) ? nullptr : current->info();
}

CORBA_ULong OBGIOPClient::prepare(CORBA_Object* obj, const char* op) {
    CORBA_ULong count = OBGIOPHeaderSize;
    OBCountRequestHeader(object_key(obj), op, count);
    return count;
}

CORBA_ULong OBGIOPClient::request(CORBA_Object* obj, const char* op, OBBuffer& buf, bool& swap,
                                  bool& userException, bool& forward, CORBA_Long timeout) {
    object_key(obj);  // an unusable reference fails before connecting
    // A call without a limit reads no clock.
    const long long start = timeout < 0 ? 0 : OBClockNow();
    // The local reference keeps the worker alive when a failure drops it.
    OBObjVar<OBGIOPClientWorker> current = request_worker(timeout);
    const CORBA_ULong id = write_request(obj, op, buf, true);
    CORBA_ULong status = 0;
    CORBA_ULong offset = 0;
    try {
        offset = current->send_and_receive(id, buf, swap, status, time_left(timeout, start));
    } catch (const CORBA_COMM_FAILURE&) {
        // The worker hands the request back only when the server has not
        // carried it out; it goes once more, and a second failure is the
        // caller's. Without time left it does not go at all.
        if (buf.len == 0)
            throw;
        if (timeout >= 0 && time_left(timeout, start) == 0)
            throw CORBA_NO_RESPONSE(0, CORBA_COMPLETED_NO);
        current = request_worker(time_left(timeout, start));
        offset = current->send_and_receive(id, buf, swap, status, time_left(timeout, start));
    }
    if (offset == 0)
        no_response(current, id, timeout);
    reply_outcome(buf, offset, swap, status, userException, forward);
    return offset;
}

void OBGIOPClient::request_oneway(CORBA_Object* obj, const char* op, OBBuffer& buf) {
    object_key(obj);
    OBObjVar<OBGIOPClientWorker> current = request_worker(-1);
    write_request(obj, op, buf, false);
    current->send_nowait(buf);
}

void OBGIOPClient::send_deferred(CORBA_Object* obj, const char* op, OBBuffer& buf, CORBA_ULong& id) {
    object_key(obj);
    OBObjVar<OBGIOPClientWorker> current = request_worker(-1);
    id = write_request(obj, op, buf, true);
    current->send_nowait(buf);
}

CORBA_ULong OBGIOPClient::receive_deferred(CORBA_ULong id, OBBuffer& buf, bool& swap,
                                           bool& userException, bool& forward, CORBA_Long timeout) {
    OBObjVar<OBGIOPClientWorker> current = worker(-1);
    CORBA_ULong status = 0;
    const CORBA_ULong offset = current->receive_reply(id, buf, swap, status, timeout);
    if (offset == 0)
        no_response(current, id, timeout);
    reply_outcome(buf, offset, swap, status, userException, forward);
    return offset;
}

CORBA_ULong OBGIOPClient::poll_deferred(CORBA_ULong id, OBBuffer& buf, bool& swap,
                                        bool& userException, bool& forward) {
    OBObjVar<OBGIOPClientWorker> current = worker(-1);
    CORBA_ULong status = 0;
    const CORBA_ULong offset = current->receive_reply(id, buf, swap, status, 0);
    if (offset != 0)
        reply_outcome(buf, offset, swap, status, userException, forward);
    return offset;
}

void OBGIOPClient::remove_worker(OBGIOPClientWorker* worker) {
    if (worker == worker_.in())
        release_worker();
}

bool OBGIOPClient::is_forgotten(CORBA_ULong id) const {
    return !CORBA_is_nil(worker_.in()) && worker_->is_forgotten(id);
}

const CORBA_OctetSeq& OBGIOPClient::object_key(CORBA_Object* obj) {
    if (obj->key.length() == 0) {
        obj->key = connector_->object_key_for(obj->ior);
        // Nothing can address an object through an empty key.
        if (obj->key.length() == 0)
            throw CORBA_INV_OBJREF(0, CORBA_COMPLETED_NO);
    }
    return obj->key;
}

OBGIOPClientWorker* OBGIOPClient::worker(CORBA_Long timeout) {
    if (CORBA_is_nil(worker_.in())) {
        // Held here until a worker has it, so that a worker that cannot be
        // made does not leave the new connection open.
        OBObjVar<OCI_Transport> fresh(connector_->connect_timeout(timeout));
        if (OBConcurrencyModel == OBReactiveModel)
            worker_ = new OBGIOPClientWorkerReactive(this, OBDuplicate(fresh.in()));
        else
            worker_ = new OBGIOPClientWorker(this, OBDuplicate(fresh.in()));
    }
    return OBDuplicate(worker_.in());
}

OBGIOPClientWorker* OBGIOPClient::request_worker(CORBA_Long timeout) {
    if (!CORBA_is_nil(worker_.in()))
        worker_->read_arrived();  // lets go of a connection that has ended
    return worker(timeout);
}

CORBA_ULong OBGIOPClient::write_request(CORBA_Object* obj, const char* op, OBBuffer& buf,
                                        bool responseExpected) {
    const CORBA_OctetSeq& key = object_key(obj);
    CORBA_ULong start = OBGIOPHeaderSize;
    OBCountRequestHeader(key, op, start);
    OB_ASSERT(buf.len >= start);
    const CORBA_ULong id = OBGIOPClientWorker::next_request_id();
    CORBA_Octet* cursor = buf.data;
    OBWriteMessageHeader(OBGIOPRequest, buf.len - OBGIOPHeaderSize, cursor);
    OBWriteRequestHeader(id, responseExpected, key, op, cursor);
    OB_ASSERT(cursor == buf.data + start);
    return id;
}

void OBGIOPClient::release_worker() {
    if (CORBA_is_nil(worker_.in()))
        return;
    OBObjVar<OBGIOPClientWorker> old = worker_._retn();
    old->detach();
    old->close();
}
