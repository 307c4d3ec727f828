// Sequence containers of IDL sequences.
//
// All four kinds share one layout: element slots data_[0 .. off_ + max_),
// a front gap of off_ free slots, and len_ elements in slots
// off_ .. off_ + len_ - 1. The gap lets remove() of front elements stay cheap
// and lets a later growth reclaim the gap instead of reallocating.
//
//   OBPlainSeq<T>  fixed-size elements (numbers, octets, plain structures)
//   OBVarSeq<T>    elements that own memory (reset to default when dropped)
//   OBObjSeq<T>    counted references to T (released when dropped)
//   OBStrSeq       guarded strings (freed when dropped)
//
// Every slot of the owning kinds always holds a valid element (default when
// unused), so growth within the capacity exposes default elements.
#ifndef OB_TEMPLATE_H
#define OB_TEMPLATE_H

#include <OB/Basic.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

// Common implementation; `Owning` says whether dropped elements are reset.
template<class T, bool Owning> class OBSeqBase {
public:
    CORBA_ULong max_;  // capacity behind the front gap
    CORBA_ULong len_;  // number of elements
    CORBA_ULong off_;  // free slots in front of the first element
    bool rel_;         // the sequence owns data_ and frees it
    T* data_;          // slot storage (from allocbuf), or null when empty

    // Empty, no storage.
    OBSeqBase() : max_(0), len_(0), off_(0), rel_(true), data_(nullptr) {}
    // Empty with storage for max elements.
    explicit OBSeqBase(CORBA_ULong max);
    // Over caller storage `data` of max slots holding len elements; owned
    // (freed with freebuf) when release is true. len must not exceed max.
    OBSeqBase(CORBA_ULong max, CORBA_ULong len, T* data, bool release = false)
        : max_(max), len_(len), off_(0), rel_(release), data_(data) {
        OB_CHECK_COMPLIANT(len_ <= max_, OBNCSequenceMaxLength);
    }
    // A copy with off_ + max_ slots and the elements in the same slots.
    OBSeqBase(const OBSeqBase& other);
    ~OBSeqBase() {
        if (rel_)
            freebuf(data_);
    }
    // Becomes a copy of other (as the copy constructor).
    OBSeqBase& operator=(const OBSeqBase& other);

    CORBA_ULong maximum() const { return max_; }
    CORBA_ULong length() const { return len_; }
    // Sets the number of elements, growing the storage when n > max_.
    // CORBA_NO_MEMORY (minor 0, COMPLETED_NO) when the heap is exhausted.
    void length(CORBA_ULong n);

    // Element idx; idx must be below length().
    T& operator[](CORBA_ULong idx) {
        OB_CHECK_COMPLIANT(idx < len_, OBNCSequenceRange);
        return data_[off_ + idx];
    }
    const T& operator[](CORBA_ULong idx) const {
        OB_CHECK_COMPLIANT(idx < len_, OBNCSequenceRange);
        return data_[off_ + idx];
    }

    // Removes element n (n below length()), moving the shorter side.
    void remove(CORBA_ULong n);

    // The first element's slot (contiguous with the rest).
    T* data() { return data_ + off_; }
    const T* data() const { return data_ + off_; }

    // Exchanges the contents of two sequences.
    void swap(OBSeqBase& other);

    // Storage of n slots, each holding a default-initialised element.
    // CORBA_NO_MEMORY (minor 0, COMPLETED_NO) when the heap is exhausted.
    static T* allocbuf(CORBA_ULong n);
    // Frees storage from allocbuf (null accepted).
    static void freebuf(T* p) { delete[] p; }

private:
    void resetSlots(CORBA_ULong from, CORBA_ULong to);
    void reclaimGap(CORBA_ULong n);
    void reallocate(CORBA_ULong capacity);
    void own();
};

// Fixed-size elements: changing the length within the capacity only sets len_
// (new elements are not cleared).
template<class T> class OBPlainSeq : public OBSeqBase<T, false> {
public:
    using OBSeqBase<T, false>::OBSeqBase;
};

// Elements that own memory (structures with strings, nested sequences).
template<class T> class OBVarSeq : public OBSeqBase<T, true> {
public:
    using OBSeqBase<T, true>::OBSeqBase;
};

// Counted references: each slot is an owning holder of one reference.
template<class T> class OBObjSeq : public OBSeqBase<OBObjVar<T>, true> {
public:
    using OBSeqBase<OBObjVar<T>, true>::OBSeqBase;
};

// Guarded strings: each slot is an owning holder of one string.
class OBStrSeq : public OBSeqBase<CORBA_String_var, true> {
public:
    using OBSeqBase<CORBA_String_var, true>::OBSeqBase;
};

// A sequence whose length may never exceed Bound.
template<class Seq, CORBA_ULong Bound> class OBBndSeq : public Seq {
public:
    using Seq::Seq;
    using Seq::length;
    CORBA_ULong maximum() const { return Bound; }
    // Sets the length; newLen must not exceed Bound.
    void length(CORBA_ULong newLen) {
        const CORBA_ULong max = Bound;
        OB_CHECK_COMPLIANT(newLen <= max, OBNCSequenceMaxLength);
        Seq::length(newLen);
    }
};

typedef OBPlainSeq<CORBA_Octet> CORBA_OctetSeq;

// --- out-of-line members ---------------------------------------------------

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

#endif
