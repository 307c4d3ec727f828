// Object references: the base class of every reference and stub, the client
// binding through which a reference's requests travel, and the policies that
// steer binding.
//
// All references, clients and counts are used from one thread; nothing here
// locks. Repository IDs of the ORB's own interfaces use the vendor prefix
// "stava.org".
#ifndef OB_OBJECT_H
#define OB_OBJECT_H

#include <OB/Except.h>
#include <OB/IOP.h>

class CORBA_ORB;
class CORBA_Object;
class CORBA_Policy;
class OBClient;
class OCI_Connector;
class OCI_ConnectorInfo;
class OCI_Transport;
class OCI_TransportInfo;

typedef OBObjSeq<CORBA_Policy> CORBA_PolicyList;
typedef OBPlainSeq<CORBA_ULong> CORBA_PolicyTypeSeq;
typedef OBObjVar<CORBA_Object> CORBA_Object_var;

// Override types of _set_policy_overrides.
enum CORBA_SetOverrideType : CORBA_ULong { CORBA_SET_OVERRIDE = 0, CORBA_ADD_OVERRIDE = 1 };

// Base of every object reference. A reference made from an IOR is bound to a
// client at once; a reference without client is an object implemented in this
// process (the ORB's local objects derive from it virtually).
class CORBA_Object : public OBSimpleRefCount {
public:
    CORBA_ORB* orb;             // the process's ORB, not counted (nil for local objects made without one)
    IOP_IOR ior;                // current reference data; replaced on a location forward
    CORBA_OctetSeq key;         // cached object key; emptied by every (re)binding
    OBObjVar<OBClient> client;  // binding, nil for a local object
    CORBA_Long timeout;         // request time-out in ms, -1 for none
    CORBA_PolicyList policies;  // policies in force for this reference

    // An unbound (local) object of the current ORB, if any; timeout -1.
    CORBA_Object();
    ~CORBA_Object() override;

    // Remote built-ins; these follow the calling sequence of every stub.
    virtual CORBA_Object* _implementation();
    virtual CORBA_Object* _interface();
    // True when the object supports the interface with repository ID id.
    virtual CORBA_Boolean _is_a(const char* id);
    virtual CORBA_Boolean _non_existent();
    virtual CORBA_Boolean _is_dynamic();

    // Repository ID of the reference's own class ("IDL:omg.org/CORBA/Object:1.0").
    virtual const char* _OB_typeId() const;
    // This object viewed as the class with repository ID id (a pointer to
    // that class's subobject), or null when neither the class nor a base has it.
    virtual void* _OB_castTo(const char* id);
    // Server-side dispatch hook; a plain reference never receives calls.
    virtual void _OB_serve();

    // True when the reference has no client binding.
    bool _is_local() const { return CORBA_is_nil(client.in()); }
    // Same reference, or the connector factories find the IORs equivalent.
    CORBA_Boolean _is_equivalent(CORBA_Object* other);
    // Address-based hash in 0 .. maximum.
    CORBA_ULong _hash(CORBA_ULong maximum);
    // First policy of that type (new reference). CORBA_BAD_OPERATION without
    // client, CORBA_INV_POLICY when there is none (minor 0, COMPLETED_NO).
    CORBA_Policy* _get_policy(CORBA_ULong type);
    // A new reference with the policies overridden (CORBA_SET_OVERRIDE:
    // exactly the given list; CORBA_ADD_OVERRIDE: replace or append by type).
    CORBA_Object* _set_policy_overrides(const CORBA_PolicyList& list, CORBA_SetOverrideType type);
    // A new list of this reference's policies whose type is among types.
    CORBA_PolicyList* _get_policy_overrides(const CORBA_PolicyTypeSeq& types);

    // Binds this reference to ior under its policies: finds or creates a
    // client, sets ior and client, empties key. A nil IOR or an IIOP profile
    // with an empty object key raises CORBA_INV_OBJREF (minor 0, COMPLETED_NO).
    void _OB_bind(const IOP_IOR& newIor);
    // Copies ior, client (one more reference), key, timeout and policies from
    // other into this reference (used by generated narrowing).
    void _OB_copyFrom(const CORBA_Object& other);
    // Reads an IOR from a location-forward reply body and rebinds to it.
    void _OB_forward(OBInCursor& in, bool swap);
};

// The arguments of one request: counted, then written into the request buffer.
class OBRequestArgs {
public:
    virtual ~OBRequestArgs() = default;
    // Adds the encoded size of the arguments to count.
    virtual void count(CORBA_ULong& count) const = 0;
    // Writes the arguments at cursor.
    virtual void write(CORBA_Octet*& cursor) const = 0;
};

// Request arguments given by two callables: count(CORBA_ULong&) and write(CORBA_Octet*&).
template<class Count, class Write> class OBArgs : public OBRequestArgs {
public:
    OBArgs(Count c, Write w) : count_(c), write_(w) {}
    void count(CORBA_ULong& n) const override { count_(n); }
    void write(CORBA_Octet*& cursor) const override { write_(cursor); }

private:
    Count count_;
    Write write_;
};
template<class Count, class Write> OBArgs<Count, Write> OBMakeArgs(Count c, Write w) { return {c, w}; }

// Request without arguments.
class OBNoArgs : public OBRequestArgs {
public:
    void count(CORBA_ULong&) const override {}
    void write(CORBA_Octet*&) const override {}
};

// Location forwards followed in a row before a call gives up with
// CORBA_TRANSIENT (minor 0, COMPLETED_NO): a server that forwards for ever
// must not make a call repeat for ever.
const unsigned OBMaxLocationForwards = 16;

// The calling sequence of a two-way operation op on self: prepare, count,
// one exact-size buffer, write, request. A user exception raises
// CORBA_UNKNOWN, a reference without client CORBA_NO_IMPLEMENT (both minor
// 0, COMPLETED_NO); system exceptions from the reply or the transport pass
// through. On return `reply` holds the Reply and the result is read from the
// returned offset with `swap`. A location forward rebinds self and returns
// 0: the caller then performs its operation again with OBRepeatForwarded.
CORBA_ULong OBInvoke(CORBA_Object* self, const char* op, const OBRequestArgs& args, OBBuffer& reply,
                     bool& swap);

// One more location forward followed while it lives; raises
// CORBA_TRANSIENT (minor 0, COMPLETED_NO) when OBMaxLocationForwards are
// being followed already.
class OBForwardRepetition {
public:
    OBForwardRepetition();
    ~OBForwardRepetition();
    OBForwardRepetition(const OBForwardRepetition&) = delete;
    OBForwardRepetition& operator=(const OBForwardRepetition&) = delete;
};

// Runs again, from the start, an operation whose request was forwarded:
// `again` calls it through the reference's virtual operation, so that the
// repetition decides afresh on the new binding (an _is_a that the new
// type_id answers asks no server). Returns what `again` returns.
template<class Again> auto OBRepeatForwarded(Again again) -> decltype(again()) {
    const OBForwardRepetition repetition;
    return again();
}

// A new reference for ior bound to a client (nil for a nil IOR).
// CORBA_INITIALIZE without an ORB; CORBA_NO_RESOURCES when no connector
// factory serves the IOR; the IIOP connector's host lookup may raise
// CORBA_COMM_FAILURE minor 14.
CORBA_Object* OBObjectFromIOR(const IOP_IOR& ior);

// Marshalled object references travel as their IOR.
void OBCount(CORBA_Object* obj, CORBA_ULong& count);
void OBWrite(CORBA_Object* obj, CORBA_Octet*& cursor);
void OBRead(CORBA_Object_var& obj, OBInCursor& in, bool swap);

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

// A client from the process-wide list that serves ior under policies, or a
// new one (see the reuse policy). CORBA_NO_RESOURCES (minor 0, COMPLETED_NO)
// when no connector factory accepts the IOR.
OBClient* OBFindClient(const IOP_IOR& ior, const CORBA_PolicyList& policies);

// Policy base: a local object with a policy type.
class CORBA_Policy : public virtual CORBA_Object {
public:
    virtual CORBA_ULong policy_type() = 0;
    virtual CORBA_Policy* copy() = 0;
    virtual void destroy() {}
    const char* _OB_typeId() const override;  // "IDL:omg.org/CORBA/Policy:1.0"
    void* _OB_castTo(const char* id) override;
    // p viewed as a policy (new reference), or nil.
    static CORBA_Policy* _narrow(CORBA_Object* p);
};

// Whether references may share connections (policy type 3).
class OB_ConnectionReusePolicy : public CORBA_Policy {
public:
    static constexpr CORBA_ULong PolicyType = 3;
    explicit OB_ConnectionReusePolicy(bool reuse);
    bool reuse() const { return reuse_; }
    CORBA_ULong policy_type() override { return PolicyType; }
    CORBA_Policy* copy() override;
    const char* _OB_typeId() const override;  // "IDL:stava.org/OB/ConnectionReusePolicy:1.0"
    void* _OB_castTo(const char* id) override;
    static OB_ConnectionReusePolicy* _narrow(CORBA_Object* p);

private:
    bool reuse_;
};

// Whether connections may be made at all (policy type 1); false makes every
// connector factory refuse the IOR.
class OB_ConnectPolicy : public CORBA_Policy {
public:
    static constexpr CORBA_ULong PolicyType = 1;
    explicit OB_ConnectPolicy(bool value);
    bool value() const { return value_; }
    CORBA_ULong policy_type() override { return PolicyType; }
    CORBA_Policy* copy() override;
    const char* _OB_typeId() const override;  // "IDL:stava.org/SSL/ConnectPolicy:1.0"
    void* _OB_castTo(const char* id) override;
    static OB_ConnectPolicy* _narrow(CORBA_Object* p);

private:
    bool value_;
};

#endif
