// The part of the registry that the JRE check reads, behind an interface so
// that the check runs against the real registry or a table in memory.
#ifndef KICKOFF_REGISTRY_H
#define KICKOFF_REGISTRY_H

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace kickoff {

// Access asked for when a key is opened.
enum class KeyAccess {
    Read,       // KEY_READ
    QueryValue  // KEY_QUERY_VALUE
};

// An open registry key. Destroying the object closes the key (a predefined
// root key is never closed).
class RegistryKey {
public:
    virtual ~RegistryKey() = default;

    // Opens the direct subkey `name` with `access`; null when it cannot be opened.
    virtual std::unique_ptr<RegistryKey> openSubKey(const std::string& name,
                                                    KeyAccess access) const = 0;

    // Reads the value `name` as text into a space of `capacity` characters,
    // the terminating NUL included. Empty when the value is missing or its
    // text and NUL do not fit. The value's type is not checked: its data is
    // taken as text up to the first NUL.
    virtual std::optional<std::string> readText(const std::string& name,
                                                std::size_t capacity) const = 0;
};

} // namespace kickoff

#endif
