// The OCI interfaces' identities, the generic info objects and the connector
// factory registry.
#include <OB/OCI_impl.h>

#include <cstring>

namespace {

bool sameId(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

}  // namespace

// Repository ID, cast and narrow of interface T whose ID path is PATH; BASE
// answers every other ID.
#define OCI_DEFINE_INTERFACE(T, PATH, BASE)                                   \
    namespace {                                                               \
    const char* const T##_Id = "IDL:stava.org/OCI/" PATH ":1.0";              \
    }                                                                         \
    const char* T::_OB_typeId() const { return T##_Id; }                      \
    void* T::_OB_castTo(const char* id) {                                     \
        if (sameId(id, T##_Id))                                               \
            return static_cast<T*>(this);                                     \
        return BASE::_OB_castTo(id);                                          \
    }                                                                         \
    T* T::_narrow(CORBA_Object* p) {                                          \
        return p ? OBDuplicate(static_cast<T*>(p->_OB_castTo(T##_Id))) : nullptr; \
    }

OCI_DEFINE_INTERFACE(OCI_Transport, "Transport", CORBA_Object)
OCI_DEFINE_INTERFACE(OCI_TransportInfo, "TransportInfo", CORBA_Object)
OCI_DEFINE_INTERFACE(OCI_IIOP_TransportInfo, "IIOP/TransportInfo", OCI_TransportInfo)
OCI_DEFINE_INTERFACE(OCI_ConnectCB, "ConnectCB", CORBA_Object)
OCI_DEFINE_INTERFACE(OCI_AcceptCB, "AcceptCB", CORBA_Object)
OCI_DEFINE_INTERFACE(OCI_ConnectorInfo, "ConnectorInfo", CORBA_Object)
OCI_DEFINE_INTERFACE(OCI_IIOP_ConnectorInfo, "IIOP/ConnectorInfo", OCI_ConnectorInfo)
OCI_DEFINE_INTERFACE(OCI_AcceptorInfo, "AcceptorInfo", CORBA_Object)
OCI_DEFINE_INTERFACE(OCI_IIOP_AcceptorInfo, "IIOP/AcceptorInfo", OCI_AcceptorInfo)
OCI_DEFINE_INTERFACE(OCI_Connector, "Connector", CORBA_Object)
OCI_DEFINE_INTERFACE(OCI_Acceptor, "Acceptor", CORBA_Object)
OCI_DEFINE_INTERFACE(OCI_ConFactory, "ConFactory", CORBA_Object)
OCI_DEFINE_INTERFACE(OCI_ConFactoryRegistry, "ConFactoryRegistry", CORBA_Object)

#undef OCI_DEFINE_INTERFACE

// --- callback lists ----------------------------------------------------------

namespace {

template <class CB> void addCallback(OBObjSeq<CB>& list, CB* cb) {
    OB_CHECK_COMPLIANT(cb, OBNCNullPtr);
    for (CORBA_ULong i = 0; i < list.length(); ++i)
        if (list[i]->_is_equivalent(cb))
            return;
    list.length(list.length() + 1);
    list[list.length() - 1] = OBDuplicate(cb);
}

template <class CB> void removeCallback(OBObjSeq<CB>& list, CB* cb) {
    OB_CHECK_COMPLIANT(cb, OBNCNullPtr);
    for (CORBA_ULong i = list.length(); i-- > 0;)
        if (list[i]->_is_equivalent(cb))
            list.remove(i);
}

}  // namespace

void OCI_ConnectorInfo_impl::add_connect_callback(OCI_ConnectCB* cb) { addCallback(callbacks_, cb); }

void OCI_ConnectorInfo_impl::remove_connect_callback(OCI_ConnectCB* cb) { removeCallback(callbacks_, cb); }

void OCI_ConnectorInfo_impl::call_connect_callbacks(OCI_TransportInfo* info) {
    // A callback may change the list; the round uses the list as it was.
    const OCI_ConnectCBSeq round(callbacks_);
    for (CORBA_ULong i = 0; i < round.length(); ++i)
        round[i]->connected(info);
}

void OCI_AcceptorInfo_impl::add_accept_callback(OCI_AcceptCB* cb) { addCallback(callbacks_, cb); }

void OCI_AcceptorInfo_impl::remove_accept_callback(OCI_AcceptCB* cb) { removeCallback(callbacks_, cb); }

void OCI_AcceptorInfo_impl::call_accept_callbacks(OCI_TransportInfo* info) {
    const OCI_AcceptCBSeq round(callbacks_);
    for (CORBA_ULong i = 0; i < round.length(); ++i)
        round[i]->accepted(info);
}

// --- transport info ----------------------------------------------------------

OCI_TransportInfo_impl::OCI_TransportInfo_impl(OCI_ConnectorInfo* connector, OCI_AcceptorInfo* acceptor)
    : connector_(OBDuplicate(connector)), acceptor_(OBDuplicate(acceptor)) {}

OCI_ConnectorInfo* OCI_TransportInfo_impl::connector_info() { return OBDuplicate(connector_.in()); }

OCI_AcceptorInfo* OCI_TransportInfo_impl::acceptor_info() { return OBDuplicate(acceptor_.in()); }

// --- connect policy ------------------------------------------------------------

bool OBConnectPolicyAllows(const CORBA_PolicyList& policies) {
    for (CORBA_ULong i = 0; i < policies.length(); ++i) {
        CORBA_Policy* policy = policies[i].in();
        if (policy->policy_type() != OB_ConnectPolicy::PolicyType)
            continue;
        OBObjVar<OB_ConnectPolicy> connectPolicy(OB_ConnectPolicy::_narrow(policy));
        OB_ASSERT_NAMED(!CORBA_is_nil(connectPolicy.in()), "!CORBA_is_nil(connectPolicy)");
        if (!connectPolicy->value())
            return false;
    }
    return true;
}

// --- registry ------------------------------------------------------------------

void OCI_ConFactoryRegistry_impl::add_factory(OCI_ConFactory* factory) {
    OB_CHECK_COMPLIANT(factory, OBNCNullPtr);
    factories_.length(factories_.length() + 1);
    factories_[factories_.length() - 1] = OBDuplicate(factory);
}

OCI_ConFactory* OCI_ConFactoryRegistry_impl::find_factory(const IOP_IOR& ior) {
    return find_factory_with_policies(ior, CORBA_PolicyList());
}

OCI_ConFactory* OCI_ConFactoryRegistry_impl::find_factory_with_policies(
    const IOP_IOR& ior, const CORBA_PolicyList& policies) {
    for (CORBA_ULong i = 0; i < factories_.length(); ++i)
        if (factories_[i]->accepts_ior(ior, policies))
            return OBDuplicate(factories_[i].in());
    return nullptr;
}

OCI_ConFactorySeq* OCI_ConFactoryRegistry_impl::factories() { return new OCI_ConFactorySeq(factories_); }

CORBA_Boolean OCI_ConFactoryRegistry_impl::equivalent(const IOP_IOR& a, const IOP_IOR& b) {
    for (CORBA_ULong i = 0; i < factories_.length(); ++i)
        if (factories_[i]->equivalent(a, b))
            return true;
    return false;
}
