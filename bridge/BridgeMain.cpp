// Process entry of the bridge: registration switches, start-up, the message
// loop that serves COM, and shutdown in a fixed order.
#include "BridgeModule.h"
#include "BridgeSettings.h"
#include "ClassObjectRegistration.h"
#include "ComApartment.h"
#include "ControllerFactory.h"
#include "Log.h"
#include "ReferenceFile.h"
#include "ServerRegistration.h"
#include "ServerSwitch.h"
#include "resource.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>

namespace {

// Capacity of the reference text: 999 characters plus the terminator.
constexpr std::size_t kReferenceCapacity = 1000;

// An instance that COM starts is asked for an object within moments. One
// that has had no request for this long was started for an activation that
// another instance took (Wine starts a server for each activation that comes
// before a class object is registered) or whose client died before asking,
// and nothing else would ever end it.
constexpr UINT kIdlePeriodMs = 5000;

// After the message loop and the final unlock the apartment goes on
// dispatching until nothing has come for this long. COM's RPC threads may
// still be sending the reply to the call that released the last object, and
// tearing the apartment down under that reply can leave the process waiting
// for ever on the call's completion (seen under Wine); and a client that got
// the class object just before its revocation gets its CO_E_SERVER_STOPPING
// instead of a call that no one dispatches.
constexpr DWORD kReplyGraceMs = 1000;
// The most that the above may take, however busy the apartment stays.
constexpr DWORD kDrainLimitMs = 5000;

// Keeps the process-wide controller published while it lives; held until the
// very end of the main routine.
class PublishedController {
public:
    ~PublishedController() { SetProcessController(nullptr); }
    void reset(std::unique_ptr<BridgeController> controller) {
        controller_ = std::move(controller);
        SetProcessController(controller_.get());
    }
    BridgeController* get() const noexcept { return controller_.get(); }

private:
    std::unique_ptr<BridgeController> controller_;
};

// Closes the process-wide log when the main routine ends.
class LogSession {
public:
    LogSession() = default;
    ~LogSession() { BridgeLog().close(); }
    LogSession(const LogSession&) = delete;
    LogSession& operator=(const LogSession&) = delete;
};

// Performs a registration switch; returns the exit code.
HRESULT RunServerSwitch(ServerSwitch request) {
    const bool registering = request == ServerSwitch::Register;
    // The application identity's result is not examined, as with the class's.
    UpdateRegistryFromResource(IDR_STAVAAUTOMATIONBRIDGE, registering);
    return registering ? RegisterServer() : UnregisterServer();
}

// Truncates the log at `paths` and writes its first line.
void OpenLog(const BridgePaths& paths) {
    Log& log = BridgeLog();
    if (log.open(paths.logFile))
        log.line("bridge startup", false);
}

// Starts the ORB; on failure returns null and leaves the reason in `failure`.
std::unique_ptr<ControllerConnector> StartConnector(std::string& failure) {
    try {
        return StartControllerConnector();
    } catch (const std::exception& e) {
        failure = e.what();
    }
    return nullptr;
}

// Reads the first word of `file` and turns it into the controller. Every
// failure leaves the result null and is logged; a nil reference is not.
std::unique_ptr<BridgeController> ConnectFromReference(ReferenceFile& file,
                                                       const BridgePaths& paths,
                                                       ControllerConnector* connector,
                                                       std::int32_t callTimeout) {
    Log& log = BridgeLog();
    char reference[kReferenceCapacity];
    TextEncoding encoding = TextEncoding::Plain;
    const WordRead read = file.readFirstWord(reference, sizeof reference, encoding);
    log.line(std::string("stv is '") + reference + "'");
    // A byte-order mark does not show in the line above.
    if (encoding != TextEncoding::Plain)
        log.line(std::string("ref-file '") + paths.referenceFile + "' read as " +
                 TextEncodingName(encoding));
    if (read == WordRead::TooLong) {
        log.line("reference longer than 999 characters ignored");
        return nullptr;
    }
    if (read == WordRead::Empty) {
        log.line(std::string("ref-file '") + paths.referenceFile + "' holds no reference");
        return nullptr;
    }
    if (connector == nullptr)
        return nullptr;
    try {
        return connector->connect(reference, callTimeout);
    } catch (const std::exception& e) {
        log.line(std::string("reference not converted: ") + e.what());
    }
    return nullptr;
}

int WinCompareNoCase(const char* a, const char* b) { return lstrcmpiA(a, b); }

// While it lives, the message loop asks the module once per idle period to
// end the server if it has been idle (BridgeModule::endIfIdle).
class IdleEnd {
public:
    IdleEnd() : timer_(SetTimer(nullptr, 0, kIdlePeriodMs, &IdleEnd::onTimer)) {}
    ~IdleEnd() {
        if (timer_ != 0)
            KillTimer(nullptr, timer_);
    }
    IdleEnd(const IdleEnd&) = delete;
    IdleEnd& operator=(const IdleEnd&) = delete;

private:
    static void CALLBACK onTimer(HWND, UINT, UINT_PTR, DWORD) { TheModule().endIfIdle(); }

    const UINT_PTR timer_;
};

// Dispatches every message that is waiting; true if there was one.
bool DispatchWaiting() {
    bool dispatched = false;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&message);
        dispatched = true;
    }
    return dispatched;
}

// Keeps the apartment answering until nothing has come for kReplyGraceMs,
// at most for kDrainLimitMs.
void DrainApartment() {
    const DWORD started = GetTickCount();
    DWORD lastMessage = started;
    for (;;) {
        const DWORD now = GetTickCount();
        const DWORD quiet = now - lastMessage;
        const DWORD spent = now - started;
        if (quiet >= kReplyGraceMs || spent >= kDrainLimitMs)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE,
                                  std::min(kReplyGraceMs - quiet, kDrainLimitMs - spent),
                                  QS_ALLINPUT);
        if (DispatchWaiting())
            lastMessage = GetTickCount();
    }
}

// The final unlock; a failure is logged and shutdown goes on.
void UnlockController(BridgeController& controller) {
    try {
        controller.unlock();
    } catch (const std::exception& e) {
        BridgeLog().line(std::string("unlock failed: ") + e.what());
    } catch (...) {
        BridgeLog().line("unlock failed");
    }
}

// Serves COM requests until the module posts the quit message. An instance
// that COM started also ends by itself once it has been idle. The final
// unlock of `controller` (if any) follows the revocation at once: a script
// that starts now gets a new bridge, whose lock must reach the application
// after this unlock, not before it.
void ServeUntilQuit(bool startedByCom, BridgeController* controller) {
    ClassObjectRegistration registration;
    {
        std::optional<IdleEnd> idleEnd;
        if (startedByCom)
            idleEnd.emplace();
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0)
            DispatchMessageA(&message);
    }
    registration.revoke();
    if (controller != nullptr)
        UnlockController(*controller);
    DrainApartment();
}

// A registration run (the installer, the uninstaller, an administrator):
// registers or unregisters and rewrites the log, but never reads the
// reference file or talks to the application, whose script may hold its
// lock just now, and which may hang. Returns the registration's result.
HRESULT RunRegistration(ServerSwitch request, ComApartment& com) {
    const HRESULT result = RunServerSwitch(request);
    BridgePaths paths;
    ReadBridgePaths(paths);
    OpenLog(paths);
    BridgeLog().line("bridge shutdown");
    com.leave();
    BridgeLog().close();
    return result;
}

int RunBridge(HINSTANCE instance) {
    const char* commandLine = GetCommandLineA();
    PublishedController controller;
    LogSession logSession;
    ReferenceFile referenceFile;
    ComApartment com;
    TheModule().init(instance, GetCurrentThreadId());

    const ServerSwitch request = ScanServerSwitch(commandLine, WinCompareNoCase);
    if (request != ServerSwitch::None)
        return static_cast<int>(RunRegistration(request, com));

    std::string orbFailure;
    std::unique_ptr<ControllerConnector> connector = StartConnector(orbFailure);

    BridgePaths paths;
    ReadBridgePaths(paths);
    const std::int32_t callTimeout = ReadCallTimeout();

    OpenLog(paths);
    Log& log = BridgeLog();
    if (!orbFailure.empty())
        log.line("ORB not initialised: " + orbFailure);

    if (referenceFile.open(paths.referenceFile))
        controller.reset(ConnectFromReference(referenceFile, paths, connector.get(), callTimeout));
    else
        log.line(std::string("ref-file '") + paths.referenceFile + "' not opened");

    ServeUntilQuit(StartedByCom(commandLine, WinCompareNoCase), controller.get());

    connector.reset();
    log.line("bridge shutdown");
    com.leave();
    referenceFile.close();
    log.close();
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    try {
        return RunBridge(instance);
    } catch (const std::bad_alloc&) {
        return static_cast<int>(E_OUTOFMEMORY);
    }
}
