// ORB_init: the "-ORB" options, the ORB identifier, the initial services from
// the command line and the configuration file, and the concurrency model.
#include <OB/ORB.h>

#include <OB/GIOPClient.h>
#include <OB/ORBConfig.h>

#include <cstring>
#include <string>

namespace {

// What the "-ORB" options asked for.
struct ORBOptions {
    std::string id;
    OBConfigEntries services;  // command-line initial services, in order
    bool configGiven = false;
    std::string configFile;    // when given; "" names a file that cannot be read
    bool modelGiven = false;
    OBConcurrencyModelKind model = OBBlockingModel;
};

bool is(const char* arg, const char* option) { return std::strcmp(arg, option) == 0; }

// Writes the error line, then raises CORBA_INITIALIZE.
[[noreturn]] void fail(const std::string& message) {
    OBMessageViewer::instance()->error(message.c_str());
    throw CORBA_INITIALIZE(message.c_str(), 0, CORBA_COMPLETED_NO);
}

// Requires count values after the option at argv[i].
void requireValues(int argc, int i, int count, const char* message) {
    if (i + count >= argc)
        fail(message);
}

// Interprets the option at argv[i] (which begins with "-ORB") and returns
// the number of arguments it takes, itself included.
int scanOption(int argc, char** argv, int i, ORBOptions& options) {
    const char* arg = argv[i];
    if (is(arg, "-ORBid")) {
        requireValues(argc, i, 1, "ORB_init: argument expected for -ORBid");
        options.id = argv[i + 1];
        return 2;
    }
    if (is(arg, "-ORBservice")) {
        requireValues(argc, i, 2, "ORB_init: arguments expected for -ORBservice");
        options.services.emplace_back(argv[i + 1], argv[i + 2]);
        return 3;
    }
    if (is(arg, "-ORBnaming")) {
        requireValues(argc, i, 1, "ORB_init: argument expected for -ORBnaming");
        options.services.emplace_back("NameService", argv[i + 1]);
        return 2;
    }
    if (is(arg, "-ORBrepository")) {
        requireValues(argc, i, 1, "ORB_init: argument expected for -ORBrepository");
        options.services.emplace_back("InterfaceRepository", argv[i + 1]);
        return 2;
    }
    if (is(arg, "-ORBconfig")) {
        requireValues(argc, i, 1, "ORB_init: argument expected for -ORBconfig");
        options.configGiven = true;
        options.configFile = argv[i + 1];
        return 2;
    }
    if (is(arg, "-ORBblocking") || is(arg, "-ORBreactive")) {
        options.modelGiven = true;
        options.model = is(arg, "-ORBreactive") ? OBReactiveModel : OBBlockingModel;
        return 1;
    }
    if (is(arg, "-ORBversion")) {
        OBMessageViewer::instance()->message("3.0b1");
        return 1;
    }
    const std::string warning = std::string("ORB_init: unknown option: ") + arg;
    OBMessageViewer::instance()->warning(warning.c_str());
    return 1;
}

// Scans every argument, the program name included, removing the options.
ORBOptions scanOptions(int& argc, char** argv, const char* orb_identifier) {
    ORBOptions options;
    options.id = orb_identifier;
    for (int i = 0; i < argc;) {
        if (std::strncmp(argv[i], "-ORB", 4) == 0)
            OBRemoveArgs(argc, argv, i, scanOption(argc, argv, i, options));
        else
            ++i;
    }
    return options;
}

void addServices(CORBA_ORB* orb, const OBConfigEntries& services) {
    for (const auto& service : services)
        orb->_OB_addInitialService(service.first.c_str(), service.second.c_str());
}

void readConfigFile(CORBA_ORB* orb, const std::string& fileName) {
    OBConfigEntries entries;
    if (!OBReadConfigFile(fileName.c_str(), entries)) {
        const std::string warning = "ORB_init: configuration file `" + fileName + "' not found";
        OBMessageViewer::instance()->warning(warning.c_str());
        return;
    }
    addServices(orb, entries);
}

}  // namespace

void OBRemoveArgs(int& argc, char** argv, int first, int count) {
    OB_ASSERT(first >= 0 && count >= 0 && first + count <= argc);
    for (int i = first; i + count < argc; ++i)
        argv[i] = argv[i + count];
    // The slots given up end the vector as argv[argc] ends a program's.
    for (int i = argc - count; i < argc; ++i)
        argv[i] = nullptr;
    argc -= count;
}

CORBA_ORB* CORBA_ORB_init(int& argc, char** argv, const char* orb_identifier) {
    OB_CHECK_COMPLIANT(orb_identifier, OBNCNullString);
    if (CORBA_ORB* existing = CORBA_ORB::_OB_instance()) {
        OBMessageViewer::instance()->warning("ORB_init: ORB already initialized");
        return OBDuplicate(existing);
    }
    const ORBOptions options = scanOptions(argc, argv, orb_identifier);
    if (!options.id.empty() && options.id != "OB_ORB")
        fail("ORB_init: unknown ORB `" + options.id + "'");

    // Released (and so destroyed) if an initial service cannot be added.
    CORBA_ORB_var orb(new CORBA_ORB);
    OBInitIIOP(orb->_OB_conFactoryRegistry());
    addServices(orb.in(), options.services);
    if (options.configGiven)
        readConfigFile(orb.in(), options.configFile);
    if (options.modelGiven)
        OBConcurrencyModel = options.model;
    return orb._retn();
}
