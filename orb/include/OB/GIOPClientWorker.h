// Client workers: the owner of one connection's transport for a GIOP client.
// A worker queues outgoing messages and writes them, reads incoming messages
// (the 12-octet header, then the body it announces) and keeps replies until
// the request waiting for them collects them by request id.
//
// OBGIOPClientWorker reads its socket on the waiting thread itself;
// OBGIOPClientWorkerReactive lets the process-wide reactor call it and makes
// the waiting thread drive the reactor. Workers are used from one thread;
// the request-id counter is process-wide and unguarded. Each worker keeps
// the ids whose waiters gave up, so that they go with its connection.
//
// Any CORBA_COMM_FAILURE met by a worker makes it ask its client to drop it
// (OBGIOPClient::remove_worker), which closes the transport; the failure is
// then raised (blocking) or stored and raised by every later wait (reactive).
// Protocol failures carry COMPLETED_MAYBE and an empty reason; so does any
// failure that a two-way request meets once all of it has gone out, since
// the server may have carried it out. A server carries out only whole
// messages, so a request whose last octet has not gone out, and one
// unanswered when its own connection brought a CloseConnection, have not
// been carried out: the worker hands such a request back for sending on a
// new connection.
#ifndef OB_GIOP_CLIENT_WORKER_H
#define OB_GIOP_CLIENT_WORKER_H

#include <OB/Clock.h>
#include <OB/GIOP.h>
#include <OB/OCI.h>
#include <OB/SelectReactor.h>

#include <forward_list>
#include <memory>
#include <vector>

class OBGIOPClient;

// A connection that has brought a message within this many milliseconds is
// not looked at before a request: a server closes an idle connection, not
// one in use, and the look costs a system call.
const long long OBGIOPLookAfterIdle = 100;

// Octets a fresh in-buffer offers to one read when the wait has no limit, so
// that a small message usually arrives with a single recv. What is read
// beyond the message is kept for the next one.
const CORBA_ULong OBGIOPReadAhead = 256;

// The blocking worker.
class OBGIOPClientWorker : public OBSimpleRefCount {
public:
    // A worker for client (not counted, may be nil; the client detaches the
    // worker when it lets go of it) over transport, whose reference it takes
    // over.
    OBGIOPClientWorker(OBGIOPClient* client, OCI_Transport* transport);
    ~OBGIOPClientWorker() override;

    // Takes the storage of buf over into a new queued OCI_Buffer (buf is left
    // empty) behind everything queued before.
    virtual void enqueue(OBBuffer& buf);

    // Closes the transport; later calls do nothing.
    virtual void close();

    // The transport (new reference).
    virtual OCI_Transport* transport();

    // Queues buf (taken over) and sends everything queued, then waits for the
    // reply to id. On return buf holds the whole Reply; the result is the
    // offset of the reply body, swap the sender's swap flag and status the
    // reply status. timeout < 0 waits without limit; otherwise 0 is returned
    // when timeout ms passed first, leaving unsent octets queued. A failure
    // is raised COMPLETED_MAYBE once the whole request has gone out; when
    // the server cannot have carried it out (a CloseConnection on this
    // connection before the reply, or a failure before its last octet went
    // out) buf holds the request again, whole, for sending anew.
    virtual CORBA_ULong send_and_receive(CORBA_ULong id, OBBuffer& buf, bool& swap,
                                         CORBA_ULong& status, CORBA_Long timeout);

    // Waits for the reply to id as send_and_receive does. Replies for other
    // ids read meanwhile are kept. A message left half-read by an earlier
    // timed wait is continued.
    virtual CORBA_ULong receive_reply(CORBA_ULong id, OBBuffer& buf, bool& swap,
                                      CORBA_ULong& status, CORBA_Long timeout);

    // Queues buf (taken over) and writes what the socket takes without
    // blocking; the rest goes out, in order, before anything queued later.
    virtual void send_nowait(OBBuffer& buf);

    // Reads and handles, without waiting, every message that has arrived
    // (late replies, then a CloseConnection or the end of the stream), as
    // long as octets keep coming. Called before a request is written, so
    // that nothing goes out on a connection that the server has closed
    // meanwhile: a failure found here drops the worker instead of being
    // raised. A connection that has brought a message within
    // OBGIOPLookAfterIdle ms is looked at only for octets already read.
    void read_arrived();

    // The counter's value, then increments it (the first id is 0).
    static CORBA_ULong next_request_id();

    // Adds id to this connection's forgotten ids: its reply will be read and
    // dropped. The ids go with the worker.
    void forget_request(CORBA_ULong id);

    // True while id is among this connection's forgotten ids.
    bool is_forgotten(CORBA_ULong id) const;

    // If a reply to id is stored: moves the whole message into buf, sets
    // swap and status, forgets the entry and returns the body's offset
    // (at least 12). Otherwise 0 and nothing changes.
    CORBA_ULong take_reply(CORBA_ULong id, OBBuffer& buf, bool& swap, CORBA_ULong& status);

    // Starts a message: in-buffer storage of window octets (more if more
    // were read ahead; fewer, but room for a header and what was read ahead,
    // when the storage of the last small message sent is reused), holding
    // the octets read ahead beyond the last message; decodes the header
    // when they include it.
    void new_in_buffer(CORBA_ULong window);

    // Decodes the header in the in-buffer's first 12 octets and sets the
    // in-buffer's length to 12 + size, keeping octets read beyond that for
    // the next message. CORBA_COMM_FAILURE minor OBMinorNoGIOP without the
    // magic; minor OBMinorRecv (COMPLETED_MAYBE, with a reason) for a size
    // above OBGIOPMaxMessageSize or one that cannot be allocated. After a
    // failure nothing received is kept.
    void read_message_header();

    // Handles the complete message in the in-buffer (which becomes empty):
    // keeps a Reply, drops one whose id was forgotten (taking the id out of
    // the list), and raises CORBA_COMM_FAILURE, COMPLETED_MAYBE, for anything
    // else: minor OBMinorUnknownMessage (type above 6), OBMinorWrongMessage
    // (Request, CancelRequest, LocateRequest, LocateReply, or a Reply whose
    // header cannot be read), OBMinorCloseConnection, OBMinorMessageError.
    void process_message();

    // Called by the client when it lets go of the worker: failures are no
    // longer reported to it.
    void detach() { client_ = nullptr; }

protected:
    // Removes this worker from its client (if still attached) and closes the
    // transport.
    void drop();

    // Drops the worker for a failure that is not raised at once; the
    // reactive worker also keeps it for its waiters.
    virtual void fail(const CORBA_COMM_FAILURE& failure);

    // Called when a two-way request in sent has met failure: drops the
    // worker, then raises. Hands the request back in buf, for sending on a
    // new connection, when the server cannot have carried it out; else the
    // failure is raised COMPLETED_MAYBE once all of sent has gone out.
    [[noreturn]] void raise_unanswered(const CORBA_COMM_FAILURE& failure, OCI_Buffer* sent,
                                       OBBuffer& buf);

    // Sends what is queued and waits for the reply to id, as
    // send_and_receive does once it has queued the request.
    virtual CORBA_ULong flush_and_receive(CORBA_ULong id, OBBuffer& buf, bool& swap,
                                          CORBA_ULong& status, CORBA_Long timeout);

    // Reads what has arrived without blocking and handles every complete
    // message; a fresh in-buffer offers window octets to the first read.
    void read_available(CORBA_ULong window);

    // True when every queued octet has gone out.
    bool queue_empty() const { return queue_.length() == 0; }

    // Number of queued buffers.
    CORBA_ULong queue_length() const { return queue_.length(); }

    // The buffer being written; the queue must not be empty.
    OCI_Buffer* queue_front() const { return queue_[0].in(); }

    // The buffer queued last; the queue must not be empty.
    OCI_Buffer* queue_back() const { return queue_[queue_.length() - 1].in(); }

    // Removes the front buffer from the queue, keeping the buffer object
    // for the next enqueue when nobody else holds it.
    void pop_front();

    // True while the in-buffer holds the start of a message.
    bool reading() const { return in_->length() != 0; }

    // True once the in-buffer holds the 12 header octets (header decoded).
    bool header_in() const { return in_->pos >= OBGIOPHeaderSize; }

    // True while octets read beyond the last message wait for the next one.
    bool read_ahead() const { return aheadLen_ != 0; }

    OBObjVar<OCI_Transport> transport_;
    OBObjVar<OCI_Buffer> in_;  // message being received; no storage between messages

private:
    // One stored reply: the whole message and where its body starts.
    struct Reply {
        CORBA_ULong id = 0;
        OBBuffer message;
        bool swap = false;
        CORBA_ULong status = 0;
        CORBA_ULong offset = 0;
    };

    // Takes id out of the forgotten ids; false when it is not there.
    bool take_forgotten(CORBA_ULong id);

    // True unless the connection has brought a message within the last
    // OBGIOPLookAfterIdle ms; it may also be true for one used a little more
    // recently, never false for an idle one. Called before each request;
    // one clock reading.
    bool idle();

    // Sets the in-buffer's length to size, keeping octets read beyond it.
    void fit_in_buffer(CORBA_ULong size);

    // Drops the in-buffer's storage and whatever was read ahead.
    void discard_input();

    // Stores the Reply in message (taken over), unless its id was forgotten.
    void keep_reply(OBBuffer& message, bool swap);

    // Keeps buffer, emptied, for the next enqueue when nobody else holds
    // it, and its storage, when small, for the next in-buffer.
    void keep_spare(OCI_Buffer* buffer);

    // receive_reply without limit / with a limit of timeout ms.
    CORBA_ULong receive_blocking(CORBA_ULong id, OBBuffer& buf, bool& swap, CORBA_ULong& status);
    CORBA_ULong receive_timed(CORBA_ULong id, OBBuffer& buf, bool& swap, CORBA_ULong& status,
                              CORBA_Long timeout);

    // Writes the whole queue, blocking; sends with a limit of timeout ms and
    // returns the time left (0 when it ran out after the last octet went),
    // or -1 when it ran out before.
    void send_queue_blocking();
    CORBA_Long send_queue_timed(CORBA_Long timeout);

    OBGIOPClient* client_;             // owner; nil once detached
    bool closed_;                      // close() has been called
    OBObjSeq<OCI_Buffer> queue_;       // outgoing messages, front being written
    OBObjVar<OCI_Buffer> spare_;       // emptied queue entry for reuse, or nil
    OBBuffer spareStorage_;            // a small sent message's storage, or empty
    OBGIOPMessageHeader header_;       // header of the message in in_
    std::forward_list<Reply> replies_; // newest first
    std::forward_list<Reply> unused_;  // entries kept for later replies
    CORBA_Octet ahead_[OBGIOPReadAhead]; // octets read beyond the last message
    CORBA_ULong aheadLen_;
    std::vector<CORBA_ULong> forgotten_; // ids whose late replies are dropped
    bool peerClosed_;                  // a CloseConnection has come
    // Whether a message has come since the last idle(): it came after the
    // clock reading of that call, which is then the time of last use. This
    // costs no clock reading per message, and errs only towards looking.
    bool heard_;
    long long lookedAt_;               // OBClockNow() at the last idle()
    long long usedAt_;                 // a time at or before the last message
};

// The reactive worker: registered with the reactor for reading from its
// construction to its destruction, and for writing while something is queued.
class OBGIOPClientWorkerReactive : public OBGIOPClientWorker, public OBEventHandler {
public:
    // As the blocking worker; registers for reading. The transport's handle
    // must be valid.
    OBGIOPClientWorkerReactive(OBGIOPClient* client, OCI_Transport* transport);
    // Unregisters from the reactor.
    ~OBGIOPClientWorkerReactive() override;

    // Queues buf; registers for writing too when it is the only queued buffer.
    void enqueue(OBBuffer& buf) override;

    // Stops watching the socket, then closes the transport.
    void close() override;

    // Drives the reactor (at most timeout ms when timeout >= 0; 0 when it ran
    // out) until the reply to id is stored, then takes it. Once a callback
    // has failed, raises a copy of the stored CORBA_COMM_FAILURE, unless the
    // reply had come before the failure.
    CORBA_ULong receive_reply(CORBA_ULong id, OBBuffer& buf, bool& swap, CORBA_ULong& status,
                              CORBA_Long timeout) override;

    // Queues buf and runs one reactor pass without waiting; raises the
    // stored failure if there is one.
    void send_nowait(OBBuffer& buf) override;

    // Reads what has arrived (readable) or writes the front buffer
    // (writable). A CORBA_COMM_FAILURE drops the worker and is stored (the
    // first one only) instead of propagating.
    void on_events(CORBA_Long mask) override;

    // Nothing to do: the client never runs the reactor's loop.
    void on_reactor_stop() override {}

protected:
    // Writes the queued request at once when nothing is ahead of it, then
    // drives the reactor until the reply to id has come.
    CORBA_ULong flush_and_receive(CORBA_ULong id, OBBuffer& buf, bool& swap, CORBA_ULong& status,
                                  CORBA_Long timeout) override;

    // Drops the worker and keeps the first failure.
    void fail(const CORBA_COMM_FAILURE& failure) override;

private:
    // Writes the front buffer without blocking.
    void write_available();

    // One reactor pass (dispatch_one); a CORBA_COMM_FAILURE out of it drops
    // this worker before it is raised.
    bool dispatch(CORBA_Long timeout);

    // Raises a copy of the stored failure, if any.
    void raise_failure() const;

    // Watches the socket for the events in mask, unless closed.
    void watch(CORBA_Long mask);

    OBSocketHandle handle_;                         // the transport's socket
    bool watching_;                                 // false once closed
    std::unique_ptr<CORBA_COMM_FAILURE> failure_;   // first failure, nil while healthy
};

#endif
