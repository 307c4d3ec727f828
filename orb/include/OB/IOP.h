// Interoperable object references: the IOR with its tagged profiles and the
// IIOP 1.0 profile body, their CDR form, and the two stringified forms
// ("IOR:" hexadecimal and the short "iiop://host:port/key" URL).
#ifndef OB_IOP_H
#define OB_IOP_H

#include <OB/TemplateI.h>

#include <iosfwd>

// Profile tag of IIOP (TAG_INTERNET_IOP); every other tag is carried along untouched.
const CORBA_ULong IOP_TAG_INTERNET_IOP = 0;

// One way to reach an object: for tag 0 an encapsulated IIOP profile body.
struct IOP_TaggedProfile {
    CORBA_ULong tag = 0;
    CORBA_OctetSeq profile_data;
};
typedef OBVarSeq<IOP_TaggedProfile> IOP_TaggedProfileSeq;

// Repository ID of the most derived interface (may be empty) and the profiles.
// type_id is never null once the IOR was read or built.
struct IOP_IOR {
    CORBA_String_var type_id;
    IOP_TaggedProfileSeq profiles;
};

struct IIOP_Version {
    CORBA_Octet major = 1;
    CORBA_Octet minor = 0;
};

// The IIOP 1.0 profile body. Bodies of later IIOP versions carry more fields
// behind object_key; they are read as far as this structure goes.
struct IIOP_ProfileBody {
    IIOP_Version iiop_version;
    CORBA_String_var host;
    CORBA_UShort port = 0;
    CORBA_OctetSeq object_key;
};

// CDR of one tagged profile: tag, then profile_data as an octet sequence.
void OBCount(const IOP_TaggedProfile& profile, CORBA_ULong& count);
void OBWrite(const IOP_TaggedProfile& profile, CORBA_Octet*& cursor);
void OBRead(IOP_TaggedProfile& profile, OBInCursor& in, bool swap);

// CDR of an IOR: type_id, profile count, then per profile tag and octet
// sequence. Reading raises CORBA_MARSHAL (minor 0, COMPLETED_NO) on bad data.
void OBCount(const IOP_IOR& ior, CORBA_ULong& count);
void OBWrite(const IOP_IOR& ior, CORBA_Octet*& cursor);
void OBRead(IOP_IOR& ior, OBInCursor& in, bool swap);

// True for the nil reference's IOR: empty type_id and no profiles.
bool OBIsNilIOR(const IOP_IOR& ior);

// Decodes the encapsulated IIOP body of a tag-0 profile. Bad data raises
// CORBA_MARSHAL (minor 0, COMPLETED_NO).
void OBDecodeIIOPProfile(const IOP_TaggedProfile& profile, IIOP_ProfileBody& body);

// The decoded bodies of all tag-0 profiles of ior, in order; other profiles
// are skipped. Bad data raises CORBA_MARSHAL as OBDecodeIIOPProfile does.
OBVarSeq<IIOP_ProfileBody> OBDecodeIIOPProfiles(const IOP_IOR& ior);

// Encodes body as the encapsulation of a new tag-0 profile (native order).
void OBEncodeIIOPProfile(const IIOP_ProfileBody& body, IOP_TaggedProfile& profile);

// Parses a stringified reference ("IOR:..." or "iiop://" / "IIOP://" URL)
// into ior. Malformed text raises CORBA_INV_OBJREF (minor 0, COMPLETED_NO);
// bad data inside a well-formed "IOR:" text raises CORBA_MARSHAL. A null text
// is reported as non-compliant use.
void OBParseIOR(const char* text, IOP_IOR& ior);

// "IOR:" and the lower-case hexadecimal of the encapsulated IOR (padding
// zeroed), as a guarded string the caller frees.
char* OBIORToString(const IOP_IOR& ior);

// Writes the diagnostic dump of a stringified "IOR:" reference to out.
// Text not beginning with "IOR:" raises CORBA_INV_OBJREF (minor 0, COMPLETED_NO).
void OBPrintIOR(const char* text, std::ostream& out);

#endif
