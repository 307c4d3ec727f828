// The policy base and the ORB's connection reuse and connect policies.
#include <OB/Policy.h>

#include <cstring>

namespace {

const char* const PolicyId = "IDL:omg.org/CORBA/Policy:1.0";
const char* const ReusePolicyId = "IDL:stava.org/OB/ConnectionReusePolicy:1.0";
const char* const ConnectPolicyId = "IDL:stava.org/SSL/ConnectPolicy:1.0";

bool sameId(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

}  // namespace

const char* CORBA_Policy::_OB_typeId() const { return PolicyId; }

void* CORBA_Policy::_OB_castTo(const char* id) {
    if (sameId(id, PolicyId))
        return static_cast<CORBA_Policy*>(this);
    return CORBA_Object::_OB_castTo(id);
}

CORBA_Policy* CORBA_Policy::_narrow(CORBA_Object* p) {
    return p ? OBDuplicate(static_cast<CORBA_Policy*>(p->_OB_castTo(PolicyId))) : nullptr;
}

OB_ConnectionReusePolicy::OB_ConnectionReusePolicy(bool reuse) : reuse_(reuse) {}

CORBA_Policy* OB_ConnectionReusePolicy::copy() { return new OB_ConnectionReusePolicy(reuse_); }

const char* OB_ConnectionReusePolicy::_OB_typeId() const { return ReusePolicyId; }

void* OB_ConnectionReusePolicy::_OB_castTo(const char* id) {
    if (sameId(id, ReusePolicyId))
        return static_cast<OB_ConnectionReusePolicy*>(this);
    return CORBA_Policy::_OB_castTo(id);
}

OB_ConnectionReusePolicy* OB_ConnectionReusePolicy::_narrow(CORBA_Object* p) {
    return p ? OBDuplicate(static_cast<OB_ConnectionReusePolicy*>(p->_OB_castTo(ReusePolicyId))) : nullptr;
}

OB_ConnectPolicy::OB_ConnectPolicy(bool value) : value_(value) {}

CORBA_Policy* OB_ConnectPolicy::copy() { return new OB_ConnectPolicy(value_); }

const char* OB_ConnectPolicy::_OB_typeId() const { return ConnectPolicyId; }

void* OB_ConnectPolicy::_OB_castTo(const char* id) {
    if (sameId(id, ConnectPolicyId))
        return static_cast<OB_ConnectPolicy*>(this);
    return CORBA_Policy::_OB_castTo(id);
}

OB_ConnectPolicy* OB_ConnectPolicy::_narrow(CORBA_Object* p) {
    return p ? OBDuplicate(static_cast<OB_ConnectPolicy*>(p->_OB_castTo(ConnectPolicyId))) : nullptr;
}
