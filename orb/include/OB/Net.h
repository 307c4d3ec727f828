// The ORB's socket layer: one set of small functions over Windows Sockets on
// Windows and BSD sockets elsewhere, so that the transport and the reactor
// read the same on both platforms.
//
// Handles are signed 32-bit values (the Windows SOCKET or the POSIX file
// descriptor); -1 means "no socket". Failing calls return -1 (or false) and
// leave the reason in the calling thread's last socket error, which
// OBGetSocketError reads and socket_error_text describes.
#ifndef OB_NET_H
#define OB_NET_H

#include <OB/Types.h>

#ifdef _WIN32
#  ifndef NOMINMAX
#    define NOMINMAX  // keep std::min and std::max usable after <windows.h>
#  endif
#  include <winsock2.h>
#else
#  include <cerrno>
#  include <netdb.h>
#  include <netinet/in.h>
#  include <sys/select.h>
#endif

#include <string>

// A socket handle; OBNoSocket when there is none.
typedef CORBA_Long OBSocketHandle;
const OBSocketHandle OBNoSocket = -1;

// Error codes the ORB tests for, with each platform's value. The resolver
// codes keep their Windows Sockets values on every platform.
#ifdef _WIN32
const int OBErrWouldBlock = WSAEWOULDBLOCK;
const int OBErrConnReset = WSAECONNRESET;
const int OBErrConnRefused = WSAECONNREFUSED;
const int OBErrTimedOut = WSAETIMEDOUT;
#else
const int OBErrWouldBlock = EWOULDBLOCK;
const int OBErrConnReset = ECONNRESET;
const int OBErrConnRefused = ECONNREFUSED;
const int OBErrTimedOut = ETIMEDOUT;
#endif
const int OBErrHostNotFound = 11001;  // WSAHOST_NOT_FOUND
const int OBErrTryAgain = 11002;      // WSATRY_AGAIN: transient lookup failure
const int OBErrNoRecovery = 11003;    // WSANO_RECOVERY
const int OBErrNoData = 11004;        // WSANO_DATA: name known, no address

// Starts Windows Sockets 1.1 (WSAStartup 0x0101); true on success. Does
// nothing and succeeds on other platforms.
bool OBSocketStartup();

// Ends one OBSocketStartup (WSACleanup); true on success. Nothing elsewhere.
bool OBSocketCleanup();

// The calling thread's last socket error code.
int OBGetSocketError();

// Replaces the last socket error code, so that a saved code survives the
// clean-up calls made after a failure.
void OBSetSocketError(int code);

// A new TCP/IPv4 stream socket, or OBNoSocket.
OBSocketHandle OBSocketOpen();

// Closes h; true on success. The error code of a failed close is kept.
bool OBSocketClose(OBSocketHandle h);

// The owner of one socket: closes it when destroyed or reset, so that no
// failure between opening a socket and handing it on leaves it open.
class OBSocket {
public:
    // Owns h (OBNoSocket: nothing).
    explicit OBSocket(OBSocketHandle h = OBNoSocket) : h_(h) {}
    OBSocket(OBSocket&& other) noexcept : h_(other.h_) { other.h_ = OBNoSocket; }
    // Closes the socket held, then takes the other's over.
    OBSocket& operator=(OBSocket&& other) noexcept {
        if (this != &other) {
            reset();
            h_ = other.h_;
            other.h_ = OBNoSocket;
        }
        return *this;
    }
    ~OBSocket() { reset(); }

    OBSocket(const OBSocket&) = delete;
    OBSocket& operator=(const OBSocket&) = delete;

    // The handle, OBNoSocket when there is none.
    OBSocketHandle get() const { return h_; }

    // Closes the socket now, if there is one.
    void reset() {
        if (h_ != OBNoSocket)
            OBSocketClose(h_);
        h_ = OBNoSocket;
    }

private:
    OBSocketHandle h_;
};

// Switches Nagle's algorithm off (TCP_NODELAY = 1); true on success.
bool OBSocketSetNoDelay(OBSocketHandle h);

// Allows binding to a port in TIME_WAIT (SO_REUSEADDR = 1); true on success.
bool OBSocketSetReuseAddr(OBSocketHandle h);

// Connects h to addr, in h's current blocking mode; true on success.
bool OBSocketConnect(OBSocketHandle h, const sockaddr_in& addr);

// Connects the blocking socket h to addr, waiting at most ms; true on
// success, h blocking again. A connect still unfinished after ms fails with
// OBErrTimedOut as last socket error.
bool OBSocketConnectWithin(OBSocketHandle h, const sockaddr_in& addr, CORBA_ULong ms);

// Binds h to addr (port 0: the system chooses); true on success.
bool OBSocketBind(OBSocketHandle h, const sockaddr_in& addr);

// Listens on h with the given backlog; true on success.
bool OBSocketListen(OBSocketHandle h, CORBA_Long backlog);

// Accepts a connection on the listening socket h; the new handle or OBNoSocket.
OBSocketHandle OBSocketAccept(OBSocketHandle h);

// Local (getsockname) and peer (getpeername) addresses of h; true on success,
// addr untouched on failure.
bool OBSocketLocalAddress(OBSocketHandle h, sockaddr_in& addr);
bool OBSocketPeerAddress(OBSocketHandle h, sockaddr_in& addr);

// Receives at most n octets into p: the count received, 0 when the peer has
// closed, -1 on failure.
CORBA_Long OBSocketRecv(OBSocketHandle h, CORBA_Octet* p, CORBA_ULong n);

// Sends at most n octets from p: the count sent, or -1 on failure. A peer
// that has gone gives an error code, never a signal.
CORBA_Long OBSocketSend(OBSocketHandle h, const CORBA_Octet* p, CORBA_ULong n);

// Puts h into blocking (true) or non-blocking (false) mode; true on success.
bool OBSocketSetBlocking(OBSocketHandle h, bool block);

// A time as select takes it: seconds and microseconds, each signed 32-bit.
struct OBTimeVal {
    CORBA_Long tv_sec;
    CORBA_Long tv_usec;
};

// A set of sockets for OBSocketSelect, holding at most OBSocketSet::capacity
// handles in the order added, as a Windows Sockets fd_set does.
class OBSocketSet {
public:
    // The Windows Sockets FD_SETSIZE; the same bound applies everywhere.
    static const CORBA_ULong capacity = 64;

    // An empty set.
    OBSocketSet();

    // Adds h unless it is already there. False, with the set unchanged, when
    // the set is full or h cannot be watched on this platform.
    bool add(OBSocketHandle h);

    // True if h is in the set (after OBSocketSelect: if h is ready).
    bool contains(OBSocketHandle h) const;

    // Number of handles added.
    CORBA_ULong size() const { return count_; }

    // The platform set, for OBSocketSelect.
    fd_set* native() { return &set_; }

private:
    fd_set set_;
    CORBA_ULong count_;
};

// Waits until a socket of read is readable or one of write is writable, at
// most *timeout (null: without limit). nfds is one more than the highest
// handle. Returns the count of ready sockets, 0 on time-out, -1 on failure;
// the sets are reduced to the ready sockets. Either set may be null. With
// both sets empty, Windows Sockets fails at once (WSAEINVAL) where POSIX
// waits.
CORBA_Long OBSocketSelect(CORBA_Long nfds, OBSocketSet* read, OBSocketSet* write,
                          const OBTimeVal* timeout);

// Copies this machine's host name into buf (size octets); true on success.
bool OBGetHostName(char* buf, CORBA_ULong size);

// One gethostbyname call: the host entry (valid until the next lookup) or
// null, with the resolver failure as last socket error (OBErrTryAgain when
// the failure is transient).
const hostent* OBGetHostByName(const char* name);

// A host lookup function such as OBGetHostByName.
typedef const hostent* (*OBHostLookup)(const char* name);

// Calls lookup(name) until it succeeds, at most 4 times; a failure other than
// OBErrTryAgain ends the attempts at once. The host entry or null.
const hostent* OBLookupHost(const char* name, OBHostLookup lookup);

// Fills addr.sin_addr for host: a dotted IPv4 address is taken as it is,
// any other text is looked up with OBLookupHost(host, OBGetHostByName).
// Raises CORBA_COMM_FAILURE minor OBMinorGethostbyname, COMPLETED_NO, with
// socket_error_text() as reason, when the host cannot be resolved.
void resolve_host(const char* host, sockaddr_in& addr);

// Text of the calling thread's last socket error: the system's text for it,
// else the form of OBSocketErrorNumberText. The text is kept in one
// process-wide string that the next call replaces: copy it before then.
const char* socket_error_text();

// "error number <code>", followed by " (<name>)" when code is a Windows
// Sockets code with a known name (10061 gives
// "error number 10061 (WSAECONNREFUSED)").
std::string OBSocketErrorNumberText(int code);

#endif
