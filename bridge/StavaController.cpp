// Client stub of StavaController.
#include "StavaController.h"

#include <cstring>
#include <tuple>

const char* const StavaController::RepositoryId = "IDL:StavaController:1.0";

const char StavaController_tc_text[] =
    "010000000e00000034000000010000001800000049444c3a5374617661436f6e"
    "74726f6c6c65723a312e3000100000005374617661436f6e74726f6c6c657200";

// The array's address is a constant: the constant is set up before any
// dynamic initialisation could use it.
OBTypeCodeConst _tc_StavaController(StavaController_tc_text);

namespace {

// Arguments of one request, counted and written in order. Booleans travel as
// one octet each, 1 for true.
template<class... T> class Args : public OBRequestArgs {
public:
    explicit Args(T... values) : values_(values...) {}
    void count(CORBA_ULong& n) const override {
        std::apply([&n](auto... v) { (OBCount(v, n), ...); }, values_);
    }
    void write(CORBA_Octet*& p) const override {
        std::apply([&p](auto... v) { (OBWrite(v, p), ...); }, values_);
    }

private:
    std::tuple<T...> values_;
};

template<class... T> Args<T...> args(T... values) { return Args<T...>(values...); }

CORBA_Octet flag(CORBA_Boolean b) { return b ? 1 : 0; }

// One operation with arguments a; after a location forward `again` runs it
// anew through the virtual table, and its result is the call's.
template<class Again> void call(CORBA_Object* self, const char* op, const OBRequestArgs& a, Again again) {
    OBBuffer reply;
    bool swap = false;
    if (OBInvoke(self, op, a, reply, swap) == 0)
        OBRepeatForwarded(again);
}

template<class Again>
CORBA_Long callLong(CORBA_Object* self, const char* op, const OBRequestArgs& a, Again again) {
    OBBuffer reply;
    bool swap = false;
    const CORBA_ULong offset = OBInvoke(self, op, a, reply, swap);
    if (offset == 0)
        return OBRepeatForwarded(again);
    OBInCursor in = OBMakeInCursor(reply, offset);
    CORBA_Long result = 0;
    OBRead(result, in, swap);
    return result;
}

}  // namespace

StavaController::~StavaController() = default;

const char* StavaController::_OB_typeId() const { return RepositoryId; }

void* StavaController::_OB_castTo(const char* id) {
    if (std::strcmp(id, RepositoryId) == 0)
        return static_cast<StavaController*>(this);
    return CORBA_Object::_OB_castTo(id);
}

StavaController* StavaController::_narrow(CORBA_Object* obj) {
    if (!obj)
        return nullptr;
    if (void* p = obj->_OB_castTo(RepositoryId))
        return OBDuplicate(static_cast<StavaController*>(p));
    if (obj->_is_local() || !obj->_is_a(RepositoryId))
        return nullptr;
    StavaController* narrowed = new StavaController;
    narrowed->_OB_copyFrom(*obj);
    return narrowed;
}

void StavaController::resetApp() {
    call(this, "resetApp", OBNoArgs(), [&] { resetApp(); });
}

void StavaController::lock() {
    call(this, "lock", OBNoArgs(), [&] { lock(); });
}

void StavaController::unlock() {
    call(this, "unlock", OBNoArgs(), [&] { unlock(); });
}

CORBA_Long StavaController::addNode(CORBA_Double x, CORBA_Double z) {
    return callLong(this, "addNode", args(x, z), [&] { return addNode(x, z); });
}

CORBA_Long StavaController::addEBBeam(CORBA_Long n1, CORBA_Long n2) {
    return callLong(this, "addEBBeam", args(n1, n2), [&] { return addEBBeam(n1, n2); });
}

CORBA_Long StavaController::addTruss(CORBA_Long n1, CORBA_Long n2) {
    return callLong(this, "addTruss", args(n1, n2), [&] { return addTruss(n1, n2); });
}

void StavaController::setConstraints(CORBA_Long n, CORBA_Boolean cX, CORBA_Boolean cZ, CORBA_Boolean cR) {
    call(this, "setConstraints", args(n, flag(cX), flag(cZ), flag(cR)),
         [&] { setConstraints(n, cX, cZ, cR); });
}

void StavaController::setForces(CORBA_Long n, CORBA_Double Fx, CORBA_Double Fz, CORBA_Double M) {
    call(this, "setForces", args(n, Fx, Fz, M), [&] { setForces(n, Fx, Fz, M); });
}

void StavaController::setNodeLabel(CORBA_Long n, const char* label) {
    call(this, "setNodeLabel", args(n, label), [&] { setNodeLabel(n, label); });
}

void StavaController::setBeamLabel(CORBA_Long b, const char* label) {
    call(this, "setBeamLabel", args(b, label), [&] { setBeamLabel(b, label); });
}

void StavaController::setEBBeamHinges(CORBA_Long b, CORBA_Boolean hiN, CORBA_Boolean hiV, CORBA_Boolean hiM,
                                      CORBA_Boolean hkN, CORBA_Boolean hkV, CORBA_Boolean hkM) {
    call(this, "setEBBeamHinges", args(b, flag(hiN), flag(hiV), flag(hiM), flag(hkN), flag(hkV), flag(hkM)),
         [&] { setEBBeamHinges(b, hiN, hiV, hiM, hkN, hkV, hkM); });
}

void StavaController::setEBBeamLoads(CORBA_Long b, CORBA_Double vi, CORBA_Double vk, CORBA_Double ni,
                                     CORBA_Double nk) {
    call(this, "setEBBeamLoads", args(b, vi, vk, ni, nk), [&] { setEBBeamLoads(b, vi, vk, ni, nk); });
}

void StavaController::setEBBeamSectionalVals(CORBA_Long beam, CORBA_Double ei, CORBA_Double ea) {
    call(this, "setEBBeamSectionalVals", args(beam, ei, ea),
         [&] { setEBBeamSectionalVals(beam, ei, ea); });
}

void StavaController::setTrussSectionalVals(CORBA_Long truss, CORBA_Double ea) {
    call(this, "setTrussSectionalVals", args(truss, ea), [&] { setTrussSectionalVals(truss, ea); });
}
