#include "JreCheck.h"

#include "Decimal.h"
#include "Format.h"

#include <memory>
#include <optional>
#include <utility>

namespace kickoff {

namespace {

JreCheckResult failure(int code, std::string errorText)
{
    JreCheckResult result;
    result.code = code;
    result.errorText = std::move(errorText);
    return result;
}

std::string cannotOpen(const std::string& name)
{
    return formatText("can't open Key '%s'", name.c_str());
}

// Steps 5 to 7 on the open version key.
JreCheckResult checkVersionKey(const RegistryKey& versionKey, int mNum)
{
    JreCheckResult result;
    const std::optional<std::string> micro =
        versionKey.readText("MicroVersion", kRegistryValueCapacity);
    if (!micro) {
        result.code = JreNoMicroVersion;
        result.errorText = cannotOpen("MicroVersion");
    } else if (readDecimal(*micro) < mNum) {
        result.code = JreMicroTooLow;
        result.errorText = formatText("MicroVersion is %s but at least %d is required",
                                      micro->c_str(), mNum);
    }
    const std::optional<std::string> home =
        versionKey.readText("JavaHome", kRegistryValueCapacity);
    if (!home)
        return failure(JreNoJavaHome, cannotOpen("JavaHome"));
    result.javaHome = *home;
    return result;
}

bool keyMissing(int code)
{
    return code == JreNoJavaSoftKey || code == JreNoRuntimeKey || code == JreNoVersionKey;
}

} // namespace

std::string versionKeyName(int vNum, int v2Num)
{
    return formatText("%d.%d", vNum, v2Num);
}

JreCheckResult checkJre(const RegistryKey& localMachine, int vNum, int v2Num, int mNum)
{
    // Declaration order makes the keys close deepest first.
    const std::unique_ptr<RegistryKey> software =
        localMachine.openSubKey("SOFTWARE", KeyAccess::Read);
    if (!software)
        return failure(JreNoSoftwareKey, cannotOpen("SOFTWARE"));
    const std::unique_ptr<RegistryKey> javaSoft =
        software->openSubKey("JavaSoft", KeyAccess::QueryValue);
    if (!javaSoft)
        return failure(JreNoJavaSoftKey, cannotOpen("JavaSoft"));
    const std::unique_ptr<RegistryKey> runtime =
        javaSoft->openSubKey("Java Runtime Environment", KeyAccess::QueryValue);
    if (!runtime)
        return failure(JreNoRuntimeKey, cannotOpen("Java Runtime Environment"));
    const std::string versionName = versionKeyName(vNum, v2Num);
    const std::unique_ptr<RegistryKey> version =
        runtime->openSubKey(versionName, KeyAccess::QueryValue);
    if (!version)
        return failure(JreNoVersionKey, cannotOpen(versionName));
    return checkVersionKey(*version, mNum);
}

JreCheckResult checkJreInViews(const RegistryKey& ownView, const RegistryKey* otherView,
                               int vNum, int v2Num, int mNum)
{
    JreCheckResult own = checkJre(ownView, vNum, v2Num, mNum);
    if (!otherView || !keyMissing(own.code))
        return own;
    JreCheckResult other = checkJre(*otherView, vNum, v2Num, mNum);
    return other.code == JreUsable ? other : own;
}

} // namespace kickoff
