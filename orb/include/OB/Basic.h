// Guarded string memory, byte buffers and reference counting: the storage
// on which all marshalled data of the ORB lives. The CDR primitives that
// read and write this storage are in OB/CDR.h.
//
// Every ORB object is used from one thread; nothing here is locked.
#ifndef OB_BASIC_H
#define OB_BASIC_H

#include <OB/Assert.h>
#include <OB/Types.h>

// Raises CORBA_NO_MEMORY (minor 0, COMPLETED_NO); used where std::bad_alloc
// meets a size that came from outside. Never returns.
[[noreturn]] void OBThrowNoMemory();

// ---------------------------------------------------------------------------
// Guarded strings. Each string carries an 8-octet header in front of its
// characters: the magic 0x2468ACE while allocated (0xE2C4A68 once freed) and
// the number of characters allocated, NUL included.
// ---------------------------------------------------------------------------

// Allocates room for n characters plus NUL; the first character is NUL.
// Raises CORBA_NO_MEMORY (minor 0, COMPLETED_NO) when the heap is exhausted.
char* CORBA_string_alloc(CORBA_ULong n);

// A guarded copy of s, or null for a null s. CORBA_NO_MEMORY as above.
char* CORBA_string_dup(const char* s);

// Frees a guarded string; null is accepted. A string freed twice or not made
// by CORBA_string_alloc is reported as non-compliant use and stops the process.
void CORBA_string_free(char* p);

// True for null and for storage whose header holds the live magic.
bool CORBA_string_check(const char* p);

// Number of characters the guarded string p can hold without its NUL (0 for null).
CORBA_ULong OBStringCapacity(const char* p);

// Owning holder of one guarded string.
class CORBA_String_var {
public:
    char* ptr_;  // owned guarded string or null

    // Holds null.
    CORBA_String_var();
    // Takes p over; p must be a non-null guarded string.
    CORBA_String_var(char* p);
    // Holds a copy of p (null stays null).
    CORBA_String_var(const char* p);
    // Holds a copy of the other's string.
    CORBA_String_var(const CORBA_String_var& other);
    ~CORBA_String_var();

    // Takes p over (p must pass CORBA_string_check and must not be the
    // string held now); the old string is freed.
    CORBA_String_var& operator=(char* p);
    // Holds a copy of p; the old string is freed.
    CORBA_String_var& operator=(const char* p);
    // Holds a copy of the other's string unless both hold the same one.
    CORBA_String_var& operator=(const CORBA_String_var& other);

    // Appends text (null appends nothing), growing the storage when needed to
    // the larger of twice the capacity and the combined length.
    CORBA_String_var& operator+=(const char* s);
    // Appends one character.
    CORBA_String_var& operator+=(char c);
    // Appends the decimal form of n.
    CORBA_String_var& operator+=(CORBA_Long n);
    // Appends the decimal form of n.
    CORBA_String_var& operator+=(CORBA_ULong n);

    operator char*&() { return ptr_; }
    operator const char*() const { return ptr_; }

    // The string for an in parameter.
    const char* in() const { return ptr_; }
    // The pointer for an inout parameter.
    char*& inout() { return ptr_; }
    // Frees the string and gives the pointer for an out parameter.
    char*& out();
    // Gives up ownership and returns the string.
    char* _retn();
};

// ---------------------------------------------------------------------------
// Byte storage
// ---------------------------------------------------------------------------

// Owned octets whose working start `data` is 8-aligned, so that aligning a
// cursor address equals aligning its offset from `data`. Never copied: the
// storage changes owner only through consume. New storage is not cleared.
struct OBBuffer {
    CORBA_Octet* real;  // raw allocation of len + 7 octets, null when empty
    CORBA_Octet* data;  // first 8-aligned address inside real
    CORBA_ULong len;    // usable octets from data

    // Empty: all fields null/0.
    OBBuffer();
    // Storage of n octets. CORBA_NO_MEMORY (minor 0, COMPLETED_NO) if the heap is exhausted.
    explicit OBBuffer(CORBA_ULong n);
    virtual ~OBBuffer();

    OBBuffer(const OBBuffer&) = delete;
    OBBuffer& operator=(const OBBuffer&) = delete;

    // Replaces the storage by fresh storage of n octets (contents undefined).
    void alloc(CORBA_ULong n);
    // Grows to n octets keeping the first len; n must be greater than len.
    void realloc(CORBA_ULong n);
    // Frees own storage and takes the other's over, leaving the other empty.
    void consume(OBBuffer& other);
    // Keeps the storage but makes only its first n octets usable; n must
    // not exceed len. The rest is freed with the storage.
    void shrink(CORBA_ULong n);
    // Frees the storage, leaving the buffer empty.
    void clear();
};

// ---------------------------------------------------------------------------
// Reference counting
// ---------------------------------------------------------------------------

// Base of the ORB's shared objects. The count is 1 after construction; the
// object deletes itself when the count drops to 0. Instances live on the heap.
// A derived constructor may fail: the half-built object then goes without
// the count check.
class OBSimpleRefCount {
public:
    CORBA_Long ref_;  // plain count: ORB objects are used from one thread

    OBSimpleRefCount();
    // Requires the count to be 0 (non-compliant use otherwise), except while
    // an exception unwinds a constructor.
    virtual ~OBSimpleRefCount();

    OBSimpleRefCount(const OBSimpleRefCount&) = delete;
    OBSimpleRefCount& operator=(const OBSimpleRefCount&) = delete;

    // Adds one reference.
    void _OB_addRef() { ++ref_; }
    // Drops one reference and deletes the object at 0.
    void _OB_dropRef();
    // The current count.
    CORBA_Long _OB_getRef() const { return ref_; }
};

// True for the nil (null) reference.
template<class T> inline bool CORBA_is_nil(T* p) { return p == nullptr; }

// Adds a reference to a non-nil p and returns p.
template<class T> inline T* OBDuplicate(T* p) {
    if (p)
        p->_OB_addRef();
    return p;
}

// Drops one reference of a non-nil p.
template<class T> inline void CORBA_release(T* p) {
    if (p)
        p->_OB_dropRef();
}

// Owning holder of one counted reference: releases it on destruction and
// when given another one.
template<class T> class OBObjVar {
public:
    T* ptr_;  // owned reference or nil

    OBObjVar() : ptr_(nullptr) {}
    // Takes the reference p over (nil allowed).
    OBObjVar(T* p) : ptr_(p) {}
    // Holds a new reference to the other's object.
    OBObjVar(const OBObjVar& other) : ptr_(OBDuplicate(other.ptr_)) {}
    ~OBObjVar() { CORBA_release(ptr_); }

    // Takes p over and releases the old reference; p must not be the one held.
    OBObjVar& operator=(T* p) {
        OB_CHECK_COMPLIANT(ptr_ == 0 || p != ptr_, OBNCSelfAssign);
        CORBA_release(ptr_);
        ptr_ = p;
        return *this;
    }
    // Holds a new reference to the other's object.
    OBObjVar& operator=(const OBObjVar& other) {
        if (this != &other) {
            T* p = OBDuplicate(other.ptr_);
            CORBA_release(ptr_);
            ptr_ = p;
        }
        return *this;
    }

    // The object; the holder must not be nil.
    T* operator->() const {
        OB_CHECK_COMPLIANT(ptr_, OBNCNullPtr);
        return ptr_;
    }
    operator T*() const { return ptr_; }

    T* in() const { return ptr_; }
    T*& inout() { return ptr_; }
    // Releases the reference and gives the pointer for an out parameter.
    T*& out() {
        CORBA_release(ptr_);
        ptr_ = nullptr;
        return ptr_;
    }
    // Gives up ownership and returns the reference.
    T* _retn() {
        T* p = ptr_;
        ptr_ = nullptr;
        return p;
    }
};

// A positioned, counted buffer: the unit that transports send and receive.
class OCI_Buffer : public OBSimpleRefCount {
public:
    CORBA_ULong pos;  // octets already transferred
    OBBuffer buf;     // the storage

    // Empty, pos 0.
    OCI_Buffer();
    // Storage of n octets, pos 0.
    explicit OCI_Buffer(CORBA_ULong n);

    CORBA_Octet* data() { return buf.data; }
    CORBA_ULong length() const { return buf.len; }
    // True when every octet has been transferred (pos >= length).
    bool is_full() const { return pos >= buf.len; }
    // Grows the storage to n octets keeping its contents (n > length()).
    void realloc(CORBA_ULong n) { buf.realloc(n); }
    // Takes the storage of b over (b is left empty); pos restarts at 0.
    void consume(OBBuffer& b);
};

#endif
