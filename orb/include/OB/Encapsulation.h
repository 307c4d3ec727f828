// Encapsulations: octet sequences that carry their own byte order. The
// first octet is the byte-order flag; alignment inside an encapsulation
// counts from that octet, which must therefore lie at an 8-aligned address.
#ifndef OB_ENCAPSULATION_H
#define OB_ENCAPSULATION_H

#include <OB/TemplateI.h>

#include <cstdint>

// Fills seq with an encapsulation: countContent(CORBA_ULong&) adds the
// content's size to a count that starts behind the flag octet;
// writeContent(CORBA_Octet*&) writes it after the flag.
template<class CountFn, class WriteFn>
void OBWriteEncapsulation(CORBA_OctetSeq& seq, CountFn countContent, WriteFn writeContent) {
    CORBA_ULong count = 0;
    OBCount(CORBA_Octet(0), count);
    countContent(count);
    CORBA_OctetSeq fresh;  // fresh storage: slot 0 is 8-aligned
    fresh.length(count);
    CORBA_Octet* cursor = fresh.data();
    OB_ASSERT(reinterpret_cast<std::uintptr_t>(cursor) % 8 == 0);
    OBWrite(OBNativeByteOrder(), cursor);
    writeContent(cursor);
    OB_ASSERT(cursor == fresh.data() + count);
    seq.swap(fresh);
}

// Read access to an encapsulation: an 8-aligned copy of its octets, a cursor
// behind the flag octet and the swap flag that the flag octet demands.
class OBEncapsulation {
public:
    OBBuffer buf;   // the copy
    OBInCursor in;  // behind the flag octet
    bool swap;      // the content's byte order differs from the host's

    // An empty encapsulation (no flag octet) raises CORBA_MARSHAL (minor 0, COMPLETED_NO).
    explicit OBEncapsulation(const CORBA_OctetSeq& seq);
    OBEncapsulation(const CORBA_Octet* p, CORBA_ULong n);
};

#endif
