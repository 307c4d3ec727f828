// The bridge's module object: instance handle, lock count that keeps the
// server alive, the type-information lock and the main thread's id.
#ifndef BRIDGE_MODULE_H
#define BRIDGE_MODULE_H

#include "CriticalSection.h"

#include <windows.h>

class BridgeModule {
public:
    // Records the executable's instance handle and the thread that runs the
    // message loop (target of the quit message).
    void init(HINSTANCE instance, DWORD mainThreadId) noexcept;

    // The executable's instance handle (resources, type library, path).
    HINSTANCE instance() const noexcept { return instance_; }

    // Raises the lock count (a live object or a server lock); returns it.
    LONG lock() noexcept;

    // Lowers the lock count; when it reaches zero, suspends the class objects
    // and, if that succeeded, posts WM_QUIT to the main thread. Returns the
    // new count.
    LONG unlock() noexcept;

    // The current lock count.
    LONG lockCount() const noexcept { return lockCount_; }

    // Guards the shared type information of Model.
    CriticalSection& typeInfoLock() noexcept { return typeInfoLock_; }

private:
    HINSTANCE instance_ = nullptr;
    DWORD mainThreadId_ = 0;
    volatile LONG lockCount_ = 0;
    CriticalSection typeInfoLock_;
};

// The process's one module object.
BridgeModule& TheModule();

#endif
