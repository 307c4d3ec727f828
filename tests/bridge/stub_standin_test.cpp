// Our ORB and the StavaController stub against the real application
// stand-in (omniORB) over loopback: every operation end to end, both kinds
// of reference, errors from the application, recovery after it restarts,
// and connections that it closes while they are idle.
#include "../standin/StandinProcess.h"
#include "StavaController.h"

#include <OB/GIOPClient.h>
#include <OB/ORB.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

using standin_test::StandinProcess;
using standin_test::TempDir;
using standin_test::readLines;

namespace {

class StubStandinTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        char name[] = "t";
        char* argv[] = {name, nullptr};
        int argc = 1;
        orb_ = CORBA_ORB_init(argc, argv, "");
    }

    std::vector<std::string> args(const std::string& port = "0", const std::string& ref = "ref") const {
        return {"--ref", dir_.file(ref), "--calls", dir_.file("calls"), "--giop", GetParam(),
                "--port", port, "--max-seconds", "60"};
    }

    StavaController* connect(const std::string& ref) {
        CORBA_Object_var obj(orb_->string_to_object(ref.c_str()));
        return StavaController::_narrow(obj.in());
    }

    TempDir dir_;
    CORBA_ORB_var orb_;
};

TEST_P(StubStandinTest, EveryOperationArrivesAsSent) {
    StandinProcess app(args());
    StavaController_var c(connect(app.waitForRef(dir_.file("ref"))));
    ASSERT_NE(nullptr, c.in());
    EXPECT_FALSE(c->_non_existent());
    EXPECT_TRUE(c->_is_a("IDL:StavaController:1.0"));

    c->resetApp();
    c->lock();
    const CORBA_Long n1 = c->addNode(1.5, -2.0);
    const CORBA_Long n2 = c->addNode(0, 3.25);
    const CORBA_Long b = c->addEBBeam(n1, n2);
    const CORBA_Long t = c->addTruss(n2, n1);
    c->setConstraints(n1, true, false, true);
    c->setForces(n2, 10, -20.5, 0.125);
    c->setNodeLabel(n1, "A\xfc");
    c->setBeamLabel(b, "");
    c->setEBBeamHinges(b, true, false, false, false, true, true);
    c->setEBBeamLoads(b, 1, 2, 3, 4);
    c->setEBBeamSectionalVals(b, 21000, 100);
    c->setTrussSectionalVals(t, 7.5);
    c->unlock();

    const std::vector<std::string> expected{
        "resetApp",
        "lock",
        "addNode 1.5 -2 -> 1",
        "addNode 0 3.25 -> 2",
        "addEBBeam 1 2 -> 1",
        "addTruss 2 1 -> 2",
        "setConstraints 1 true false true",
        "setForces 2 10 -20.5 0.125",
        "setNodeLabel 1 \"A\\xfc\"",
        "setBeamLabel 1 \"\"",
        "setEBBeamHinges 1 true false false false true true",
        "setEBBeamLoads 1 1 2 3 4",
        "setEBBeamSectionalVals 1 21000 100",
        "setTrussSectionalVals 2 7.5",
        "unlock"};
    EXPECT_EQ(expected, readLines(dir_.file("calls")));
}

TEST_P(StubStandinTest, ApplicationErrorsAndRestartsReachTheCaller) {
    std::string ref;
    {
        StandinProcess app(args());
        ref = app.waitForRef(dir_.file("ref"));
    }
    // The reference names the port the first run had; the second run takes it again.
    StavaController_var c(connect(ref));
    ASSERT_NE(nullptr, c.in());
    EXPECT_THROW(c->addNode(0, 0), CORBA_COMM_FAILURE);

    IIOP_ProfileBody body;
    OBDecodeIIOPProfile(c->ior.profiles[0], body);
    StandinProcess app(args(std::to_string(body.port), "ref2"));
    app.waitForRef(dir_.file("ref2"));
    try {
        EXPECT_EQ(1, c->addNode(0, 0));
    } catch (const CORBA_SystemException& e) {
        CORBA_String_var text(OBExceptionText(e));
        FAIL() << text.in();
    }
    try {
        c->addEBBeam(1, 99);
        FAIL() << "no exception";
    } catch (const CORBA_BAD_PARAM& e) {
        EXPECT_EQ(CORBA_COMPLETED_NO, e.completed());
    }
    // The connection survives an exception reply.
    EXPECT_EQ(2, c->addNode(1, 1));
}

INSTANTIATE_TEST_SUITE_P(Giop, StubStandinTest, ::testing::Values("1.0", "1.2"));

// True once the socket of obj's connection has something to read (a
// CloseConnection or its end), waiting at most 30 s.
bool closedByTheServer(CORBA_Object* obj) {
    OBObjVar<OCI_Transport> transport = obj->client->transport();
    OBSocketSet read;
    read.add(transport->handle());
    OBTimeVal limit = {30, 0};
    return OBSocketSelect(transport->handle() + 1, &read, nullptr, &limit) == 1;
}

class StubIdleTest : public ::testing::TestWithParam<OBConcurrencyModelKind> {
protected:
    void SetUp() override {
        char name[] = "t";
        char* argv[] = {name, nullptr};
        int argc = 1;
        orb_ = CORBA_ORB_init(argc, argv, "");
        OBConcurrencyModel = GetParam();
    }
    void TearDown() override { OBConcurrencyModel = OBBlockingModel; }

    TempDir dir_;
    CORBA_ORB_var orb_;
};

// The application closes a connection that has been idle for a while; the
// call after a longer pause must not notice.
TEST_P(StubIdleTest, ACallAfterTheApplicationClosedTheIdleConnectionSucceeds) {
    StandinProcess app({"--ref", dir_.file("ref"), "--calls", dir_.file("calls"), "--giop", "1.0",
                        "--idle-scan", "1", "--max-seconds", "120"});
    CORBA_Object_var obj(orb_->string_to_object(app.waitForRef(dir_.file("ref")).c_str()));
    StavaController_var c(StavaController::_narrow(obj.in()));
    ASSERT_NE(nullptr, c.in());
    EXPECT_EQ(1, c->addNode(1, 0));
    std::this_thread::sleep_for(std::chrono::seconds(8));
    ASSERT_TRUE(closedByTheServer(c.in()));
    try {
        EXPECT_EQ(2, c->addNode(2, 0));
    } catch (const CORBA_SystemException& e) {
        CORBA_String_var text(OBExceptionText(e));
        ADD_FAILURE() << text.in();
    }
    const std::vector<std::string> once{"addNode 1 0 -> 1", "addNode 2 0 -> 2"};
    EXPECT_EQ(once, readLines(dir_.file("calls")));
}

INSTANTIATE_TEST_SUITE_P(Models, StubIdleTest, ::testing::Values(OBBlockingModel, OBReactiveModel),
                         [](const ::testing::TestParamInfo<OBConcurrencyModelKind>& info) {
                             return info.param == OBReactiveModel ? "Reactive" : "Blocking";
                         });

}  // namespace
