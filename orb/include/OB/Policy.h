// The policies that steer binding and connecting: the policy base and the
// ORB's own two policies.
#ifndef OB_POLICY_H
#define OB_POLICY_H

#include <OB/Object.h>

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
