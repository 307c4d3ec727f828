// The same two-way addNode call through an omniORB client of the same
// interface, over one connection: the peer ORB our figures are held against.
//
//   stava-bench-omni REF_FILE
#include "CallFigures.h"
#include "RefFile.h"

#include <StavaController.hh>

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s REF_FILE\n", argv[0]);
        return 2;
    }
    int orbArgc = 1;
    CORBA::ORB_var orb = CORBA::ORB_init(orbArgc, argv);
    int status = 1;
    try {
        const std::string ref = readRefFile(argv[1]);
        CORBA::Object_var obj = orb->string_to_object(ref.c_str());
        StavaController_var controller = StavaController::_narrow(obj);
        if (CORBA::is_nil(controller)) {
            std::fprintf(stderr, "the reference is not a StavaController\n");
        } else {
            controller->resetApp();
            const CallFigures f = measureCalls([&] { controller->addNode(1.5, -2.0); });
            controller->resetApp();
            printCallFigures("omniORB", f);
            status = 0;
        }
    } catch (const CORBA::SystemException& e) {
        std::fprintf(stderr, "CORBA exception %s minor %lu\n", e._name(), static_cast<unsigned long>(e.minor()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    orb->destroy();
    return status;
}
