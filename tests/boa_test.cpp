// BOA_init's options and the host the object adapter publishes, with the
// host lookups replaced by scripted ones.
#include <OB/BOA.h>

#include "OrbTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// --- scripted host lookups -----------------------------------------------------

struct Script {
    int failures = 0;                 // calls that fail before one succeeds
    int error = OBErrTryAgain;        // error code of the failing calls
    const char* officialName = "";    // name of the successful entry
    int calls = 0;
};
Script script;

char address[4] = {static_cast<char>(192), static_cast<char>(168), static_cast<char>(200), 7};
char* addressList[] = {address, nullptr};
hostent entry;

const hostent* scriptedLookup(const char* name) {
    EXPECT_STREQ(name, "machine");
    ++script.calls;
    if (script.calls <= script.failures) {
        OBSetSocketError(script.error);
        return nullptr;
    }
    entry.h_name = const_cast<char*>(script.officialName);
    entry.h_aliases = nullptr;
    entry.h_addrtype = AF_INET;
    entry.h_length = 4;
    entry.h_addr_list = addressList;
    return &entry;
}

bool machineName(char* buf, CORBA_ULong size) {
    std::strncpy(buf, "machine", size);
    return true;
}

bool failingName(char*, CORBA_ULong) {
    OBSetSocketError(OBErrConnReset);
    return false;
}

// The published host and what the sink wrote.
struct Choice {
    std::string host;
    std::string messages;
};

Choice choose(bool numeric, const Script& s) {
    script = s;
    Choice c;
    c.messages = captured([&] {
        CORBA_String_var host(OBPublishedHost(numeric, machineName, scriptedLookup));
        c.host = host.in();
    });
    return c;
}

const char* const Domainless =
    "Warning: ORB::BOA_init: hostname is a domainless name\nusing dotted decimal notation instead of hostname\n";
const char* const Unresolved =
    "Warning: ORB::BOA_init: can't resolve hostname\nusing `localhost' (127.0.0.1) instead of hostname\n";

TEST(PublishedHost, OfficialNameWithADomainIsPublishedUnlessNumeric) {
    Script s;
    s.officialName = "machine.example.org";
    const Choice named = choose(false, s);
    EXPECT_EQ(named.host, "machine.example.org");
    EXPECT_EQ(named.messages, "");
    const Choice numeric = choose(true, s);
    EXPECT_EQ(numeric.host, "192.168.200.7");
    EXPECT_EQ(numeric.messages, "");
}

TEST(PublishedHost, DomainlessNameGivesTheDottedAddressWithAWarning) {
    Script s;
    s.officialName = "machine";
    const Choice c = choose(false, s);
    EXPECT_EQ(c.host, "192.168.200.7");
    EXPECT_EQ(c.messages, Domainless);
    EXPECT_EQ(script.calls, 1);
}

TEST(PublishedHost, TransientFailuresAreRetriedThreeTimes) {
    Script s;
    s.failures = 3;
    s.officialName = "m.example";
    const Choice c = choose(false, s);
    EXPECT_EQ(c.host, "m.example");
    EXPECT_EQ(script.calls, 4);

    s.failures = 4;
    const CORBA_COMM_FAILURE e = raised<CORBA_COMM_FAILURE>([&] { choose(false, s); });
    EXPECT_EQ(e.minor(), OBMinorGethostbyname);
    EXPECT_EQ(e.completed(), CORBA_COMPLETED_NO);
    EXPECT_EQ(script.calls, 4);
}

TEST(PublishedHost, NameWithoutDataFallsBackToLocalhost) {
    Script s;
    s.failures = 1;
    s.error = OBErrNoData;
    const Choice named = choose(false, s);
    EXPECT_EQ(named.host, "localhost");
    EXPECT_EQ(named.messages, Unresolved);
    EXPECT_EQ(script.calls, 1);
    const Choice numeric = choose(true, s);
    EXPECT_EQ(numeric.host, "127.0.0.1");
    EXPECT_EQ(numeric.messages, Unresolved);
}

TEST(PublishedHost, OtherLookupFailuresRaiseAtOnce) {
    Script s;
    s.failures = 1;
    s.error = OBErrHostNotFound;
    const CORBA_COMM_FAILURE e = raised<CORBA_COMM_FAILURE>([&] { choose(false, s); });
    EXPECT_EQ(e.minor(), OBMinorGethostbyname);
    EXPECT_EQ(script.calls, 1);
}

TEST(PublishedHost, FailingHostNameRaisesMinor13) {
    script = Script();
    const CORBA_COMM_FAILURE e =
        raised<CORBA_COMM_FAILURE>([] { CORBA_string_free(OBPublishedHost(false, failingName, scriptedLookup)); });
    EXPECT_EQ(e.minor(), OBMinorGethostname);
    EXPECT_EQ(e.completed(), CORBA_COMPLETED_NO);
    EXPECT_STRNE(e.reason(), "");
    EXPECT_EQ(script.calls, 0);
}

// --- BOA_init --------------------------------------------------------------------

class BOAInit : public testing::Test {
protected:
    void SetUp() override {
        ArgVector args{"prog"};
        orb = CORBA_ORB_init(args.argc, args.argv(), "");
    }
    void TearDown() override {
        orb = nullptr;
        EXPECT_TRUE(CORBA_is_nil(CORBA_BOA::_OB_instance()));
        EXPECT_TRUE(CORBA_is_nil(CORBA_ORB::_OB_instance()));
    }
    CORBA_BOA* init(ArgVector& args, const char* id = "") { return orb->BOA_init(args.argc, args.argv(), id); }
    CORBA_ORB_var orb;
};

TEST_F(BOAInit, TakesItsOptionsOutOfTheArguments) {
    ArgVector args{"prog",       "-OAhost",     "server.example", "x", "-OAport", "1024", "-OAnumeric",
                   "-OAreactive", "-ORBreactive", "-OAdisable_iiop_acceptor", "-OAid", "OB_BOA"};
    CORBA_BOA_var boa(init(args, "ignored"));
    EXPECT_EQ(args.remaining(), (std::vector<std::string>{"prog", "x", "-ORBreactive"}));
    EXPECT_EQ(CORBA_BOA::_OB_instance(), boa.in());
    const OBBOASettings& settings = boa->_OB_settings();
    EXPECT_STREQ(settings.host.in(), "server.example");
    EXPECT_EQ(settings.port, 1024);
    EXPECT_TRUE(settings.numeric);
    EXPECT_TRUE(settings.reactive);
    EXPECT_FALSE(settings.iiopAcceptor);
}

TEST_F(BOAInit, DefaultsAndUnknownOptions) {
    ArgVector args{"-OAfoo", "-OAhost", "h", "-OAreactive", "-OAblocking"};
    CORBA_BOA_var boa;
    const std::string out = captured([&] { boa = init(args, "OB_BOA"); });
    EXPECT_EQ(out, "Warning: ORB::BOA_init: unknown option: -OAfoo\n");
    EXPECT_EQ(args.argc, 0);
    const OBBOASettings& settings = boa->_OB_settings();
    EXPECT_EQ(settings.port, 0);
    EXPECT_FALSE(settings.numeric);
    EXPECT_FALSE(settings.reactive);
    EXPECT_TRUE(settings.iiopAcceptor);
}

TEST_F(BOAInit, PortMustLieBetween1024And65535) {
    for (const char* port : {"1023", "65536", "0", "-1", "http", "99999999999999999999"}) {
        ArgVector args{"prog", "-OAhost", "h", "-OAport", port};
        const std::string out = captured([&] {
            const CORBA_INITIALIZE e = raised<CORBA_INITIALIZE>([&] { init(args); });
            EXPECT_EQ(e.minor(), 0u);
            EXPECT_EQ(e.completed(), CORBA_COMPLETED_NO);
        });
        EXPECT_EQ(out, "Error: ORB::BOA_init: port must be between 1024 and 65535\n") << port;
        EXPECT_TRUE(CORBA_is_nil(CORBA_BOA::_OB_instance()));
    }
    ArgVector args{"prog", "-OAhost", "h", "-OAport", "65535"};
    CORBA_BOA_var boa(init(args));
    EXPECT_EQ(boa->_OB_settings().port, 65535);
}

TEST_F(BOAInit, MissingValuesAndUnknownIdentifiersFail) {
    const struct {
        std::vector<std::string> args;
        const char* id;
        const char* error;
    } cases[] = {
        {{"prog", "-OAid"}, "", "ORB::BOA_init: argument expected for -OAid"},
        {{"prog", "-OAhost"}, "", "ORB::BOA_init: argument expected for -OAhost"},
        {{"prog", "-OAhost", "h", "-OAport"}, "", "ORB::BOA_init: argument expected for -OAport"},
        {{"prog", "-OAhost", "h"}, "mine", "ORB::BOA_init: unknown BOA `mine'"},
        {{"prog", "-OAhost", "h", "-OAid", "ob_boa"}, "OB_BOA", "ORB::BOA_init: unknown BOA `ob_boa'"},
    };
    for (const auto& c : cases) {
        ArgVector args(c.args);
        const std::string out = captured([&] { EXPECT_THROW(init(args, c.id), CORBA_INITIALIZE); });
        EXPECT_EQ(out, std::string("Error: ") + c.error + "\n");
        EXPECT_TRUE(CORBA_is_nil(CORBA_BOA::_OB_instance()));
    }
}

TEST_F(BOAInit, SecondCallReturnsTheSameAdapterWithAWarning) {
    ArgVector first{"prog", "-OAhost", "h"};
    CORBA_BOA_var boa(init(first));
    ArgVector second{"prog", "-OAport", "1"};
    CORBA_BOA_var again;
    const std::string out = captured([&] { again = init(second, "unchecked"); });
    EXPECT_EQ(out, "Warning: ORB::BOA_init: BOA already initialized\n");
    EXPECT_EQ(again.in(), boa.in());
    EXPECT_EQ(boa->_OB_getRef(), 2);
    EXPECT_EQ(second.argc, 3);
}

TEST_F(BOAInit, LocalObjectsCannotBeStringifiedThroughThisAdapter) {
    ArgVector args{"prog", "-OAhost", "h"};
    CORBA_BOA_var boa(init(args));
    CORBA_Object_var local(new OB_ConnectionReusePolicy(true));
    const CORBA_NO_IMPLEMENT e = raised<CORBA_NO_IMPLEMENT>([&] { orb->object_to_string(local.in()); });
    EXPECT_EQ(e.minor(), 0u);
    EXPECT_EQ(e.completed(), CORBA_COMPLETED_NO);
    CORBA_String_var nil(orb->object_to_string(nullptr));
    EXPECT_STREQ(nil.in(), "IOR:01000000010000000000000000000000");
}

}  // namespace
