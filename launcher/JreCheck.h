// The check that a suitable JRE is installed, against its installer's keys
// HKEY_LOCAL_MACHINE\SOFTWARE\JavaSoft\Java Runtime Environment\<major>.<minor>.
#ifndef KICKOFF_JRECHECK_H
#define KICKOFF_JRECHECK_H

#include "Registry.h"

#include <cstddef>
#include <string>

namespace kickoff {

// Result codes of the check.
enum JreCheckCode : int {
    JreUsable = 0,
    JreNoSoftwareKey = 1,
    JreNoJavaSoftKey = 2,
    JreNoRuntimeKey = 3,
    JreNoVersionKey = 4,
    JreNoJavaHome = 5,
    JreNoMicroVersion = 6,
    JreMicroTooLow = 7
};

// Space for a registry value read, terminating NUL included; a longer value
// counts as missing.
constexpr std::size_t kRegistryValueCapacity = 128;

// What the check found.
struct JreCheckResult {
    int code = JreUsable;   // one of JreCheckCode
    std::string javaHome;   // the JRE's home directory; set when "JavaHome" was read (codes 0, 6, 7)
    std::string errorText;  // why the check failed; empty for code 0
};

// Returns the version key "<vNum>.<v2Num>", e.g. "1.1".
std::string versionKeyName(int vNum, int v2Num);

// Looks the JRE vNum.v2Num up beneath `localMachine` (HKEY_LOCAL_MACHINE) and
// compares its micro version with mNum. Opens "SOFTWARE" for reading and each
// deeper key for querying values; every key opened is closed before returning,
// the deepest first. "JavaHome" is read after "MicroVersion" and its absence
// (code 5) decides over a missing (6) or too low (7) micro version.
JreCheckResult checkJre(const RegistryKey& localMachine, int vNum, int v2Num, int mNum);

// checkJre in the program's own registry view, `ownView`. On 64-bit Windows
// a runtime registers itself only in the view of its own width, so when the
// check fails there because "JavaSoft", "Java Runtime Environment" or the
// version key is missing, the same check runs in `otherView` (null where
// there is none) and a runtime usable there is taken. Otherwise the own
// view's result stands, its error text included.
JreCheckResult checkJreInViews(const RegistryKey& ownView, const RegistryKey* otherView,
                               int vNum, int v2Num, int mNum);

} // namespace kickoff

#endif
