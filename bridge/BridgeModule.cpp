#include "BridgeModule.h"

#include <objbase.h>

void BridgeModule::init(HINSTANCE instance, DWORD mainThreadId) noexcept {
    instance_ = instance;
    mainThreadId_ = mainThreadId;
    InterlockedExchange(&requested_, 0);
    InterlockedExchange(&stopping_, 0);
}

LONG BridgeModule::lock() noexcept { return InterlockedIncrement(&lockCount_); }

LONG BridgeModule::unlock() noexcept {
    const LONG count = InterlockedDecrement(&lockCount_);
    if (count == 0)
        stop();
    return count;
}

void BridgeModule::noteRequest() noexcept { InterlockedExchange(&requested_, 1); }

bool BridgeModule::endIfIdle() noexcept {
    const bool requested = InterlockedExchange(&requested_, 0) != 0;
    if (requested || lockCount_ != 0 || stopping())
        return false;
    return stop();
}

bool BridgeModule::stop() noexcept {
    // Suspending first keeps COM from handing a new activation to a process
    // that is about to leave its message loop.
    if (CoSuspendClassObjects() != S_OK)
        return false;
    InterlockedExchange(&stopping_, 1);
    PostThreadMessageA(mainThreadId_, WM_QUIT, 0, 0);
    return true;
}

BridgeModule& TheModule() {
    static BridgeModule module;
    return module;
}
