// Test support for object references: the stringified references under
// tests/data (see the README there), IORs built from parts, and a
// big-endian encoder written independently of the ORB's own writer.
#ifndef TESTS_IOR_FIXTURES_H
#define TESTS_IOR_FIXTURES_H

#include <OB/IOP.h>

#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

// The first line of tests/data/<name>. The directory is found from this
// file's own path, which also works under Wine (drive Z: is the root).
inline std::string readFixture(const std::string& name) {
    std::string dir = __FILE__;
    dir.erase(dir.find_last_of("/\\") + 1);
    std::ifstream in(dir + "data/" + name);
    std::string line;
    if (!std::getline(in, line) || line.empty())
        throw std::runtime_error("fixture missing: " + name);
    if (line.back() == '\r')
        line.pop_back();
    return line;
}

inline IOP_IOR parseText(const std::string& text) {
    IOP_IOR ior;
    OBParseIOR(text.c_str(), ior);
    return ior;
}

inline CORBA_OctetSeq octets(const std::string& s) {
    CORBA_OctetSeq seq;
    seq.length(static_cast<CORBA_ULong>(s.size()));
    if (!s.empty())
        std::memcpy(seq.data(), s.data(), s.size());
    return seq;
}

inline std::string text(const CORBA_OctetSeq& seq) {
    return std::string(reinterpret_cast<const char*>(seq.data()), seq.length());
}

// A tag-0 profile for host:port with key, IIOP 1.minor.
inline IOP_TaggedProfile iiopProfile(const char* host, CORBA_UShort port, const std::string& key,
                                     CORBA_Octet minor = 0) {
    IIOP_ProfileBody body;
    body.iiop_version.minor = minor;
    body.host = host;
    body.port = port;
    body.object_key = octets(key);
    IOP_TaggedProfile profile;
    OBEncodeIIOPProfile(body, profile);
    return profile;
}

inline IOP_TaggedProfile otherProfile(CORBA_ULong tag, const std::string& data) {
    IOP_TaggedProfile profile;
    profile.tag = tag;
    profile.profile_data = octets(data);
    return profile;
}

inline IOP_IOR makeIOR(const char* typeId, const std::vector<IOP_TaggedProfile>& profiles) {
    IOP_IOR ior;
    ior.type_id = typeId;
    ior.profiles.length(static_cast<CORBA_ULong>(profiles.size()));
    for (CORBA_ULong i = 0; i < ior.profiles.length(); ++i)
        ior.profiles[i] = profiles[i];
    return ior;
}

inline bool sameIOR(const IOP_IOR& a, const IOP_IOR& b) {
    if (std::strcmp(a.type_id.in(), b.type_id.in()) != 0 || a.profiles.length() != b.profiles.length())
        return false;
    for (CORBA_ULong i = 0; i < a.profiles.length(); ++i)
        if (a.profiles[i].tag != b.profiles[i].tag ||
            text(a.profiles[i].profile_data) != text(b.profiles[i].profile_data))
            return false;
    return true;
}

// Big-endian CDR written octet by octet, alignment counted from the start.
class BigEndianWriter {
public:
    std::vector<CORBA_Octet> out;

    void octet(CORBA_Octet v) { out.push_back(v); }
    void ushort(CORBA_UShort v) {
        align(2);
        octet(static_cast<CORBA_Octet>(v >> 8));
        octet(static_cast<CORBA_Octet>(v));
    }
    void ulong(CORBA_ULong v) {
        align(4);
        for (int shift = 24; shift >= 0; shift -= 8)
            octet(static_cast<CORBA_Octet>(v >> shift));
    }
    void string(const char* s) {
        const CORBA_ULong n = static_cast<CORBA_ULong>(std::strlen(s)) + 1;
        ulong(n);
        out.insert(out.end(), s, s + n);
    }
    void sequence(const CORBA_OctetSeq& s) {
        ulong(s.length());
        out.insert(out.end(), s.data(), s.data() + s.length());
    }

private:
    void align(std::size_t n) {
        while (out.size() % n != 0)
            out.push_back(0);
    }
};

// The big-endian twin of an IIOP profile (body re-encoded with flag 0).
inline IOP_TaggedProfile bigEndianProfile(const IOP_TaggedProfile& profile) {
    IIOP_ProfileBody body;
    OBDecodeIIOPProfile(profile, body);
    BigEndianWriter w;
    w.octet(0);
    w.octet(body.iiop_version.major);
    w.octet(body.iiop_version.minor);
    w.string(body.host.in());
    w.ushort(body.port);
    w.sequence(body.object_key);
    IOP_TaggedProfile twin;
    twin.tag = profile.tag;
    twin.profile_data.length(static_cast<CORBA_ULong>(w.out.size()));
    std::memcpy(twin.profile_data.data(), w.out.data(), w.out.size());
    return twin;
}

// "IOR:" text of ior in big-endian order (flag 0), IIOP bodies included.
inline std::string bigEndianText(const IOP_IOR& ior) {
    BigEndianWriter w;
    w.octet(0);
    w.string(ior.type_id.in());
    w.ulong(ior.profiles.length());
    for (CORBA_ULong i = 0; i < ior.profiles.length(); ++i) {
        const IOP_TaggedProfile& p = ior.profiles[i];
        w.ulong(p.tag);
        w.sequence(p.tag == IOP_TAG_INTERNET_IOP ? bigEndianProfile(p).profile_data : p.profile_data);
    }
    static const char digits[] = "0123456789ABCDEF";
    std::string s = "IOR:";
    for (CORBA_Octet o : w.out) {
        s += digits[o >> 4];
        s += digits[o & 0xF];
    }
    return s;
}

#endif
