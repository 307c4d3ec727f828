// The ORB: initialisation from command-line options and a configuration
// file, initial services, stringified references and the TypeCode factory.
// One ORB exists per process at a time.
#ifndef OB_ORB_H
#define OB_ORB_H

#include <OB/OCI.h>

class CORBA_BOA;
class OBPolicyManager_impl;

typedef OBStrSeq CORBA_ORB_ObjectIdList;

// Keeps Windows Sockets 1.1 started for its lifetime (nothing elsewhere).
class OBSocketSession {
protected:
    // Starts Windows Sockets. CORBA_COMM_FAILURE minor OBMinorWSAStartup,
    // COMPLETED_NO, with the socket error text, on failure.
    OBSocketSession();
    // Stops Windows Sockets. A destructor cannot raise: a failure is written
    // to the message sink as CORBA_COMM_FAILURE minor OBMinorWSACleanup.
    ~OBSocketSession();

public:
    OBSocketSession(const OBSocketSession&) = delete;
    OBSocketSession& operator=(const OBSocketSession&) = delete;
};

// The socket session is the first base, so that a failed start-up leaves no
// half-built counted object behind; it ends after everything the ORB holds.
class CORBA_ORB : private OBSocketSession, public OBSimpleRefCount {
public:
    // Starts Windows Sockets 1.1 (CORBA_COMM_FAILURE minor 15 on failure),
    // becomes the process's ORB (no other may exist), creates the default
    // policies (one OB_ConnectionReusePolicy with reuse true), the built-in
    // initial services "ORBPolicyManager" and "OCICurrent" and an empty
    // connector factory registry.
    CORBA_ORB();
    // No ORB remains; the lists are released, then Windows Sockets stops.
    ~CORBA_ORB() override;

    // The process's ORB (not counted), or nil.
    static CORBA_ORB* _OB_instance();

    // Parses text (OBParseIOR) and makes a bound reference, nil for a nil IOR.
    // Malformed text raises CORBA_INV_OBJREF; binding failures pass through.
    CORBA_Object* string_to_object(const char* text);
    // "IOR:" text of obj (nil gives the nil IOR); a guarded string the caller
    // frees. A reference without client needs the object adapter:
    // CORBA_INITIALIZE "BOA not initialized" (minor 0, COMPLETED_NO) without one.
    char* object_to_string(CORBA_Object* obj);

    // The initial service of that name (new reference); CORBA_ORB_InvalidName if none.
    CORBA_Object* resolve_initial_references(const char* identifier);
    // Names of all initial services in registration order (caller owns).
    CORBA_ORB_ObjectIdList* list_initial_services();

    // Adds the service made from a stringified reference at once; a name
    // already present gets the new object and the warning
    // "ORB_init: initial service `<name>' was overridden".
    void _OB_addInitialService(const char* name, const char* iorString);
    // As above with obj (one more reference taken; nil allowed).
    void _OB_addInitialService(const char* name, CORBA_Object* obj);

    // Creates the object adapter from the "-OA" options in argv (removed from
    // it), or returns the existing one with a warning; the caller owns the
    // result. Bad options raise CORBA_INITIALIZE (minor 0, COMPLETED_NO)
    // after an error line; host lookups may raise CORBA_COMM_FAILURE minor 13 or 14.
    CORBA_BOA* BOA_init(int& argc, char** argv, const char* boa_identifier);

    // The connector factory registry (not counted).
    OCI_ConFactoryRegistry* _OB_conFactoryRegistry() const { return registry_.in(); }
    // Policies copied into every reference created from an IOR; the policy
    // manager changes them. Valid until the next change.
    const CORBA_PolicyList& _OB_defaultPolicies() const;

    // ---- TypeCode factory operations (OB/TypeCode.h, orb/TypeCodeFactory.cpp) ----
    // They need no ORB state, so they are static: callable as orb->create_...
    // and before any ORB exists. Each returns a new TypeCode reference; a null
    // id or name is non-compliant use. The struct, union and exception
    // operations resolve the recursive sequences that name the new TypeCode.
    static class CORBA_TypeCode* create_struct_tc(const char* id, const char* name,
                                                  const OBVarSeq<struct CORBA_StructMember>& members);
    // The discriminator must be of kind short, ushort, long, ulong, char,
    // boolean or enum (aliases looked through), and every label not of kind
    // octet (the default) of a type equal to it: else non-compliant use 13.
    static class CORBA_TypeCode* create_union_tc(const char* id, const char* name,
                                                 class CORBA_TypeCode* discriminator_type,
                                                 const OBVarSeq<struct CORBA_UnionMember>& members);
    static class CORBA_TypeCode* create_enum_tc(const char* id, const char* name, const OBStrSeq& members);
    static class CORBA_TypeCode* create_alias_tc(const char* id, const char* name,
                                                 class CORBA_TypeCode* original_type);
    static class CORBA_TypeCode* create_exception_tc(const char* id, const char* name,
                                                     const OBVarSeq<struct CORBA_StructMember>& members);
    static class CORBA_TypeCode* create_interface_tc(const char* id, const char* name);
    // Bound 0 gives the unbounded string constant.
    static class CORBA_TypeCode* create_string_tc(CORBA_ULong bound);
    static class CORBA_TypeCode* create_sequence_tc(CORBA_ULong bound, class CORBA_TypeCode* element_type);
    // Element type: the offset-th enclosing struct, union or exception (nil until resolved).
    static class CORBA_TypeCode* create_recursive_sequence_tc(CORBA_ULong bound, CORBA_ULong offset);
    static class CORBA_TypeCode* create_array_tc(CORBA_ULong length, class CORBA_TypeCode* element_type);
    // ---- end of TypeCode factory operations ----

private:
    // The constructor's work once this ORB is the process's one.
    void build();

    struct InitialService {
        CORBA_String_var name;
        CORBA_Object_var object;
    };
    OBObjVar<OBPolicyManager_impl> policyManager_;  // owns the default policies
    OBObjVar<OCI_ConFactoryRegistry> registry_;
    OBVarSeq<InitialService> services_;
};

typedef OBObjVar<CORBA_ORB> CORBA_ORB_var;

// Creates the ORB from the "-ORB" options in argv (removed from it), or
// returns the existing one with a warning and argv untouched. The caller owns
// the result. Bad options and an ORB identifier other than "" and "OB_ORB"
// raise CORBA_INITIALIZE (minor 0, COMPLETED_NO) after an error line on the
// message sink; a malformed reference among the initial services raises its
// exception and leaves no ORB behind.
CORBA_ORB* CORBA_ORB_init(int& argc, char** argv, const char* orb_identifier);

// Removes count arguments from argv starting at index first; later ones move
// down, argc drops by count and the slots given up become null pointers, so
// that argv[argc] is null again.
void OBRemoveArgs(int& argc, char** argv, int first, int count);

// Adds the IIOP connector factory to registry (which must not be nil).
void OBInitIIOP(OCI_ConFactoryRegistry* registry);

#endif
