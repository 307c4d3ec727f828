#include "RegistryApplier.h"

#include "RegistryKey.h"

#include <string>

namespace {

bool IsAbsent(LONG status) { return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND; }

HRESULT FromStatus(LONG status) { return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status); }

bool SameNoCase(const std::string& a, const char* b) {
    return lstrcmpiA(a.c_str(), b) == 0;
}

HKEY RootKey(const std::string& name) {
    if (SameNoCase(name, "HKCR") || SameNoCase(name, "HKEY_CLASSES_ROOT"))
        return HKEY_CLASSES_ROOT;
    if (SameNoCase(name, "HKCU") || SameNoCase(name, "HKEY_CURRENT_USER"))
        return HKEY_CURRENT_USER;
    if (SameNoCase(name, "HKLM") || SameNoCase(name, "HKEY_LOCAL_MACHINE"))
        return HKEY_LOCAL_MACHINE;
    if (SameNoCase(name, "HKU") || SameNoCase(name, "HKEY_USERS"))
        return HKEY_USERS;
    return nullptr;
}

LONG SetString(HKEY key, const char* name, const std::string& data) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>(data.size() + 1));
}

LONG DeleteTree(HKEY parent, const std::string& name) {
    const LONG status = RegDeleteTreeA(parent, name.c_str());
    return IsAbsent(status) ? ERROR_SUCCESS : status;
}

HRESULT RegisterKey(HKEY parent, const RegKey& node) {
    if (node.rule == RemoveRule::ForceRemove) {
        if (const LONG status = DeleteTree(parent, node.name); status != ERROR_SUCCESS)
            return FromStatus(status);
    }
    RegistryKey key;
    LONG status = RegCreateKeyExA(parent, node.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_READ | KEY_WRITE, nullptr, key.receive(), nullptr);
    if (status == ERROR_SUCCESS && node.defaultValue)
        status = SetString(key.get(), nullptr, *node.defaultValue);
    for (auto value = node.values.begin(); status == ERROR_SUCCESS && value != node.values.end();
         ++value)
        status = SetString(key.get(), value->name.c_str(), value->data);
    if (status != ERROR_SUCCESS)
        return FromStatus(status);
    for (const RegKey& child : node.subkeys)
        if (const HRESULT hr = RegisterKey(key.get(), child); FAILED(hr))
            return hr;
    return S_OK;
}

// Keeps the first failure of a sequence of steps that all run.
class FirstFailure {
public:
    void note(HRESULT hr) {
        if (SUCCEEDED(result_) && FAILED(hr))
            result_ = hr;
    }
    void noteStatus(LONG status) {
        if (!IsAbsent(status))
            note(FromStatus(status));
    }
    HRESULT result() const { return result_; }

private:
    HRESULT result_ = S_OK;
};

HRESULT UnregisterChildren(HKEY key, const RegKey& node) {
    FirstFailure failure;
    for (const RegKey& child : node.subkeys) {
        if (child.rule == RemoveRule::ForceRemove) {
            failure.noteStatus(DeleteTree(key, child.name));
            continue;
        }
        RegistryKey childKey;
        const LONG status = RegOpenKeyExA(key, child.name.c_str(), 0, KEY_READ | KEY_WRITE,
                                          childKey.receive());
        if (status != ERROR_SUCCESS) {
            failure.noteStatus(status);
            continue;
        }
        failure.note(UnregisterChildren(childKey.get(), child));
        if (child.rule == RemoveRule::NoRemove)
            continue;
        for (const RegNamedValue& value : child.values)
            failure.noteStatus(RegDeleteValueA(childKey.get(), value.name.c_str()));
        DWORD subkeys = 0;
        failure.noteStatus(RegQueryInfoKeyA(childKey.get(), nullptr, nullptr, nullptr, &subkeys,
                                            nullptr, nullptr, nullptr, nullptr, nullptr,
                                            nullptr, nullptr));
        childKey.close();
        // A key that someone else gave subkeys of its own stays.
        if (subkeys == 0)
            failure.noteStatus(RegDeleteKeyA(key, child.name.c_str()));
    }
    return failure.result();
}

}  // namespace

HRESULT ApplyRegScript(const std::vector<RegKey>& roots, bool registering) {
    FirstFailure failure;
    for (const RegKey& root : roots) {
        const HKEY rootKey = RootKey(root.name);
        if (rootKey == nullptr)
            return HRESULT_FROM_WIN32(ERROR_BADKEY);
        if (registering) {
            for (const RegKey& child : root.subkeys)
                if (const HRESULT hr = RegisterKey(rootKey, child); FAILED(hr))
                    return hr;
        } else {
            failure.note(UnregisterChildren(rootKey, root));
        }
    }
    return failure.result();
}
