// GIOP 1.0 messages as the client writes and reads them: the 12-octet
// message header, the Request header written in front of a request's
// arguments, and the Reply header read in front of a reply's body.
//
// Alignment inside a message counts from its first octet; every buffer the
// ORB marshals into starts 8-aligned, so cursor addresses align alike.
#ifndef OB_GIOP_H
#define OB_GIOP_H

#include <OB/Except.h>
#include <OB/TemplateI.h>

// Size of the message header; a message body starts at this offset.
const CORBA_ULong OBGIOPHeaderSize = 12;

// GIOP message types. Types above OBGIOPMessageError are unknown.
enum OBGIOPMessageType : CORBA_Octet {
    OBGIOPRequest = 0,
    OBGIOPReply = 1,
    OBGIOPCancelRequest = 2,
    OBGIOPLocateRequest = 3,
    OBGIOPLocateReply = 4,
    OBGIOPCloseConnection = 5,
    OBGIOPMessageError = 6
};

// Outcome carried by a Reply. Other values are not defined by GIOP 1.0.
enum OBGIOPReplyStatus : CORBA_ULong {
    OBGIOPNoException = 0,
    OBGIOPUserException = 1,
    OBGIOPSystemException = 2,
    OBGIOPLocationForward = 3
};

// Largest message body the client accepts from a peer. A larger announced
// size fails the connection before anything is allocated: one misbehaving
// peer must not make the process reserve gigabytes. 64 MiB is far above any
// message the ORB's users exchange and still allocatable on a 32-bit target.
const CORBA_ULong OBGIOPMaxMessageSize = 64UL * 1024UL * 1024UL;

// A decoded message header.
struct OBGIOPMessageHeader {
    CORBA_Octet major = 1;
    CORBA_Octet minor = 0;
    CORBA_Octet byte_order = 1;    // bit 0 set: little-endian sender
    CORBA_Octet message_type = 0;  // an OBGIOPMessageType, or unknown
    CORBA_ULong message_size = 0;  // octets after the header, as the sender meant it

    // True when the sender's order, bit 0 of byte_order alone, differs from
    // this host's.
    bool swap() const;
};

// Writes a GIOP 1.0 header at cursor (advanced by 12): "GIOP", 1.0, this
// host's byte-order flag, type and size.
void OBWriteMessageHeader(CORBA_Octet type, CORBA_ULong size, CORBA_Octet*& cursor);

// Decodes the 12 octets at p. Without the "GIOP" magic raises
// CORBA_COMM_FAILURE minor OBMinorNoGIOP, COMPLETED_MAYBE. The versions are
// not checked; the size is read in the sender's order.
void OBReadMessageHeader(const CORBA_Octet* p, OBGIOPMessageHeader& header);

// Adds to count (the offset the header starts at) the size of a Request
// header with an empty service context, the request id, response_expected,
// 3 reserved octets, key, op and an empty principal.
void OBCountRequestHeader(const CORBA_OctetSeq& key, const char* op, CORBA_ULong& count);

// Writes that Request header at cursor; the reserved octets are zero.
void OBWriteRequestHeader(CORBA_ULong id, bool responseExpected, const CORBA_OctetSeq& key,
                          const char* op, CORBA_Octet*& cursor);

// The part of a Reply header the client uses.
struct OBGIOPReplyHeader {
    CORBA_ULong request_id = 0;
    CORBA_ULong reply_status = 0;  // an OBGIOPReplyStatus, or undefined
};

// Reads a Reply header at in (service contexts skipped), leaving in at the
// reply body. Short or malformed data raises CORBA_MARSHAL (minor 0,
// COMPLETED_NO).
void OBReadReplyHeader(OBInCursor& in, bool swap, OBGIOPReplyHeader& header);

#endif
