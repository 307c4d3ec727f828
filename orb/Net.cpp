// Socket layer: Windows Sockets and BSD sockets behind one set of functions.
#include <OB/Net.h>

#include <OB/Assert.h>
#include <OB/Except.h>

#include <climits>
#include <cstring>
#include <memory>

#ifdef _WIN32
#  include <windows.h>
#else
#  include <arpa/inet.h>
#  include <fcntl.h>
#  include <netinet/tcp.h>
#  include <poll.h>
#  include <sys/socket.h>
#  include <unistd.h>
#endif

namespace {

#ifdef _WIN32
typedef int AddrLen;

SOCKET toSocket(OBSocketHandle h) { return static_cast<SOCKET>(static_cast<intptr_t>(h)); }

OBSocketHandle toHandle(SOCKET s) {
    return s == INVALID_SOCKET ? OBNoSocket : static_cast<OBSocketHandle>(s);
}

// Windows Sockets gives buffers as char pointers.
typedef char* RawData;
typedef const char* ConstRawData;
const int sendFlags = 0;
#else
typedef socklen_t AddrLen;

int toSocket(OBSocketHandle h) { return h; }
OBSocketHandle toHandle(int fd) { return fd < 0 ? OBNoSocket : fd; }

typedef void* RawData;
typedef const void* ConstRawData;
// A peer that has gone must give EPIPE, not end the process with SIGPIPE.
const int sendFlags = MSG_NOSIGNAL;
#endif

// Transfer lengths are plain ints in Windows Sockets.
int clampLength(CORBA_ULong n) { return n > INT_MAX ? INT_MAX : static_cast<int>(n); }

bool setIntOption(OBSocketHandle h, int level, int option) {
    int value = 1;
    return setsockopt(toSocket(h), level, option, reinterpret_cast<ConstRawData>(&value),
                      sizeof value) == 0;
}

#ifdef _WIN32
// Frees what the system allocated for FormatMessageA.
struct LocalDeleter {
    void operator()(char* p) const { LocalFree(p); }
};
#endif

// The system's own description of code, or the empty string if it has none.
std::string systemErrorText(int code) {
#ifdef _WIN32
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                             static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::unique_ptr<char, LocalDeleter> owner(text);
    return n > 0 && text ? std::string(text, n) : std::string();
#else
    const char* text;
    if (code >= OBErrHostNotFound && code <= OBErrNoData)
        text = hstrerror(code - OBErrHostNotFound + HOST_NOT_FOUND);
    else
        text = strerrordesc_np(code);
    return text ? std::string(text) : std::string();
#endif
}

struct ErrorName {
    int code;
    const char* name;
};

// Windows Sockets codes and their names; 10036 to 10071 are consecutive.
const ErrorName errorNames[] = {
    {10004, "WSAEINTR"}, {10009, "WSAEBADF"}, {10013, "WSAEACCES"}, {10014, "WSAEFAULT"},
    {10022, "WSAEINVAL"}, {10024, "WSAEMFILE"}, {10035, "WSAEWOULDBLOCK"},
    {10036, "WSAEINPROGRESS"}, {10037, "WSAEALREADY"}, {10038, "WSAENOTSOCK"},
    {10039, "WSAEDESTADDRREQ"}, {10040, "WSAEMSGSIZE"}, {10041, "WSAEPROTOTYPE"},
    {10042, "WSAENOPROTOOPT"}, {10043, "WSAEPROTONOSUPPORT"}, {10044, "WSAESOCKTNOSUPPORT"},
    {10045, "WSAEOPNOTSUPP"}, {10046, "WSAEPFNOSUPPORT"}, {10047, "WSAEAFNOSUPPORT"},
    {10048, "WSAEADDRINUSE"}, {10049, "WSAEADDRNOTAVAIL"}, {10050, "WSAENETDOWN"},
    {10051, "WSAENETUNREACH"}, {10052, "WSAENETRESET"}, {10053, "WSAECONNABORTED"},
    {10054, "WSAECONNRESET"}, {10055, "WSAENOBUFS"}, {10056, "WSAEISCONN"},
    {10057, "WSAENOTCONN"}, {10058, "WSAESHUTDOWN"}, {10059, "WSAETOOMANYREFS"},
    {10060, "WSAETIMEDOUT"}, {10061, "WSAECONNREFUSED"}, {10062, "WSAELOOP"},
    {10063, "WSAENAMETOOLONG"}, {10064, "WSAEHOSTDOWN"}, {10065, "WSAEHOSTUNREACH"},
    {10066, "WSAENOTEMPTY"}, {10067, "WSAEPROCLIM"}, {10068, "WSAEUSERS"},
    {10069, "WSAEDQUOT"}, {10070, "WSAESTALE"}, {10071, "WSAEREMOTE"},
    {10091, "WSASYSNOTREADY"}, {10092, "WSAVERNOTSUPPORTED"}, {10093, "WSANOTINITIALISED"},
    {10101, "WSAEDISCON"}, {11001, "WSAHOST_NOT_FOUND"}, {11002, "WSATRY_AGAIN"},
    {11003, "WSANO_RECOVERY"}, {11004, "WSANO_DATA"},
};

// query is getsockname or getpeername.
template <class Query>
bool namedAddress(Query query, OBSocketHandle h, sockaddr_in& addr) {
    sockaddr_in result;
    AddrLen len = sizeof result;
    if (query(toSocket(h), reinterpret_cast<sockaddr*>(&result), &len) != 0)
        return false;
    addr = result;
    return true;
}

} // namespace

bool OBSocketStartup() {
#ifdef _WIN32
    WSADATA data;
    // WSAStartup returns its error instead of setting it; record it so that
    // socket_error_text describes the failure.
    const int rc = WSAStartup(MAKEWORD(1, 1), &data);
    if (rc != 0)
        WSASetLastError(rc);
    return rc == 0;
#else
    return true;
#endif
}

bool OBSocketCleanup() {
#ifdef _WIN32
    return WSACleanup() == 0;
#else
    return true;
#endif
}

int OBGetSocketError() {
#ifdef _WIN32
    return WSAGetLastError();
#else
    return errno;
#endif
}

void OBSetSocketError(int code) {
#ifdef _WIN32
    WSASetLastError(code);
#else
    errno = code;
#endif
}

OBSocketHandle OBSocketOpen() { return toHandle(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)); }

bool OBSocketClose(OBSocketHandle h) {
#ifdef _WIN32
    return closesocket(toSocket(h)) == 0;
#else
    return close(h) == 0;
#endif
}

bool OBSocketSetNoDelay(OBSocketHandle h) { return setIntOption(h, IPPROTO_TCP, TCP_NODELAY); }

bool OBSocketSetReuseAddr(OBSocketHandle h) { return setIntOption(h, SOL_SOCKET, SO_REUSEADDR); }

bool OBSocketConnect(OBSocketHandle h, const sockaddr_in& addr) {
    return connect(toSocket(h), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
}

bool OBSocketConnectWithin(OBSocketHandle h, const sockaddr_in& addr, CORBA_ULong ms) {
    if (!OBSocketSetBlocking(h, false))
        return false;
    if (!OBSocketConnect(h, addr)) {
#ifdef _WIN32
        if (OBGetSocketError() != WSAEWOULDBLOCK)
            return false;
        // Windows Sockets reports a failed connect in the exception set.
        fd_set written, failed;
        FD_ZERO(&written);
        FD_ZERO(&failed);
        FD_SET(toSocket(h), &written);
        FD_SET(toSocket(h), &failed);
        timeval limit;
        limit.tv_sec = static_cast<long>(ms / 1000);
        limit.tv_usec = static_cast<long>(ms % 1000 * 1000);
        const int ready = select(0, nullptr, &written, &failed, &limit);
#else
        if (OBGetSocketError() != EINPROGRESS)
            return false;
        pollfd watched = {h, POLLOUT, 0};
        const int ready = poll(&watched, 1, ms > INT_MAX ? INT_MAX : static_cast<int>(ms));
#endif
        if (ready < 0)
            return false;
        if (ready == 0) {
            OBSetSocketError(OBErrTimedOut);
            return false;
        }
        int error = 0;
        AddrLen length = sizeof error;
        if (getsockopt(toSocket(h), SOL_SOCKET, SO_ERROR, reinterpret_cast<RawData>(&error), &length) != 0)
            return false;
        if (error != 0) {
            OBSetSocketError(error);
            return false;
        }
    }
    return OBSocketSetBlocking(h, true);
}

bool OBSocketBind(OBSocketHandle h, const sockaddr_in& addr) {
    return bind(toSocket(h), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
}

bool OBSocketListen(OBSocketHandle h, CORBA_Long backlog) { return listen(toSocket(h), backlog) == 0; }

OBSocketHandle OBSocketAccept(OBSocketHandle h) { return toHandle(accept(toSocket(h), nullptr, nullptr)); }

bool OBSocketLocalAddress(OBSocketHandle h, sockaddr_in& addr) { return namedAddress(getsockname, h, addr); }

bool OBSocketPeerAddress(OBSocketHandle h, sockaddr_in& addr) { return namedAddress(getpeername, h, addr); }

CORBA_Long OBSocketRecv(OBSocketHandle h, CORBA_Octet* p, CORBA_ULong n) {
    return static_cast<CORBA_Long>(recv(toSocket(h), reinterpret_cast<RawData>(p), clampLength(n), 0));
}

CORBA_Long OBSocketSend(OBSocketHandle h, const CORBA_Octet* p, CORBA_ULong n) {
    return static_cast<CORBA_Long>(
        send(toSocket(h), reinterpret_cast<ConstRawData>(p), clampLength(n), sendFlags));
}

bool OBSocketSetBlocking(OBSocketHandle h, bool block) {
#ifdef _WIN32
    u_long nonBlocking = block ? 0 : 1;
    return ioctlsocket(toSocket(h), FIONBIO, &nonBlocking) == 0;
#else
    int flags = fcntl(h, F_GETFL, 0);
    if (flags < 0)
        return false;
    flags = block ? flags & ~O_NONBLOCK : flags | O_NONBLOCK;
    return fcntl(h, F_SETFL, flags) == 0;
#endif
}

OBSocketSet::OBSocketSet() : count_(0) { FD_ZERO(&set_); }

bool OBSocketSet::add(OBSocketHandle h) {
    if (contains(h))
        return true;
#ifndef _WIN32
    // A POSIX fd_set is a bitmap of FD_SETSIZE bits; nothing outside fits.
    if (h < 0 || h >= FD_SETSIZE)
        return false;
#endif
    if (count_ >= capacity)
        return false;
    FD_SET(toSocket(h), &set_);
    ++count_;
    return true;
}

bool OBSocketSet::contains(OBSocketHandle h) const {
#ifndef _WIN32
    if (h < 0 || h >= FD_SETSIZE)
        return false;
#endif
    return FD_ISSET(toSocket(h), const_cast<fd_set*>(&set_)) != 0;
}

CORBA_Long OBSocketSelect(CORBA_Long nfds, OBSocketSet* read, OBSocketSet* write,
                          const OBTimeVal* timeout) {
    timeval limit;
    if (timeout) {
        limit.tv_sec = timeout->tv_sec;
        limit.tv_usec = timeout->tv_usec;
    }
#ifndef _WIN32
    // The kernel reads nfds bits of each set; never past the end of fd_set.
    if (nfds > FD_SETSIZE)
        nfds = FD_SETSIZE;
#endif
    return select(nfds, read ? read->native() : nullptr, write ? write->native() : nullptr,
                  nullptr, timeout ? &limit : nullptr);
}

bool OBGetHostName(char* buf, CORBA_ULong size) { return gethostname(buf, clampLength(size)) == 0; }

const hostent* OBGetHostByName(const char* name) {
    const hostent* entry = gethostbyname(name);
#ifndef _WIN32
    // The resolver reports through h_errno; give its failures the Windows
    // Sockets codes so that callers test one error code everywhere.
    if (!entry) {
        switch (h_errno) {
        case HOST_NOT_FOUND: errno = OBErrHostNotFound; break;
        case TRY_AGAIN: errno = OBErrTryAgain; break;
        case NO_RECOVERY: errno = OBErrNoRecovery; break;
        case NO_DATA: errno = OBErrNoData; break;
        default: break;  // NETDB_INTERNAL: errno already tells
        }
    }
#endif
    return entry;
}

const hostent* OBLookupHost(const char* name, OBHostLookup lookup) {
    const int maxCalls = 4;
    for (int call = 1;; ++call) {
        const hostent* entry = lookup(name);
        if (entry || call == maxCalls || OBGetSocketError() != OBErrTryAgain)
            return entry;
    }
}

void resolve_host(const char* host, sockaddr_in& addr) {
    OB_ASSERT(host);
    // INADDR_NONE doubles as "not a dotted address", so 255.255.255.255 is
    // looked up like a name.
    auto dotted = inet_addr(host);
    if (dotted != INADDR_NONE) {
        addr.sin_addr.s_addr = dotted;
        return;
    }
    const hostent* entry = OBLookupHost(host, OBGetHostByName);
    if (!entry) {
        // Described before anything else can touch the error code.
        const char* reason = socket_error_text();
        throw CORBA_COMM_FAILURE(reason, OBMinorGethostbyname, CORBA_COMPLETED_NO);
    }
    OB_ASSERT(entry->h_length == sizeof addr.sin_addr);
    OB_ASSERT(entry->h_addr_list[0]);
    std::memcpy(&addr.sin_addr, entry->h_addr_list[0], sizeof addr.sin_addr);
}

const char* socket_error_text() {
    // First thing: on Windows even the guard of a local static may reset
    // the thread's last error.
    int code = OBGetSocketError();
    static std::string text;
    text = systemErrorText(code);
    if (text.empty())
        text = OBSocketErrorNumberText(code);
    return text.c_str();
}

std::string OBSocketErrorNumberText(int code) {
    std::string text = "error number " + std::to_string(code);
    for (const ErrorName& entry : errorNames) {
        if (entry.code == code)
            return text + " (" + entry.name + ")";
    }
    return text;
}
