// CDR (GIOP 1.0) primitives for the basic types, their arrays and strings,
// plus the hexadecimal text form of octets.
//
// Marshalling is two-pass: OBCount adds up the exact encoded size from the
// offset at which the data will begin, one OBBuffer of that size is
// allocated, and OBWrite stores the values through a cursor starting at the
// same offset. Writers never check bounds: the count pass is the only sizing.
// Values are written in native order. Every primitive aligns the cursor
// ADDRESS, which equals the offset because OBBuffer::data is 8-aligned, and
// writes zero into the padding octets it passes, so that no stale octets of
// the buffer reach the wire or a stringified reference.
//
// Readers are bounded by the end of the received data and honour a swap flag
// (true: reverse the octets of every multi-octet value). Data that runs past
// the end, or a malformed string, raises CORBA_MARSHAL (minor 0, COMPLETED_NO).
#ifndef OB_CDR_H
#define OB_CDR_H

#include <OB/Basic.h>

#include <cstddef>
#include <cstdint>

// Read position inside received data: [cur, end) is what remains.
struct OBInCursor {
    const CORBA_Octet* cur;
    const CORBA_Octet* end;
};

// A cursor over b from offset `start`; an offset beyond b's length raises
// CORBA_MARSHAL (minor 0, COMPLETED_NO).
OBInCursor OBMakeInCursor(const OBBuffer& b, CORBA_ULong start = 0);

// Raises CORBA_MARSHAL (minor 0, COMPLETED_NO). Never returns.
[[noreturn]] void OBThrowMarshal();

// Raises CORBA_MARSHAL (minor 0, COMPLETED_NO) unless at least n elements of
// `size` octets each can still be read from `in`. Guards allocations whose
// size is announced by received data.
void OBCheckRoom(const OBInCursor& in, CORBA_ULong n, CORBA_ULong size);

// Offset of the cursor position from b's data.
CORBA_ULong OBInOffset(const OBBuffer& b, const OBInCursor& in);

// The octet flag that this host writes in front of its data (1 little-endian, 0 big-endian).
CORBA_Octet OBNativeByteOrder();

// The swap flag for data whose byte-order octet (the first octet of an
// encapsulation or of a stored stream) is `flag`: 1 is little-endian data,
// any other value big-endian. True when that order differs from this host's.
bool OBByteOrderSwap(CORBA_Octet flag);

// --- alignment -------------------------------------------------------------

// Octets of padding that bring `position` (an address or an offset) up to a
// multiple of `size`.
std::size_t OBPadding(std::uintptr_t position, std::size_t size);

// Aligns the cursor to `size`, writing zero into every padding octet passed.
void OBAlignCursor(CORBA_Octet*& cursor, std::size_t size);

// Aligns `in` to `size`, checks that n elements of `size` octets follow and
// returns their start, the cursor advanced past them. Data too short raises
// CORBA_MARSHAL (minor 0, COMPLETED_NO) with `in` unchanged. For n == 0 it
// returns in.cur and leaves `in` as it is: writers put no padding in front of
// no elements, so aligning would swallow the octets of the next value (and
// in.cur may be null for empty data).
const CORBA_Octet* OBTake(OBInCursor& in, CORBA_ULong n, std::size_t size);

// --- basic types (CORBA_Octet doubles as CORBA_Boolean) --------------------
// OBCount: round count up to the type's alignment, then add its size.
// OBWrite: align the cursor (zeroing the padding), store the value in native
//          order, advance.
// OBRead:  align the cursor, check the room, load, advance, reverse if swap.

void OBCount(CORBA_Octet v, CORBA_ULong& count);
void OBCount(CORBA_Char v, CORBA_ULong& count);
void OBCount(CORBA_Short v, CORBA_ULong& count);
void OBCount(CORBA_UShort v, CORBA_ULong& count);
void OBCount(CORBA_Long v, CORBA_ULong& count);
void OBCount(CORBA_ULong v, CORBA_ULong& count);
void OBCount(CORBA_Float v, CORBA_ULong& count);
void OBCount(CORBA_Double v, CORBA_ULong& count);

void OBWrite(CORBA_Octet v, CORBA_Octet*& cursor);
void OBWrite(CORBA_Char v, CORBA_Octet*& cursor);
void OBWrite(CORBA_Short v, CORBA_Octet*& cursor);
void OBWrite(CORBA_UShort v, CORBA_Octet*& cursor);
void OBWrite(CORBA_Long v, CORBA_Octet*& cursor);
void OBWrite(CORBA_ULong v, CORBA_Octet*& cursor);
void OBWrite(CORBA_Float v, CORBA_Octet*& cursor);
void OBWrite(CORBA_Double v, CORBA_Octet*& cursor);

void OBRead(CORBA_Octet& v, OBInCursor& in, bool swap);
void OBRead(CORBA_Char& v, OBInCursor& in, bool swap);
void OBRead(CORBA_Short& v, OBInCursor& in, bool swap);
void OBRead(CORBA_UShort& v, OBInCursor& in, bool swap);
void OBRead(CORBA_Long& v, OBInCursor& in, bool swap);
void OBRead(CORBA_ULong& v, OBInCursor& in, bool swap);
void OBRead(CORBA_Float& v, OBInCursor& in, bool swap);
void OBRead(CORBA_Double& v, OBInCursor& in, bool swap);

// --- arrays of n basic values (no count on the wire) -----------------------
// For n > 0: one alignment step, then a block of n * size octets; reading
// reverses each element afterwards when swap is true. For n == 0 nothing at
// all, not even alignment.

void OBCount(const CORBA_Octet* a, CORBA_ULong n, CORBA_ULong& count);
void OBCount(const CORBA_Char* a, CORBA_ULong n, CORBA_ULong& count);
void OBCount(const CORBA_Short* a, CORBA_ULong n, CORBA_ULong& count);
void OBCount(const CORBA_UShort* a, CORBA_ULong n, CORBA_ULong& count);
void OBCount(const CORBA_Long* a, CORBA_ULong n, CORBA_ULong& count);
void OBCount(const CORBA_ULong* a, CORBA_ULong n, CORBA_ULong& count);
void OBCount(const CORBA_Float* a, CORBA_ULong n, CORBA_ULong& count);
void OBCount(const CORBA_Double* a, CORBA_ULong n, CORBA_ULong& count);

void OBWrite(const CORBA_Octet* a, CORBA_ULong n, CORBA_Octet*& cursor);
void OBWrite(const CORBA_Char* a, CORBA_ULong n, CORBA_Octet*& cursor);
void OBWrite(const CORBA_Short* a, CORBA_ULong n, CORBA_Octet*& cursor);
void OBWrite(const CORBA_UShort* a, CORBA_ULong n, CORBA_Octet*& cursor);
void OBWrite(const CORBA_Long* a, CORBA_ULong n, CORBA_Octet*& cursor);
void OBWrite(const CORBA_ULong* a, CORBA_ULong n, CORBA_Octet*& cursor);
void OBWrite(const CORBA_Float* a, CORBA_ULong n, CORBA_Octet*& cursor);
void OBWrite(const CORBA_Double* a, CORBA_ULong n, CORBA_Octet*& cursor);

void OBRead(CORBA_Octet* a, CORBA_ULong n, OBInCursor& in, bool swap);
void OBRead(CORBA_Char* a, CORBA_ULong n, OBInCursor& in, bool swap);
void OBRead(CORBA_Short* a, CORBA_ULong n, OBInCursor& in, bool swap);
void OBRead(CORBA_UShort* a, CORBA_ULong n, OBInCursor& in, bool swap);
void OBRead(CORBA_Long* a, CORBA_ULong n, OBInCursor& in, bool swap);
void OBRead(CORBA_ULong* a, CORBA_ULong n, OBInCursor& in, bool swap);
void OBRead(CORBA_Float* a, CORBA_ULong n, OBInCursor& in, bool swap);
void OBRead(CORBA_Double* a, CORBA_ULong n, OBInCursor& in, bool swap);

// Arrays of any other element type: each element with its own primitive.
template<class T> void OBCount(const T* a, CORBA_ULong n, CORBA_ULong& count) {
    for (CORBA_ULong i = 0; i < n; ++i)
        OBCount(a[i], count);
}
template<class T> void OBWrite(const T* a, CORBA_ULong n, CORBA_Octet*& cursor) {
    for (CORBA_ULong i = 0; i < n; ++i)
        OBWrite(a[i], cursor);
}
template<class T> void OBRead(T* a, CORBA_ULong n, OBInCursor& in, bool swap) {
    for (CORBA_ULong i = 0; i < n; ++i)
        OBRead(a[i], in, swap);
}

// --- strings: unsigned long length (NUL counted), characters, NUL ----------

// Adds 4 (aligned) + strlen(s) + 1. A null s is reported as non-compliant use.
void OBCount(const char* s, CORBA_ULong& count);
// Writes the length and the characters with their NUL. A null s is reported
// as non-compliant use.
void OBWrite(const char* s, CORBA_Octet*& cursor);
// Reads a string into s, freeing the one it held. A length of 0, a length
// beyond the data, or octets that are not length - 1 non-NUL characters and a
// NUL raise CORBA_MARSHAL (minor 0, COMPLETED_NO); s is then unchanged.
void OBRead(CORBA_String_var& s, OBInCursor& in, bool swap);

// --- hexadecimal text ------------------------------------------------------

// 2n lower-case hexadecimal digits for the n octets at p, as a guarded string.
char* OBHexEncode(const CORBA_Octet* p, CORBA_ULong n);

// Decodes pairs of hexadecimal digits (either case) of s into fresh storage
// of strlen(s) / 2 octets in out (an odd last digit is ignored). Returns
// false, with out's contents undefined, when a pair is not two hex digits.
bool OBHexDecode(const char* s, OBBuffer& out);

#endif
