// The blocking client worker, and what both workers share: the out-queue,
// the in-buffer with its header, the reply list, the request-id counter and
// the forgotten list.
#include <OB/GIOPClient.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

CORBA_ULong nextId = 0;

// Ids whose waiters gave up, oldest first; created on first use.
std::vector<CORBA_ULong>& forgotten() {
    static std::vector<CORBA_ULong> ids;
    return ids;
}

// Milliseconds since construction, on a clock that never jumps.
class Stopwatch {
public:
    Stopwatch() : start_(std::chrono::steady_clock::now()) {}
    long long elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start_)
            .count();
    }

private:
    std::chrono::steady_clock::time_point start_;
};

// The failure of a connection that sent something other than a GIOP message
// the client can use.
CORBA_COMM_FAILURE protocol_failure(CORBA_ULong minor) {
    return CORBA_COMM_FAILURE(minor, CORBA_COMPLETED_MAYBE);
}

}  // namespace

OBGIOPClientWorker::OBGIOPClientWorker(OBGIOPClient* client, OCI_Transport* transport)
    : transport_(transport), client_(client), closed_(false) {}

OBGIOPClientWorker::~OBGIOPClientWorker() = default;

CORBA_ULong OBGIOPClientWorker::next_request_id() {
    return nextId++;
}

void OBGIOPClientWorker::forget_request(CORBA_ULong id) {
    forgotten().push_back(id);
}

bool OBGIOPClientWorker::is_forgotten(CORBA_ULong id) {
    const std::vector<CORBA_ULong>& ids = forgotten();
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

void OBGIOPClientWorker::enqueue(OBBuffer& buf) {
    OBObjVar<OCI_Buffer> queued = new OCI_Buffer;
    queued->consume(buf);
    const CORBA_ULong n = queue_.length();
    queue_.length(n + 1);
    queue_[n] = queued._retn();
}

void OBGIOPClientWorker::close() {
    if (closed_)
        return;
    closed_ = true;
    transport_->close();
}

OCI_Transport* OBGIOPClientWorker::transport() {
    return OBDuplicate(transport_.in());
}

void OBGIOPClientWorker::drop() {
    // The caller's own reference keeps this worker alive meanwhile.
    if (client_)
        client_->remove_worker(this);
    close();
}

CORBA_ULong OBGIOPClientWorker::send_and_receive(CORBA_ULong id, OBBuffer& buf, bool& swap,
                                                 CORBA_ULong& status, CORBA_Long timeout) {
    OBObjVar<OBGIOPClientWorker> self = OBDuplicate(this);
    try {
        enqueue(buf);
        if (timeout < 0) {
            send_queue_blocking();
        } else {
            timeout = send_queue_timed(timeout);
            if (timeout < 0)
                return 0;
        }
    } catch (const CORBA_COMM_FAILURE&) {
        drop();
        throw;
    }
    return receive_reply(id, buf, swap, status, timeout);
}

CORBA_ULong OBGIOPClientWorker::receive_reply(CORBA_ULong id, OBBuffer& buf, bool& swap,
                                              CORBA_ULong& status, CORBA_Long timeout) {
    OBObjVar<OBGIOPClientWorker> self = OBDuplicate(this);
    try {
        if (timeout < 0)
            return receive_blocking(id, buf, swap, status);
        return receive_timed(id, buf, swap, status, timeout);
    } catch (const CORBA_COMM_FAILURE&) {
        drop();
        throw;
    }
}

void OBGIOPClientWorker::send_nowait(OBBuffer& buf) {
    OBObjVar<OBGIOPClientWorker> self = OBDuplicate(this);
    try {
        enqueue(buf);
        while (!queue_empty()) {
            OCI_Buffer* front = queue_front();
            const CORBA_ULong before = front->pos;
            transport_->send(front, false);
            if (front->is_full())
                pop_front();
            else if (front->pos == before)
                return;  // the socket would block; the rest waits in the queue
        }
    } catch (const CORBA_COMM_FAILURE&) {
        drop();
        throw;
    }
}

void OBGIOPClientWorker::send_queue_blocking() {
    while (!queue_empty()) {
        transport_->send(queue_front(), true);
        OB_ASSERT(queue_front()->is_full());
        pop_front();
    }
}

CORBA_Long OBGIOPClientWorker::send_queue_timed(CORBA_Long timeout) {
    const Stopwatch clock;
    while (!queue_empty()) {
        if (clock.elapsed() > timeout)
            return -1;
        OCI_Buffer* front = queue_front();
        const CORBA_ULong before = front->pos;
        transport_->send_with_timeout(front, static_cast<CORBA_ULong>(timeout));
        if (front->pos == before)
            return -1;
        if (front->is_full())
            pop_front();
    }
    const long long spent = clock.elapsed();
    return spent > timeout ? -1 : static_cast<CORBA_Long>(timeout - spent);
}

CORBA_ULong OBGIOPClientWorker::receive_blocking(CORBA_ULong id, OBBuffer& buf, bool& swap,
                                                 CORBA_ULong& status) {
    for (;;) {
        const CORBA_ULong offset = take_reply(id, buf, swap, status);
        if (offset)
            return offset;
        // A message half-read by an earlier timed wait is continued.
        if (!reading())
            new_in_buffer();
        if (!header_in()) {
            transport_->receive(in_, true);
            OB_ASSERT(in_->is_full());
            read_message_header();
        }
        if (!in_->is_full()) {
            transport_->receive(in_, true);
            OB_ASSERT(in_->is_full());
        }
        process_message();
    }
}

CORBA_ULong OBGIOPClientWorker::receive_timed(CORBA_ULong id, OBBuffer& buf, bool& swap,
                                              CORBA_ULong& status, CORBA_Long timeout) {
    const Stopwatch clock;
    const CORBA_ULong wait = static_cast<CORBA_ULong>(timeout);
    for (;;) {
        const CORBA_ULong offset = take_reply(id, buf, swap, status);
        if (offset)
            return offset;
        if (clock.elapsed() > timeout)
            return 0;
        if (!reading())
            new_in_buffer();
        if (!header_in()) {
            const CORBA_ULong before = in_->pos;
            transport_->receive_with_timeout(in_, wait);
            if (in_->pos == before)
                return 0;
            if (header_in())
                read_message_header();
        }
        if (header_in() && !in_->is_full()) {
            const CORBA_ULong before = in_->pos;
            transport_->receive_with_timeout(in_, wait);
            if (in_->pos == before)
                return 0;
        }
        if (in_->is_full())
            process_message();
    }
}

CORBA_ULong OBGIOPClientWorker::take_reply(CORBA_ULong id, OBBuffer& buf, bool& swap,
                                           CORBA_ULong& status) {
    auto before = replies_.before_begin();
    for (auto it = replies_.begin(); it != replies_.end(); before = it++) {
        if (it->id != id)
            continue;
        buf.consume(it->message);
        swap = it->swap;
        status = it->status;
        const CORBA_ULong offset = it->offset;
        replies_.erase_after(before);
        return offset;
    }
    return 0;
}

void OBGIOPClientWorker::new_in_buffer() {
    in_ = new OCI_Buffer(OBGIOPHeaderSize);
}

void OBGIOPClientWorker::read_message_header() {
    OBGIOPMessageHeader header;
    try {
        OBReadMessageHeader(in_->data(), header);
        grow_in_buffer(header.message_size);
    } catch (const CORBA_COMM_FAILURE&) {
        in_ = nullptr;  // the stream is lost: nothing of this message is kept
        throw;
    }
    header_ = header;
}

void OBGIOPClientWorker::grow_in_buffer(CORBA_ULong size) {
    if (size == 0)
        return;
    if (size > OBGIOPMaxMessageSize)
        throw CORBA_COMM_FAILURE("GIOP message larger than the client accepts", OBMinorRecv,
                                 CORBA_COMPLETED_MAYBE);
    try {
        in_->realloc(OBGIOPHeaderSize + size);
    } catch (const CORBA_NO_MEMORY&) {
        // The body cannot be skipped without reading it: the stream is lost.
        throw CORBA_COMM_FAILURE("no memory for a GIOP message", OBMinorRecv, CORBA_COMPLETED_MAYBE);
    }
}

void OBGIOPClientWorker::process_message() {
    OBBuffer message;
    message.consume(in_->buf);
    in_ = nullptr;
    switch (header_.message_type) {
    case OBGIOPReply:
        keep_reply(message, header_.swap());
        return;
    case OBGIOPRequest:
    case OBGIOPCancelRequest:
    case OBGIOPLocateRequest:
    case OBGIOPLocateReply:
        throw protocol_failure(OBMinorWrongMessage);
    case OBGIOPCloseConnection:
        throw protocol_failure(OBMinorCloseConnection);
    case OBGIOPMessageError:
        throw protocol_failure(OBMinorMessageError);
    default:
        throw protocol_failure(OBMinorUnknownMessage);
    }
}

void OBGIOPClientWorker::keep_reply(OBBuffer& message, bool swap) {
    OBGIOPReplyHeader header;
    OBInCursor in = OBMakeInCursor(message, OBGIOPHeaderSize);
    try {
        OBReadReplyHeader(in, swap, header);
    } catch (const CORBA_MARSHAL&) {
        // Without its id the reply cannot reach its waiter.
        throw protocol_failure(OBMinorWrongMessage);
    }
    std::vector<CORBA_ULong>& ids = forgotten();
    auto late = std::find(ids.begin(), ids.end(), header.request_id);
    if (late != ids.end()) {
        ids.erase(late);
        return;
    }
    replies_.emplace_front(header.request_id, swap, header.reply_status, OBInOffset(message, in));
    replies_.front().message.consume(message);
}
