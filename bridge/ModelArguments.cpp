#include "ModelArguments.h"

#include "Controller.h"

#include <string>

namespace {

// Throws the failure of the last WideCharToMultiByte call, with its error.
[[noreturn]] void ThrowConversionFailure(UINT codePage) {
    const DWORD error = GetLastError();
    throw ControllerError(HRESULT_FROM_WIN32(error),
                          "text not converted to code page " + std::to_string(codePage) +
                              " (Windows error " + std::to_string(error) + ")");
}

}  // namespace

std::string NarrowText(BSTR text, UINT codePage) {
    if (text == nullptr)
        return std::string();
    const int length = lstrlenW(text);
    if (length == 0)
        return std::string();
    // Asked first: the size of the result decides the buffer, whatever the
    // code page (a character may take one octet or several).
    const int size = WideCharToMultiByte(codePage, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        ThrowConversionFailure(codePage);
    std::string narrow(static_cast<std::size_t>(size), '\0');
    const int written =
        WideCharToMultiByte(codePage, 0, text, length, narrow.data(), size, nullptr, nullptr);
    if (written != size)
        ThrowConversionFailure(codePage);
    return narrow;
}
