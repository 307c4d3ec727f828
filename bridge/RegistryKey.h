// An open registry key, closed with the object.
#ifndef BRIDGE_REGISTRY_KEY_H
#define BRIDGE_REGISTRY_KEY_H

#include <windows.h>

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() { close(); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Closes any key held and returns where an opening call stores the new one.
    HKEY* receive() {
        close();
        return &key_;
    }
    // The key held, or null.
    HKEY get() const noexcept { return key_; }
    // Closes the key if one is held.
    void close() {
        if (key_ != nullptr)
            RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    HKEY key_ = nullptr;
};

#endif
