// Object references: the calling sequence, binding and re-binding, the
// process-wide client list, the built-in operations and the policies.
#include <OB/GIOPClient.h>
#include <OB/ORB.h>
#include <OB/Object.h>
#include <OB/SelectReactor.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

const char* const ObjectId = "IDL:omg.org/CORBA/Object:1.0";
const char* const PolicyId = "IDL:omg.org/CORBA/Policy:1.0";
const char* const ReusePolicyId = "IDL:stava.org/OB/ConnectionReusePolicy:1.0";
const char* const ConnectPolicyId = "IDL:stava.org/SSL/ConnectPolicy:1.0";

bool sameId(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

// Every client ever made, in order of creation; each holds a reference until
// exit. Reactive workers unregister from the reactor when their client goes,
// so the reactor is created first and therefore outlives the list.
std::vector<OBObjVar<OBClient>>& clientList() {
    OBSelectReactor::instance();
    static std::vector<OBObjVar<OBClient>> list;
    return list;
}

// The reuse policy among policies (new reference), or nil.
OB_ConnectionReusePolicy* findReusePolicy(const CORBA_PolicyList& policies) {
    for (CORBA_ULong i = 0; i < policies.length(); ++i) {
        CORBA_Policy* p = policies[i].in();
        if (p && p->policy_type() == OB_ConnectionReusePolicy::PolicyType)
            return OB_ConnectionReusePolicy::_narrow(p);
    }
    return nullptr;
}

OBClient* findReusableClient(const IOP_IOR& ior, const CORBA_PolicyList& policies) {
    for (OBObjVar<OBClient>& c : clientList()) {
        if (!c->reusable)
            continue;
        OBObjVar<OCI_Connector> connector(c->connector());
        if (connector->serves_ior_with_policies(ior, policies))
            return OBDuplicate(c.in());
    }
    return nullptr;
}

CORBA_ORB* requireOrb() {
    CORBA_ORB* orb = CORBA_ORB::_OB_instance();
    if (!orb)
        throw CORBA_INITIALIZE("ORB not initialized", 0, CORBA_COMPLETED_NO);
    return orb;
}

// One pass of the calling sequence; sets `forward` when the reply redirects.
CORBA_ULong invokeOnce(CORBA_Object* self, const char* op, const OBRequestArgs& args, OBBuffer& reply,
                       bool& swap, bool& forward) {
    if (self->_is_local())
        throw CORBA_NO_IMPLEMENT(0, CORBA_COMPLETED_NO);
    OBObjVar<OBClient> client(OBDuplicate(self->client.in()));
    const CORBA_ULong start = client->prepare(self, op);
    CORBA_ULong count = start;
    args.count(count);
    OBBuffer buf(count);
    CORBA_Octet* cursor = buf.data + start;
    args.write(cursor);
    bool user = false;
    swap = forward = false;
    const CORBA_ULong offset = client->request(self, op, buf, swap, user, forward, self->timeout);
    reply.consume(buf);
    if (!forward && user)
        throw CORBA_UNKNOWN(0, CORBA_COMPLETED_NO);
    return offset;
}

}  // namespace

CORBA_ULong OBInvoke(CORBA_Object* self, const char* op, const OBRequestArgs& args, OBBuffer& reply,
                     bool& swap) {
    bool forward = false;
    const CORBA_ULong offset = invokeOnce(self, op, args, reply, swap, forward);
    if (!forward)
        return offset;
    OBInCursor in = OBMakeInCursor(reply, offset);
    self->_OB_forward(in, swap);
    return 0;
}

namespace {

unsigned forwardsFollowed = 0;  // by the repetitions running now, one inside the other

}  // namespace

OBForwardRepetition::OBForwardRepetition() {
    if (forwardsFollowed == OBMaxLocationForwards)
        throw CORBA_TRANSIENT("too many location forwards", 0, CORBA_COMPLETED_NO);
    ++forwardsFollowed;
}

OBForwardRepetition::~OBForwardRepetition() { --forwardsFollowed; }

// --- CORBA_Object --------------------------------------------------------------

CORBA_Object::CORBA_Object() : orb(CORBA_ORB::_OB_instance()), timeout(-1) { ior.type_id = ""; }

CORBA_Object::~CORBA_Object() = default;

const char* CORBA_Object::_OB_typeId() const { return ObjectId; }

void* CORBA_Object::_OB_castTo(const char* id) {
    return sameId(id, ObjectId) ? static_cast<CORBA_Object*>(this) : nullptr;
}

void CORBA_Object::_OB_serve() { OB_ASSERT(false); }

namespace {

// The remote built-ins: the reply's boolean or reference, or what `again`
// (the operation through the virtual table) gives after a forward.
template<class Again>
CORBA_Boolean readBoolean(CORBA_Object* self, const char* op, const OBRequestArgs& args, Again again) {
    OBBuffer reply;
    bool swap = false;
    const CORBA_ULong offset = OBInvoke(self, op, args, reply, swap);
    if (offset == 0)
        return OBRepeatForwarded(again);
    OBInCursor in = OBMakeInCursor(reply, offset);
    CORBA_Boolean result = 0;
    OBRead(result, in, swap);
    return result != 0;
}

template<class Again> CORBA_Object* readObject(CORBA_Object* self, const char* op, Again again) {
    OBBuffer reply;
    bool swap = false;
    const CORBA_ULong offset = OBInvoke(self, op, OBNoArgs(), reply, swap);
    if (offset == 0)
        return OBRepeatForwarded(again);
    OBInCursor in = OBMakeInCursor(reply, offset);
    CORBA_Object_var result;
    OBRead(result, in, swap);
    return result._retn();
}

}  // namespace

CORBA_Object* CORBA_Object::_implementation() {
    return readObject(this, "_implementation", [this] { return _implementation(); });
}

CORBA_Object* CORBA_Object::_interface() {
    return readObject(this, "_interface", [this] { return _interface(); });
}

CORBA_Boolean CORBA_Object::_is_a(const char* _ob_id) {
    OB_CHECK_COMPLIANT(_ob_id, OBNCNullString);
    if (_OB_castTo(_ob_id))
        return true;
    if (_is_local())
        return false;
    if (sameId(_ob_id, ior.type_id.in()))
        return true;
    auto args = OBMakeArgs([_ob_id](CORBA_ULong& n) { OBCount(_ob_id, n); },
                           [_ob_id](CORBA_Octet*& p) { OBWrite(_ob_id, p); });
    return readBoolean(this, "_is_a", args, [this, _ob_id] { return _is_a(_ob_id); });
}

CORBA_Boolean CORBA_Object::_non_existent() {
    return readBoolean(this, "_non_existent", OBNoArgs(), [this] { return _non_existent(); });
}

CORBA_Boolean CORBA_Object::_is_dynamic() {
    return readBoolean(this, "_is_dynamic", OBNoArgs(), [this] { return _is_dynamic(); });
}

CORBA_Boolean CORBA_Object::_is_equivalent(CORBA_Object* other) {
    if (other == this)
        return true;
    if (!other || _is_local() || other->_is_local())
        return false;
    return requireOrb()->_OB_conFactoryRegistry()->equivalent(ior, other->ior);
}

CORBA_ULong CORBA_Object::_hash(CORBA_ULong maximum) {
    const CORBA_ULong h = static_cast<CORBA_ULong>(reinterpret_cast<std::uintptr_t>(this) >> 8);
    // maximum + 1 would wrap to 0: every value is in range then.
    return maximum == 0xFFFFFFFFu ? h : h % (maximum + 1);
}

CORBA_Policy* CORBA_Object::_get_policy(CORBA_ULong type) {
    if (_is_local())
        throw CORBA_BAD_OPERATION(0, CORBA_COMPLETED_NO);
    for (CORBA_ULong i = 0; i < policies.length(); ++i)
        if (policies[i]->policy_type() == type)
            return OBDuplicate(policies[i].in());
    throw CORBA_INV_POLICY(0, CORBA_COMPLETED_NO);
}

CORBA_Object* CORBA_Object::_set_policy_overrides(const CORBA_PolicyList& list, CORBA_SetOverrideType type) {
    if (_is_local())
        throw CORBA_BAD_OPERATION(0, CORBA_COMPLETED_NO);
    CORBA_Object_var obj(new CORBA_Object);
    obj->timeout = timeout;
    if (type == CORBA_SET_OVERRIDE) {
        obj->policies = list;
    } else {
        obj->policies = policies;
        for (CORBA_ULong i = 0; i < list.length(); ++i) {
            CORBA_ULong j = 0;
            while (j < obj->policies.length() && obj->policies[j]->policy_type() != list[i]->policy_type())
                ++j;
            if (j == obj->policies.length())
                obj->policies.length(j + 1);
            obj->policies[j] = list[i];
        }
    }
    obj->_OB_bind(ior);
    return obj._retn();
}

CORBA_PolicyList* CORBA_Object::_get_policy_overrides(const CORBA_PolicyTypeSeq& types) {
    CORBA_PolicyList* result = new CORBA_PolicyList;
    for (CORBA_ULong i = 0; i < policies.length(); ++i) {
        for (CORBA_ULong j = 0; j < types.length(); ++j) {
            if (policies[i]->policy_type() == types[j]) {
                const CORBA_ULong n = result->length();
                result->length(n + 1);
                (*result)[n] = OBDuplicate(policies[i].in());
                break;
            }
        }
    }
    return result;
}

void CORBA_Object::_OB_bind(const IOP_IOR& newIor) {
    if (OBIsNilIOR(newIor))
        throw CORBA_INV_OBJREF("nil object reference", 0, CORBA_COMPLETED_NO);
    OBObjVar<OBClient> found(OBFindClient(newIor, policies));
    // Requests carry the object key; a reference without one could never be invoked.
    OBObjVar<OCI_Connector> connector(found->connector());
    if (connector->object_key_for(newIor).length() == 0)
        throw CORBA_INV_OBJREF("object reference without object key", 0, CORBA_COMPLETED_NO);
    IOP_IOR copy = newIor;  // newIor may be this reference's own ior
    ior = copy;
    client = found;  // a forward to the same server finds the same client
    key.length(0);
}

void CORBA_Object::_OB_copyFrom(const CORBA_Object& other) {
    ior = other.ior;
    client = OBDuplicate(other.client.in());
    key = other.key;
    timeout = other.timeout;
    policies = other.policies;
}

void CORBA_Object::_OB_forward(OBInCursor& in, bool swap) {
    IOP_IOR forwarded;
    OBRead(forwarded, in, swap);
    _OB_bind(forwarded);
}

CORBA_Object* OBObjectFromIOR(const IOP_IOR& ior) {
    OB_CHECK_COMPLIANT(ior.type_id.in(), OBNCNullString);
    if (OBIsNilIOR(ior))
        return nullptr;
    CORBA_ORB* orb = requireOrb();
    CORBA_Object_var obj(new CORBA_Object);
    obj->policies = orb->_OB_defaultPolicies();
    obj->_OB_bind(ior);
    return obj._retn();
}

// --- marshalled references ---------------------------------------------------

namespace {

const IOP_IOR& iorOf(CORBA_Object* obj) {
    static const IOP_IOR nilIor = [] {
        IOP_IOR nil;
        nil.type_id = "";
        return nil;
    }();
    return obj ? obj->ior : nilIor;
}

}  // namespace

void OBCount(CORBA_Object* obj, CORBA_ULong& count) { OBCount(iorOf(obj), count); }

void OBWrite(CORBA_Object* obj, CORBA_Octet*& cursor) { OBWrite(iorOf(obj), cursor); }

void OBRead(CORBA_Object_var& obj, OBInCursor& in, bool swap) {
    IOP_IOR ior;
    OBRead(ior, in, swap);
    obj = OBObjectFromIOR(ior);
}

// --- client binding ------------------------------------------------------------

OBClient::OBClient() : reusable(true) {
    std::vector<OBObjVar<OBClient>>& list = clientList();
    list.emplace_back();  // may fail: no reference has been taken yet
    list.back() = OBDuplicate(this);
}

OBClient::~OBClient() {
    // Only a client whose constructor failed is still listed when it goes.
    if (ref_ == 0)
        return;
    std::vector<OBObjVar<OBClient>>& list = clientList();
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->in() == this) {
            it->_retn();
            list.erase(it);
            return;
        }
    }
}

OBClient* OBFindClient(const IOP_IOR& ior, const CORBA_PolicyList& policies) {
    OBObjVar<OB_ConnectionReusePolicy> reuse(findReusePolicy(policies));
    const bool shared = !reuse.in() || reuse->reuse();
    if (shared)
        if (OBClient* c = findReusableClient(ior, policies))
            return c;
    OCI_ConFactoryRegistry* registry = requireOrb()->_OB_conFactoryRegistry();
    OBObjVar<OCI_ConFactory> factory(registry->find_factory_with_policies(ior, policies));
    if (!factory.in())
        throw CORBA_NO_RESOURCES(0, CORBA_COMPLETED_NO);
    OBObjVar<OCI_Connector> connector(factory->create_connector_with_policies(ior, policies));
    if (!connector.in())
        throw CORBA_NO_RESOURCES(0, CORBA_COMPLETED_NO);
    OBGIOPClient* client = new OBGIOPClient(connector._retn());
    client->reusable = shared;
    return client;
}

// --- policies ------------------------------------------------------------------

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
