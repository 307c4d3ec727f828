// CDR primitives and hexadecimal text.
#include <OB/CDR.h>
#include <OB/Except.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

void OBThrowMarshal() {
    throw CORBA_MARSHAL(0, CORBA_COMPLETED_NO);
}

CORBA_Octet OBNativeByteOrder() {
    const CORBA_UShort one = 1;
    CORBA_Octet first;
    std::memcpy(&first, &one, 1);
    return first;
}

bool OBByteOrderSwap(CORBA_Octet flag) {
    return (flag == 1) != (OBNativeByteOrder() == 1);
}

std::size_t OBPadding(std::uintptr_t position, std::size_t size) {
    return (size - position % size) % size;
}

void OBAlignCursor(CORBA_Octet*& cursor, std::size_t size) {
    const std::size_t pad = OBPadding(reinterpret_cast<std::uintptr_t>(cursor), size);
    std::memset(cursor, 0, pad);
    cursor += pad;
}

const CORBA_Octet* OBTake(OBInCursor& in, CORBA_ULong n, std::size_t size) {
    if (n == 0)
        return in.cur;
    const std::size_t remaining = static_cast<std::size_t>(in.end - in.cur);
    const std::size_t pad = OBPadding(reinterpret_cast<std::uintptr_t>(in.cur), size);
    if (pad > remaining ||
        static_cast<std::uint64_t>(n) * size > remaining - pad)
        OBThrowMarshal();
    const CORBA_Octet* start = in.cur + pad;
    in.cur = start + std::size_t(n) * size;
    return start;
}

namespace {

CORBA_ULong alignCount(CORBA_ULong count, std::size_t size) {
    return count + static_cast<CORBA_ULong>(OBPadding(count, size));
}

template<class T> T swapped(T v) {
    CORBA_Octet octets[sizeof(T)];
    std::memcpy(octets, &v, sizeof(T));
    std::reverse(octets, octets + sizeof(T));
    std::memcpy(&v, octets, sizeof(T));
    return v;
}

template<class T> void countOne(CORBA_ULong& count) {
    count = alignCount(count, sizeof(T)) + static_cast<CORBA_ULong>(sizeof(T));
}

template<class T> void writeOne(T v, CORBA_Octet*& cursor) {
    OBAlignCursor(cursor, sizeof(T));
    std::memcpy(cursor, &v, sizeof(T));
    cursor += sizeof(T);
}

template<class T> void readOne(T& v, OBInCursor& in, bool swap) {
    std::memcpy(&v, OBTake(in, 1, sizeof(T)), sizeof(T));
    if (swap && sizeof(T) > 1)
        v = swapped(v);
}

template<class T> void countArray(CORBA_ULong n, CORBA_ULong& count) {
    if (n > 0)
        count = alignCount(count, sizeof(T)) + n * static_cast<CORBA_ULong>(sizeof(T));
}

template<class T> void writeArray(const T* a, CORBA_ULong n, CORBA_Octet*& cursor) {
    if (n == 0)
        return;
    OBAlignCursor(cursor, sizeof(T));
    std::memcpy(cursor, a, std::size_t(n) * sizeof(T));
    cursor += std::size_t(n) * sizeof(T);
}

template<class T> void readArray(T* a, CORBA_ULong n, OBInCursor& in, bool swap) {
    if (n == 0)
        return;
    std::memcpy(a, OBTake(in, n, sizeof(T)), std::size_t(n) * sizeof(T));
    if (swap && sizeof(T) > 1)
        for (CORBA_ULong i = 0; i < n; ++i)
            a[i] = swapped(a[i]);
}

}  // namespace

void OBCheckRoom(const OBInCursor& in, CORBA_ULong n, CORBA_ULong size) {
    if (static_cast<std::uint64_t>(n) * size > static_cast<std::uint64_t>(in.end - in.cur))
        OBThrowMarshal();
}

OBInCursor OBMakeInCursor(const OBBuffer& b, CORBA_ULong start) {
    if (start > b.len)
        OBThrowMarshal();
    return OBInCursor{b.data + start, b.data + b.len};
}

CORBA_ULong OBInOffset(const OBBuffer& b, const OBInCursor& in) {
    return static_cast<CORBA_ULong>(in.cur - b.data);
}

// --- basic types -----------------------------------------------------------

#define OB_CDR_BASIC(T)                                                              \
    void OBCount(T, CORBA_ULong& count) { countOne<T>(count); }                      \
    void OBWrite(T v, CORBA_Octet*& cursor) { writeOne(v, cursor); }                 \
    void OBRead(T& v, OBInCursor& in, bool swap) { readOne(v, in, swap); }           \
    void OBCount(const T*, CORBA_ULong n, CORBA_ULong& count) { countArray<T>(n, count); } \
    void OBWrite(const T* a, CORBA_ULong n, CORBA_Octet*& cursor) { writeArray(a, n, cursor); } \
    void OBRead(T* a, CORBA_ULong n, OBInCursor& in, bool swap) { readArray(a, n, in, swap); }

OB_CDR_BASIC(CORBA_Octet)
OB_CDR_BASIC(CORBA_Char)
OB_CDR_BASIC(CORBA_Short)
OB_CDR_BASIC(CORBA_UShort)
OB_CDR_BASIC(CORBA_Long)
OB_CDR_BASIC(CORBA_ULong)
OB_CDR_BASIC(CORBA_Float)
OB_CDR_BASIC(CORBA_Double)

#undef OB_CDR_BASIC

// --- strings ---------------------------------------------------------------

void OBCount(const char* s, CORBA_ULong& count) {
    OB_CHECK_COMPLIANT(s, OBNCNullString);
    OBCount(CORBA_ULong(0), count);
    count += static_cast<CORBA_ULong>(std::strlen(s)) + 1;
}

void OBWrite(const char* s, CORBA_Octet*& cursor) {
    OB_CHECK_COMPLIANT(s, OBNCNullString);
    const CORBA_ULong len = static_cast<CORBA_ULong>(std::strlen(s)) + 1;
    OBWrite(len, cursor);
    std::memcpy(cursor, s, len);
    cursor += len;
}

void OBRead(CORBA_String_var& s, OBInCursor& in, bool swap) {
    CORBA_ULong len;
    OBRead(len, in, swap);
    if (len == 0)
        OBThrowMarshal();  // CORBA_MARSHAL, minor 0, COMPLETED_NO
    const CORBA_Octet* chars = OBTake(in, len, 1);
    // Exactly len - 1 characters, none of them NUL, then the NUL.
    if (chars[len - 1] != 0 || std::memchr(chars, 0, len - 1) != nullptr)
        OBThrowMarshal();  // CORBA_MARSHAL, minor 0, COMPLETED_NO
    char* p = CORBA_string_alloc(len - 1);
    std::memcpy(p, chars, len);
    s = p;
}

// --- hexadecimal text ------------------------------------------------------

char* OBHexEncode(const CORBA_Octet* p, CORBA_ULong n) {
    static const char digits[] = "0123456789abcdef";
    if (n > (std::numeric_limits<CORBA_ULong>::max() - 1) / 2)
        OBThrowNoMemory();
    char* s = CORBA_string_alloc(2 * n);
    for (CORBA_ULong i = 0; i < n; ++i) {
        s[2 * i] = digits[p[i] >> 4];
        s[2 * i + 1] = digits[p[i] & 0xF];
    }
    s[2 * n] = '\0';
    return s;
}

namespace {

// The value of one hexadecimal digit, or -1.
int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

bool OBHexDecode(const char* s, OBBuffer& out) {
    const std::size_t n = std::strlen(s) / 2;
    if (n > std::numeric_limits<CORBA_ULong>::max())
        OBThrowNoMemory();
    out.alloc(static_cast<CORBA_ULong>(n));
    for (std::size_t i = 0; i < n; ++i) {
        const int high = hexValue(s[2 * i]);
        const int low = hexValue(s[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        out.data[i] = static_cast<CORBA_Octet>(high << 4 | low);
    }
    return true;
}
