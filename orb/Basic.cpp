// Guarded string memory, byte buffers and reference counting.
#include <OB/Basic.h>
#include <OB/Except.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <new>

void OBThrowNoMemory() {
    throw CORBA_NO_MEMORY(0, CORBA_COMPLETED_NO);
}

// ---------------------------------------------------------------------------
// Guarded strings
// ---------------------------------------------------------------------------

namespace {

const CORBA_ULong magic = 0x2468ACE;
const CORBA_ULong magicFree = 0xE2C4A68;
const std::size_t headerSize = 8;  // magic, element count

struct Header {
    CORBA_ULong magic;
    CORBA_ULong count;  // characters allocated, NUL included
};
static_assert(sizeof(Header) == headerSize, "guarded header is 8 octets");

Header* headerOf(const char* p) {
    return reinterpret_cast<Header*>(const_cast<char*>(p) - headerSize);
}

// Freed blocks are held back for a while before they go to the heap, so
// that freeing one of them again finds magicFree rather than whatever the
// heap wrote there (allocators keep their free lists inside freed blocks).
// Plain static data: usable by destructors of other static objects too.
const std::size_t quarantineSize = 16;
char* quarantine[quarantineSize];
std::size_t quarantineNext;

void quarantinePut(char* block) {
    char* evicted = quarantine[quarantineNext];
    quarantine[quarantineNext] = block;
    quarantineNext = (quarantineNext + 1) % quarantineSize;
    ::operator delete(evicted);
}

}  // namespace

char* CORBA_string_alloc(CORBA_ULong n) {
    if (n == std::numeric_limits<CORBA_ULong>::max() ||
        std::size_t(n) > std::numeric_limits<std::size_t>::max() - headerSize - 1)
        OBThrowNoMemory();
    char* block;
    try {
        block = static_cast<char*>(::operator new(headerSize + n + 1));
    } catch (const std::bad_alloc&) {
        OBThrowNoMemory();
    }
    Header* h = reinterpret_cast<Header*>(block);
    h->magic = magic;
    h->count = n + 1;
    char* p = block + headerSize;
    p[0] = '\0';
    return p;
}

char* CORBA_string_dup(const char* s) {
    if (!s)
        return nullptr;
    const std::size_t n = std::strlen(s);
    char* p = CORBA_string_alloc(static_cast<CORBA_ULong>(n));
    std::memcpy(p, s, n + 1);
    return p;
}

void CORBA_string_free(char* p) {
    if (!p)
        return;
    CORBA_ULong* magicp = &headerOf(p)->magic;
    OB_CHECK_COMPLIANT(*magicp != magicFree, OBNCDoubleFree);
    OB_CHECK_COMPLIANT(*magicp == magic, OBNCMemoryAllocation);
    *magicp = magicFree;
    quarantinePut(p - headerSize);
}

bool CORBA_string_check(const char* p) {
    return !p || headerOf(p)->magic == magic;
}

CORBA_ULong OBStringCapacity(const char* p) {
    return p ? headerOf(p)->count - 1 : 0;
}

// ---------------------------------------------------------------------------
// CORBA_String_var
// ---------------------------------------------------------------------------

CORBA_String_var::CORBA_String_var() : ptr_(nullptr) {}

CORBA_String_var::CORBA_String_var(char* p) : ptr_(nullptr) {
    OB_CHECK_COMPLIANT(p, OBNCNullInit);
    OB_CHECK_COMPLIANT(CORBA_string_check(p), OBNCMemoryAllocation);
    ptr_ = p;
}

CORBA_String_var::CORBA_String_var(const char* p) : ptr_(CORBA_string_dup(p)) {}

CORBA_String_var::CORBA_String_var(const CORBA_String_var& other)
    : ptr_(CORBA_string_dup(other.ptr_)) {}

CORBA_String_var::~CORBA_String_var() {
    CORBA_string_free(ptr_);
}

CORBA_String_var& CORBA_String_var::operator=(char* p) {
    OB_CHECK_COMPLIANT(CORBA_string_check(p), OBNCMemoryAllocation);
    // Adopting null twice is harmless; adopting the own string would free it.
    if (p)
        OB_CHECK_COMPLIANT(p != ptr_, OBNCSelfAssign);
    CORBA_string_free(ptr_);
    ptr_ = p;
    return *this;
}

CORBA_String_var& CORBA_String_var::operator=(const char* p) {
    char* copy = CORBA_string_dup(p);  // before freeing: p may be our own string
    CORBA_string_free(ptr_);
    ptr_ = copy;
    return *this;
}

CORBA_String_var& CORBA_String_var::operator=(const CORBA_String_var& other) {
    if (ptr_ != other.ptr_)
        *this = static_cast<const char*>(other.ptr_);
    return *this;
}

CORBA_String_var& CORBA_String_var::operator+=(const char* s) {
    if (!s)
        return *this;
    const std::size_t oldLen = ptr_ ? std::strlen(ptr_) : 0;
    const std::size_t addLen = std::strlen(s);
    const std::uint64_t need = static_cast<std::uint64_t>(oldLen) + addLen;
    const CORBA_ULong capacity = OBStringCapacity(ptr_);
    // An empty holder has no storage even when nothing is appended: the
    // result must still be a string.
    if (need > capacity || !ptr_) {
        if (need >= std::numeric_limits<CORBA_ULong>::max())
            OBThrowNoMemory();
        const std::uint64_t grown = std::max<std::uint64_t>(2 * std::uint64_t(capacity), need);
        const CORBA_ULong n = static_cast<CORBA_ULong>(
            std::min<std::uint64_t>(grown, std::numeric_limits<CORBA_ULong>::max() - 1));
        char* p = CORBA_string_alloc(n);
        if (ptr_)
            std::memcpy(p, ptr_, oldLen);
        std::memcpy(p + oldLen, s, addLen + 1);
        CORBA_string_free(ptr_);
        ptr_ = p;
    } else {
        std::memmove(ptr_ + oldLen, s, addLen + 1);  // s may lie inside ptr_
    }
    return *this;
}

CORBA_String_var& CORBA_String_var::operator+=(char c) {
    const char text[2] = {c, '\0'};
    return *this += text;
}

CORBA_String_var& CORBA_String_var::operator+=(CORBA_Long n) {
    char text[16];
    std::snprintf(text, sizeof text, "%ld", static_cast<long>(n));
    return *this += static_cast<const char*>(text);
}

CORBA_String_var& CORBA_String_var::operator+=(CORBA_ULong n) {
    char text[16];
    std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(n));
    return *this += static_cast<const char*>(text);
}

char*& CORBA_String_var::out() {
    CORBA_string_free(ptr_);
    ptr_ = nullptr;
    return ptr_;
}

char* CORBA_String_var::_retn() {
    char* p = ptr_;
    ptr_ = nullptr;
    return p;
}

// ---------------------------------------------------------------------------
// OBBuffer, OCI_Buffer
// ---------------------------------------------------------------------------

namespace {

// Raw storage for n usable octets plus room to align their start to 8.
CORBA_Octet* allocRaw(CORBA_ULong n) {
    if (std::size_t(n) > std::numeric_limits<std::size_t>::max() - 7)
        OBThrowNoMemory();
    try {
        return new CORBA_Octet[std::size_t(n) + 7];
    } catch (const std::bad_alloc&) {
        OBThrowNoMemory();
    }
}

CORBA_Octet* aligned8(CORBA_Octet* real) {
    const std::uintptr_t a = reinterpret_cast<std::uintptr_t>(real);
    return real + ((8 - a % 8) % 8);
}

}  // namespace

OBBuffer::OBBuffer() : real(nullptr), data(nullptr), len(0) {}

OBBuffer::OBBuffer(CORBA_ULong n) : real(allocRaw(n)), data(aligned8(real)), len(n) {}

OBBuffer::~OBBuffer() {
    delete[] real;
}

void OBBuffer::alloc(CORBA_ULong n) {
    CORBA_Octet* fresh = allocRaw(n);
    delete[] real;
    real = fresh;
    data = aligned8(real);
    len = n;
}

void OBBuffer::realloc(CORBA_ULong n) {
    OB_ASSERT(n > len);
    CORBA_Octet* fresh = allocRaw(n);
    CORBA_Octet* freshData = aligned8(fresh);
    if (len)
        std::memcpy(freshData, data, len);
    delete[] real;
    real = fresh;
    data = freshData;
    len = n;
}

void OBBuffer::consume(OBBuffer& other) {
    if (&other == this)
        return;
    delete[] real;
    real = other.real;
    data = other.data;
    len = other.len;
    other.real = nullptr;
    other.data = nullptr;
    other.len = 0;
}

void OBBuffer::shrink(CORBA_ULong n) {
    OB_ASSERT(n <= len);
    len = n;
}

void OBBuffer::clear() {
    delete[] real;
    real = nullptr;
    data = nullptr;
    len = 0;
}

OCI_Buffer::OCI_Buffer() : pos(0) {}

OCI_Buffer::OCI_Buffer(CORBA_ULong n) : pos(0), buf(n) {}

void OCI_Buffer::consume(OBBuffer& b) {
    buf.consume(b);
    pos = 0;
}

// ---------------------------------------------------------------------------
// OBSimpleRefCount
// ---------------------------------------------------------------------------

OBSimpleRefCount::OBSimpleRefCount() : ref_(1) {}

OBSimpleRefCount::~OBSimpleRefCount() {
    // An object whose constructor fails is destroyed by the language with
    // the count it was built with; only outside such unwinding is a count
    // left over a sign of misuse.
    if (std::uncaught_exceptions() > 0)
        return;
    OB_CHECK_COMPLIANT(ref_ == 0, OBNCRefCountNotZero);
}

void OBSimpleRefCount::_OB_dropRef() {
    if (--ref_ == 0)
        delete this;
}
