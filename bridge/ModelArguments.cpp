#include "ModelArguments.h"

#include <vector>

std::string AnsiText(BSTR text) {
    if (text == nullptr)
        return std::string();
    const int length = lstrlenW(text);
    // Two bytes per character are enough for any double-byte code page.
    std::vector<char> buffer(2 * static_cast<std::size_t>(length) + 2);
    const int written = WideCharToMultiByte(CP_ACP, 0, text, length, buffer.data(),
                                            static_cast<int>(buffer.size()), nullptr, nullptr);
    return std::string(buffer.data(), written > 0 ? static_cast<std::size_t>(written) : 0);
}
