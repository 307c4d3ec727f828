// The floor: a minimal client and server that exchange the octets of the
// addNode request and of the stand-in's reply over a loopback TCP socket
// with nothing else (no ORB, no parsing, no allocation).
//
// The request is the one our stub sends (message header, Request header with
// the stand-in's object key, two doubles); the reply is what the stand-in
// answered to it once. The server is a forked child that answers every
// request-sized read with the reply, carrying the request's id, until the
// client closes; then it serves the next connection.
//
// Then our ORB's stub (blocking model) calls the same bare server, which
// shows what our client side costs over the floor client without the
// stand-in's server side in the figures.
//
//   stava-bench-floor REF_FILE
#include "CallFigures.h"
#include "RefFile.h"
#include "StavaController.h"

#include <OB/CDR.h>
#include <OB/GIOP.h>
#include <OB/IOP.h>
#include <OB/ORB.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

typedef std::vector<CORBA_Octet> Octets;

// A socket descriptor, closed on destruction.
class Socket {
public:
    explicit Socket(int fd) : fd_(fd) {
        if (fd_ < 0)
            throw std::runtime_error("socket failed");
    }
    ~Socket() { ::close(fd_); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// Exactly n octets from fd; false at end of stream or on error.
bool readAll(int fd, CORBA_Octet* p, size_t n) {
    while (n > 0) {
        const ssize_t got = ::read(fd, p, n);
        if (got <= 0)
            return false;
        p += got;
        n -= size_t(got);
    }
    return true;
}

// All n octets to fd; false on error.
bool writeAll(int fd, const CORBA_Octet* p, size_t n) {
    while (n > 0) {
        const ssize_t put = ::send(fd, p, n, MSG_NOSIGNAL);
        if (put <= 0)
            return false;
        p += put;
        n -= size_t(put);
    }
    return true;
}

void setNoDelay(int fd) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

sockaddr_in loopbackAddress(unsigned short port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// A TCP connection to 127.0.0.1:port, without Nagle's delay as the ORBs have it.
int connectLoopback(unsigned short port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in a = loopbackAddress(port);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        throw std::runtime_error("connect to 127.0.0.1 failed");
    }
    if (fd >= 0)
        setNoDelay(fd);
    return fd;
}

// The addNode(1.5, -2) request for key, as our stub writes it, request id 1.
Octets addNodeRequest(const CORBA_OctetSeq& key) {
    CORBA_ULong size = OBGIOPHeaderSize;
    OBCountRequestHeader(key, "addNode", size);
    OBCount(CORBA_Double(1.5), size);
    OBCount(CORBA_Double(-2.0), size);
    OBBuffer buf(size);
    CORBA_Octet* cursor = buf.data;
    OBWriteMessageHeader(OBGIOPRequest, size - OBGIOPHeaderSize, cursor);
    OBWriteRequestHeader(1, true, key, "addNode", cursor);
    OBWrite(CORBA_Double(1.5), cursor);
    OBWrite(CORBA_Double(-2.0), cursor);
    return Octets(buf.data, buf.data + size);
}

// The stand-in's whole reply message to request.
Octets standinReply(unsigned short port, const Octets& request) {
    Socket s(connectLoopback(port));
    Octets reply(OBGIOPHeaderSize);
    if (!writeAll(s.fd(), request.data(), request.size()) || !readAll(s.fd(), reply.data(), reply.size()))
        throw std::runtime_error("no reply from the stand-in");
    OBGIOPMessageHeader header;
    OBReadMessageHeader(reply.data(), header);
    if (header.message_type != OBGIOPReply || header.message_size > 4096)
        throw std::runtime_error("unexpected message from the stand-in");
    reply.resize(OBGIOPHeaderSize + header.message_size);
    if (!readAll(s.fd(), reply.data() + OBGIOPHeaderSize, header.message_size))
        throw std::runtime_error("short reply from the stand-in");
    return reply;
}

// Where the request id lies in a GIOP 1.0 Request and Reply without service
// contexts: behind the message header and the context count.
const size_t RequestIdAt = OBGIOPHeaderSize + 4;

// Serves the connections on listener one after the other: reads
// requestSize octets, writes reply with the request's id, until the peer
// closes. Runs in the forked child.
void serve(int listener, size_t requestSize, Octets reply) {
    Octets request(requestSize);
    for (;;) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0)
            return;
        setNoDelay(fd);
        while (readAll(fd, request.data(), requestSize)) {
            std::copy_n(request.begin() + RequestIdAt, 4, reply.begin() + RequestIdAt);
            if (!writeAll(fd, reply.data(), reply.size()))
                break;
        }
        ::close(fd);
    }
}

// The floor server in a child process: listening on a free loopback port
// before the fork, stopped and reaped on destruction.
class FloorServer {
public:
    FloorServer(size_t requestSize, const Octets& reply) {
        Socket listener(::socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in a = loopbackAddress(0);
        socklen_t len = sizeof a;
        if (::bind(listener.fd(), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(listener.fd(), 1) != 0 ||
            ::getsockname(listener.fd(), reinterpret_cast<sockaddr*>(&a), &len) != 0)
            throw std::runtime_error("cannot listen on 127.0.0.1");
        port_ = ntohs(a.sin_port);
        pid_ = ::fork();
        if (pid_ < 0)
            throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            serve(listener.fd(), requestSize, reply);
            ::_exit(0);
        }
    }
    ~FloorServer() {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    FloorServer(const FloorServer&) = delete;
    FloorServer& operator=(const FloorServer&) = delete;
    unsigned short port() const { return port_; }

private:
    unsigned short port_ = 0;
    pid_t pid_ = -1;
};

// addNode through our ORB and stub, blocking model, to the bare server on
// port, which answers to the stand-in's reference ior.
CallFigures measureOurs(IOP_IOR& ior, unsigned short port) {
    char program[] = "stava-bench-floor";
    char* orbArgv[] = {program, nullptr};
    int orbArgc = 1;
    CORBA_ORB_var orb(CORBA_ORB_init(orbArgc, orbArgv, ""));
    IIOP_ProfileBody body;
    OBDecodeIIOPProfile(ior.profiles[0], body);
    body.host = "127.0.0.1";
    body.port = port;
    ior.profiles.length(1);
    OBEncodeIIOPProfile(body, ior.profiles[0]);
    CORBA_String_var text(OBIORToString(ior));
    CORBA_Object_var obj(orb->string_to_object(text.in()));
    StavaController_var controller(StavaController::_narrow(obj.in()));
    if (!controller.in())
        throw std::runtime_error("the reference is not a StavaController");
    return measureCalls([&] { controller->addNode(1.5, -2.0); });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s REF_FILE\n", argv[0]);
        return 2;
    }
    try {
        IOP_IOR ior;
        OBParseIOR(readRefFile(argv[1]).c_str(), ior);
        if (ior.profiles.length() == 0)
            throw std::runtime_error("the reference has no profile");
        IIOP_ProfileBody body;
        OBDecodeIIOPProfile(ior.profiles[0], body);

        const Octets request = addNodeRequest(body.object_key);
        const Octets reply = standinReply(body.port, request);
        FloorServer server(request.size(), reply);
        {
            Socket client(connectLoopback(server.port()));
            Octets in(reply.size());
            const CallFigures f = measureCalls([&] {
                if (!writeAll(client.fd(), request.data(), request.size()) ||
                    !readAll(client.fd(), in.data(), in.size()))
                    throw std::runtime_error("the floor server went away");
            });
            printCallFigures("floor", f);
        }
        std::printf("OCTETS request %zu reply %zu\n", request.size(), reply.size());
        printCallFigures("ours-blocking@bare-server", measureOurs(ior, server.port()));
        return 0;
    } catch (const CORBA_Exception& e) {
        std::fprintf(stderr, "CORBA exception %s\n", e._rep_id());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    return 1;
}
