// The bridge's settings, read from the registry: its two paths and the
// optional time-out of controller calls.
#ifndef BRIDGE_SETTINGS_H
#define BRIDGE_SETTINGS_H

#include <cstdint>

// Capacity of each path: 255 characters plus the terminator.
constexpr unsigned kBridgePathCapacity = 256;

struct BridgePaths {
    char referenceFile[kBridgePathCapacity] = "c:\\stv.ref";
    char logFile[kBridgePathCapacity] = "c:\\bridge.log";
};

// Replaces each path in `paths` by the value "refFile" or "logFile" of
// HKEY_LOCAL_MACHINE\SOFTWARE\StavaAutomationBridge where that value can be
// read into kBridgePathCapacity bytes; leaves the default otherwise.
void ReadBridgePaths(BridgePaths& paths);

// The time-out in milliseconds for every controller call, from the value
// "callTimeout" of the same key (REG_DWORD, or REG_SZ of decimal digits, as
// ParseCallTimeout reads them); kNoCallTimeout (-1, no limit) when the key or
// value is missing, unreadable, malformed or 0.
std::int32_t ReadCallTimeout();

#endif
