#include "Win32Registry.h"

#include <cstring>
#include <vector>

namespace kickoff {

Win32RegistryKey::Win32RegistryKey(HKEY key, bool owned, REGSAM view)
    : key_(key), owned_(owned), view_(view)
{
}

Win32RegistryKey::~Win32RegistryKey()
{
    if (owned_)
        RegCloseKey(key_);
}

std::unique_ptr<RegistryKey> Win32RegistryKey::openSubKey(const std::string& name,
                                                          KeyAccess access) const
{
    const REGSAM sam = (access == KeyAccess::Read ? KEY_READ : KEY_QUERY_VALUE) | view_;
    HKEY subKey = nullptr;
    if (RegOpenKeyExA(key_, name.c_str(), 0, sam, &subKey) != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<Win32RegistryKey>(subKey, true, view_);
}

std::optional<std::string> Win32RegistryKey::readText(const std::string& name,
                                                      std::size_t capacity) const
{
    std::vector<char> buffer(capacity, '\0');
    DWORD size = static_cast<DWORD>(capacity);
    if (RegQueryValueExA(key_, name.c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
        return std::nullopt;
    // Data stored without its NUL may fill the space exactly; the text must
    // still fit with a terminator.
    const void* nul = std::memchr(buffer.data(), '\0', size);
    if (!nul && size >= capacity)
        return std::nullopt;
    const std::size_t length =
        nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - buffer.data()) : size;
    return std::string(buffer.data(), length);
}

} // namespace kickoff
