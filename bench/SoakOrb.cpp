// Soak test of our ORB: many two-way calls through the StavaController stub
// to the application stand-in over one loopback connection, in the
// concurrency model named on the command line. The calls vary so that
// several paths run: results, string arguments, void replies and system
// exceptions raised by the application. The resident set is read after a
// warm-up and at 10%, 50% and 100% of the calls; the program fails when it
// grew by 1 MiB or more from the 10% sample to the last one, or when a call
// did not end as the stand-in's model says it must.
//
//   stava-soak-orb REF_FILE [CALLS] [blocking|reactive]
//
// CALLS defaults to 1000000 (at least 1000); the model to blocking.
#include "RefFile.h"
#include "StavaController.h"

#include <OB/ORB.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <string>

namespace {

const long DefaultCalls = 1000000;
const long MinimumCalls = 1000;
// Calls before the first sample: connection, lazy set-up, allocator pools.
const long WarmupCalls = 20000;
// Growth of the resident set, 10% sample to the last, that fails the soak.
const long GrowthLimitKiB = 1024;
// The stand-in's model is emptied this often, so that it stays small.
// A multiple of eight, the length of one round of the mix.
const long CallsPerReset = 10000;

// Resident set of this process in KiB, from /proc/self/status.
long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, 6, "VmRSS:") == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    throw std::runtime_error("no VmRSS in /proc/self/status");
}

// A call that the application must reject with BAD_PARAM (minor 0,
// COMPLETED_NO); anything else ends the soak.
template<class Call> void expectBadParam(const char* what, Call call) {
    try {
        call();
    } catch (const CORBA_BAD_PARAM& e) {
        if (e.minor() != 0 || e.completed() != CORBA_COMPLETED_NO)
            throw std::runtime_error(std::string(what) + ": BAD_PARAM with unexpected minor or completion");
        return;
    }
    throw std::runtime_error(std::string(what) + ": the application accepted it");
}

// Drives the mix of calls and keeps the count of nodes the application
// holds, which tells the result each call must have.
class CallMix {
public:
    // Starts from an empty model.
    explicit CallMix(StavaController* controller) : controller_(controller) { controller_->resetApp(); }

    // Makes call number i of the soak (numbering includes the warm-up). The
    // reset takes the place of the last call of a round of eight, so that
    // each round starts with addNode.
    void call(long i) {
        if (i % CallsPerReset == CallsPerReset - 1) {
            controller_->resetApp();
            nodes_ = 0;
            return;
        }
        switch (i % 8) {
        case 0: addNode(i); break;
        case 1: controller_->setNodeLabel(nodes_, label(i).c_str()); break;
        case 2: controller_->setForces(nodes_, 1.5, -0.25 * double(i % 16), 1e3); break;
        case 3:
            expectBadParam("setNodeLabel on an unknown node",
                           [&] { controller_->setNodeLabel(nodes_ + 1 + i % 100, "nobody"); });
            break;
        case 4:
            expectBadParam("addEBBeam between equal nodes", [&] { controller_->addEBBeam(nodes_, nodes_); });
            break;
        case 5: controller_->setConstraints(nodes_, true, i % 2 == 0, false); break;
        case 6: addNode(i); break;
        default:
            expectBadParam("setTrussSectionalVals on an unknown element",
                           [&] { controller_->setTrussSectionalVals(-1 - i % 7, 2.5e5); });
            break;
        }
    }

private:
    void addNode(long i) {
        const CORBA_Long n = controller_->addNode(0.5 * double(i % 1000), -2.0);
        if (n != ++nodes_)
            throw std::runtime_error("addNode returned " + std::to_string(n) + ", expected " +
                                     std::to_string(nodes_));
    }
    // Labels of varying length, so that string marshalling sees several sizes.
    static std::string label(long i) {
        return "node " + std::string(std::size_t(i % 40), 'x') + std::to_string(i);
    }

    StavaController* controller_;
    CORBA_Long nodes_ = 0;
};

// Resident set in KiB at the four points of the soak.
struct Samples {
    long warmup = 0;
    long tenth = 0;
    long half = 0;
    long last = 0;
};

// Makes calls calls after the warm-up and reads the resident set at the
// four points.
Samples soak(CallMix& mix, long calls) {
    Samples s;
    long i = 0;
    for (; i < WarmupCalls; ++i)
        mix.call(i);
    s.warmup = residentKiB();
    for (long done = 1; done <= calls; ++done, ++i) {
        mix.call(i);
        if (done == calls / 10)
            s.tenth = residentKiB();
        else if (done == calls / 2)
            s.half = residentKiB();
    }
    s.last = residentKiB();
    return s;
}

// The controller that the stand-in's reference file names.
StavaController_var controllerFromRef(CORBA_ORB* orb, const char* refFile) {
    const std::string ref = readRefFile(refFile);
    CORBA_Object_var obj(orb->string_to_object(ref.c_str()));
    StavaController_var controller(StavaController::_narrow(obj.in()));
    if (!controller.in())
        throw std::runtime_error("the reference is not a StavaController");
    return controller;
}

// REF_FILE [CALLS] [blocking|reactive]; false on a bad command line.
bool parseArguments(int argc, char** argv, long& calls, std::string& model) {
    if (argc < 2 || argc > 4)
        return false;
    calls = DefaultCalls;
    model = "blocking";
    if (argc >= 3) {
        char* end = nullptr;
        calls = std::strtol(argv[2], &end, 10);
        if (*end != '\0' || calls < MinimumCalls)
            return false;
    }
    if (argc == 4)
        model = argv[3];
    return model == "blocking" || model == "reactive";
}

}  // namespace

int main(int argc, char** argv) {
    long calls = 0;
    std::string model;
    if (!parseArguments(argc, argv, calls, model)) {
        std::fprintf(stderr, "usage: %s REF_FILE [CALLS >= %ld] [blocking|reactive]\n", argv[0], MinimumCalls);
        return 2;
    }
    try {
        const std::string option = "-ORB" + model;
        char program[] = "stava-soak-orb";
        char* orbArgv[] = {program, const_cast<char*>(option.c_str()), nullptr};
        int orbArgc = 2;
        CORBA_ORB_var orb(CORBA_ORB_init(orbArgc, orbArgv, ""));
        StavaController_var controller(controllerFromRef(orb.in(), argv[1]));
        CallMix mix(controller.in());

        const auto start = std::chrono::steady_clock::now();
        const Samples s = soak(mix, calls);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        controller->resetApp();

        const long growth = s.last - s.tenth;
        std::printf("SOAK %s calls=%ld warmup=%ld seconds=%.1f us/call=%.2f\n", model.c_str(), calls,
                    WarmupCalls, seconds, seconds * 1e6 / double(calls + WarmupCalls));
        std::printf("SOAK %s VmRSS kB: warm-up %ld, 10%% %ld, 50%% %ld, 100%% %ld; growth 10%%..100%% %ld kB"
                    " (limit %ld)\n",
                    model.c_str(), s.warmup, s.tenth, s.half, s.last, growth, GrowthLimitKiB);
        if (growth >= GrowthLimitKiB) {
            std::printf("FAIL: %s: the resident set grew by %ld kB\n", model.c_str(), growth);
            return 1;
        }
        return 0;
    } catch (const CORBA_Exception& e) {
        std::fprintf(stderr, "FAIL: CORBA exception %s\n", e._rep_id());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "FAIL: %s\n", e.what());
    }
    return 1;
}
