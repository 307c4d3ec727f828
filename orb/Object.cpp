// Object references: the calling sequence, binding and re-binding through
// the binder, and the built-in operations.
#include <OB/Object.h>

#include <OB/Client.h>
#include <OB/Policy.h>

#include <cstdint>
#include <cstring>

namespace {

const char* const ObjectId = "IDL:omg.org/CORBA/Object:1.0";

bool sameId(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

OBBinder* binder = nullptr;  // set once an ORB is made

OBBinder* requireBinder() {
    if (!binder)
        throw CORBA_INITIALIZE("ORB not initialized", 0, CORBA_COMPLETED_NO);
    return binder;
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

void OBSetBinder(OBBinder* b) { binder = b; }

CORBA_Object::CORBA_Object() : orb(binder ? binder->_OB_currentORB() : nullptr), timeout(-1) {
    ior.type_id = "";
}

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
    return requireBinder()->_OB_equivalent(ior, other->ior);
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
    OBObjVar<OBClient> found(requireBinder()->_OB_clientFor(newIor, policies));
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
    OBBinder* b = requireBinder();
    CORBA_Object_var obj(new CORBA_Object);
    obj->policies = b->_OB_bindingPolicies();
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
