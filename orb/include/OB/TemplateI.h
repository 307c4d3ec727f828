// The CDR of sequences.
#ifndef OB_TEMPLATE_I_H
#define OB_TEMPLATE_I_H

#include <OB/CDR.h>
#include <OB/Template.h>

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
