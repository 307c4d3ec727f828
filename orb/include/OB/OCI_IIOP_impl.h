// IIOP: the OCI over TCP/IPv4. A connector factory makes connectors from the
// first IIOP profile of an IOR, a connector opens connections, an acceptor
// accepts them, and a transport moves buffers over one connection.
//
// Every failure raises CORBA_COMM_FAILURE with completion status
// COMPLETED_NO and, unless said otherwise, socket_error_text() as reason.
// Used from one thread at a time.
#ifndef OB_OCI_IIOP_IMPL_H
#define OB_OCI_IIOP_IMPL_H

#include <OB/Net.h>
#include <OB/OCI_impl.h>

class OCI_IIOP_Transport_impl;

// Info of an IIOP transport; the address queries ask the transport's socket.
class OCI_IIOP_TransportInfo_impl : public OCI_TransportInfo_impl, public virtual OCI_IIOP_TransportInfo {
public:
    // For transport (not counted: the transport owns this info and detaches
    // itself when it goes); connector or acceptor info as the maker's.
    OCI_IIOP_TransportInfo_impl(OCI_IIOP_Transport_impl* transport, OCI_ConnectorInfo* connector,
                                OCI_AcceptorInfo* acceptor);

    OCI_ProfileId tag() override;
    // getsockname / getpeername of the transport's socket: zeros and port 0
    // when the call fails or the transport is gone.
    OCI_IIOP_InetAddr local_address() override;
    CORBA_UShort local_port() override;
    OCI_IIOP_InetAddr remote_address() override;
    CORBA_UShort remote_port() override;

    // Called by the transport's destructor: later queries answer zeros.
    void _OB_detach() { transport_ = nullptr; }

private:
    OCI_IIOP_Transport_impl* transport_;
};

// Info of an IIOP connector: its resolved address and port, no socket call.
class OCI_IIOP_ConnectorInfo_impl : public OCI_ConnectorInfo_impl, public virtual OCI_IIOP_ConnectorInfo {
public:
    OCI_IIOP_ConnectorInfo_impl(const sockaddr_in& remote, CORBA_UShort port);

    OCI_ProfileId tag() override;
    OCI_IIOP_InetAddr remote_address() override;
    CORBA_UShort remote_port() override;

private:
    OCI_IIOP_InetAddr address_;
    CORBA_UShort port_;
};

// Info of an IIOP acceptor: the address and port it is bound to.
class OCI_IIOP_AcceptorInfo_impl : public OCI_AcceptorInfo_impl, public virtual OCI_IIOP_AcceptorInfo {
public:
    OCI_IIOP_AcceptorInfo_impl(const sockaddr_in& local);

    OCI_ProfileId tag() override;
    OCI_IIOP_InetAddr local_address() override;
    CORBA_UShort local_port() override;

private:
    OCI_IIOP_InetAddr address_;
    CORBA_UShort port_;
};

// One TCP connection. Transfers work on buf->data() + buf->pos up to the
// buffer's length and advance pos chunk by chunk; the blocking mode is
// switched only when a call asks for another one than the current.
class OCI_IIOP_Transport_impl : public virtual OCI_Transport {
public:
    // Takes over the connected, blocking socket. connector or acceptor
    // (either may be nil) is the info of the maker of the connection.
    OCI_IIOP_Transport_impl(OBSocket socket, OCI_ConnectorInfo* connector, OCI_AcceptorInfo* acceptor);
    // The socket is closed with the transport if it is still open.
    ~OCI_IIOP_Transport_impl() override;

    OCI_ProfileId tag() override;
    OCI_Handle handle() override;
    CORBA_Long reserved_attribute() override;
    void close() override;
    // Minor 3 (empty reason) when the peer has closed, 1 when recv fails
    // other than "would block" in non-blocking mode (which returns early).
    void receive(OCI_Buffer* buf, CORBA_Boolean block) override;
    // False when the peer has closed or reset; true when the buffer is full
    // or, not blocking, nothing more is there. Minor 1 on other failures.
    CORBA_Boolean try_receive(OCI_Buffer* buf, CORBA_Boolean block) override;
    // ms 0: receive(buf, false). Otherwise waits at most ms for each chunk
    // and returns with buf not full when a wait times out; minor 12 when
    // select fails, else as receive.
    void receive_with_timeout(OCI_Buffer* buf, CORBA_ULong ms) override;
    // Minor 4 (empty reason) when send returns 0, 2 when it fails other than
    // "would block" in non-blocking mode (which returns early).
    void send(OCI_Buffer* buf, CORBA_Boolean block) override;
    // False when the peer has closed or reset; minor 2 on other failures.
    CORBA_Boolean try_send(OCI_Buffer* buf, CORBA_Boolean block) override;
    // As receive_with_timeout, waiting for the socket to take more octets.
    void send_with_timeout(OCI_Buffer* buf, CORBA_ULong ms) override;
    OCI_TransportInfo* info() override;
    void reserved_operation(CORBA_Long) override;
    // One recv, so that a reader can take a whole small message at once.
    void receive_some(OCI_Buffer* buf, CORBA_Boolean block) override;

private:
    // Which way a transfer moves octets: recv into the buffer, or send from it.
    enum class Way { In, Out };

    void setBlocking(bool block);
    // Waits up to ms for readability (way In) or writability (Out); false on
    // a time-out.
    bool waitReady(Way way, CORBA_ULong ms);
    // One recv or send on buf, advancing pos: the count moved, 0 when the
    // peer has closed, -1 on failure (the last socket error tells).
    CORBA_Long moveSome(OCI_Buffer* buf, Way way);
    // One recv or send for receive and send: false when it would block in
    // non-blocking mode; raises minor 3 or 4 when the peer has closed, 1 or
    // 2 on the other failures.
    bool moveChunk(OCI_Buffer* buf, Way way);
    // The loops behind receive/send, try_receive/try_send and
    // receive_with_timeout/send_with_timeout.
    void transfer(OCI_Buffer* buf, CORBA_Boolean block, Way way);
    CORBA_Boolean tryTransfer(OCI_Buffer* buf, CORBA_Boolean block, Way way);
    void transferWithTimeout(OCI_Buffer* buf, CORBA_ULong ms, Way way);
    // A failed call only found no data (no room) in non-blocking mode.
    bool wouldBlock() const;
    // The minor code of a failed recv (way In) or send (Out).
    static CORBA_ULong failureMinor(Way way) { return way == Way::In ? OBMinorRecv : OBMinorSend; }

    OBSocket socket_;
    bool block_;  // mirrors the socket's blocking mode
    OBObjVar<OCI_IIOP_TransportInfo_impl> info_;
};

// Opens connections to one host and port, taken from an IIOP profile.
class OCI_IIOP_Connector_impl : public virtual OCI_Connector {
public:
    // Resolves host at once: CORBA_COMM_FAILURE minor 14 when it cannot be.
    OCI_IIOP_Connector_impl(const char* host, CORBA_UShort port);

    OCI_ProfileId tag() override;
    void close() override;
    // A new blocking transport with Nagle's algorithm off, after the connect
    // callbacks have seen its info. Minor 5 (socket), 6 (setsockopt) or 10
    // (connect); the connector is unchanged after a failure.
    OCI_Transport* connect() override;
    // As connect; when ms >= 0 the connect waits at most ms and then fails
    // with minor 10, the reason describing a time-out.
    OCI_Transport* connect_timeout(CORBA_Long ms) override;
    // The IIOP profiles are looked at in order up to the first match; one
    // whose host does not resolve does not match.
    CORBA_Boolean serves_ior(const IOP_IOR& ior) override;
    CORBA_Boolean serves_ior_with_policies(const IOP_IOR& ior, const CORBA_PolicyList& policies) override;
    // The key of the first IIOP profile that names this endpoint, empty if
    // none does. A host lookup failure propagates (minor 14).
    CORBA_OctetSeq object_key_for(const IOP_IOR& ior) override;
    OCI_ConnectorInfo* info() override;
    void reserved_operation(CORBA_Long) override;
    // The socket that connect is working on, or -1.
    OCI_Handle handle();

private:
    // True when body names this connector's port and host (by text or by
    // resolved address; a lookup failure propagates).
    bool namesEndpoint(const IIOP_ProfileBody& body);
    // Decodes the IIOP profiles of ior in order into body until one names
    // this endpoint (true). A host lookup failure is a mismatch when
    // unresolvedIsMismatch, else it propagates; a malformed profile reached
    // before a match raises CORBA_MARSHAL.
    bool findEndpoint(const IOP_IOR& ior, bool unresolvedIsMismatch, IIOP_ProfileBody& body);

    CORBA_String_var host_;
    CORBA_UShort port_;
    sockaddr_in addr_;  // resolved, port in network order
    OBSocket socket_;   // only while connect works on it
    OBObjVar<OCI_IIOP_ConnectorInfo_impl> info_;
};

// Accepts connections on a port of every local IPv4 address.
class OCI_IIOP_Acceptor_impl : public virtual OCI_Acceptor {
public:
    // Binds a new socket (TCP_NODELAY, SO_REUSEADDR) to port, 0 letting the
    // system choose. Minor 5, 6 or 8; nothing is left open after a failure.
    OCI_IIOP_Acceptor_impl(const char* host, CORBA_UShort port);

    OCI_ProfileId tag() override;
    OCI_Handle handle() override;
    void close() override;
    // Backlog 5; minor 9 on failure.
    void listen() override;
    // Blocks until a connection comes; the transport has Nagle's algorithm
    // off and has been shown to the accept callbacks. Minor 11 or 6.
    OCI_Transport* accept() override;
    OCI_AcceptorInfo* info() override;
    // The host given at construction and the bound port.
    const char* host() const { return host_.in(); }
    CORBA_UShort port() const { return port_; }

private:
    CORBA_String_var host_;
    CORBA_UShort port_;
    OBSocket socket_;
    OBObjVar<OCI_IIOP_AcceptorInfo_impl> info_;
};

// Makes IIOP connectors for IORs with an IIOP profile.
class OCI_IIOP_ConFactory_impl : public virtual OCI_ConFactory {
public:
    OCI_ProfileId tag() override;
    // From the first IIOP profile only; nil without one. Its host lookup may
    // raise minor 14, bad profile data CORBA_MARSHAL.
    OCI_Connector* create_connector(const IOP_IOR& ior) override;
    OCI_Connector* create_connector_with_policies(const IOP_IOR& ior,
                                                  const CORBA_PolicyList& policies) override;
    CORBA_Boolean accepts_ior(const IOP_IOR& ior, const CORBA_PolicyList& policies) override;
    CORBA_Boolean equivalent(const IOP_IOR& a, const IOP_IOR& b) override;
};

// True when some IIOP profile of a and some IIOP profile of b agree in
// version, port, object key and host (equal text or equal resolved address;
// a lookup failure propagates as CORBA_COMM_FAILURE minor 14).
bool iiop_ior_equivalent(const IOP_IOR& a, const IOP_IOR& b);

#endif
