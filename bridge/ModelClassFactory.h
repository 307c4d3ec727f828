// The class object of Model: creates Model objects for COM and holds server
// locks. It does not count in the module's lock count itself.
#ifndef BRIDGE_MODEL_CLASS_FACTORY_H
#define BRIDGE_MODEL_CLASS_FACTORY_H

#include <unknwn.h>

class ModelClassFactory final : public IClassFactory {
public:
    // Creates a class object and answers `iid` on it (IUnknown or
    // IClassFactory); destroys it if `iid` is refused. E_OUTOFMEMORY when it
    // cannot be allocated.
    static HRESULT Create(REFIID iid, void** out);

    ModelClassFactory(const ModelClassFactory&) = delete;
    ModelClassFactory& operator=(const ModelClassFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    // Interlocked reference count; the object is freed at zero.
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // E_POINTER for a null `out`; else clears it; CO_E_SERVER_STOPPING once
    // the server is stopping, so that a client racing the end gets a failure
    // it can retry rather than an object in a process about to end;
    // CLASS_E_NOAGGREGATION for an outer object with an id other than
    // IUnknown; else the result of creating a Model object (aggregated when
    // `outer` is given). Every call counts as a request to the module.
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;

    // Nonzero `lock` raises the module's lock count (CO_E_SERVER_STOPPING
    // instead once the server is stopping), zero lowers it (which may end the
    // server); otherwise S_OK. Every call counts as a request to the module.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    ModelClassFactory() = default;
    ~ModelClassFactory() = default;

    volatile LONG count_ = 0;
};

#endif
