// The bridge's module object: instance handle, lock count that keeps the
// server alive, the type-information lock and the main thread's id.
#ifndef BRIDGE_MODULE_H
#define BRIDGE_MODULE_H

#include "CriticalSection.h"

#include <windows.h>

class BridgeModule {
public:
    // Prepares a serving run: records the executable's instance handle and
    // the thread that runs the message loop (target of the quit message);
    // no request noted, not stopping.
    void init(HINSTANCE instance, DWORD mainThreadId) noexcept;

    // The executable's instance handle (resources, type library, path).
    HINSTANCE instance() const noexcept { return instance_; }

    // Raises the lock count (a live object or a server lock); returns it.
    LONG lock() noexcept;

    // Lowers the lock count; when it reaches zero, stops the server (see
    // stopping()). Returns the new count.
    LONG unlock() noexcept;

    // The current lock count.
    LONG lockCount() const noexcept { return lockCount_; }

    // Notes a request to the class object (CreateInstance, LockServer).
    void noteRequest() noexcept;

    // Called once per idle period: stops the server when no lock is held and
    // no request was noted since the previous call. Returns true when it
    // stopped the server.
    bool endIfIdle() noexcept;

    // True once the server has stopped: the class objects are suspended and
    // the quit message is posted, so no new object may be handed out.
    bool stopping() const noexcept { return stopping_ != 0; }

    // Guards the shared type information of Model.
    CriticalSection& typeInfoLock() noexcept { return typeInfoLock_; }

private:
    bool stop() noexcept;

    HINSTANCE instance_ = nullptr;
    DWORD mainThreadId_ = 0;
    volatile LONG lockCount_ = 0;
    volatile LONG requested_ = 0;
    volatile LONG stopping_ = 0;
    CriticalSection typeInfoLock_;
};

// The process's one module object.
BridgeModule& TheModule();

#endif
