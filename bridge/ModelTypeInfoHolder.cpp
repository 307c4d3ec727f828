#include "ModelTypeInfoHolder.h"

#include "BridgeModule.h"
#include "StavaAutomationBridge_h.h"

namespace {

constexpr WORD kMajorVersion = 1;
constexpr WORD kMinorVersion = 0;

HRESULT LoadModelTypeInfo(LCID locale, ITypeInfo** out) {
    ITypeLib* library = nullptr;
    HRESULT hr = LoadRegTypeLib(LIBID_STAVAAUTOMATIONBRIDGELib, kMajorVersion, kMinorVersion,
                                locale, &library);
    if (FAILED(hr))
        return hr;
    hr = library->GetTypeInfoOfGuid(IID_IModel, out);
    library->Release();
    return hr;
}

}  // namespace

void ModelTypeInfoHolder::addUser() {
    CriticalSectionHold hold(TheModule().typeInfoLock());
    ++users_;
}

void ModelTypeInfoHolder::releaseUser() {
    CriticalSectionHold hold(TheModule().typeInfoLock());
    if (--users_ == 0 && cached_ != nullptr) {
        cached_->Release();
        cached_ = nullptr;
    }
}

HRESULT ModelTypeInfoHolder::get(LCID locale, ITypeInfo** out) {
    CriticalSectionHold hold(TheModule().typeInfoLock());
    *out = nullptr;
    HRESULT hr = E_FAIL;
    if (cached_ == nullptr) {
        ITypeInfo* loaded = nullptr;
        hr = LoadModelTypeInfo(locale, &loaded);
        if (SUCCEEDED(hr))
            cached_ = loaded;
    }
    if (cached_ != nullptr) {
        cached_->AddRef();
        *out = cached_;
        hr = S_OK;
    }
    return hr;
}

ModelTypeInfoHolder& TheModelTypeInfo() {
    static ModelTypeInfoHolder holder;
    return holder;
}
