// A marshalled system exception as a Reply body carries it: repository ID,
// minor code and completion status, read in either byte order, then turned
// into the diagnostic text.
//
// Input: one octet whose low bit is the swap flag, then the CDR data.
#include <OB/Except.h>
#include <OB/TemplateI.h>

#include <cstdint>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const bool swap = data[0] & 1;
    OBBuffer body(static_cast<CORBA_ULong>(size - 1));
    if (size > 1)
        std::memcpy(body.data, data + 1, size - 1);
    OBInCursor in = OBMakeInCursor(body);
    try {
        const std::unique_ptr<CORBA_SystemException> e = OBReadSystemException(in, swap);
        CORBA_string_free(OBExceptionText(*e));
    } catch (const CORBA_SystemException&) {
    }
    return 0;
}
