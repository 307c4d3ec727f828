// Proves the application stand-in with an independent client: omniORB's own
// stubs call every operation over IIOP 1.0 and 1.2 references, and the call
// log must show exactly what arrived.

#include "StandinProcess.h"
#include "StavaController.hh"

#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using standin_test::StandinProcess;
using standin_test::TempDir;
using standin_test::describeIor;
using standin_test::readLines;

namespace {

// One client ORB for the whole program; calls time out so that a hung peer
// fails the test instead of hanging it. With STANDIN_TEST_CLIENT_GIOP=1.0 the
// client sends GIOP 1.0 requests to every profile, as the bridge does.
class ClientOrb : public ::testing::Environment {
public:
  void SetUp() override
  {
    std::vector<const char*> args{"standin_test", "-ORBclientCallTimeOutPeriod", "10000"};
    if (const char* giop = std::getenv("STANDIN_TEST_CLIENT_GIOP")) {
      args.push_back("-ORBmaxGIOPVersion");
      args.push_back(giop);
    }
    int argc = static_cast<int>(args.size());
    orb = CORBA::ORB_init(argc, const_cast<char**>(args.data()));
  }
  void TearDown() override { orb->destroy(); }

  static inline CORBA::ORB_var orb;
};

[[maybe_unused]] auto* const clientOrb = ::testing::AddGlobalTestEnvironment(new ClientOrb);

StavaController_ptr narrow(const std::string& ior)
{
  CORBA::Object_var object = ClientOrb::orb->string_to_object(ior.c_str());
  return StavaController::_narrow(object);
}

// Runs call and expects BAD_PARAM with minor 0, COMPLETED_NO.
template <class Call>
void expectBadParam(const char* what, Call call)
{
  try {
    call();
    ADD_FAILURE() << what << ": no exception";
  } catch (const CORBA::BAD_PARAM& e) {
    EXPECT_EQ(e.minor(), 0u) << what;
    EXPECT_EQ(e.completed(), CORBA::COMPLETED_NO) << what;
  }
}

bool exitedCleanly(int status)
{
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A stand-in with a reference file and a call log in a temporary directory.
struct Peer {
  explicit Peer(std::vector<std::string> extra = {})
    : process([&] {
        std::vector<std::string> args{"--ref", dir.file("ref"), "--calls", dir.file("calls"),
                                      "--max-seconds", "120"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
      }()),
      ior(process.waitForRef(dir.file("ref"))),
      controller(narrow(ior))
  {
  }

  std::vector<std::string> calls() const { return readLines(dir.file("calls")); }

  TempDir dir;
  StandinProcess process;
  std::string ior;
  StavaController_var controller;
};

class StandinPeer : public ::testing::TestWithParam<const char*> {};

TEST_P(StandinPeer, PublishesAProfileOfTheChosenVersion)
{
  Peer peer({"--giop", GetParam()});
  const std::string described = describeIor(peer.ior);
  EXPECT_NE(described.find("Type ID: \"IDL:StavaController:1.0\""), std::string::npos) << described;
  EXPECT_NE(described.find(std::string("IIOP ") + GetParam() + " 127.0.0.1 "), std::string::npos)
      << described;
  EXPECT_EQ(peer.ior.rfind("IOR:", 0), 0u);
  ASSERT_FALSE(CORBA::is_nil(peer.controller));
  EXPECT_TRUE(exitedCleanly(peer.process.stop()));
}

TEST_P(StandinPeer, ServesEveryOperationAndLogsExactlyWhatArrived)
{
  Peer peer({"--giop", GetParam()});
  StavaController_ptr c = peer.controller;
  const double infinity = std::numeric_limits<double>::infinity();
  const double largest = std::numeric_limits<double>::max();

  EXPECT_EQ(c->addNode(1.5, -2.0), 1);
  EXPECT_EQ(c->addNode(0.1, 1e300), 2);
  EXPECT_EQ(c->addNode(-0.0, 3), 3);
  EXPECT_EQ(c->addEBBeam(1, 2), 1);
  EXPECT_EQ(c->addTruss(2, 3), 2);
  EXPECT_EQ(c->addEBBeam(3, 1), 3);
  c->setConstraints(3, true, false, true);
  c->setForces(1, 10.25, -1e-300, 2.5e-7);
  c->setForces(2, 1e16, 1e17, 123456.75);
  c->setNodeLabel(3, "");
  c->setNodeLabel(1, "A\xfc\"\\\n~");
  c->setBeamLabel(2, "T1");
  c->setEBBeamHinges(1, true, false, false, false, true, true);
  c->setEBBeamLoads(3, 1, -1, 0.5, infinity);
  c->setEBBeamLoads(1, -infinity, 0, 0, std::numeric_limits<double>::quiet_NaN());
  c->setEBBeamSectionalVals(1, 21000, 1e5);
  c->setTrussSectionalVals(2, largest);
  c->lock();
  c->unlock();
  c->unlock();

  const std::vector<std::string> expected{
      "addNode 1.5 -2 -> 1",
      "addNode 0.1 1e+300 -> 2",
      "addNode -0 3 -> 3",
      "addEBBeam 1 2 -> 1",
      "addTruss 2 3 -> 2",
      "addEBBeam 3 1 -> 3",
      "setConstraints 3 true false true",
      "setForces 1 10.25 -1e-300 2.5e-07",
      "setForces 2 10000000000000000 1e+17 123456.75",
      R"(setNodeLabel 3 "")",
      R"(setNodeLabel 1 "A\xfc\"\\\x0a~")",
      R"(setBeamLabel 2 "T1")",
      "setEBBeamHinges 1 true false false false true true",
      "setEBBeamLoads 3 1 -1 0.5 inf",
      "setEBBeamLoads 1 -inf 0 0 nan",
      "setEBBeamSectionalVals 1 21000 100000",
      "setTrussSectionalVals 2 1.7976931348623157e+308",
      "lock",
      "unlock",
      "unlock",
  };
  EXPECT_EQ(peer.calls(), expected);
  EXPECT_TRUE(exitedCleanly(peer.process.stop()));
}

TEST_P(StandinPeer, RejectsUnknownNodesAndElementsAndResetStartsAgain)
{
  Peer peer({"--giop", GetParam()});
  StavaController_ptr c = peer.controller;
  ASSERT_EQ(c->addNode(0, 0), 1);
  ASSERT_EQ(c->addNode(4, 0), 2);
  ASSERT_EQ(c->addEBBeam(1, 2), 1);
  ASSERT_EQ(c->addTruss(1, 2), 2);

  expectBadParam("unknown end node", [&] { c->addEBBeam(1, 99); });
  expectBadParam("node 0", [&] { c->addTruss(0, 1); });
  expectBadParam("equal end nodes", [&] { c->addEBBeam(2, 2); });
  expectBadParam("next node number", [&] { c->setConstraints(3, true, true, true); });
  expectBadParam("negative node", [&] { c->setForces(-1, 1, 2, 3); });
  expectBadParam("largest node", [&] { c->setNodeLabel(2147483647, "x"); });
  expectBadParam("unknown element", [&] { c->setBeamLabel(3, "x"); });
  expectBadParam("hinges on a truss", [&] { c->setEBBeamHinges(2, true, true, true, true, true, true); });
  expectBadParam("loads on unknown beam", [&] { c->setEBBeamLoads(99, 1, 2, 3, 4); });
  expectBadParam("beam section on a truss", [&] { c->setEBBeamSectionalVals(2, 1, 1); });
  expectBadParam("truss section on a beam", [&] { c->setTrussSectionalVals(1, 1); });
  // Rejected calls use up no numbers.
  EXPECT_EQ(c->addEBBeam(2, 1), 3);

  c->resetApp();
  expectBadParam("node after reset", [&] { c->setNodeLabel(1, "x"); });
  expectBadParam("element after reset", [&] { c->setBeamLabel(1, "x"); });
  EXPECT_EQ(c->addNode(7, 8), 1);

  const std::vector<std::string> expected{
      "addNode 0 0 -> 1",
      "addNode 4 0 -> 2",
      "addEBBeam 1 2 -> 1",
      "addTruss 1 2 -> 2",
      "addEBBeam 1 99 -> BAD_PARAM",
      "addTruss 0 1 -> BAD_PARAM",
      "addEBBeam 2 2 -> BAD_PARAM",
      "setConstraints 3 true true true -> BAD_PARAM",
      "setForces -1 1 2 3 -> BAD_PARAM",
      R"(setNodeLabel 2147483647 "x" -> BAD_PARAM)",
      R"(setBeamLabel 3 "x" -> BAD_PARAM)",
      "setEBBeamHinges 2 true true true true true true -> BAD_PARAM",
      "setEBBeamLoads 99 1 2 3 4 -> BAD_PARAM",
      "setEBBeamSectionalVals 2 1 1 -> BAD_PARAM",
      "setTrussSectionalVals 1 1 -> BAD_PARAM",
      "addEBBeam 2 1 -> 3",
      "resetApp",
      R"(setNodeLabel 1 "x" -> BAD_PARAM)",
      R"(setBeamLabel 1 "x" -> BAD_PARAM)",
      "addNode 7 8 -> 1",
  };
  EXPECT_EQ(peer.calls(), expected);
}

INSTANTIATE_TEST_SUITE_P(Giop, StandinPeer, ::testing::Values("1.0", "1.2"),
                         [](const auto& info) { return info.param[2] == '0' ? "Iiop10" : "Iiop12"; });

// A port that was free a moment ago (the kernel's choice for port 0).
unsigned freePort()
{
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  ::close(fd);
  return ok ? ntohs(address.sin_port) : 0;
}

TEST(StandinOptions, ListensOnTheGivenPort)
{
  const unsigned port = freePort();
  ASSERT_NE(port, 0u);
  Peer peer({"--port", std::to_string(port)});
  const std::string described = describeIor(peer.ior);
  EXPECT_NE(described.find("IIOP 1.2 127.0.0.1 " + std::to_string(port) + " "), std::string::npos)
      << described;
  EXPECT_EQ(peer.controller->addNode(1, 1), 1);
}

// Connects to port on loopback and reads until the server closes the
// connection or 30 s pass; what arrived, and whether the server closed it.
struct Received {
  std::string octets;
  bool closed = false;
};
Received readUntilClosed(unsigned port)
{
  Received got;
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0)
    return got;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    for (int wait = 0; wait < 30 && !got.closed; ++wait) {
      pollfd ready{fd, POLLIN, 0};
      if (::poll(&ready, 1, 1000) != 1)
        continue;
      char chunk[64];
      const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
      if (n > 0)
        got.octets.append(chunk, static_cast<std::size_t>(n));
      got.closed = n <= 0;
    }
  }
  ::close(fd);
  return got;
}

TEST(StandinOptions, IdleScanClosesAnIdleConnectionWithCloseConnection)
{
  const unsigned port = freePort();
  ASSERT_NE(port, 0u);
  Peer peer({"--port", std::to_string(port), "--idle-scan", "1"});
  const Received got = readUntilClosed(port);
  EXPECT_TRUE(got.closed);
  // A GIOP header of message type 5 (CloseConnection) without a body.
  ASSERT_EQ(got.octets.size(), 12u);
  EXPECT_EQ(got.octets.substr(0, 4), "GIOP");
  EXPECT_EQ(got.octets[7], '\x05');
  EXPECT_EQ(got.octets.substr(8), std::string(4, '\0'));
}

TEST(StandinOptions, StopsByItselfAfterMaxSeconds)
{
  TempDir dir;
  StandinProcess process({"--ref", dir.file("ref"), "--max-seconds", "1"});
  EXPECT_EQ(process.waitForRef(dir.file("ref")).rfind("IOR:", 0), 0u);
  EXPECT_TRUE(exitedCleanly(process.waitForExit(20)));
}

TEST(StandinOptions, RejectsABadCommandLineWithStatus2)
{
  TempDir dir;
  const std::vector<std::vector<std::string>> bad{
      {},
      {"--calls", dir.file("calls")},
      {"--ref", dir.file("ref"), "--giop", "1.1"},
      {"--ref", dir.file("ref"), "--port", "65536"},
      {"--ref", dir.file("ref"), "--port", "-1"},
      {"--ref", dir.file("ref"), "--max-seconds"},
      {"--ref", dir.file("ref"), "--idle-scan", "86401"},
      {"--ref", dir.file("ref"), "--verbose", "1"},
  };
  for (const auto& args : bad) {
    StandinProcess process(args);
    const int status = process.waitForExit(20);
    ASSERT_NE(status, -1);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << args.size() << " arguments";
  }
  EXPECT_TRUE(readLines(dir.file("ref")).empty());
}

} // namespace
