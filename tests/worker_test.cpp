// The client workers over a real loopback connection whose other end the test
// drives itself: the reply list, the in-buffer across timed and blocking
// waits, the forgotten list, the out-queue on a full socket, the size limit,
// failures, and the reactive worker's registration and stored failure.
#include "IIOPPeer.h"
#include "ScriptedPeer.h"

#include <OB/GIOPClient.h>
#include <OB/OCI_IIOP_impl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace {

SocketLibrary sockets;

OBSelectReactor* reactor() { return OBSelectReactor::instance(); }

// A worker whose in-buffer and out-queue the test can see.
template<class Worker> class Probe : public Worker {
public:
    using Worker::Worker;
    // The in-buffer while it holds the start of a message, else null.
    OCI_Buffer* inBuffer() const { return this->reading() ? this->in_.in() : nullptr; }
    CORBA_ULong queued() const { return this->queue_length(); }
};

// A GIOP message of `size` octets as the client would queue it.
void requestBuffer(CORBA_ULong size, OBBuffer& buf) {
    buf.alloc(size);
    std::memset(buf.data, 0, size);
    CORBA_Octet* cursor = buf.data;
    OBWriteMessageHeader(OBGIOPRequest, size - OBGIOPHeaderSize, cursor);
}

CORBA_ULong valueAt(const OBBuffer& buf, CORBA_ULong offset, bool swap) {
    OBInCursor in = OBMakeInCursor(buf, offset);
    CORBA_ULong v = 0;
    OBRead(v, in, swap);
    return v;
}

// Without a client, a failing worker closes its transport itself.
template<class Worker> class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override { worker_ = connectWorker(server_); }

    // A worker on a new loopback connection whose other end goes to server.
    static Probe<Worker>* connectWorker(OBSocket& server) {
        CORBA_UShort port = 0;
        OBSocket listener = openListener(port);
        OBObjVar<OCI_Connector> connector = new OCI_IIOP_Connector_impl("127.0.0.1", port);
        OCI_Transport* transport = connector->connect();
        server = OBSocket(OBSocketAccept(listener.get()));
        EXPECT_NE(server.get(), OBNoSocket);
        return new Probe<Worker>(nullptr, transport);
    }

    void serverSend(const Bytes& bytes) { PeerSocket::sendOn(server_.get(), bytes); }

    // The client's socket, -1 once the worker has closed it.
    OCI_Handle clientHandle() {
        OBObjVar<OCI_Transport> t = worker_->transport();
        return t->handle();
    }

    OBSocket server_;
    OBObjVar<Probe<Worker>> worker_;
};

typedef ::testing::Types<OBGIOPClientWorker, OBGIOPClientWorkerReactive> WorkerKinds;
TYPED_TEST_SUITE(WorkerTest, WorkerKinds);

TYPED_TEST(WorkerTest, RepliesWaitInTheListUntilTakenByTheirIds) {
    const Bytes seven = replyWithValue(7, 70);
    const Bytes five = replyWithValue(5, 50, true);
    this->serverSend(seven);
    this->serverSend(five);
    OBBuffer buf;
    bool swap = false;
    CORBA_ULong status = 99;
    const CORBA_ULong offset = this->worker_->receive_reply(5, buf, swap, status, -1);
    EXPECT_EQ(offset, 24u);
    EXPECT_TRUE(swap);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(buf.len, five.size());
    EXPECT_EQ(valueAt(buf, offset, swap), 50u);

    // Already read while waiting for 5: no socket wait is needed.
    ASSERT_EQ(this->worker_->receive_reply(7, buf, swap, status, 0), 24u);
    EXPECT_FALSE(swap);
    EXPECT_EQ(valueAt(buf, 24, swap), 70u);

    EXPECT_EQ(this->worker_->take_reply(5, buf, swap, status), 0u);
    EXPECT_EQ(buf.len, seven.size());  // untouched
}

// One read takes what has arrived; octets beyond a message start the next.
TYPED_TEST(WorkerTest, MessagesSharingASegmentAreEachMatchedToTheirIds) {
    const Bytes a = replyWithValue(21, 210);
    const Bytes b = replyWithValue(22, 220, true);
    const Bytes c = replyWithValue(23, 230);
    Bytes segment = a;
    segment.insert(segment.end(), b.begin(), b.end());
    segment.insert(segment.end(), c.begin(), c.begin() + 5);
    this->serverSend(segment);
    OBBuffer buf;
    bool swap = false;
    CORBA_ULong status = 0;
    CORBA_ULong offset = this->worker_->receive_reply(21, buf, swap, status, -1);
    EXPECT_EQ(buf.len, a.size());
    EXPECT_EQ(valueAt(buf, offset, swap), 210u);

    // b came with a: nothing more arrives to announce it, yet it is found.
    offset = this->worker_->receive_reply(22, buf, swap, status, 2000);
    ASSERT_NE(offset, 0u);
    EXPECT_TRUE(swap);
    EXPECT_EQ(buf.len, b.size());
    EXPECT_EQ(valueAt(buf, offset, swap), 220u);

    // c's first five octets were read with a and b.
    this->serverSend(Bytes(c.begin() + 5, c.end()));
    offset = this->worker_->receive_reply(23, buf, swap, status, 2000);
    ASSERT_NE(offset, 0u);
    EXPECT_FALSE(swap);
    EXPECT_EQ(valueAt(buf, offset, swap), 230u);
    EXPECT_EQ(this->worker_->inBuffer(), nullptr);
}

TYPED_TEST(WorkerTest, AMessageLongerThanTheFirstReadKeepsEveryOctet) {
    Bytes body(3000);
    for (std::size_t i = 0; i < body.size(); ++i)
        body[i] = CORBA_Octet(i * 7 + 1);
    const Bytes big = replyHeader(31, 0).octets(body).finish(1);
    const Bytes small = replyWithValue(32, 320);
    Bytes both = big;
    both.insert(both.end(), small.begin(), small.end());
    this->serverSend(both);
    OBBuffer buf;
    bool swap = false;
    CORBA_ULong status = 0;
    const CORBA_ULong offset = this->worker_->receive_reply(31, buf, swap, status, -1);
    ASSERT_EQ(buf.len, big.size());
    EXPECT_TRUE(std::equal(big.begin(), big.end(), buf.data));
    EXPECT_EQ(valueAt(buf, offset, swap), body.size());
    EXPECT_EQ(valueAt(buf, this->worker_->receive_reply(32, buf, swap, status, 2000), swap), 320u);
}

TYPED_TEST(WorkerTest, AMessageHalfReadByATimedWaitIsContinuedByABlockingOne) {
    const Bytes reply = replyWithValue(3, 33);
    this->serverSend(Bytes(reply.begin(), reply.begin() + 17));
    OBBuffer buf;
    bool swap = false;
    CORBA_ULong status = 0;
    EXPECT_EQ(this->worker_->receive_reply(3, buf, swap, status, 200), 0u);
    OCI_Buffer* in = this->worker_->inBuffer();
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(in->length(), reply.size());  // grown once, when the header gave the size
    EXPECT_EQ(in->pos, 17u);

    this->serverSend(Bytes(reply.begin() + 17, reply.end()));
    const CORBA_ULong offset = this->worker_->receive_reply(3, buf, swap, status, -1);
    EXPECT_EQ(valueAt(buf, offset, swap), 33u);
    EXPECT_EQ(this->worker_->inBuffer(), nullptr);
}

TYPED_TEST(WorkerTest, AReplyToAForgottenIdIsDroppedOncePerTimeItWasForgotten) {
    const CORBA_ULong forgotten = 0xFFFF0001u;
    this->worker_->forget_request(forgotten);
    this->worker_->forget_request(forgotten);
    this->serverSend(replyWithValue(forgotten, 1));
    this->serverSend(replyWithValue(41, 2));
    OBBuffer buf;
    bool swap = false;
    CORBA_ULong status = 0;
    EXPECT_EQ(valueAt(buf, this->worker_->receive_reply(41, buf, swap, status, -1), swap), 2u);
    EXPECT_TRUE(this->worker_->is_forgotten(forgotten));
    EXPECT_EQ(this->worker_->take_reply(forgotten, buf, swap, status), 0u);

    this->serverSend(replyWithValue(forgotten, 3));
    this->serverSend(replyWithValue(42, 4));
    EXPECT_EQ(valueAt(buf, this->worker_->receive_reply(42, buf, swap, status, -1), swap), 4u);
    EXPECT_FALSE(this->worker_->is_forgotten(forgotten));
    EXPECT_EQ(this->worker_->take_reply(forgotten, buf, swap, status), 0u);
}

// The ids whose waiters gave up belong to their connection and go with it:
// on another connection a reply with such an id (request ids wrap after 2^32
// requests) is a genuine one.
TYPED_TEST(WorkerTest, ForgottenIdsGoWithTheirConnection) {
    const CORBA_ULong id = 0xFFFF0002u;
    OBSocket otherServer;
    OBObjVar<Probe<TypeParam>> other = this->connectWorker(otherServer);
    this->worker_->forget_request(id);
    EXPECT_TRUE(this->worker_->is_forgotten(id));
    this->worker_->close();
    this->worker_ = OBObjVar<Probe<TypeParam>>();  // the connection is gone before the late reply
    PeerSocket::sendOn(otherServer.get(), replyWithValue(id, 7));
    OBBuffer buf;
    bool swap = false;
    CORBA_ULong status = 0;
    const CORBA_ULong offset = other->receive_reply(id, buf, swap, status, 2000);
    ASSERT_NE(offset, 0u) << "the reply was dropped as the late one of another connection";
    EXPECT_EQ(valueAt(buf, offset, swap), 7u);
    EXPECT_FALSE(other->is_forgotten(id));
}

TYPED_TEST(WorkerTest, TimedWaitWithoutAReplyReturnsZero) {
    OBBuffer buf(4);
    bool swap = false;
    CORBA_ULong status = 0;
    EXPECT_EQ(this->worker_->receive_reply(9, buf, swap, status, 0), 0u);
    EXPECT_EQ(this->worker_->receive_reply(9, buf, swap, status, 20), 0u);
    EXPECT_EQ(buf.len, 4u);
    const OCI_Buffer* in = this->worker_->inBuffer();
    EXPECT_TRUE(in == nullptr || in->pos == 0);  // nothing was read
    EXPECT_GE(this->clientHandle(), 0);
}

TYPED_TEST(WorkerTest, EnqueueTakesTheStorageOver) {
    OBBuffer buf;
    requestBuffer(40, buf);
    this->worker_->enqueue(buf);
    EXPECT_EQ(buf.data, nullptr);
    EXPECT_EQ(buf.len, 0u);
    EXPECT_EQ(this->worker_->queued(), 1u);
}

TYPED_TEST(WorkerTest, ProtocolFailureClosesTheTransport) {
    this->serverSend(GiopMessage().finish(OBGIOPCloseConnection));
    OBBuffer buf;
    bool swap = false;
    CORBA_ULong status = 0;
    try {
        this->worker_->receive_reply(1, buf, swap, status, -1);
        FAIL() << "CloseConnection was accepted";
    } catch (const CORBA_COMM_FAILURE& e) {
        EXPECT_EQ(e.minor(), OBMinorCloseConnection);
        EXPECT_EQ(e.completed(), CORBA_COMPLETED_MAYBE);
        EXPECT_STREQ(e.reason(), "");
    }
    EXPECT_EQ(this->clientHandle(), -1);
    PeerSocket server(std::move(this->server_));
    EXPECT_TRUE(server.waitClosed());
}

// GIOP lets a request that a CloseConnection left unanswered go again on a
// new connection: the worker hands it back whole for that.
TYPED_TEST(WorkerTest, CloseConnectionBeforeTheReplyHandsTheRequestBack) {
    OBBuffer buf;
    requestBuffer(64, buf);
    buf.data[63] = 0x5A;
    const Bytes request(buf.data, buf.data + buf.len);
    PeerSocket server(std::move(this->server_));
    std::string peerError;
    std::thread peer([&] {
        try {
            Bytes got(request.size());
            server.readExact(got.data(), got.size());
            server.send(GiopMessage().finish(OBGIOPCloseConnection));
        } catch (const std::exception& e) {
            peerError = e.what();
        }
    });
    bool swap = false;
    CORBA_ULong status = 0;
    try {
        this->worker_->send_and_receive(8, buf, swap, status, -1);
        ADD_FAILURE() << "CloseConnection was accepted";
    } catch (const CORBA_COMM_FAILURE& e) {
        EXPECT_EQ(e.minor(), OBMinorCloseConnection);
    }
    peer.join();
    EXPECT_EQ(peerError, "");
    EXPECT_EQ(Bytes(buf.data, buf.data + buf.len), request);
    EXPECT_EQ(this->clientHandle(), -1);
}

// Any other failure after the request went out leaves it with the worker:
// the server may have carried it out.
TYPED_TEST(WorkerTest, EndOfStreamBeforeTheReplyIsCompletedMaybeAndKeepsNothing) {
    OBBuffer buf;
    requestBuffer(64, buf);
    PeerSocket server(std::move(this->server_));
    std::string peerError;
    std::thread peer([&] {
        try {
            Bytes got(64);
            server.readExact(got.data(), got.size());
        } catch (const std::exception& e) {
            peerError = e.what();
        }
        server.close();
    });
    bool swap = false;
    CORBA_ULong status = 0;
    try {
        this->worker_->send_and_receive(9, buf, swap, status, -1);
        ADD_FAILURE() << "the end of stream was accepted";
    } catch (const CORBA_COMM_FAILURE& e) {
        EXPECT_EQ(e.minor(), OBMinorRecvZero);
        EXPECT_EQ(e.completed(), CORBA_COMPLETED_MAYBE);
    }
    peer.join();
    EXPECT_EQ(peerError, "");
    EXPECT_EQ(buf.len, 0u);
}

TYPED_TEST(WorkerTest, AnnouncedSizeIsBoundedByTheLimit) {
    OBBuffer buf;
    bool swap = false;
    CORBA_ULong status = 0;
    this->serverSend(GiopMessage().finish(OBGIOPReply, OBGIOPMaxMessageSize));
    EXPECT_EQ(this->worker_->receive_reply(1, buf, swap, status, 100), 0u);
    ASSERT_NE(this->worker_->inBuffer(), nullptr);
    EXPECT_EQ(this->worker_->inBuffer()->length(), OBGIOPHeaderSize + OBGIOPMaxMessageSize);
}

TYPED_TEST(WorkerTest, AnnouncedSizeBeyondTheLimitFailsTheConnection) {
    OBBuffer buf;
    bool swap = false;
    CORBA_ULong status = 0;
    this->serverSend(GiopMessage(true).finish(OBGIOPReply, OBGIOPMaxMessageSize + 1));
    try {
        this->worker_->receive_reply(1, buf, swap, status, -1);
        FAIL() << "the size was accepted";
    } catch (const CORBA_COMM_FAILURE& e) {
        EXPECT_EQ(e.minor(), OBMinorRecv);
        EXPECT_EQ(e.completed(), CORBA_COMPLETED_MAYBE);
    }
    EXPECT_EQ(this->clientHandle(), -1);
}

TYPED_TEST(WorkerTest, OneWayRestOnAFullSocketGoesOutBeforeTheNextRequest) {
    // Far more than loopback socket buffers hold while nobody reads.
    const CORBA_ULong bigSize = 32u * 1024u * 1024u;
    OBBuffer big;
    requestBuffer(bigSize, big);
    this->worker_->send_nowait(big);
    ASSERT_EQ(this->worker_->queued(), 1u) << "the socket took everything; nothing to test";

    OBBuffer next;
    requestBuffer(64, next);
    next.data[63] = 0x5A;
    const Bytes nextBytes(next.data, next.data + next.len);
    const CORBA_ULong nextId = 77;

    std::string serverError;
    std::thread server([&] {
        try {
            PeerSocket s(std::move(this->server_));
            Bytes head(12);
            s.readExact(head.data(), 12);
            Bytes rest(bigSize - 12);
            s.readExact(rest.data(), rest.size());
            Bytes second(nextBytes.size());
            s.readExact(second.data(), second.size());
            if (std::memcmp(head.data(), "GIOP", 4) != 0 || second != nextBytes)
                throw std::runtime_error("messages out of order");
            s.send(replyWithValue(nextId, 5));
            s.waitClosed();
        } catch (const std::exception& e) {
            serverError = e.what();
        }
    });
    OBBuffer buf;
    bool swap = false;
    CORBA_ULong status = 0;
    CORBA_ULong offset = 0;
    try {
        offset = this->worker_->send_and_receive(nextId, next, swap, status, 10000);
    } catch (const CORBA_SystemException& e) {
        ADD_FAILURE() << e._rep_id() << " minor " << e.minor();
    }
    EXPECT_EQ(this->worker_->queued(), 0u);
    this->worker_->close();
    server.join();
    EXPECT_EQ(serverError, "");
    ASSERT_NE(offset, 0u);
    EXPECT_EQ(valueAt(next, offset, swap), 5u);
}

// --- the reactive worker -------------------------------------------------------

// A handler that counts its calls.
class Silent : public OBEventHandler {
public:
    void on_events(CORBA_Long) override { ++calls; }
    void on_reactor_stop() override {}
    int calls = 0;
};

typedef WorkerTest<OBGIOPClientWorkerReactive> ReactiveWorkerTest;

TEST(ReactiveWorkerDeathTest, ClosedTransportCannotBeWatched) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    IIOPConnection c = connectLoopback();
    c.client->close();
    EXPECT_DEATH(OBObjVar<OBGIOPClientWorker>(new OBGIOPClientWorkerReactive(nullptr, OBDuplicate(c.client.in()))),
                 "Assertion failed: handle >= 0, file GIOPClientWorkerReactive");
}

TEST_F(ReactiveWorkerTest, AsksForWritingOnlyWhileSomethingIsQueued) {
    EXPECT_FALSE(reactor()->dispatch_one(0));  // silent peer, read only
    OBBuffer buf;
    requestBuffer(40, buf);
    const Bytes sent(buf.data, buf.data + buf.len);
    worker_->enqueue(buf);
    EXPECT_TRUE(reactor()->dispatch_one(0));  // writable: the buffer goes out
    EXPECT_EQ(worker_->queued(), 0u);
    EXPECT_FALSE(reactor()->dispatch_one(0));  // read only again

    PeerSocket server(std::move(server_));
    Bytes got(sent.size());
    server.readExact(got.data(), got.size());
    EXPECT_EQ(got, sent);
}

TEST_F(ReactiveWorkerTest, PeerClosingWhileIdleIsStoredAndRaisedByEveryWait) {
    // Made first, so that no new socket can take over the number of the
    // handle that the worker closes.
    LoopbackPair other = makeLoopbackPair();
    server_.reset();
    ASSERT_TRUE(reactor()->dispatch_one(5000));  // the end of stream is read here
    EXPECT_EQ(clientHandle(), -1);
    {
        // A select over a closed handle would fail; with the worker's handle
        // out of the sets only this silent socket is watched.
        Silent silent;
        reactor()->register_handler(&silent, OBEventRead, other.client.get());
        EXPECT_NO_THROW(EXPECT_FALSE(reactor()->dispatch_one(0)));
        reactor()->unregister_handler(&silent);
        EXPECT_EQ(silent.calls, 0);
    }

    OBBuffer buf;
    bool swap = false;
    CORBA_ULong status = 0;
    for (CORBA_Long timeout : {-1, 0}) {
        try {
            worker_->receive_reply(1, buf, swap, status, timeout);
            ADD_FAILURE() << "no stored failure";
        } catch (const CORBA_COMM_FAILURE& e) {
            EXPECT_EQ(e.minor(), OBMinorRecvZero);
            EXPECT_EQ(e.completed(), CORBA_COMPLETED_NO);
        }
    }
    requestBuffer(40, buf);
    EXPECT_THROW(worker_->send_nowait(buf), CORBA_COMM_FAILURE);
}

// A select that fails while the worker waits ends the worker, as every
// CORBA_COMM_FAILURE does: the call cannot get its reply any more.
TEST_F(ReactiveWorkerTest, SelectFailureInAWaitDropsTheWorker) {
    OBSocketHandle closed = OBSocketOpen();
    ASSERT_NE(closed, OBNoSocket);
    ASSERT_TRUE(OBSocketClose(closed));
    Silent stale;
    reactor()->register_handler(&stale, OBEventRead, closed);
    OBBuffer buf;
    bool swap = false;
    CORBA_ULong status = 0;
    std::vector<CORBA_ULong> minors;
    for (CORBA_Long timeout : {-1, 0}) {
        try {
            worker_->receive_reply(3, buf, swap, status, timeout);
            ADD_FAILURE() << "select accepted a closed socket (time-out " << timeout << ")";
        } catch (const CORBA_COMM_FAILURE& e) {
            minors.push_back(e.minor());
        }
        // Dropped by the first failure: later waits raise it again.
        EXPECT_EQ(clientHandle(), -1) << "time-out " << timeout;
    }
    reactor()->unregister_handler(&stale);
    EXPECT_EQ(minors, (std::vector<CORBA_ULong>{OBMinorSelect, OBMinorSelect}));
    EXPECT_EQ(stale.calls, 0);
}

TEST_F(ReactiveWorkerTest, ReplyInSmallSegmentsIsAssembledAcrossPasses) {
    const Bytes reply = replyWithValue(12, 1234, true);
    OBBuffer buf;
    bool swap = false;
    CORBA_ULong status = 0;
    for (std::size_t at = 0; at < reply.size(); at += 5) {
        serverSend(Bytes(reply.begin() + at, reply.begin() + std::min(at + 5, reply.size())));
        ASSERT_TRUE(reactor()->dispatch_one(5000));
    }
    const CORBA_ULong offset = worker_->receive_reply(12, buf, swap, status, 0);
    ASSERT_NE(offset, 0u);
    EXPECT_TRUE(swap);
    EXPECT_EQ(valueAt(buf, offset, swap), 1234u);
}

}  // namespace
