// Socket layer: error codes and texts, transfers over loopback, socket sets,
// select, and host resolution with its retry rule.
#include "LoopbackPair.h"

#include <OB/Except.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#ifndef _WIN32
#  include <arpa/inet.h>
#endif

namespace {

class NetTest : public ::testing::Test {
protected:
    SocketLibrary library_;
};

// --- error codes and texts ---

TEST(SocketErrorNumberText, NamesListedCodesOnly) {
    struct Case {
        int code;
        const char* text;
    };
    const Case cases[] = {
        {12345, "error number 12345"},
        {0, "error number 0"},
        {-1, "error number -1"},
        {10003, "error number 10003"},
        {10004, "error number 10004 (WSAEINTR)"},
        {10009, "error number 10009 (WSAEBADF)"},
        {10013, "error number 10013 (WSAEACCES)"},
        {10014, "error number 10014 (WSAEFAULT)"},
        {10022, "error number 10022 (WSAEINVAL)"},
        {10024, "error number 10024 (WSAEMFILE)"},
        {10035, "error number 10035 (WSAEWOULDBLOCK)"},
        {10036, "error number 10036 (WSAEINPROGRESS)"},
        {10054, "error number 10054 (WSAECONNRESET)"},
        {10061, "error number 10061 (WSAECONNREFUSED)"},
        {10071, "error number 10071 (WSAEREMOTE)"},
        {10072, "error number 10072"},
        {10090, "error number 10090"},
        {10091, "error number 10091 (WSASYSNOTREADY)"},
        {10092, "error number 10092 (WSAVERNOTSUPPORTED)"},
        {10093, "error number 10093 (WSANOTINITIALISED)"},
        {10101, "error number 10101 (WSAEDISCON)"},
        {11001, "error number 11001 (WSAHOST_NOT_FOUND)"},
        {11002, "error number 11002 (WSATRY_AGAIN)"},
        {11003, "error number 11003 (WSANO_RECOVERY)"},
        {11004, "error number 11004 (WSANO_DATA)"},
        {11005, "error number 11005"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OBSocketErrorNumberText(c.code), c.text) << c.code;
}

TEST_F(NetTest, LastErrorRoundTrips) {
    OBSetSocketError(OBErrTryAgain);
    EXPECT_EQ(OBGetSocketError(), OBErrTryAgain);
    OBSetSocketError(OBErrWouldBlock);
    EXPECT_EQ(OBGetSocketError(), OBErrWouldBlock);
}

// Kept first among the texts: the first call must still read the code that
// was set, not one reset by its own initialisation.
TEST_F(NetTest, ErrorTextOfKnownCodeIsTheSystemText) {
    OBSetSocketError(OBErrConnRefused);
    std::string text = socket_error_text();
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find("error number"), std::string::npos) << text;
    OBSetSocketError(0);
    EXPECT_NE(text, socket_error_text());
#ifndef _WIN32
    EXPECT_EQ(text, std::strerror(ECONNREFUSED));
#endif
}

TEST_F(NetTest, ErrorTextOfUndescribedCodeIsTheNumber) {
    OBSetSocketError(12345);
    EXPECT_STREQ(socket_error_text(), "error number 12345");
}

TEST_F(NetTest, ErrorTextOfResolverCodeIsDescribed) {
    OBSetSocketError(OBErrHostNotFound);
    std::string text = socket_error_text();
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find("error number"), std::string::npos) << text;
}

// --- sockets over loopback ---

TEST_F(NetTest, PairTransfersOctetsBothWays) {
    LoopbackPair pair = makeLoopbackPair();
    EXPECT_TRUE(OBSocketSetNoDelay(pair.client.get()));
    const CORBA_Octet out[] = {1, 2, 3, 4, 5};
    ASSERT_EQ(OBSocketSend(pair.client.get(), out, sizeof out), 5);
    CORBA_Octet in[8] = {};
    CORBA_ULong got = 0;
    for (int i = 0; i < 5 && got < sizeof out; ++i) {
        CORBA_Long n = OBSocketRecv(pair.server.get(), in + got, sizeof in - got);
        ASSERT_GT(n, 0);
        got += static_cast<CORBA_ULong>(n);
    }
    ASSERT_EQ(got, sizeof out);
    EXPECT_EQ(std::memcmp(in, out, sizeof out), 0);

    ASSERT_TRUE(sendOctet(pair.server.get(), 0xC3));
    CORBA_Octet back = 0;
    ASSERT_EQ(OBSocketRecv(pair.client.get(), &back, 1), 1);
    EXPECT_EQ(back, 0xC3);
}

TEST_F(NetTest, RecvGivesZeroAfterOrderlyClose) {
    LoopbackPair pair = makeLoopbackPair();
    pair.client.reset();
    CORBA_Octet octet;
    EXPECT_EQ(OBSocketRecv(pair.server.get(), &octet, 1), 0);
}

TEST_F(NetTest, SocketOwnerHandsItsSocketOnAndClosesIt) {
    LoopbackPair pair = makeLoopbackPair();
    const OBSocketHandle h = pair.server.get();
    OBSocket moved(std::move(pair.server));
    EXPECT_EQ(pair.server.get(), OBNoSocket);
    EXPECT_EQ(moved.get(), h);
    ASSERT_TRUE(sendOctet(moved.get()));

    // Taking another socket over closes the one held.
    moved = OBSocket(OBSocketOpen());
    CORBA_Octet octet = 0;
    EXPECT_EQ(OBSocketRecv(pair.client.get(), &octet, 1), 1);
    EXPECT_EQ(OBSocketRecv(pair.client.get(), &octet, 1), 0);

    moved.reset();
    EXPECT_EQ(moved.get(), OBNoSocket);
    moved.reset();  // nothing left to close
}

TEST_F(NetTest, NonBlockingRecvWouldBlockUntilDataArrives) {
    LoopbackPair pair = makeLoopbackPair();
    ASSERT_TRUE(OBSocketSetBlocking(pair.server.get(), false));
    CORBA_Octet octet;
    EXPECT_EQ(OBSocketRecv(pair.server.get(), &octet, 1), -1);
    EXPECT_EQ(OBGetSocketError(), OBErrWouldBlock);

    ASSERT_TRUE(sendOctet(pair.client.get(), 7));
    ASSERT_TRUE(waitReadable(pair.server.get()));
    EXPECT_EQ(OBSocketRecv(pair.server.get(), &octet, 1), 1);
    EXPECT_EQ(octet, 7);
    EXPECT_TRUE(OBSocketSetBlocking(pair.server.get(), true));
}

TEST_F(NetTest, SendToVanishedPeerFailsWithoutEndingTheProcess) {
    LoopbackPair pair = makeLoopbackPair();
    // Unread data makes the close abortive: the peer resets the connection.
    ASSERT_TRUE(sendOctet(pair.client.get()));
    ASSERT_TRUE(waitReadable(pair.server.get()));
    pair.server.reset();
    const CORBA_Octet chunk[1024] = {};
    CORBA_Long result = 0;
    for (int i = 0; i < 100 && result != -1; ++i)
        result = OBSocketSend(pair.client.get(), chunk, sizeof chunk);
    EXPECT_EQ(result, -1);
}

TEST_F(NetTest, ConnectToClosedPortIsRefused) {
    CORBA_UShort port = 0;
    openListener(port);  // closed at once: the port is free again
    OBSocket client(OBSocketOpen());
    ASSERT_NE(client.get(), OBNoSocket);
    EXPECT_FALSE(OBSocketConnect(client.get(), loopbackAddress(port)));
    EXPECT_EQ(OBGetSocketError(), OBErrConnRefused);
}

TEST_F(NetTest, CallsOnAClosedHandleFail) {
    OBSocketHandle h = OBSocketOpen();
    ASSERT_NE(h, OBNoSocket);
    ASSERT_TRUE(OBSocketClose(h));
    EXPECT_FALSE(OBSocketSetNoDelay(h));
    EXPECT_FALSE(OBSocketSetReuseAddr(h));
    EXPECT_FALSE(OBSocketListen(h, 1));
    EXPECT_EQ(OBSocketAccept(h), OBNoSocket);
    CORBA_Octet octet = 0;
    EXPECT_EQ(OBSocketRecv(h, &octet, 1), -1);
    EXPECT_EQ(OBSocketSend(h, &octet, 1), -1);
    sockaddr_in addr;
    EXPECT_FALSE(OBSocketLocalAddress(h, addr));
    EXPECT_FALSE(OBSocketPeerAddress(h, addr));
}

TEST_F(NetTest, AddressesOfBothEndsMatch) {
    LoopbackPair pair = makeLoopbackPair();
    sockaddr_in clientLocal, clientPeer, serverLocal, serverPeer;
    ASSERT_TRUE(OBSocketLocalAddress(pair.client.get(), clientLocal));
    ASSERT_TRUE(OBSocketPeerAddress(pair.client.get(), clientPeer));
    ASSERT_TRUE(OBSocketLocalAddress(pair.server.get(), serverLocal));
    ASSERT_TRUE(OBSocketPeerAddress(pair.server.get(), serverPeer));
    EXPECT_EQ(clientPeer.sin_port, serverLocal.sin_port);
    EXPECT_EQ(serverPeer.sin_port, clientLocal.sin_port);
    EXPECT_EQ(ntohl(clientPeer.sin_addr.s_addr), INADDR_LOOPBACK);
}

TEST_F(NetTest, ReuseAddrAllowsRebindingAPortInTimeWait) {
    CORBA_UShort port = 0;
    {
        // Accepted sockets inherit the option, as a restarted server needs.
        LoopbackPair pair;
        OBSocket listener = openListener(port, true);
        pair.client = OBSocket(OBSocketOpen());
        ASSERT_TRUE(OBSocketConnect(pair.client.get(), loopbackAddress(port)));
        pair.server = OBSocket(OBSocketAccept(listener.get()));
        pair.server.reset();  // the server's side closes first and waits
    }
    OBSocket again(OBSocketOpen());
    ASSERT_TRUE(OBSocketSetReuseAddr(again.get()));
    EXPECT_TRUE(OBSocketBind(again.get(), loopbackAddress(port))) << socket_error_text();
}

// --- socket sets and select ---

TEST(SocketSet, HoldsAtMost64HandlesInOrderAdded) {
    OBSocketSet set;
    EXPECT_EQ(set.size(), 0u);
    for (OBSocketHandle h = 0; h < 64; ++h)
        EXPECT_TRUE(set.add(h)) << h;
    EXPECT_TRUE(set.add(10));  // already there: no room needed
    EXPECT_EQ(set.size(), 64u);
    EXPECT_FALSE(set.add(64));
    EXPECT_EQ(set.size(), 64u);
    EXPECT_TRUE(set.contains(0));
    EXPECT_TRUE(set.contains(63));
    EXPECT_FALSE(set.contains(64));
}

#ifndef _WIN32
TEST(SocketSet, SkipsDescriptorsOutsideTheBitmap) {
    OBSocketSet set;
    EXPECT_FALSE(set.add(FD_SETSIZE));
    EXPECT_FALSE(set.add(-1));
    EXPECT_EQ(set.size(), 0u);
    EXPECT_FALSE(set.contains(FD_SETSIZE));
    EXPECT_FALSE(set.contains(-1));
}
#endif

TEST_F(NetTest, SelectReportsOnlyReadySockets) {
    LoopbackPair quiet = makeLoopbackPair();
    LoopbackPair busy = makeLoopbackPair();
    ASSERT_TRUE(sendOctet(busy.client.get()));
    ASSERT_TRUE(waitReadable(busy.server.get()));

    OBSocketSet read;
    read.add(quiet.server.get());
    read.add(busy.server.get());
    OBSocketSet write;
    write.add(quiet.client.get());
    OBTimeVal none = {0, 0};
    CORBA_Long nfds = std::max(quiet.server.get(), std::max(busy.server.get(), quiet.client.get())) + 1;
    EXPECT_EQ(OBSocketSelect(nfds, &read, &write, &none), 2);
    EXPECT_FALSE(read.contains(quiet.server.get()));
    EXPECT_TRUE(read.contains(busy.server.get()));
    EXPECT_TRUE(write.contains(quiet.client.get()));
}

TEST_F(NetTest, SelectTimesOutWithNothingReady) {
    LoopbackPair quiet = makeLoopbackPair();
    OBSocketSet read;
    read.add(quiet.server.get());
    OBTimeVal limit = {0, 1000};
    EXPECT_EQ(OBSocketSelect(quiet.server.get() + 1, &read, nullptr, &limit), 0);
    EXPECT_FALSE(read.contains(quiet.server.get()));
}

// --- host names ---

TEST_F(NetTest, HostNameIsNotEmpty) {
    char name[256] = {};
    ASSERT_TRUE(OBGetHostName(name, sizeof name));
    EXPECT_GT(std::strlen(name), 0u);
}

int lookupCalls = 0;
hostent fakeEntry;

const hostent* alwaysTryAgain(const char*) {
    ++lookupCalls;
    OBSetSocketError(OBErrTryAgain);
    return nullptr;
}

const hostent* notFound(const char*) {
    ++lookupCalls;
    OBSetSocketError(OBErrHostNotFound);
    return nullptr;
}

const hostent* succeedsOnThirdCall(const char*) {
    ++lookupCalls;
    if (lookupCalls < 3) {
        OBSetSocketError(OBErrTryAgain);
        return nullptr;
    }
    return &fakeEntry;
}

TEST(LookupHost, RetriesTransientFailuresFourCallsInAll) {
    lookupCalls = 0;
    EXPECT_EQ(OBLookupHost("x", alwaysTryAgain), nullptr);
    EXPECT_EQ(lookupCalls, 4);
    EXPECT_EQ(OBGetSocketError(), OBErrTryAgain);
}

TEST(LookupHost, StopsAtOtherFailures) {
    lookupCalls = 0;
    EXPECT_EQ(OBLookupHost("x", notFound), nullptr);
    EXPECT_EQ(lookupCalls, 1);
    EXPECT_EQ(OBGetSocketError(), OBErrHostNotFound);
}

TEST(LookupHost, StopsAtSuccess) {
    lookupCalls = 0;
    EXPECT_EQ(OBLookupHost("x", succeedsOnThirdCall), &fakeEntry);
    EXPECT_EQ(lookupCalls, 3);
}

TEST_F(NetTest, ResolvesDottedAddressAndLocalhost) {
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof addr);
    resolve_host("127.0.0.1", addr);
    EXPECT_EQ(ntohl(addr.sin_addr.s_addr), INADDR_LOOPBACK);
    resolve_host("10.1.2.3", addr);
    EXPECT_EQ(ntohl(addr.sin_addr.s_addr), 0x0A010203u);

    std::memset(&addr, 0, sizeof addr);
    resolve_host("localhost", addr);
    EXPECT_EQ(ntohl(addr.sin_addr.s_addr) >> 24, 127u);  // loopback net
    EXPECT_EQ(addr.sin_port, 0);  // only the address is filled
}

TEST_F(NetTest, UnresolvableHostRaisesCommFailure14) {
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof addr);
    try {
        resolve_host("no-such-host.invalid", addr);
        FAIL() << "resolved";
    } catch (const CORBA_COMM_FAILURE& e) {
        EXPECT_EQ(e.minor(), static_cast<CORBA_ULong>(OBMinorGethostbyname));
        EXPECT_EQ(e.completed(), CORBA_COMPLETED_NO);
        EXPECT_STRNE(e.reason(), "");
    }
    EXPECT_EQ(addr.sin_addr.s_addr, 0u);
}

} // namespace
