// Any: insertion and extraction, copies, CDR of every representation, values
// written by omniORB, and hostile input.
#include <OB/Any.h>
#include <OB/ORB.h>

#include "OmniTypeCodes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

// A static type for OBInfo: struct Node2 { long value; sequence<Node2> children; }.
struct Node2 {
    CORBA_Long value = 0;
    std::vector<Node2> children;
};
void OBCount(const Node2& n, CORBA_ULong& count) {
    OBCount(n.value, count);
    OBCount(static_cast<CORBA_ULong>(n.children.size()), count);
    for (const Node2& c : n.children)
        OBCount(c, count);
}
void OBWrite(const Node2& n, CORBA_Octet*& cursor) {
    OBWrite(n.value, cursor);
    OBWrite(static_cast<CORBA_ULong>(n.children.size()), cursor);
    for (const Node2& c : n.children)
        OBWrite(c, cursor);
}
void OBRead(Node2& n, OBInCursor& in, bool swap) {
    OBRead(n.value, in, swap);
    CORBA_ULong len;
    OBRead(len, in, swap);
    OBCheckRoom(in, len, 8);
    n.children.resize(len);
    for (Node2& c : n.children)
        OBRead(c, in, swap);
}

namespace {

std::unique_ptr<OBBuffer> encode(const CORBA_Any& any) {
    CORBA_ULong n = 0;
    OBCount(any, n);
    std::unique_ptr<OBBuffer> b(new OBBuffer(n));
    CORBA_Octet* cursor = b->data;
    OBWrite(any, cursor);
    EXPECT_EQ(cursor, b->data + n);
    return b;
}

void decode(const OBBuffer& b, bool swap, CORBA_Any& any) {
    OBInCursor in = OBMakeInCursor(b);
    OBRead(any, in, swap);
    EXPECT_EQ(in.cur, in.end);
}

void decodeHex(const char* hex, bool swap, CORBA_Any& any) {
    OBBuffer b;
    ASSERT_TRUE(OBHexDecode(hex, b));
    decode(b, swap, any);
}

// The Any after a write and a read.
void roundTrip(const CORBA_Any& in, CORBA_Any& out) {
    decode(*encode(in), false, out);
}

CORBA_TypeCode* node2Type() {
    CORBA_StructMemberSeq m;
    m.length(2);
    m[0].name = "value";
    m[0].type = OBDuplicate<CORBA_TypeCode>(CORBA__tc_long);
    m[1].name = "children";
    m[1].type = CORBA_ORB::create_recursive_sequence_tc(0, 1);
    return CORBA_ORB::create_struct_tc("IDL:T/Node2:1.0", "Node2", m);
}

// --- basic values ----------------------------------------------------------------

TEST(AnyBasic, EmptyAnyHoldsNull) {
    CORBA_Any a;
    EXPECT_EQ(CORBA_TypeCode_var(a.type()).in(), static_cast<CORBA_TypeCode*>(CORBA__tc_null));
    EXPECT_EQ(a.value(), nullptr);
    CORBA_Any back;
    roundTrip(a, back);
    EXPECT_EQ(back._OB_type(), static_cast<CORBA_TypeCode*>(CORBA__tc_null));
}

TEST(AnyBasic, EveryBasicTypeRoundTripsAndWrongTypesAreRefused) {
    CORBA_Any s, us, l, ul, f, d, b, o, c;
    s <<= CORBA_Short(-7);
    us <<= CORBA_UShort(65535);
    l <<= CORBA_Long(-100000);
    ul <<= CORBA_ULong(4000000000u);
    f <<= CORBA_Float(1.5f);
    d <<= CORBA_Double(-2.25);
    b <<= CORBA_Any::from_boolean(true);
    o <<= CORBA_Any::from_octet(0xAB);
    c <<= CORBA_Any::from_char('z');
    for (CORBA_Any* a : {&s, &us, &l, &ul, &f, &d, &b, &o, &c}) {
        CORBA_Any back;
        roundTrip(*a, back);
        EXPECT_TRUE(back._OB_type()->equal(a->_OB_type()));
        *a = back;  // the checks below use what came back
    }
    CORBA_Short sv = 0;
    CORBA_UShort usv = 0;
    CORBA_Long lv = 0;
    CORBA_ULong ulv = 0;
    CORBA_Float fv = 0;
    CORBA_Double dv = 0;
    CORBA_Boolean bv = 0;
    CORBA_Octet ov = 0;
    CORBA_Char cv = 0;
    EXPECT_TRUE(s >>= sv);
    EXPECT_EQ(sv, -7);
    EXPECT_TRUE(us >>= usv);
    EXPECT_EQ(usv, 65535);
    EXPECT_TRUE(l >>= lv);
    EXPECT_EQ(lv, -100000);
    EXPECT_TRUE(ul >>= ulv);
    EXPECT_EQ(ulv, 4000000000u);
    EXPECT_TRUE(f >>= fv);
    EXPECT_EQ(fv, 1.5f);
    EXPECT_TRUE(d >>= dv);
    EXPECT_EQ(dv, -2.25);
    EXPECT_TRUE(b >>= CORBA_Any::to_boolean(bv));
    EXPECT_EQ(bv, 1);
    EXPECT_TRUE(o >>= CORBA_Any::to_octet(ov));
    EXPECT_EQ(ov, 0xAB);
    EXPECT_TRUE(c >>= CORBA_Any::to_char(cv));
    EXPECT_EQ(cv, 'z');

    // A short asked for as a long, and other mismatches, leave the target untouched.
    lv = 42;
    EXPECT_FALSE(s >>= lv);
    EXPECT_EQ(lv, 42);
    EXPECT_FALSE(us >>= sv);
    EXPECT_FALSE(ul >>= lv);
    EXPECT_FALSE(d >>= fv);
    EXPECT_FALSE(o >>= CORBA_Any::to_boolean(bv));
    EXPECT_FALSE(b >>= CORBA_Any::to_octet(ov));
    EXPECT_FALSE(o >>= CORBA_Any::to_char(cv));
    EXPECT_EQ(sv, -7);
}

TEST(AnyBasic, BigEndianValuesAreSwapped) {
    // kind long (3), then -2 big-endian.
    const CORBA_Octet octets[] = {0, 0, 0, 3, 0xFF, 0xFF, 0xFF, 0xFE};
    OBBuffer b(sizeof octets);
    std::memcpy(b.data, octets, sizeof octets);
    CORBA_Any a;
    decode(b, true, a);
    CORBA_Long v = 0;
    EXPECT_TRUE(a >>= v);
    EXPECT_EQ(v, -2);
}

TEST(AnyBasic, StringsCopiedAdoptedAndBounded) {
    CORBA_Any a;
    char text[] = "hello";
    a <<= static_cast<const char*>(text);
    text[0] = 'j';
    const char* out = nullptr;
    EXPECT_TRUE(a >>= out);
    EXPECT_STREQ(out, "hello");

    CORBA_Any adopted;
    char* s = CORBA_string_dup("mine");
    adopted <<= CORBA_Any::from_string(s, 0, true);
    EXPECT_TRUE(adopted >>= out);
    EXPECT_EQ(out, s);

    CORBA_Any bounded;
    bounded <<= CORBA_Any::from_string("abc", 5);
    EXPECT_FALSE(bounded >>= out);
    EXPECT_FALSE(bounded >>= CORBA_Any::to_string(out, 4));
    EXPECT_TRUE(bounded >>= CORBA_Any::to_string(out, 5));
    EXPECT_STREQ(out, "abc");
    CORBA_Any back;
    roundTrip(bounded, back);
    EXPECT_TRUE(back >>= CORBA_Any::to_string(out, 5));
    EXPECT_STREQ(out, "abc");
}

TEST(AnyBasic, TypeCodesAnysAndObjects) {
    CORBA_Any t;
    t <<= static_cast<CORBA_TypeCode*>(CORBA__tc_long);
    t <<= static_cast<CORBA_TypeCode*>(CORBA__tc_long);  // the same TypeCode again is a new reference
    CORBA_TypeCode_var node(node2Type());
    t <<= node.in();
    CORBA_Any tBack;
    roundTrip(t, tBack);
    CORBA_TypeCode* tc = nullptr;
    EXPECT_TRUE(tBack >>= tc);
    EXPECT_TRUE(tc->equal(node));

    CORBA_Any inner;
    inner <<= CORBA_Short(-2);
    CORBA_Any outer;
    outer <<= inner;
    CORBA_Any oBack;
    roundTrip(outer, oBack);
    const CORBA_Any* got = nullptr;
    ASSERT_TRUE(oBack >>= got);
    CORBA_Short v = 0;
    EXPECT_TRUE(*got >>= v);
    EXPECT_EQ(v, -2);
    EXPECT_FALSE(oBack >>= v);

    CORBA_Any obj;
    obj <<= static_cast<CORBA_Object*>(nullptr);
    CORBA_Any objBack;
    roundTrip(obj, objBack);
    CORBA_Object* o = reinterpret_cast<CORBA_Object*>(1);
    EXPECT_TRUE(objBack >>= o);
    EXPECT_EQ(o, nullptr);
    o = reinterpret_cast<CORBA_Object*>(1);
    EXPECT_TRUE(objBack >>= CORBA_Any::to_object(o));
    EXPECT_EQ(o, nullptr);
    EXPECT_FALSE(outer >>= o);
}

TEST(AnyBasic, PrincipalIsHeldAsOneCountedObject) {
    // kind tk_Principal, then the principal's octets as a sequence
    const char* const hex = "0d00000003000000617a05";
    CORBA_Any any;
    decodeHex(hex, false, any);
    const CORBA_Principal* read = static_cast<const CORBA_Principal*>(any.value());
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(read->octets.length(), 3u);
    EXPECT_EQ(std::memcmp(read->octets.data(), "az\x05", 3), 0);
    EXPECT_EQ(read->_OB_getRef(), 1);
    {
        CORBA_Any copy(any);
        EXPECT_EQ(copy.value(), any.value());  // shared, not copied
        EXPECT_EQ(read->_OB_getRef(), 2);

        OBBuffer expected;
        ASSERT_TRUE(OBHexDecode(hex, expected));
        const std::unique_ptr<OBBuffer> written = encode(copy);
        ASSERT_EQ(written->len, expected.len);
        EXPECT_EQ(std::memcmp(written->data, expected.data, expected.len), 0);
    }
    EXPECT_EQ(read->_OB_getRef(), 1);

    // Given to an Any as a new reference, even to the Any that holds it.
    CORBA_Principal* held = const_cast<CORBA_Principal*>(read);
    any.replace(CORBA__tc_Principal, OBDuplicate(held), true);
    EXPECT_EQ(any.value(), held);
    EXPECT_EQ(held->_OB_getRef(), 1);

    CORBA_Any made(CORBA__tc_Principal, new CORBA_Principal, true);
    CORBA_Any back;
    roundTrip(made, back);
    const CORBA_Principal* empty = static_cast<const CORBA_Principal*>(back.value());
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->octets.length(), 0u);
}

TEST(AnyBasic, CopiesAreIndependent) {
    CORBA_Any a;
    a <<= "first";
    CORBA_Any b(a);
    CORBA_Any c;
    c = a;
    a <<= CORBA_Long(5);
    const char* s = nullptr;
    EXPECT_TRUE(b >>= s);
    EXPECT_STREQ(s, "first");
    EXPECT_TRUE(c >>= s);
    EXPECT_STREQ(s, "first");
    c = c;
    EXPECT_TRUE(c >>= s);
}

TEST(AnyDeathTest, ReplacingByItsOwnValueIsReported) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    CORBA_Any a;
    a <<= CORBA_Long(1);
    void* own = const_cast<void*>(a.value());
    EXPECT_DEATH(a.replace(CORBA__tc_long, own, true),
                 "Replacement of Any content by its own value caused a dangling pointer");
}

// --- system exceptions ---------------------------------------------------------------

TEST(AnySystemException, WrittenAsTypeCodeThenMarshalledForm) {
    CORBA_Any a;
    a <<= CORBA_NO_MEMORY(7, CORBA_COMPLETED_MAYBE);
    std::unique_ptr<OBBuffer> b = encode(a);
    // The TypeCode, then the repository ID, minor and completion status.
    CORBA_ULong tcSize = 0;
    OBCount(static_cast<CORBA_TypeCode*>(CORBA__tc_NO_MEMORY), tcSize);
    CORBA_ULong n = tcSize;
    OBCount(CORBA_NO_MEMORY(0, CORBA_COMPLETED_NO), n);
    ASSERT_EQ(b->len, n);
    OBInCursor in = OBMakeInCursor(*b, tcSize);
    std::unique_ptr<CORBA_SystemException> e = OBReadSystemException(in, false);
    ASSERT_NE(CORBA_NO_MEMORY::_narrow(e.get()), nullptr);
    EXPECT_EQ(e->minor(), 7u);
    EXPECT_EQ(e->completed(), CORBA_COMPLETED_MAYBE);

    CORBA_Any back;
    decode(*b, false, back);
    const CORBA_NO_MEMORY* got = nullptr;
    ASSERT_TRUE(back >>= got);
    EXPECT_EQ(got->minor(), 7u);
    const CORBA_BAD_PARAM* wrong = nullptr;
    EXPECT_FALSE(back >>= wrong);
    EXPECT_EQ(wrong, nullptr);

    CORBA_Any adopted;
    adopted <<= new CORBA_TRANSIENT(3, CORBA_COMPLETED_YES);
    CORBA_Any copy(adopted);
    const CORBA_TRANSIENT* t = nullptr;
    ASSERT_TRUE(copy >>= t);
    EXPECT_EQ(t->minor(), 3u);
}

TEST(AnySystemException, ValueNotMatchingItsTypeCodeIsRejected) {
    CORBA_Any a;
    a <<= CORBA_NO_MEMORY(7, CORBA_COMPLETED_MAYBE);
    std::unique_ptr<OBBuffer> good = encode(a);
    // The same value behind the BAD_PARAM TypeCode.
    CORBA_ULong tcSize = 0;
    OBCount(static_cast<CORBA_TypeCode*>(CORBA__tc_BAD_PARAM), tcSize);
    CORBA_ULong noMemSize = 0;
    OBCount(static_cast<CORBA_TypeCode*>(CORBA__tc_NO_MEMORY), noMemSize);
    OBBuffer mixed(tcSize + good->len - noMemSize);
    CORBA_Octet* cursor = mixed.data;
    OBWrite(static_cast<CORBA_TypeCode*>(CORBA__tc_BAD_PARAM), cursor);
    std::memcpy(cursor, good->data + noMemSize, good->len - noMemSize);
    CORBA_Any back;
    OBInCursor in = OBMakeInCursor(mixed);
    EXPECT_THROW(OBRead(back, in, false), CORBA_MARSHAL);
}

// --- constructed values -------------------------------------------------------------------

TEST(AnyConstructed, StaticValueThroughOBInfoAndCDRForm) {
    CORBA_TypeCode_var tc(node2Type());
    Node2 n;
    n.value = 1;
    n.children.resize(2);
    n.children[1].value = 3;
    n.children[1].children.resize(1);
    n.children[1].children[0].value = 4;
    CORBA_Any a;
    OBInsert(a, tc, n);
    const Node2* got = nullptr;
    ASSERT_TRUE(OBExtract(a, tc, got));
    EXPECT_EQ(got->children[1].children[0].value, 4);

    CORBA_Any back;  // read: held as CDR until a typed extraction converts it
    roundTrip(a, back);
    EXPECT_EQ(back.info(), nullptr);
    CORBA_Any again;  // the CDR form is written through the TypeCode
    roundTrip(back, again);
    ASSERT_TRUE(OBExtract(again, tc, got));
    EXPECT_EQ(back.info(), nullptr);
    EXPECT_EQ(again.info(), OBInfo<Node2>::instance());
    EXPECT_EQ(got->value, 1);
    ASSERT_EQ(got->children.size(), 2u);
    EXPECT_EQ(got->children[1].children[0].value, 4);
    CORBA_Long wrong = 0;
    EXPECT_FALSE(again >>= wrong);
    const Node2* none = nullptr;
    EXPECT_FALSE(OBExtract(again, CORBA__tc_long, none));
}

TEST(AnyConstructed, UnresolvedRecursiveSequenceValueIsRejected) {
    CORBA_TypeCode_var rec(CORBA_ORB::create_recursive_sequence_tc(0, 1));
    const CORBA_ULong words[] = {1, 0};
    OBBuffer b(sizeof words);
    std::memcpy(b.data, words, sizeof words);
    OBInCursor in = OBMakeInCursor(b);
    CORBA_ULong n = 0;
    EXPECT_THROW(OBCountValue(rec, in, false, n), CORBA_BAD_TYPECODE);
}

// --- omniORB ---------------------------------------------------------------------------------

TEST(AnyOmniORB, ValuesWrittenByOmniORBInBothByteOrders) {
    CORBA_TypeCode_var tc(node2Type());
    for (const char* hex : {omni::AnyNode2, omni::AnyNode2BE}) {
        CORBA_Any a;
        decodeHex(hex, hex == omni::AnyNode2BE, a);
        const Node2* n = nullptr;
        ASSERT_TRUE(OBExtract(a, tc, n));
        EXPECT_EQ(n->value, 1);
        ASSERT_EQ(n->children.size(), 2u);
        EXPECT_EQ(n->children[0].value, 2);
        EXPECT_TRUE(n->children[0].children.empty());
        ASSERT_EQ(n->children[1].children.size(), 1u);
        EXPECT_EQ(n->children[1].children[0].value, 4);
    }

    // U holding its default member Inner{7, "hi"} under discriminator blue.
    CORBA_Any u;
    decodeHex(omni::AnyU, false, u);
    CORBA_ULong expectedSize = 0;
    OBCount(CORBA_ULong(2), expectedSize);
    OBCount(CORBA_Long(7), expectedSize);
    OBCount("hi", expectedSize);
    OBBuffer expected(expectedSize);
    CORBA_Octet* cursor = expected.data;
    OBWrite(CORBA_ULong(2), cursor);
    OBWrite(CORBA_Long(7), cursor);
    OBWrite("hi", cursor);
    const OBBuffer* held = static_cast<const OBBuffer*>(u.value());
    ASSERT_EQ(held->len, expected.len);
    EXPECT_EQ(std::memcmp(held->data, expected.data, expected.len), 0);

    // V with the double member (discriminator 3).
    CORBA_Any v;
    decodeHex(omni::AnyV, false, v);
    held = static_cast<const OBBuffer*>(v.value());
    ASSERT_EQ(held->len, 16u);
    CORBA_Short disc;
    CORBA_Double d;
    std::memcpy(&disc, held->data, 2);
    std::memcpy(&d, held->data + 8, 8);
    EXPECT_EQ(disc, 3);
    EXPECT_EQ(d, 2.5);

    CORBA_Any any;
    decodeHex(omni::AnyAny, false, any);
    const CORBA_Any* inner = nullptr;
    ASSERT_TRUE(any >>= inner);
    CORBA_Short s = 0;
    EXPECT_TRUE(*inner >>= s);
    EXPECT_EQ(s, -2);

    // omniORB writes an exception inside an Any without its repository ID
    // (minor and completion status only), while this ORB writes the ID first,
    // as in a reply body: the value does not parse and is refused cleanly.
    CORBA_Any e;
    OBBuffer noMemory;
    ASSERT_TRUE(OBHexDecode(omni::AnyNoMemory, noMemory));
    OBInCursor in = OBMakeInCursor(noMemory);
    EXPECT_THROW(OBRead(e, in, false), CORBA_MARSHAL);
    EXPECT_EQ(e._OB_type(), static_cast<CORBA_TypeCode*>(CORBA__tc_null));
}

// --- hostile input ---------------------------------------------------------------------------

TEST(AnyHostile, DeeplyNestedAnysAreLimited) {
    std::vector<CORBA_ULong> words(5000, CORBA_tk_any);
    words.push_back(CORBA_tk_long);
    words.push_back(1);
    OBBuffer b(static_cast<CORBA_ULong>(words.size() * 4));
    std::memcpy(b.data, words.data(), b.len);
    CORBA_Any a;
    OBInCursor in = OBMakeInCursor(b);
    EXPECT_THROW(OBRead(a, in, false), CORBA_MARSHAL);
    EXPECT_EQ(a._OB_type(), static_cast<CORBA_TypeCode*>(CORBA__tc_null));
}

TEST(AnyHostile, DeeplyNestedRecursiveValuesAreLimited) {
    // Node2 nested 1000 deep: value, one child, value, one child, ...
    std::vector<CORBA_ULong> words;
    for (int i = 0; i < 1000; ++i) {
        words.push_back(static_cast<CORBA_ULong>(i));
        words.push_back(1);
    }
    words.push_back(0);
    words.push_back(0);
    OBBuffer b(static_cast<CORBA_ULong>(words.size() * 4));
    std::memcpy(b.data, words.data(), b.len);
    CORBA_TypeCode_var tc(node2Type());
    OBInCursor in = OBMakeInCursor(b);
    CORBA_ULong n = 0;
    EXPECT_THROW(OBCountValue(tc, in, false, n), CORBA_MARSHAL);
}

TEST(AnyHostile, BadValuesRaiseMarshal) {
    // An enum index beyond the enumerators, and a sequence count beyond the data.
    CORBA_EnumMemberSeq names;
    names.length(2);
    names[0] = "a";
    names[1] = "b";
    CORBA_TypeCode_var e(CORBA_ORB::create_enum_tc("IDL:E:1.0", "E", names));
    const CORBA_ULong two = 2;
    OBBuffer b(4);
    std::memcpy(b.data, &two, 4);
    OBInCursor in = OBMakeInCursor(b);
    CORBA_ULong n = 0;
    EXPECT_THROW(OBCountValue(e, in, false, n), CORBA_MARSHAL);

    CORBA_TypeCode_var seq(CORBA_ORB::create_sequence_tc(0, CORBA__tc_string));
    const CORBA_ULong huge = 0x40000000;
    std::memcpy(b.data, &huge, 4);
    in = OBMakeInCursor(b);
    EXPECT_THROW(OBCountValue(seq, in, false, n), CORBA_MARSHAL);
}

TEST(AnyHostile, EmptyDoubleSequenceAtTheEndOfTheDataIsNotPadded) {
    // Found by fuzzing: an empty sequence<double> ending the data was made
    // to demand the alignment padding of elements that are not there.
    CORBA_TypeCode_var seq(CORBA_ORB::create_sequence_tc(0, CORBA__tc_double));
    const CORBA_ULong zero = 0;
    OBBuffer b(4);
    std::memcpy(b.data, &zero, 4);
    OBInCursor in = OBMakeInCursor(b);
    CORBA_ULong n = 0;
    OBCountValue(seq, in, false, n);
    EXPECT_EQ(in.end, in.cur);
    EXPECT_EQ(4u, n);
}

TEST(AnyHostile, EmptyDoubleSequenceTakesNoPaddingFromTheValueBehindIt) {
    // struct { sequence<double> s; octet o; } with s empty: the octet follows
    // the count at once (offset 4), as no padding stands in front of no
    // elements. Aligning for the absent doubles would eat the octet.
    CORBA_StructMemberSeq m;
    m.length(2);
    m[0].name = "s";
    m[0].type = CORBA_ORB::create_sequence_tc(0, CORBA__tc_double);
    m[1].name = "o";
    m[1].type = OBDuplicate<CORBA_TypeCode>(CORBA__tc_octet);
    CORBA_TypeCode_var tc(CORBA_ORB::create_struct_tc("IDL:T/S:1.0", "S", m));
    const CORBA_ULong zero = 0;
    OBBuffer b(5);
    std::memcpy(b.data, &zero, 4);
    b.data[4] = 0x5A;
    OBInCursor in = OBMakeInCursor(b);
    CORBA_ULong n = 0;
    OBCountValue(tc, in, false, n);
    EXPECT_EQ(in.cur, in.end);
    EXPECT_EQ(n, 5u);

    in = OBMakeInCursor(b);
    OBBuffer copy(5);
    std::memset(copy.data, 0xEE, 5);
    CORBA_Octet* cursor = copy.data;
    OBCopyValue(tc, in, false, cursor);
    EXPECT_EQ(in.cur, in.end);
    ASSERT_EQ(cursor, copy.data + 5);
    EXPECT_EQ(std::memcmp(copy.data, b.data, 5), 0);
}

TEST(AnyConstructed, CopiedValueHasZeroPaddingInAReusedBuffer) {
    // struct { octet o; double d; }: seven octets of padding in front of d.
    CORBA_StructMemberSeq m;
    m.length(2);
    m[0].name = "o";
    m[0].type = OBDuplicate<CORBA_TypeCode>(CORBA__tc_octet);
    m[1].name = "d";
    m[1].type = OBDuplicate<CORBA_TypeCode>(CORBA__tc_double);
    CORBA_TypeCode_var tc(CORBA_ORB::create_struct_tc("IDL:T/P:1.0", "P", m));
    OBBuffer b(16);
    std::memset(b.data, 0, 16);
    b.data[0] = 0x5A;
    const CORBA_Double d = -1.5;
    std::memcpy(b.data + 8, &d, 8);
    OBBuffer copy(16);
    std::memset(copy.data, 0xEE, 16);
    OBInCursor in = OBMakeInCursor(b);
    CORBA_Octet* cursor = copy.data;
    OBCopyValue(tc, in, false, cursor);
    ASSERT_EQ(cursor, copy.data + 16);
    EXPECT_EQ(std::memcmp(copy.data, b.data, 16), 0);
}

// --- UnknownUserException ----------------------------------------------------------------------

TEST(AnyUnknownUserException, HoldsACopyOfItsAny) {
    CORBA_Any a;
    a <<= CORBA_Long(9);
    CORBA_UnknownUserException e(a);
    a <<= CORBA_Short(1);
    std::unique_ptr<CORBA_Exception> clone(e._OB_clone());
    CORBA_UnknownUserException* u = CORBA_UnknownUserException::_narrow(clone.get());
    ASSERT_NE(u, nullptr);
    CORBA_Long v = 0;
    EXPECT_TRUE(u->exception() >>= v);
    EXPECT_EQ(v, 9);
    EXPECT_STREQ(u->_rep_id(), "IDL:omg.org/CORBA/UnknownUserException:1.0");
    EXPECT_NE(CORBA_UserException::_narrow(clone.get()), nullptr);
    CORBA_UnknownUserException empty;
    EXPECT_EQ(empty.exception()._OB_type(), static_cast<CORBA_TypeCode*>(CORBA__tc_null));
}

}  // namespace
