// The client binding interface: what a reference sends its requests
// through. The GIOP client implements it.
#ifndef OB_CLIENT_H
#define OB_CLIENT_H

#include <OB/Object.h>

#include <vector>

class OCI_Connector;
class OCI_ConnectorInfo;
class OCI_Transport;
class OCI_TransportInfo;

// One client binding (a GIOP client over one connector). Every client enters
// the process-wide client list at construction and stays there until exit.
class OBClient : public OBSimpleRefCount {
public:
    bool reusable;  // may be shared by references with a reuse policy of true

    // Enters the client list.
    OBClient();
    // Leaves the client list if a derived constructor failed.
    ~OBClient() override;

    // The client's connector (new reference).
    virtual OCI_Connector* connector() = 0;
    // The connector's info, or nil.
    virtual OCI_ConnectorInfo* connector_info() = 0;
    // The current connection (connects if needed; new reference).
    virtual OCI_Transport* transport() = 0;
    // The current connection's info, or nil.
    virtual OCI_TransportInfo* transport_info() = 0;

    // Offset at which the arguments of a request on obj for op start.
    virtual CORBA_ULong prepare(CORBA_Object* obj, const char* op) = 0;
    // Sends the request in buf (headers written here in front of the
    // arguments; storage taken over) and leaves the whole Reply in buf.
    // Returns the reply body's offset. timeout < 0 waits without limit.
    virtual CORBA_ULong request(CORBA_Object* obj, const char* op, OBBuffer& buf, bool& swap,
                                bool& userException, bool& forward, CORBA_Long timeout) = 0;
    // Sends without awaiting a reply.
    virtual void request_oneway(CORBA_Object* obj, const char* op, OBBuffer& buf) = 0;
    // Sends expecting a reply collected later by id.
    virtual void send_deferred(CORBA_Object* obj, const char* op, OBBuffer& buf, CORBA_ULong& id) = 0;
    virtual CORBA_ULong receive_deferred(CORBA_ULong id, OBBuffer& buf, bool& swap, bool& userException,
                                         bool& forward, CORBA_Long timeout) = 0;
    // As receive_deferred without waiting; 0 when no reply has come.
    virtual CORBA_ULong poll_deferred(CORBA_ULong id, OBBuffer& buf, bool& swap, bool& userException,
                                      bool& forward) = 0;
};

// Every client made so far, in order of creation.
const std::vector<OBObjVar<OBClient>>& OBClientList();

#endif
