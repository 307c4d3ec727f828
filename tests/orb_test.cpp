// ORB_init's options, the ORB's life, initial services and stringified
// references. Every test releases its ORB, so the next one starts afresh.
#include <OB/GIOPClient.h>
#include <OB/OCICurrent.h>
#include <OB/ORB.h>
#include <OB/PolicyManager.h>

#include "OrbTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const char* const NilIOR = "IOR:01000000010000000000000000000000";

// Port of the first IIOP profile of obj.
CORBA_UShort portOf(CORBA_Object* obj) {
    IIOP_ProfileBody body;
    OBDecodeIIOPProfile(obj->ior.profiles[0], body);
    return body.port;
}

std::vector<std::string> serviceNames(CORBA_ORB* orb) {
    std::unique_ptr<CORBA_ORB_ObjectIdList> names(orb->list_initial_services());
    std::vector<std::string> result;
    for (CORBA_ULong i = 0; i < names->length(); ++i)
        result.push_back((*names)[i].in());
    return result;
}

CORBA_ORB* init(ArgVector& args, const char* id = "") { return CORBA_ORB_init(args.argc, args.argv(), id); }

// Every test leaves the process without ORB and with the default model.
class ORBInit : public testing::Test {
protected:
    void TearDown() override {
        EXPECT_TRUE(CORBA_is_nil(CORBA_ORB::_OB_instance()));
        OBConcurrencyModel = OBBlockingModel;
    }
};

TEST_F(ORBInit, RemovesRecognisedOptionsAndWarnsAboutUnknownOnes) {
    ArgVector args{"prog", "-ORBreactive", "file", "-ORBfoo"};
    CORBA_ORB_var orb;
    const std::string out = captured([&] { orb = init(args); });
    EXPECT_EQ(out, "Warning: ORB_init: unknown option: -ORBfoo\n");
    EXPECT_EQ(args.remaining(), (std::vector<std::string>{"prog", "file"}));
    EXPECT_EQ(OBConcurrencyModel, OBReactiveModel);
    EXPECT_EQ(orb->_OB_getRef(), 1);
}

TEST_F(ORBInit, ScansTheProgramNameAndRemovesOptionValues) {
    ArgVector args{"-ORBversion", "a", "-ORBid", "OB_ORB", "-ORBservice", "S", NilIOR, "b", "-ORBconfig"};
    // -ORBconfig lacks its value: everything before it was removed already.
    const std::string out = captured([&] {
        const CORBA_INITIALIZE e = raised<CORBA_INITIALIZE>([&] { init(args); });
        EXPECT_EQ(e.minor(), 0u);
        EXPECT_EQ(e.completed(), CORBA_COMPLETED_NO);
    });
    EXPECT_EQ(out, "3.0b1\nError: ORB_init: argument expected for -ORBconfig\n");
    EXPECT_EQ(args.remaining(), (std::vector<std::string>{"a", "b", "-ORBconfig"}));
}

TEST_F(ORBInit, ArgumentVectorStaysNullTerminatedAfterRemovals) {
    ArgVector args{"prog", "-ORBreactive", "file", "-ORBid", "OB_ORB", "-ORBblocking"};
    CORBA_ORB_var orb(init(args));
    ASSERT_EQ(args.remaining(), (std::vector<std::string>{"prog", "file"}));
    EXPECT_EQ(args.argv()[args.argc], nullptr);
}

TEST(RemoveArgs, MovesLaterArgumentsDownAndEndsTheVectorWithNull) {
    ArgVector args{"a", "b", "c", "d", "e"};
    OBRemoveArgs(args.argc, args.argv(), 1, 2);
    EXPECT_EQ(args.remaining(), (std::vector<std::string>{"a", "d", "e"}));
    EXPECT_EQ(args.argv()[3], nullptr);
    OBRemoveArgs(args.argc, args.argv(), 2, 1);
    EXPECT_EQ(args.remaining(), (std::vector<std::string>{"a", "d"}));
    EXPECT_EQ(args.argv()[2], nullptr);
}

TEST_F(ORBInit, OptionNamesAreCaseSensitive) {
    ArgVector args{"prog", "-orbversion", "-ORBVersion", "-ORBversion"};
    CORBA_ORB_var orb;
    const std::string out = captured([&] { orb = init(args); });
    EXPECT_EQ(out, "Warning: ORB_init: unknown option: -ORBVersion\n3.0b1\n");
    EXPECT_EQ(args.remaining(), (std::vector<std::string>{"prog", "-orbversion"}));
}

TEST_F(ORBInit, MissingOptionValuesFailWithTheirErrorLine) {
    const struct {
        std::vector<std::string> options;
        const char* error;
    } cases[] = {
        {{"-ORBid"}, "argument expected for -ORBid"},
        {{"-ORBservice"}, "arguments expected for -ORBservice"},
        {{"-ORBservice", "NameService"}, "arguments expected for -ORBservice"},
        {{"-ORBnaming"}, "argument expected for -ORBnaming"},
        {{"-ORBrepository"}, "argument expected for -ORBrepository"},
        {{"-ORBconfig"}, "argument expected for -ORBconfig"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> all{"prog"};
        all.insert(all.end(), c.options.begin(), c.options.end());
        ArgVector full(all);
        const std::string out = captured([&] {
            const CORBA_INITIALIZE e = raised<CORBA_INITIALIZE>([&] { init(full); });
            EXPECT_EQ(e.minor(), 0u);
            EXPECT_EQ(e.completed(), CORBA_COMPLETED_NO);
        });
        EXPECT_EQ(out, std::string("Error: ORB_init: ") + c.error + "\n");
        EXPECT_TRUE(CORBA_is_nil(CORBA_ORB::_OB_instance()));
    }
}

TEST_F(ORBInit, AcceptsOnlyTheEmptyAndTheOwnORBIdentifier) {
    for (const char* id : {"", "OB_ORB"}) {
        ArgVector args{"prog"};
        CORBA_ORB_var orb(init(args, id));
        EXPECT_FALSE(CORBA_is_nil(orb.in())) << id;
    }
    for (const char* id : {"other", "ob_orb", "OB_ORB "}) {
        ArgVector args{"prog"};
        const std::string out = captured([&] { EXPECT_THROW(init(args, id), CORBA_INITIALIZE); });
        EXPECT_EQ(out, std::string("Error: ORB_init: unknown ORB `") + id + "'\n");
        EXPECT_TRUE(CORBA_is_nil(CORBA_ORB::_OB_instance()));
    }
}

TEST_F(ORBInit, IdOptionReplacesTheIdentifierPassedIn) {
    {
        ArgVector args{"prog", "-ORBid", "OB_ORB"};
        CORBA_ORB_var orb(init(args, "unknown"));
        EXPECT_FALSE(CORBA_is_nil(orb.in()));
    }
    ArgVector args{"prog", "-ORBid", "mine"};
    const std::string out = captured([&] { EXPECT_THROW(init(args, "OB_ORB"), CORBA_INITIALIZE); });
    EXPECT_EQ(out, "Error: ORB_init: unknown ORB `mine'\n");
}

TEST_F(ORBInit, SecondCallReturnsTheSameORBWithAWarningAndLeavesTheArguments) {
    ArgVector first{"prog"};
    CORBA_ORB_var orb(init(first));
    ArgVector second{"prog", "-ORBfoo", "-ORBreactive"};
    CORBA_ORB_var again;
    const std::string out = captured([&] { again = init(second, "not checked"); });
    EXPECT_EQ(out, "Warning: ORB_init: ORB already initialized\n");
    EXPECT_EQ(again.in(), orb.in());
    EXPECT_EQ(orb->_OB_getRef(), 2);
    EXPECT_EQ(second.argc, 3);
    EXPECT_EQ(OBConcurrencyModel, OBBlockingModel);
}

TEST_F(ORBInit, LastConcurrencyOptionWinsAndNoneKeepsTheCurrentModel) {
    {
        ArgVector args{"prog", "-ORBreactive", "-ORBblocking"};
        CORBA_ORB_var orb(init(args));
        EXPECT_EQ(OBConcurrencyModel, OBBlockingModel);
    }
    OBConcurrencyModel = OBReactiveModel;
    ArgVector args{"prog"};
    CORBA_ORB_var orb(init(args));
    EXPECT_EQ(OBConcurrencyModel, OBReactiveModel);
}

TEST_F(ORBInit, MalformedServiceReferenceLeavesNoORBBehind) {
    ArgVector args{"prog", "-ORBnaming", "IOR:0", "-ORBreactive"};
    EXPECT_THROW(init(args), CORBA_INV_OBJREF);
    EXPECT_TRUE(CORBA_is_nil(CORBA_ORB::_OB_instance()));
    EXPECT_EQ(OBConcurrencyModel, OBBlockingModel);

    ArgVector later{"prog"};
    CORBA_ORB_var orb(init(later));
    EXPECT_EQ(serviceNames(orb.in()), (std::vector<std::string>{"ORBPolicyManager", "OCICurrent"}));
}

TEST_F(ORBInit, ListsInitialServicesInRegistrationOrder) {
    ArgVector args{"prog",        "-ORBrepository",         "iiop://127.0.0.1:3/r", "-ORBservice", "Trader",
                   "iiop://127.0.0.1:4/t", "-ORBnaming", "iiop://127.0.0.1:5/n"};
    CORBA_ORB_var orb(init(args));
    EXPECT_EQ(serviceNames(orb.in()), (std::vector<std::string>{"ORBPolicyManager", "OCICurrent",
                                                                 "InterfaceRepository", "Trader", "NameService"}));
    CORBA_Object_var trader(orb->resolve_initial_references("Trader"));
    EXPECT_EQ(portOf(trader.in()), 4);
    CORBA_Object_var naming(orb->resolve_initial_references("NameService"));
    EXPECT_EQ(portOf(naming.in()), 5);
}

TEST_F(ORBInit, LaterServiceOverridesEarlierOneWithOneWarning) {
    ArgVector args{"prog", "-ORBservice", "NameService", "iiop://127.0.0.1:6/a", "-ORBnaming",
                   "iiop://127.0.0.1:7/b"};
    CORBA_ORB_var orb;
    const std::string out = captured([&] { orb = init(args); });
    EXPECT_EQ(out, "Warning: ORB_init: initial service `NameService' was overridden\n");
    CORBA_Object_var naming(orb->resolve_initial_references("NameService"));
    EXPECT_EQ(portOf(naming.in()), 7);
    EXPECT_EQ(serviceNames(orb.in()).size(), 3u);
}

TEST_F(ORBInit, CommandLineServiceOverridesABuiltInOne) {
    ArgVector args{"prog", "-ORBservice", "OCICurrent", NilIOR};
    CORBA_ORB_var orb;
    const std::string out = captured([&] { orb = init(args); });
    EXPECT_EQ(out, "Warning: ORB_init: initial service `OCICurrent' was overridden\n");
    CORBA_Object_var current(orb->resolve_initial_references("OCICurrent"));
    EXPECT_TRUE(CORBA_is_nil(current.in()));
}

// --- the ORB object ------------------------------------------------------------

class ORBObject : public ORBInit {
protected:
    void SetUp() override {
        ArgVector args{"prog"};
        orb = init(args);
    }
    void TearDown() override {
        orb = nullptr;
        ORBInit::TearDown();
    }
    CORBA_ORB_var orb;
};

TEST_F(ORBObject, IsTheProcessORBUntilTheLastReferenceGoes) {
    EXPECT_EQ(CORBA_ORB::_OB_instance(), orb.in());
    CORBA_ORB_var second(OBDuplicate(orb.in()));
    orb = nullptr;
    EXPECT_EQ(CORBA_ORB::_OB_instance(), second.in());
    second = nullptr;
    EXPECT_TRUE(CORBA_is_nil(CORBA_ORB::_OB_instance()));
}

TEST_F(ORBObject, HoldsTheIIOPConnectorFactory) {
    std::unique_ptr<OCI_ConFactorySeq> factories(orb->_OB_conFactoryRegistry()->factories());
    ASSERT_EQ(factories->length(), 1u);
    EXPECT_EQ((*factories)[0]->tag(), IOP_TAG_INTERNET_IOP);
}

TEST_F(ORBObject, ResolvesBuiltInServicesAndRejectsUnknownNames) {
    CORBA_Object_var manager(orb->resolve_initial_references("ORBPolicyManager"));
    OBObjVar<CORBA_PolicyManager> narrowed(CORBA_PolicyManager::_narrow(manager.in()));
    EXPECT_FALSE(CORBA_is_nil(narrowed.in()));
    CORBA_Object_var current(orb->resolve_initial_references("OCICurrent"));
    OBObjVar<OCI_Current> ociCurrent(OCI_Current::_narrow(current.in()));
    EXPECT_FALSE(CORBA_is_nil(ociCurrent.in()));
    CORBA_Object_var again(orb->resolve_initial_references("OCICurrent"));
    EXPECT_EQ(again.in(), current.in());

    EXPECT_THROW(orb->resolve_initial_references("NameService"), CORBA_ORB_InvalidName);
    EXPECT_THROW(orb->resolve_initial_references("ocicurrent"), CORBA_ORB_InvalidName);
}

TEST_F(ORBObject, DefaultPoliciesHoldOneSharingReusePolicy) {
    const CORBA_PolicyList& policies = orb->_OB_defaultPolicies();
    ASSERT_EQ(policies.length(), 1u);
    OBObjVar<OB_ConnectionReusePolicy> reuse(OB_ConnectionReusePolicy::_narrow(policies[0].in()));
    ASSERT_FALSE(CORBA_is_nil(reuse.in()));
    EXPECT_TRUE(reuse->reuse());

    CORBA_Object_var a(orb->string_to_object("iiop://127.0.0.1:1/key"));
    CORBA_Object_var b(orb->string_to_object("iiop://127.0.0.1:1/key"));
    EXPECT_EQ(a->client.in(), b->client.in());
}

TEST_F(ORBObject, PolicyManagerChangesThePoliciesOfNewReferences) {
    CORBA_Object_var obj(orb->resolve_initial_references("ORBPolicyManager"));
    OBObjVar<CORBA_PolicyManager> manager(CORBA_PolicyManager::_narrow(obj.in()));
    CORBA_PolicyList update;
    update.length(1);
    update[0] = new OB_ConnectionReusePolicy(false);
    manager->set_policy_overrides(update, CORBA_ADD_OVERRIDE);

    CORBA_PolicyTypeSeq types;
    std::unique_ptr<CORBA_PolicyList> all(manager->get_policy_overrides(types));
    ASSERT_EQ(all->length(), 1u);
    EXPECT_EQ((*all)[0].in(), update[0].in());

    CORBA_Object_var a(orb->string_to_object("iiop://127.0.0.1:1/private"));
    CORBA_Object_var b(orb->string_to_object("iiop://127.0.0.1:1/private"));
    EXPECT_NE(a->client.in(), b->client.in());
}

TEST_F(ORBObject, PolicyManagerSetReplacesAndRejectsNilPolicies) {
    CORBA_Object_var obj(orb->resolve_initial_references("ORBPolicyManager"));
    OBObjVar<CORBA_PolicyManager> manager(CORBA_PolicyManager::_narrow(obj.in()));
    CORBA_PolicyList withNil;
    withNil.length(2);
    withNil[0] = new OB_ConnectPolicy(true);
    EXPECT_THROW(manager->set_policy_overrides(withNil, CORBA_SET_OVERRIDE), CORBA_PolicyManager_InvalidPolicies);
    EXPECT_EQ(orb->_OB_defaultPolicies().length(), 1u);

    withNil.length(1);
    manager->set_policy_overrides(withNil, CORBA_SET_OVERRIDE);
    CORBA_PolicyTypeSeq reuseOnly;
    reuseOnly.length(1);
    reuseOnly[0] = OB_ConnectionReusePolicy::PolicyType;
    std::unique_ptr<CORBA_PolicyList> found(manager->get_policy_overrides(reuseOnly));
    EXPECT_EQ(found->length(), 0u);
    EXPECT_EQ(orb->_OB_defaultPolicies().length(), 1u);
    EXPECT_EQ(orb->_OB_defaultPolicies()[0]->policy_type(), +OB_ConnectPolicy::PolicyType);
}

// --- stringified references ----------------------------------------------------

TEST_F(ORBObject, URLReferenceBindsWithoutConnecting) {
    // Nothing listens on port 1: a connection attempt would fail.
    CORBA_Object_var obj(orb->string_to_object("iiop://127.0.0.1:1/key"));
    ASSERT_FALSE(CORBA_is_nil(obj.in()));
    EXPECT_FALSE(obj->_is_local());
    EXPECT_EQ(obj->orb, orb.in());
    EXPECT_EQ(obj->timeout, -1);
    EXPECT_EQ(portOf(obj.in()), 1);
    EXPECT_EQ(obj->policies.length(), orb->_OB_defaultPolicies().length());
}

TEST_F(ORBObject, ObjectToStringRoundTrips) {
    CORBA_Object_var obj(orb->string_to_object("iiop://127.0.0.1:9999/some/key"));
    CORBA_String_var text(orb->object_to_string(obj.in()));
    EXPECT_EQ(std::string(text.in(), 4), "IOR:");
    CORBA_Object_var back(orb->string_to_object(text.in()));
    ASSERT_FALSE(CORBA_is_nil(back.in()));
    EXPECT_EQ(portOf(back.in()), 9999);
    EXPECT_EQ(back->client.in(), obj->client.in());
    CORBA_String_var again(orb->object_to_string(back.in()));
    EXPECT_STREQ(again.in(), text.in());
}

TEST_F(ORBObject, NilReferenceRoundTrips) {
    CORBA_String_var text(orb->object_to_string(nullptr));
    EXPECT_STREQ(text.in(), NilIOR);
    CORBA_Object_var back(orb->string_to_object(text.in()));
    EXPECT_TRUE(CORBA_is_nil(back.in()));
}

TEST_F(ORBObject, MalformedTextRaisesInvObjref) {
    for (const char* text : {"", "ior:00", "Iiop://127.0.0.1:1/k", "iiop://127.0.0.1:1/", "IOR:010"}) {
        const CORBA_INV_OBJREF e = raised<CORBA_INV_OBJREF>([&] { orb->string_to_object(text); });
        EXPECT_EQ(e.minor(), 0u) << text;
        EXPECT_EQ(e.completed(), CORBA_COMPLETED_NO) << text;
    }
}

TEST_F(ORBObject, LocalObjectNeedsTheObjectAdapter) {
    CORBA_Object_var local(new OCI_Current_impl);
    const CORBA_INITIALIZE e = raised<CORBA_INITIALIZE>([&] { orb->object_to_string(local.in()); });
    EXPECT_STREQ(e.reason(), "BOA not initialized");
    EXPECT_EQ(e.minor(), 0u);
    EXPECT_EQ(e.completed(), CORBA_COMPLETED_NO);
}

}  // namespace
