// Test support: a connected TCP pair on 127.0.0.1 made through the ORB's own
// socket layer and its owning OBSocket, so that the same tests run on BSD
// sockets and on Windows Sockets.
#ifndef TESTS_LOOPBACK_PAIR_H
#define TESTS_LOOPBACK_PAIR_H

#include <OB/Net.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#ifndef _WIN32
#  include <arpa/inet.h>
#endif

// Keeps the socket library started for its lifetime.
class SocketLibrary {
public:
    SocketLibrary() {
        if (!OBSocketStartup())
            throw std::runtime_error("socket library did not start");
    }
    ~SocketLibrary() { OBSocketCleanup(); }
    SocketLibrary(const SocketLibrary&) = delete;
    SocketLibrary& operator=(const SocketLibrary&) = delete;
};

// 127.0.0.1 with the given port (host order).
inline sockaddr_in loopbackAddress(CORBA_UShort port) {
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

// A socket listening on 127.0.0.1 at a port the system chose, with
// SO_REUSEADDR if reuse; port is set to it. Throws std::runtime_error on
// failure.
inline OBSocket openListener(CORBA_UShort& port, bool reuse = false) {
    OBSocket listener(OBSocketOpen());
    sockaddr_in addr = loopbackAddress(0);
    if (listener.get() == OBNoSocket || (reuse && !OBSocketSetReuseAddr(listener.get())) ||
        !OBSocketBind(listener.get(), addr) ||
        !OBSocketListen(listener.get(), 5) || !OBSocketLocalAddress(listener.get(), addr))
        throw std::runtime_error(socket_error_text());
    port = ntohs(addr.sin_port);
    return listener;
}

// Both ends of one TCP connection over loopback, both blocking.
struct LoopbackPair {
    OBSocket client;
    OBSocket server;
};

// Connects a new client to a fresh listener and accepts it. Throws
// std::runtime_error on failure.
inline LoopbackPair makeLoopbackPair() {
    CORBA_UShort port = 0;
    OBSocket listener = openListener(port);
    LoopbackPair pair;
    pair.client = OBSocket(OBSocketOpen());
    // The system completes the handshake before accept is called.
    if (pair.client.get() == OBNoSocket ||
        !OBSocketConnect(pair.client.get(), loopbackAddress(port)))
        throw std::runtime_error(socket_error_text());
    pair.server = OBSocket(OBSocketAccept(listener.get()));
    if (pair.server.get() == OBNoSocket)
        throw std::runtime_error(socket_error_text());
    return pair;
}

// A listener on 127.0.0.1 whose backlog is full of connections that nobody
// accepts: the system drops the handshake of any further connect, which
// therefore gets no answer while the listener lives.
struct SilentListener {
    OBSocket listener;
    std::vector<OBSocket> waiting;  // the connections that fill the backlog
    CORBA_UShort port = 0;
};

// Throws std::runtime_error when the backlog cannot be filled.
inline SilentListener openSilentListener() {
    SilentListener s;
    s.listener = OBSocket(OBSocketOpen());
    sockaddr_in addr = loopbackAddress(0);
    if (s.listener.get() == OBNoSocket || !OBSocketBind(s.listener.get(), addr) ||
        !OBSocketListen(s.listener.get(), 0) || !OBSocketLocalAddress(s.listener.get(), addr))
        throw std::runtime_error(socket_error_text());
    s.port = ntohs(addr.sin_port);
    for (int i = 0; i < 16; ++i) {
        OBSocket c(OBSocketOpen());
        if (c.get() == OBNoSocket)
            throw std::runtime_error(socket_error_text());
        if (!OBSocketConnectWithin(c.get(), loopbackAddress(s.port), 500))
            return s;  // unanswered: the backlog is full
        s.waiting.push_back(std::move(c));
    }
    throw std::runtime_error("16 connects to a backlog of 0 were all answered");
}

// Waits up to 5 s until h is readable; true if it is.
inline bool waitReadable(OBSocketHandle h) {
    OBSocketSet read;
    read.add(h);
    OBTimeVal limit = {5, 0};
    return OBSocketSelect(h + 1, &read, nullptr, &limit) == 1 && read.contains(h);
}

// Sends one octet on h; true if it was sent.
inline bool sendOctet(OBSocketHandle h, CORBA_Octet value = 0x5A) {
    return OBSocketSend(h, &value, 1) == 1;
}

#endif
