// Client stub of the application's one CORBA interface, "IDL:StavaController:1.0",
// in the form generated for our ORB: each operation marshals its arguments
// into one exact-size buffer, sends one GIOP request through the reference's
// client binding and reads the reply.
#ifndef BRIDGE_STAVA_CONTROLLER_H
#define BRIDGE_STAVA_CONTROLLER_H

#include <OB/Object.h>
#include <OB/TypeCode.h>

class StavaController;
typedef OBObjVar<StavaController> StavaController_var;

// Hexadecimal CDR encapsulation of the TypeCode of StavaController (tk_objref).
extern const char StavaController_tc_text[];

// The TypeCode of StavaController: decoded from StavaController_tc_text on
// first use and kept for the rest of the process.
extern OBTypeCodeConst _tc_StavaController;

class StavaController : public virtual CORBA_Object {
public:
    static const char* const RepositoryId;  // "IDL:StavaController:1.0"

    ~StavaController() override;

    const char* _OB_typeId() const override;
    void* _OB_castTo(const char* id) override;

    // obj viewed as a StavaController with its own reference, or nil. Asks
    // the server "_is_a" only when the reference's type_id does not tell.
    static StavaController* _narrow(CORBA_Object* obj);
    // Adds a reference to a non-nil p.
    static StavaController* _duplicate(StavaController* p) { return OBDuplicate(p); }
    static StavaController* _nil() { return nullptr; }

    // The fourteen operations, in the order of the interface. Each raises the
    // system exception of a failed call; a reference without client raises
    // CORBA_NO_IMPLEMENT and a user exception CORBA_UNKNOWN (minor 0, COMPLETED_NO).
    // After a location forward each runs again through the virtual table.
    virtual void resetApp();
    virtual void lock();
    virtual void unlock();
    virtual CORBA_Long addNode(CORBA_Double x, CORBA_Double z);
    virtual CORBA_Long addEBBeam(CORBA_Long n1, CORBA_Long n2);
    virtual CORBA_Long addTruss(CORBA_Long n1, CORBA_Long n2);
    virtual void setConstraints(CORBA_Long n, CORBA_Boolean cX, CORBA_Boolean cZ, CORBA_Boolean cR);
    virtual void setForces(CORBA_Long n, CORBA_Double Fx, CORBA_Double Fz, CORBA_Double M);
    virtual void setNodeLabel(CORBA_Long n, const char* label);
    virtual void setBeamLabel(CORBA_Long b, const char* label);
    virtual void setEBBeamHinges(CORBA_Long b, CORBA_Boolean hiN, CORBA_Boolean hiV, CORBA_Boolean hiM,
                                 CORBA_Boolean hkN, CORBA_Boolean hkV, CORBA_Boolean hkM);
    virtual void setEBBeamLoads(CORBA_Long b, CORBA_Double vi, CORBA_Double vk, CORBA_Double ni,
                                CORBA_Double nk);
    virtual void setEBBeamSectionalVals(CORBA_Long beam, CORBA_Double ei, CORBA_Double ea);
    virtual void setTrussSectionalVals(CORBA_Long truss, CORBA_Double ea);
};

#endif
