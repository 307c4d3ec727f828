#include "Controller.h"

namespace {
BridgeController* theController = nullptr;
}

ControllerError::ControllerError(std::int32_t hresult, const std::string& description)
    : std::runtime_error(description), hresult_(hresult) {}

BridgeController* ProcessController() noexcept { return theController; }

void SetProcessController(BridgeController* controller) noexcept {
    theController = controller;
}
