// Objects whose construction fails: counted objects, the ORB, clients and
// client workers leave nothing behind, neither memory nor sockets, and the
// process goes on. Failures are made by this program's operator new, which
// can be told to fail one allocation of the calling thread.
#include "IIOPPeer.h"

#include <OB/GIOPClient.h>
#include <OB/OCI_IIOP_impl.h>
#include <OB/ORB.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <new>
#include <stdexcept>

namespace {

// Allocations of this thread still to succeed before one fails; -1: none fails.
thread_local long allocationsBeforeFailure = -1;

void* allocate(std::size_t n) {
    if (allocationsBeforeFailure == 0) {
        allocationsBeforeFailure = -1;
        throw std::bad_alloc();
    }
    if (allocationsBeforeFailure > 0)
        --allocationsBeforeFailure;
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    try {
        return allocate(n);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t n, const std::nothrow_t& tag) noexcept { return operator new(n, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

// Makes the allocation after the first `succeeding` ones of this thread fail
// while it lives.
class FailingAllocation {
public:
    explicit FailingAllocation(long succeeding) { allocationsBeforeFailure = succeeding; }
    ~FailingAllocation() { allocationsBeforeFailure = -1; }
    FailingAllocation(const FailingAllocation&) = delete;
    FailingAllocation& operator=(const FailingAllocation&) = delete;

    // True when the failure has happened.
    static bool happened() { return allocationsBeforeFailure == -1; }
};

SocketLibrary sockets;

// More allocations than any of the operations below makes.
const long allocationLimit = 2000;

// Runs step once with each of its allocations failing in turn, then once
// without a failure; after each failed run, check(). Returns the number of
// failed runs. An exception other than the ORB's or the library's report of
// an exhausted heap fails the test.
long failEachAllocation(const std::function<void()>& step, const std::function<void()>& check) {
    for (long n = 0; n < allocationLimit; ++n) {
        bool failed = false;
        {
            FailingAllocation failing(n);
            try {
                step();
            } catch (const std::bad_alloc&) {
                failed = true;
            } catch (const CORBA_NO_MEMORY&) {
                failed = true;
            }
            if (!failed && !FailingAllocation::happened())
                return n;  // every allocation of step has been tried
        }
        EXPECT_TRUE(failed) << "allocation " << n << " failed and the step went on as if nothing happened";
        check();
    }
    ADD_FAILURE() << "the step allocates more than " << allocationLimit << " times";
    return allocationLimit;
}

// --- counted objects ----------------------------------------------------------

class ThrowingCounted : public OBSimpleRefCount {
public:
    ThrowingCounted() { throw std::runtime_error("constructor failed"); }
};

TEST(FailedConstruction, CountedObjectIsDestroyedWithoutTheCountCheck) {
    EXPECT_THROW(new ThrowingCounted, std::runtime_error);
}

#ifndef _WIN32
TEST(FailedConstructionDeathTest, LeftOverCountIsStillReportedOtherwise) {
    struct Counted : OBSimpleRefCount {};
    EXPECT_DEATH({ delete new Counted; },
                 "Object was deleted without an object reference count of zero(.|\n)*ref_ == 0");
}
#endif

// --- the ORB --------------------------------------------------------------------

CORBA_ORB* initOrb() {
    char name[] = "t";
    char* argv[] = {name, nullptr};
    int argc = 1;
    return CORBA_ORB_init(argc, argv, "");
}

TEST(FailedConstruction, ORBInitThatRunsOutOfMemoryLeavesNoORB) {
    const long failures = failEachAllocation([] { CORBA_ORB_var orb(initOrb()); },
                                             [] { EXPECT_EQ(CORBA_ORB::_OB_instance(), nullptr); });
    EXPECT_GT(failures, 5);
    CORBA_ORB_var orb(initOrb());
    EXPECT_NE(orb.in(), nullptr);
}

// --- clients --------------------------------------------------------------------

// A client whose own constructor fails after OBClient has listed it.
class ThrowingClient : public OBGIOPClient {
public:
    explicit ThrowingClient(OCI_Connector* connector) : OBGIOPClient(connector) {
        throw std::runtime_error("client constructor failed");
    }
};

TEST(FailedConstruction, ClientThatFailsLeavesTheClientList) {
    CORBA_ORB_var orb(initOrb());
    CORBA_UShort port = 0;
    OBSocket listener = openListener(port);
    EXPECT_THROW(new ThrowingClient(new OCI_IIOP_Connector_impl("127.0.0.1", port)), std::runtime_error);
    // Binding asks every listed client whether it serves the reference.
    IIOP_ProfileBody body;
    body.host = "127.0.0.1";
    body.port = port;
    body.object_key.length(1);
    body.object_key[0] = 'k';
    IOP_IOR ior;
    ior.type_id = "IDL:T:1.0";
    ior.profiles.length(1);
    OBEncodeIIOPProfile(body, ior.profiles[0]);
    CORBA_Object_var obj(OBObjectFromIOR(ior));
    EXPECT_NE(obj->client.in(), nullptr);
}

// --- client workers ----------------------------------------------------------------

// Workers over the client end of a loopback IIOP connection.
class WorkerConstruction : public testing::Test {
protected:
    void SetUp() override { connection_ = connectLoopback(); }

    template<class Worker> void failEachAllocationOf() {
        OCI_Transport* transport = connection_.client.in();
        const long failures = failEachAllocation(
            [transport] { OBObjVar<OBGIOPClientWorker> worker(new Worker(nullptr, OBDuplicate(transport))); },
            [transport] { EXPECT_EQ(transport->_OB_getRef(), 1); });
        EXPECT_GT(failures, 1);
        EXPECT_EQ(transport->_OB_getRef(), 1);
    }

    IIOPConnection connection_;
};

TEST_F(WorkerConstruction, BlockingWorkerThatFailsGivesItsTransportBack) {
    failEachAllocationOf<OBGIOPClientWorker>();
}

TEST_F(WorkerConstruction, ReactiveWorkerThatFailsGivesItsTransportBack) {
    failEachAllocationOf<OBGIOPClientWorkerReactive>();
}

// --- connections ---------------------------------------------------------------------

// Accepts every connection waiting at listener and requires each to have
// been closed by its client already.
void expectWaitingConnectionsClosed(OBSocketHandle listener) {
    for (;;) {
        OBSocketSet read;
        read.add(listener);
        const OBTimeVal now = {0, 0};
        if (OBSocketSelect(listener + 1, &read, nullptr, &now) != 1)
            return;
        OBSocket accepted(OBSocketAccept(listener));
        ASSERT_NE(accepted.get(), OBNoSocket);
        ASSERT_TRUE(waitReadable(accepted.get())) << "a connection of a failed attempt is still open";
        CORBA_Octet octet;
        EXPECT_EQ(OBSocketRecv(accepted.get(), &octet, 1), 0);
    }
}

TEST(FailedConstruction, ClientThatCannotMakeItsWorkerClosesTheNewConnection) {
    CORBA_UShort port = 0;
    OBSocket listener = openListener(port);
    OBObjVar<OBGIOPClient> client(new OBGIOPClient(new OCI_IIOP_Connector_impl("127.0.0.1", port)));
    const long failures = failEachAllocation([&] { OBObjVar<OCI_Transport> t(client->transport()); },
                                             [&] { expectWaitingConnectionsClosed(listener.get()); });
    EXPECT_GT(failures, 2);
}

TEST(FailedConstruction, AcceptorThatCannotMakeTheTransportClosesTheAcceptedSocket) {
    OBObjVar<OCI_IIOP_Acceptor_impl> acceptor(listeningAcceptor());
    OBSocket peer;
    const long failures = failEachAllocation(
        [&] {
            peer = OBSocket(OBSocketOpen());
            ASSERT_TRUE(OBSocketConnect(peer.get(), loopbackAddress(acceptor->port())));
            OBObjVar<OCI_Transport> t(acceptor->accept());
        },
        [&] {
            ASSERT_TRUE(waitReadable(peer.get())) << "the accepted socket is still open";
            CORBA_Octet octet;
            EXPECT_EQ(OBSocketRecv(peer.get(), &octet, 1), 0);
        });
    EXPECT_GT(failures, 0);
}

}  // namespace
