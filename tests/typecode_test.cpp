// TypeCodes: queries, comparison, CDR in both byte orders, recursion,
// constants, hostile input and TypeCodes written by omniORB.
#include <OB/Any.h>
#include <OB/ORB.h>
#include <OB/TypeCode.h>

#include "OmniTypeCodes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// --- helpers -------------------------------------------------------------------

std::unique_ptr<OBBuffer> encode(CORBA_TypeCode* tc) {
    CORBA_ULong n = 0;
    OBCount(tc, n);
    std::unique_ptr<OBBuffer> b(new OBBuffer(n));
    CORBA_Octet* cursor = b->data;
    OBWrite(tc, cursor);
    EXPECT_EQ(cursor, b->data + n);
    return b;
}

CORBA_TypeCode* decode(const OBBuffer& b, bool swap) {
    OBInCursor in = OBMakeInCursor(b);
    CORBA_TypeCode_var tc;
    OBRead(tc, in, swap);
    EXPECT_EQ(in.cur, in.end);
    return tc._retn();
}

std::unique_ptr<OBBuffer> fromHex(const char* hex) {
    std::unique_ptr<OBBuffer> b(new OBBuffer);
    EXPECT_TRUE(OBHexDecode(hex, *b));
    return b;
}

CORBA_TypeCode* decodeHex(const char* hex, bool swap) {
    return decode(*fromHex(hex), swap);
}

// Big-endian CDR written by hand, offsets counted from the first octet.
class BigEndian {
public:
    std::vector<CORBA_Octet> octets;
    void align(std::size_t n) {
        while (octets.size() % n)
            octets.push_back(0);
    }
    void ulong(CORBA_ULong v) {
        align(4);
        for (int shift = 24; shift >= 0; shift -= 8)
            octets.push_back(static_cast<CORBA_Octet>(v >> shift));
    }
    std::unique_ptr<OBBuffer> buffer() const {
        std::unique_ptr<OBBuffer> b(new OBBuffer(static_cast<CORBA_ULong>(octets.size())));
        std::memcpy(b->data, octets.data(), octets.size());
        return b;
    }
};

CORBA_StructMemberSeq members(std::initializer_list<std::pair<const char*, CORBA_TypeCode*>> list) {
    CORBA_StructMemberSeq seq;
    seq.length(static_cast<CORBA_ULong>(list.size()));
    CORBA_ULong i = 0;
    for (const auto& m : list) {
        seq[i].name = m.first;
        seq[i].type = OBDuplicate(m.second);
        ++i;
    }
    return seq;
}

CORBA_UnionMember unionMember(const char* name, const CORBA_Any& label, CORBA_TypeCode* type) {
    CORBA_UnionMember m;
    m.name = name;
    m.label = label;
    m.type = OBDuplicate(type);
    return m;
}

CORBA_Any octetLabel() {
    CORBA_Any a;
    a <<= CORBA_Any::from_octet(0);
    return a;
}

CORBA_Any enumLabel(CORBA_TypeCode* enumType, CORBA_ULong v) {
    return CORBA_Any(enumType, new CORBA_ULong(v), true);
}

CORBA_EnumMemberSeq names(std::initializer_list<const char*> list) {
    CORBA_EnumMemberSeq seq;
    seq.length(static_cast<CORBA_ULong>(list.size()));
    CORBA_ULong i = 0;
    for (const char* n : list)
        seq[i++] = n;
    return seq;
}

// The types of the omniORB IDL (see OmniTypeCodes.h), built with the factory.
struct Types {
    CORBA_TypeCode_var inner = CORBA_ORB::create_struct_tc(
        "IDL:T/Inner:1.0", "Inner", members({{"a", CORBA__tc_long}, {"s", CORBA__tc_string}}));
    CORBA_TypeCode_var color =
        CORBA_ORB::create_enum_tc("IDL:T/Color:1.0", "Color", names({"red", "green", "blue"}));
    CORBA_TypeCode_var innerSeq = CORBA_ORB::create_alias_tc(
        "IDL:T/InnerSeq:1.0", "InnerSeq", CORBA_TypeCode_var(CORBA_ORB::create_sequence_tc(0, inner)));
    CORBA_TypeCode_var matrix = CORBA_ORB::create_alias_tc(
        "IDL:T/Matrix:1.0", "Matrix",
        CORBA_TypeCode_var(CORBA_ORB::create_array_tc(
            2, CORBA_TypeCode_var(CORBA_ORB::create_array_tc(3, CORBA__tc_long)))));
    CORBA_TypeCode_var u = makeU();
    CORBA_TypeCode_var v = makeV();
    CORBA_TypeCode_var e = CORBA_ORB::create_exception_tc(
        "IDL:T/E:1.0", "E", members({{"code", CORBA__tc_long}, {"msg", CORBA__tc_string}}));
    CORBA_TypeCode_var node = CORBA_ORB::create_struct_tc(
        "IDL:T/Node:1.0", "Node",
        members({{"value", CORBA__tc_long},
                 {"children", CORBA_TypeCode_var(CORBA_ORB::create_alias_tc(
                                  "IDL:T/NodeSeq:1.0", "NodeSeq",
                                  CORBA_TypeCode_var(CORBA_ORB::create_recursive_sequence_tc(0, 2))))}}));
    CORBA_TypeCode_var node2 = CORBA_ORB::create_struct_tc(
        "IDL:T/Node2:1.0", "Node2",
        members({{"value", CORBA__tc_long},
                 {"children", CORBA_TypeCode_var(CORBA_ORB::create_recursive_sequence_tc(0, 1))}}));
    CORBA_TypeCode_var alias = CORBA_ORB::create_alias_tc("IDL:T/Alias:1.0", "Alias", inner);
    CORBA_TypeCode_var outer = CORBA_ORB::create_struct_tc(
        "IDL:T/Outer:1.0", "Outer",
        members({{"a", inner},
                 {"b", inner},
                 {"c", alias},
                 {"d", innerSeq},
                 {"m", matrix},
                 {"un", u},
                 {"bs", CORBA_TypeCode_var(CORBA_ORB::create_sequence_tc(5, CORBA__tc_string))},
                 {"bstr", CORBA_TypeCode_var(CORBA_ORB::create_string_tc(7))}}));
    CORBA_TypeCode_var i = CORBA_ORB::create_interface_tc("IDL:T/I:1.0", "I");

    CORBA_TypeCode* makeU() {
        CORBA_UnionMemberSeq m;
        m.length(3);
        m[0] = unionMember("l", enumLabel(color, 0), CORBA__tc_long);
        m[1] = unionMember("s", enumLabel(color, 1), CORBA__tc_string);
        m[2] = unionMember("i", octetLabel(), inner);
        return CORBA_ORB::create_union_tc("IDL:T/U:1.0", "U", color, m);
    }
    CORBA_TypeCode* makeV() {
        CORBA_UnionMemberSeq m;
        m.length(3);
        CORBA_Any one, two, three;
        one <<= CORBA_Short(1);
        two <<= CORBA_Short(2);
        three <<= CORBA_Short(3);
        m[0] = unionMember("x", one, CORBA__tc_long);
        m[1] = unionMember("x", two, CORBA__tc_long);
        m[2] = unionMember("d", three, CORBA__tc_double);
        return CORBA_ORB::create_union_tc("IDL:T/V:1.0", "V", CORBA__tc_short, m);
    }

    std::vector<CORBA_TypeCode*> all() {
        return {inner, color, innerSeq, matrix, u, v, e, node, node2, alias, outer, i,
                CORBA__tc_string, CORBA__tc_Object, CORBA__tc_BAD_PARAM};
    }
};

template<class E, class F> void expectRaises(F f) {
    try {
        f();
        ADD_FAILURE() << "no exception";
    } catch (const E& e) {
        EXPECT_EQ(e.minor(), 0u);
        EXPECT_EQ(e.completed(), CORBA_COMPLETED_NO);
    }
}

// --- constants -------------------------------------------------------------------

TEST(TypeCodeConstants, BasicKindsReadBackAsTheSameConstantInBothByteOrders) {
    for (CORBA_ULong k = 0; k <= CORBA_tk_Principal; ++k) {
        CORBA_TypeCode* constant = OBBasicTypeCode(static_cast<CORBA_TCKind>(k));
        EXPECT_EQ(constant->kind(), static_cast<CORBA_TCKind>(k));
        OBBuffer native(4);
        std::memcpy(native.data, &k, 4);
        CORBA_TypeCode_var a(decode(native, false));
        BigEndian be;
        be.ulong(k);
        CORBA_TypeCode_var b(decode(*be.buffer(), true));
        EXPECT_EQ(a.in(), constant);
        EXPECT_EQ(b.in(), constant);
    }
    EXPECT_EQ(static_cast<CORBA_TypeCode*>(CORBA__tc_long), OBBasicTypeCode(CORBA_tk_long));
}

TEST(TypeCodeConstants, StringAndObjectConstants) {
    CORBA_TypeCode_var s(decodeHex("1200000000000000", false));
    EXPECT_EQ(s.in(), static_cast<CORBA_TypeCode*>(CORBA__tc_string));
    CORBA_TypeCode_var bounded(decodeHex("1200000007000000", false));
    EXPECT_NE(bounded.in(), static_cast<CORBA_TypeCode*>(CORBA__tc_string));
    EXPECT_EQ(bounded->length(), 7u);
    CORBA_TypeCode_var viaFactory(CORBA_ORB::create_string_tc(0));
    EXPECT_EQ(viaFactory.in(), static_cast<CORBA_TypeCode*>(CORBA__tc_string));

    CORBA_TypeCode* obj = CORBA__tc_Object;
    EXPECT_EQ(obj->kind(), CORBA_tk_objref);
    EXPECT_STREQ(obj->id(), "IDL:omg.org/CORBA/Object:1.0");
    EXPECT_STREQ(obj->name(), "Object");
}

TEST(TypeCodeConstants, StoredConstantsDecodeOnFirstUse) {
    static OBTypeCodeConst unboundedString("01000000" "12000000" "00000000");
    EXPECT_EQ(static_cast<CORBA_TypeCode*>(unboundedString), static_cast<CORBA_TypeCode*>(CORBA__tc_string));

    // The text of the bridge stub's StavaController constant (bridge/StavaController.cpp).
    static OBTypeCodeConst controller(
        "010000000e00000034000000010000001800000049444c3a5374617661436f6e"
        "74726f6c6c65723a312e3000100000005374617661436f6e74726f6c6c657200");
    CORBA_TypeCode* tc = controller;
    EXPECT_EQ(static_cast<CORBA_TypeCode*>(controller), tc);  // built once
    EXPECT_EQ(tc->kind(), CORBA_tk_objref);
    EXPECT_STREQ(tc->id(), "IDL:StavaController:1.0");
    EXPECT_STREQ(tc->name(), "StavaController");

    // A big-endian constant: flag 0, kind 18, bound 9.
    static OBTypeCodeConst bigEndian("00000000" "00000012" "00000009");
    EXPECT_EQ(static_cast<CORBA_TypeCode*>(bigEndian)->length(), 9u);

    static OBTypeCodeConst notHex("01000000zz");
    expectRaises<CORBA_MARSHAL>([] { static_cast<CORBA_TypeCode*>(notHex); });
}

TEST(TypeCodeConstants, SystemExceptionTypeCodes) {
#define CHECK_SYSEX(NAME)                                                                 \
    {                                                                                     \
        CORBA_TypeCode* tc = CORBA__tc_##NAME;                                            \
        EXPECT_EQ(tc, static_cast<CORBA_TypeCode*>(CORBA__tc_##NAME));                    \
        EXPECT_EQ(tc->kind(), CORBA_tk_except);                                           \
        EXPECT_STREQ(tc->id(), "IDL:omg.org/CORBA/" #NAME ":1.0");                        \
        EXPECT_STREQ(tc->name(), #NAME);                                                  \
        EXPECT_TRUE(OBIsSystemExceptionType(tc));                                         \
        EXPECT_EQ(OBSystemExceptionType(CORBA_##NAME(0, CORBA_COMPLETED_NO)._rep_id()), tc); \
    }
    OB_STANDARD_SYSTEM_EXCEPTIONS(CHECK_SYSEX)
#undef CHECK_SYSEX
    CORBA_TypeCode* tc = CORBA__tc_BAD_PARAM;
    ASSERT_EQ(tc->member_count(), 2u);
    EXPECT_STREQ(tc->member_name(0), "minor");
    EXPECT_EQ(CORBA_TypeCode_var(tc->member_type(0)).in(), static_cast<CORBA_TypeCode*>(CORBA__tc_ulong));
    EXPECT_STREQ(tc->member_name(1), "completed");
    CORBA_TypeCode_var completion(tc->member_type(1));
    EXPECT_EQ(completion->kind(), CORBA_tk_enum);
    EXPECT_STREQ(completion->id(), "IDL:omg.org/CORBA/CompletionStatus:1.0");
    EXPECT_STREQ(completion->name(), "CompletionStatus");
    ASSERT_EQ(completion->member_count(), 3u);
    EXPECT_STREQ(completion->member_name(0), "COMPLETED_YES");
    EXPECT_STREQ(completion->member_name(2), "COMPLETED_MAYBE");

    // INV_POLICY, a differently spelt ID and another kind are not standard.
    CORBA_TypeCode_var invPolicy(
        CORBA_ORB::create_exception_tc("IDL:omg.org/CORBA/INV_POLICY:1.0", "INV_POLICY", CORBA_StructMemberSeq()));
    CORBA_TypeCode_var lower(
        CORBA_ORB::create_exception_tc("IDL:omg.org/CORBA/bad_param:1.0", "bad_param", CORBA_StructMemberSeq()));
    CORBA_TypeCode_var structKind(
        CORBA_ORB::create_struct_tc("IDL:omg.org/CORBA/BAD_PARAM:1.0", "BAD_PARAM", CORBA_StructMemberSeq()));
    EXPECT_FALSE(OBIsSystemExceptionType(invPolicy));
    EXPECT_FALSE(OBIsSystemExceptionType(lower));
    EXPECT_FALSE(OBIsSystemExceptionType(structKind));
    EXPECT_EQ(OBSystemExceptionType("IDL:omg.org/CORBA/INV_POLICY:1.0"), nullptr);
}

// --- queries ---------------------------------------------------------------------------

TEST(TypeCodeQueries, FieldsAndWrongKindsAndBounds) {
    Types t;
    EXPECT_STREQ(t.inner->id(), "IDL:T/Inner:1.0");
    EXPECT_EQ(t.inner->member_count(), 2u);
    EXPECT_STREQ(t.inner->member_name(1), "s");
    EXPECT_THROW(t.inner->member_name(2), CORBA_TypeCode_Bounds);
    EXPECT_THROW(CORBA_release(t.inner->member_type(2)), CORBA_TypeCode_Bounds);
    EXPECT_THROW(t.inner->length(), CORBA_TypeCode_BadKind);
    EXPECT_THROW(CORBA_release(t.inner->content_type()), CORBA_TypeCode_BadKind);
    EXPECT_THROW(delete t.inner->member_label(0), CORBA_TypeCode_BadKind);
    EXPECT_THROW(t.color->member_type(0), CORBA_TypeCode_BadKind);
    EXPECT_EQ(t.color->member_count(), 3u);
    EXPECT_THROW(static_cast<CORBA_TypeCode*>(CORBA__tc_long)->id(), CORBA_TypeCode_BadKind);
    EXPECT_THROW(static_cast<CORBA_TypeCode*>(CORBA__tc_long)->member_count(), CORBA_TypeCode_BadKind);
    EXPECT_THROW(t.i->member_count(), CORBA_TypeCode_BadKind);
    EXPECT_THROW(t.alias->recursion_offset(), CORBA_TypeCode_BadKind);

    EXPECT_EQ(t.u->default_index(), 2);
    EXPECT_EQ(t.v->default_index(), -1);
    EXPECT_THROW(t.inner->default_index(), CORBA_TypeCode_BadKind);
    EXPECT_EQ(CORBA_TypeCode_var(t.u->discriminator_type()).in(), t.color.in());
    std::unique_ptr<CORBA_Any> label(t.v->member_label(1));
    CORBA_Short s = 0;
    EXPECT_TRUE(*label >>= s);
    EXPECT_EQ(s, 2);
    EXPECT_THROW(delete t.v->member_label(3), CORBA_TypeCode_Bounds);

    CORBA_TypeCode_var m(t.matrix->content_type());
    EXPECT_EQ(m->kind(), CORBA_tk_array);
    EXPECT_EQ(m->length(), 2u);
    CORBA_TypeCode_var rec(CORBA_ORB::create_recursive_sequence_tc(3, 2));
    EXPECT_EQ(rec->recursion_offset(), 2u);
    EXPECT_EQ(rec->length(), 3u);
    EXPECT_TRUE(CORBA_is_nil(CORBA_TypeCode_var(rec->content_type()).in()));
}

// --- equal --------------------------------------------------------------------------------

TEST(TypeCodeEqual, EdgeCases) {
    Types t;
    CORBA_TypeCode_var aliasOfLong(CORBA_ORB::create_alias_tc("IDL:L:1.0", "L", CORBA__tc_long));
    EXPECT_TRUE(aliasOfLong->equal(CORBA__tc_long));
    EXPECT_TRUE(static_cast<CORBA_TypeCode*>(CORBA__tc_long)->equal(aliasOfLong));
    EXPECT_FALSE(aliasOfLong->equal(CORBA__tc_ulong));

    CORBA_TypeCode_var renamedMember(CORBA_ORB::create_struct_tc(
        "IDL:T/Inner:1.0", "Inner", members({{"a", CORBA__tc_long}, {"t", CORBA__tc_string}})));
    EXPECT_FALSE(t.inner->equal(renamedMember));
    CORBA_TypeCode_var otherMemberType(CORBA_ORB::create_struct_tc(
        "IDL:T/Inner:1.0", "Inner", members({{"a", CORBA__tc_short}, {"s", CORBA__tc_string}})));
    EXPECT_FALSE(t.inner->equal(otherMemberType));
    CORBA_TypeCode_var same(CORBA_ORB::create_struct_tc(
        "IDL:T/Inner:1.0", "Inner", members({{"a", aliasOfLong}, {"s", CORBA__tc_string}})));
    EXPECT_TRUE(t.inner->equal(same));

    CORBA_TypeCode_var bounded(CORBA_ORB::create_string_tc(5));
    EXPECT_FALSE(bounded->equal(CORBA__tc_string));
    CORBA_TypeCode_var arr4(CORBA_ORB::create_array_tc(4, CORBA__tc_long));
    CORBA_TypeCode_var arr5(CORBA_ORB::create_array_tc(5, CORBA__tc_long));
    EXPECT_FALSE(arr4->equal(arr5));

    // Unions differing only in a label value.
    CORBA_UnionMemberSeq m;
    m.length(3);
    CORBA_Any one, two, four;
    one <<= CORBA_Short(1);
    two <<= CORBA_Short(2);
    four <<= CORBA_Short(4);
    m[0] = unionMember("x", one, CORBA__tc_long);
    m[1] = unionMember("x", two, CORBA__tc_long);
    m[2] = unionMember("d", four, CORBA__tc_double);
    CORBA_TypeCode_var v4(CORBA_ORB::create_union_tc("IDL:T/V:1.0", "V", CORBA__tc_short, m));
    EXPECT_FALSE(t.v->equal(v4));
    EXPECT_TRUE(t.v->equal(CORBA_TypeCode_var(t.makeV())));

    // Recursive types compare finitely.
    Types other;
    EXPECT_TRUE(t.node2->equal(other.node2));
    EXPECT_TRUE(t.node->equal(other.node));
    EXPECT_FALSE(t.node->equal(t.node2));
    CORBA_TypeCode_var r1(CORBA_ORB::create_recursive_sequence_tc(0, 1));
    CORBA_TypeCode_var r2(CORBA_ORB::create_recursive_sequence_tc(0, 2));
    EXPECT_FALSE(r1->equal(r2));
    EXPECT_TRUE(r1->equal(CORBA_TypeCode_var(CORBA_ORB::create_recursive_sequence_tc(0, 1))));
    CORBA_TypeCode_var childSeq(t.node2->member_type(1));
    EXPECT_FALSE(childSeq->equal(r1));  // resolved against unresolved
}

// --- CDR --------------------------------------------------------------------------------------

TEST(TypeCodeCDR, EveryKindRoundTripsNatively) {
    Types t;
    for (CORBA_TypeCode* tc : t.all()) {
        std::unique_ptr<OBBuffer> b = encode(tc);
        CORBA_TypeCode_var back(decode(*b, false));
        EXPECT_TRUE(back->equal(tc)) << tc->kind();
        EXPECT_TRUE(tc->equal(back)) << tc->kind();
        EXPECT_EQ(back->kind(), tc->kind());
        // Writing what was read gives the same octets.
        std::unique_ptr<OBBuffer> again = encode(back);
        ASSERT_EQ(again->len, b->len);
        EXPECT_EQ(std::memcmp(again->data, b->data, b->len), 0);
    }
}

TEST(TypeCodeCDR, BigEndianRecursiveStructReadsBack) {
    // struct S { long v; sequence<S> c; }, big-endian throughout (flag 0),
    // the element an indirection to S's kind field at offset 0.
    const char* hex =
        "0000000f0000004c000000000000000a49444c3a533a312e300000000000000253000000000000020000000276000000"
        "000000030000000263000000000000130000001000000000ffffffffffffffb400000000";
    CORBA_TypeCode_var s(decodeHex(hex, true));
    CORBA_TypeCode_var expected(CORBA_ORB::create_struct_tc(
        "IDL:S:1.0", "S",
        members({{"v", CORBA__tc_long}, {"c", CORBA_TypeCode_var(CORBA_ORB::create_recursive_sequence_tc(0, 1))}})));
    EXPECT_TRUE(s->equal(expected));
    CORBA_TypeCode_var c(s->member_type(1));
    EXPECT_EQ(CORBA_TypeCode_var(c->content_type()).in(), s.in());
}

TEST(TypeCodeCDR, RecursiveSequenceIsWrittenAsIndirectionToItsStruct) {
    Types t;
    std::unique_ptr<OBBuffer> b = encode(t.node2);
    // Exactly one indirection marker, followed by the offset back to octet 0.
    const CORBA_ULong marker = 0xFFFFFFFF;
    std::vector<CORBA_ULong> found;
    for (CORBA_ULong pos = 0; pos + 8 <= b->len; pos += 4)
        if (std::memcmp(b->data + pos, &marker, 4) == 0)
            found.push_back(pos);
    ASSERT_EQ(found.size(), 1u);
    CORBA_Long offset;
    std::memcpy(&offset, b->data + found[0] + 4, 4);
    EXPECT_EQ(offset, -static_cast<CORBA_Long>(found[0] + 4));
    EXPECT_LT(offset, -4);

    CORBA_TypeCode_var back(decode(*b, false));
    CORBA_TypeCode_var seq(back->member_type(1));
    EXPECT_EQ(seq->recursion_offset(), 1u);
    EXPECT_EQ(CORBA_TypeCode_var(seq->content_type()).in(), back.in());
    ASSERT_EQ(back->cyclicTypes_.length(), 1u);
    EXPECT_EQ(back->cyclicTypes_[0], seq.in());
}

TEST(TypeCodeCDR, RecursionIsReleasedWhicheverReferenceGoesLast) {
    // Under LeakSanitizer a cycle left behind fails the run.
    Types t;
    CORBA_TypeCode_var seq(t.node2->member_type(1));
    t.node2 = CORBA_ORB::create_struct_tc("IDL:X:1.0", "X", CORBA_StructMemberSeq());
    EXPECT_EQ(CORBA_TypeCode_var(seq->content_type())->member_count(), 2u);  // still whole

    CORBA_TypeCode_var alias(t.node->member_type(1));  // the NodeSeq path copy
    t.node = CORBA_ORB::create_string_tc(1);
    CORBA_TypeCode_var inner(alias->content_type());
    EXPECT_STREQ(CORBA_TypeCode_var(inner->content_type())->name(), "Node");

    // Nested recursion: struct A { struct B { sequence<B> b; sequence<A> a; } x; }.
    CORBA_TypeCode_var b(CORBA_ORB::create_struct_tc(
        "IDL:B:1.0", "B",
        members({{"b", CORBA_TypeCode_var(CORBA_ORB::create_recursive_sequence_tc(0, 1))},
                 {"a", CORBA_TypeCode_var(CORBA_ORB::create_recursive_sequence_tc(0, 2))}})));
    CORBA_TypeCode_var a(CORBA_ORB::create_struct_tc("IDL:A:1.0", "A", members({{"x", b}})));
    std::unique_ptr<OBBuffer> buf = encode(a);
    CORBA_TypeCode_var back(decode(*buf, false));
    EXPECT_TRUE(back->equal(a));
    CORBA_TypeCode_var x(back->member_type(0));
    CORBA_TypeCode_var toA(x->member_type(1));
    EXPECT_EQ(CORBA_TypeCode_var(toA->content_type()).in(), back.in());
    back = CORBA_ORB::create_string_tc(2);  // the outside reference goes first
}

TEST(TypeCodeCDR, NilAndUnresolvedTypeCodesCannotBeWritten) {
    CORBA_ULong n = 0;
    expectRaises<CORBA_BAD_TYPECODE>([&] { OBCount(static_cast<CORBA_TypeCode*>(nullptr), n); });
    CORBA_TypeCode_var rec(CORBA_ORB::create_recursive_sequence_tc(0, 1));
    expectRaises<CORBA_BAD_TYPECODE>([&] { OBCount(rec, n); });
    CORBA_TypeCode_var holder(CORBA_ORB::create_alias_tc("IDL:H:1.0", "H", rec));
    expectRaises<CORBA_BAD_TYPECODE>([&] { OBCount(holder, n); });
}

// --- omniORB ---------------------------------------------------------------------------------

TEST(TypeCodeOmniORB, TypeCodesWrittenByOmniORBEqualOurs) {
    Types t;
    const std::pair<const char*, CORBA_TypeCode*> cases[] = {
        {omni::Inner, t.inner}, {omni::Color, t.color}, {omni::InnerSeq, t.innerSeq}, {omni::Matrix, t.matrix},
        {omni::U, t.u},         {omni::V, t.v},         {omni::E, t.e},               {omni::Node, t.node},
        {omni::Node2, t.node2}, {omni::Alias, t.alias}, {omni::Outer, t.outer},       {omni::I, t.i}};
    for (const auto& c : cases) {
        CORBA_TypeCode_var tc(decodeHex(c.first, false));
        EXPECT_TRUE(tc->equal(c.second)) << c.second->id();
        // And ours reads back equal to omniORB's.
        CORBA_TypeCode_var ours(decode(*encode(c.second), false));
        EXPECT_TRUE(ours->equal(tc)) << c.second->id();
    }
    // Mixed byte order: big-endian outside, little-endian encapsulations.
    CORBA_TypeCode_var outerBE(decodeHex(omni::OuterBE, true));
    EXPECT_TRUE(outerBE->equal(t.outer));
    CORBA_TypeCode_var nodeBE(decodeHex(omni::NodeBE, true));
    EXPECT_TRUE(nodeBE->equal(t.node));
    CORBA_TypeCode_var vBE(decodeHex(omni::VBE, true));
    EXPECT_TRUE(vBE->equal(t.v));
}

TEST(TypeCodeOmniORB, SystemExceptionTypeCodeDiffersOnlyInTheEnumNames) {
    // omniORB names the completion enum "completion_status"; the exception is
    // still recognised as a standard one.
    CORBA_TypeCode_var tc(decodeHex(omni::BAD_PARAM, false));
    EXPECT_TRUE(OBIsSystemExceptionType(tc));
    EXPECT_FALSE(tc->equal(CORBA__tc_BAD_PARAM));
    CORBA_TypeCode_var completion(tc->member_type(1));
    EXPECT_STREQ(completion->name(), "completion_status");
    EXPECT_STREQ(tc->member_name(1), "completed");
}

// --- hostile input -----------------------------------------------------------------------------

// A little-endian TypeCode: kind, then a sequence encapsulation whose element is an indirection.
std::unique_ptr<OBBuffer> sequenceWithIndirection(CORBA_Long offset) {
    const CORBA_ULong words[] = {19, 16, 1, 0xFFFFFFFF, static_cast<CORBA_ULong>(offset), 0};
    std::unique_ptr<OBBuffer> b(new OBBuffer(sizeof words));
    std::memcpy(b->data, words, sizeof words);
    return b;
}

TEST(TypeCodeHostile, BadIndirectionsAreRejected) {
    for (CORBA_Long offset : {-4, 0, 4, -16, -17, -100000, static_cast<CORBA_Long>(0x80000000)})
        expectRaises<CORBA_BAD_TYPECODE>([&] { CORBA_release(decode(*sequenceWithIndirection(offset), false)); });
    // An indirection as the outermost TypeCode.
    const CORBA_ULong lone[] = {0xFFFFFFFF, static_cast<CORBA_ULong>(-8)};
    OBBuffer b(sizeof lone);
    std::memcpy(b.data, lone, sizeof lone);
    expectRaises<CORBA_BAD_TYPECODE>([&] { CORBA_release(decode(b, false)); });
    // A struct member that is an indirection to the struct itself (not through a sequence).
    CORBA_TypeCode_var s(CORBA_ORB::create_struct_tc("IDL:S:1.0", "S", members({{"m", CORBA__tc_long}})));
    std::unique_ptr<OBBuffer> good = encode(s);
    const CORBA_ULong memberKindPos = good->len - 4;
    const CORBA_ULong marker = 0xFFFFFFFF;
    OBBuffer bad(good->len + 4);
    std::memcpy(bad.data, good->data, good->len);
    std::memcpy(bad.data + memberKindPos, &marker, 4);
    const CORBA_Long back = -static_cast<CORBA_Long>(memberKindPos + 4);
    std::memcpy(bad.data + memberKindPos + 4, &back, 4);
    expectRaises<CORBA_BAD_TYPECODE>([&] { CORBA_release(decode(bad, false)); });
}

TEST(TypeCodeHostile, UnknownKindsAndBadUnionsAreRejected) {
    for (CORBA_ULong kind : {23u, 0x7FFFFFFFu, 0xFFFFFFFEu}) {
        OBBuffer b(4);
        std::memcpy(b.data, &kind, 4);
        expectRaises<CORBA_BAD_TYPECODE>([&] { CORBA_release(decode(b, false)); });
    }
    // A union discriminated by a double.
    Types t;
    std::unique_ptr<OBBuffer> v = encode(t.v);
    // kind, length, flag, id "IDL:T/V:1.0" (4 + 12), name "V" (4 + 2, padded):
    // the discriminator's kind is at offset 36.
    const CORBA_ULong doubleKind = CORBA_tk_double;
    CORBA_ULong found;
    std::memcpy(&found, v->data + 36, 4);
    ASSERT_EQ(found, static_cast<CORBA_ULong>(CORBA_tk_short));
    std::memcpy(v->data + 36, &doubleKind, 4);
    expectRaises<CORBA_BAD_TYPECODE>([&] { CORBA_release(decode(*v, false)); });
}

TEST(TypeCodeHostile, TruncatedDataRaisesMarshal) {
    Types t;
    std::unique_ptr<OBBuffer> b = encode(t.outer);
    for (CORBA_ULong cut : {1u, 4u, 9u, b->len / 2, b->len - 1}) {
        OBBuffer shortBuf(b->len - cut);
        std::memcpy(shortBuf.data, b->data, shortBuf.len);
        expectRaises<CORBA_MARSHAL>([&] { CORBA_release(decode(shortBuf, false)); });
    }
}

TEST(TypeCodeHostile, DeepNestingIsLimited) {
    // sequence<sequence<...<long>...>> nested far beyond the limit: each level
    // is kind 19, encapsulation length, flag, element, bound.
    const CORBA_ULong depth = 5000;
    std::vector<CORBA_ULong> words;
    for (CORBA_ULong i = 0; i < depth; ++i) {
        words.push_back(CORBA_tk_sequence);
        words.push_back(0);  // length, not used to skip
        words.push_back(1);  // flag octet and padding
    }
    words.push_back(CORBA_tk_long);
    for (CORBA_ULong i = 0; i < depth; ++i)
        words.push_back(0);  // bounds
    OBBuffer b(static_cast<CORBA_ULong>(words.size() * 4));
    std::memcpy(b.data, words.data(), b.len);
    expectRaises<CORBA_BAD_TYPECODE>([&] { CORBA_release(decode(b, false)); });

    // Within the limit the same form reads fine.
    CORBA_TypeCode_var tc(OBDuplicate<CORBA_TypeCode>(CORBA__tc_long));
    for (CORBA_ULong i = 0; i + 1 < OBMaxTypeCodeDepth; ++i)
        tc = CORBA_ORB::create_sequence_tc(0, tc);
    CORBA_TypeCode_var back(decode(*encode(tc), false));
    EXPECT_TRUE(back->equal(tc));
}

TEST(TypeCodeHostile, RepeatedIndirectionsCannotExpandWithoutLimit) {
    // T0 = struct{long}; Tk = struct{Tk-1 a; Tk-1 b} with b an indirection to a:
    // 30 levels would stand for 2^30 TypeCodes.
    CORBA_TypeCode_var level(CORBA_ORB::create_struct_tc("IDL:T0:1.0", "T", members({{"m", CORBA__tc_long}})));
    std::unique_ptr<OBBuffer> b = encode(level);
    std::vector<CORBA_Octet> tc(b->data, b->data + b->len);
    for (int k = 1; k <= 30; ++k) {
        // kind, length, flag+pad, id "IDL:Tk:1.0"-ish (fixed 12 chars), name "T", count 2,
        // "a" + previous, "b" + indirection to previous.
        std::vector<CORBA_Octet> out;
        auto ulong = [&](CORBA_ULong v) {
            while (out.size() % 4)
                out.push_back(0);
            const CORBA_Octet* p = reinterpret_cast<const CORBA_Octet*>(&v);
            out.insert(out.end(), p, p + 4);
        };
        auto str = [&](const std::string& s) {
            ulong(static_cast<CORBA_ULong>(s.size() + 1));
            out.insert(out.end(), s.begin(), s.end());
            out.push_back(0);
        };
        ulong(CORBA_tk_struct);
        ulong(0);
        const std::size_t lengthPos = out.size() - 4;
        out.push_back(1);
        char id[16];
        std::snprintf(id, sizeof id, "IDL:T%02d:1.0", k);
        str(id);
        str("T");
        ulong(2);
        str("a");
        while (out.size() % 4)
            out.push_back(0);
        const std::size_t prevPos = out.size();
        out.insert(out.end(), tc.begin(), tc.end());
        str("b");
        ulong(0xFFFFFFFF);
        ulong(static_cast<CORBA_ULong>(static_cast<CORBA_Long>(prevPos) - static_cast<CORBA_Long>(out.size())));
        const CORBA_ULong length = static_cast<CORBA_ULong>(out.size() - lengthPos - 4);
        std::memcpy(out.data() + lengthPos, &length, 4);
        tc.swap(out);
        if (k == 3) {  // small ones read fine and share the repeated part
            OBBuffer small(static_cast<CORBA_ULong>(tc.size()));
            std::memcpy(small.data, tc.data(), tc.size());
            CORBA_TypeCode_var t3(decode(small, false));
            CORBA_TypeCode_var a(t3->member_type(0)), bm(t3->member_type(1));
            EXPECT_EQ(a.in(), bm.in());
        }
    }
    OBBuffer big(static_cast<CORBA_ULong>(tc.size()));
    std::memcpy(big.data, tc.data(), tc.size());
    expectRaises<CORBA_BAD_TYPECODE>([&] { CORBA_release(decode(big, false)); });
}

// --- factory checks -------------------------------------------------------------------------------

TEST(TypeCodeFactoryDeathTest, UnionDiscriminatorChecks) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    CORBA_UnionMemberSeq none;
    EXPECT_DEATH(CORBA_release(CORBA_ORB::create_union_tc("IDL:U:1.0", "U", CORBA__tc_double, none)),
                 "Invalid union discriminator type used");
    CORBA_UnionMemberSeq m;
    m.length(1);
    CORBA_Any label;
    label <<= CORBA_Long(1);
    m[0] = unionMember("x", label, CORBA__tc_long);
    EXPECT_DEATH(CORBA_release(CORBA_ORB::create_union_tc("IDL:U:1.0", "U", CORBA__tc_short, m)),
                 "tc1 -> equal\\(tc2\\)");
    EXPECT_DEATH(CORBA_release(CORBA_ORB::create_interface_tc(nullptr, "I")),
                 "Null pointer was passed as string parameter");
}

}  // namespace
