// Generic implementations behind the OCI interfaces: the info objects with
// their callback lists and the connector factory registry. Transport
// implementations (IIOP) build on the info classes.
#ifndef OB_OCI_IMPL_H
#define OB_OCI_IMPL_H

#include <OB/OCI.h>

typedef OBObjSeq<OCI_ConnectCB> OCI_ConnectCBSeq;
typedef OBObjSeq<OCI_AcceptCB> OCI_AcceptCBSeq;

// Info of a transport: which connector or acceptor made it. The tag and any
// address queries come from the transport-specific subclass.
class OCI_TransportInfo_impl : public virtual OCI_TransportInfo {
public:
    // Keeps new references to both infos; either may be nil.
    OCI_TransportInfo_impl(OCI_ConnectorInfo* connector, OCI_AcceptorInfo* acceptor);

    OCI_ConnectorInfo* connector_info() override;
    OCI_AcceptorInfo* acceptor_info() override;

private:
    OBObjVar<OCI_ConnectorInfo> connector_;
    OBObjVar<OCI_AcceptorInfo> acceptor_;
};

// Info of a connector: its ordered list of connect callbacks.
class OCI_ConnectorInfo_impl : public virtual OCI_ConnectorInfo {
public:
    void add_connect_callback(OCI_ConnectCB* cb) override;
    void remove_connect_callback(OCI_ConnectCB* cb) override;
    // Calls each callback listed at the time of the call; an exception from
    // a callback ends the round and propagates.
    void call_connect_callbacks(OCI_TransportInfo* info) override;

private:
    OCI_ConnectCBSeq callbacks_;
};

// Info of an acceptor: its ordered list of accept callbacks.
class OCI_AcceptorInfo_impl : public virtual OCI_AcceptorInfo {
public:
    void add_accept_callback(OCI_AcceptCB* cb) override;
    void remove_accept_callback(OCI_AcceptCB* cb) override;
    // As OCI_ConnectorInfo_impl::call_connect_callbacks.
    void call_accept_callbacks(OCI_TransportInfo* info) override;

private:
    OCI_AcceptCBSeq callbacks_;
};

// The ORB's connector factories in registration order (append only).
class OCI_ConFactoryRegistry_impl : public virtual OCI_ConFactoryRegistry {
public:
    void add_factory(OCI_ConFactory* factory) override;
    OCI_ConFactory* find_factory(const IOP_IOR& ior) override;
    OCI_ConFactory* find_factory_with_policies(const IOP_IOR& ior,
                                               const CORBA_PolicyList& policies) override;
    OCI_ConFactorySeq* factories() override;
    CORBA_Boolean equivalent(const IOP_IOR& a, const IOP_IOR& b) override;

private:
    OCI_ConFactorySeq factories_;
};

// The connect-policy check of connectors and factories: false as soon as a
// policy of type 1 (OB_ConnectPolicy) has the value false; true otherwise.
bool OBConnectPolicyAllows(const CORBA_PolicyList& policies);

#endif
