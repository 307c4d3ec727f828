// Object references as data: the IOR's CDR, the IIOP profile body, the two
// stringified forms and the diagnostic dump.
#include <OB/IOP.h>

#include <OB/Encapsulation.h>
#include <OB/Except.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ostream>

// --- CDR -------------------------------------------------------------------

void OBCount(const IOP_TaggedProfile& profile, CORBA_ULong& count) {
    OBCount(profile.tag, count);
    OBCount(profile.profile_data, count);
}

void OBWrite(const IOP_TaggedProfile& profile, CORBA_Octet*& cursor) {
    OBWrite(profile.tag, cursor);
    OBWrite(profile.profile_data, cursor);
}

void OBRead(IOP_TaggedProfile& profile, OBInCursor& in, bool swap) {
    OBRead(profile.tag, in, swap);
    OBRead(profile.profile_data, in, swap);
}

void OBCount(const IOP_IOR& ior, CORBA_ULong& count) {
    OBCount(ior.type_id.in(), count);
    OBCount(ior.profiles, count);
}

void OBWrite(const IOP_IOR& ior, CORBA_Octet*& cursor) {
    OBWrite(ior.type_id.in(), cursor);
    OBWrite(ior.profiles, cursor);
}

void OBRead(IOP_IOR& ior, OBInCursor& in, bool swap) {
    OBRead(ior.type_id, in, swap);
    OBRead(ior.profiles, in, swap);
}

bool OBIsNilIOR(const IOP_IOR& ior) {
    return (!ior.type_id.in() || ior.type_id[0] == '\0') && ior.profiles.length() == 0;
}

// --- IIOP profile body -----------------------------------------------------

void OBDecodeIIOPProfile(const IOP_TaggedProfile& profile, IIOP_ProfileBody& body) {
    OB_ASSERT(profile.tag == IOP_TAG_INTERNET_IOP);
    OBEncapsulation enc(profile.profile_data);
    OBRead(body.iiop_version.major, enc.in, enc.swap);
    OBRead(body.iiop_version.minor, enc.in, enc.swap);
    OBRead(body.host, enc.in, enc.swap);
    OBRead(body.port, enc.in, enc.swap);
    OBRead(body.object_key, enc.in, enc.swap);
    // IIOP 1.1 and later append tagged components; they are not needed here.
}

OBVarSeq<IIOP_ProfileBody> OBDecodeIIOPProfiles(const IOP_IOR& ior) {
    OBVarSeq<IIOP_ProfileBody> bodies;
    for (CORBA_ULong i = 0; i < ior.profiles.length(); ++i) {
        if (ior.profiles[i].tag != IOP_TAG_INTERNET_IOP)
            continue;
        bodies.length(bodies.length() + 1);
        OBDecodeIIOPProfile(ior.profiles[i], bodies[bodies.length() - 1]);
    }
    return bodies;
}

void OBEncodeIIOPProfile(const IIOP_ProfileBody& body, IOP_TaggedProfile& profile) {
    OB_CHECK_COMPLIANT(body.host.in(), OBNCNullString);
    profile.tag = IOP_TAG_INTERNET_IOP;
    OBWriteEncapsulation(
        profile.profile_data,
        [&](CORBA_ULong& count) {
            OBCount(body.iiop_version.major, count);
            OBCount(body.iiop_version.minor, count);
            OBCount(body.host.in(), count);
            OBCount(body.port, count);
            OBCount(body.object_key, count);
        },
        [&](CORBA_Octet*& cursor) {
            OBWrite(body.iiop_version.major, cursor);
            OBWrite(body.iiop_version.minor, cursor);
            OBWrite(body.host.in(), cursor);
            OBWrite(body.port, cursor);
            OBWrite(body.object_key, cursor);
        });
}

// --- parsing ---------------------------------------------------------------

namespace {

[[noreturn]] void throwInvObjref() { throw CORBA_INV_OBJREF(0, CORBA_COMPLETED_NO); }

// The port as the C library's atoi reads it (white space, sign, digits up to
// the first non-digit), kept modulo 2^16 as the 16-bit field stores it.
CORBA_UShort atoiPort(const char* p, const char* end) {
    while (p < end && std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    CORBA_UShort value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p)
        value = static_cast<CORBA_UShort>(value * 10u + static_cast<unsigned>(*p - '0'));
    return negative ? static_cast<CORBA_UShort>(0u - value) : value;
}

// "host:port/key" behind "iiop://".
void parseURL(const char* rest, IOP_IOR& ior) {
    while (*rest == ':')
        ++rest;
    if (*rest == '\0')
        throwInvObjref();
    const char* colon = std::strchr(rest, ':');
    if (!colon)
        throwInvObjref();
    const char* portText = colon + 1;
    const char* slash = std::strchr(portText, '/');
    if (!slash)
        throwInvObjref();
    const char* key = slash + 1;
    const CORBA_ULong keyLen = static_cast<CORBA_ULong>(std::strcspn(key, "\n"));
    if (keyLen == 0)
        throwInvObjref();

    IIOP_ProfileBody body;
    const CORBA_ULong hostLen = static_cast<CORBA_ULong>(colon - rest);
    body.host = CORBA_string_alloc(hostLen);
    std::memcpy(body.host.ptr_, rest, hostLen);
    body.host[hostLen] = '\0';
    body.port = atoiPort(portText, slash);
    // The key travels with a terminating NUL, as the servers of this form expect.
    body.object_key.length(keyLen + 1);
    std::memcpy(body.object_key.data(), key, keyLen);
    body.object_key[keyLen] = 0;

    IOP_IOR result;
    result.type_id = "";
    result.profiles.length(1);
    OBEncodeIIOPProfile(body, result.profiles[0]);
    ior = result;
}

// Reads the encapsulated IOR from the hex digits behind "IOR:" and returns
// its byte-order flag. A pair that is not two hex digits raises
// CORBA_INV_OBJREF; bad data inside raises CORBA_MARSHAL.
CORBA_Octet readHexIOR(const char* hex, IOP_IOR& ior) {
    OBBuffer octets;
    if (!OBHexDecode(hex, octets))
        throwInvObjref();
    OBEncapsulation enc(octets.data, octets.len);
    IOP_IOR result;
    OBRead(result, enc.in, enc.swap);
    ior = result;
    return enc.buf.data[0];
}

}  // namespace

void OBParseIOR(const char* text, IOP_IOR& ior) {
    OB_CHECK_COMPLIANT(text, OBNCNullString);
    if (std::strncmp(text, "iiop://", 7) == 0 || std::strncmp(text, "IIOP://", 7) == 0) {
        parseURL(text + 7, ior);
        return;
    }
    if (std::strncmp(text, "IOR:", 4) != 0)
        throwInvObjref();
    const char* hex = text + 4;
    // Every character counts, a trailing line end included.
    if (std::strlen(hex) % 2 != 0)
        throwInvObjref();
    readHexIOR(hex, ior);
}

// --- stringifying ----------------------------------------------------------

char* OBIORToString(const IOP_IOR& ior) {
    CORBA_ULong count = 0;
    OBCount(CORBA_Octet(0), count);
    OBCount(ior, count);
    OBBuffer buf(count);
    CORBA_Octet* cursor = buf.data;
    OBWrite(OBNativeByteOrder(), cursor);
    OBWrite(ior, cursor);
    OB_ASSERT(cursor == buf.data + count);
    CORBA_String_var hex(OBHexEncode(buf.data, count));
    CORBA_String_var result(CORBA_string_dup("IOR:"));
    result += hex.in();
    return result._retn();
}

// --- dump ------------------------------------------------------------------

namespace {

// One row of up to 8 key octets: values right-aligned in 3 columns plus a
// space (4 spaces past the end), then the octets as characters in quotes.
void printKeyRow(const CORBA_Octet* row, CORBA_ULong n, std::ostream& out) {
    const CORBA_ULong width = 8;
    char field[8];
    for (CORBA_ULong i = 0; i < width; ++i) {
        if (i < n) {
            std::snprintf(field, sizeof field, "%3u ", static_cast<unsigned>(row[i]));
            out << field;
        } else {
            out << "    ";
        }
    }
    out << '"';
    for (CORBA_ULong i = 0; i < n; ++i)
        out << (std::isprint(row[i]) ? static_cast<char>(row[i]) : '.');
    out << '"' << '\n';
}

void printProfile(const IIOP_ProfileBody& body, CORBA_ULong number, std::ostream& out) {
    out << "IIOP profile #" << number << ":\n";
    out << "iiop_version: " << static_cast<unsigned>(body.iiop_version.major) << '.'
        << static_cast<unsigned>(body.iiop_version.minor) << '\n';
    out << "host: " << body.host.in() << '\n';
    out << "port: " << static_cast<unsigned>(body.port) << '\n';
    out << "object_key:\n";
    const CORBA_ULong len = body.object_key.length();
    for (CORBA_ULong i = 0; i < len; i += 8)
        printKeyRow(body.object_key.data() + i, len - i < 8 ? len - i : 8, out);
}

}  // namespace

void OBPrintIOR(const char* text, std::ostream& out) {
    OB_CHECK_COMPLIANT(text, OBNCNullString);
    if (std::strncmp(text, "IOR:", 4) != 0)
        throwInvObjref();
    IOP_IOR ior;
    const CORBA_Octet flag = readHexIOR(text + 4, ior);
    // Decode every IIOP body before writing, so bad data leaves no partial dump.
    const OBVarSeq<IIOP_ProfileBody> bodies = OBDecodeIIOPProfiles(ior);

    out << "byteorder: " << (flag != 0 ? "little" : "big") << " endian\n";
    out << "type_id: " << ior.type_id.in() << '\n';
    for (CORBA_ULong i = 0; i < bodies.length(); ++i)
        printProfile(bodies[i], i + 1, out);
    if (bodies.length() == 0)
        out << "(no IIOP tag found)\n";
    out.flush();
}
