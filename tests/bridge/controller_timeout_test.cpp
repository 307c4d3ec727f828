// The bridge's controller with a call time-out, against a scripted GIOP
// peer: a reply that does not come ends the call with NO_RESPONSE as the
// script sees it (the start-up's narrow included), and a reply that comes
// after its caller gave up never reaches a later call, whether it arrives
// whole or split by the time-out.
#include "../ScriptedPeer.h"
#include "ControllerFactory.h"
#include "StavaController.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace {

const Bytes Key{'S', 't', 'a', 'v', 'a'};
const std::int32_t NoResponseResult = static_cast<std::int32_t>(0x8004220E);  // NO_RESPONSE, completed maybe

// A reference to the peer as the reference file would hold it, naming
// `typeId` as the object's type.
std::string referenceTo(const ScriptedPeer& peer, const char* typeId = StavaController::RepositoryId) {
    IOP_IOR ior = loopbackIor(peer.port(), Key);
    ior.type_id = typeId;
    CORBA_String_var text(OBIORToString(ior));
    return text.in();
}

// The connection machinery, started before any peer: it also starts the
// socket library, which the peers need on Windows.
class ControllerTimeout : public ::testing::Test {
protected:
    // A controller to the peer, made the way the bridge makes it.
    std::unique_ptr<BridgeController> connect(const ScriptedPeer& peer, std::int32_t callTimeout,
                                              const char* typeId = StavaController::RepositoryId) {
        return connector_->connect(referenceTo(peer, typeId).c_str(), callTimeout);
    }

private:
    std::unique_ptr<ControllerConnector> connector_ = StartControllerConnector();
};

// The result code of a call that must fail; 0 if it did not.
template<class Call> std::int32_t failureOf(Call call, std::string* description = nullptr) {
    try {
        call();
    } catch (const ControllerError& e) {
        if (description)
            *description = e.what();
        return e.hresult();
    }
    return 0;
}

TEST_F(ControllerTimeout, SilentPeerEndsEveryCallWithNoResponse) {
    ScriptedPeer peer([](ScriptedPeer& p) {
        PeerSocket s = p.accept();
        s.readRequest();
        s.readRequest();
        p.go.wait();
    });
    const std::unique_ptr<BridgeController> c = connect(peer, 200);
    ASSERT_NE(nullptr, c);
    std::string description;
    EXPECT_EQ(NoResponseResult, failureOf([&] { c->addNode(1, 2); }, &description));
    EXPECT_NE(std::string::npos, description.find("NO_RESPONSE")) << description;
    // The connection stays: the second request goes out on it as well.
    EXPECT_EQ(NoResponseResult, failureOf([&] { c->lock(); }));
    peer.go.raise();
    EXPECT_EQ("", peer.finish());
}

// A reference of another type makes the narrow ask the peer (_is_a): with a
// call time-out, a peer that never answers must not hold the start-up. The
// peer gives up after 5 s and closes, which an unbounded narrow would see as
// COMM_FAILURE instead.
TEST_F(ControllerTimeout, SilentPeerEndsTheNarrowWithNoResponse) {
    ScriptedPeer peer([](ScriptedPeer& p) {
        PeerSocket s = p.accept();
        const PeerRequest isA = s.readRequest();
        if (isA.op != "_is_a")
            throw std::runtime_error("expected _is_a, got " + isA.op);
        p.go.wait();
    });
    std::string description;
    EXPECT_EQ(NoResponseResult,
              failureOf([&] { connect(peer, 200, "IDL:omg.org/CORBA/Object:1.0"); }, &description))
        << description;
    EXPECT_NE(std::string::npos, description.find("NO_RESPONSE")) << description;
    peer.go.raise();
    EXPECT_EQ("", peer.finish());
}

TEST_F(ControllerTimeout, LateReplyIsDroppedAndTheNextCallGetsItsOwn) {
    ScriptedPeer peer([](ScriptedPeer& p) {
        PeerSocket s = p.accept();
        const PeerRequest first = s.readRequest();
        // The next request comes only once the first call has given up.
        const PeerRequest second = s.readRequest();
        s.send(replyWithValue(first.id, 1));
        s.send(replyWithValue(second.id, 2));
        const PeerRequest third = s.readRequest();
        s.send(replyWithValue(third.id, 3, true));
    });
    const std::unique_ptr<BridgeController> c = connect(peer, 300);
    ASSERT_NE(nullptr, c);
    EXPECT_EQ(NoResponseResult, failureOf([&] { c->addTruss(1, 2); }));
    EXPECT_EQ(2, c->addEBBeam(1, 2));
    EXPECT_EQ(3, c->addNode(0, 0));
    EXPECT_EQ("", peer.finish());
}

TEST_F(ControllerTimeout, LateReplySplitByTheTimeoutIsContinuedAndDropped) {
    ScriptedPeer peer([](ScriptedPeer& p) {
        PeerSocket s = p.accept();
        const PeerRequest first = s.readRequest();
        const Bytes late = replyWithValue(first.id, 1);
        // Half a header: the waiting call keeps it when it gives up.
        s.send(Bytes(late.begin(), late.begin() + 6));
        const PeerRequest second = s.readRequest();
        s.send(Bytes(late.begin() + 6, late.end()));
        s.send(replyWithValue(second.id, 2));
    });
    const std::unique_ptr<BridgeController> c = connect(peer, 300);
    ASSERT_NE(nullptr, c);
    EXPECT_EQ(NoResponseResult, failureOf([&] { c->addTruss(1, 2); }));
    EXPECT_EQ(2, c->addEBBeam(1, 2));
    EXPECT_EQ("", peer.finish());
}

}  // namespace
