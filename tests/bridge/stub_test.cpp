// The StavaController stub against a scripted GIOP peer: exact request
// bodies, replies in the other byte order, location forwards, user
// exceptions, narrowing, and the mapping of failures to automation results.
#include "../OmniTypeCodes.h"
#include "../ScriptedPeer.h"
#include "ExceptionResult.h"
#include "StavaController.h"

#include <OB/ORB.h>
#include <OB/TypeCode.h>

#include <gtest/gtest.h>

namespace {

const Bytes Key{'s', 't', 'v', 0};

// One ORB per test, released at the end so the next test starts afresh.
class StubTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "t";
        char* argv[] = {name, nullptr};
        int argc = 1;
        orb_ = CORBA_ORB_init(argc, argv, "");
    }

    // A controller reference to the peer; typeId decides whether narrowing asks.
    StavaController* controller(const ScriptedPeer& peer, const char* typeId = StavaController::RepositoryId) {
        IOP_IOR ior = loopbackIor(peer.port(), Key);
        ior.type_id = typeId;
        CORBA_Object_var obj(OBObjectFromIOR(ior));
        return StavaController::_narrow(obj.in());
    }

    CORBA_ORB_var orb_;
};

// Reads the arguments of a request as the peer received them.
GiopReader argsOf(const PeerRequest& r) { return GiopReader(r.message, r.argsOffset, (r.message[6] & 1) == 0); }

Bytes voidReply(CORBA_ULong id) { return replyHeader(id, 0).finish(1); }

TEST_F(StubTest, AddNodeSendsTwoAlignedDoublesAndReadsASwappedResult) {
    ScriptedPeer peer([](ScriptedPeer& p) {
        PeerSocket s = p.accept();
        PeerRequest r = s.readRequest();
        if (r.op != "addNode" || r.argsOffset % 8 != 0 || r.message.size() != r.argsOffset + 16)
            throw std::runtime_error("unexpected addNode request");
        double x, z;
        std::memcpy(&x, &r.message[r.argsOffset], 8);
        std::memcpy(&z, &r.message[r.argsOffset + 8], 8);
        if (x != 1.5 || z != -2.0)
            throw std::runtime_error("wrong arguments");
        s.send(replyWithValue(r.id, 7, /*bigEndian=*/true));
    });
    StavaController_var c(controller(peer));
    ASSERT_TRUE(c.in());
    EXPECT_EQ(7, c->addNode(1.5, -2.0));
    EXPECT_EQ("", peer.finish());
}

TEST_F(StubTest, FlagsTravelAsOctetsWithoutPaddingAndEmptyLabelsAsOneNul) {
    std::vector<Bytes> bodies;
    ScriptedPeer peer([&bodies](ScriptedPeer& p) {
        PeerSocket s = p.accept();
        for (int i = 0; i < 3; ++i) {
            PeerRequest r = s.readRequest();
            bodies.emplace_back(r.message.begin() + r.argsOffset, r.message.end());
            s.send(voidReply(r.id));
        }
    });
    StavaController_var c(controller(peer));
    c->setConstraints(3, true, false, true);
    c->setNodeLabel(4, "");
    c->setEBBeamHinges(5, 1, 0, 0, 1, 1, 0);
    ASSERT_EQ("", peer.finish());
    const Bytes constraints{3, 0, 0, 0, 1, 0, 1};
    const Bytes label{4, 0, 0, 0, 1, 0, 0, 0, 0};
    const Bytes hinges{5, 0, 0, 0, 1, 0, 0, 1, 1, 0};
    EXPECT_EQ(constraints, bodies[0]);
    EXPECT_EQ(label, bodies[1]);
    EXPECT_EQ(hinges, bodies[2]);
}

TEST_F(StubTest, EveryOperationSendsItsNameAndArguments) {
    std::vector<std::string> ops;
    std::vector<std::size_t> sizes;
    ScriptedPeer peer([&](ScriptedPeer& p) {
        PeerSocket s = p.accept();
        for (int i = 0; i < 14; ++i) {
            PeerRequest r = s.readRequest();
            ops.push_back(r.op);
            sizes.push_back(r.message.size() - r.argsOffset);
            const bool numbered = r.op == "addNode" || r.op == "addEBBeam" || r.op == "addTruss";
            s.send(numbered ? replyWithValue(r.id, CORBA_ULong(i)) : voidReply(r.id));
        }
    });
    StavaController_var c(controller(peer));
    c->resetApp();
    c->lock();
    c->unlock();
    EXPECT_EQ(3, c->addNode(0, 0));
    EXPECT_EQ(4, c->addEBBeam(1, 2));
    EXPECT_EQ(5, c->addTruss(1, 2));
    c->setConstraints(1, 0, 0, 0);
    c->setForces(1, 1, 2, 3);
    c->setNodeLabel(1, "abc");
    c->setBeamLabel(1, "b");
    c->setEBBeamHinges(1, 0, 0, 0, 0, 0, 0);
    c->setEBBeamLoads(1, 1, 2, 3, 4);
    c->setEBBeamSectionalVals(1, 1, 2);
    c->setTrussSectionalVals(1, 1);
    ASSERT_EQ("", peer.finish());
    const std::vector<std::string> expected{"resetApp", "lock", "unlock", "addNode", "addEBBeam",
                                            "addTruss", "setConstraints", "setForces", "setNodeLabel",
                                            "setBeamLabel", "setEBBeamHinges", "setEBBeamLoads",
                                            "setEBBeamSectionalVals", "setTrussSectionalVals"};
    EXPECT_EQ(expected, ops);
    // Argument octets behind the (already 4-aligned) body offset; doubles
    // after a long need 4 octets of padding when the offset is 8-aligned + 4.
    EXPECT_EQ(0u, sizes[0]);
    EXPECT_EQ(8u, sizes[4]);
    EXPECT_EQ(7u, sizes[6]);
    EXPECT_EQ(12u, sizes[8]);  // long, length 4, "abc" and NUL
    EXPECT_EQ(10u, sizes[10]);
}

TEST_F(StubTest, LocationForwardRepeatsTheCallAtTheNewAddress) {
    ScriptedPeer target([](ScriptedPeer& p) {
        PeerSocket s = p.accept();
        PeerRequest r = s.readRequest();
        if (r.op != "addTruss")
            throw std::runtime_error("forwarded call not repeated");
        s.send(replyWithValue(r.id, 42));
    });
    const IOP_IOR forwardTo = loopbackIor(target.port(), Key);
    ScriptedPeer first([&forwardTo](ScriptedPeer& p) {
        PeerSocket s = p.accept();
        PeerRequest r = s.readRequest();
        GiopMessage m = replyHeader(r.id, 3);
        m.string(forwardTo.type_id.in()).ulong(1).ulong(0);
        const IOP_TaggedProfile& prof = forwardTo.profiles[0];
        m.octets(Bytes(prof.profile_data.data(), prof.profile_data.data() + prof.profile_data.length()));
        s.send(m.finish(1));
    });
    StavaController_var c(controller(first));
    EXPECT_EQ(42, c->addTruss(1, 2));
    EXPECT_EQ("", first.finish());
    EXPECT_EQ("", target.finish());
    EXPECT_EQ(target.port(), [&] {
        IIOP_ProfileBody body;
        OBDecodeIIOPProfile(c->ior.profiles[0], body);
        return body.port;
    }());
}

// Counts the calls of two operations that go on to the stub's own.
class CountingController : public StavaController {
public:
    int trussCalls = 0;
    int forceCalls = 0;
    CORBA_Long addTruss(CORBA_Long n1, CORBA_Long n2) override {
        ++trussCalls;
        return StavaController::addTruss(n1, n2);
    }
    void setForces(CORBA_Long n, CORBA_Double Fx, CORBA_Double Fz, CORBA_Double M) override {
        ++forceCalls;
        StavaController::setForces(n, Fx, Fz, M);
    }
};

TEST_F(StubTest, ForwardedCallIsRepeatedThroughTheVirtualOperation) {
    ScriptedPeer peer([](ScriptedPeer& p) {
        const IOP_IOR self = loopbackIor(p.port(), Key);
        const IOP_TaggedProfile& prof = self.profiles[0];
        const Bytes body(prof.profile_data.data(), prof.profile_data.data() + prof.profile_data.length());
        PeerSocket s = p.accept();
        for (const char* op : {"addTruss", "setForces"}) {
            PeerRequest r = s.readRequest();
            if (r.op != op)
                throw std::runtime_error("expected " + std::string(op) + ", got " + r.op);
            GiopMessage forward = replyHeader(r.id, 3);
            forward.string(StavaController::RepositoryId).ulong(1).ulong(0).octets(body);
            s.send(forward.finish(1));
            r = s.readRequest();
            if (r.op != op)
                throw std::runtime_error("forwarded " + std::string(op) + " not repeated");
            s.send(op == std::string("addTruss") ? replyWithValue(r.id, 42) : voidReply(r.id));
        }
    });
    StavaController_var narrowed(controller(peer));
    OBObjVar<CountingController> c(new CountingController);
    c->_OB_copyFrom(*narrowed);
    EXPECT_EQ(42, c->addTruss(1, 2));
    c->setForces(1, 1, 2, 3);
    EXPECT_EQ("", peer.finish());
    EXPECT_EQ(2, c->trussCalls);
    EXPECT_EQ(2, c->forceCalls);
}

TEST_F(StubTest, UserExceptionBecomesUnknown) {
    ScriptedPeer peer([](ScriptedPeer& p) {
        PeerSocket s = p.accept();
        PeerRequest r = s.readRequest();
        s.send(replyHeader(r.id, 1).string("IDL:Some/Error:1.0").finish(1));
    });
    StavaController_var c(controller(peer));
    try {
        c->lock();
        FAIL() << "no exception";
    } catch (const CORBA_UNKNOWN& e) {
        EXPECT_EQ(0u, e.minor());
        EXPECT_EQ(CORBA_COMPLETED_NO, e.completed());
    }
    EXPECT_EQ("", peer.finish());
}

TEST_F(StubTest, NarrowingAsksTheServerOnlyWhenTheTypeIdDoesNotTell) {
    ScriptedPeer peer([](ScriptedPeer& p) {
        PeerSocket s = p.accept();
        PeerRequest r = s.readRequest();
        if (r.op != "_is_a")
            throw std::runtime_error("expected _is_a, got " + r.op);
        GiopReader in = argsOf(r);
        const CORBA_ULong len = in.ulong();
        const Bytes id = in.octets(len);
        if (std::string(id.begin(), id.end() - 1) != StavaController::RepositoryId)
            throw std::runtime_error("wrong repository id asked");
        s.send(replyHeader(r.id, 0).octet(0).finish(1));  // false
    });
    StavaController_var refused(controller(peer, ""));
    EXPECT_EQ(nullptr, refused.in());
    EXPECT_EQ("", peer.finish());

    // With the right type_id no connection is made at all: the peer's
    // listener is gone, so any request would fail.
    ScriptedPeer silent([](ScriptedPeer&) {});
    ASSERT_EQ("", silent.finish());
    StavaController_var narrowed(controller(silent));
    ASSERT_NE(nullptr, narrowed.in());
    StavaController_var again(StavaController::_narrow(narrowed.in()));
    EXPECT_EQ(narrowed.in(), again.in());
    EXPECT_EQ(2, narrowed->_OB_getRef());
    EXPECT_EQ(nullptr, StavaController::_narrow(nullptr));
}

TEST_F(StubTest, SystemExceptionsMapToInterworkingResults) {
    EXPECT_EQ(int32_t(0x80040204), SystemExceptionResult(CORBA_COMM_FAILURE(10, CORBA_COMPLETED_NO)));
    EXPECT_EQ(int32_t(0x80042204), SystemExceptionResult(CORBA_COMM_FAILURE(20, CORBA_COMPLETED_MAYBE)));
    EXPECT_EQ(int32_t(0x80041201), SystemExceptionResult(CORBA_BAD_PARAM(0, CORBA_COMPLETED_YES)));
    EXPECT_EQ(int32_t(0x80040200), SystemExceptionResult(CORBA_UNKNOWN(0, CORBA_COMPLETED_NO)));
    EXPECT_EQ(int32_t(0x80040219), SystemExceptionResult(CORBA_OBJECT_NOT_EXIST(0, CORBA_COMPLETED_NO)));
    EXPECT_EQ(int32_t(0x80040200), SystemExceptionResult(CORBA_INV_POLICY(0, CORBA_COMPLETED_NO)));
    const std::string text = SystemExceptionDescription(CORBA_BAD_PARAM(0, CORBA_COMPLETED_NO));
    EXPECT_EQ("System exception `BAD_PARAM'\nCompleted: no\nMinor code: 0", text);
}

TEST(StubTypeCode, StoredTextIsTheObjrefEncapsulation) {
    OBBuffer octets;
    ASSERT_TRUE(OBHexDecode(StavaController_tc_text, octets));
    ASSERT_EQ(64u, octets.len);
    OBInCursor in = OBMakeInCursor(octets, 4);
    CORBA_ULong kind = 0, length = 0;
    OBRead(kind, in, false);
    OBRead(length, in, false);
    EXPECT_EQ(14u, kind);
    EXPECT_EQ(52u, length);
    in.cur += 4;  // the encapsulation's byte-order octet and padding
    CORBA_String_var id, name;
    OBRead(id, in, false);
    OBRead(name, in, false);
    EXPECT_STREQ("IDL:StavaController:1.0", id.in());
    EXPECT_STREQ("StavaController", name.in());
    EXPECT_EQ(in.end, in.cur);
}

TEST(StubTypeCode, ConstantIsTheInterfaceTypeCodeMadeOnceForTheProcess) {
    CORBA_TypeCode* tc = _tc_StavaController;
    ASSERT_NE(tc, nullptr);
    EXPECT_EQ(tc->kind(), CORBA_tk_objref);
    EXPECT_STREQ(tc->id(), "IDL:StavaController:1.0");
    EXPECT_STREQ(tc->name(), "StavaController");
    EXPECT_EQ(static_cast<CORBA_TypeCode*>(_tc_StavaController), tc);

    OBBuffer omniOctets;
    ASSERT_TRUE(OBHexDecode(omni::StavaController, omniOctets));
    OBInCursor in = OBMakeInCursor(omniOctets);
    CORBA_TypeCode_var written;
    OBRead(written, in, OBNativeByteOrder() != 1);
    EXPECT_TRUE(tc->equal(written));
    EXPECT_TRUE(written->equal(tc));
}

}  // namespace
