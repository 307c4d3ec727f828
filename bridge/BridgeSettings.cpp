#include "BridgeSettings.h"

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

}  // namespace

void ReadBridgePaths(BridgePaths& paths) {
    RegistryKey software;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, software.receive()) !=
        ERROR_SUCCESS)
        return;
    RegistryKey bridge;
    if (RegOpenKeyExA(software.get(), "StavaAutomationBridge", 0, KEY_QUERY_VALUE,
                      bridge.receive()) != ERROR_SUCCESS)
        return;
    QueryPath(bridge.get(), "refFile", paths.referenceFile);
    QueryPath(bridge.get(), "logFile", paths.logFile);
}
