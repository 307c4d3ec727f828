// The bridge's registry scripts: parsed with the replacements registration
// uses; a syntax error is the only way out besides a key tree.
#include "RegScript.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const RegReplacements replacements = {
        {"MODULE", "C:\\Program Files\\Stava\\StavaAutomationBridge.exe"}};
    try {
        ParseRegScript(std::string_view(reinterpret_cast<const char*>(data), size), replacements);
    } catch (const RegScriptError&) {
    }
    return 0;
}
