#include "ModelClassFactory.h"

#include "BridgeModule.h"
#include "InterfaceMap.h"
#include "ModelObject.h"

#include <new>

namespace {

const InterfaceMapEntry kFactoryInterfaces[] = {
    {&IID_IClassFactory, InterfaceCast<ModelClassFactory, IClassFactory>},
    {nullptr, nullptr},
};

}  // namespace

HRESULT ModelClassFactory::Create(REFIID iid, void** out) {
    *out = nullptr;
    ModelClassFactory* factory = new (std::nothrow) ModelClassFactory();
    if (factory == nullptr)
        return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(iid, out);
    if (FAILED(hr))
        delete factory;
    return hr;
}

HRESULT STDMETHODCALLTYPE ModelClassFactory::QueryInterface(REFIID iid, void** out) {
    return QueryInterfaceFromMap(this, kFactoryInterfaces, iid, out);
}

ULONG STDMETHODCALLTYPE ModelClassFactory::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&count_));
}

ULONG STDMETHODCALLTYPE ModelClassFactory::Release() {
    const LONG count = InterlockedDecrement(&count_);
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE ModelClassFactory::CreateInstance(IUnknown* outer, REFIID iid,
                                                            void** out) {
    BridgeModule& module = TheModule();
    module.noteRequest();
    if (out == nullptr)
        return E_POINTER;
    *out = nullptr;
    if (module.stopping())
        return CO_E_SERVER_STOPPING;
    if (outer != nullptr && !IsEqualIID(iid, IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    return ModelObject::Create(outer, iid, out);
}

HRESULT STDMETHODCALLTYPE ModelClassFactory::LockServer(BOOL lock) {
    BridgeModule& module = TheModule();
    module.noteRequest();
    if (!lock) {
        module.unlock();
        return S_OK;
    }
    if (module.stopping())
        return CO_E_SERVER_STOPPING;
    module.lock();
    return S_OK;
}
