#include "ModelFailure.h"

#include "Log.h"
#include "StavaAutomationBridge_h.h"

#include <oleauto.h>

#include <exception>
#include <string>
#include <vector>

namespace {

// `text` (ANSI) as a BSTR; null if it cannot be made. The caller frees it.
BSTR WideText(const std::string& text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 0)
        return nullptr;
    std::vector<wchar_t> wide(static_cast<std::size_t>(length));
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
    return SysAllocString(wide.data());
}

// Owns a BSTR until the end of the scope.
class BstrHolder {
public:
    explicit BstrHolder(BSTR text) : text_(text) {}
    ~BstrHolder() { SysFreeString(text_); }
    BstrHolder(const BstrHolder&) = delete;
    BstrHolder& operator=(const BstrHolder&) = delete;
    BSTR get() const { return text_; }

private:
    BSTR text_;
};

void SetModelErrorInfo(const char* method, const char* description) {
    const BstrHolder source(WideText(std::string("StavaAutomationBridge.Model.") + method));
    const BstrHolder text(WideText(description));
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create)))
        return;
    create->SetGUID(IID_IModel);
    create->SetSource(source.get());
    create->SetDescription(text.get());
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
        create->Release();
        SetErrorInfo(0, info);
        info->Release();
        return;
    }
    create->Release();
}

}  // namespace

HRESULT ReportModelFailure(const char* method, HRESULT hr, const char* description) noexcept {
    try {
        BridgeLog().line(std::string(method) + " failed: " + description);
        SetModelErrorInfo(method, description);
    } catch (const std::exception&) {
        // Out of memory while reporting: the failure code still reaches the caller.
    }
    return FAILED(hr) ? hr : E_FAIL;
}
