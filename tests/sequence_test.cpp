// Sequence containers: capacity arithmetic, removal, copies, owning kinds,
// sequence CDR and encapsulations.
#include <OB/Except.h>
#include <OB/Encapsulation.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

typedef OBPlainSeq<CORBA_Long> LongSeq;

bool littleEndianHost() {
    return OBNativeByteOrder() == 1;
}

LongSeq numbered(CORBA_ULong n) {
    LongSeq s;
    s.length(n);
    for (CORBA_ULong i = 0; i < n; ++i)
        s[i] = static_cast<CORBA_Long>(i);
    return s;
}

void expectElements(const LongSeq& s, const std::vector<CORBA_Long>& want) {
    ASSERT_EQ(s.length(), want.size());
    for (CORBA_ULong i = 0; i < s.length(); ++i)
        EXPECT_EQ(s[i], want[i]) << "element " << i;
}

TEST(SequenceGrowth, CapacityIsMaxOfTwiceAndNeed) {
    LongSeq s;
    EXPECT_EQ(s.maximum(), 0u);
    s = numbered(4);
    EXPECT_EQ(s.maximum(), 4u);  // from empty: exactly the need
    s.length(9);
    EXPECT_EQ(s.maximum(), 9u);  // 2 * 4 < 9

    LongSeq t = numbered(4);
    t.length(5);
    EXPECT_EQ(t.maximum(), 8u);  // 2 * 4 > 5
    EXPECT_EQ(t[3], 3);
    t.length(2);  // shrinking keeps the storage
    EXPECT_EQ(t.maximum(), 8u);
    t.length(8);
    EXPECT_EQ(t.maximum(), 8u);
    EXPECT_EQ(t[1], 1);
}

TEST(SequenceGrowth, PreallocatedMaximum) {
    LongSeq s(10);
    EXPECT_EQ(s.maximum(), 10u);
    EXPECT_EQ(s.length(), 0u);
    s.length(10);
    EXPECT_EQ(s.maximum(), 10u);
}

TEST(SequenceRemove, FrontHalfMovesFrontPartBack) {
    LongSeq s = numbered(6);
    s.remove(1);  // 1 < 6 / 2
    expectElements(s, {0, 2, 3, 4, 5});
    EXPECT_EQ(s.off_, 1u);
    EXPECT_EQ(s.maximum(), 5u);
    s.remove(0);
    expectElements(s, {2, 3, 4, 5});
    EXPECT_EQ(s.off_, 2u);
    EXPECT_EQ(s.maximum(), 4u);
}

TEST(SequenceRemove, BackHalfMovesBackPartForward) {
    LongSeq s = numbered(6);
    s.remove(3);  // 3 == 6 / 2
    expectElements(s, {0, 1, 2, 4, 5});
    EXPECT_EQ(s.off_, 0u);
    EXPECT_EQ(s.maximum(), 6u);
    s.remove(4);
    expectElements(s, {0, 1, 2, 4});
}

TEST(SequenceGrowth, ReclaimsHalfTheFrontGap) {
    LongSeq s = numbered(8);
    for (int i = 0; i < 4; ++i)
        s.remove(0);
    EXPECT_EQ(s.off_, 4u);
    EXPECT_EQ(s.maximum(), 4u);
    CORBA_Long* storage = s.data_;
    s.length(6);  // off_ / 2 = 2 >= 6 - 4: taken from the gap
    EXPECT_EQ(s.data_, storage);
    EXPECT_EQ(s.off_, 2u);
    EXPECT_EQ(s.maximum(), 6u);
    EXPECT_EQ(s[0], 4);
    EXPECT_EQ(s[3], 7);
    s.length(8);  // off_ / 2 = 1 < 8 - 6: new storage, same slot numbers
    EXPECT_NE(s.data_, storage);
    EXPECT_EQ(s.off_, 2u);
    EXPECT_EQ(s.maximum(), 12u);
    EXPECT_EQ(s.data_[2], 4);
    EXPECT_EQ(s[3], 7);
}

TEST(SequenceCopy, KeepsSlotsAndCapacity) {
    LongSeq s = numbered(8);
    s.remove(0);
    s.remove(0);
    LongSeq c(s);
    EXPECT_NE(c.data_, s.data_);
    EXPECT_EQ(c.off_, 2u);
    EXPECT_EQ(c.maximum(), 6u);
    EXPECT_TRUE(c.rel_);
    expectElements(c, {2, 3, 4, 5, 6, 7});
    LongSeq a = numbered(1);
    a = s;
    expectElements(a, {2, 3, 4, 5, 6, 7});
    a = a;
    expectElements(a, {2, 3, 4, 5, 6, 7});
}

TEST(SequenceCallerStorage, IsCopiedBeforeChange) {
    CORBA_Long storage[4] = {10, 11, 12, 13};
    LongSeq s(4, 3, storage);
    EXPECT_FALSE(s.rel_);
    EXPECT_EQ(s[2], 12);
    s.length(1);  // within the capacity: the caller's storage stays in use
    EXPECT_EQ(s.data_, storage);
    s.length(3);
    s.remove(0);  // copies into owned storage first
    EXPECT_TRUE(s.rel_);
    EXPECT_NE(s.data_, storage);
    EXPECT_EQ(storage[0], 10);
    expectElements(s, {11, 12});

    LongSeq owned(3, 3, LongSeq::allocbuf(3), true);
    owned[0] = 5;
    owned[1] = 6;
    owned[2] = 7;
    owned.length(4);
    EXPECT_EQ(owned.maximum(), 6u);
    EXPECT_EQ(owned[0], 5);
}

TEST(StringSequence, DroppedElementsAreFreedAndExposedOnesEmpty) {
    OBStrSeq s;
    s.length(3);
    EXPECT_EQ(s[0].ptr_, nullptr);
    s[0] = CORBA_string_dup("zero");
    s[1] = static_cast<const char*>("one");
    s[2] = CORBA_string_dup("two");
    char* two = s[2].ptr_;
    s.length(2);
    EXPECT_EQ(s.data_[s.off_ + 2].ptr_, nullptr);  // reset while the slot stays
    EXPECT_FALSE(CORBA_string_check(two));        // the string was freed
    s.length(3);
    EXPECT_EQ(s[2].ptr_, nullptr);
    s.remove(0);
    EXPECT_STREQ(s[0], "one");
    EXPECT_EQ(s.data_[0].ptr_, nullptr);  // the vacated front slot holds nothing
    OBStrSeq c = s;
    EXPECT_STREQ(c[0], "one");
    EXPECT_NE(c[0].ptr_, s[0].ptr_);
}

TEST(StringSequence, GapReclaimDoesNotLeaveDuplicates) {
    OBStrSeq s;
    s.length(8);
    for (CORBA_ULong i = 0; i < 8; ++i)
        s[i] = CORBA_string_dup("x");
    for (int i = 0; i < 4; ++i)
        s.remove(0);
    s.length(6);  // elements move 2 slots toward the front
    EXPECT_EQ(s.off_, 2u);
    EXPECT_STREQ(s[3], "x");
    EXPECT_EQ(s[4].ptr_, nullptr);
    EXPECT_EQ(s[5].ptr_, nullptr);
}

class Counted : public OBSimpleRefCount {
public:
    explicit Counted(int* deaths) : deaths_(deaths) {}
    ~Counted() override { ++*deaths_; }

private:
    int* deaths_;
};

TEST(ObjectSequence, ReleasesOnShrinkRemoveAndDestruction) {
    int deaths = 0;
    {
        OBObjSeq<Counted> s;
        s.length(3);
        for (CORBA_ULong i = 0; i < 3; ++i)
            s[i] = new Counted(&deaths);
        OBObjSeq<Counted> copy = s;
        EXPECT_EQ(s[0]->_OB_getRef(), 2);
        copy.length(0);
        EXPECT_EQ(s[0]->_OB_getRef(), 1);
        s.length(2);
        EXPECT_EQ(deaths, 1);
        s.remove(0);
        EXPECT_EQ(deaths, 2);
        s.length(5);  // growth keeps the element, exposes nil ones
        EXPECT_TRUE(CORBA_is_nil(s[4].in()));
        EXPECT_EQ(s[0]->_OB_getRef(), 1);
    }
    EXPECT_EQ(deaths, 3);
}

#ifndef _WIN32
TEST(SequenceDeathTest, IndexOutOfRangeIsReported) {
    LongSeq s = numbered(2);
    EXPECT_DEATH(s[2] = 0,
                 "Index for sequence operator\\[\\]\\(\\) or remove\\(\\) function was out of "
                 "range(.|\n)*idx < len_");
    EXPECT_DEATH(s.remove(2), "out of range(.|\n)*n < len_");
}

TEST(SequenceDeathTest, LengthAboveMaximumIsReported) {
    CORBA_Long storage[2] = {};
    EXPECT_DEATH({ LongSeq s(2, 3, storage); },
                 "Sequence length was greater than maximum sequence length(.|\n)*len_ <= max_");
    OBBndSeq<LongSeq, 3> bounded;
    bounded.length(3);
    EXPECT_EQ(bounded.maximum(), 3u);
    EXPECT_DEATH(bounded.length(4), "maximum sequence length(.|\n)*newLen <= max");
}
#endif

// --- CDR of sequences ------------------------------------------------------

TEST(SequenceCdr, RoundTripBothOrders) {
    LongSeq longs = numbered(3);
    longs[2] = -70000;
    OBStrSeq strings;
    strings.length(2);
    strings[0] = static_cast<const char*>("alpha");
    strings[1] = static_cast<const char*>("");
    CORBA_OctetSeq octets;
    octets.length(3);
    octets[0] = 1;
    octets[1] = 2;
    octets[2] = 3;

    CORBA_ULong count = 1;
    OBCount(octets, count);
    OBCount(longs, count);
    OBCount(strings, count);
    EXPECT_EQ(count, 1u + 3 + 4 + 3 + 1 + 4 + 12 + 4 + 4 + 6 + 2 + 4 + 1);
    OBBuffer b(count);
    CORBA_Octet* cur = b.data + 1;
    OBWrite(octets, cur);
    OBWrite(longs, cur);
    OBWrite(strings, cur);
    ASSERT_EQ(cur, b.data + count);

    for (bool swap : {false, true}) {
        OBBuffer copy(count);
        std::memcpy(copy.data, b.data, count);
        if (swap)  // every multi-octet value, as a peer of the other order writes it
            for (CORBA_ULong at : {4u, 12u, 16u, 20u, 24u, 28u, 32u, 44u})
                std::reverse(copy.data + at, copy.data + at + 4);
        OBInCursor in = OBMakeInCursor(copy, 1);
        CORBA_OctetSeq o2;
        LongSeq l2;
        OBStrSeq s2;
        OBRead(o2, in, swap);
        OBRead(l2, in, swap);
        OBRead(s2, in, swap);
        EXPECT_EQ(in.cur, in.end);
        ASSERT_EQ(o2.length(), 3u);
        EXPECT_EQ(o2[2], 3);
        expectElements(l2, {0, 1, -70000});
        ASSERT_EQ(s2.length(), 2u);
        EXPECT_STREQ(s2[0], "alpha");
        EXPECT_STREQ(s2[1], "");
    }
}

std::vector<CORBA_Octet> withCount(CORBA_ULong n, std::vector<CORBA_Octet> rest) {
    CORBA_Octet prefix[4];
    std::memcpy(prefix, &n, 4);
    std::vector<CORBA_Octet> v(prefix, prefix + 4);
    for (CORBA_Octet o : rest)
        v.push_back(o);
    return v;
}

// Reads a Seq from octets and expects CORBA_MARSHAL; unless the count itself
// was acceptable (`counted`), nothing may have been allocated.
template<class Seq> void expectMarshal(const std::vector<CORBA_Octet>& octets, bool counted = false) {
    OBBuffer b(CORBA_ULong(octets.size()));
    std::memcpy(b.data, octets.data(), octets.size());
    OBInCursor in = OBMakeInCursor(b);
    Seq s;
    try {
        OBRead(s, in, false);
        ADD_FAILURE() << "no exception";
    } catch (const CORBA_MARSHAL& e) {
        EXPECT_EQ(e.minor(), 0u);
        EXPECT_EQ(e.completed(), CORBA_COMPLETED_NO);
    }
    if (!counted) {
        EXPECT_EQ(s.max_, 0u);  // nothing was allocated
    }
}

TEST(SequenceCdr, CountsBeyondTheDataRaiseMarshalBeforeAllocating) {
    expectMarshal<CORBA_OctetSeq>(withCount(4, {1, 2, 3}));
    expectMarshal<CORBA_OctetSeq>(withCount(0xFFFFFFFFu, {}));
    expectMarshal<LongSeq>(withCount(2, {1, 2, 3, 4, 5, 6, 7}));
    expectMarshal<LongSeq>(withCount(0x40000001u, {1, 2, 3, 4}));
    expectMarshal<OBPlainSeq<CORBA_Double>>(withCount(1, {0, 0, 0, 0, 1, 2, 3}));
    expectMarshal<OBStrSeq>(withCount(0x7FFFFFFFu, {1, 0, 0, 0, 0}));
    expectMarshal<OBVarSeq<CORBA_OctetSeq>>(withCount(1000000u, {}));
    expectMarshal<OBBndSeq<LongSeq, 1>>(withCount(2, {1, 0, 0, 0, 2, 0, 0, 0}));
    expectMarshal<CORBA_OctetSeq>({1, 0});  // the count itself is cut off
}

TEST(SequenceCdr, ElementFailureInsideRaisesMarshal) {
    // Two strings announced, the second one's length runs past the end.
    expectMarshal<OBStrSeq>(withCount(2, {2, 0, 0, 0, 'a', 0, 0, 0, 9, 0, 0, 0, 'b', 0}), true);
    // Two strings announced, only one present.
    expectMarshal<OBStrSeq>(withCount(2, {2, 0, 0, 0, 'a', 0}), true);
}

TEST(SequenceCdr, NestedSequences) {
    OBVarSeq<LongSeq> outer;
    outer.length(2);
    outer[0] = numbered(2);
    outer[1] = numbered(0);
    CORBA_ULong count = 0;
    OBCount(outer, count);
    EXPECT_EQ(count, 4u + 4 + 8 + 4);
    OBBuffer b(count);
    CORBA_Octet* cur = b.data;
    OBWrite(outer, cur);
    OBInCursor in = OBMakeInCursor(b);
    OBVarSeq<LongSeq> back;
    OBRead(back, in, false);
    ASSERT_EQ(back.length(), 2u);
    expectElements(back[0], {0, 1});
    EXPECT_EQ(back[1].length(), 0u);
}

// --- encapsulations --------------------------------------------------------

TEST(Encapsulation, WriteCountsFromTheFlagOctet) {
    CORBA_OctetSeq seq;
    OBWriteEncapsulation(
        seq,
        [](CORBA_ULong& c) {
            OBCount(CORBA_UShort(0x0102), c);
            OBCount(CORBA_Double(1.0), c);
        },
        [](CORBA_Octet*& p) {
            OBWrite(CORBA_UShort(0x0102), p);
            OBWrite(CORBA_Double(1.0), p);
        });
    ASSERT_EQ(seq.length(), 16u);  // flag, pad, ushort at 2, pad, double at 8
    EXPECT_EQ(seq[0], OBNativeByteOrder());
    for (CORBA_ULong i : {1u, 4u, 5u, 6u, 7u})
        EXPECT_EQ(seq[i], 0) << i;  // the padding is written as zero
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(seq.data()) % 8, 0u);

    OBEncapsulation enc(seq);
    EXPECT_FALSE(enc.swap);
    CORBA_UShort us;
    CORBA_Double d;
    OBRead(us, enc.in, enc.swap);
    OBRead(d, enc.in, enc.swap);
    EXPECT_EQ(us, 0x0102);
    EXPECT_EQ(d, 1.0);
    EXPECT_EQ(enc.in.cur, enc.in.end);
}

TEST(Encapsulation, FlagOtherThanOneIsBigEndian) {
    for (CORBA_Octet flag : {0, 2}) {
        // Read from an odd address inside a larger block: the copy realigns.
        const CORBA_Octet octets[] = {0xEE, flag, 0, 0, 0, 0, 0, 1, 2};
        OBEncapsulation enc(octets + 1, 8);
        EXPECT_EQ(enc.swap, littleEndianHost());
        CORBA_ULong v;
        OBRead(v, enc.in, enc.swap);
        EXPECT_EQ(v, 258u);
    }
    const CORBA_Octet little[] = {1, 0, 0, 0, 2, 1, 0, 0};
    OBEncapsulation enc(little, 8);
    EXPECT_EQ(enc.swap, !littleEndianHost());
}

TEST(Encapsulation, EmptyIsMarshal) {
    CORBA_OctetSeq empty;
    EXPECT_THROW(OBEncapsulation enc(empty), CORBA_MARSHAL);
}

}  // namespace
