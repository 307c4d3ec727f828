// Stringified references as the reference file and string_to_object bring
// them in: parse ("IOR:" and "iiop://"), encode again, dump, and decode each
// IIOP profile. A text that parses must survive encode and parse unchanged.
#include <OB/Except.h>
#include <OB/IOP.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

bool sameKey(const CORBA_OctetSeq& a, const CORBA_OctetSeq& b) {
    if (a.length() != b.length())
        return false;
    for (CORBA_ULong i = 0; i < a.length(); ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

// Decodes every IIOP profile; a decoded body must survive encode and decode.
void decodeProfiles(const IOP_IOR& ior) {
    for (CORBA_ULong i = 0; i < ior.profiles.length(); ++i) {
        if (ior.profiles[i].tag != IOP_TAG_INTERNET_IOP)
            continue;
        IIOP_ProfileBody body;
        try {
            OBDecodeIIOPProfile(ior.profiles[i], body);
        } catch (const CORBA_SystemException&) {
            continue;
        }
        IOP_TaggedProfile again;
        OBEncodeIIOPProfile(body, again);
        IIOP_ProfileBody back;
        OBDecodeIIOPProfile(again, back);
        if (std::string(body.host.in()) != back.host.in() || body.port != back.port ||
            !sameKey(body.object_key, back.object_key))
            std::abort();
    }
}

// Parses text; true and ior filled when it is a reference.
bool parse(const std::string& text, IOP_IOR& ior) {
    try {
        OBParseIOR(text.c_str(), ior);
        return true;
    } catch (const CORBA_SystemException&) {
        return false;
    }
}

void dump(const std::string& text) {
    std::ostringstream out;
    try {
        OBPrintIOR(text.c_str(), out);
    } catch (const CORBA_SystemException&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    dump(text);
    IOP_IOR ior;
    if (!parse(text, ior))
        return 0;
    decodeProfiles(ior);
    const CORBA_String_var encoded = OBIORToString(ior);
    IOP_IOR again;
    if (!parse(encoded.in(), again))
        std::abort();
    const CORBA_String_var reencoded = OBIORToString(again);
    if (std::string(encoded.in()) != reencoded.in())
        std::abort();
    dump(encoded.in());
    return 0;
}
