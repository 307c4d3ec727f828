// Out-of-line members of the sequence templates and the CDR of sequences and
// encapsulations. Included by OB/Template.h only.
#ifndef OB_TEMPLATE_I_H
#define OB_TEMPLATE_I_H

#include <OB/Template.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

template<class T, bool Owning> T* OBSeqBase<T, Owning>::allocbuf(CORBA_ULong n) {
    try {
        // new[] default-initialises: plain elements stay uncleared, owning
        // ones start as their default (null) value.
        return new T[n];
    } catch (const std::bad_alloc&) {
        OBThrowNoMemory();
    }
}

template<class T, bool Owning>
OBSeqBase<T, Owning>::OBSeqBase(CORBA_ULong max)
    : max_(max), len_(0), off_(0), rel_(true), data_(allocbuf(max)) {}

template<class T, bool Owning>
OBSeqBase<T, Owning>::OBSeqBase(const OBSeqBase& other)
    : max_(other.max_), len_(other.len_), off_(other.off_), rel_(true), data_(nullptr) {
    std::unique_ptr<T[]> slots(allocbuf(off_ + max_));
    std::copy(other.data(), other.data() + len_, slots.get() + off_);
    data_ = slots.release();
}

template<class T, bool Owning>
OBSeqBase<T, Owning>& OBSeqBase<T, Owning>::operator=(const OBSeqBase& other) {
    if (this != &other) {
        OBSeqBase copy(other);
        swap(copy);
    }
    return *this;
}

template<class T, bool Owning> void OBSeqBase<T, Owning>::swap(OBSeqBase& other) {
    std::swap(max_, other.max_);
    std::swap(len_, other.len_);
    std::swap(off_, other.off_);
    std::swap(rel_, other.rel_);
    std::swap(data_, other.data_);
}

// Gives back what the slots [off_ + from, off_ + to) held (owning kinds only).
template<class T, bool Owning>
void OBSeqBase<T, Owning>::resetSlots(CORBA_ULong from, CORBA_ULong to) {
    if (Owning)
        for (CORBA_ULong i = from; i < to; ++i)
            data_[off_ + i] = T();
}

// Takes half of the front gap for growth: the elements move toward the front.
template<class T, bool Owning> void OBSeqBase<T, Owning>::reclaimGap(CORBA_ULong n) {
    const CORBA_ULong half = off_ / 2;
    std::copy(data(), data() + len_, data() - half);
    const CORBA_ULong oldLen = len_;
    off_ -= half;
    max_ += half;
    // The old positions of the last elements now lie behind the end.
    resetSlots(std::max(oldLen, half), oldLen + half);
    len_ = n;
}

// New owned storage of off_ + capacity slots, elements in the same slots.
template<class T, bool Owning>
void OBSeqBase<T, Owning>::reallocate(CORBA_ULong capacity) {
    if (static_cast<std::uint64_t>(off_) + capacity > 0xFFFFFFFFu)
        OBThrowNoMemory();
    std::unique_ptr<T[]> slots(allocbuf(off_ + capacity));
    std::copy(data(), data() + len_, slots.get() + off_);
    if (rel_)
        freebuf(data_);
    data_ = slots.release();
    max_ = capacity;
    rel_ = true;
}

// Makes caller storage owned before it is modified.
template<class T, bool Owning> void OBSeqBase<T, Owning>::own() {
    if (!rel_)
        reallocate(max_);
}

template<class T, bool Owning> void OBSeqBase<T, Owning>::length(CORBA_ULong n) {
    if (n <= max_) {
        if (rel_ && n < len_)
            resetSlots(n, len_);
        len_ = n;
    } else if (rel_ && off_ / 2 >= n - max_) {
        reclaimGap(n);
    } else {
        const std::uint64_t twice = 2 * static_cast<std::uint64_t>(max_);
        reallocate(static_cast<CORBA_ULong>(std::min<std::uint64_t>(
            std::max<std::uint64_t>(twice, n), 0xFFFFFFFFu)));
        len_ = n;
    }
}

template<class T, bool Owning> void OBSeqBase<T, Owning>::remove(CORBA_ULong n) {
    OB_CHECK_COMPLIANT(n < len_, OBNCSequenceRange);
    own();
    T* first = data();
    if (n < len_ / 2) {
        std::copy_backward(first, first + n, first + n + 1);
        resetSlots(0, 1);
        ++off_;
        --max_;
    } else {
        std::copy(first + n + 1, first + len_, first + n);
        resetSlots(len_ - 1, len_);
    }
    --len_;
}

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
