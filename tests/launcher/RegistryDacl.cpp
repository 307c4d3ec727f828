// Test helper: replaces the access list of HKEY_LOCAL_MACHINE\<key> with the
// one in an SDDL text, so a test can make a key unopenable for some access.
// Usage: registry_dacl.exe KEY SDDL
#include <windows.h>
#include <sddl.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: registry_dacl KEY SDDL\n");
        return 2;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, argv[1], 0, WRITE_DAC, &key) != ERROR_SUCCESS) {
        std::fprintf(stderr, "registry_dacl: cannot open %s\n", argv[1]);
        return 1;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    LONG status = ERROR_INVALID_PARAMETER;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA(argv[2], SDDL_REVISION_1,
                                                             &descriptor, nullptr)) {
        status = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
        LocalFree(descriptor);
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        std::fprintf(stderr, "registry_dacl: cannot set %s (%ld)\n", argv[2], status);
    return status == ERROR_SUCCESS ? 0 : 1;
}
