// The ORB's policy manager: the initial service "ORBPolicyManager", which
// reads and changes the default policies that every reference created from
// an IOR starts with.
#ifndef OB_POLICY_MANAGER_H
#define OB_POLICY_MANAGER_H

#include <OB/Policy.h>

class CORBA_PolicyManager : public virtual CORBA_Object {
public:
    // A new list of the managed policies whose type is among types; every
    // managed policy when types is empty.
    virtual CORBA_PolicyList* get_policy_overrides(const CORBA_PolicyTypeSeq& types) = 0;
    // CORBA_SET_OVERRIDE: the managed list becomes exactly policies.
    // Any other type: each policy replaces the managed one of its type or
    // is appended. A nil entry raises CORBA_PolicyManager_InvalidPolicies and
    // leaves the list unchanged.
    virtual void set_policy_overrides(const CORBA_PolicyList& policies, CORBA_SetOverrideType type) = 0;

    const char* _OB_typeId() const override;  // "IDL:omg.org/CORBA/PolicyManager:1.0"
    void* _OB_castTo(const char* id) override;
    // p viewed as a policy manager (new reference), or nil.
    static CORBA_PolicyManager* _narrow(CORBA_Object* p);
};

// The ORB's manager; it owns the default policy list.
class OBPolicyManager_impl : public CORBA_PolicyManager {
public:
    // Manages a copy of initial.
    explicit OBPolicyManager_impl(const CORBA_PolicyList& initial);

    CORBA_PolicyList* get_policy_overrides(const CORBA_PolicyTypeSeq& types) override;
    void set_policy_overrides(const CORBA_PolicyList& policies, CORBA_SetOverrideType type) override;

    // The managed list (valid while the manager lives).
    const CORBA_PolicyList& policies() const { return policies_; }

private:
    CORBA_PolicyList policies_;
};

#endif
