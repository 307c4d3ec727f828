// The JRE check's registry interface on the Win32 registry.
#ifndef KICKOFF_WIN32REGISTRY_H
#define KICKOFF_WIN32REGISTRY_H

#include "Registry.h"

#include <windows.h>

namespace kickoff {

// An open Win32 registry key in one registry view; closes it with
// RegCloseKey unless it is a predefined root key.
class Win32RegistryKey final : public RegistryKey {
public:
    // Wraps `key`; `owned` says whether destruction closes it. `view` is 0
    // (the program's own view), KEY_WOW64_64KEY or KEY_WOW64_32KEY, and is
    // asked for with every subkey opened beneath.
    Win32RegistryKey(HKEY key, bool owned, REGSAM view = 0);
    ~Win32RegistryKey() override;
    Win32RegistryKey(const Win32RegistryKey&) = delete;
    Win32RegistryKey& operator=(const Win32RegistryKey&) = delete;

    // Opens the subkey with RegOpenKeyExA and KEY_READ or KEY_QUERY_VALUE, in this key's view.
    std::unique_ptr<RegistryKey> openSubKey(const std::string& name,
                                            KeyAccess access) const override;

    // Reads with RegQueryValueExA into a buffer of `capacity` bytes.
    std::optional<std::string> readText(const std::string& name,
                                        std::size_t capacity) const override;

private:
    HKEY key_;
    bool owned_;
    REGSAM view_;
};

} // namespace kickoff

#endif
