// Diagnostics of the ORB: the message sink, reports of non-compliant use,
// internal checks and the diagnostic text of system exceptions.
#include <OB/Except.h>

#include <OB/Assert.h>
#include <OB/Basic.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

// ---------------------------------------------------------------------------
// Message sink
// ---------------------------------------------------------------------------

namespace {

// Builds prefix + text as a guarded string and hands it to the sink's
// (possibly overridden) message().
void prefixed(OBMessageViewer& viewer, const char* prefix, const char* text)
{
    OB_CHECK_COMPLIANT(text, OBNCNullString);
    CORBA_String_var s(CORBA_string_dup(prefix));
    s += text;
    viewer.message(s.in());
}

OBMessageViewer* theViewer = nullptr; // never destroyed, so late reports still work

} // namespace

OBMessageViewer::~OBMessageViewer() = default;

void OBMessageViewer::message(const char* text)
{
    OB_CHECK_COMPLIANT(text, OBNCNullString);
    std::fputs(text, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

void OBMessageViewer::error(const char* text)
{
    prefixed(*this, "Error: ", text);
}

void OBMessageViewer::warning(const char* text)
{
    prefixed(*this, "Warning: ", text);
}

void OBMessageViewer::nonCompliantApplication(const char* text)
{
    prefixed(*this, "Non-compliant application error detected:\n", text);
}

OBMessageViewer* OBMessageViewer::instance()
{
    if (theViewer == nullptr)
        theViewer = new OBMessageViewer;
    return theViewer;
}

// ---------------------------------------------------------------------------
// Non-compliant use and internal checks
// ---------------------------------------------------------------------------

void OBNonCompliant(OBNonCompliantCode code)
{
    static const char* const texts[] = {
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
    OB_ASSERT(code < sizeof(texts) / sizeof(texts[0]));
    OBMessageViewer::instance()->nonCompliantApplication(texts[code]);
}

namespace {

// Source files that share an area with another, and the area's name.
struct SharedArea {
    const char* file;
    const char* area;
};

const SharedArea sharedAreas[] = {
    {"CDR", "Basic"},
    {"ORBInit", "ORB"},
    {"ORBConfig", "ORB"},
    {"TypeCodeConst", "TypeCode"},
    {"TypeCodeCDR", "TypeCode"},
    {"TypeCodeFactory", "TypeCode"},
    {"AnyValue", "Any"},
    {"Except", "Util"},
};

// Turns the base name in name (len characters) into its area's name when
// the file shares an area. Nothing is allocated: the heap may be broken.
void nameArea(const char*& name, int& len)
{
    for (const SharedArea& shared : sharedAreas) {
        if (std::strlen(shared.file) == static_cast<std::size_t>(len) &&
            std::strncmp(shared.file, name, len) == 0) {
            name = shared.area;
            len = static_cast<int>(std::strlen(name));
            return;
        }
    }
}

} // namespace

void OBAssertFail(const char* expr, const char* file, int line)
{
    // The file by its base name: no directories, no extension.
    const char* name = file;
    for (const char* p = file; *p != '\0'; ++p)
        if (*p == '/' || *p == '\\')
            name = p + 1;
    const char* dot = std::strrchr(name, '.');
    int len = static_cast<int>(dot != nullptr ? dot - name : std::strlen(name));
    nameArea(name, len);
    std::fprintf(stderr, "Assertion failed: %s, file %.*s, line %d\n", expr, len, name, line);
    std::fflush(stderr);
    std::abort();
}

// ---------------------------------------------------------------------------
// Diagnostic text of system exceptions
// ---------------------------------------------------------------------------

namespace {

// Class name without the CORBA_ prefix, tested in the order of the class
// table. INV_POLICY and the plain base class have no entry there; they are
// named after the table's classes so that every object gets a name.
const char* exceptionName(const CORBA_SystemException& e)
{
#define OB_NAME(NAME)                  \
    if (CORBA_##NAME::_narrow(&e))     \
        return #NAME;
    OB_SYSTEM_EXCEPTIONS(OB_NAME)
#undef OB_NAME
    return "SystemException";
}

const char* completionText(CORBA_ULong completed)
{
    switch (completed) {
    case CORBA_COMPLETED_YES:
        return "yes";
    case CORBA_COMPLETED_NO:
        return "no";
    case CORBA_COMPLETED_MAYBE:
        return "maybe";
    default:
        return ""; // a value read from the wire outside 0..2
    }
}

// Explanation appended to the minor code, or the empty text. Code c has the
// text of entry c - 1 of its list in Except.h.
const char* minorText(const CORBA_SystemException& e)
{
#define OB_MINOR_TEXT(NAME, TEXT) " (" TEXT ")",
    static const char* const commFailure[] = {OB_COMM_FAILURE_MINORS(OB_MINOR_TEXT)};
    static const char* const intfRepos[] = {OB_INTF_REPOS_MINORS(OB_MINOR_TEXT)};
#undef OB_MINOR_TEXT
    const CORBA_ULong minor = e.minor();
    if (CORBA_COMM_FAILURE::_narrow(&e) && minor >= 1 && minor <= std::size(commFailure))
        return commFailure[minor - 1];
    if (CORBA_INTF_REPOS::_narrow(&e) && minor >= 1 && minor <= std::size(intfRepos))
        return intfRepos[minor - 1];
    return "";
}

} // namespace

char* OBExceptionText(const CORBA_SystemException& e)
{
    const char* reason = e.reason();
    OB_ASSERT(reason);
    CORBA_String_var text(CORBA_string_dup("System exception `"));
    text += exceptionName(e);
    text += '\'';
    if (*reason != '\0') {
        text += "\nReason: ";
        text += reason;
    }
    text += "\nCompleted: ";
    text += completionText(e.completed());
    text += "\nMinor code: ";
    text += e.minor();
    text += minorText(e);
    return text._retn();
}

void OBPrintException(const CORBA_SystemException& e)
{
    CORBA_String_var text(OBExceptionText(e));
    OBMessageViewer::instance()->message(text.in());
}
