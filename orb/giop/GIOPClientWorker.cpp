// The blocking client worker, and what both workers share: the out-queue,
// the in-buffer with its header and the reply list.
#include <OB/GIOPClient.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The failure of a connection that sent something other than a GIOP message
// the client can use.
CORBA_COMM_FAILURE protocol_failure(CORBA_ULong minor) {
    return CORBA_COMM_FAILURE(minor, CORBA_COMPLETED_MAYBE);
}

// True when h has something to read (octets or the end of the stream) now.
bool readable_now(OBSocketHandle h) {
    OBSocketSet read;
    read.add(h);
    OBTimeVal none = {0, 0};
    return OBSocketSelect(h + 1, &read, nullptr, &none) == 1;
}

}  // namespace

OBGIOPClientWorker::OBGIOPClientWorker(OBGIOPClient* client, OCI_Transport* transport)
    : transport_(transport), in_(new OCI_Buffer), client_(client), closed_(false), aheadLen_(0),
      peerClosed_(false), heard_(false), lookedAt_(OBClockNow()), usedAt_(lookedAt_) {}

OBGIOPClientWorker::~OBGIOPClientWorker() = default;

void OBGIOPClientWorker::enqueue(OBBuffer& buf) {
    OBObjVar<OCI_Buffer> queued = CORBA_is_nil(spare_.in()) ? new OCI_Buffer : spare_._retn();
    queued->consume(buf);
    const CORBA_ULong n = queue_.length();
    queue_.length(n + 1);
    queue_[n] = queued._retn();
}

void OBGIOPClientWorker::pop_front() {
    keep_spare(queue_front());
    queue_.remove(0);
}

void OBGIOPClientWorker::keep_spare(OCI_Buffer* buffer) {
    if (buffer->_OB_getRef() != 1)
        return;
    // A small message's storage becomes the next in-buffer's, so that a
    // call allocates once (its request) instead of twice.
    if (buffer->buf.len <= OBGIOPReadAhead)
        spareStorage_.consume(buffer->buf);
    else
        buffer->buf.clear();
    spare_ = OBDuplicate(buffer);
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

void OBGIOPClientWorker::fail(const CORBA_COMM_FAILURE&) {
    drop();
}

void OBGIOPClientWorker::raise_unanswered(const CORBA_COMM_FAILURE& failure, OCI_Buffer* sent,
                                          OBBuffer& buf) {
    // Whatever the failure, even one that a reactor callback of another
    // connection let escape, this connection cannot deliver the reply.
    fail(failure);
    // GIOP: a server that sends CloseConnection has not carried out the
    // requests still unanswered on that connection, and a server carries out
    // only whole messages. Either way the request may go again, elsewhere.
    if (peerClosed_ || !sent->is_full()) {
        buf.consume(sent->buf);
        throw failure;
    }
    if (failure.completed() == CORBA_COMPLETED_NO)
        throw CORBA_COMM_FAILURE(failure.reason(), failure.minor(), CORBA_COMPLETED_MAYBE);
    throw failure;
}

bool OBGIOPClientWorker::idle() {
    const long long now = OBClockNow();
    if (heard_) {
        heard_ = false;
        usedAt_ = lookedAt_;
    }
    lookedAt_ = now;
    return now - usedAt_ >= OBGIOPLookAfterIdle;
}

void OBGIOPClientWorker::forget_request(CORBA_ULong id) { forgotten_.push_back(id); }

bool OBGIOPClientWorker::is_forgotten(CORBA_ULong id) const {
    return std::find(forgotten_.begin(), forgotten_.end(), id) != forgotten_.end();
}

bool OBGIOPClientWorker::take_forgotten(CORBA_ULong id) {
    auto late = std::find(forgotten_.begin(), forgotten_.end(), id);
    if (late == forgotten_.end())
        return false;
    forgotten_.erase(late);
    return true;
}

CORBA_ULong OBGIOPClientWorker::send_and_receive(CORBA_ULong id, OBBuffer& buf, bool& swap,
                                                 CORBA_ULong& status, CORBA_Long timeout) {
    OBObjVar<OBGIOPClientWorker> self = OBDuplicate(this);
    enqueue(buf);
    // Held until the reply has come, for a CloseConnection before it.
    OBObjVar<OCI_Buffer> sent = OBDuplicate(queue_back());
    CORBA_ULong offset = 0;
    try {
        offset = flush_and_receive(id, buf, swap, status, timeout);
    } catch (const CORBA_COMM_FAILURE& failure) {
        raise_unanswered(failure, sent, buf);
    }
    keep_spare(sent);
    return offset;
}

CORBA_ULong OBGIOPClientWorker::flush_and_receive(CORBA_ULong id, OBBuffer& buf, bool& swap,
                                                  CORBA_ULong& status, CORBA_Long timeout) {
    if (timeout < 0) {
        send_queue_blocking();
    } else {
        timeout = send_queue_timed(timeout);
        if (timeout < 0)
            return 0;
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

void OBGIOPClientWorker::read_arrived() {
    OBObjVar<OBGIOPClientWorker> self = OBDuplicate(this);
    try {
        // A late reply may be followed by the close: read on while octets
        // come. Exact reads, as in a timed wait, which may continue what is
        // left.
        const bool look = idle();
        while (read_ahead() || (look && readable_now(transport_->handle())))
            read_available(OBGIOPHeaderSize);
    } catch (const CORBA_COMM_FAILURE& failure) {
        fail(failure);
    }
}

void OBGIOPClientWorker::read_available(CORBA_ULong window) {
    if (!reading())
        new_in_buffer(window);
    if (!header_in()) {
        transport_->receive_some(in_, false);
        if (!header_in())
            return;
        read_message_header();
    }
    if (!in_->is_full())
        transport_->receive(in_, false);
    // Whole messages read ahead get no readiness event of their own.
    while (in_->is_full()) {
        process_message();
        if (!read_ahead())
            return;
        new_in_buffer(window);
    }
}

void OBGIOPClientWorker::send_queue_blocking() {
    while (!queue_empty()) {
        transport_->send(queue_front(), true);
        OB_ASSERT_NAMED(queue_front()->is_full(), "buf -> is_full()");
        pop_front();
    }
}

CORBA_Long OBGIOPClientWorker::send_queue_timed(CORBA_Long timeout) {
    const OBStopwatch clock;
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
    // Sent in full: a reply that came meanwhile is still looked for.
    const long long spent = clock.elapsed();
    return spent > timeout ? 0 : static_cast<CORBA_Long>(timeout - spent);
}

CORBA_ULong OBGIOPClientWorker::receive_blocking(CORBA_ULong id, OBBuffer& buf, bool& swap,
                                                 CORBA_ULong& status) {
    for (;;) {
        const CORBA_ULong offset = take_reply(id, buf, swap, status);
        if (offset)
            return offset;
        // A message half-read by an earlier timed wait is continued.
        if (!reading())
            new_in_buffer(OBGIOPReadAhead);
        if (!header_in()) {
            transport_->receive_some(in_, true);
            if (!header_in())
                continue;
            read_message_header();
        }
        if (!in_->is_full()) {
            transport_->receive(in_, true);
            OB_ASSERT_NAMED(in_->is_full(), "buf_ -> is_full()");
        }
        process_message();
    }
}

CORBA_ULong OBGIOPClientWorker::receive_timed(CORBA_ULong id, OBBuffer& buf, bool& swap,
                                              CORBA_ULong& status, CORBA_Long timeout) {
    const OBStopwatch clock;
    bool last = false;
    for (;;) {
        const CORBA_ULong offset = take_reply(id, buf, swap, status);
        if (offset)
            return offset;
        if (last)
            return 0;
        // When the time has run out, one read without waiting takes what has
        // come meanwhile.
        const long long spent = clock.elapsed();
        last = spent >= timeout;
        const CORBA_ULong wait = last ? 0 : static_cast<CORBA_ULong>(timeout - spent);
        // Exact reads: a wait for octets beyond the message could only time out.
        if (!reading())
            new_in_buffer(OBGIOPHeaderSize);
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
        unused_.splice_after(unused_.before_begin(), replies_, before);
        return offset;
    }
    return 0;
}

void OBGIOPClientWorker::new_in_buffer(CORBA_ULong window) {
    const CORBA_ULong size = std::max(window, aheadLen_);
    if (spareStorage_.len >= std::max(OBGIOPHeaderSize, aheadLen_)) {
        in_->buf.consume(spareStorage_);
        if (in_->buf.len > size)
            in_->buf.shrink(size);
    } else {
        in_->buf.alloc(size);
    }
    in_->pos = aheadLen_;
    if (aheadLen_ == 0)
        return;
    std::memcpy(in_->data(), ahead_, aheadLen_);
    aheadLen_ = 0;
    if (header_in())
        read_message_header();
}

void OBGIOPClientWorker::read_message_header() {
    OBGIOPMessageHeader header;
    try {
        OBReadMessageHeader(in_->data(), header);
        if (header.message_size > OBGIOPMaxMessageSize)
            throw CORBA_COMM_FAILURE("GIOP message larger than the client accepts", OBMinorRecv,
                                     CORBA_COMPLETED_MAYBE);
        fit_in_buffer(OBGIOPHeaderSize + header.message_size);
    } catch (const CORBA_COMM_FAILURE&) {
        discard_input();  // the stream is lost: nothing of it is kept
        throw;
    }
    header_ = header;
}

void OBGIOPClientWorker::fit_in_buffer(CORBA_ULong size) {
    if (in_->pos > size) {
        aheadLen_ = in_->pos - size;
        OB_ASSERT(aheadLen_ <= OBGIOPReadAhead);
        std::memcpy(ahead_, in_->data() + size, aheadLen_);
        in_->pos = size;
    }
    if (size <= in_->length()) {
        in_->buf.shrink(size);
        return;
    }
    try {
        in_->realloc(size);
    } catch (const CORBA_NO_MEMORY&) {
        // The body cannot be skipped without reading it: the stream is lost.
        throw CORBA_COMM_FAILURE("no memory for a GIOP message", OBMinorRecv, CORBA_COMPLETED_MAYBE);
    }
}

void OBGIOPClientWorker::discard_input() {
    in_->buf.clear();
    in_->pos = 0;
    aheadLen_ = 0;
}

void OBGIOPClientWorker::process_message() {
    OBBuffer message;
    message.consume(in_->buf);
    in_->pos = 0;
    heard_ = true;
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
        peerClosed_ = true;
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
    if (take_forgotten(header.request_id))
        return;
    const CORBA_ULong offset = OBInOffset(message, in);
    if (unused_.empty())
        replies_.emplace_front();
    else
        replies_.splice_after(replies_.before_begin(), unused_, unused_.before_begin());
    Reply& reply = replies_.front();
    reply.id = header.request_id;
    reply.message.consume(message);
    reply.swap = swap;
    reply.status = header.reply_status;
    reply.offset = offset;
}
