// The marshalling path alone, without a connection: counting and writing the
// whole request of setForces and of setNodeLabel as a call does (message
// header, Request header, arguments, one exact-size buffer), reading an
// addNode reply, and reading the stand-in's stringified reference.
//
//   stava-bench-marshal REF_FILE
#include "AllocationCount.h"
#include "RefFile.h"

#include <OB/CDR.h>
#include <OB/GIOP.h>
#include <OB/IOP.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

namespace {

const int WarmupOperations = 20000;
const int MeasuredOperations = 200000;

// Something each operation stores so that the compiler keeps it.
volatile CORBA_ULong sink;

// Prints "MARSHAL name ns_per_operation allocations_per_operation".
template<class Operation> void measure(const char* name, Operation op) {
    using Clock = std::chrono::steady_clock;
    for (int i = 0; i < WarmupOperations; ++i)
        op();
    const std::uint64_t allocationsBefore = benchAllocations();
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < MeasuredOperations; ++i)
        op();
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    const std::uint64_t allocations = benchAllocations() - allocationsBefore;
    std::printf("MARSHAL %s %.1f %.2f\n", name, ns / MeasuredOperations, double(allocations) / MeasuredOperations);
}

// Counts, allocates and writes one request of op with args (count(n) and
// write(cursor) callables), as OBInvoke and the GIOP client do.
template<class Count, class Write>
void marshalRequest(const CORBA_OctetSeq& key, const char* op, Count count, Write write) {
    CORBA_ULong size = OBGIOPHeaderSize;
    OBCountRequestHeader(key, op, size);
    count(size);
    OBBuffer buf(size);
    CORBA_Octet* cursor = buf.data;
    OBWriteMessageHeader(OBGIOPRequest, size - OBGIOPHeaderSize, cursor);
    OBWriteRequestHeader(7, true, key, op, cursor);
    write(cursor);
    sink = CORBA_ULong(cursor - buf.data);
}

// A NO_EXCEPTION reply to request 7 carrying the long 42, in this host's order.
void addNodeReply(OBBuffer& reply) {
    CORBA_ULong size = OBGIOPHeaderSize;
    OBCount(CORBA_ULong(0), size);  // service context
    OBCount(CORBA_ULong(0), size);  // request id
    OBCount(CORBA_ULong(0), size);  // reply status
    OBCount(CORBA_Long(0), size);
    reply.alloc(size);
    CORBA_Octet* cursor = reply.data;
    OBWriteMessageHeader(OBGIOPReply, size - OBGIOPHeaderSize, cursor);
    OBWrite(CORBA_ULong(0), cursor);
    OBWrite(CORBA_ULong(7), cursor);
    OBWrite(CORBA_ULong(OBGIOPNoException), cursor);
    OBWrite(CORBA_Long(42), cursor);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s REF_FILE\n", argv[0]);
        return 2;
    }
    try {
        const std::string ref = readRefFile(argv[1]);
        IOP_IOR ior;
        OBParseIOR(ref.c_str(), ior);
        if (ior.profiles.length() == 0)
            throw std::runtime_error("the reference has no profile");
        IIOP_ProfileBody body;
        OBDecodeIIOPProfile(ior.profiles[0], body);
        const CORBA_OctetSeq& key = body.object_key;

        measure("setForces-request", [&] {
            const CORBA_Long n = 3;
            const CORBA_Double fx = 10, fz = -20.5, m = 0.125;
            marshalRequest(
                key, "setForces",
                [&](CORBA_ULong& c) { OBCount(n, c), OBCount(fx, c), OBCount(fz, c), OBCount(m, c); },
                [&](CORBA_Octet*& p) { OBWrite(n, p), OBWrite(fx, p), OBWrite(fz, p), OBWrite(m, p); });
        });
        measure("setNodeLabel-request", [&] {
            const CORBA_Long n = 3;
            const char* label = "Support A";
            marshalRequest(
                key, "setNodeLabel", [&](CORBA_ULong& c) { OBCount(n, c), OBCount(label, c); },
                [&](CORBA_Octet*& p) { OBWrite(n, p), OBWrite(label, p); });
        });

        OBBuffer reply;
        addNodeReply(reply);
        measure("addNode-reply-read", [&] {
            OBGIOPMessageHeader message;
            OBReadMessageHeader(reply.data, message);
            OBInCursor in = OBMakeInCursor(reply, OBGIOPHeaderSize);
            OBGIOPReplyHeader header;
            OBReadReplyHeader(in, message.swap(), header);
            CORBA_Long result = 0;
            OBRead(result, in, message.swap());
            sink = CORBA_ULong(result) + header.request_id;
        });

        measure("reference-read", [&] {
            IOP_IOR parsed;
            OBParseIOR(ref.c_str(), parsed);
            IIOP_ProfileBody b;
            OBDecodeIIOPProfile(parsed.profiles[0], b);
            sink = b.port;
        });
        return 0;
    } catch (const CORBA_Exception& e) {
        std::fprintf(stderr, "CORBA exception %s\n", e._rep_id());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    return 1;
}
