// The pluggable transport interfaces: a connector factory turns an IOR into a
// connector, a connector opens a connection and yields a transport, and a
// transport moves the octets of an OCI_Buffer. Info objects describe them
// and carry the connect and accept callbacks. All are local objects; their
// repository IDs are "IDL:stava.org/OCI/<Name>:1.0".
//
// Object results are new references owned by the caller; OCI_Buffer
// arguments are neither kept nor released by the callee.
#ifndef OB_OCI_H
#define OB_OCI_H

#include <OB/Policy.h>

typedef CORBA_ULong OCI_ProfileId;  // profile tag; IIOP is 0
typedef CORBA_Long OCI_Handle;      // socket handle, -1 for none

// An IPv4 address, 4 octets in network order.
struct OCI_IIOP_InetAddr {
    CORBA_Octet octets[4] = {0, 0, 0, 0};
};

class OCI_TransportInfo;
class OCI_ConnectorInfo;
class OCI_AcceptorInfo;
class OCI_ConFactory;
typedef OBObjSeq<OCI_ConFactory> OCI_ConFactorySeq;

// Declares _OB_typeId, _OB_castTo and _narrow of an OCI interface.
#define OCI_DECLARE_INTERFACE(T)                 \
    const char* _OB_typeId() const override;     \
    void* _OB_castTo(const char* id) override;   \
    static T* _narrow(CORBA_Object* p)

class OCI_Transport : public virtual CORBA_Object {
public:
    virtual OCI_ProfileId tag() = 0;
    // The socket handle, -1 when closed.
    virtual OCI_Handle handle() = 0;
    virtual CORBA_Long reserved_attribute() = 0;
    // Closes the connection; the transport is not reopened.
    virtual void close() = 0;
    // Fills buf from its pos. Raises CORBA_COMM_FAILURE (minor 3 when the
    // peer closed, 1 on a failure); non-blocking returns early when nothing is there.
    virtual void receive(OCI_Buffer* buf, CORBA_Boolean block) = 0;
    // As receive, but false when the peer has closed or reset the connection.
    virtual CORBA_Boolean try_receive(OCI_Buffer* buf, CORBA_Boolean block) = 0;
    // Fills buf, waiting at most ms for each chunk; returns with buf not full on a time-out.
    virtual void receive_with_timeout(OCI_Buffer* buf, CORBA_ULong ms) = 0;
    // Drains buf from its pos (minor 4 for a zero send, 2 on a failure).
    virtual void send(OCI_Buffer* buf, CORBA_Boolean block) = 0;
    // As send, but false when the peer has closed or reset the connection.
    virtual CORBA_Boolean try_send(OCI_Buffer* buf, CORBA_Boolean block) = 0;
    // Drains buf, waiting at most ms for each chunk.
    virtual void send_with_timeout(OCI_Buffer* buf, CORBA_ULong ms) = 0;
    virtual OCI_TransportInfo* info() = 0;
    virtual void reserved_operation(CORBA_Long) = 0;
    // One transfer into buf from its pos: what has arrived, up to the
    // buffer's end. Blocking waits for at least one octet; non-blocking may
    // move nothing. Failures as receive.
    virtual void receive_some(OCI_Buffer* buf, CORBA_Boolean block) = 0;
    OCI_DECLARE_INTERFACE(OCI_Transport);
};

class OCI_TransportInfo : public virtual CORBA_Object {
public:
    virtual OCI_ProfileId tag() = 0;
    // Info of the connector that made the transport, or nil.
    virtual OCI_ConnectorInfo* connector_info() = 0;
    // Info of the acceptor that accepted it, or nil.
    virtual OCI_AcceptorInfo* acceptor_info() = 0;
    OCI_DECLARE_INTERFACE(OCI_TransportInfo);
};

class OCI_IIOP_TransportInfo : public virtual OCI_TransportInfo {
public:
    virtual OCI_IIOP_InetAddr local_address() = 0;
    virtual CORBA_UShort local_port() = 0;
    virtual OCI_IIOP_InetAddr remote_address() = 0;
    virtual CORBA_UShort remote_port() = 0;
    OCI_DECLARE_INTERFACE(OCI_IIOP_TransportInfo);
};

// Called when a connector has made a connection.
class OCI_ConnectCB : public virtual CORBA_Object {
public:
    virtual void connected(OCI_TransportInfo* info) = 0;
    OCI_DECLARE_INTERFACE(OCI_ConnectCB);
};

// Called when an acceptor has accepted a connection.
class OCI_AcceptCB : public virtual CORBA_Object {
public:
    virtual void accepted(OCI_TransportInfo* info) = 0;
    OCI_DECLARE_INTERFACE(OCI_AcceptCB);
};

class OCI_ConnectorInfo : public virtual CORBA_Object {
public:
    virtual OCI_ProfileId tag() = 0;
    // Appends cb unless an equivalent callback is listed.
    virtual void add_connect_callback(OCI_ConnectCB* cb) = 0;
    // Removes every listed callback equivalent to cb.
    virtual void remove_connect_callback(OCI_ConnectCB* cb) = 0;
    // Calls connected(info) on each callback in list order.
    virtual void call_connect_callbacks(OCI_TransportInfo* info) = 0;
    OCI_DECLARE_INTERFACE(OCI_ConnectorInfo);
};

class OCI_IIOP_ConnectorInfo : public virtual OCI_ConnectorInfo {
public:
    virtual OCI_IIOP_InetAddr remote_address() = 0;
    virtual CORBA_UShort remote_port() = 0;
    OCI_DECLARE_INTERFACE(OCI_IIOP_ConnectorInfo);
};

class OCI_AcceptorInfo : public virtual CORBA_Object {
public:
    virtual OCI_ProfileId tag() = 0;
    virtual void add_accept_callback(OCI_AcceptCB* cb) = 0;
    virtual void remove_accept_callback(OCI_AcceptCB* cb) = 0;
    virtual void call_accept_callbacks(OCI_TransportInfo* info) = 0;
    OCI_DECLARE_INTERFACE(OCI_AcceptorInfo);
};

class OCI_IIOP_AcceptorInfo : public virtual OCI_AcceptorInfo {
public:
    virtual OCI_IIOP_InetAddr local_address() = 0;
    virtual CORBA_UShort local_port() = 0;
    OCI_DECLARE_INTERFACE(OCI_IIOP_AcceptorInfo);
};

class OCI_Connector : public virtual CORBA_Object {
public:
    virtual OCI_ProfileId tag() = 0;
    // Closes the socket that connect is working on.
    virtual void close() = 0;
    // Opens a new connection. CORBA_COMM_FAILURE minor 5, 6 or 10 (COMPLETED_NO).
    virtual OCI_Transport* connect() = 0;
    // As connect, giving up after ms milliseconds (ms < 0: the system's own
    // limit) with minor 10.
    virtual OCI_Transport* connect_timeout(CORBA_Long ms) = 0;
    // True if some IIOP profile of ior names this connector's endpoint.
    virtual CORBA_Boolean serves_ior(const IOP_IOR& ior) = 0;
    // Connect-policy check, then serves_ior.
    virtual CORBA_Boolean serves_ior_with_policies(const IOP_IOR& ior, const CORBA_PolicyList& policies) = 0;
    // Object key of the first profile naming this endpoint; empty if none.
    virtual CORBA_OctetSeq object_key_for(const IOP_IOR& ior) = 0;
    virtual OCI_ConnectorInfo* info() = 0;
    virtual void reserved_operation(CORBA_Long) = 0;
    OCI_DECLARE_INTERFACE(OCI_Connector);
};

class OCI_Acceptor : public virtual CORBA_Object {
public:
    virtual OCI_ProfileId tag() = 0;
    virtual OCI_Handle handle() = 0;
    virtual void close() = 0;
    virtual void listen() = 0;
    // Accepts one connection (blocking). CORBA_COMM_FAILURE minor 11 or 6.
    virtual OCI_Transport* accept() = 0;
    virtual OCI_AcceptorInfo* info() = 0;
    OCI_DECLARE_INTERFACE(OCI_Acceptor);
};

class OCI_ConFactory : public virtual CORBA_Object {
public:
    virtual OCI_ProfileId tag() = 0;
    // A new connector for the first IIOP profile; nil if there is none.
    virtual OCI_Connector* create_connector(const IOP_IOR& ior) = 0;
    // Nil unless accepts_ior; else create_connector.
    virtual OCI_Connector* create_connector_with_policies(const IOP_IOR& ior, const CORBA_PolicyList& policies) = 0;
    // Some profile has this factory's tag and the connect-policy check passes.
    virtual CORBA_Boolean accepts_ior(const IOP_IOR& ior, const CORBA_PolicyList& policies) = 0;
    virtual CORBA_Boolean equivalent(const IOP_IOR& a, const IOP_IOR& b) = 0;
    OCI_DECLARE_INTERFACE(OCI_ConFactory);
};

class OCI_ConFactoryRegistry : public virtual CORBA_Object {
public:
    // Appends a new reference to factory (no duplicate check).
    virtual void add_factory(OCI_ConFactory* factory) = 0;
    virtual OCI_ConFactory* find_factory(const IOP_IOR& ior) = 0;
    // First factory in registration order whose accepts_ior is true; nil if none.
    virtual OCI_ConFactory* find_factory_with_policies(const IOP_IOR& ior, const CORBA_PolicyList& policies) = 0;
    // A copy of the list.
    virtual OCI_ConFactorySeq* factories() = 0;
    // True as soon as one factory finds the IORs equivalent.
    virtual CORBA_Boolean equivalent(const IOP_IOR& a, const IOP_IOR& b) = 0;
    OCI_DECLARE_INTERFACE(OCI_ConFactoryRegistry);
};

#endif
