// The bridge's two paths, read from the registry.
#ifndef BRIDGE_SETTINGS_H
#define BRIDGE_SETTINGS_H

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

#endif
