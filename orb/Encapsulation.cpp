// Reading encapsulations.
#include <OB/Encapsulation.h>

#include <cstring>

OBEncapsulation::OBEncapsulation(const CORBA_OctetSeq& seq)
    : OBEncapsulation(seq.data(), seq.length()) {}

OBEncapsulation::OBEncapsulation(const CORBA_Octet* p, CORBA_ULong n) : buf(n), in(), swap(false) {
    if (n == 0)
        OBThrowMarshal();  // no byte-order octet: CORBA_MARSHAL, minor 0, COMPLETED_NO
    std::memcpy(buf.data, p, n);
    swap = OBByteOrderSwap(buf.data[0]);
    in = OBInCursor{buf.data + 1, buf.data + n};
}
