// Object references: connection sharing and the reuse policy, the policy
// operations, equivalence and hashing, the bound on location forwards, and
// references that could never be invoked.
#include "ScriptedPeer.h"

#include <OB/Client.h>
#include <OB/ORB.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const Bytes Key{'k', 'e', 'y'};

class ObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "t";
        char* argv[] = {name, nullptr};
        int argc = 1;
        orb_ = CORBA_ORB_init(argc, argv, "");
    }

    CORBA_Object* reference(CORBA_UShort port, const Bytes& key = Key) {
        return OBObjectFromIOR(loopbackIor(port, key));
    }

    // A policy list holding one reuse policy with the given value.
    static CORBA_PolicyList reuse(bool value) {
        CORBA_PolicyList list;
        list.length(1);
        list[0] = new OB_ConnectionReusePolicy(value);
        return list;
    }

    CORBA_ORB_var orb_;
};

TEST_F(ObjectTest, ReferencesToOneServerShareAClientUnlessReuseIsRefused) {
    CORBA_Object_var a(reference(20001));
    CORBA_Object_var b(reference(20001));
    EXPECT_EQ(a->client.in(), b->client.in());

    CORBA_Object_var own(a->_set_policy_overrides(reuse(false), CORBA_ADD_OVERRIDE));
    EXPECT_NE(a->client.in(), own->client.in());
    EXPECT_FALSE(own->client->reusable);
    CORBA_Object_var later(reference(20001));
    EXPECT_EQ(a->client.in(), later->client.in());

    CORBA_Object_var other(reference(20002));
    EXPECT_NE(a->client.in(), other->client.in());
}

TEST_F(ObjectTest, PolicyOperations) {
    CORBA_Object_var obj(reference(20003));
    OBObjVar<CORBA_Policy> p(obj->_get_policy(OB_ConnectionReusePolicy::PolicyType));
    OBObjVar<OB_ConnectionReusePolicy> r(OB_ConnectionReusePolicy::_narrow(p.in()));
    ASSERT_NE(nullptr, r.in());
    EXPECT_TRUE(r->reuse());
    EXPECT_THROW(obj->_get_policy(99), CORBA_INV_POLICY);

    // Overriding with the very policy object the reference holds keeps it.
    CORBA_PolicyList same;
    same.length(1);
    same[0] = OBDuplicate(p.in());
    CORBA_Object_var again(obj->_set_policy_overrides(same, CORBA_ADD_OVERRIDE));
    EXPECT_EQ(1u, again->policies.length());
    EXPECT_EQ(p.in(), again->policies[0].in());

    CORBA_Object_var replaced(obj->_set_policy_overrides(CORBA_PolicyList(), CORBA_SET_OVERRIDE));
    EXPECT_EQ(0u, replaced->policies.length());
    EXPECT_THROW(replaced->_get_policy(OB_ConnectionReusePolicy::PolicyType), CORBA_INV_POLICY);

    CORBA_PolicyTypeSeq types;
    types.length(2);
    types[0] = 7;
    types[1] = OB_ConnectionReusePolicy::PolicyType;
    std::unique_ptr<CORBA_PolicyList> found(obj->_get_policy_overrides(types));
    EXPECT_EQ(1u, found->length());
    types.length(1);
    found.reset(obj->_get_policy_overrides(types));
    EXPECT_EQ(0u, found->length());

    CORBA_Object_var local(new OB_ConnectPolicy(true));
    EXPECT_THROW(local->_get_policy(1), CORBA_BAD_OPERATION);
    EXPECT_THROW(local->_set_policy_overrides(same, CORBA_ADD_OVERRIDE), CORBA_BAD_OPERATION);
}

TEST_F(ObjectTest, EquivalenceAndHash) {
    CORBA_Object_var a(reference(20004));
    CORBA_Object_var b(reference(20004));
    CORBA_Object_var otherPort(reference(20005));
    CORBA_Object_var otherKey(reference(20004, Bytes{'x'}));
    CORBA_Object_var local(new OB_ConnectPolicy(true));
    EXPECT_TRUE(a->_is_equivalent(a.in()));
    EXPECT_TRUE(a->_is_equivalent(b.in()));
    EXPECT_FALSE(a->_is_equivalent(otherPort.in()));
    EXPECT_FALSE(a->_is_equivalent(otherKey.in()));
    EXPECT_FALSE(a->_is_equivalent(local.in()));
    EXPECT_FALSE(a->_is_equivalent(nullptr));

    EXPECT_EQ(0u, a->_hash(0));
    EXPECT_LE(a->_hash(10), 10u);
    EXPECT_EQ(a->_hash(0xFFFFFFFFu) % 11, a->_hash(10));
}

TEST_F(ObjectTest, ReferencesThatCannotBeInvokedAreRefusedAtBinding) {
    EXPECT_THROW(CORBA_Object_var(reference(20006, Bytes{})), CORBA_INV_OBJREF);
    IOP_IOR nil;
    nil.type_id = "";
    EXPECT_EQ(nullptr, OBObjectFromIOR(nil));
    IOP_IOR noIiop = loopbackIor(20006, Key);
    noIiop.profiles[0].tag = 1;
    EXPECT_THROW(CORBA_Object_var(OBObjectFromIOR(noIiop)), CORBA_NO_RESOURCES);
}

// A LOCATION_FORWARD reply to request id that sends the client to ior.
Bytes forwardReply(CORBA_ULong id, const IOP_IOR& ior) {
    GiopMessage m = replyHeader(id, 3);
    m.string(ior.type_id.in()).ulong(1).ulong(0);
    const IOP_TaggedProfile& prof = ior.profiles[0];
    m.octets(Bytes(prof.profile_data.data(), prof.profile_data.data() + prof.profile_data.length()));
    return m.finish(1);
}

TEST_F(ObjectTest, EndlessForwardingEndsInTransient) {
    const unsigned expected = OBMaxLocationForwards + 1;
    unsigned served = 0;
    ScriptedPeer peer([&served, expected](ScriptedPeer& p) {
        const IOP_IOR self = loopbackIor(p.port(), Key);
        PeerSocket s = p.accept();
        for (; served < expected; ++served) {
            PeerRequest r = s.readRequest();
            s.send(forwardReply(r.id, self));
        }
    });
    CORBA_Object_var obj(reference(peer.port()));
    EXPECT_THROW(obj->_non_existent(), CORBA_TRANSIENT);
    EXPECT_EQ("", peer.finish());
    EXPECT_EQ(expected, served);
}

TEST_F(ObjectTest, IsAAfterAForwardAsksTheNewReferenceFirst) {
    std::vector<std::string> ops;
    ScriptedPeer peer([&ops](ScriptedPeer& p) {
        IOP_IOR forwarded = loopbackIor(p.port(), Key);
        forwarded.type_id = "IDL:Forwarded:1.0";
        PeerSocket s = p.accept();
        for (;;) {
            PeerRequest r = s.readRequest();
            ops.push_back(r.op);
            if (ops.size() == 1) {
                s.send(forwardReply(r.id, forwarded));
                continue;
            }
            s.send(replyHeader(r.id, 0).octet(r.op == "_is_a" ? 1 : 0).finish(1));
            if (r.op == "_non_existent")
                return;
        }
    });
    CORBA_Object_var obj(reference(peer.port()));
    EXPECT_TRUE(obj->_is_a("IDL:Forwarded:1.0"));
    EXPECT_STREQ(obj->ior.type_id.in(), "IDL:Forwarded:1.0");
    EXPECT_FALSE(obj->_non_existent());
    EXPECT_EQ("", peer.finish());
    // The forwarded reference's type_id answers the repeated _is_a.
    EXPECT_EQ(ops, (std::vector<std::string>{"_is_a", "_non_existent"}));
}

TEST_F(ObjectTest, NonExistentAsksTheServer) {
    ScriptedPeer peer([](ScriptedPeer& p) {
        PeerSocket s = p.accept();
        PeerRequest r = s.readRequest();
        if (r.op != "_non_existent" || r.message.size() != r.argsOffset)
            throw std::runtime_error("unexpected request " + r.op);
        s.send(replyHeader(r.id, 0).octet(1).finish(1));
    });
    CORBA_Object_var obj(reference(peer.port()));
    EXPECT_TRUE(obj->_non_existent());
    EXPECT_EQ("", peer.finish());
}

}  // namespace
