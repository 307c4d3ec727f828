#include "ServerRegistration.h"

#include "BridgeModule.h"
#include "RegScript.h"
#include "RegistryApplier.h"
#include "resource.h"

#include <oleauto.h>

#include <exception>
#include <string>

namespace {

// The text of REGISTRY resource `id`; empty if it is missing.
std::string ScriptResource(UINT id) {
    const HINSTANCE instance = TheModule().instance();
    const HRSRC info = FindResourceA(instance, MAKEINTRESOURCEA(id), "REGISTRY");
    if (info == nullptr)
        return std::string();
    const HGLOBAL data = LoadResource(instance, info);
    const void* bytes = data != nullptr ? LockResource(data) : nullptr;
    if (bytes == nullptr)
        return std::string();
    return std::string(static_cast<const char*>(bytes), SizeofResource(instance, info));
}

std::string ModulePath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(TheModule().instance(), path, MAX_PATH);
    return path;
}

// Owns a loaded type library.
class TypeLibHolder {
public:
    TypeLibHolder() = default;
    ~TypeLibHolder() {
        if (library_ != nullptr)
            library_->Release();
    }
    TypeLibHolder(const TypeLibHolder&) = delete;
    TypeLibHolder& operator=(const TypeLibHolder&) = delete;
    ITypeLib** receive() { return &library_; }
    ITypeLib* get() const { return library_; }

private:
    ITypeLib* library_ = nullptr;
};

HRESULT RegisterEmbeddedTypeLib() {
    wchar_t path[MAX_PATH] = {};
    if (GetModuleFileNameW(TheModule().instance(), path, MAX_PATH) == 0)
        return HRESULT_FROM_WIN32(GetLastError());
    TypeLibHolder library;
    HRESULT hr = LoadTypeLib(path, library.receive());
    if (FAILED(hr))
        return hr;
    // The help directory is the executable's directory.
    wchar_t directory[MAX_PATH];
    lstrcpyW(directory, path);
    wchar_t* slash = wcsrchr(directory, L'\\');
    if (slash != nullptr)
        *slash = L'\0';
    return RegisterTypeLib(library.get(), path, directory);
}

}  // namespace

HRESULT UpdateRegistryFromResource(UINT id, bool registering) {
    try {
        const std::string script = ScriptResource(id);
        if (script.empty())
            return DISP_E_EXCEPTION;
        return ApplyRegScript(ParseRegScript(script, {{"MODULE", ModulePath()}}), registering);
    } catch (const RegScriptError&) {
        return DISP_E_EXCEPTION;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT RegisterServer() {
    const HRESULT hr = UpdateRegistryFromResource(IDR_MODEL, true);
    if (FAILED(hr))
        return hr;
    return RegisterEmbeddedTypeLib();
}

HRESULT UnregisterServer() { return UpdateRegistryFromResource(IDR_MODEL, false); }
