#include "BridgeSettings.h"

#include "CallTimeout.h"
#include "RegistryKey.h"

#include <cstring>

namespace {

// Copies value `name` of `key` into `path` if it fits; the registry type of
// the value is not examined.
void QueryPath(HKEY key, const char* name, char (&path)[kBridgePathCapacity]) {
    // One byte more than the query may fill, so the text is always terminated.
    char value[kBridgePathCapacity + 1] = {};
    DWORD size = kBridgePathCapacity;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
        ERROR_SUCCESS) {
        std::memcpy(path, value, kBridgePathCapacity);
        path[kBridgePathCapacity - 1] = '\0';
    }
}

// Opens HKEY_LOCAL_MACHINE\SOFTWARE, then its subkey StavaAutomationBridge
// for querying values; false when either does not open.
bool OpenBridgeKey(RegistryKey& software, RegistryKey& bridge) {
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, software.receive()) ==
               ERROR_SUCCESS &&
           RegOpenKeyExA(software.get(), "StavaAutomationBridge", 0, KEY_QUERY_VALUE,
                         bridge.receive()) == ERROR_SUCCESS;
}

// How the time-out reads data of the registry type `type`.
CallTimeoutData TimeoutDataOf(DWORD type) {
    if (type == REG_DWORD)
        return CallTimeoutData::Number;
    if (type == REG_SZ)
        return CallTimeoutData::Text;
    return CallTimeoutData::Other;
}

}  // namespace

void ReadBridgePaths(BridgePaths& paths) {
    RegistryKey software;
    RegistryKey bridge;
    if (!OpenBridgeKey(software, bridge))
        return;
    QueryPath(bridge.get(), "refFile", paths.referenceFile);
    QueryPath(bridge.get(), "logFile", paths.logFile);
}

std::int32_t ReadCallTimeout() {
    RegistryKey software;
    RegistryKey bridge;
    if (!OpenBridgeKey(software, bridge))
        return kNoCallTimeout;
    // Room for any sensible number of digits; longer data does not fit and
    // counts as unreadable.
    unsigned char data[64];
    DWORD size = sizeof data;
    DWORD type = REG_NONE;
    if (RegQueryValueExA(bridge.get(), "callTimeout", nullptr, &type, data, &size) != ERROR_SUCCESS)
        return kNoCallTimeout;
    return ParseCallTimeout(TimeoutDataOf(type), data, size);
}
