// Diagnostics: exception texts, the message sink, non-compliance reports and
// internal checks.
#include <OB/Assert.h>
#include <OB/Basic.h>
#include <OB/Except.h>
#include <OB/ORB.h>
#include <OB/TypeCode.h>

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string textOf(const CORBA_SystemException& e)
{
    CORBA_String_var text(OBExceptionText(e));
    EXPECT_TRUE(CORBA_string_check(text.in())) << "the caller frees a guarded string";
    return text.in();
}

// ---------------------------------------------------------------------------
// Diagnostic text
// ---------------------------------------------------------------------------

TEST(ExceptionText, ConnectFailureExampleHasThreeLines)
{
    EXPECT_EQ(textOf(CORBA_COMM_FAILURE("", OBMinorConnect, CORBA_COMPLETED_NO)),
              "System exception `COMM_FAILURE'\n"
              "Completed: no\n"
              "Minor code: 10 (connect() failed)");
}

TEST(ExceptionText, ReasonLineOnlyForANonEmptyReason)
{
    EXPECT_EQ(textOf(CORBA_BAD_PARAM("index 12 out of range")),
              "System exception `BAD_PARAM'\n"
              "Reason: index 12 out of range\n"
              "Completed: no\n"
              "Minor code: 0");
    EXPECT_EQ(textOf(CORBA_NO_RESPONSE("", 0, CORBA_COMPLETED_MAYBE)),
              "System exception `NO_RESPONSE'\nCompleted: maybe\nMinor code: 0");
}

TEST(ExceptionText, CompletionWordsAndOutOfRangeValue)
{
    EXPECT_EQ(textOf(CORBA_INTERNAL(1, CORBA_COMPLETED_YES)),
              "System exception `INTERNAL'\nCompleted: yes\nMinor code: 1");
    EXPECT_EQ(textOf(CORBA_INTERNAL(1, static_cast<CORBA_CompletionStatus>(7))),
              "System exception `INTERNAL'\nCompleted: \nMinor code: 1");
    EXPECT_EQ(textOf(CORBA_INTERNAL(1, static_cast<CORBA_CompletionStatus>(3))),
              "System exception `INTERNAL'\nCompleted: \nMinor code: 1");
}

TEST(ExceptionText, MinorCodeIsUnsignedDecimal)
{
    EXPECT_EQ(textOf(CORBA_IMP_LIMIT(4294967295u, CORBA_COMPLETED_NO)),
              "System exception `IMP_LIMIT'\nCompleted: no\nMinor code: 4294967295");
    EXPECT_EQ(textOf(CORBA_IMP_LIMIT(2147483648u, CORBA_COMPLETED_NO)),
              "System exception `IMP_LIMIT'\nCompleted: no\nMinor code: 2147483648");
}

// The codes are numbers on the wire: their values stay as they were.
TEST(ExceptionText, MinorCodesKeepTheirValues)
{
    EXPECT_EQ(OBMinorRecv, 1u);
    EXPECT_EQ(OBMinorConnect, 10u);
    EXPECT_EQ(OBMinorWSACleanup, 16u);
    EXPECT_EQ(OBMinorNoGIOP, 17u);
    EXPECT_EQ(OBMinorCloseConnection, 20u);
    EXPECT_EQ(OBMinorMessageError, 21u);
    EXPECT_EQ(OBMinorNoIntfRepos, 1u);
    EXPECT_EQ(OBMinorIllegalRecursion, 11u);
}

TEST(ExceptionText, EveryCommFailureMinorHasItsSuffix)
{
    const char* const suffixes[] = {
        " (recv() failed)", " (send() failed)", " (recv() returned zero)",
        " (send() returned zero)", " (socket() failed)", " (setsockopt() failed)",
        " (getsockopt() failed)", " (bind() failed)", " (listen() failed)",
        " (connect() failed)", " (accept() failed)", " (select() failed)",
        " (gethostname() failed)", " (gethostbyname() failed)", " (WSAStartup() failed)",
        " (WSACleanup() failed)", " (not a GIOP message)", " (unknown GIOP message)",
        " (wrong GIOP message)", " (got a `close connection' message)",
        " (got a `message error' message)",
    };
    ASSERT_EQ(std::size(suffixes), static_cast<size_t>(OBMinorMessageError));
    const std::string head = "System exception `COMM_FAILURE'\nCompleted: maybe\nMinor code: ";
    for (CORBA_ULong minor = 1; minor <= 21; ++minor)
        EXPECT_EQ(textOf(CORBA_COMM_FAILURE(minor, CORBA_COMPLETED_MAYBE)),
                  head + std::to_string(minor) + suffixes[minor - 1]);
    for (CORBA_ULong minor : {0u, 22u, 4294967295u})
        EXPECT_EQ(textOf(CORBA_COMM_FAILURE(minor, CORBA_COMPLETED_MAYBE)), head + std::to_string(minor));
}

TEST(ExceptionText, EveryIntfReposMinorHasItsSuffix)
{
    const char* const suffixes[] = {
        " (interface repository is not available)",
        " (repository id already exists)",
        " (name already exists)",
        " (destroy() invoked on Repository object)",
        " (destroy() invoked on PrimitiveDef object)",
        " (attribute is already defined in a base interface)",
        " (operation is already defined in a base interface)",
        " (search name for lookup() is ambiguous)",
        " (attribute name collisions in base interfaces)",
        " (operation name collisions in base interfaces)",
        " (illegal recursion)",
    };
    ASSERT_EQ(std::size(suffixes), static_cast<size_t>(OBMinorIllegalRecursion));
    const std::string head = "System exception `INTF_REPOS'\nCompleted: no\nMinor code: ";
    for (CORBA_ULong minor = 1; minor <= 11; ++minor)
        EXPECT_EQ(textOf(CORBA_INTF_REPOS(minor, CORBA_COMPLETED_NO)),
                  head + std::to_string(minor) + suffixes[minor - 1]);
    for (CORBA_ULong minor : {0u, 12u})
        EXPECT_EQ(textOf(CORBA_INTF_REPOS(minor, CORBA_COMPLETED_NO)), head + std::to_string(minor));
}

TEST(ExceptionText, OtherClassesGetNoSuffix)
{
    EXPECT_EQ(textOf(CORBA_MARSHAL(1, CORBA_COMPLETED_NO)),
              "System exception `MARSHAL'\nCompleted: no\nMinor code: 1");
    EXPECT_EQ(textOf(CORBA_TRANSIENT(10, CORBA_COMPLETED_NO)),
              "System exception `TRANSIENT'\nCompleted: no\nMinor code: 10");
}

TEST(ExceptionText, NamesEveryClass)
{
#define NAME_CASE(NAME) {std::make_shared<CORBA_##NAME>(0, CORBA_COMPLETED_NO), #NAME},
    const std::vector<std::pair<std::shared_ptr<CORBA_SystemException>, std::string>> cases{
        NAME_CASE(UNKNOWN) NAME_CASE(BAD_PARAM) NAME_CASE(NO_MEMORY) NAME_CASE(IMP_LIMIT)
        NAME_CASE(COMM_FAILURE) NAME_CASE(INV_OBJREF) NAME_CASE(NO_PERMISSION) NAME_CASE(INTERNAL)
        NAME_CASE(MARSHAL) NAME_CASE(INITIALIZE) NAME_CASE(NO_IMPLEMENT) NAME_CASE(BAD_TYPECODE)
        NAME_CASE(BAD_OPERATION) NAME_CASE(NO_RESOURCES) NAME_CASE(NO_RESPONSE)
        NAME_CASE(PERSIST_STORE) NAME_CASE(BAD_INV_ORDER) NAME_CASE(TRANSIENT) NAME_CASE(FREE_MEM)
        NAME_CASE(INV_IDENT) NAME_CASE(INV_FLAG) NAME_CASE(INTF_REPOS) NAME_CASE(BAD_CONTEXT)
        NAME_CASE(OBJ_ADAPTER) NAME_CASE(DATA_CONVERSION) NAME_CASE(OBJECT_NOT_EXIST)
        NAME_CASE(INV_POLICY)
        {std::make_shared<CORBA_SystemException>(0, CORBA_COMPLETED_NO), "SystemException"},
    };
#undef NAME_CASE
    ASSERT_EQ(cases.size(), 28u);
    for (const auto& c : cases)
        EXPECT_EQ(textOf(*c.first), "System exception `" + c.second + "'\nCompleted: no\nMinor code: 0");
}

TEST(ExceptionText, ReadBackExceptionHasNoReasonLine)
{
    const CORBA_OBJECT_NOT_EXIST sent("local detail", 2, CORBA_COMPLETED_NO);
    CORBA_ULong count = 0;
    OBCount(sent, count);
    OBBuffer buf(count);
    CORBA_Octet* out = buf.data;
    OBWrite(sent, out);
    OBInCursor in = OBMakeInCursor(buf);
    const std::unique_ptr<CORBA_SystemException> back = OBReadSystemException(in, false);
    EXPECT_EQ(textOf(*back), "System exception `OBJECT_NOT_EXIST'\nCompleted: no\nMinor code: 2");
}

// ---------------------------------------------------------------------------
// Message sink
// ---------------------------------------------------------------------------

TEST(MessageViewer, WritesLinesWithTheirPrefixesToStandardError)
{
    OBMessageViewer viewer;
    testing::internal::CaptureStderr();
    viewer.message("plain text");
    viewer.error("disk full");
    viewer.warning("slow reply");
    viewer.nonCompliantApplication("misuse");
    viewer.message("");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "plain text\n"
              "Error: disk full\n"
              "Warning: slow reply\n"
              "Non-compliant application error detected:\nmisuse\n"
              "\n");
}

// Collects the messages instead of writing them.
class RecordingViewer : public OBMessageViewer {
public:
    void message(const char* text) override { lines.emplace_back(text); }
    std::vector<std::string> lines;
};

TEST(MessageViewer, OverridingMessageRedirectsEveryKind)
{
    RecordingViewer recorder;
    OBMessageViewer& viewer = recorder;
    testing::internal::CaptureStderr();
    viewer.message("m");
    viewer.error("e");
    viewer.warning("w");
    viewer.nonCompliantApplication("n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(recorder.lines, (std::vector<std::string>{
                                  "m", "Error: e", "Warning: w",
                                  "Non-compliant application error detected:\nn"}));
}

TEST(MessageViewer, InstanceIsOneProcessWideSink)
{
    OBMessageViewer* first = OBMessageViewer::instance();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(OBMessageViewer::instance(), first);
}

TEST(MessageViewer, PrintExceptionWritesTheDiagnosticText)
{
    testing::internal::CaptureStderr();
    OBPrintException(CORBA_COMM_FAILURE("Connection refused", OBMinorConnect, CORBA_COMPLETED_NO));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "System exception `COMM_FAILURE'\nReason: Connection refused\n"
              "Completed: no\nMinor code: 10 (connect() failed)\n");
}

// ---------------------------------------------------------------------------
// Non-compliance reports and internal checks
// ---------------------------------------------------------------------------

TEST(NonCompliant, EveryCodeReportsItsTextOnTwoLines)
{
    const char* const texts[] = {
        "Application requested a feature that is not yet implemented",
        "Application used wrong memory allocation function",
        "Memory that was already deallocated was deallocated again",
        "Object was deleted without an object reference count of zero",
        "Object was already deleted (object reference count was already zero)",
        "Sequence length was greater than maximum sequence length",
        "Index for sequence operator[]() or remove() function was out of range",
        "Null pointer was used to initialize T_var type",
        "operator->() was used on null pointer or nil object reference",
        "Application tried to dereference a null pointer",
        "Null pointer was passed as string parameter or return value",
        "Self assignment caused a dangling pointer",
        "Replacement of Any content by its own value caused a dangling pointer",
        "Invalid union discriminator type used",
        "Union discriminator mismatch",
        "Uninitialized union used",
        "Dynamic implementation object cannot be used as static implementation object",
    };
    ASSERT_EQ(std::size(texts), static_cast<size_t>(OBNCDynamicAsStatic) + 1);
    for (CORBA_ULong code = 0; code < std::size(texts); ++code) {
        testing::internal::CaptureStderr();
        OBNonCompliant(static_cast<OBNonCompliantCode>(code));
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  std::string("Non-compliant application error detected:\n") + texts[code] + "\n")
            << "code " << code;
    }
}

TEST(InternalCheckDeathTest, ReportsExpressionFileBaseNameAndLine)
{
    EXPECT_DEATH(OBAssertFail("n > len", "/home/build/orb/Basic.cpp", 42),
                 "Assertion failed: n > len, file Basic, line 42");
    EXPECT_DEATH(OBAssertFail("ptr_", "C:\\src\\orb\\giop\\GIOPClient.cpp", 7),
                 "Assertion failed: ptr_, file GIOPClient, line 7");
    EXPECT_DEATH(OBAssertFail("false", "Util", 1), "Assertion failed: false, file Util, line 1");
}

TEST(InternalCheckDeathTest, FilesOfOneAreaReportTheAreaName)
{
    const struct {
        const char* file;
        const char* area;
    } cases[] = {
        {"/src/orb/CDR.cpp", "Basic"},
        {"/src/orb/ORBInit.cpp", "ORB"},
        {"/src/orb/ORBConfig.cpp", "ORB"},
        {"/src/orb/TypeCodeConst.cpp", "TypeCode"},
        {"/src/orb/TypeCodeCDR.cpp", "TypeCode"},
        {"/src/orb/TypeCodeFactory.cpp", "TypeCode"},
        {"/src/orb/AnyValue.cpp", "Any"},
        {"/src/orb/Except.cpp", "Util"},
    };
    for (const auto& c : cases)
        EXPECT_DEATH(OBAssertFail("x", c.file, 3), std::string("Assertion failed: x, file ") + c.area + ", line 3")
            << c.file;
}

TEST(InternalCheckDeathTest, ChecksOfAreasInSeveralFilesNameTheArea)
{
    char name[] = "t";
    char* argv[] = {name, nullptr};
    int argc = 1;
    EXPECT_DEATH(CORBA_ORB_init(argc, argv, nullptr), "Assertion failed: orb_identifier, file ORB, line ");
    const OBTypeCodeConst noText(nullptr);
    EXPECT_DEATH(static_cast<CORBA_TypeCode*>(noText), "Assertion failed: str_ != 0, file TypeCode, line ");
    CORBA_ULong count = 0;
    const char* null = nullptr;
    EXPECT_DEATH(OBCount(null, count), "Assertion failed: s, file Basic, line ");
}

TEST(InternalCheckDeathTest, NonCompliantUseIsReportedThenStops)
{
    const int count = 3;
    EXPECT_DEATH(OB_CHECK_COMPLIANT(count == 0, OBNCRefCountNotZero),
                 "Non-compliant application error detected:\n"
                 "Object was deleted without an object reference count of zero\n"
                 "Assertion failed: count == 0, file util_test, line ");
}

TEST(InternalCheckDeathTest, NullReasonIsRefused)
{
    const char* none = nullptr;
    EXPECT_DEATH(CORBA_BAD_PARAM{none}, "Null pointer was passed as string parameter or return value\n"
                                        "Assertion failed: reason, file Util, line ");
}

} // namespace
