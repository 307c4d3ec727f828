// TypeCodes and Anys as they arrive in a message body: read in either byte
// order, then written again. What was read must read back from its own
// encoding as the same type.
//
// Input: one control octet (bit 0 the swap flag, bit 1 an Any instead of a
// bare TypeCode), then the CDR data.
#include <OB/Any.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Stops the run: what was read could not be written, or not read back from
// its own encoding.
[[noreturn]] void roundTripFailed(const char* what) {
    std::fprintf(stderr, "%s read from the input does not survive writing and reading back\n", what);
    std::abort();
}

// The encoding of value in a new buffer, this host's order.
template<class T> void encode(const T& value, OBBuffer& out) {
    CORBA_ULong count = 0;
    OBCount(value, count);
    out.alloc(count);
    CORBA_Octet* cursor = out.data;
    OBWrite(value, cursor);
    if (cursor != out.data + count)
        std::abort();
}

void typeCode(OBInCursor& in, bool swap) {
    CORBA_TypeCode_var tc;
    try {
        OBRead(tc, in, swap);
    } catch (const CORBA_SystemException&) {
        return;
    }
    OBBuffer written;
    CORBA_TypeCode_var back;
    OBInCursor again;
    try {
        encode(tc.in(), written);
        again = OBMakeInCursor(written);
        OBRead(back, again, false);
    } catch (const CORBA_SystemException&) {
        roundTripFailed("TypeCode");
    }
    if (!tc->equal(back.in()) || again.cur != again.end)
        roundTripFailed("TypeCode");
}

void any(OBInCursor& in, bool swap) {
    CORBA_Any value;
    try {
        OBRead(value, in, swap);
    } catch (const CORBA_SystemException&) {
        return;
    }
    OBBuffer written;
    CORBA_Any back;
    OBInCursor again;
    try {
        encode(value, written);
        again = OBMakeInCursor(written);
        OBRead(back, again, false);
    } catch (const CORBA_SystemException&) {
        roundTripFailed("Any");
    }
    if (!value._OB_type()->equal(back._OB_type()) || again.cur != again.end)
        roundTripFailed("Any");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const bool swap = data[0] & 1;
    OBBuffer body(static_cast<CORBA_ULong>(size - 1));
    if (size > 1)
        std::memcpy(body.data, data + 1, size - 1);
    OBInCursor in = OBMakeInCursor(body);
    if (data[0] & 2)
        any(in, swap);
    else
        typeCode(in, swap);
    return 0;
}
