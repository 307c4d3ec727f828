#include "ClassObjectRegistration.h"

#include "ModelClassFactory.h"
#include "StavaAutomationBridge_h.h"

ClassObjectRegistration::ClassObjectRegistration() {
    IUnknown* factory = nullptr;
    result_ = ModelClassFactory::Create(IID_IUnknown, reinterpret_cast<void**>(&factory));
    if (FAILED(result_))
        return;
    result_ = CoRegisterClassObject(CLSID_Model, factory, CLSCTX_LOCAL_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie_);
    // COM holds its own reference while the registration is in force.
    factory->Release();
    registered_ = SUCCEEDED(result_);
}

ClassObjectRegistration::~ClassObjectRegistration() { revoke(); }

void ClassObjectRegistration::revoke() {
    if (!registered_)
        return;
    CoRevokeClassObject(cookie_);
    registered_ = false;
}
