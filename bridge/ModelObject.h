// The COM object behind the class Model: the automation interface IModel,
// forwarded to the process-wide controller, plus ISupportErrorInfo.
#ifndef BRIDGE_MODEL_OBJECT_H
#define BRIDGE_MODEL_OBJECT_H

#include "StavaAutomationBridge_h.h"

#include <oaidl.h>

class ModelObject final : public IModel, public ISupportErrorInfo {
public:
    // Creates a Model object and answers `iid` on it: plain when `outer` is
    // null, else aggregated by `outer` (then `iid` must be IUnknown, which
    // yields the object's own, non-delegating unknown). Every object holds one
    // module lock and one user of the type information while it lives. The
    // object is destroyed at once if `iid` is refused. E_OUTOFMEMORY when it
    // cannot be allocated.
    static HRESULT Create(IUnknown* outer, REFIID iid, void** out);

    ModelObject(const ModelObject&) = delete;
    ModelObject& operator=(const ModelObject&) = delete;

    // IUnknown, delegating to the controlling unknown (the outer object when
    // aggregated).
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch, through the registered type library.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** out) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count,
                                            LCID locale, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argError) override;

    // IModel: each method forwards to the controller of the same name; with
    // no controller it does nothing and stores 0 in its out value. A failed
    // call returns the failure's code with error information set.
    HRESULT STDMETHODCALLTYPE addNode(double x, double z, LONG* pRes) override;
    HRESULT STDMETHODCALLTYPE lock() override;
    HRESULT STDMETHODCALLTYPE unlock() override;
    HRESULT STDMETHODCALLTYPE addEBBeam(LONG n1, LONG n2, LONG* pRes) override;
    HRESULT STDMETHODCALLTYPE addTruss(LONG n1, LONG n2, LONG* pRes) override;
    HRESULT STDMETHODCALLTYPE setConstraints(LONG n, LONG cX, LONG cZ, LONG cR) override;
    HRESULT STDMETHODCALLTYPE setForces(LONG n, double Fx, double Fz, double M) override;
    HRESULT STDMETHODCALLTYPE setNodeLabel(LONG n, BSTR label) override;
    HRESULT STDMETHODCALLTYPE setBeamLabel(LONG b, BSTR label) override;
    HRESULT STDMETHODCALLTYPE setEBBeamLoads(LONG b, double vi, double vk, double ni,
                                             double nk) override;
    HRESULT STDMETHODCALLTYPE setEBBeamHinges(LONG b, LONG hiN, LONG hiV, LONG hiM, LONG hkN,
                                              LONG hkV, LONG hkM) override;
    // Stores 1 when a controller is connected, else 0 (never contacts it).
    HRESULT STDMETHODCALLTYPE isValid(LONG* pRes) override;
    HRESULT STDMETHODCALLTYPE resetApp() override;
    HRESULT STDMETHODCALLTYPE setEBBeamSectionalVals(LONG beam, double ei, double ea) override;
    HRESULT STDMETHODCALLTYPE setTrussSectionalVals(LONG truss, double ea) override;

    // ISupportErrorInfo: S_OK for IModel, S_FALSE for anything else.
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

private:
    // The object's own IUnknown with its reference count. When aggregated it
    // is what the outer object holds; its QueryInterface answers IUnknown
    // with itself and everything else from the interface map.
    class OwnUnknown final : public IUnknown {
    public:
        explicit OwnUnknown(ModelObject& owner) : owner_(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;

    private:
        ModelObject& owner_;
        ULONG count_ = 0;
    };

    explicit ModelObject(IUnknown* outer);
    ~ModelObject();

    HRESULT queryMap(REFIID iid, void** out);
    bool aggregated() const noexcept { return controlling_ != &own_; }

    OwnUnknown own_;
    IUnknown* controlling_;
};

#endif
