// The bridge's view of the Java application's controller object.
//
// `Model` forwards each automation call to the one process-wide controller
// through this interface, so the COM side does not depend on how the calls
// reach the application (the ORB stub implements it).
#ifndef BRIDGE_CONTROLLER_H
#define BRIDGE_CONTROLLER_H

#include <cstdint>
#include <stdexcept>
#include <string>

// A failed controller call, already mapped to the automation result that the
// caller should see. Thrown by every BridgeController operation on failure.
class ControllerError : public std::runtime_error {
public:
    // `hresult` is the failure code to return (a failure HRESULT; a success
    // code is reported as E_FAIL), `description` the text for the error
    // information and the log.
    ControllerError(std::int32_t hresult, const std::string& description);

    // The failure code given at construction.
    std::int32_t hresult() const noexcept { return hresult_; }

private:
    std::int32_t hresult_;
};

// The operations of the application's controller, one per remote operation,
// with the automation arguments already converted. Every operation either
// completes or throws ControllerError (other std::exception types are treated
// as E_FAIL by the caller).
class BridgeController {
public:
    virtual ~BridgeController() = default;

    // Empties the application's model.
    virtual void resetApp() = 0;
    // Locks the application's user interface against interactive changes.
    virtual void lock() = 0;
    // Releases the lock taken by lock().
    virtual void unlock() = 0;
    // Adds a node at (x, z); returns its number.
    virtual std::int32_t addNode(double x, double z) = 0;
    // Adds an Euler-Bernoulli beam between two nodes; returns its number.
    virtual std::int32_t addEBBeam(std::int32_t n1, std::int32_t n2) = 0;
    // Adds a truss between two nodes; returns its number.
    virtual std::int32_t addTruss(std::int32_t n1, std::int32_t n2) = 0;
    // Sets the constraints of node `n` in x, z and rotation.
    virtual void setConstraints(std::int32_t n, bool cX, bool cZ, bool cR) = 0;
    // Sets the forces and the moment at node `n`.
    virtual void setForces(std::int32_t n, double fx, double fz, double m) = 0;
    // Labels node `n`; `label` is ISO-8859-1 text, never null.
    virtual void setNodeLabel(std::int32_t n, const char* label) = 0;
    // Labels beam `b`; `label` is ISO-8859-1 text, never null.
    virtual void setBeamLabel(std::int32_t b, const char* label) = 0;
    // Sets the hinges at both ends of beam `b` (N, V, M at end i, then at end k).
    virtual void setEBBeamHinges(std::int32_t b, bool hiN, bool hiV, bool hiM,
                                 bool hkN, bool hkV, bool hkM) = 0;
    // Sets the loads of beam `b`.
    virtual void setEBBeamLoads(std::int32_t b, double vi, double vk, double ni,
                                double nk) = 0;
    // Sets the sectional values of an Euler-Bernoulli beam.
    virtual void setEBBeamSectionalVals(std::int32_t beam, double ei, double ea) = 0;
    // Sets the sectional value of a truss.
    virtual void setTrussSectionalVals(std::int32_t truss, double ea) = 0;
};

// The process-wide controller; null while no application is connected.
BridgeController* ProcessController() noexcept;

// Publishes `controller` (not owned; may be null) as the process-wide one.
// Called by the main routine only, before any Model object can exist.
void SetProcessController(BridgeController* controller) noexcept;

#endif
