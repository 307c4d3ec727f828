// GIOP 1.0 message, Request and Reply headers.
#include <OB/GIOP.h>

#include <cstring>

namespace {

const CORBA_Octet Magic[4] = {'G', 'I', 'O', 'P'};
const CORBA_Octet Reserved[3] = {0, 0, 0};

// The header's flags octet carries the sender's byte order in bit 0 (set:
// little-endian); the other bits are not looked at. This differs from an
// encapsulation's byte-order octet, where only 1 means little-endian.
const CORBA_Octet FlagsByteOrderBit = 0x01;

}  // namespace

bool OBGIOPMessageHeader::swap() const {
    return OBByteOrderSwap(byte_order & FlagsByteOrderBit);
}

void OBWriteMessageHeader(CORBA_Octet type, CORBA_ULong size, CORBA_Octet*& cursor) {
    OBWrite(Magic, 4, cursor);
    OBWrite(CORBA_Octet(1), cursor);
    OBWrite(CORBA_Octet(0), cursor);
    OBWrite(OBNativeByteOrder(), cursor);
    OBWrite(type, cursor);
    OBWrite(size, cursor);
}

void OBReadMessageHeader(const CORBA_Octet* p, OBGIOPMessageHeader& header) {
    if (std::memcmp(p, Magic, sizeof Magic) != 0)
        throw CORBA_COMM_FAILURE(OBMinorNoGIOP, CORBA_COMPLETED_MAYBE);
    // The header is 8-aligned in every buffer that receives it, so the size
    // field at offset 8 is aligned too and the bounded reader fits exactly.
    OBInCursor in = {p + sizeof Magic, p + OBGIOPHeaderSize};
    OBRead(header.major, in, false);
    OBRead(header.minor, in, false);
    OBRead(header.byte_order, in, false);
    OBRead(header.message_type, in, false);
    OBRead(header.message_size, in, header.swap());
    OB_ASSERT_NAMED(in.cur - p == 12, "coct - buf_ -> data() == 12");
}

void OBCountRequestHeader(const CORBA_OctetSeq& key, const char* op, CORBA_ULong& count) {
    OBCount(CORBA_ULong(0), count);  // service context count
    OBCount(CORBA_ULong(0), count);  // request id
    OBCount(CORBA_Octet(0), count);  // response_expected
    OBCount(Reserved, 3, count);
    OBCount(key, count);
    OBCount(op, count);
    OBCount(CORBA_ULong(0), count);  // empty principal
}

void OBWriteRequestHeader(CORBA_ULong id, bool responseExpected, const CORBA_OctetSeq& key,
                          const char* op, CORBA_Octet*& cursor) {
    OBWrite(CORBA_ULong(0), cursor);
    OBWrite(id, cursor);
    OBWrite(CORBA_Octet(responseExpected ? 1 : 0), cursor);
    OBWrite(Reserved, 3, cursor);
    OBWrite(key, cursor);
    OBWrite(op, cursor);
    OBWrite(CORBA_ULong(0), cursor);
}

void OBReadReplyHeader(OBInCursor& in, bool swap, OBGIOPReplyHeader& header) {
    // Service contexts are skipped in place: the client uses none of them.
    CORBA_ULong contexts = 0;
    OBRead(contexts, in, swap);
    for (CORBA_ULong i = 0; i < contexts; ++i) {
        CORBA_ULong contextId = 0;
        CORBA_ULong length = 0;
        OBRead(contextId, in, swap);
        OBRead(length, in, swap);
        OBCheckRoom(in, length, 1);
        in.cur += length;
    }
    OBRead(header.request_id, in, swap);
    OBRead(header.reply_status, in, swap);
}
