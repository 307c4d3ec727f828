// How the main routine obtains the controller: start the connection machinery
// (the ORB) once, turn the reference text into a controller, and end the
// machinery again at shutdown.
#ifndef BRIDGE_CONTROLLER_FACTORY_H
#define BRIDGE_CONTROLLER_FACTORY_H

#include "Controller.h"

#include <cstdint>
#include <memory>

// The started connection machinery. Destroying it releases the ORB; a
// controller obtained from it may outlive it and must stay safe to destroy.
class ControllerConnector {
public:
    virtual ~ControllerConnector() = default;

    // Converts the stringified reference `reference` (never null) and narrows
    // it to the controller interface, whose every call then waits at most
    // `callTimeout` milliseconds for its reply (negative: without limit).
    // Returns null when the result is a nil reference; throws ControllerError
    // when the conversion or narrowing fails.
    virtual std::unique_ptr<BridgeController> connect(const char* reference,
                                                      std::int32_t callTimeout) = 0;
};

// Starts the connection machinery with no options of the bridge's own.
// Never returns null; throws ControllerError when it cannot be started.
std::unique_ptr<ControllerConnector> StartControllerConnector();

#endif
