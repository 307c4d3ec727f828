#include "ModelObject.h"

#include "BridgeModule.h"
#include "Controller.h"
#include "InterfaceMap.h"
#include "ModelArguments.h"
#include "ModelFailure.h"
#include "ModelTypeInfoHolder.h"

#include <exception>
#include <new>

namespace {

const InterfaceMapEntry kModelInterfaces[] = {
    {&IID_IModel, InterfaceCast<ModelObject, IModel>},
    {&IID_IDispatch, InterfaceCast<ModelObject, IModel>},
    {&IID_ISupportErrorInfo, InterfaceCast<ModelObject, ISupportErrorInfo>},
    {nullptr, nullptr},
};

// Runs `call` on the controller, if there is one, and turns an exception
// from it into the method's failure result. `method` names the IModel method.
template <class Call>
HRESULT Forward(const char* method, Call call) noexcept {
    BridgeController* controller = ProcessController();
    if (controller == nullptr)
        return S_OK;
    try {
        call(*controller);
        return S_OK;
    } catch (const ControllerError& e) {
        return ReportModelFailure(method, e.hresult(), e.what());
    } catch (const std::bad_alloc&) {
        return ReportModelFailure(method, E_OUTOFMEMORY, "out of memory");
    } catch (const std::exception& e) {
        return ReportModelFailure(method, E_FAIL, e.what());
    } catch (...) {
        return ReportModelFailure(method, E_UNEXPECTED, "unknown failure");
    }
}

// Clears an out value first, so that no controller or a failure leaves 0.
void ClearOut(LONG* out) {
    if (out != nullptr)
        *out = 0;
}

void StoreOut(LONG* out, LONG value) {
    if (out != nullptr)
        *out = value;
}

}  // namespace

HRESULT ModelObject::Create(IUnknown* outer, REFIID iid, void** out) {
    *out = nullptr;
    ModelObject* object = new (std::nothrow) ModelObject(outer);
    if (object == nullptr)
        return E_OUTOFMEMORY;
    const HRESULT hr = object->own_.QueryInterface(iid, out);
    if (FAILED(hr))
        delete object;
    return hr;
}

ModelObject::ModelObject(IUnknown* outer)
    : own_(*this), controlling_(outer != nullptr ? outer : &own_) {
    TheModelTypeInfo().addUser();
    TheModule().lock();
}

ModelObject::~ModelObject() {
    TheModule().unlock();
    TheModelTypeInfo().releaseUser();
}

HRESULT ModelObject::queryMap(REFIID iid, void** out) {
    return QueryInterfaceFromMap(this, kModelInterfaces, iid, out);
}

HRESULT STDMETHODCALLTYPE ModelObject::OwnUnknown::QueryInterface(REFIID iid, void** out) {
    if (owner_.aggregated() && IsEqualIID(iid, IID_IUnknown)) {
        if (out == nullptr)
            return E_POINTER;
        AddRef();
        *out = static_cast<IUnknown*>(this);
        return S_OK;
    }
    return owner_.queryMap(iid, out);
}

ULONG STDMETHODCALLTYPE ModelObject::OwnUnknown::AddRef() { return ++count_; }

ULONG STDMETHODCALLTYPE ModelObject::OwnUnknown::Release() {
    const ULONG count = --count_;
    if (count == 0)
        delete &owner_;
    return count;
}

HRESULT STDMETHODCALLTYPE ModelObject::QueryInterface(REFIID iid, void** out) {
    return controlling_->QueryInterface(iid, out);
}

ULONG STDMETHODCALLTYPE ModelObject::AddRef() { return controlling_->AddRef(); }

ULONG STDMETHODCALLTYPE ModelObject::Release() { return controlling_->Release(); }

HRESULT STDMETHODCALLTYPE ModelObject::GetTypeInfoCount(UINT* count) {
    if (count == nullptr)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ModelObject::GetTypeInfo(UINT, LCID locale, ITypeInfo** out) {
    if (out == nullptr)
        return E_POINTER;
    return TheModelTypeInfo().get(locale, out);
}

HRESULT STDMETHODCALLTYPE ModelObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count,
                                                     LCID locale, DISPID* ids) {
    ITypeInfo* info = nullptr;
    HRESULT hr = TheModelTypeInfo().get(locale, &info);
    if (FAILED(hr))
        return hr;
    hr = info->GetIDsOfNames(names, count, ids);
    info->Release();
    return hr;
}

HRESULT STDMETHODCALLTYPE ModelObject::Invoke(DISPID id, REFIID, LCID locale, WORD flags,
                                              DISPPARAMS* params, VARIANT* result,
                                              EXCEPINFO* exception, UINT* argError) {
    // Error information left over from an earlier call must not be taken for
    // this call's.
    SetErrorInfo(0, nullptr);
    ITypeInfo* info = nullptr;
    HRESULT hr = TheModelTypeInfo().get(locale, &info);
    if (FAILED(hr))
        return hr;
    hr = info->Invoke(static_cast<IModel*>(this), id, flags, params, result, exception,
                      argError);
    info->Release();
    return hr;
}

HRESULT STDMETHODCALLTYPE ModelObject::addNode(double x, double z, LONG* pRes) {
    ClearOut(pRes);
    return Forward("addNode", [&](BridgeController& c) { StoreOut(pRes, c.addNode(x, z)); });
}

HRESULT STDMETHODCALLTYPE ModelObject::lock() {
    return Forward("lock", [](BridgeController& c) { c.lock(); });
}

HRESULT STDMETHODCALLTYPE ModelObject::unlock() {
    return Forward("unlock", [](BridgeController& c) { c.unlock(); });
}

HRESULT STDMETHODCALLTYPE ModelObject::addEBBeam(LONG n1, LONG n2, LONG* pRes) {
    ClearOut(pRes);
    return Forward("addEBBeam",
                   [&](BridgeController& c) { StoreOut(pRes, c.addEBBeam(n1, n2)); });
}

HRESULT STDMETHODCALLTYPE ModelObject::addTruss(LONG n1, LONG n2, LONG* pRes) {
    ClearOut(pRes);
    return Forward("addTruss", [&](BridgeController& c) { StoreOut(pRes, c.addTruss(n1, n2)); });
}

HRESULT STDMETHODCALLTYPE ModelObject::setConstraints(LONG n, LONG cX, LONG cZ, LONG cR) {
    return Forward("setConstraints", [&](BridgeController& c) {
        c.setConstraints(n, FlagArgument(cX), FlagArgument(cZ), FlagArgument(cR));
    });
}

HRESULT STDMETHODCALLTYPE ModelObject::setForces(LONG n, double Fx, double Fz, double M) {
    return Forward("setForces", [&](BridgeController& c) { c.setForces(n, Fx, Fz, M); });
}

HRESULT STDMETHODCALLTYPE ModelObject::setNodeLabel(LONG n, BSTR label) {
    return Forward("setNodeLabel",
                   [&](BridgeController& c) { c.setNodeLabel(n, LabelText(label).c_str()); });
}

HRESULT STDMETHODCALLTYPE ModelObject::setBeamLabel(LONG b, BSTR label) {
    return Forward("setBeamLabel",
                   [&](BridgeController& c) { c.setBeamLabel(b, LabelText(label).c_str()); });
}

HRESULT STDMETHODCALLTYPE ModelObject::setEBBeamLoads(LONG b, double vi, double vk, double ni,
                                                      double nk) {
    return Forward("setEBBeamLoads",
                   [&](BridgeController& c) { c.setEBBeamLoads(b, vi, vk, ni, nk); });
}

HRESULT STDMETHODCALLTYPE ModelObject::setEBBeamHinges(LONG b, LONG hiN, LONG hiV, LONG hiM,
                                                       LONG hkN, LONG hkV, LONG hkM) {
    return Forward("setEBBeamHinges", [&](BridgeController& c) {
        c.setEBBeamHinges(b, FlagArgument(hiN), FlagArgument(hiV), FlagArgument(hiM),
                          FlagArgument(hkN), FlagArgument(hkV), FlagArgument(hkM));
    });
}

HRESULT STDMETHODCALLTYPE ModelObject::isValid(LONG* pRes) {
    StoreOut(pRes, ProcessController() != nullptr ? 1 : 0);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ModelObject::resetApp() {
    return Forward("resetApp", [](BridgeController& c) { c.resetApp(); });
}

HRESULT STDMETHODCALLTYPE ModelObject::setEBBeamSectionalVals(LONG beam, double ei, double ea) {
    return Forward("setEBBeamSectionalVals",
                   [&](BridgeController& c) { c.setEBBeamSectionalVals(beam, ei, ea); });
}

HRESULT STDMETHODCALLTYPE ModelObject::setTrussSectionalVals(LONG truss, double ea) {
    return Forward("setTrussSectionalVals",
                   [&](BridgeController& c) { c.setTrussSectionalVals(truss, ea); });
}

HRESULT STDMETHODCALLTYPE ModelObject::InterfaceSupportsErrorInfo(REFIID iid) {
    return IsEqualIID(iid, IID_IModel) ? S_OK : S_FALSE;
}
