// Object references: the base class of every reference and stub, their
// calling sequence, and the binder through which the layer above binds them
// (the client interface is in OB/Client.h, the policies in OB/Policy.h).
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

// What references need of the binding above them. Every ORB made registers
// the one binder (OBSetBinder), which stays for the rest of the process.
class OBBinder {
public:
    // The ORB that new references belong to, or nil when there is none.
    virtual CORBA_ORB* _OB_currentORB() = 0;
    // A client that serves ior under policies (new reference) and finds an
    // object key in it. CORBA_INITIALIZE without an ORB, CORBA_NO_RESOURCES
    // when no connector factory accepts the IOR, CORBA_INV_OBJREF without
    // object key (all minor 0, COMPLETED_NO).
    virtual OBClient* _OB_clientFor(const IOP_IOR& ior, const CORBA_PolicyList& policies) = 0;
    // True when the connector factories find the IORs equivalent.
    // CORBA_INITIALIZE without an ORB.
    virtual CORBA_Boolean _OB_equivalent(const IOP_IOR& a, const IOP_IOR& b) = 0;
    // The policies a reference made from an IOR starts with. CORBA_INITIALIZE without an ORB.
    virtual const CORBA_PolicyList& _OB_bindingPolicies() = 0;

protected:
    ~OBBinder() = default;
};

// Makes b the binder of every reference from now on.
void OBSetBinder(OBBinder* b);

#endif
