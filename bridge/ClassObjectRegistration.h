// Registration of the Model class object with COM for the life of the
// message loop.
#ifndef BRIDGE_CLASS_OBJECT_REGISTRATION_H
#define BRIDGE_CLASS_OBJECT_REGISTRATION_H

#include <windows.h>

class ClassObjectRegistration {
public:
    // Registers a new Model class object for local-server activation by many
    // clients (CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE).
    ClassObjectRegistration();
    // Revokes the registration if it is still in force.
    ~ClassObjectRegistration();
    ClassObjectRegistration(const ClassObjectRegistration&) = delete;
    ClassObjectRegistration& operator=(const ClassObjectRegistration&) = delete;

    // The result of the registration.
    HRESULT result() const noexcept { return result_; }

    // Revokes the registration and drops the class object.
    void revoke();

private:
    HRESULT result_ = E_FAIL;
    DWORD cookie_ = 0;
    bool registered_ = false;
};

#endif
