// The ORB's binder: reusable clients from the process-wide list, new GIOP
// clients from the connector factories, and the object-key check.
#include <OB/Binding.h>

#include <OB/GIOPClient.h>
#include <OB/ORB.h>

namespace {

CORBA_ORB* requireOrb() {
    CORBA_ORB* orb = CORBA_ORB::_OB_instance();
    if (!orb)
        throw CORBA_INITIALIZE("ORB not initialized", 0, CORBA_COMPLETED_NO);
    return orb;
}

// The reuse policy among policies (new reference), or nil.
OB_ConnectionReusePolicy* findReusePolicy(const CORBA_PolicyList& policies) {
    for (CORBA_ULong i = 0; i < policies.length(); ++i) {
        CORBA_Policy* p = policies[i].in();
        if (p && p->policy_type() == OB_ConnectionReusePolicy::PolicyType)
            return OB_ConnectionReusePolicy::_narrow(p);
    }
    return nullptr;
}

OBClient* findReusableClient(const IOP_IOR& ior, const CORBA_PolicyList& policies) {
    for (const OBObjVar<OBClient>& c : OBClientList()) {
        if (!c->reusable)
            continue;
        OBObjVar<OCI_Connector> connector(c->connector());
        if (connector->serves_ior_with_policies(ior, policies))
            return OBDuplicate(c.in());
    }
    return nullptr;
}

// Holds no state: constant-initialised, so it is there for every reference
// made or released while the process starts or ends.
class ORBBinder : public OBBinder {
public:
    CORBA_ORB* _OB_currentORB() override { return CORBA_ORB::_OB_instance(); }

    OBClient* _OB_clientFor(const IOP_IOR& ior, const CORBA_PolicyList& policies) override {
        OBObjVar<OBClient> found(OBFindClient(ior, policies));
        // Requests carry the object key; a reference without one could never be invoked.
        OBObjVar<OCI_Connector> connector(found->connector());
        if (connector->object_key_for(ior).length() == 0)
            throw CORBA_INV_OBJREF("object reference without object key", 0, CORBA_COMPLETED_NO);
        return found._retn();
    }

    CORBA_Boolean _OB_equivalent(const IOP_IOR& a, const IOP_IOR& b) override {
        return requireOrb()->_OB_conFactoryRegistry()->equivalent(a, b);
    }

    const CORBA_PolicyList& _OB_bindingPolicies() override { return requireOrb()->_OB_defaultPolicies(); }
};

ORBBinder binder;

}  // namespace

OBClient* OBFindClient(const IOP_IOR& ior, const CORBA_PolicyList& policies) {
    OBObjVar<OB_ConnectionReusePolicy> reuse(findReusePolicy(policies));
    const bool shared = !reuse.in() || reuse->reuse();
    if (shared)
        if (OBClient* c = findReusableClient(ior, policies))
            return c;
    OCI_ConFactoryRegistry* registry = requireOrb()->_OB_conFactoryRegistry();
    OBObjVar<OCI_ConFactory> factory(registry->find_factory_with_policies(ior, policies));
    if (!factory.in())
        throw CORBA_NO_RESOURCES(0, CORBA_COMPLETED_NO);
    OBObjVar<OCI_Connector> connector(factory->create_connector_with_policies(ior, policies));
    if (!connector.in())
        throw CORBA_NO_RESOURCES(0, CORBA_COMPLETED_NO);
    OBGIOPClient* client = new OBGIOPClient(connector._retn());
    client->reusable = shared;
    return client;
}

void OBInstallBinder() { OBSetBinder(&binder); }
