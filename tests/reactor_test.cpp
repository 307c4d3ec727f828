// The select reactor over loopback sockets: handler table order, socket set
// limits, dispatching passes, stopping, failures and timers.
#include "LoopbackPair.h"
#include "TestClock.h"

#include <OB/Except.h>
#include <OB/SelectReactor.h>
#include <OB/Timer.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> Log;

OBSelectReactor* reactor() { return OBSelectReactor::instance(); }

// Writes "<name>:<mask>" for each event and "<name>:stop" for the stop
// notice into a shared log, then runs its action, if any.
class Recorder : public OBEventHandler {
public:
    Recorder(std::string name, Log& log) : name_(std::move(name)), log_(log) {}

    void on_events(CORBA_Long mask) override {
        log_.push_back(name_ + ":" + std::to_string(mask));
        if (action)
            action();
    }

    void on_reactor_stop() override { log_.push_back(name_ + ":stop"); }

    std::function<void()> action;

private:
    std::string name_;
    Log& log_;
};

// Keeps a handler registered for its lifetime, so that a failed test leaves
// the process-wide table clean.
class Registration {
public:
    Registration(OBEventHandler& handler, CORBA_Long mask, OBSocketHandle handle)
        : handler_(&handler) {
        reactor()->register_handler(handler_, mask, handle);
    }
    ~Registration() {
        if (handler_)
            reactor()->unregister_handler(handler_);
    }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

    // Unregisters now.
    void end() {
        reactor()->unregister_handler(handler_);
        handler_ = nullptr;
    }

    // The handler was unregistered elsewhere.
    void forget() { handler_ = nullptr; }

private:
    OBEventHandler* handler_;
};

// Writes its name into a shared log when it expires.
class LogTimer : public OBTimer {
public:
    LogTimer(std::string name, Log& log) : name_(std::move(name)), log_(log) {}
    LogTimer(std::string name, Log& log, const OBTimeVal& time, bool relative)
        : OBTimer(time, relative), name_(std::move(name)), log_(log) {}

    void expired() override {
        log_.push_back(name_);
        if (action)
            action();
    }

    std::function<void()> action;

private:
    std::string name_;
    Log& log_;
};

// A pair whose server end has one octet waiting.
LoopbackPair readablePair() {
    LoopbackPair pair = makeLoopbackPair();
    if (!sendOctet(pair.client.get()) || !waitReadable(pair.server.get()))
        throw std::runtime_error("no data arrived");
    return pair;
}

class ReactorTest : public ::testing::Test {
protected:
    SocketLibrary library_;
    Log log_;
};

TEST_F(ReactorTest, InstanceIsKept) {
    EXPECT_EQ(OBSelectReactor::instance(), OBSelectReactor::instance());
    EXPECT_NE(OBSelectReactor::instance(), nullptr);
}

TEST_F(ReactorTest, NothingReadyGivesFalse) {
    LoopbackPair quiet = makeLoopbackPair();
    Recorder a("a", log_);
    Registration ra(a, OBEventRead, quiet.server.get());
    EXPECT_FALSE(reactor()->dispatch_one(0));
    EXPECT_TRUE(log_.empty());
}

TEST_F(ReactorTest, ReadySocketIsDispatchedWithItsEvents) {
    LoopbackPair busy = readablePair();
    Recorder a("a", log_);
    Registration ra(a, OBEventRead, busy.server.get());
    EXPECT_TRUE(reactor()->dispatch_one(0));
    reactor()->register_handler(&a, OBEventRead | OBEventWrite, busy.server.get());
    EXPECT_TRUE(reactor()->dispatch_one(0));
    reactor()->register_handler(&a, OBEventWrite, busy.server.get());
    EXPECT_TRUE(reactor()->dispatch_one(-1));
    EXPECT_EQ(log_, (Log{"a:1", "a:3", "a:2"}));
}

TEST_F(ReactorTest, ReRegistrationKeepsPositionWithNewMaskAndHandle) {
    LoopbackPair p1 = readablePair();
    LoopbackPair p2 = readablePair();
    Recorder a("a", log_), b("b", log_);
    Registration ra(a, OBEventRead, p1.server.get());
    Registration rb(b, OBEventRead, p2.server.get());
    EXPECT_TRUE(reactor()->dispatch_one(0));
    reactor()->register_handler(&a, OBEventWrite, p1.client.get());
    EXPECT_TRUE(reactor()->dispatch_one(0));
    EXPECT_EQ(log_, (Log{"a:1", "b:1", "a:2", "b:1"}));
}

TEST_F(ReactorTest, MaskZeroIsNotWatched) {
    LoopbackPair busy = readablePair();
    LoopbackPair quiet = makeLoopbackPair();
    Recorder a("a", log_), q("q", log_);
    Registration ra(a, 0, busy.server.get());
    // An empty pair of sets is an error for Windows Sockets: watch a quiet one.
    Registration rq(q, OBEventRead, quiet.server.get());
    EXPECT_FALSE(reactor()->dispatch_one(0));
    EXPECT_TRUE(log_.empty());
}

TEST_F(ReactorTest, SixtyFifthReadHandlerIsNotWatchedForReading) {
    const int count = 65;
    std::vector<LoopbackPair> pairs;
    std::vector<std::unique_ptr<Recorder>> handlers;
    std::vector<std::unique_ptr<Registration>> registrations;
    for (int i = 0; i < count; ++i) {
        pairs.push_back(makeLoopbackPair());
        handlers.push_back(std::make_unique<Recorder>("h" + std::to_string(i), log_));
        registrations.push_back(
            std::make_unique<Registration>(*handlers[i], OBEventRead, pairs[i].server.get()));
    }
    OBSocketHandle last = pairs[count - 1].server.get();
    ASSERT_TRUE(sendOctet(pairs[count - 1].client.get()));
    ASSERT_TRUE(waitReadable(last));

    EXPECT_FALSE(reactor()->dispatch_one(0));
    EXPECT_TRUE(log_.empty());

    // The write set has room of its own.
    reactor()->register_handler(handlers[count - 1].get(), OBEventRead | OBEventWrite, last);
    EXPECT_TRUE(reactor()->dispatch_one(0));
    EXPECT_EQ(log_, (Log{"h64:2"}));

    // One place freed in the read set lets the 65th in.
    registrations[0]->end();
    log_.clear();
    EXPECT_TRUE(reactor()->dispatch_one(0));
    EXPECT_EQ(log_, (Log{"h64:3"}));
}

TEST_F(ReactorTest, HandlerRemovedByEarlierCallbackIsNotCalled) {
    LoopbackPair p1 = readablePair();
    LoopbackPair p2 = readablePair();
    Recorder a("a", log_);
    auto b = std::make_unique<Recorder>("b", log_);
    Registration ra(a, OBEventRead, p1.server.get());
    Registration rb(*b, OBEventRead, p2.server.get());
    a.action = [&] {
        reactor()->unregister_handler(b.get());
        rb.forget();
        b.reset();
    };
    EXPECT_TRUE(reactor()->dispatch_one(0));
    EXPECT_EQ(log_, (Log{"a:1"}));
}

TEST_F(ReactorTest, HandlerAddedByCallbackWaitsForTheNextPass) {
    LoopbackPair p1 = readablePair();
    LoopbackPair p2 = readablePair();
    Recorder a("a", log_), c("c", log_);
    Registration ra(a, OBEventRead, p1.server.get());
    std::unique_ptr<Registration> rc;
    a.action = [&] {
        if (!rc)
            rc = std::make_unique<Registration>(c, OBEventRead, p2.server.get());
    };
    EXPECT_TRUE(reactor()->dispatch_one(0));
    EXPECT_TRUE(reactor()->dispatch_one(0));
    EXPECT_EQ(log_, (Log{"a:1", "a:1", "c:1"}));
}

TEST_F(ReactorTest, PassStartedByACallbackLeavesTheOuterPassIntact) {
    LoopbackPair p1 = readablePair();
    LoopbackPair p2 = readablePair();
    LoopbackPair p3 = readablePair();
    LoopbackPair quiet = makeLoopbackPair();
    Recorder a("a", log_), b("b", log_), d("d", log_);
    Registration ra(a, OBEventRead, p1.server.get());
    Registration rb(b, OBEventRead, p2.server.get());
    // During the outer pass b moves to a silent socket and d joins: the
    // inner pass sees that, the rest of the outer pass does not.
    std::unique_ptr<Registration> rd;
    a.action = [&] {
        if (rd)
            return;
        reactor()->register_handler(&b, OBEventRead, quiet.server.get());
        rd = std::make_unique<Registration>(d, OBEventRead, p3.server.get());
        EXPECT_TRUE(reactor()->dispatch_one(0));
    };
    EXPECT_TRUE(reactor()->dispatch_one(0));
    EXPECT_EQ(log_, (Log{"a:1", "a:1", "d:1", "b:1"}));
}

TEST_F(ReactorTest, StopEndsRunAfterThePassAndNotifiesEveryHandler) {
    LoopbackPair busy = readablePair();
    LoopbackPair quiet = makeLoopbackPair();
    Recorder a("a", log_), q("q", log_);
    Registration rq(q, OBEventRead, quiet.server.get());
    Registration ra(a, OBEventRead, busy.server.get());
    int calls = 0;
    a.action = [&] {
        // A second pass means that run missed the stop: end the test instead.
        if (++calls > 1)
            throw std::runtime_error("run did not stop");
        reactor()->stop();
    };
    EXPECT_NO_THROW(reactor()->run());
    EXPECT_EQ(log_, (Log{"a:1", "q:stop", "a:stop"}));
}

TEST_F(ReactorTest, CallbackExceptionEndsThePassAndLeavesTheTable) {
    LoopbackPair p1 = readablePair();
    LoopbackPair p2 = readablePair();
    Recorder a("a", log_), b("b", log_);
    Registration ra(a, OBEventRead, p1.server.get());
    Registration rb(b, OBEventRead, p2.server.get());
    a.action = [] { throw CORBA_COMM_FAILURE(OBMinorRecv, CORBA_COMPLETED_NO); };
    EXPECT_THROW(reactor()->dispatch_one(0), CORBA_COMM_FAILURE);
    a.action = nullptr;
    EXPECT_TRUE(reactor()->dispatch_one(0));
    EXPECT_EQ(log_, (Log{"a:1", "a:1", "b:1"}));
}

// A closed socket's number, taken again by a new socket, must not bring the
// old handler (registered without a mask) the new socket's events.
TEST_F(ReactorTest, HandlerWithoutAMaskGetsNoEventsOfItsHandlesNextOwner) {
    LoopbackPair pair = readablePair();
    Recorder closed("closed", log_);
    Recorder owner("owner", log_);
    Registration rc(closed, 0, pair.server.get());
    Registration ro(owner, OBEventRead | OBEventWrite, pair.server.get());
    EXPECT_TRUE(reactor()->dispatch_one(0));
    EXPECT_EQ(log_, (Log{"owner:3"}));
}

// A callback that takes a later handler's mask away in the same pass keeps
// that handler from being called.
TEST_F(ReactorTest, MaskTakenAwayByAnEarlierCallbackEndsThatHandlersEvents) {
    LoopbackPair first = readablePair();
    LoopbackPair second = readablePair();
    Recorder a("a", log_);
    Recorder b("b", log_);
    Registration ra(a, OBEventRead, first.server.get());
    Registration rb(b, OBEventRead, second.server.get());
    a.action = [&] { reactor()->register_handler(&b, 0, second.server.get()); };
    EXPECT_TRUE(reactor()->dispatch_one(0));
    EXPECT_EQ(log_, (Log{"a:1"}));
}

TEST_F(ReactorTest, SelectFailureRaisesCommFailure12) {
    OBSocketHandle closed = OBSocketOpen();
    ASSERT_NE(closed, OBNoSocket);
    ASSERT_TRUE(OBSocketClose(closed));
    Recorder a("a", log_);
    Registration ra(a, OBEventRead, closed);
    try {
        reactor()->dispatch_one(0);
        FAIL() << "select accepted a closed socket";
    } catch (const CORBA_COMM_FAILURE& e) {
        EXPECT_EQ(e.minor(), static_cast<CORBA_ULong>(OBMinorSelect));
        EXPECT_EQ(e.completed(), CORBA_COMPLETED_NO);
        EXPECT_STRNE(e.reason(), "");
    }
    EXPECT_TRUE(log_.empty());
}

#ifndef _WIN32
TEST(ReactorDeathTest, UnregisteringAnUnknownHandlerIsAnInternalError) {
    Log log;
    Recorder stranger("s", log);
    EXPECT_DEATH(reactor()->unregister_handler(&stranger), "Assertion failed: false");
}
#endif

// --- timers in the reactor ---

TEST_F(ReactorTest, DueTimersFireInTimeThenStartOrder) {
    TestClock clock;
    TestClock::advance(2000);  // both times have passed
    LoopbackPair quiet = makeLoopbackPair();
    Recorder q("q", log_);
    Registration rq(q, OBEventRead, quiet.server.get());
    LogTimer t1("t1", log_, OBTimeVal{1, 0}, false);
    LogTimer t2("t2", log_, OBTimeVal{1, 0}, false);
    LogTimer t0("t0", log_, OBTimeVal{0, 500000}, false);
    EXPECT_FALSE(reactor()->dispatch_one(0));
    EXPECT_EQ(log_, (Log{"t0", "t1", "t2"}));
    EXPECT_FALSE(t0.active());
    EXPECT_FALSE(t1.active());
    EXPECT_FALSE(t2.active());
}

TEST_F(ReactorTest, LaterTimerDoesNotStretchAShorterWait) {
    LoopbackPair quiet = makeLoopbackPair();
    Recorder q("q", log_);
    Registration rq(q, OBEventRead, quiet.server.get());
    LogTimer later("later", log_, OBTimeVal{3600, 0}, true);
    EXPECT_FALSE(reactor()->dispatch_one(0));
    EXPECT_TRUE(log_.empty());
    EXPECT_TRUE(later.active());
}

TEST_F(ReactorTest, UnboundedDispatchWaitsThroughATimer) {
    LoopbackPair pair = makeLoopbackPair();
    Recorder a("a", log_);
    Registration ra(a, OBEventRead, pair.server.get());
    LogTimer soon("soon", log_, OBTimeVal{0, 20000}, true);
    // The only event comes from the timer, so dispatch_one must wait for it
    // and then go on waiting for the socket.
    soon.action = [&] { sendOctet(pair.client.get()); };
    EXPECT_TRUE(reactor()->dispatch_one(-1));
    EXPECT_EQ(log_, (Log{"soon", "a:1"}));
}

TEST_F(ReactorTest, RunFiresTimersBetweenPasses) {
    LoopbackPair pair = makeLoopbackPair();
    Recorder a("a", log_);
    Registration ra(a, OBEventRead, pair.server.get());
    a.action = [] { reactor()->stop(); };
    LogTimer soon("soon", log_, OBTimeVal{0, 20000}, true);
    soon.action = [&] { sendOctet(pair.client.get()); };
    reactor()->run();
    EXPECT_EQ(log_, (Log{"soon", "a:1", "a:stop"}));
}

} // namespace
