// Test support: a GIOP server stand-in on 127.0.0.1 that runs a script on
// its own thread, so that a test can make it misbehave on purpose, plus
// builders of GIOP messages in either byte order and a reader of the
// Requests the client sends.
//
// Every wait of the peer is bounded (5 s per step); a script that fails
// records its error, closes its sockets and its listener, so that the client
// under test sees the connection end instead of waiting for ever.
#ifndef TESTS_SCRIPTED_PEER_H
#define TESTS_SCRIPTED_PEER_H

#include "LoopbackPair.h"

#include <OB/IOP.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#  include <sys/socket.h>
#endif

typedef std::vector<CORBA_Octet> Bytes;

// Writes a GIOP message in the chosen byte order; alignment counts from the
// message's first octet, as in GIOP.
class GiopMessage {
public:
    explicit GiopMessage(bool bigEndian = false) : big_(bigEndian), bytes_(12, 0) {}

    GiopMessage& octet(CORBA_Octet v) {
        bytes_.push_back(v);
        return *this;
    }
    GiopMessage& ulong(CORBA_ULong v) {
        align(4);
        for (int i = 0; i < 4; ++i)
            bytes_.push_back(CORBA_Octet(v >> (big_ ? 24 - 8 * i : 8 * i)));
        return *this;
    }
    GiopMessage& dbl(CORBA_Double v) {
        align(8);
        std::uint64_t bits;
        std::memcpy(&bits, &v, 8);
        for (int i = 0; i < 8; ++i)
            bytes_.push_back(CORBA_Octet(bits >> (big_ ? 56 - 8 * i : 8 * i)));
        return *this;
    }
    GiopMessage& string(const std::string& s) {
        ulong(CORBA_ULong(s.size() + 1));
        bytes_.insert(bytes_.end(), s.begin(), s.end());
        bytes_.push_back(0);
        return *this;
    }
    GiopMessage& octets(const Bytes& seq) {
        ulong(CORBA_ULong(seq.size()));
        bytes_.insert(bytes_.end(), seq.begin(), seq.end());
        return *this;
    }

    // The message with its header: type and the real body size, unless a
    // size is given; magic replaces "GIOP".
    Bytes finish(CORBA_Octet type) const { return finish(type, CORBA_ULong(bytes_.size() - 12)); }
    Bytes finish(CORBA_Octet type, CORBA_ULong size, const char* magic = "GIOP") const {
        Bytes out = bytes_;
        std::memcpy(out.data(), magic, 4);
        out[4] = 1;
        out[5] = 0;
        out[6] = big_ ? 0 : 1;
        out[7] = type;
        for (int i = 0; i < 4; ++i)
            out[8 + i] = CORBA_Octet(size >> (big_ ? 24 - 8 * i : 8 * i));
        return out;
    }

private:
    void align(std::size_t n) {
        while (bytes_.size() % n)
            bytes_.push_back(0);
    }

    bool big_;
    Bytes bytes_;
};

// A Reply message up to its body: no service context (or one with three
// octets when withContext), id and status.
inline GiopMessage replyHeader(CORBA_ULong id, CORBA_ULong status, bool bigEndian = false,
                               bool withContext = false) {
    GiopMessage m(bigEndian);
    if (withContext)
        m.ulong(1).ulong(77).octets(Bytes{1, 2, 3});
    else
        m.ulong(0);
    m.ulong(id).ulong(status);
    return m;
}

// A complete NO_EXCEPTION Reply carrying one unsigned long.
inline Bytes replyWithValue(CORBA_ULong id, CORBA_ULong value, bool bigEndian = false) {
    return replyHeader(id, 0, bigEndian).ulong(value).finish(1);
}

// A Request as the peer received it.
struct PeerRequest {
    Bytes message;  // every octet, header included
    CORBA_ULong id = 0;
    CORBA_Octet responseExpected = 0;
    Bytes reserved;
    Bytes key;
    std::string op;
    std::size_t argsOffset = 0;  // behind the empty principal
};

// Reads the values of a little- or big-endian message, bounds-checked.
class GiopReader {
public:
    GiopReader(const Bytes& b, std::size_t pos, bool big) : b_(b), pos_(pos), big_(big) {}

    CORBA_Octet octet() {
        need(1);
        return b_[pos_++];
    }
    CORBA_ULong ulong() {
        pos_ = (pos_ + 3) & ~std::size_t(3);
        need(4);
        CORBA_ULong v = 0;
        for (int i = 0; i < 4; ++i)
            v |= CORBA_ULong(b_[pos_ + i]) << (big_ ? 24 - 8 * i : 8 * i);
        pos_ += 4;
        return v;
    }
    Bytes octets(std::size_t n) {
        need(n);
        Bytes out(b_.begin() + pos_, b_.begin() + pos_ + n);
        pos_ += n;
        return out;
    }
    std::size_t pos() const { return pos_; }

private:
    void need(std::size_t n) const {
        if (pos_ + n > b_.size())
            throw std::runtime_error("request shorter than its fields");
    }

    const Bytes& b_;
    std::size_t pos_;
    bool big_;
};

// One connection accepted by the peer.
class PeerSocket {
public:
    explicit PeerSocket(OBSocket s) : s_(std::move(s)) {}

    OBSocketHandle handle() const { return s_.get(); }

    // Reads exactly n octets; fails when the client closes or is silent for 5 s.
    void readExact(CORBA_Octet* p, std::size_t n) {
        while (n) {
            if (!waitReadable(s_.get()))
                throw std::runtime_error("peer: nothing received within 5 s");
            const CORBA_Long got = OBSocketRecv(s_.get(), p, CORBA_ULong(n));
            if (got <= 0)
                throw std::runtime_error("peer: connection ended while reading");
            p += got;
            n -= std::size_t(got);
        }
    }

    // Reads one whole GIOP message and decodes it as a Request.
    PeerRequest readRequest() {
        PeerRequest r;
        r.message.resize(12);
        readExact(r.message.data(), 12);
        if (std::memcmp(r.message.data(), "GIOP", 4) != 0)
            throw std::runtime_error("peer: no GIOP magic");
        const bool big = (r.message[6] & 1) == 0;
        GiopReader header(r.message, 8, big);
        const CORBA_ULong size = header.ulong();
        if (size > (1u << 26))
            throw std::runtime_error("peer: request too large");
        r.message.resize(12 + std::size_t(size));
        readExact(r.message.data() + 12, size);
        GiopReader in(r.message, 12, big);
        for (CORBA_ULong n = in.ulong(); n; --n) {
            in.ulong();
            in.octets(in.ulong());
        }
        r.id = in.ulong();
        r.responseExpected = in.octet();
        r.reserved = in.octets(3);
        r.key = in.octets(in.ulong());
        Bytes op = in.octets(in.ulong());
        if (op.empty() || op.back() != 0)
            throw std::runtime_error("peer: operation name without NUL");
        r.op.assign(op.begin(), op.end() - 1);
        in.octets(in.ulong());  // principal
        r.argsOffset = in.pos();
        return r;
    }

    // Sends every octet of bytes.
    void send(const Bytes& bytes) { sendRange(s_.get(), bytes.data(), bytes.size()); }

    // Sends every octet of bytes on the blocking socket h.
    static void sendOn(OBSocketHandle h, const Bytes& bytes) { sendRange(h, bytes.data(), bytes.size()); }

    // Sends bytes in pieces of `piece` octets with a short pause between
    // them, so that they arrive in separate segments.
    void sendInPieces(const Bytes& bytes, std::size_t piece) {
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            sendRange(s_.get(), bytes.data() + at, std::min(piece, bytes.size() - at));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    // True when the client closes the connection within 5 s (data before
    // the end is read and dropped).
    bool waitClosed() {
        CORBA_Octet scratch[256];
        for (int i = 0; i < 1000; ++i) {
            if (!waitReadable(s_.get()))
                return false;
            if (OBSocketRecv(s_.get(), scratch, sizeof scratch) <= 0)
                return true;
        }
        return false;
    }

    // True when the client closes the connection within 5 s without
    // sending anything more.
    bool closedWithoutData() {
        if (!waitReadable(s_.get()))
            return false;
        CORBA_Octet octet;
        return OBSocketRecv(s_.get(), &octet, 1) == 0;
    }

    void close() { s_.reset(); }

    // Closes abortively: the client sees a reset instead of an end of stream.
    void reset() {
        linger abort;
        abort.l_onoff = 1;
        abort.l_linger = 0;
        ::setsockopt(s_.get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
        s_.reset();
    }

private:
    static void sendRange(OBSocketHandle h, const CORBA_Octet* p, std::size_t n) {
        while (n) {
            const CORBA_Long sent = OBSocketSend(h, p, CORBA_ULong(n));
            if (sent <= 0)
                throw std::runtime_error("peer: send failed");
            p += sent;
            n -= std::size_t(sent);
        }
    }

    OBSocket s_;
};

// A one-shot flag that one thread raises and another waits for (5 s at most).
class Signal {
public:
    void raise() {
        std::lock_guard<std::mutex> lock(m_);
        raised_ = true;
        cv_.notify_all();
    }
    bool wait() {
        std::unique_lock<std::mutex> lock(m_);
        return cv_.wait_for(lock, std::chrono::seconds(5), [this] { return raised_; });
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool raised_ = false;
};

// The peer: a loopback listener and a thread that runs the script.
class ScriptedPeer {
public:
    typedef std::function<void(ScriptedPeer&)> Script;

    explicit ScriptedPeer(Script script) : listener_(openListener(port_)) {
        thread_ = std::thread([this, script] {
            try {
                script(*this);
            } catch (const std::exception& e) {
                std::lock_guard<std::mutex> lock(m_);
                error_ = e.what();
            }
            listener_.reset();  // connections still queued are refused
        });
    }
    ~ScriptedPeer() {
        if (thread_.joinable())
            thread_.join();
    }
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    CORBA_UShort port() const { return port_; }

    // Accepts the next connection (script side); fails after 5 s.
    PeerSocket accept() {
        if (!waitReadable(listener_.get()))
            throw std::runtime_error("peer: no connection within 5 s");
        OBSocket s(OBSocketAccept(listener_.get()));
        if (s.get() == OBNoSocket)
            throw std::runtime_error("peer: accept failed");
        return PeerSocket(std::move(s));
    }

    // Closes the listener (script side): later connections are refused.
    void stopListening() { listener_.reset(); }

    // True when a connection waits to be accepted now (script side): the
    // system completes a connect before the connecting call returns.
    bool connectionWaiting() {
        OBSocketSet read;
        read.add(listener_.get());
        const OBTimeVal now = {0, 0};
        return OBSocketSelect(listener_.get() + 1, &read, nullptr, &now) == 1;
    }

    // Raised by the test, awaited by the script.
    Signal go;
    // Raised by the script, awaited by the test.
    Signal ready;

    // Waits for the script to end: its error, empty when it succeeded.
    std::string finish() {
        if (thread_.joinable())
            thread_.join();
        std::lock_guard<std::mutex> lock(m_);
        return error_;
    }

private:
    CORBA_UShort port_ = 0;
    OBSocket listener_;
    std::thread thread_;
    std::mutex m_;
    std::string error_;
};

// An IOR with one IIOP 1.0 profile for 127.0.0.1:port and key.
inline IOP_IOR loopbackIor(CORBA_UShort port, const Bytes& key) {
    IIOP_ProfileBody body;
    body.host = "127.0.0.1";
    body.port = port;
    body.object_key.length(CORBA_ULong(key.size()));
    for (std::size_t i = 0; i < key.size(); ++i)
        body.object_key[CORBA_ULong(i)] = key[i];
    IOP_IOR ior;
    ior.type_id = "IDL:Test:1.0";
    ior.profiles.length(1);
    OBEncodeIIOPProfile(body, ior.profiles[0]);
    return ior;
}

#endif
