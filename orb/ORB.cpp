// The ORB object: its construction and destruction, initial services and
// stringified references.
#include <OB/ORB.h>

#include <OB/BOA.h>
#include <OB/Binding.h>
#include <OB/Net.h>
#include <OB/OCICurrent.h>
#include <OB/OCI_impl.h>
#include <OB/PolicyManager.h>

#include <cstring>

namespace {

CORBA_ORB* orb_ = nullptr;  // the process's ORB, not counted

// The default policy list a new ORB starts with.
CORBA_PolicyList initialPolicies() {
    CORBA_PolicyList list;
    list.length(1);
    list[0] = new OB_ConnectionReusePolicy(true);
    return list;
}

}  // namespace

OBSocketSession::OBSocketSession() {
    if (!OBSocketStartup())
        throw CORBA_COMM_FAILURE(socket_error_text(), OBMinorWSAStartup, CORBA_COMPLETED_NO);
}

OBSocketSession::~OBSocketSession() {
    if (!OBSocketCleanup())
        OBPrintException(CORBA_COMM_FAILURE(socket_error_text(), OBMinorWSACleanup, CORBA_COMPLETED_NO));
}

CORBA_ORB::CORBA_ORB() {
    OB_ASSERT(CORBA_is_nil(orb_));
    OBInstallBinder();
    orb_ = this;
    try {
        build();
    } catch (...) {
        // No destructor runs for an ORB that was never made.
        orb_ = nullptr;
        throw;
    }
}

void CORBA_ORB::build() {
    policyManager_ = new OBPolicyManager_impl(initialPolicies());
    _OB_addInitialService("ORBPolicyManager", policyManager_.in());
    CORBA_Object_var current(new OCI_Current_impl);
    _OB_addInitialService("OCICurrent", current.in());
    registry_ = new OCI_ConFactoryRegistry_impl;
}

CORBA_ORB::~CORBA_ORB() { orb_ = nullptr; }

CORBA_ORB* CORBA_ORB::_OB_instance() { return orb_; }

const CORBA_PolicyList& CORBA_ORB::_OB_defaultPolicies() const { return policyManager_->policies(); }

CORBA_Object* CORBA_ORB::string_to_object(const char* text) {
    OB_CHECK_COMPLIANT(text, OBNCNullString);
    IOP_IOR ior;
    OBParseIOR(text, ior);
    return OBObjectFromIOR(ior);
}

char* CORBA_ORB::object_to_string(CORBA_Object* obj) {
    if (CORBA_is_nil(obj)) {
        IOP_IOR nil;
        nil.type_id = "";
        return OBIORToString(nil);
    }
    if (obj->_is_local()) {
        CORBA_BOA* boa = CORBA_BOA::_OB_instance();
        if (CORBA_is_nil(boa))
            throw CORBA_INITIALIZE("BOA not initialized", 0, CORBA_COMPLETED_NO);
        boa->_OB_export(obj);
    }
    const IOP_IOR ior = obj->ior;
    return OBIORToString(ior);
}

CORBA_Object* CORBA_ORB::resolve_initial_references(const char* identifier) {
    OB_CHECK_COMPLIANT(identifier, OBNCNullString);
    for (CORBA_ULong i = 0; i < services_.length(); ++i)
        if (std::strcmp(services_[i].name.in(), identifier) == 0)
            return OBDuplicate(services_[i].object.in());
    throw CORBA_ORB_InvalidName();
}

CORBA_ORB_ObjectIdList* CORBA_ORB::list_initial_services() {
    CORBA_ORB_ObjectIdList* names = new CORBA_ORB_ObjectIdList;
    names->length(services_.length());
    for (CORBA_ULong i = 0; i < services_.length(); ++i)
        (*names)[i] = services_[i].name.in();
    return names;
}

void CORBA_ORB::_OB_addInitialService(const char* name, const char* iorString) {
    OB_CHECK_COMPLIANT(name, OBNCNullString);
    OB_CHECK_COMPLIANT(iorString, OBNCNullString);
    CORBA_Object_var obj(string_to_object(iorString));
    _OB_addInitialService(name, obj.in());
}

void CORBA_ORB::_OB_addInitialService(const char* name, CORBA_Object* obj) {
    OB_CHECK_COMPLIANT(name, OBNCNullString);
    for (CORBA_ULong i = 0; i < services_.length(); ++i) {
        if (std::strcmp(services_[i].name.in(), name) == 0) {
            // Copy assignment, so re-adding the object already held is safe.
            services_[i].object = CORBA_Object_var(OBDuplicate(obj));
            CORBA_String_var text("ORB_init: initial service `");
            text += name;
            text += "' was overridden";
            OBMessageViewer::instance()->warning(text.in());
            return;
        }
    }
    const CORBA_ULong n = services_.length();
    services_.length(n + 1);
    services_[n].name = name;
    services_[n].object = OBDuplicate(obj);
}
