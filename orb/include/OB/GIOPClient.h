// The GIOP client: the client binding that turns one invocation into a GIOP
// 1.0 Request on a connection and the matching Reply into an outcome. It
// connects lazily through its connector and hands messages to a client
// worker (OB/GIOPClientWorker.h) of the kind the concurrency model selects.
//
// Used from one thread at a time; nothing is locked.
#ifndef OB_GIOP_CLIENT_H
#define OB_GIOP_CLIENT_H

#include <OB/Client.h>
#include <OB/GIOPClientWorker.h>

// How GIOP clients wait for replies.
enum OBConcurrencyModelKind : CORBA_ULong {
    OBBlockingModel = 0,  // the waiting thread reads its socket
    OBReactiveModel = 1   // the waiting thread drives the reactor
};

// The process-wide client concurrency model (blocking unless ORB_init was
// given "-ORBreactive"); read whenever a client creates its worker.
extern OBConcurrencyModelKind OBConcurrencyModel;

// Makes the reactor before the client list takes its first client, so that
// the reactor outlives the list: reactive workers unregister from it when
// their client goes at exit.
struct OBReactorBeforeClients {
    OBReactorBeforeClients() { OBSelectReactor::instance(); }
};

class OBGIOPClient : private OBReactorBeforeClients, public OBClient {
public:
    // A client without connection over connector, whose reference it takes over.
    explicit OBGIOPClient(OCI_Connector* connector);
    // Closes the current connection, if any.
    ~OBGIOPClient() override;

    OCI_Connector* connector() override;
    OCI_ConnectorInfo* connector_info() override;
    // Connects if needed: CORBA_COMM_FAILURE of the connector.
    OCI_Transport* transport() override;
    OCI_TransportInfo* transport_info() override;

    // 12 plus the size of the Request header for obj's object key and op.
    // The key is looked up once and cached in obj; an empty key raises
    // CORBA_INV_OBJREF (minor 0, COMPLETED_NO).
    CORBA_ULong prepare(CORBA_Object* obj, const char* op) override;

    // Writes the headers in front of the arguments in buf (sized from
    // prepare's offset), sends it with a new request id and waits. The reply
    // status sets the flags: USER_EXCEPTION sets userException,
    // LOCATION_FORWARD sets forward, SYSTEM_EXCEPTION raises the carried
    // exception as its class. timeout >= 0 bounds the whole call, its
    // connect included: no reply within it forgets the id and raises
    // CORBA_NO_RESPONSE (minor 0, COMPLETED_MAYBE); a connect that does not
    // finish within it raises CORBA_COMM_FAILURE minor 10. A lost or broken
    // connection raises CORBA_COMM_FAILURE and the next request reconnects;
    // COMPLETED_MAYBE once the whole request has gone out. A request that
    // the server cannot have carried out (it closed the connection with
    // CloseConnection before the reply, or the connection failed before the
    // request's last octet went out) is sent once more, on a new
    // connection, within what is left of timeout, and a failure of that is
    // raised; with no time left it is not sent, and CORBA_NO_RESPONSE
    // (minor 0, COMPLETED_NO) is raised. Nothing goes out on a connection
    // that the server has already closed.
    CORBA_ULong request(CORBA_Object* obj, const char* op, OBBuffer& buf, bool& swap,
                        bool& userException, bool& forward, CORBA_Long timeout) override;

    // Writes the headers (response_expected 0) and sends without waiting.
    void request_oneway(CORBA_Object* obj, const char* op, OBBuffer& buf) override;

    // As request_oneway with a response expected; id receives the request id.
    void send_deferred(CORBA_Object* obj, const char* op, OBBuffer& buf, CORBA_ULong& id) override;

    // Waits for the reply to id with the outcomes of request.
    CORBA_ULong receive_deferred(CORBA_ULong id, OBBuffer& buf, bool& swap, bool& userException,
                                 bool& forward, CORBA_Long timeout) override;

    // As receive_deferred without waiting: 0 when the reply has not come.
    CORBA_ULong poll_deferred(CORBA_ULong id, OBBuffer& buf, bool& swap, bool& userException,
                              bool& forward) override;

    // Forgets worker if it is the current one: closes its transport so that
    // the next request connects anew.
    void remove_worker(OBGIOPClientWorker* worker);

    // True while the current connection will drop a late reply to id.
    bool is_forgotten(CORBA_ULong id) const;

private:
    // The cached object key of obj, looked up when empty; never empty.
    const CORBA_OctetSeq& object_key(CORBA_Object* obj);

    // The current worker, connecting first, within timeout ms when
    // timeout >= 0, when there is none (new reference).
    OBGIOPClientWorker* worker(CORBA_Long timeout);

    // The worker to write a new request on (new reference): the current one
    // unless what has arrived on it shows that its connection has ended,
    // else one on a new connection, connected within timeout as worker().
    OBGIOPClientWorker* request_worker(CORBA_Long timeout);

    // Allocates a request id and writes the GIOP and Request headers into buf.
    CORBA_ULong write_request(CORBA_Object* obj, const char* op, OBBuffer& buf, bool responseExpected);

    // Lets go of the current worker, closing it.
    void release_worker();

    OBObjVar<OCI_Connector> connector_;
    OBObjVar<OBGIOPClientWorker> worker_;  // nil while not connected
};

#endif
