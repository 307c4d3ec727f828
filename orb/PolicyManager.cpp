// The policy manager over the ORB's default policies.
#include <OB/PolicyManager.h>

#include <cstring>

namespace {

const char* const PolicyManagerId = "IDL:omg.org/CORBA/PolicyManager:1.0";

bool typeListed(CORBA_ULong type, const CORBA_PolicyTypeSeq& types) {
    for (CORBA_ULong i = 0; i < types.length(); ++i)
        if (types[i] == type)
            return true;
    return false;
}

// Replaces the policy of p's type in list, or appends p (new reference).
void replaceOrAppend(CORBA_PolicyList& list, CORBA_Policy* p) {
    CORBA_ULong j = 0;
    while (j < list.length() && list[j]->policy_type() != p->policy_type())
        ++j;
    if (j == list.length())
        list.length(j + 1);
    list[j] = OBDuplicate(p);
}

}  // namespace

const char* CORBA_PolicyManager::_OB_typeId() const { return PolicyManagerId; }

void* CORBA_PolicyManager::_OB_castTo(const char* id) {
    if (std::strcmp(id, PolicyManagerId) == 0)
        return static_cast<CORBA_PolicyManager*>(this);
    return CORBA_Object::_OB_castTo(id);
}

CORBA_PolicyManager* CORBA_PolicyManager::_narrow(CORBA_Object* p) {
    return p ? OBDuplicate(static_cast<CORBA_PolicyManager*>(p->_OB_castTo(PolicyManagerId))) : nullptr;
}

OBPolicyManager_impl::OBPolicyManager_impl(const CORBA_PolicyList& initial) : policies_(initial) {}

CORBA_PolicyList* OBPolicyManager_impl::get_policy_overrides(const CORBA_PolicyTypeSeq& types) {
    CORBA_PolicyList* result = new CORBA_PolicyList;
    for (CORBA_ULong i = 0; i < policies_.length(); ++i) {
        if (types.length() == 0 || typeListed(policies_[i]->policy_type(), types)) {
            const CORBA_ULong n = result->length();
            result->length(n + 1);
            (*result)[n] = OBDuplicate(policies_[i].in());
        }
    }
    return result;
}

void OBPolicyManager_impl::set_policy_overrides(const CORBA_PolicyList& policies, CORBA_SetOverrideType type) {
    for (CORBA_ULong i = 0; i < policies.length(); ++i)
        if (CORBA_is_nil(policies[i].in()))
            throw CORBA_PolicyManager_InvalidPolicies();
    if (type == CORBA_SET_OVERRIDE) {
        policies_ = policies;
        return;
    }
    for (CORBA_ULong i = 0; i < policies.length(); ++i)
        replaceOrAppend(policies_, policies[i].in());
}
