// The IIOP connector and connector factory: connecting and its failures,
// endpoint matching, IOR equivalence, factory selection under the connect
// policy, and connect callbacks.
#include "IIOPPeer.h"
#include "IORFixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#ifndef _WIN32
#  include <netinet/tcp.h>
#  include <sys/socket.h>
#endif

namespace {

// A host name that fails in the local resolver: a label longer than 63
// characters cannot be put into a query, so no lookup leaves the machine.
const std::string BadHost = std::string(70, 'a') + ".invalid";

class ConnectorTest : public ::testing::Test {
protected:
    SocketLibrary sockets;
};

template <class F> void expectCommFailure(F f, CORBA_ULong minor) {
    try {
        f();
        ADD_FAILURE() << "no exception";
    } catch (const CORBA_COMM_FAILURE& e) {
        EXPECT_EQ(e.minor(), minor);
        EXPECT_EQ(e.completed(), CORBA_COMPLETED_NO);
        EXPECT_STRNE(e.reason(), "");
    }
}

bool noDelay(OCI_Handle h) {
    int value = 0;
#ifdef _WIN32
    int len = sizeof value;
    getsockopt(static_cast<SOCKET>(h), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&value), &len);
#else
    socklen_t len = sizeof value;
    getsockopt(h, IPPROTO_TCP, TCP_NODELAY, &value, &len);
#endif
    return value != 0;
}

CORBA_PolicyList connectPolicies(bool value) {
    CORBA_PolicyList list;
    list.length(2);
    list[0] = new OB_ConnectionReusePolicy(false);
    list[1] = new OB_ConnectPolicy(value);
    return list;
}

// Counts its calls; throws from connected when asked to.
class CountingCallback : public OCI_ConnectCB {
public:
    int calls = 0;
    bool fail = false;
    OCI_TransportInfo* last = nullptr;  // not kept: the info refers back to this callback's list
    void connected(OCI_TransportInfo* info) override {
        ++calls;
        last = info;
        if (fail)
            throw CORBA_NO_PERMISSION(0, CORBA_COMPLETED_NO);
    }
};

// A factory for an imaginary profile tag that accepts any IOR carrying it.
class TagFactory : public OCI_ConFactory {
public:
    explicit TagFactory(OCI_ProfileId tag) : tag_(tag) {}
    OCI_ProfileId tag() override { return tag_; }
    OCI_Connector* create_connector(const IOP_IOR&) override { return nullptr; }
    OCI_Connector* create_connector_with_policies(const IOP_IOR&, const CORBA_PolicyList&) override {
        return nullptr;
    }
    CORBA_Boolean accepts_ior(const IOP_IOR& ior, const CORBA_PolicyList&) override {
        for (CORBA_ULong i = 0; i < ior.profiles.length(); ++i)
            if (ior.profiles[i].tag == tag_)
                return true;
        return false;
    }
    CORBA_Boolean equivalent(const IOP_IOR&, const IOP_IOR&) override { return true; }

private:
    OCI_ProfileId tag_;
};

}  // namespace

// --- connect ---------------------------------------------------------------------------

TEST_F(ConnectorTest, ConnectYieldsABlockingTransportWithoutNagle) {
    OBObjVar<OCI_IIOP_Acceptor_impl> acceptor(listeningAcceptor());
    OBObjVar<OCI_IIOP_Connector_impl> connector(new OCI_IIOP_Connector_impl("127.0.0.1", acceptor->port()));
    EXPECT_EQ(connector->handle(), -1);
    EXPECT_EQ(connector->tag(), 0u);
    OBObjVar<OCI_Transport> client(connector->connect());
    EXPECT_EQ(connector->handle(), -1);  // the socket went to the transport
    ASSERT_GE(client->handle(), 0);
    EXPECT_TRUE(noDelay(client->handle()));
    OBObjVar<OCI_Transport> server(acceptor->accept());
    EXPECT_TRUE(noDelay(server->handle()));

    OBObjVar<OCI_ConnectorInfo> info(connector->info());
    OBObjVar<OCI_IIOP_ConnectorInfo> iiop(OCI_IIOP_ConnectorInfo::_narrow(info.in()));
    ASSERT_FALSE(CORBA_is_nil(iiop.in()));
    EXPECT_EQ(iiop->remote_port(), acceptor->port());
    const OCI_IIOP_InetAddr addr = iiop->remote_address();
    EXPECT_EQ(addr.octets[0], 127);
    EXPECT_EQ(addr.octets[3], 1);
    EXPECT_TRUE(info->_is_a("IDL:stava.org/OCI/ConnectorInfo:1.0"));
    EXPECT_TRUE(info->_is_a("IDL:stava.org/OCI/IIOP/ConnectorInfo:1.0"));

    // A second connect gives a second connection.
    OBObjVar<OCI_Transport> again(connector->connect());
    EXPECT_NE(again->handle(), client->handle());
}

TEST_F(ConnectorTest, RefusedConnectRaisesMinor10WithTheSystemText) {
    // Bound but not listening: connections to it are refused.
    OBObjVar<OCI_IIOP_Acceptor_impl> bound(new OCI_IIOP_Acceptor_impl("127.0.0.1", 0));
    OBObjVar<OCI_IIOP_Connector_impl> connector(new OCI_IIOP_Connector_impl("127.0.0.1", bound->port()));
    OBSetSocketError(OBErrConnRefused);
    const std::string refused = socket_error_text();
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            OBObjVar<OCI_Transport> t(connector->connect());
            ADD_FAILURE() << "connected";
        } catch (const CORBA_COMM_FAILURE& e) {
            EXPECT_EQ(e.minor(), OBMinorConnect);
            EXPECT_EQ(e.completed(), CORBA_COMPLETED_NO);
            EXPECT_EQ(std::string(e.reason()), refused);
        }
        EXPECT_EQ(connector->handle(), -1);  // unchanged: connect may be tried again
    }
    // Once the peer listens, the same connector connects.
    bound->listen();
    OBObjVar<OCI_Transport> t(connector->connect());
    EXPECT_GE(t->handle(), 0);
}

// With a time-out the connect is the same, except that it gives up when the
// server does not answer: minor 10 with the system's text for a time-out,
// the connector unchanged.
TEST_F(ConnectorTest, ConnectWithATimeOutGivesUpOnAServerThatDoesNotAnswer) {
    OBObjVar<OCI_IIOP_Acceptor_impl> acceptor(listeningAcceptor());
    OBObjVar<OCI_IIOP_Connector_impl> open(new OCI_IIOP_Connector_impl("127.0.0.1", acceptor->port()));
    for (CORBA_Long ms : {-1, 5000}) {
        OBObjVar<OCI_Transport> t(open->connect_timeout(ms));
        ASSERT_GE(t->handle(), 0) << ms;
        EXPECT_TRUE(noDelay(t->handle()));
        OBObjVar<OCI_Transport> accepted(acceptor->accept());
        // Blocking again: a blocking receive of what the server sends works.
        OBObjVar<OCI_Buffer> buf(new OCI_Buffer);
        buf->buf.alloc(1);
        ASSERT_TRUE(sendOctet(accepted->handle()));
        t->receive(buf.in(), true);
        EXPECT_TRUE(buf->is_full()) << ms;
    }

    SilentListener silent = openSilentListener();
    OBObjVar<OCI_IIOP_Connector_impl> unanswered(new OCI_IIOP_Connector_impl("127.0.0.1", silent.port));
    OBSetSocketError(OBErrTimedOut);
    const std::string timedOut = socket_error_text();
    try {
        OBObjVar<OCI_Transport> t(unanswered->connect_timeout(100));
        ADD_FAILURE() << "connected";
    } catch (const CORBA_COMM_FAILURE& e) {
        EXPECT_EQ(e.minor(), OBMinorConnect);
        EXPECT_EQ(e.completed(), CORBA_COMPLETED_NO);
        EXPECT_EQ(std::string(e.reason()), timedOut);
    }
    EXPECT_EQ(unanswered->handle(), -1);
}

TEST_F(ConnectorTest, UnresolvableHostFailsAtConstructionWithMinor14) {
    expectCommFailure([] { OBObjVar<OCI_IIOP_Connector_impl> c(new OCI_IIOP_Connector_impl(BadHost.c_str(), 1)); },
                      OBMinorGethostbyname);
    OCI_IIOP_ConFactory_impl* factory = new OCI_IIOP_ConFactory_impl;
    OBObjVar<OCI_ConFactory> owner(factory);
    const IOP_IOR ior = makeIOR("", {iiopProfile(BadHost.c_str(), 1, "k")});
    expectCommFailure([&] { OBObjVar<OCI_Connector> c(factory->create_connector(ior)); }, OBMinorGethostbyname);
}

// --- endpoint matching ------------------------------------------------------------------

TEST_F(ConnectorTest, ServesIORMatchesPortThenHostByTextOrAddress) {
    OBObjVar<OCI_IIOP_Connector_impl> connector(new OCI_IIOP_Connector_impl("127.0.0.1", 20002));
    EXPECT_TRUE(connector->serves_ior(parseText(readFixture("omniorb-iiop10.ior"))));
    EXPECT_FALSE(connector->serves_ior(parseText(readFixture("omniorb-iiop12.ior"))));  // port 20001
    // The second IIOP profile of several-profiles names it.
    EXPECT_TRUE(connector->serves_ior(parseText(readFixture("several-profiles.ior"))));
    EXPECT_TRUE(connector->serves_ior(makeIOR("", {iiopProfile("localhost", 20002, "k")})));
    // An unresolvable host is a mismatch, and the scan goes on.
    EXPECT_FALSE(connector->serves_ior(makeIOR("", {iiopProfile(BadHost.c_str(), 20002, "k")})));
    EXPECT_TRUE(connector->serves_ior(
        makeIOR("", {iiopProfile(BadHost.c_str(), 20002, "k"), iiopProfile("127.0.0.1", 20002, "k")})));
    EXPECT_FALSE(connector->serves_ior(makeIOR("", {otherProfile(1, "x")})));

    EXPECT_TRUE(connector->serves_ior_with_policies(parseText(readFixture("omniorb-iiop10.ior")),
                                                    connectPolicies(true)));
    EXPECT_FALSE(connector->serves_ior_with_policies(parseText(readFixture("omniorb-iiop10.ior")),
                                                     connectPolicies(false)));
}

TEST_F(ConnectorTest, ObjectKeyForTakesTheFirstMatchingProfile) {
    OBObjVar<OCI_IIOP_Connector_impl> connector(new OCI_IIOP_Connector_impl("localhost", 7000));
    const IOP_IOR ior = makeIOR("", {iiopProfile("127.0.0.1", 7001, "wrong port"),
                                     iiopProfile("127.0.0.1", 7000, "first"),
                                     iiopProfile("localhost", 7000, "second")});
    EXPECT_EQ(text(connector->object_key_for(ior)), "first");
    EXPECT_EQ(connector->object_key_for(makeIOR("", {iiopProfile("h", 1, "x")})).length(), 0u);
    // Here a lookup failure propagates.
    expectCommFailure([&] { connector->object_key_for(makeIOR("", {iiopProfile(BadHost.c_str(), 7000, "k")})); },
                      OBMinorGethostbyname);
}

TEST_F(ConnectorTest, ProfilesAreDecodedInOrderUpToTheFirstMatch) {
    OBObjVar<OCI_IIOP_Connector_impl> connector(new OCI_IIOP_Connector_impl("127.0.0.1", 7000));
    const IOP_TaggedProfile malformed = otherProfile(IOP_TAG_INTERNET_IOP, "x");
    const IOP_IOR matchFirst = makeIOR("", {iiopProfile("127.0.0.1", 7000, "first"), malformed});
    EXPECT_TRUE(connector->serves_ior(matchFirst));
    EXPECT_EQ(text(connector->object_key_for(matchFirst)), "first");

    // A malformed profile reached before any match is bad data.
    const IOP_IOR malformedFirst = makeIOR("", {malformed, iiopProfile("127.0.0.1", 7000, "second")});
    EXPECT_THROW(connector->serves_ior(malformedFirst), CORBA_MARSHAL);
    EXPECT_THROW(connector->object_key_for(malformedFirst), CORBA_MARSHAL);
}

// A policy of the connect policy's type that is no connect policy.
class ImpostorPolicy : public CORBA_Policy {
public:
    CORBA_ULong policy_type() override { return OB_ConnectPolicy::PolicyType; }
    CORBA_Policy* copy() override { return new ImpostorPolicy; }
};

TEST_F(ConnectorTest, ConnectPolicyTypeWithoutConnectPolicyIsAnInternalError) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    CORBA_PolicyList policies;
    policies.length(1);
    policies[0] = new ImpostorPolicy;
    OBObjVar<OCI_IIOP_ConFactory_impl> factory(new OCI_IIOP_ConFactory_impl);
    const IOP_IOR ior = makeIOR("", {iiopProfile("127.0.0.1", 1, "k")});
    EXPECT_DEATH(factory->accepts_ior(ior, policies), "Assertion failed: !CORBA_is_nil\\(connectPolicy\\), file OCI");
}

// --- factory -----------------------------------------------------------------------------

TEST_F(ConnectorTest, FactoryUsesTheFirstIIOPProfileOnly) {
    OBObjVar<OCI_IIOP_ConFactory_impl> factory(new OCI_IIOP_ConFactory_impl);
    EXPECT_EQ(factory->tag(), 0u);
    // The first IIOP profile leads nowhere, the second would: the first is used.
    const IOP_IOR ior = makeIOR("", {otherProfile(1, "x"), iiopProfile("127.0.0.1", 1, "dead"),
                                     iiopProfile("127.0.0.1", 2, "good")});
    OBObjVar<OCI_Connector> connector(factory->create_connector(ior));
    ASSERT_FALSE(CORBA_is_nil(connector.in()));
    OBObjVar<OCI_ConnectorInfo> info(connector->info());
    OBObjVar<OCI_IIOP_ConnectorInfo> iiop(OCI_IIOP_ConnectorInfo::_narrow(info.in()));
    EXPECT_EQ(iiop->remote_port(), 1);

    const IOP_IOR none = makeIOR("IDL:X:1.0", {otherProfile(1, "x")});
    EXPECT_TRUE(CORBA_is_nil(factory->create_connector(none)));
    EXPECT_FALSE(factory->accepts_ior(none, CORBA_PolicyList()));
    EXPECT_TRUE(factory->accepts_ior(ior, CORBA_PolicyList()));
    EXPECT_TRUE(factory->accepts_ior(ior, connectPolicies(true)));
    EXPECT_FALSE(factory->accepts_ior(ior, connectPolicies(false)));
    EXPECT_TRUE(CORBA_is_nil(factory->create_connector_with_policies(ior, connectPolicies(false))));
    OBObjVar<OCI_Connector> withPolicies(factory->create_connector_with_policies(ior, connectPolicies(true)));
    EXPECT_FALSE(CORBA_is_nil(withPolicies.in()));
}

TEST_F(ConnectorTest, RegistrySelectsTheFirstAcceptingFactoryInOrder) {
    OBObjVar<OCI_ConFactoryRegistry_impl> registry(new OCI_ConFactoryRegistry_impl);
    OBObjVar<OCI_ConFactory> iiop(new OCI_IIOP_ConFactory_impl);
    OBObjVar<OCI_ConFactory> other(new TagFactory(9));
    const IOP_IOR iiopIOR = parseText(readFixture("omniorb-iiop12.ior"));
    const IOP_IOR both = makeIOR("", {otherProfile(9, ""), iiopProfile("127.0.0.1", 1, "k")});
    const IOP_IOR neither = makeIOR("", {otherProfile(5, "")});

    EXPECT_TRUE(CORBA_is_nil(registry->find_factory(iiopIOR)));
    registry->add_factory(iiop.in());
    registry->add_factory(other.in());
    std::unique_ptr<OCI_ConFactorySeq> list(registry->factories());
    ASSERT_EQ(list->length(), 2u);
    EXPECT_EQ((*list)[0].in(), iiop.in());

    OBObjVar<OCI_ConFactory> found(registry->find_factory(iiopIOR));
    EXPECT_EQ(found.in(), iiop.in());
    OBObjVar<OCI_ConFactory> first(registry->find_factory(both));
    EXPECT_EQ(first.in(), iiop.in());  // registration order decides
    OBObjVar<OCI_ConFactory> other2(registry->find_factory_with_policies(both, connectPolicies(false)));
    EXPECT_EQ(other2.in(), other.in());  // the test factory ignores policies
    EXPECT_TRUE(CORBA_is_nil(registry->find_factory(neither)));
    EXPECT_TRUE(CORBA_is_nil(registry->find_factory_with_policies(iiopIOR, connectPolicies(false))));

    // Equivalence: the test factory finds everything equivalent.
    EXPECT_TRUE(registry->equivalent(neither, iiopIOR));
}

// --- equivalence --------------------------------------------------------------------------

TEST_F(ConnectorTest, EquivalenceComparesVersionPortKeyAndHost) {
    const IOP_IOR base = makeIOR("A", {iiopProfile("127.0.0.1", 5, "key", 0)});
    EXPECT_TRUE(iiop_ior_equivalent(base, base));
    EXPECT_TRUE(iiop_ior_equivalent(base, makeIOR("B", {iiopProfile("127.0.0.1", 5, "key", 0)})));
    EXPECT_TRUE(iiop_ior_equivalent(base, makeIOR("", {iiopProfile("localhost", 5, "key", 0)})));
    EXPECT_FALSE(iiop_ior_equivalent(base, makeIOR("A", {iiopProfile("127.0.0.1", 5, "key", 2)})));
    EXPECT_FALSE(iiop_ior_equivalent(base, makeIOR("A", {iiopProfile("127.0.0.1", 6, "key", 0)})));
    EXPECT_FALSE(iiop_ior_equivalent(base, makeIOR("A", {iiopProfile("127.0.0.1", 5, "kez", 0)})));
    EXPECT_FALSE(iiop_ior_equivalent(base, makeIOR("A", {iiopProfile("127.0.0.1", 5, std::string("key\0", 4), 0)})));
    EXPECT_FALSE(iiop_ior_equivalent(base, makeIOR("A", {otherProfile(1, "")})));
    // Any pair of profiles will do.
    EXPECT_TRUE(iiop_ior_equivalent(
        makeIOR("", {iiopProfile("127.0.0.1", 9, "x"), base.profiles[0]}),
        makeIOR("", {otherProfile(3, ""), iiopProfile("127.0.0.1", 8, "x"), base.profiles[0]})));
    // A big-endian twin is the same reference.
    const IOP_IOR ref = parseText(readFixture("omniorb-iiop10.ior"));
    EXPECT_TRUE(iiop_ior_equivalent(ref, parseText(readFixture("omniorb-iiop10-bigendian.ior"))));
    // A host lookup failure propagates.
    expectCommFailure([&] { iiop_ior_equivalent(base, makeIOR("", {iiopProfile(BadHost.c_str(), 5, "key")})); },
                      OBMinorGethostbyname);
    OBObjVar<OCI_IIOP_ConFactory_impl> factory(new OCI_IIOP_ConFactory_impl);
    EXPECT_TRUE(factory->equivalent(ref, ref));
}

// --- callbacks ----------------------------------------------------------------------------

TEST_F(ConnectorTest, ConnectCallbacksAreListedOnceAndCalledWithTheTransportInfo) {
    OBObjVar<OCI_IIOP_Acceptor_impl> acceptor(listeningAcceptor());
    OBObjVar<OCI_IIOP_Connector_impl> connector(new OCI_IIOP_Connector_impl("127.0.0.1", acceptor->port()));
    OBObjVar<OCI_ConnectorInfo> info(connector->info());
    OBObjVar<CountingCallback> first(new CountingCallback);
    OBObjVar<CountingCallback> second(new CountingCallback);
    info->add_connect_callback(first.in());
    info->add_connect_callback(first.in());
    info->add_connect_callback(second.in());

    OBObjVar<OCI_Transport> t(connector->connect());
    EXPECT_EQ(first->calls, 1);
    EXPECT_EQ(second->calls, 1);
    OBObjVar<OCI_TransportInfo> tInfo(t->info());
    EXPECT_EQ(first->last, tInfo.in());

    info->remove_connect_callback(first.in());
    info->remove_connect_callback(first.in());  // silent when not listed
    OBObjVar<OCI_Transport> t2(connector->connect());
    EXPECT_EQ(first->calls, 1);
    EXPECT_EQ(second->calls, 2);
}

TEST_F(ConnectorTest, FailingCallbackReleasesTheNewTransport) {
    OBObjVar<OCI_IIOP_Acceptor_impl> acceptor(listeningAcceptor());
    OBObjVar<OCI_IIOP_Connector_impl> connector(new OCI_IIOP_Connector_impl("127.0.0.1", acceptor->port()));
    OBObjVar<OCI_ConnectorInfo> info(connector->info());
    OBObjVar<CountingCallback> cb(new CountingCallback);
    cb->fail = true;
    info->add_connect_callback(cb.in());
    EXPECT_THROW(OBObjVar<OCI_Transport>(connector->connect()), CORBA_NO_PERMISSION);
    EXPECT_EQ(connector->handle(), -1);
    // The connection was made and closed again: the peer sees its end.
    OBObjVar<OCI_Transport> server(acceptor->accept());
    OBObjVar<OCI_Buffer> buf(new OCI_Buffer(1));
    EXPECT_FALSE(server->try_receive(buf.in(), true));
}

TEST_F(ConnectorTest, AcceptCallbacksSeeEachAcceptedTransport) {
    class Counting : public OCI_AcceptCB {
    public:
        int calls = 0;
        void accepted(OCI_TransportInfo*) override { ++calls; }
    };
    OBObjVar<OCI_IIOP_Acceptor_impl> acceptor(listeningAcceptor());
    OBObjVar<OCI_AcceptorInfo> info(acceptor->info());
    OBObjVar<Counting> cb(new Counting);
    info->add_accept_callback(cb.in());
    info->add_accept_callback(cb.in());
    OBObjVar<OCI_IIOP_Connector_impl> connector(new OCI_IIOP_Connector_impl("127.0.0.1", acceptor->port()));
    OBObjVar<OCI_Transport> client(connector->connect());
    OBObjVar<OCI_Transport> server(acceptor->accept());
    EXPECT_EQ(cb->calls, 1);
    OBObjVar<OCI_IIOP_AcceptorInfo> iiop(OCI_IIOP_AcceptorInfo::_narrow(info.in()));
    EXPECT_EQ(iiop->local_port(), acceptor->port());
    info->remove_accept_callback(cb.in());
    OBObjVar<OCI_Transport> client2(connector->connect());
    OBObjVar<OCI_Transport> server2(acceptor->accept());
    EXPECT_EQ(cb->calls, 1);
}
