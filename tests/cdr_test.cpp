// CDR primitives: alignment, both byte orders, strings, bounds, hex text.
#include <OB/CDR.h>
#include <OB/Except.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

const bool littleEndianHost = OBNativeByteOrder() == 1;

// A buffer holding exactly `octets`, read from its start.
struct Received {
    OBBuffer buf;
    OBInCursor in;
    explicit Received(const std::vector<CORBA_Octet>& octets) : buf(CORBA_ULong(octets.size())) {
        if (!octets.empty())
            std::memcpy(buf.data, octets.data(), octets.size());
        in = OBMakeInCursor(buf);
    }
};

void expectMarshal(const CORBA_MARSHAL& e) {
    EXPECT_EQ(e.minor(), 0u);
    EXPECT_EQ(e.completed(), CORBA_COMPLETED_NO);
}

TEST(CdrCount, AlignsToTheTypeSize) {
    CORBA_ULong count = 12;
    OBCount(CORBA_Double(1.0), count);
    EXPECT_EQ(count, 24u);
    count = 13;
    OBCount("abc", count);
    EXPECT_EQ(count, 24u);
    count = 1;
    OBCount(CORBA_Short(1), count);
    EXPECT_EQ(count, 4u);
    count = 3;
    OBCount(CORBA_Octet(1), count);
    OBCount(CORBA_Char('x'), count);
    EXPECT_EQ(count, 5u);
    count = 5;
    OBCount(CORBA_Float(1), count);
    EXPECT_EQ(count, 12u);
    const CORBA_Long longs[3] = {1, 2, 3};
    count = 1;
    OBCount(longs, 3, count);
    EXPECT_EQ(count, 16u);
    count = 1;
    OBCount(longs, 0, count);  // an empty array has no alignment step
    EXPECT_EQ(count, 1u);
}

TEST(CdrWrite, DoubleAtOffset12IsPaddedTo16) {
    OBBuffer b(24);
    std::memset(b.data, 0xEE, 24);
    CORBA_Octet* cur = b.data + 12;
    OBWrite(CORBA_Double(2.5), cur);
    EXPECT_EQ(cur, b.data + 24);
    for (int i = 12; i < 16; ++i)
        EXPECT_EQ(b.data[i], 0x00);  // the padding is cleared, whatever the buffer held
    CORBA_Double d;
    std::memcpy(&d, b.data + 16, 8);
    EXPECT_EQ(d, 2.5);
}

// Every padding octet the writers pass is zero, whatever the buffer held:
// basic values, arrays and the length in front of a string.
TEST(CdrWrite, PaddingIsClearedInAReusedBuffer) {
    OBBuffer b(40);
    std::memset(b.data, 0xEE, 40);
    CORBA_Octet* cur = b.data;
    OBWrite(CORBA_Octet(0xA1), cur);       // 0
    OBWrite(CORBA_UShort(0x0102), cur);    // 2..3, pad 1
    OBWrite(CORBA_Octet(0xA2), cur);       // 4
    OBWrite(CORBA_ULong(0x03040506), cur); // 8..11, pad 5..7
    OBWrite(CORBA_Octet(0xA3), cur);       // 12
    const CORBA_Double d[1] = {2.5};
    OBWrite(d, 1, cur);                    // 16..23, pad 13..15
    OBWrite(CORBA_Octet(0xA4), cur);       // 24
    OBWrite("x", cur);                     // length 28..31, pad 25..27; 'x', NUL 32..33
    ASSERT_EQ(cur, b.data + 34);
    for (int i : {1, 5, 6, 7, 13, 14, 15, 25, 26, 27})
        EXPECT_EQ(b.data[i], 0x00) << i;
    EXPECT_EQ(b.data[0], 0xA1);
    EXPECT_EQ(b.data[4], 0xA2);
    EXPECT_EQ(b.data[12], 0xA3);
    EXPECT_EQ(b.data[24], 0xA4);
    EXPECT_EQ(b.data[32], 'x');
    EXPECT_EQ(b.data[34], 0xEE);  // nothing written past the end
    Received r(std::vector<CORBA_Octet>(b.data, b.data + 34));
    CORBA_Octet o;
    CORBA_UShort us;
    CORBA_ULong ul;
    CORBA_Double dd;
    OBRead(o, r.in, false);
    OBRead(us, r.in, false);
    EXPECT_EQ(us, 0x0102);
    OBRead(o, r.in, false);
    OBRead(ul, r.in, false);
    EXPECT_EQ(ul, 0x03040506u);
    OBRead(o, r.in, false);
    OBRead(dd, r.in, false);
    EXPECT_EQ(dd, 2.5);
}

TEST(CdrWrite, StringLayout) {
    CORBA_ULong count = 13;
    OBCount("abc", count);
    OBCount("", count);
    OBBuffer b(count);
    CORBA_Octet* cur = b.data + 13;
    OBWrite("abc", cur);
    OBWrite("", cur);
    EXPECT_EQ(cur, b.data + count);
    CORBA_ULong len;
    std::memcpy(&len, b.data + 16, 4);
    EXPECT_EQ(len, 4u);
    EXPECT_EQ(std::memcmp(b.data + 20, "abc", 4), 0);
    std::memcpy(&len, b.data + 24, 4);
    EXPECT_EQ(len, 1u);  // the empty string: length 1 and a NUL
    EXPECT_EQ(b.data[28], 0);
}

TEST(CdrRead, LongWithSwap) {
    Received r({0, 0, 1, 2});
    CORBA_Long v;
    OBRead(v, r.in, littleEndianHost);
    EXPECT_EQ(v, 258);
}

TEST(CdrRead, DoubleSwapReversesAllEightOctets) {
    const CORBA_Double value = -1234.5678e10;
    CORBA_Octet native[8];
    std::memcpy(native, &value, 8);
    std::vector<CORBA_Octet> reversed(native, native + 8);
    std::reverse(reversed.begin(), reversed.end());
    Received r(reversed);
    CORBA_Double d;
    OBRead(d, r.in, true);
    EXPECT_EQ(d, value);
}

// Writes every basic type and its array natively, then reads them back
// as-is and after reversing each value (as a peer of the other order sends).
class RoundTrip : public ::testing::TestWithParam<bool> {};

template<class T> void reverseValue(CORBA_Octet* p) {
    std::reverse(p, p + sizeof(T));
}

TEST_P(RoundTrip, EveryBasicTypeAndArray) {
    const bool swap = GetParam();
    const CORBA_Octet o = 0xA5;
    const CORBA_Char c = 'q';
    const CORBA_Short s = -12345;
    const CORBA_UShort us = 54321;
    const CORBA_Long l = -123456789;
    const CORBA_ULong ul = 4000000000u;
    const CORBA_Float f = 3.25f;
    const CORBA_Double d = -6.0221e23;
    const CORBA_Short sa[3] = {1, -2, 0x1234};
    const CORBA_Double da[2] = {1.5, -0.125};

    CORBA_ULong count = 0;
    OBCount(o, count);
    OBCount(s, count);
    OBCount(c, count);
    OBCount(l, count);
    OBCount(us, count);
    OBCount(d, count);
    OBCount(ul, count);
    OBCount(f, count);
    OBCount(sa, 3, count);
    OBCount(da, 2, count);
    OBBuffer b(count);
    CORBA_Octet* cur = b.data;
    OBWrite(o, cur);
    OBWrite(s, cur);
    OBWrite(c, cur);
    OBWrite(l, cur);
    OBWrite(us, cur);
    OBWrite(d, cur);
    OBWrite(ul, cur);
    OBWrite(f, cur);
    OBWrite(sa, 3, cur);
    OBWrite(da, 2, cur);
    ASSERT_EQ(cur, b.data + count);  // count and write agree

    if (swap) {  // offsets follow from the layout above
        reverseValue<CORBA_Short>(b.data + 2);
        reverseValue<CORBA_Long>(b.data + 8);
        reverseValue<CORBA_UShort>(b.data + 12);
        reverseValue<CORBA_Double>(b.data + 16);
        reverseValue<CORBA_ULong>(b.data + 24);
        reverseValue<CORBA_Float>(b.data + 28);
        for (int i = 0; i < 3; ++i)
            reverseValue<CORBA_Short>(b.data + 32 + 2 * i);
        for (int i = 0; i < 2; ++i)
            reverseValue<CORBA_Double>(b.data + 40 + 8 * i);
        ASSERT_EQ(count, 56u);
    }

    OBInCursor in = OBMakeInCursor(b);
    CORBA_Octet o2;
    CORBA_Char c2;
    CORBA_Short s2;
    CORBA_UShort us2;
    CORBA_Long l2;
    CORBA_ULong ul2;
    CORBA_Float f2;
    CORBA_Double d2;
    CORBA_Short sa2[3];
    CORBA_Double da2[2];
    OBRead(o2, in, swap);
    OBRead(s2, in, swap);
    OBRead(c2, in, swap);
    OBRead(l2, in, swap);
    OBRead(us2, in, swap);
    OBRead(d2, in, swap);
    OBRead(ul2, in, swap);
    OBRead(f2, in, swap);
    OBRead(sa2, 3, in, swap);
    OBRead(da2, 2, in, swap);
    EXPECT_EQ(in.cur, in.end);
    EXPECT_EQ(o2, o);
    EXPECT_EQ(c2, c);
    EXPECT_EQ(s2, s);
    EXPECT_EQ(us2, us);
    EXPECT_EQ(l2, l);
    EXPECT_EQ(ul2, ul);
    EXPECT_EQ(f2, f);
    EXPECT_EQ(d2, d);
    EXPECT_TRUE(std::equal(sa, sa + 3, sa2));
    EXPECT_TRUE(std::equal(da, da + 2, da2));
}

INSTANTIATE_TEST_SUITE_P(BothByteOrders, RoundTrip, ::testing::Values(false, true));

TEST(CdrRead, OctetsAndCharsIgnoreSwap) {
    Received r({'a', 'b', 7});
    CORBA_Char chars[2];
    CORBA_Octet o;
    OBRead(chars, 2, r.in, true);
    OBRead(o, r.in, true);
    EXPECT_EQ(chars[0], 'a');
    EXPECT_EQ(chars[1], 'b');
    EXPECT_EQ(o, 7);
}

std::vector<CORBA_Octet> stringOctets(CORBA_ULong len, const std::vector<CORBA_Octet>& chars) {
    CORBA_Octet prefix[4];
    std::memcpy(prefix, &len, 4);
    std::vector<CORBA_Octet> v(prefix, prefix + 4);
    for (CORBA_Octet o : chars)
        v.push_back(o);
    return v;
}

TEST(CdrReadString, WellFormed) {
    Received r(stringOctets(4, {'a', 'b', 'c', 0}));
    CORBA_String_var s = CORBA_string_dup("old");
    OBRead(s, r.in, false);
    EXPECT_STREQ(s, "abc");
    EXPECT_TRUE(CORBA_string_check(s));
    EXPECT_EQ(r.in.cur, r.in.end);

    Received empty(stringOctets(1, {0}));
    OBRead(s, empty.in, false);
    EXPECT_STREQ(s, "");
}

TEST(CdrReadString, SwappedLength) {
    Received r({0, 0, 0, 3, 'h', 'i', 0});
    CORBA_String_var s;
    OBRead(s, r.in, littleEndianHost);
    EXPECT_STREQ(s, "hi");
}

TEST(CdrReadString, MalformedRaisesMarshal) {
    const std::vector<std::vector<CORBA_Octet>> cases = {
        stringOctets(0, {}),                    // length 0
        stringOctets(3, {'a', 0, 'b'}),         // embedded NUL, no final NUL
        stringOctets(3, {'a', 0, 0}),           // embedded NUL before the end
        stringOctets(3, {'a', 'b', 'c'}),       // missing NUL
        stringOctets(5, {'a', 'b', 'c', 0}),    // length beyond the data
        stringOctets(0xFFFFFFFFu, {'a', 0}),    // huge length: no allocation
        {4, 0, 0},                              // truncated length
    };
    for (const auto& octets : cases) {
        Received r(octets);
        CORBA_String_var s = CORBA_string_dup("kept");
        try {
            OBRead(s, r.in, false);
            ADD_FAILURE() << "no exception for case of " << octets.size() << " octets";
        } catch (const CORBA_MARSHAL& e) {
            expectMarshal(e);
        }
        EXPECT_STREQ(s, "kept");
    }
}

TEST(CdrRead, PastTheEndRaisesMarshalForEveryPrimitive) {
    // Each read needs one octet more than remains (alignment included).
    {
        Received r({});
        CORBA_Octet o;
        EXPECT_THROW(OBRead(o, r.in, false), CORBA_MARSHAL);
        CORBA_Char c;
        EXPECT_THROW(OBRead(c, r.in, false), CORBA_MARSHAL);
    }
    {
        Received r({1});
        CORBA_Short s;
        EXPECT_THROW(OBRead(s, r.in, false), CORBA_MARSHAL);
        CORBA_UShort us;
        EXPECT_THROW(OBRead(us, r.in, false), CORBA_MARSHAL);
    }
    {
        Received r({1, 2, 3});
        CORBA_Long l;
        EXPECT_THROW(OBRead(l, r.in, false), CORBA_MARSHAL);
        CORBA_ULong ul;
        EXPECT_THROW(OBRead(ul, r.in, false), CORBA_MARSHAL);
        CORBA_Float f;
        EXPECT_THROW(OBRead(f, r.in, false), CORBA_MARSHAL);
    }
    {
        Received r({1, 2, 3, 4, 5, 6, 7});
        CORBA_Double d;
        EXPECT_THROW(OBRead(d, r.in, false), CORBA_MARSHAL);
        EXPECT_EQ(r.in.cur, r.buf.data);  // nothing consumed
    }
    {
        // The value itself would fit, but not after the alignment padding.
        Received r({1, 2, 3, 4, 5, 6, 7});
        r.in.cur += 1;
        CORBA_Long l;
        EXPECT_THROW(OBRead(l, r.in, false), CORBA_MARSHAL);
        r.in.cur = r.buf.data + 3;
        CORBA_Short s;
        OBRead(s, r.in, false);  // 4..5 fits
        EXPECT_EQ(r.in.cur, r.buf.data + 6);
        r.in.cur = r.buf.data + 5;
        EXPECT_THROW(OBRead(s, r.in, false), CORBA_MARSHAL);  // 6..7 does not
    }
    {
        Received r({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
        CORBA_Octet oa[12];
        EXPECT_THROW(OBRead(oa, 12, r.in, false), CORBA_MARSHAL);
        CORBA_Short sa[6];
        EXPECT_THROW(OBRead(sa, 6, r.in, false), CORBA_MARSHAL);
        CORBA_Long la[3];
        EXPECT_THROW(OBRead(la, 3, r.in, false), CORBA_MARSHAL);
        CORBA_Double da[2];
        EXPECT_THROW(OBRead(da, 2, r.in, false), CORBA_MARSHAL);
        CORBA_Long huge[1];
        EXPECT_THROW(OBRead(huge, 0x40000001u, r.in, false), CORBA_MARSHAL);  // n * 4 wraps in 32 bits
        OBRead(sa, 5, r.in, false);  // fits exactly
        OBRead(sa, 0, r.in, false);  // empty array: no room needed
    }
}

// A byte-order octet of 1 is little-endian data; every other value big-endian.
TEST(CdrByteOrder, OnlyOneIsLittleEndian) {
    EXPECT_FALSE(OBByteOrderSwap(OBNativeByteOrder()));
    EXPECT_EQ(OBByteOrderSwap(1), !littleEndianHost);
    for (CORBA_Octet flag : {0x00, 0x02, 0x03, 0x80, 0xFF})
        EXPECT_EQ(OBByteOrderSwap(flag), littleEndianHost) << int(flag);
}

TEST(CdrTake, AlignsChecksAndAdvances) {
    Received r({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    r.in.cur = r.buf.data + 1;
    EXPECT_EQ(OBTake(r.in, 2, 4), r.buf.data + 4);
    EXPECT_EQ(r.in.cur, r.buf.data + 12);
    r.in.cur = r.buf.data + 1;
    EXPECT_THROW(OBTake(r.in, 3, 4), CORBA_MARSHAL);
    EXPECT_EQ(r.in.cur, r.buf.data + 1);  // untouched when too short
}

// No elements: no alignment and no room needed, as the writers put no
// padding in front of no elements; the octets behind stay readable.
TEST(CdrTake, NoElementsNeitherAlignsNorChecks) {
    Received r({1, 2, 3, 4, 5});
    r.in.cur = r.buf.data + 1;
    EXPECT_EQ(OBTake(r.in, 0, 4), r.buf.data + 1);
    EXPECT_EQ(r.in.cur, r.buf.data + 1);
    r.in.cur = r.buf.data + 5;  // at the end, 3 octets short of 8-alignment
    EXPECT_EQ(OBTake(r.in, 0, 8), r.buf.data + 5);
    EXPECT_EQ(r.in.cur, r.in.end);

    OBInCursor none{nullptr, nullptr};  // empty data
    EXPECT_EQ(OBTake(none, 0, 8), nullptr);
    EXPECT_EQ(none.cur, nullptr);
    EXPECT_THROW(OBTake(none, 1, 1), CORBA_MARSHAL);
}

TEST(CdrPadding, UpToTheNextMultiple) {
    EXPECT_EQ(OBPadding(0, 8), 0u);
    EXPECT_EQ(OBPadding(1, 8), 7u);
    EXPECT_EQ(OBPadding(12, 8), 4u);
    EXPECT_EQ(OBPadding(5, 2), 1u);
    EXPECT_EQ(OBPadding(7, 1), 0u);
}

TEST(CdrCursor, StartBeyondTheDataIsMarshal) {
    OBBuffer b(8);
    EXPECT_EQ(OBMakeInCursor(b, 8).cur, b.data + 8);
    EXPECT_THROW(OBMakeInCursor(b, 9), CORBA_MARSHAL);
    OBInCursor in = OBMakeInCursor(b, 3);
    EXPECT_EQ(OBInOffset(b, in), 3u);
}

TEST(CdrCheckRoom, CountsElementsTimesSize) {
    Received r({1, 2, 3, 4, 5, 6, 7, 8});
    OBCheckRoom(r.in, 2, 4);
    EXPECT_THROW(OBCheckRoom(r.in, 3, 3), CORBA_MARSHAL);
    EXPECT_THROW(OBCheckRoom(r.in, 0x80000000u, 2), CORBA_MARSHAL);
}

TEST(Hex, EncodeLowerCase) {
    const CORBA_Octet octets[] = {0x00, 0x01, 0xAB, 0xFF, 0x7e};
    CORBA_String_var s = OBHexEncode(octets, 5);
    EXPECT_STREQ(s, "0001abff7e");
    CORBA_String_var none = OBHexEncode(nullptr, 0);
    EXPECT_STREQ(none, "");
}

TEST(Hex, DecodeBothCasesAndDropsOddDigit) {
    OBBuffer b;
    ASSERT_TRUE(OBHexDecode("00aBcDeF9", b));
    ASSERT_EQ(b.len, 4u);
    EXPECT_EQ(b.data[0], 0x00);
    EXPECT_EQ(b.data[1], 0xAB);
    EXPECT_EQ(b.data[2], 0xCD);
    EXPECT_EQ(b.data[3], 0xEF);
    ASSERT_TRUE(OBHexDecode("", b));
    EXPECT_EQ(b.len, 0u);
}

TEST(Hex, DecodeRejectsNonHexPairs) {
    OBBuffer b;
    for (const char* bad : {"0g", "g0", "12 4", "zz", "1\n", "-1", "0x"})
        EXPECT_FALSE(OBHexDecode(bad, b)) << bad;
}

TEST(Hex, RoundTrip) {
    CORBA_Octet all[256];
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<CORBA_Octet>(i);
    CORBA_String_var s = OBHexEncode(all, 256);
    OBBuffer b;
    ASSERT_TRUE(OBHexDecode(s, b));
    ASSERT_EQ(b.len, 256u);
    EXPECT_EQ(std::memcmp(b.data, all, 256), 0);
}

#ifndef _WIN32
TEST(CdrDeathTest, NullStringIsReported) {
    CORBA_ULong count = 0;
    const char* null = nullptr;
    EXPECT_DEATH(OBCount(null, count),
                 "Null pointer was passed as string parameter or return value");
    OBBuffer b(8);
    CORBA_Octet* cur = b.data;
    EXPECT_DEATH(OBWrite(null, cur),
                 "Null pointer was passed as string parameter or return value");
}
#endif

}  // namespace
