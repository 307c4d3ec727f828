// The exception classes and the marshalled form of system exceptions.
#include <OB/CDR.h>
#include <OB/Except.h>

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

namespace {

// The 26 standard system exceptions in the order of the class table.
#define STANDARD(X)                                                                    \
    X(UNKNOWN) X(BAD_PARAM) X(NO_MEMORY) X(IMP_LIMIT) X(COMM_FAILURE) X(INV_OBJREF)    \
    X(NO_PERMISSION) X(INTERNAL) X(MARSHAL) X(INITIALIZE) X(NO_IMPLEMENT)              \
    X(BAD_TYPECODE) X(BAD_OPERATION) X(NO_RESOURCES) X(NO_RESPONSE) X(PERSIST_STORE)   \
    X(BAD_INV_ORDER) X(TRANSIENT) X(FREE_MEM) X(INV_IDENT) X(INV_FLAG) X(INTF_REPOS)   \
    X(BAD_CONTEXT) X(OBJ_ADAPTER) X(DATA_CONVERSION) X(OBJECT_NOT_EXIST)
#define ALL_CLASSES(X) STANDARD(X) X(INV_POLICY)

// One system exception class: how to build it and what it should report.
struct ClassInfo {
    std::string id;
    const std::type_info* type;
    std::unique_ptr<CORBA_SystemException> (*make)(CORBA_ULong minor, CORBA_CompletionStatus c);
    bool (*narrows)(CORBA_Exception* e);
};

#define CLASS_INFO(NAME)                                                                 \
    ClassInfo{"IDL:omg.org/CORBA/" #NAME ":1.0", &typeid(CORBA_##NAME),                  \
              [](CORBA_ULong minor, CORBA_CompletionStatus c) {                          \
                  return std::unique_ptr<CORBA_SystemException>(new CORBA_##NAME(minor, c)); \
              },                                                                         \
              [](CORBA_Exception* e) { return CORBA_##NAME::_narrow(e) == e && e; }},

const std::vector<ClassInfo>& standardClasses()
{
    static const std::vector<ClassInfo> v{STANDARD(CLASS_INFO)};
    return v;
}

const std::vector<ClassInfo>& allClasses()
{
    static const std::vector<ClassInfo> v{ALL_CLASSES(CLASS_INFO)};
    return v;
}

bool hostIsLittleEndian()
{
    return OBNativeByteOrder() == 1;
}

// Independent encoder of the marshalled form, in a chosen byte order, from
// offset `start` (octets in front are zero).
class Encoder {
public:
    Encoder(bool littleEndian, size_t start) : little_(littleEndian), bytes_(start, 0) {}

    Encoder& ulong(CORBA_ULong v)
    {
        while (bytes_.size() % 4 != 0)
            bytes_.push_back(0);
        for (int i = 0; i < 4; ++i) {
            const int shift = little_ ? 8 * i : 8 * (3 - i);
            bytes_.push_back(static_cast<CORBA_Octet>(v >> shift));
        }
        return *this;
    }
    Encoder& raw(const void* p, size_t n)
    {
        const auto* o = static_cast<const CORBA_Octet*>(p);
        bytes_.insert(bytes_.end(), o, o + n);
        return *this;
    }
    Encoder& string(const char* s)
    {
        const size_t n = std::strlen(s) + 1;
        ulong(static_cast<CORBA_ULong>(n));
        return raw(s, n);
    }
    Encoder& exception(const char* id, CORBA_ULong minor, CORBA_ULong completed)
    {
        return string(id).ulong(minor).ulong(completed);
    }
    const std::vector<CORBA_Octet>& bytes() const { return bytes_; }

private:
    bool little_;
    std::vector<CORBA_Octet> bytes_;
};

// Received data in 8-aligned storage of exactly the encoded size.
struct Received {
    explicit Received(const std::vector<CORBA_Octet>& bytes)
        : buf(static_cast<CORBA_ULong>(bytes.size()))
    {
        if (!bytes.empty())
            std::memcpy(buf.data, bytes.data(), bytes.size());
    }
    OBInCursor cursor(CORBA_ULong start) const { return OBMakeInCursor(buf, start); }
    OBBuffer buf;
};

// Writes e with the two-pass scheme from offset `start`; the octets in front
// are zero. Checks that counting and writing agree.
std::vector<CORBA_Octet> marshal(const CORBA_SystemException& e, CORBA_ULong start)
{
    CORBA_ULong count = start;
    OBCount(e, count);
    OBBuffer buf(count);
    std::memset(buf.data, 0, count);
    CORBA_Octet* cursor = buf.data + start;
    OBWrite(e, cursor);
    EXPECT_EQ(cursor, buf.data + count);
    return std::vector<CORBA_Octet>(buf.data, buf.data + count);
}

std::unique_ptr<CORBA_SystemException> readBack(const std::vector<CORBA_Octet>& bytes,
                                                CORBA_ULong start, bool swap)
{
    Received r(bytes);
    OBInCursor in = r.cursor(start);
    std::unique_ptr<CORBA_SystemException> e = OBReadSystemException(in, swap);
    EXPECT_EQ(in.cur, in.end) << "the whole marshalled form is consumed";
    return e;
}

// ---------------------------------------------------------------------------

TEST(SystemException, ConstructorsSetReasonMinorAndCompletion)
{
    const CORBA_BAD_PARAM fromReason("bad index");
    EXPECT_STREQ(fromReason.reason(), "bad index");
    EXPECT_EQ(fromReason.minor(), 0u);
    EXPECT_EQ(fromReason.completed(), CORBA_COMPLETED_NO);

    const CORBA_BAD_PARAM fromCodes(7, CORBA_COMPLETED_MAYBE);
    ASSERT_NE(fromCodes.reason(), nullptr);
    EXPECT_STREQ(fromCodes.reason(), "");
    EXPECT_EQ(fromCodes.minor(), 7u);
    EXPECT_EQ(fromCodes.completed(), CORBA_COMPLETED_MAYBE);

    const CORBA_SystemException full("lost", 4294967295u, CORBA_COMPLETED_YES);
    EXPECT_STREQ(full.reason(), "lost");
    EXPECT_EQ(full.minor(), 4294967295u);
    EXPECT_EQ(full.completed(), CORBA_COMPLETED_YES);
}

TEST(SystemException, ReasonIsAnOwnedGuardedCopy)
{
    char text[] = "socket gone";
    const CORBA_COMM_FAILURE e(text, OBMinorRecv, CORBA_COMPLETED_NO);
    text[0] = 'X';
    EXPECT_STREQ(e.reason(), "socket gone");
    EXPECT_NE(e.reason(), text);
    EXPECT_TRUE(CORBA_string_check(e.reason()));
}

TEST(SystemException, CompletionOutsideTheEnumStaysAsGiven)
{
    const CORBA_SystemException e(3, static_cast<CORBA_CompletionStatus>(7));
    EXPECT_EQ(static_cast<CORBA_ULong>(e.completed()), 7u);
}

TEST(SystemException, CopiesAndAssignmentsOwnTheirReason)
{
    auto original = std::make_unique<CORBA_NO_RESPONSE>("late", 2, CORBA_COMPLETED_MAYBE);
    const CORBA_NO_RESPONSE copy(*original);
    CORBA_NO_RESPONSE assigned(1, CORBA_COMPLETED_YES);
    assigned = *original;
    EXPECT_NE(copy.reason(), original->reason());
    EXPECT_NE(assigned.reason(), original->reason());
    original.reset();  // the copies must not refer to its storage (ASan)
    for (const CORBA_NO_RESPONSE* e : std::initializer_list<const CORBA_NO_RESPONSE*>{&copy, &assigned}) {
        EXPECT_STREQ(e->reason(), "late");
        EXPECT_EQ(e->minor(), 2u);
        EXPECT_EQ(e->completed(), CORBA_COMPLETED_MAYBE);
    }

    CORBA_SystemException& self = assigned;
    self = assigned;  // self-assignment keeps a valid reason
    EXPECT_STREQ(assigned.reason(), "late");
}

TEST(SystemException, CloneIsAnIndependentObjectOfTheSameClass)
{
    auto original = std::make_unique<CORBA_INV_OBJREF>("no profiles", 9, CORBA_COMPLETED_YES);
    std::unique_ptr<CORBA_Exception> clone(static_cast<const CORBA_Exception&>(*original)._OB_clone());
    const CORBA_INV_OBJREF* typed = CORBA_INV_OBJREF::_narrow(clone.get());
    ASSERT_NE(typed, nullptr);
    EXPECT_EQ(typeid(*clone), typeid(CORBA_INV_OBJREF));
    EXPECT_NE(typed->reason(), original->reason());
    original.reset();
    EXPECT_STREQ(typed->reason(), "no profiles");
    EXPECT_EQ(typed->minor(), 9u);
    EXPECT_EQ(typed->completed(), CORBA_COMPLETED_YES);

    const CORBA_SystemException plain("base");
    std::unique_ptr<CORBA_Exception> plainClone(plain._OB_clone());
    EXPECT_EQ(typeid(*plainClone), typeid(CORBA_SystemException));
}

TEST(SystemException, RepositoryIdsFollowTheClassTable)
{
    ASSERT_EQ(allClasses().size(), 27u);
    for (const ClassInfo& c : allClasses()) {
        const std::unique_ptr<CORBA_SystemException> e = c.make(0, CORBA_COMPLETED_NO);
        EXPECT_EQ(e->_rep_id(), c.id);
        EXPECT_EQ(typeid(*e), *c.type);
    }
    EXPECT_STREQ(CORBA_SystemException("x")._rep_id(), "IDL:omg.org/CORBA/SystemException:1.0");
}

TEST(SystemException, NarrowAcceptsOnlyItsOwnClass)
{
    for (const ClassInfo& object : allClasses()) {
        const std::unique_ptr<CORBA_SystemException> e = object.make(1, CORBA_COMPLETED_NO);
        for (const ClassInfo& target : allClasses())
            EXPECT_EQ(target.narrows(e.get()), &target == &object)
                << object.id << " narrowed to " << target.id;
        EXPECT_EQ(CORBA_SystemException::_narrow(static_cast<CORBA_Exception*>(e.get())), e.get());
        EXPECT_EQ(CORBA_UserException::_narrow(static_cast<CORBA_Exception*>(e.get())), nullptr);
    }
    CORBA_SystemException plain("x");
    for (const ClassInfo& target : allClasses())
        EXPECT_FALSE(target.narrows(&plain)) << target.id;
    EXPECT_EQ(CORBA_BAD_PARAM::_narrow(static_cast<CORBA_Exception*>(nullptr)), nullptr);
}

TEST(SystemException, ThrownByValueAndCaughtThroughTheBases)
{
    try {
        throw CORBA_COMM_FAILURE("refused", OBMinorConnect, CORBA_COMPLETED_NO);
    } catch (CORBA_Exception& e) {
        EXPECT_STREQ(e._rep_id(), "IDL:omg.org/CORBA/COMM_FAILURE:1.0");
        CORBA_COMM_FAILURE* c = CORBA_COMM_FAILURE::_narrow(&e);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->minor(), 10u);
        EXPECT_STREQ(c->reason(), "refused");
    }
}

TEST(UserException, PolicyExceptionsKeepTheInheritedIdAndAddTheirOwn)
{
    CORBA_PolicyError error;
    CORBA_PolicyManager_InvalidPolicies invalid;
    CORBA_Exception* errorBase = &error;
    CORBA_Exception* invalidBase = &invalid;

    EXPECT_STREQ(error._rep_id(), "IDL:omg.org/CORBA/UserException:1.0");
    EXPECT_STREQ(invalid._rep_id(), "IDL:omg.org/CORBA/UserException:1.0");
    EXPECT_STREQ(error._OB_typeId(), "IDL:omg.org/CORBA/PolicyError:1.0");
    EXPECT_STREQ(invalid._OB_typeId(), "IDL:omg.org/CORBA/PolicyManager/InvalidPolicies:1.0");

    EXPECT_EQ(CORBA_UserException::_narrow(errorBase), &error);
    EXPECT_EQ(CORBA_SystemException::_narrow(errorBase), nullptr);
    EXPECT_EQ(CORBA_PolicyError::_narrow(errorBase), &error);
    EXPECT_EQ(CORBA_PolicyError::_narrow(invalidBase), nullptr);
    EXPECT_EQ(CORBA_PolicyManager_InvalidPolicies::_narrow(invalidBase), &invalid);
    EXPECT_EQ(CORBA_PolicyManager_InvalidPolicies::_narrow(errorBase), nullptr);

    std::unique_ptr<CORBA_Exception> errorClone(errorBase->_OB_clone());
    std::unique_ptr<CORBA_Exception> invalidClone(invalidBase->_OB_clone());
    EXPECT_EQ(typeid(*errorClone), typeid(CORBA_PolicyError));
    EXPECT_EQ(typeid(*invalidClone), typeid(CORBA_PolicyManager_InvalidPolicies));
}

TEST(PseudoObjectExceptions, AreEmptyClassesOutsideTheTree)
{
    static_assert(std::is_empty_v<CORBA_TypeCode_BadKind> && !std::is_polymorphic_v<CORBA_TypeCode_BadKind>);
    static_assert(std::is_empty_v<CORBA_TypeCode_Bounds> && !std::is_polymorphic_v<CORBA_TypeCode_Bounds>);
    static_assert(std::is_empty_v<CORBA_ORB_InvalidName> && !std::is_polymorphic_v<CORBA_ORB_InvalidName>);
    static_assert(!std::is_base_of_v<CORBA_Exception, CORBA_TypeCode_BadKind>);
    static_assert(std::is_abstract_v<CORBA_Exception> && std::is_abstract_v<CORBA_UserException>);
    static_assert(!std::is_convertible_v<const char*, CORBA_SystemException>,
                  "a text must not turn into an exception silently");
}

// ---------------------------------------------------------------------------
// Marshalled form
// ---------------------------------------------------------------------------

TEST(SystemExceptionMarshal, WritesIdMinorAndCompletionButNoReason)
{
    const CORBA_BAD_PARAM e("never sent", 0x01020304, CORBA_COMPLETED_MAYBE);
    for (CORBA_ULong start : {0u, 1u, 3u, 4u, 6u}) {
        const std::vector<CORBA_Octet> expected =
            Encoder(hostIsLittleEndian(), start).exception("IDL:omg.org/CORBA/BAD_PARAM:1.0", 0x01020304, 2).bytes();
        EXPECT_EQ(marshal(e, start), expected) << "start offset " << start;
    }
}

TEST(SystemExceptionMarshal, EveryStandardExceptionReadsBackInBothByteOrders)
{
    CORBA_ULong completed = 0;
    for (const ClassInfo& c : standardClasses()) {
        const CORBA_ULong minor = 0xA1B2C3D4u + completed;
        const auto status = static_cast<CORBA_CompletionStatus>(completed);
        const CORBA_ULong start = completed;  // vary the alignment padding as well
        const std::unique_ptr<CORBA_SystemException> original = c.make(minor, status);

        const bool littleFirst = hostIsLittleEndian();
        const std::vector<CORBA_Octet> native = marshal(*original, start);
        const std::vector<CORBA_Octet> foreign =
            Encoder(!littleFirst, start).exception(c.id.c_str(), minor, completed).bytes();

        for (bool swap : {false, true}) {
            const std::unique_ptr<CORBA_SystemException> back = readBack(swap ? foreign : native, start, swap);
            EXPECT_EQ(typeid(*back), *c.type) << c.id << (swap ? " swapped" : " native");
            EXPECT_EQ(back->minor(), minor) << c.id;
            EXPECT_EQ(back->completed(), status) << c.id;
            EXPECT_STREQ(back->reason(), "") << c.id;
        }
        completed = (completed + 1) % 3;
    }
}

TEST(SystemExceptionMarshal, UnrecognisedIdsBecomeUnknownWithTheReadCodes)
{
    const char* const ids[] = {
        "IDL:omg.org/CORBA/UNKNOWN:1.0",
        "IDL:omg.org/CORBA/INV_POLICY:1.0",
        "IDL:omg.org/CORBA/Bad_Param:1.0",       // differs only in letter case
        "IDL:OMG.ORG/CORBA/BAD_PARAM:1.0",
        "IDL:omg.org/CORBA/BAD_PARAM:1.1",
        "IDL:omg.org/CORBA/BAD_PARAM:1.0 ",
        "IDL:omg.org/CORBA/SystemException:1.0",
        "IDL:omg.org/CORBA/PolicyError:1.0",     // a user exception's ID
        "IDL:stava.org/OB/VendorFailure:1.0",
        "x",
        "",                                      // length 1, only the NUL
    };
    for (const char* id : ids)
        for (bool swap : {false, true}) {
            const bool little = hostIsLittleEndian() != swap;
            const std::unique_ptr<CORBA_SystemException> e =
                readBack(Encoder(little, 0).exception(id, 0x00C0FFEE, 7).bytes(), 0, swap);
            EXPECT_EQ(typeid(*e), typeid(CORBA_UNKNOWN)) << '"' << id << '"';
            EXPECT_EQ(e->minor(), 0x00C0FFEEu) << id;
            EXPECT_EQ(static_cast<CORBA_ULong>(e->completed()), 7u) << id;
        }
}

TEST(SystemExceptionMarshal, InvPolicyIsWrittenWithItsIdAndReadAsUnknown)
{
    const CORBA_INV_POLICY e(0, CORBA_COMPLETED_NO);
    const std::vector<CORBA_Octet> bytes = marshal(e, 0);
    EXPECT_EQ(bytes, Encoder(hostIsLittleEndian(), 0).exception("IDL:omg.org/CORBA/INV_POLICY:1.0", 0, 1).bytes());
    EXPECT_EQ(typeid(*readBack(bytes, 0, false)), typeid(CORBA_UNKNOWN));
}

TEST(SystemExceptionRaise, BadParamFromAReplyBodyInBothByteOrders)
{
    for (bool swap : {false, true}) {
        const bool little = hostIsLittleEndian() != swap;
        const Received r(Encoder(little, 0).exception("IDL:omg.org/CORBA/BAD_PARAM:1.0", 5, 2).bytes());
        OBInCursor in = r.cursor(0);
        try {
            OBRaiseSystemException(in, swap);
            ADD_FAILURE() << "nothing thrown";
        } catch (const CORBA_BAD_PARAM& e) {
            EXPECT_EQ(e.minor(), 5u);
            EXPECT_EQ(e.completed(), CORBA_COMPLETED_MAYBE);
            EXPECT_STREQ(e.reason(), "");
        }
    }
}

TEST(SystemExceptionRaise, ThrowsTheObjectsOwnClass)
{
    for (const ClassInfo& c : standardClasses()) {
        const Received r(marshal(*c.make(3, CORBA_COMPLETED_YES), 0));
        OBInCursor in = r.cursor(0);
        try {
            OBRaiseSystemException(in, false);
            ADD_FAILURE() << "nothing thrown for " << c.id;
        } catch (const CORBA_SystemException& e) {
            EXPECT_EQ(typeid(e), *c.type) << c.id;
            EXPECT_EQ(e.minor(), 3u);
            EXPECT_EQ(e.completed(), CORBA_COMPLETED_YES);
        }
    }
}

TEST(SystemExceptionRaise, UnknownIdIsThrownAsUnknown)
{
    const Received r(Encoder(hostIsLittleEndian(), 0).exception("IDL:omg.org/CORBA/INV_POLICY:1.0", 8, 0).bytes());
    OBInCursor in = r.cursor(0);
    try {
        OBRaiseSystemException(in, false);
        ADD_FAILURE() << "nothing thrown";
    } catch (const CORBA_UNKNOWN& e) {
        EXPECT_EQ(e.minor(), 8u);
        EXPECT_EQ(e.completed(), CORBA_COMPLETED_YES);
    }
}

// Malformed marshalled forms, each raising CORBA_MARSHAL (minor 0,
// COMPLETED_NO) from both the reader and the raiser.
std::vector<std::vector<CORBA_Octet>> malformedForms(bool little)
{
    const char* id = "IDL:omg.org/CORBA/BAD_PARAM:1.0";
    const std::vector<CORBA_Octet> whole = Encoder(little, 0).exception(id, 1, 1).bytes();
    return {
        Encoder(little, 0).ulong(0).ulong(1).ulong(1).bytes(),                 // ID length 0
        Encoder(little, 0).ulong(6).raw("IDL\0x", 6).ulong(1).ulong(1).bytes(), // NUL inside
        Encoder(little, 0).ulong(4).raw("IDLx", 4).ulong(1).ulong(1).bytes(),  // no closing NUL
        Encoder(little, 0).ulong(0xFFFFFFFFu).raw("IDL", 4).bytes(),            // length beyond the data
        Encoder(little, 0).ulong(40).raw(id, 32).bytes(),                       // characters cut short
        std::vector<CORBA_Octet>(whole.begin(), whole.end() - 8),               // minor missing
        std::vector<CORBA_Octet>(whole.begin(), whole.end() - 1),               // completed cut short
        std::vector<CORBA_Octet>(whole.begin(), whole.begin() + 2),             // length cut short
        {},                                                                     // nothing at all
    };
}

TEST(SystemExceptionMarshal, MalformedFormsRaiseMarshal)
{
    for (bool swap : {false, true}) {
        int index = 0;
        for (const std::vector<CORBA_Octet>& bytes : malformedForms(hostIsLittleEndian() != swap)) {
            const Received r(bytes);
            OBInCursor in = r.cursor(0);
            try {
                OBReadSystemException(in, swap);
                ADD_FAILURE() << "form " << index << " was accepted";
            } catch (const CORBA_MARSHAL& e) {
                EXPECT_EQ(e.minor(), 0u) << index;
                EXPECT_EQ(e.completed(), CORBA_COMPLETED_NO) << index;
            }
            in = r.cursor(0);
            EXPECT_THROW(OBRaiseSystemException(in, swap), CORBA_MARSHAL) << "form " << index;
            ++index;
        }
    }
}

} // namespace
