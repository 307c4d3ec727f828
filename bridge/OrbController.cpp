// The controller behind Model: our ORB and the StavaController stub. CORBA
// failures become ControllerError with the interworking result code and the
// ORB's diagnostic text.
#include "ControllerFactory.h"
#include "ExceptionResult.h"
#include "StavaController.h"

#include <OB/ORB.h>

#include <new>

namespace {

const std::int32_t OutOfMemory = static_cast<std::int32_t>(0x8007000E);  // E_OUTOFMEMORY

// Runs one ORB call; its CORBA failure leaves as ControllerError.
template<class F> auto guarded(F f) -> decltype(f()) {
    try {
        return f();
    } catch (const CORBA_SystemException& e) {
        throw ControllerError(SystemExceptionResult(e), SystemExceptionDescription(e));
    } catch (const CORBA_UserException& e) {
        throw ControllerError(UserExceptionResult, std::string("user exception ") + e._rep_id());
    } catch (const std::bad_alloc&) {
        throw ControllerError(OutOfMemory, "out of memory");
    }
}

class OrbController final : public BridgeController {
public:
    explicit OrbController(StavaController* stub) : stub_(stub) {}

    void resetApp() override { guarded([&] { stub_->resetApp(); }); }
    void lock() override { guarded([&] { stub_->lock(); }); }
    void unlock() override { guarded([&] { stub_->unlock(); }); }
    std::int32_t addNode(double x, double z) override {
        return guarded([&] { return stub_->addNode(x, z); });
    }
    std::int32_t addEBBeam(std::int32_t n1, std::int32_t n2) override {
        return guarded([&] { return stub_->addEBBeam(n1, n2); });
    }
    std::int32_t addTruss(std::int32_t n1, std::int32_t n2) override {
        return guarded([&] { return stub_->addTruss(n1, n2); });
    }
    void setConstraints(std::int32_t n, bool cX, bool cZ, bool cR) override {
        guarded([&] { stub_->setConstraints(n, cX, cZ, cR); });
    }
    void setForces(std::int32_t n, double fx, double fz, double m) override {
        guarded([&] { stub_->setForces(n, fx, fz, m); });
    }
    void setNodeLabel(std::int32_t n, const char* label) override {
        guarded([&] { stub_->setNodeLabel(n, label); });
    }
    void setBeamLabel(std::int32_t b, const char* label) override {
        guarded([&] { stub_->setBeamLabel(b, label); });
    }
    void setEBBeamHinges(std::int32_t b, bool hiN, bool hiV, bool hiM, bool hkN, bool hkV,
                         bool hkM) override {
        guarded([&] { stub_->setEBBeamHinges(b, hiN, hiV, hiM, hkN, hkV, hkM); });
    }
    void setEBBeamLoads(std::int32_t b, double vi, double vk, double ni, double nk) override {
        guarded([&] { stub_->setEBBeamLoads(b, vi, vk, ni, nk); });
    }
    void setEBBeamSectionalVals(std::int32_t beam, double ei, double ea) override {
        guarded([&] { stub_->setEBBeamSectionalVals(beam, ei, ea); });
    }
    void setTrussSectionalVals(std::int32_t truss, double ea) override {
        guarded([&] { stub_->setTrussSectionalVals(truss, ea); });
    }

private:
    StavaController_var stub_;
};

class OrbConnector final : public ControllerConnector {
public:
    OrbConnector() {
        // A fixed program name that is no ORB option: the bridge's own
        // command line never reaches the ORB.
        char name[] = "b";
        char* argv[] = {name, nullptr};
        int argc = 1;
        orb_ = guarded([&] { return CORBA_ORB_init(argc, argv, ""); });
    }

    std::unique_ptr<BridgeController> connect(const char* reference,
                                              std::int32_t callTimeout) override {
        StavaController* stub = guarded([&] {
            CORBA_Object_var obj(orb_->string_to_object(reference));
            if (CORBA_is_nil(obj.in()))
                return static_cast<StavaController*>(nullptr);
            // Set before narrowing: the narrow's _is_a (sent when the
            // reference names another type) is bounded like every call, and
            // the narrowed stub copies the time-out for its own requests.
            obj->timeout = callTimeout < 0 ? -1 : callTimeout;
            return StavaController::_narrow(obj.in());
        });
        if (!stub)
            return nullptr;
        return std::make_unique<OrbController>(stub);
    }

private:
    CORBA_ORB_var orb_;
};

}  // namespace

std::unique_ptr<ControllerConnector> StartControllerConnector() { return std::make_unique<OrbConnector>(); }
