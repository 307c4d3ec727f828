// stava-pauseclient: our ORB and the StavaController stub, in the
// concurrency model given, call the application, pause until it has closed
// the idle connection, and call again. For the Wine fault tests, which need
// the reactive model too, while the bridge always runs the blocking one.
//
// usage: stava-pauseclient REF-FILE blocking|reactive X SECONDS
//
// Reads the reference (the file's first word), calls addNode(X, 0), waits
// SECONDS seconds and then until the connection has something to read (the
// application's CloseConnection or its end), at most 60 s more, and calls
// addNode(X, 1). Prints one line per step:
//   first=N err=0 | first err=REPOSITORY-ID minor=M completed=C
//   closed=1 | closed=0     (whether the connection was closed meanwhile)
//   second=N err=0 | second err=...
//   DONE
// Exit status 0 once it has run to its end, 2 for a bad command line, 1
// when the reference cannot be used.
#include "StavaController.h"

#include <OB/Client.h>
#include <OB/Net.h>
#include <OB/ORB.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

namespace {

const char Usage[] = "usage: stava-pauseclient REF-FILE blocking|reactive X SECONDS\n";

// The first word of path, or the empty string.
std::string firstWord(const char* path) {
    std::ifstream in(path);
    std::string word;
    in >> word;
    return word;
}

// Calls addNode(x, z) and prints its result or its exception as `name`.
void call(StavaController* c, const char* name, CORBA_Double x, CORBA_Double z) {
    try {
        const CORBA_Long node = c->addNode(x, z);
        std::cout << name << "=" << node << " err=0" << std::endl;
    } catch (const CORBA_SystemException& e) {
        std::cout << name << " err=" << e._rep_id() << " minor=" << e.minor() << " completed="
                  << e.completed() << std::endl;
    }
}

// Waits until the socket of c's connection is readable, at most seconds.
bool closedWithin(StavaController* c, CORBA_Long seconds) {
    OBObjVar<OCI_Transport> transport = c->client->transport();
    OBSocketSet read;
    read.add(transport->handle());
    OBTimeVal limit = {seconds, 0};
    return OBSocketSelect(transport->handle() + 1, &read, nullptr, &limit) == 1;
}

int run(const char* refFile, const char* model, CORBA_Double x, int pause) {
    char name[] = "stava-pauseclient";
    std::string option = std::string("-ORB") + model;
    char* argv[] = {name, &option[0], nullptr};
    int argc = 2;
    CORBA_ORB_var orb(CORBA_ORB_init(argc, argv, ""));
    const std::string reference = firstWord(refFile);
    CORBA_Object_var obj(orb->string_to_object(reference.c_str()));
    StavaController_var c(StavaController::_narrow(obj.in()));
    if (CORBA_is_nil(c.in())) {
        std::cerr << "stava-pauseclient: " << refFile << " holds no StavaController reference\n";
        return 1;
    }
    call(c.in(), "first", x, 0);
    std::this_thread::sleep_for(std::chrono::seconds(pause));
    std::cout << "closed=" << closedWithin(c.in(), 60) << std::endl;
    call(c.in(), "second", x, 1);
    std::cout << "DONE" << std::endl;
    return 0;
}

// The pause in seconds, from 0 to 600, or -1 when text is not one.
long pauseSeconds(const char* text) {
    char* end = nullptr;
    const long seconds = std::strtol(text, &end, 10);
    return *text >= '0' && *text <= '9' && *end == '\0' && seconds <= 600 ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string model = argc == 5 ? argv[2] : "";
    const long pause = argc == 5 ? pauseSeconds(argv[4]) : -1;
    if ((model != "blocking" && model != "reactive") || pause < 0) {
        std::cerr << Usage;
        return 2;
    }
    try {
        return run(argv[1], model.c_str(), std::atof(argv[3]), static_cast<int>(pause));
    } catch (const CORBA_SystemException& e) {
        std::cerr << "stava-pauseclient: " << e._rep_id() << " minor " << e.minor() << "\n";
    }
    return 1;
}
