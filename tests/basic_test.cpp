// Guarded strings, CORBA_String_var, buffers and reference counting.
#include <OB/Basic.h>
#include <OB/Except.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

CORBA_ULong headerWord(const char* p, int index) {
    CORBA_ULong w;
    std::memcpy(&w, p - 8 + 4 * index, sizeof w);
    return w;
}

TEST(GuardedString, AllocWritesHeaderAndEmptyText) {
    char* p = CORBA_string_alloc(5);
    EXPECT_EQ(headerWord(p, 0), 0x2468ACEu);
    EXPECT_EQ(headerWord(p, 1), 6u);
    EXPECT_STREQ(p, "");
    EXPECT_EQ(OBStringCapacity(p), 5u);
    EXPECT_TRUE(CORBA_string_check(p));
    CORBA_string_free(p);
}

TEST(GuardedString, DupCopiesAndNullStaysNull) {
    char* p = CORBA_string_dup("hello");
    EXPECT_STREQ(p, "hello");
    EXPECT_EQ(OBStringCapacity(p), 5u);
    CORBA_string_free(p);
    EXPECT_EQ(CORBA_string_dup(nullptr), nullptr);
    EXPECT_EQ(OBStringCapacity(nullptr), 0u);
    CORBA_string_free(nullptr);  // accepted
}

TEST(GuardedString, CheckRejectsForeignMemoryAndAcceptsNull) {
    alignas(8) char block[16] = {};
    EXPECT_FALSE(CORBA_string_check(block + 8));
    EXPECT_TRUE(CORBA_string_check(nullptr));
}

TEST(GuardedString, FreeMarksHeaderFreed) {
    char* p = CORBA_string_dup("x");
    CORBA_string_free(p);
    EXPECT_FALSE(CORBA_string_check(p));  // freed blocks stay readable for a while
    EXPECT_EQ(headerWord(p, 0), 0xE2C4A68u);
}

#ifndef _WIN32
using GuardedStringDeathTest = ::testing::Test;

TEST_F(GuardedStringDeathTest, DoubleFreeIsReported) {
    char* p = CORBA_string_dup("twice");
    CORBA_string_free(p);
    EXPECT_DEATH(CORBA_string_free(p),
                 "Non-compliant application error detected:\n"
                 "Memory that was already deallocated was deallocated again(.|\n)*"
                 "magicp != magicFree");
}

TEST_F(GuardedStringDeathTest, ForeignBlockIsReportedAsWrongAllocator) {
    alignas(8) char block[16] = {1, 2, 3, 4, 5, 6, 7, 8, 'a', 0};
    EXPECT_DEATH(CORBA_string_free(block + 8),
                 "Application used wrong memory allocation function(.|\n)*magicp == magic");
}

TEST_F(GuardedStringDeathTest, VarRejectsForeignPointer) {
    alignas(8) char block[16] = {1, 2, 3, 4, 5, 6, 7, 8, 'a', 0};
    EXPECT_DEATH({ CORBA_String_var v(block + 8); },
                 "wrong memory allocation function(.|\n)*CORBA_string_check\\(p\\)");
}

TEST_F(GuardedStringDeathTest, VarNullInitIsReported) {
    char* null = nullptr;
    EXPECT_DEATH({ CORBA_String_var v(null); },
                 "Null pointer was used to initialize T_var type");
}

TEST_F(GuardedStringDeathTest, VarSelfAdoptionIsReported) {
    CORBA_String_var v = CORBA_string_dup("own");
    EXPECT_DEATH(v = v.ptr_, "Self assignment caused a dangling pointer(.|\n)*p != ptr_");
}
#endif

TEST(StringVar, TakesOverDuplicatesAndReleases) {
    char* p = CORBA_string_dup("abc");
    CORBA_String_var a(p);
    EXPECT_EQ(a.ptr_, p);  // taken over, not copied
    CORBA_String_var b(a);
    EXPECT_NE(b.ptr_, a.ptr_);
    EXPECT_STREQ(b, "abc");
    const char* literal = "lit";
    CORBA_String_var c(literal);
    EXPECT_NE(c.ptr_, literal);
    EXPECT_TRUE(CORBA_string_check(c.ptr_));
    char* r = c._retn();
    EXPECT_EQ(c.ptr_, nullptr);
    CORBA_string_free(r);
}

TEST(StringVar, AssignmentForms) {
    CORBA_String_var v;
    v = CORBA_string_dup("one");
    char* held = v.ptr_;
    v = v;  // same object: nothing changes
    EXPECT_EQ(v.ptr_, held);
    CORBA_String_var w;
    w = v;  // a different holder: duplicated
    EXPECT_NE(w.ptr_, v.ptr_);
    EXPECT_STREQ(w, "one");
    w = static_cast<const char*>(w.ptr_ + 1);  // copy from inside the own string
    EXPECT_STREQ(w, "ne");
    char* null = nullptr;
    w = null;
    EXPECT_EQ(w.ptr_, nullptr);
    w = null;  // adopting null again is harmless
    char*& o = v.out();
    EXPECT_EQ(o, nullptr);
}

TEST(StringVar, AppendGrowsToMaxOfTwiceCapacityAndNeed) {
    CORBA_String_var v;
    v += "abc";  // from nothing: exactly the need
    EXPECT_EQ(OBStringCapacity(v), 3u);
    v += "d";  // 2 * 3 > 4
    EXPECT_EQ(OBStringCapacity(v), 6u);
    char* before = v.ptr_;
    v += "ef";  // fits: no new storage
    EXPECT_EQ(v.ptr_, before);
    EXPECT_EQ(OBStringCapacity(v), 6u);
    v += "ghijklmnopqrstu";  // need 21 > 2 * 6
    EXPECT_EQ(OBStringCapacity(v), 21u);
    EXPECT_STREQ(v, "abcdefghijklmnopqrstu");
    v += static_cast<const char*>(nullptr);
    EXPECT_STREQ(v, "abcdefghijklmnopqrstu");
}

TEST(StringVar, AppendingNothingToAnEmptyHolderGivesAnEmptyString) {
    CORBA_String_var text;
    text += "";
    ASSERT_NE(text.ptr_, nullptr);
    EXPECT_STREQ(text, "");
    EXPECT_TRUE(CORBA_string_check(text));

    CORBA_String_var nul;
    nul += '\0';
    ASSERT_NE(nul.ptr_, nullptr);
    EXPECT_STREQ(nul, "");

    // The empty string so made grows like any other.
    text += "ab";
    EXPECT_STREQ(text, "ab");
}

TEST(StringVar, AppendCharAndNumbers) {
    CORBA_String_var v = CORBA_string_dup("error number ");
    v += CORBA_ULong(4294967295u);
    v += ' ';
    v += CORBA_Long(-2147483647 - 1);
    v += ',';
    v += CORBA_Long(0);
    v += CORBA_Long(-7);
    EXPECT_STREQ(v, "error number 4294967295 -2147483648,0-7");
}

TEST(StringVar, AppendOwnText) {
    CORBA_String_var v = CORBA_string_dup("ab");
    v += "cd";  // grows to 4
    v += static_cast<const char*>(v.ptr_);  // source is the storage that is replaced
    EXPECT_STREQ(v, "abcdabcd");
}

TEST(Buffer, EmptyAndSizedAreAligned) {
    OBBuffer empty;
    EXPECT_EQ(empty.real, nullptr);
    EXPECT_EQ(empty.data, nullptr);
    EXPECT_EQ(empty.len, 0u);
    for (CORBA_ULong n : {0u, 1u, 13u, 4096u}) {
        OBBuffer b(n);
        EXPECT_EQ(b.len, n);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b.data) % 8, 0u);
        EXPECT_GE(b.data, b.real);
        EXPECT_LE(b.data, b.real + 7);
    }
}

TEST(Buffer, ReallocKeepsContentsAndConsumeMoves) {
    OBBuffer b(4);
    std::memcpy(b.data, "wxyz", 4);
    b.realloc(100);
    EXPECT_EQ(b.len, 100u);
    EXPECT_EQ(std::memcmp(b.data, "wxyz", 4), 0);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b.data) % 8, 0u);

    OBBuffer c(8);
    c.consume(b);
    EXPECT_EQ(c.len, 100u);
    EXPECT_EQ(std::memcmp(c.data, "wxyz", 4), 0);
    EXPECT_EQ(b.real, nullptr);
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.len, 0u);
    c.consume(c);  // harmless
    EXPECT_EQ(c.len, 100u);

    c.alloc(3);
    EXPECT_EQ(c.len, 3u);
}

#ifndef _WIN32
TEST(BufferDeathTest, ReallocMustGrow) {
    OBBuffer b(10);
    EXPECT_DEATH(b.realloc(10), "n > len");
}
#endif

TEST(Buffer, HugeSizeIsNoMemory) {
    OBBuffer b;
    if (sizeof(void*) == 4) {
        EXPECT_THROW(b.alloc(0xFFFFFFFFu), CORBA_NO_MEMORY);
    }
    EXPECT_THROW(CORBA_string_alloc(0xFFFFFFFFu), CORBA_NO_MEMORY);
}

class Counted : public OBSimpleRefCount {
public:
    explicit Counted(int* deaths) : deaths_(deaths) {}
    ~Counted() override { ++*deaths_; }

private:
    int* deaths_;
};

TEST(RefCount, StartsAtOneAndDeletesAtZero) {
    int deaths = 0;
    Counted* c = new Counted(&deaths);
    EXPECT_EQ(c->_OB_getRef(), 1);
    EXPECT_EQ(OBDuplicate(c), c);
    EXPECT_EQ(c->_OB_getRef(), 2);
    CORBA_release(c);
    EXPECT_EQ(deaths, 0);
    CORBA_release(c);
    EXPECT_EQ(deaths, 1);

    Counted* nil = nullptr;
    EXPECT_TRUE(CORBA_is_nil(nil));
    EXPECT_EQ(OBDuplicate(nil), nullptr);
    CORBA_release(nil);
}

TEST(RefCount, ObjVarReleasesOnDestructionAndAssignment) {
    int deaths = 0;
    {
        OBObjVar<Counted> a = new Counted(&deaths);
        OBObjVar<Counted> b = a;
        EXPECT_EQ(a->_OB_getRef(), 2);
        b = new Counted(&deaths);
        EXPECT_EQ(a->_OB_getRef(), 1);
        b = b;
        EXPECT_EQ(b->_OB_getRef(), 1);
        a = nullptr;
        EXPECT_EQ(deaths, 1);
        Counted* kept = b._retn();
        EXPECT_TRUE(CORBA_is_nil(b.in()));
        CORBA_release(kept);
        EXPECT_EQ(deaths, 2);
        b = new Counted(&deaths);
    }
    EXPECT_EQ(deaths, 3);
}

#ifndef _WIN32
TEST(RefCountDeathTest, DeleteWithCountIsReported) {
    int deaths = 0;
    EXPECT_DEATH({ delete new Counted(&deaths); },
                 "Object was deleted without an object reference count of zero(.|\n)*ref_ == 0");
}

TEST(RefCountDeathTest, ArrowOnNilIsReported) {
    OBObjVar<Counted> nil;
    EXPECT_DEATH(nil->_OB_getRef(),
                 "operator->\\(\\) was used on null pointer or nil object reference");
}
#endif

TEST(OCIBuffer, PositionAndConsume) {
    OBObjVar<OCI_Buffer> b = new OCI_Buffer(12);
    EXPECT_EQ(b->pos, 0u);
    EXPECT_EQ(b->length(), 12u);
    EXPECT_FALSE(b->is_full());
    std::memcpy(b->data(), "GIOP", 4);
    b->pos = 12;
    EXPECT_TRUE(b->is_full());
    b->realloc(20);
    EXPECT_EQ(b->length(), 20u);
    EXPECT_FALSE(b->is_full());
    EXPECT_EQ(std::memcmp(b->data(), "GIOP", 4), 0);

    OBBuffer out(5);
    b->consume(out);
    EXPECT_EQ(b->length(), 5u);
    EXPECT_EQ(b->pos, 0u);
    EXPECT_EQ(out.len, 0u);

    OBObjVar<OCI_Buffer> empty = new OCI_Buffer;
    EXPECT_EQ(empty->length(), 0u);
    EXPECT_TRUE(empty->is_full());
}

}  // namespace
