#include "BridgeModule.h"

#include <objbase.h>

void BridgeModule::init(HINSTANCE instance, DWORD mainThreadId) noexcept {
    instance_ = instance;
    mainThreadId_ = mainThreadId;
}

LONG BridgeModule::lock() noexcept { return InterlockedIncrement(&lockCount_); }

LONG BridgeModule::unlock() noexcept {
    const LONG count = InterlockedDecrement(&lockCount_);
    // Suspending first keeps COM from handing a new activation to a process
    // that is about to leave its message loop.
    if (count == 0 && CoSuspendClassObjects() == S_OK)
        PostThreadMessageA(mainThreadId_, WM_QUIT, 0, 0);
    return count;
}

BridgeModule& TheModule() {
    static BridgeModule module;
    return module;
}
