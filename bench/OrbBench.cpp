// A two-way addNode call through our ORB and the StavaController stub to the
// application stand-in, over one connection, in the concurrency model named
// on the command line.
//
//   stava-bench-orb REF_FILE blocking|reactive
#include "CallFigures.h"
#include "RefFile.h"
#include "StavaController.h"

#include <OB/ORB.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[2], "blocking") != 0 && std::strcmp(argv[2], "reactive") != 0)) {
        std::fprintf(stderr, "usage: %s REF_FILE blocking|reactive\n", argv[0]);
        return 2;
    }
    try {
        const std::string model = argv[2];
        const std::string option = "-ORB" + model;
        char program[] = "stava-bench-orb";
        char* orbArgv[] = {program, const_cast<char*>(option.c_str()), nullptr};
        int orbArgc = 2;
        CORBA_ORB_var orb(CORBA_ORB_init(orbArgc, orbArgv, ""));

        const std::string ref = readRefFile(argv[1]);
        CORBA_Object_var obj(orb->string_to_object(ref.c_str()));
        StavaController_var controller(StavaController::_narrow(obj.in()));
        if (!controller.in()) {
            std::fprintf(stderr, "the reference is not a StavaController\n");
            return 1;
        }
        controller->resetApp();
        const CallFigures f = measureCalls([&] { controller->addNode(1.5, -2.0); });
        controller->resetApp();
        printCallFigures(("ours-" + model).c_str(), f);
        return 0;
    } catch (const CORBA_Exception& e) {
        std::fprintf(stderr, "CORBA exception %s\n", e._rep_id());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    return 1;
}
