// The CDR of sequences and encapsulations.
#ifndef OB_TEMPLATE_I_H
#define OB_TEMPLATE_I_H

#include <OB/CDR.h>
#include <OB/Template.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

// --- CDR of sequences ------------------------------------------------------

// Smallest encoded size of one element; bounds announced element counts.
template<class T> struct OBMinEncodedSize {
    static constexpr CORBA_ULong value =
        std::is_arithmetic<T>::value ? static_cast<CORBA_ULong>(sizeof(T)) : 1;
};

// The count as an unsigned long, then the elements (basic ones as one block).
template<class T, bool O> void OBCount(const OBSeqBase<T, O>& s, CORBA_ULong& count) {
    OBCount(s.length(), count);
    OBCount(s.data(), s.length(), count);
}

template<class T, bool O> void OBWrite(const OBSeqBase<T, O>& s, CORBA_Octet*& cursor) {
    OBWrite(s.length(), cursor);
    OBWrite(s.data(), s.length(), cursor);
}

// Sets the length to the received count, then reads the elements in place.
// A count larger than the remaining data can hold raises CORBA_MARSHAL
// (minor 0, COMPLETED_NO) before anything is allocated.
template<class T, bool O> void OBRead(OBSeqBase<T, O>& s, OBInCursor& in, bool swap) {
    CORBA_ULong n;
    OBRead(n, in, swap);
    OBCheckRoom(in, n, OBMinEncodedSize<T>::value);
    s.length(n);
    OBRead(s.data(), n, in, swap);
}

// A received count above the bound raises CORBA_MARSHAL (minor 0, COMPLETED_NO).
template<class Seq, CORBA_ULong Bound>
void OBRead(OBBndSeq<Seq, Bound>& s, OBInCursor& in, bool swap);

// --- encapsulations --------------------------------------------------------
// An encapsulation is an octet sequence whose first octet is the byte-order
// flag; alignment inside it counts from that octet, which must therefore lie
// at an 8-aligned address.

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

template<class Seq, CORBA_ULong Bound>
void OBRead(OBBndSeq<Seq, Bound>& s, OBInCursor& in, bool swap) {
    OBInCursor peek = in;
    CORBA_ULong n;
    OBRead(n, peek, swap);
    if (n > Bound)
        OBThrowMarshal();
    OBRead(static_cast<Seq&>(s), in, swap);
}

#endif
