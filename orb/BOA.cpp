// BOA_init and the host the object adapter publishes.
#include <OB/BOA.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

CORBA_BOA* boa_ = nullptr;  // the process's adapter, not counted

bool is(const char* arg, const char* option) { return std::strcmp(arg, option) == 0; }

// Writes the error line, then raises CORBA_INITIALIZE.
[[noreturn]] void fail(const std::string& message) {
    OBMessageViewer::instance()->error(message.c_str());
    throw CORBA_INITIALIZE(message.c_str(), 0, CORBA_COMPLETED_NO);
}

void requireValue(int argc, int i, const char* message) {
    if (i + 1 >= argc)
        fail(message);
}

// The port text as a number in 1024..65535.
CORBA_UShort parsePort(const char* text) {
    char* end = nullptr;
    errno = 0;
    const long port = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno == ERANGE || port < 1024 || port > 65535)
        fail("ORB::BOA_init: port must be between 1024 and 65535");
    return static_cast<CORBA_UShort>(port);
}

struct BOAOptions {
    std::string id;
    bool hostGiven = false;
    OBBOASettings settings;
};

// Interprets the option at argv[i] (which begins with "-OA") and returns the
// number of arguments it takes, itself included.
int scanOption(int argc, char** argv, int i, BOAOptions& options) {
    const char* arg = argv[i];
    if (is(arg, "-OAid")) {
        requireValue(argc, i, "ORB::BOA_init: argument expected for -OAid");
        options.id = argv[i + 1];
        return 2;
    }
    if (is(arg, "-OAhost")) {
        requireValue(argc, i, "ORB::BOA_init: argument expected for -OAhost");
        options.settings.host = static_cast<const char*>(argv[i + 1]);  // a copy
        options.hostGiven = true;
        return 2;
    }
    if (is(arg, "-OAport")) {
        requireValue(argc, i, "ORB::BOA_init: argument expected for -OAport");
        options.settings.port = parsePort(argv[i + 1]);
        return 2;
    }
    if (is(arg, "-OAnumeric"))
        options.settings.numeric = true;
    else if (is(arg, "-OAdisable_iiop_acceptor"))
        options.settings.iiopAcceptor = false;
    else if (is(arg, "-OAblocking") || is(arg, "-OAreactive"))
        options.settings.reactive = is(arg, "-OAreactive");
    else
        OBMessageViewer::instance()->warning((std::string("ORB::BOA_init: unknown option: ") + arg).c_str());
    return 1;
}

// Dotted notation of the first address of entry.
std::string dotted(const hostent& entry) {
    OB_ASSERT(entry.h_length == 4 && entry.h_addr_list && entry.h_addr_list[0]);
    const unsigned char* a = reinterpret_cast<const unsigned char*>(entry.h_addr_list[0]);
    return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
           std::to_string(a[3]);
}

}  // namespace

char* OBPublishedHost(bool numeric, bool (*getName)(char*, CORBA_ULong), OBHostLookup lookup) {
    char name[256] = {};
    if (!getName(name, sizeof name - 1))
        throw CORBA_COMM_FAILURE(socket_error_text(), OBMinorGethostname, CORBA_COMPLETED_NO);
    const hostent* entry = OBLookupHost(name, lookup);
    if (!entry) {
        if (OBGetSocketError() != OBErrNoData)
            throw CORBA_COMM_FAILURE(socket_error_text(), OBMinorGethostbyname, CORBA_COMPLETED_NO);
        OBMessageViewer::instance()->warning(
            "ORB::BOA_init: can't resolve hostname\nusing `localhost' (127.0.0.1) instead of hostname");
        return CORBA_string_dup(numeric ? "127.0.0.1" : "localhost");
    }
    if (!numeric && entry->h_name && std::strchr(entry->h_name, '.'))
        return CORBA_string_dup(entry->h_name);
    if (!numeric)
        OBMessageViewer::instance()->warning(
            "ORB::BOA_init: hostname is a domainless name\nusing dotted decimal notation instead of hostname");
    return CORBA_string_dup(dotted(*entry).c_str());
}

CORBA_BOA* CORBA_ORB::BOA_init(int& argc, char** argv, const char* boa_identifier) {
    OB_CHECK_COMPLIANT(boa_identifier, OBNCNullString);
    if (!CORBA_is_nil(boa_)) {
        OBMessageViewer::instance()->warning("ORB::BOA_init: BOA already initialized");
        return OBDuplicate(boa_);
    }
    BOAOptions options;
    options.id = boa_identifier;
    for (int i = 0; i < argc;) {
        if (std::strncmp(argv[i], "-OA", 3) == 0)
            OBRemoveArgs(argc, argv, i, scanOption(argc, argv, i, options));
        else
            ++i;
    }
    if (!options.id.empty() && options.id != "OB_BOA")
        fail("ORB::BOA_init: unknown BOA `" + options.id + "'");
    if (!options.hostGiven)
        options.settings.host = OBPublishedHost(options.settings.numeric);
    return new CORBA_BOA(options.settings);
}

CORBA_BOA::CORBA_BOA(const OBBOASettings& settings) : settings_(settings) {
    OB_ASSERT(CORBA_is_nil(boa_));
    boa_ = this;
}

CORBA_BOA::~CORBA_BOA() { boa_ = nullptr; }

CORBA_BOA* CORBA_BOA::_OB_instance() { return boa_; }

void CORBA_BOA::_OB_export(CORBA_Object*) {
    throw CORBA_NO_IMPLEMENT("object adapter serves no objects", 0, CORBA_COMPLETED_NO);
}
