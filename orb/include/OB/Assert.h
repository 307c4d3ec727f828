// Internal consistency checks and reports of non-compliant use of the ORB.
//
// A check names the checked expression, the source file and the line, then
// ends the process. Checks guard against misuse by the program, never against
// data from the network, and stay active in every build (NDEBUG included).
#ifndef OB_ASSERT_H
#define OB_ASSERT_H

#include <OB/Types.h>

// Reports "Assertion failed: <expr>, file <area>, line <line>" on standard
// error and aborts. Never returns. The area is the file's base name, except
// for the files that share an area of the ORB, which report its name (CDR
// reports Basic; ORBInit and ORBConfig report ORB; TypeCodeConst,
// TypeCodeCDR and TypeCodeFactory report TypeCode; AnyValue reports Any;
// Except reports Util).
[[noreturn]] void OBAssertFail(const char* expr, const char* file, int line);

#define OB_ASSERT(e) ((e) ? (void)0 : OBAssertFail(#e, __FILE__, __LINE__))

// As OB_ASSERT, but the report names the condition as `text`: for checks
// whose report keeps the wording the ORB's diagnostics have always used
// while the code tests the same condition in its own terms.
#define OB_ASSERT_NAMED(e, text) ((e) ? (void)0 : OBAssertFail(text, __FILE__, __LINE__))

// The numbered reports of non-compliant use; each text is fixed.
enum OBNonCompliantCode : CORBA_ULong {
    OBNCNotImplemented = 0,
    OBNCMemoryAllocation = 1,
    OBNCDoubleFree = 2,
    OBNCRefCountNotZero = 3,
    OBNCRefCountZero = 4,
    OBNCSequenceMaxLength = 5,
    OBNCSequenceRange = 6,
    OBNCNullInit = 7,
    OBNCNullPtr = 8,
    OBNCNullDeref = 9,
    OBNCNullString = 10,
    OBNCSelfAssign = 11,
    OBNCAnySelfReplace = 12,
    OBNCDiscriminatorType = 13,
    OBNCDiscriminatorMismatch = 14,
    OBNCUnionInit = 15,
    OBNCDynamicAsStatic = 16
};

// Writes the report for `code` through the message sink. Callers follow it
// with the internal check of the same condition.
void OBNonCompliant(OBNonCompliantCode code);

// Test the condition; when it fails, report `code`, then fail the check.
#define OB_CHECK_COMPLIANT(e, code) \
    ((e) ? (void)0 : (OBNonCompliant(code), OBAssertFail(#e, __FILE__, __LINE__)))

#endif
