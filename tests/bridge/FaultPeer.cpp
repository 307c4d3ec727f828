// stava-faultpeer: a StavaController peer that misbehaves on purpose, for the
// bridge's fault tests. It listens on 127.0.0.1 at a free port, writes a
// stringified reference with one IIOP 1.0 profile (object key
// "StavaController", type "IDL:StavaController:1.0" or the --type-id) to the
// --ref file, and
// serves one connection at a time, answering every request by its mode:
//
//   silent   reads requests and never answers
//   garbage  answers each request with octets that are not a GIOP message
//   trickle  answers each request with a correct GIOP 1.0 Reply carrying the
//            long --result, one octet at a time, --pause-ms apart
//   close    closes the connection on the first request
//
// usage: stava-faultpeer --mode MODE --ref FILE [--result N] [--pause-ms N]
//                        [--big-endian] [--max-seconds N] [--type-id ID]
//
// Events go to standard output, one line each, flushed at once, so that a test
// can wait for them: "listening PORT", "accepted", "request ID OPERATION",
// "answered ID" (once an answer has gone out), "closed". It stops by itself after --max-seconds (default 300), or at
// SIGTERM; status 0, 2 for a bad command line, 1 for a failure at start.
#include "../ScriptedPeer.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include <unistd.h>

namespace {

typedef std::chrono::steady_clock Clock;

enum class Mode { Silent, Garbage, Trickle, Close };

struct Options {
    Mode mode = Mode::Silent;
    std::string refFile;
    CORBA_Long result = 1;
    unsigned pauseMs = 20;
    bool bigEndian = false;
    unsigned maxSeconds = 300;
    std::string typeId = "IDL:StavaController:1.0";
};

const char Usage[] =
    "usage: stava-faultpeer --mode silent|garbage|trickle|close --ref FILE [--result N]\n"
    "                       [--pause-ms N] [--big-endian] [--max-seconds N] [--type-id ID]\n";

unsigned parseCount(const std::string& text, unsigned long max) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || text[0] < '0' || text[0] > '9' || *end != '\0' || value > max)
        throw std::invalid_argument("not a number from 0 to " + std::to_string(max) + ": " + text);
    return static_cast<unsigned>(value);
}

Mode parseMode(const std::string& text) {
    if (text == "silent")
        return Mode::Silent;
    if (text == "garbage")
        return Mode::Garbage;
    if (text == "trickle")
        return Mode::Trickle;
    if (text == "close")
        return Mode::Close;
    throw std::invalid_argument("unknown mode: " + text);
}

Options parseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--big-endian") {
            o.bigEndian = true;
            continue;
        }
        if (i + 1 >= argc)
            throw std::invalid_argument(option + ": value missing");
        const std::string value = argv[++i];
        if (option == "--mode")
            o.mode = parseMode(value);
        else if (option == "--ref")
            o.refFile = value;
        else if (option == "--result")
            o.result = static_cast<CORBA_Long>(parseCount(value, 2147483647ul));
        else if (option == "--pause-ms")
            o.pauseMs = parseCount(value, 10000);
        else if (option == "--max-seconds")
            o.maxSeconds = parseCount(value, 86400);
        else if (option == "--type-id")
            o.typeId = value;
        else
            throw std::invalid_argument("unknown option: " + option);
    }
    if (o.refFile.empty())
        throw std::invalid_argument("--ref FILE is required");
    return o;
}

void event(const std::string& line) {
    std::cout << line << std::endl;
}

// Writes text to path through a temporary file, so that a reader that polls
// for path never sees half a reference.
void writeAtomically(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp" + std::to_string(getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush())
            throw std::runtime_error("cannot write " + temporary);
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0)
        throw std::runtime_error("cannot rename " + temporary + " to " + path);
}

std::string referenceText(CORBA_UShort port, const std::string& typeId) {
    const char key[] = "StavaController";
    IOP_IOR ior = loopbackIor(port, Bytes(key, key + sizeof key - 1));
    ior.type_id = typeId.c_str();
    CORBA_String_var text(OBIORToString(ior));
    return text.in();
}

// Waits until h is readable or the deadline passes; true if readable. Waits
// in slices of at most one second.
bool readableBefore(OBSocketHandle h, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        const long ms = left.count() > 1000 ? 1000 : static_cast<long>(left.count());
        OBSocketSet read;
        read.add(h);
        OBTimeVal limit = {static_cast<CORBA_Long>(ms / 1000), static_cast<CORBA_Long>(ms % 1000 * 1000)};
        const CORBA_Long ready = OBSocketSelect(h + 1, &read, nullptr, &limit);
        if (ready < 0)
            return false;
        if (ready == 1 && read.contains(h))
            return true;
    }
}

// Reads exactly n octets; false at the end of the stream, an error or the deadline.
bool readExact(OBSocketHandle h, CORBA_Octet* p, std::size_t n, Clock::time_point deadline) {
    while (n) {
        if (!readableBefore(h, deadline))
            return false;
        const CORBA_Long got = OBSocketRecv(h, p, static_cast<CORBA_ULong>(n));
        if (got <= 0)
            return false;
        p += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

bool sendAll(OBSocketHandle h, const CORBA_Octet* p, std::size_t n) {
    while (n) {
        const CORBA_Long sent = OBSocketSend(h, p, static_cast<CORBA_ULong>(n));
        if (sent <= 0)
            return false;
        p += sent;
        n -= static_cast<std::size_t>(sent);
    }
    return true;
}

struct Request {
    CORBA_ULong id = 0;
    std::string op;
};

// Reads one GIOP Request: false when the connection ended or the deadline
// passed; throws std::runtime_error for anything that is not a Request.
bool readRequest(OBSocketHandle h, Clock::time_point deadline, Request& request) {
    Bytes message(12);
    if (!readExact(h, message.data(), 12, deadline))
        return false;
    if (std::memcmp(message.data(), "GIOP", 4) != 0 || message[7] != 0)
        throw std::runtime_error("not a GIOP Request");
    const bool big = (message[6] & 1) == 0;
    const CORBA_ULong size = GiopReader(message, 8, big).ulong();
    if (size > (1u << 20))
        throw std::runtime_error("request too large");
    message.resize(12 + std::size_t(size));
    if (!readExact(h, message.data() + 12, size, deadline))
        return false;
    GiopReader in(message, 12, big);
    for (CORBA_ULong n = in.ulong(); n; --n) {
        in.ulong();
        in.octets(in.ulong());
    }
    request.id = in.ulong();
    in.octet();      // response expected
    in.octets(3);    // reserved
    in.octets(in.ulong());  // object key
    const Bytes op = in.octets(in.ulong());
    if (op.empty() || op.back() != 0)
        throw std::runtime_error("operation name without NUL");
    request.op.assign(op.begin(), op.end() - 1);
    return true;
}

// Answers one request by the mode; false when the connection is to end.
bool answer(OBSocketHandle h, const Options& o, const Request& r) {
    switch (o.mode) {
    case Mode::Silent:
        return true;
    case Mode::Garbage: {
        const char text[] = "HTTP/1.1 400 Bad Request\r\n\r\n";
        return sendAll(h, reinterpret_cast<const CORBA_Octet*>(text), sizeof text - 1);
    }
    case Mode::Trickle: {
        const Bytes reply = replyWithValue(r.id, static_cast<CORBA_ULong>(o.result), o.bigEndian);
        for (CORBA_Octet octet : reply) {
            if (!sendAll(h, &octet, 1))
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(o.pauseMs));
        }
        return true;
    }
    case Mode::Close:
        return false;
    }
    return false;
}

void serveConnection(OBSocket connection, const Options& o, Clock::time_point deadline) {
    event("accepted");
    try {
        Request r;
        while (readRequest(connection.get(), deadline, r)) {
            event("request " + std::to_string(r.id) + " " + r.op);
            if (!answer(connection.get(), o, r))
                break;
            if (o.mode != Mode::Silent)
                event("answered " + std::to_string(r.id));
        }
    } catch (const std::runtime_error& e) {
        event(std::string("bad request: ") + e.what());
    }
    connection.reset();
    event("closed");
}

int serve(const Options& o) {
    const SocketLibrary sockets;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(o.maxSeconds);
    CORBA_UShort port = 0;
    // With SO_REUSEADDR, which its connections inherit: a stand-in can take
    // over the port at once after this peer ends, even while the bridge's
    // side of a connection has not closed yet.
    OBSocket listener = openListener(port, true);
    writeAtomically(o.refFile, referenceText(port, o.typeId) + "\n");
    event("listening " + std::to_string(port));
    while (readableBefore(listener.get(), deadline)) {
        OBSocket connection(OBSocketAccept(listener.get()));
        if (connection.get() != OBNoSocket)
            serveConnection(std::move(connection), o, deadline);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = parseOptions(argc, argv);
    } catch (const std::invalid_argument& e) {
        std::cerr << "stava-faultpeer: " << e.what() << "\n" << Usage;
        return 2;
    }
    // A client that goes away while an answer is being sent must not end the peer.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        return serve(options);
    } catch (const std::exception& e) {
        std::cerr << "stava-faultpeer: " << e.what() << "\n";
    }
    return 1;
}
