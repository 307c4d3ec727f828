// Object references as data: CDR of IORs and IIOP profile bodies, the
// "IOR:" and "iiop://" forms, stringifying and the diagnostic dump, with
// references written by omniORB as fixtures.
#include "IORFixtures.h"

#include <OB/Except.h>

#include <gtest/gtest.h>

#include <sstream>

namespace {

const char* const NilText = "IOR:01000000010000000000000000000000";
const char* const TypeId = "IDL:stava.org/StavaController:1.0";
// The object keys as catior prints them ("\xfe\x0c\x81\x18k\x00\x00@\x9d...").
const std::string Key12("\xfe\x0c\x81\x18k\x00\x00@\x9d\x00\x00\x00\x00\x00", 14);
const std::string Key10("\xfe\x0c\x81\x18k\x00\x00@\x9f\x00\x00\x00\x00\x00", 14);

template <class E> void expectRaise(const char* text) {
    IOP_IOR ior;
    try {
        OBParseIOR(text, ior);
        ADD_FAILURE() << "accepted: " << text;
    } catch (const E& e) {
        EXPECT_EQ(e.minor(), 0u) << text;
        EXPECT_EQ(e.completed(), CORBA_COMPLETED_NO) << text;
    }
}

void expectInvObjref(const char* text) { expectRaise<CORBA_INV_OBJREF>(text); }
void expectMarshal(const char* text) { expectRaise<CORBA_MARSHAL>(text); }

IIOP_ProfileBody body(const IOP_IOR& ior, CORBA_ULong index) {
    IIOP_ProfileBody result;
    OBDecodeIIOPProfile(ior.profiles[index], result);
    return result;
}

std::string stringify(const IOP_IOR& ior) {
    CORBA_String_var s(OBIORToString(ior));
    return s.in();
}

std::string dump(const std::string& text) {
    std::ostringstream out;
    OBPrintIOR(text.c_str(), out);
    return out.str();
}

}  // namespace

// --- nil reference ----------------------------------------------------------

TEST(NilIOR, StringifiesToTheFixedTextAndParsesBackToNil) {
    IOP_IOR nil;
    nil.type_id = "";
    EXPECT_TRUE(OBIsNilIOR(nil));
    EXPECT_EQ(stringify(nil), NilText);
    IOP_IOR back = parseText(NilText);
    EXPECT_TRUE(OBIsNilIOR(back));
    EXPECT_STREQ(back.type_id.in(), "");
}

TEST(NilIOR, TypeIdOrProfileMakesItNonNil) {
    EXPECT_FALSE(OBIsNilIOR(makeIOR("IDL:X:1.0", {})));
    EXPECT_FALSE(OBIsNilIOR(makeIOR("", {otherProfile(5, "")})));
}

// --- prefixes and lengths -------------------------------------------------------

TEST(ParsePrefix, OnlyExactPrefixesAreAccepted) {
    expectInvObjref("ior:01000000010000000000000000000000");
    expectInvObjref("Ior:01000000010000000000000000000000");
    expectInvObjref("Iiop://host:1/key");
    expectInvObjref("iIOP://host:1/key");
    expectInvObjref("iiop:/host:1/key");
    expectInvObjref("corbaloc::host:1/key");
    expectInvObjref("");
    expectInvObjref(" IOR:01000000010000000000000000000000");
}

TEST(ParseHex, OddLengthCountsEveryCharacter) {
    expectInvObjref("IOR:0100000001000000000000000000000");     // 31 digits
    expectInvObjref("IOR:01000000010000000000000000000000\n");  // 32 digits and a line feed
    expectInvObjref("IOR:0");
    EXPECT_TRUE(OBIsNilIOR(parseText(NilText)));
}

TEST(ParseHex, NonHexPairIsRejected) {
    expectInvObjref("IOR:0100000001000000000000000000000g");
    expectInvObjref("IOR:0100000001000000000000000000000\n");  // even length, last pair "0\n"
    expectInvObjref("IOR:01 00000001000000000000000000000");
}

TEST(ParseHex, UpperAndLowerCaseDigitsGiveTheSameIOR) {
    const std::string lower = readFixture("omniorb-iiop12.ior");
    std::string upper = lower;
    for (std::size_t i = 4; i < upper.size(); ++i)
        upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(upper[i])));
    EXPECT_TRUE(sameIOR(parseText(lower), parseText(upper)));
}

TEST(ParseHex, BadDataInsideRaisesMarshal) {
    expectMarshal("IOR:");                                // no byte-order octet
    expectMarshal("IOR:01");                              // no type_id
    expectMarshal("IOR:0100000001000000");                // type_id without its NUL, no count
    expectMarshal("IOR:010000000500000041420000000000");  // type_id length beyond the data
    expectMarshal("IOR:01000000000000000000000000000000"); // type_id length 0
    expectMarshal("IOR:010000000200000041420000");        // type_id not ending in NUL
    expectMarshal("IOR:0100000001000000000000000100000000000000");  // one profile announced, none there
    expectMarshal("IOR:01000000010000000000000000ffffff");  // profile count far beyond the data
    // One profile whose octet sequence claims 16 octets of which 2 are present.
    expectMarshal("IOR:010000000100000000000000010000000000000010000000aabb");
}

// --- URL form --------------------------------------------------------------------

TEST(ParseURL, BuildsOneIIOP10ProfileWithNulTerminatedKey) {
    for (const char* url : {"iiop://example.host:2809/abc", "IIOP://example.host:2809/abc"}) {
        IOP_IOR ior = parseText(url);
        EXPECT_STREQ(ior.type_id.in(), "");
        ASSERT_EQ(ior.profiles.length(), 1u);
        EXPECT_EQ(ior.profiles[0].tag, IOP_TAG_INTERNET_IOP);
        EXPECT_EQ(ior.profiles[0].profile_data[0], OBNativeByteOrder());
        IIOP_ProfileBody b = body(ior, 0);
        EXPECT_EQ(b.iiop_version.major, 1);
        EXPECT_EQ(b.iiop_version.minor, 0);
        EXPECT_STREQ(b.host.in(), "example.host");
        EXPECT_EQ(b.port, 2809);
        EXPECT_EQ(text(b.object_key), std::string("abc\0", 4));
    }
}

TEST(ParseURL, PortIsReadAsAtoiAndKeptIn16Bits) {
    EXPECT_EQ(body(parseText("iiop://h:70000/k"), 0).port, 4464);
    EXPECT_EQ(body(parseText("iiop://h:x80/k"), 0).port, 0);
    EXPECT_EQ(body(parseText("iiop://h:/k"), 0).port, 0);
    EXPECT_EQ(body(parseText("iiop://h: +42abc/k"), 0).port, 42);
    EXPECT_EQ(body(parseText("iiop://h:-1/k"), 0).port, 65535);
    EXPECT_EQ(body(parseText("iiop://h:65535/k"), 0).port, 65535);
}

TEST(ParseURL, KeyRunsToTheFirstLineFeedAndKeepsSlashes) {
    IIOP_ProfileBody b = body(parseText("iiop://h:1/a/b//c\nrest/x"), 0);
    EXPECT_EQ(text(b.object_key), std::string("a/b//c\0", 7));
    b = body(parseText("iiop://h:1/key\n"), 0);
    EXPECT_EQ(text(b.object_key), std::string("key\0", 4));
}

TEST(ParseURL, LeadingColonsBeforeTheHostAreSkipped) {
    IIOP_ProfileBody b = body(parseText("iiop://::10.0.0.1:99/k"), 0);
    EXPECT_STREQ(b.host.in(), "10.0.0.1");
    EXPECT_EQ(b.port, 99);
}

TEST(ParseURL, MissingPartsAreRejected) {
    expectInvObjref("iiop://");
    expectInvObjref("iiop://:::");
    expectInvObjref("iiop://hostonly");
    expectInvObjref("iiop://host/key");      // no ":" between host and port
    expectInvObjref("iiop://host:80");       // no "/" after the port
    expectInvObjref("iiop://host:80/");      // empty key
    expectInvObjref("iiop://host:80/\nkey"); // key empty up to the line feed
}

TEST(ParseURL, StringifiedURLReferenceParsesToTheSameIOR) {
    IOP_IOR ior = parseText("iiop://127.0.0.1:5000/my/key");
    EXPECT_TRUE(sameIOR(parseText(stringify(ior)), ior));
}

// --- omniORB references ------------------------------------------------------------

TEST(OmniORBReference, IIOP12ProfileWithComponentsDecodesItsIIOP10Fields) {
    IOP_IOR ior = parseText(readFixture("omniorb-iiop12.ior"));
    EXPECT_STREQ(ior.type_id.in(), TypeId);
    ASSERT_EQ(ior.profiles.length(), 1u);
    IIOP_ProfileBody b = body(ior, 0);
    EXPECT_EQ(b.iiop_version.major, 1);
    EXPECT_EQ(b.iiop_version.minor, 2);
    EXPECT_STREQ(b.host.in(), "127.0.0.1");
    EXPECT_EQ(b.port, 20001);
    EXPECT_EQ(text(b.object_key), Key12);
}

TEST(OmniORBReference, IIOP10Profile) {
    IOP_IOR ior = parseText(readFixture("omniorb-iiop10.ior"));
    EXPECT_STREQ(ior.type_id.in(), TypeId);
    ASSERT_EQ(ior.profiles.length(), 1u);
    IIOP_ProfileBody b = body(ior, 0);
    EXPECT_EQ(b.iiop_version.minor, 0);
    EXPECT_STREQ(b.host.in(), "127.0.0.1");
    EXPECT_EQ(b.port, 20002);
    EXPECT_EQ(text(b.object_key), Key10);
}

TEST(OmniORBReference, SeveralProfilesKeepOrderAndUnknownTags) {
    IOP_IOR ior = parseText(readFixture("several-profiles.ior"));
    ASSERT_EQ(ior.profiles.length(), 3u);
    EXPECT_EQ(ior.profiles[0].tag, 1u);
    EXPECT_EQ(text(ior.profiles[0].profile_data), std::string("\x01\0\0\0\0\0\0\0", 8));
    EXPECT_EQ(body(ior, 1).port, 20002);
    EXPECT_EQ(body(ior, 1).iiop_version.minor, 0);
    EXPECT_EQ(body(ior, 2).port, 20001);
    EXPECT_EQ(body(ior, 2).iiop_version.minor, 2);
}

TEST(OmniORBReference, StringifyingReproducesTheTextExactly) {
    // omniORB also writes little-endian, zero padding and lower-case digits.
    for (const char* name : {"omniorb-iiop12.ior", "omniorb-iiop10.ior", "omniorb-alternate.ior",
                             "several-profiles.ior"}) {
        const std::string original = readFixture(name);
        EXPECT_EQ(stringify(parseText(original)), original) << name;
    }
}

TEST(OmniORBReference, BigEndianTwinParsesToTheSameReference) {
    const IOP_IOR little = parseText(readFixture("omniorb-iiop10.ior"));
    const IOP_IOR big = parseText(readFixture("omniorb-iiop10-bigendian.ior"));
    EXPECT_STREQ(big.type_id.in(), TypeId);
    ASSERT_EQ(big.profiles.length(), 1u);
    EXPECT_EQ(big.profiles[0].profile_data[0], 0);
    const IIOP_ProfileBody b = body(big, 0);
    EXPECT_STREQ(b.host.in(), "127.0.0.1");
    EXPECT_EQ(b.port, 20002);
    EXPECT_EQ(text(b.object_key), Key10);
    EXPECT_EQ(bigEndianText(little), readFixture("omniorb-iiop10-bigendian.ior"));
}

TEST(OmniORBReference, BigEndianTwinsOfEveryFixtureMatchTheirOriginals) {
    for (const char* name : {"omniorb-iiop12.ior", "omniorb-alternate.ior", "several-profiles.ior"}) {
        const IOP_IOR little = parseText(readFixture(name));
        const IOP_IOR big = parseText(bigEndianText(little));
        ASSERT_EQ(big.profiles.length(), little.profiles.length()) << name;
        EXPECT_STREQ(big.type_id.in(), little.type_id.in());
        for (CORBA_ULong i = 0; i < little.profiles.length(); ++i) {
            ASSERT_EQ(big.profiles[i].tag, little.profiles[i].tag);
            if (little.profiles[i].tag != IOP_TAG_INTERNET_IOP)
                continue;
            const IIOP_ProfileBody l = body(little, i), b = body(big, i);
            EXPECT_EQ(b.iiop_version.minor, l.iiop_version.minor);
            EXPECT_STREQ(b.host.in(), l.host.in());
            EXPECT_EQ(b.port, l.port);
            EXPECT_EQ(text(b.object_key), text(l.object_key));
        }
    }
}

// --- IIOP profile body ---------------------------------------------------------------

TEST(IIOPProfile, EncodeDecodeRoundTrip) {
    const std::string key("\0\x01\xff", 3);
    IOP_TaggedProfile p = iiopProfile("some.host", 65535, key, 1);
    EXPECT_EQ(p.tag, IOP_TAG_INTERNET_IOP);
    IIOP_ProfileBody b;
    OBDecodeIIOPProfile(p, b);
    EXPECT_EQ(b.iiop_version.minor, 1);
    EXPECT_STREQ(b.host.in(), "some.host");
    EXPECT_EQ(b.port, 65535);
    EXPECT_EQ(text(b.object_key), key);
}

TEST(IIOPProfile, BadBodiesRaiseMarshal) {
    IIOP_ProfileBody b;
    for (const std::string& data :
         {std::string(), std::string("\x01\x01\x00", 3), std::string("\x01\x01\x00\x00\x09\x00\x00\x00h", 9),
          // a whole host and no port
          std::string("\x01\x01\x00\x00\x02\x00\x00\x00h\0", 10),
          // key length beyond the end
          std::string("\x01\x01\x00\x00\x02\x00\x00\x00h\0\x01\x00\xff\x00\x00\x00", 16)}) {
        IOP_TaggedProfile p = otherProfile(IOP_TAG_INTERNET_IOP, data);
        EXPECT_THROW(OBDecodeIIOPProfile(p, b), CORBA_MARSHAL) << data.size();
    }
}

// --- dump ---------------------------------------------------------------------------

TEST(PrintIOR, NilReferenceHasNoIIOPProfile) {
    EXPECT_EQ(dump(NilText), "byteorder: little endian\ntype_id: \n(no IIOP tag found)\n");
    // No odd-length test: the last digit is ignored.
    EXPECT_EQ(dump(std::string(NilText) + "0"), dump(NilText));
}

TEST(PrintIOR, OmniORBReferenceMatchesCatior) {
    // catior: IIOP 1.0 127.0.0.1 20002 "\xfe\x0c\x81\x18k\x00\x00@\x9f\x00\x00\x00\x00\x00"
    const std::string expected =
        "byteorder: little endian\n"
        "type_id: IDL:stava.org/StavaController:1.0\n"
        "IIOP profile #1:\n"
        "iiop_version: 1.0\n"
        "host: 127.0.0.1\n"
        "port: 20002\n"
        "object_key:\n"
        "254  12 129  24 107   0   0  64 \"....k..@\"\n"
        "159   0   0   0   0   0         \"......\"\n";
    EXPECT_EQ(dump(readFixture("omniorb-iiop10.ior")), expected);
    std::string big = expected;
    big.replace(big.find("little"), 6, "big");
    EXPECT_EQ(dump(readFixture("omniorb-iiop10-bigendian.ior")), big);
}

TEST(PrintIOR, ProfilesAreNumberedAmongIIOPProfilesOnly) {
    const std::string out = dump(readFixture("several-profiles.ior"));
    EXPECT_NE(out.find("IIOP profile #1:\niiop_version: 1.0\nhost: 127.0.0.1\nport: 20002\n"), std::string::npos);
    EXPECT_NE(out.find("IIOP profile #2:\niiop_version: 1.2\nhost: 127.0.0.1\nport: 20001\n"), std::string::npos);
    EXPECT_EQ(out.find("#3"), std::string::npos);
    EXPECT_EQ(out.find("no IIOP tag"), std::string::npos);
}

TEST(PrintIOR, KeyRowsPadShortRowsAndShowUnprintablesAsDots) {
    IOP_IOR ior = makeIOR("IDL:K:1.0", {otherProfile(7, "x"), iiopProfile("h", 1, "ABCDEFGH\tz~")});
    const std::string expected =
        "byteorder: little endian\n"
        "type_id: IDL:K:1.0\n"
        "IIOP profile #1:\n"
        "iiop_version: 1.0\n"
        "host: h\n"
        "port: 1\n"
        "object_key:\n"
        " 65  66  67  68  69  70  71  72 \"ABCDEFGH\"\n"
        "  9 122 126                     \".z~\"\n";
    EXPECT_EQ(dump(stringify(ior)), expected);
}

TEST(PrintIOR, EmptyKeyPrintsNoRowsAndOnlyOtherTagsPrintNoProfile) {
    EXPECT_EQ(dump(stringify(makeIOR("T", {iiopProfile("h", 2, "")}))),
              "byteorder: little endian\ntype_id: T\nIIOP profile #1:\niiop_version: 1.0\n"
              "host: h\nport: 2\nobject_key:\n");
    EXPECT_EQ(dump(stringify(makeIOR("T", {otherProfile(1, "abc")}))),
              "byteorder: little endian\ntype_id: T\n(no IIOP tag found)\n");
}

TEST(PrintIOR, RejectsOtherTextAndBadData) {
    std::ostringstream out;
    EXPECT_THROW(OBPrintIOR("iiop://h:1/k", out), CORBA_INV_OBJREF);
    EXPECT_THROW(OBPrintIOR("ior:01000000010000000000000000000000", out), CORBA_INV_OBJREF);
    EXPECT_THROW(OBPrintIOR("IOR:0100000001000000000000000000000g", out), CORBA_INV_OBJREF);
    EXPECT_THROW(OBPrintIOR("IOR:0100000005000000", out), CORBA_MARSHAL);
    // A bad IIOP body inside is found before anything is written.
    EXPECT_THROW(OBPrintIOR(stringify(makeIOR("T", {otherProfile(0, "\x01")})).c_str(), out), CORBA_MARSHAL);
    EXPECT_EQ(out.str(), "");
}

// --- CDR inside messages ---------------------------------------------------------------

TEST(IORCDR, ReadsBackWhatWasWrittenFromAnyOffset) {
    const IOP_IOR ior = parseText(readFixture("several-profiles.ior"));
    for (CORBA_ULong start = 0; start < 8; ++start) {
        CORBA_ULong count = start;
        OBCount(ior, count);
        OBBuffer buf(count);
        CORBA_Octet* cursor = buf.data + start;
        OBWrite(ior, cursor);
        ASSERT_EQ(cursor, buf.data + count);
        OBInCursor in = OBMakeInCursor(buf, start);
        IOP_IOR back;
        OBRead(back, in, false);
        EXPECT_TRUE(sameIOR(back, ior)) << start;
        EXPECT_EQ(in.cur, in.end);
    }
}
