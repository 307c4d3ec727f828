// stava-standin: a stand-in for the structural-analysis application, built on
// omniORB. It serves one StavaController object, writes its reference to the
// --ref file (atomically, once the object accepts calls) and, with --calls,
// writes every call it receives to a file, one line each, flushed at once,
// before the reply is sent:
//
//   OPERATION ARG ARG ...            a call that succeeded without a result
//   OPERATION ARG ARG ... -> N       addNode, addEBBeam, addTruss returning N
//   OPERATION ARG ARG ... -> BAD_PARAM   a call that was rejected
//
// Arguments are separated by one space, in the order of the IDL:
//   long     decimal                       3, -1
//   boolean  true | false
//   double   "%.Ng", N the fewest digits that read back to the same double
//            (at least the integer digits below 1e17)
//                                          1.5, -2, -0, 0.1, 21000, 2.5e-07,
//                                          1e+17, 1e+300, inf, -inf, nan
//   string   double-quoted; printable ASCII as is except \" and \\, every
//            other octet as \xHH           "A\xfc\x0a"
// e.g.  addNode 1.5 -2 -> 1
//       setConstraints 3 true false true
//       setNodeLabel 4 ""
//       addEBBeam 1 99 -> BAD_PARAM
//
// Nodes are numbered from 1; EB beams and trusses share one element counter
// from 1. A call naming an unknown node or element, an element of the wrong
// kind, or an element with equal end nodes raises BAD_PARAM (minor 0,
// COMPLETED_NO). resetApp clears nodes and elements. --delay OPERATION=MS
// makes each call of OPERATION wait MS milliseconds, holding the model,
// before it is applied (for fault tests). --idle-scan N makes omniORB look
// for idle connections every N seconds and close them (a GIOP
// CloseConnection, then the socket). SIGTERM, SIGINT or the
// end of --max-seconds stop the program with exit status 0; a bad command
// line gives 2, a failure while starting 1.

#include "CallLog.h"
#include "Controller.h"
#include "Options.h"
#include "RefFile.h"
#include "StopSignals.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

// The ORB's own arguments: listen on host:port only, publish an IIOP 1.0
// profile (no tagged components) when asked for 1.0, and scan for idle
// connections as often as asked, so that a test meets within seconds what
// a user of the application meets after a pause of a few minutes.
std::vector<std::string> orbArguments(const standin::Options& options)
{
  std::vector<std::string> args{"stava-standin", "-ORBendPoint",
                                "giop:tcp:" + options.host + ":" + std::to_string(options.port)};
  if (options.giop == "1.0") {
    args.push_back("-ORBmaxGIOPVersion");
    args.push_back("1.0");
  }
  if (options.idleScanSeconds != 0) {
    args.push_back("-ORBinConScanPeriod");
    args.push_back(std::to_string(options.idleScanSeconds));
  }
  return args;
}

// Owns the ORB; destroying it waits for calls in progress and closes the endpoint.
class OrbHolder {
public:
  explicit OrbHolder(std::vector<std::string> args) : args_(std::move(args))
  {
    std::vector<char*> argv;
    for (std::string& arg : args_)
      argv.push_back(arg.data());
    int argc = static_cast<int>(argv.size());
    orb_ = CORBA::ORB_init(argc, argv.data());
  }
  ~OrbHolder() { orb_->destroy(); }
  OrbHolder(const OrbHolder&) = delete;
  OrbHolder& operator=(const OrbHolder&) = delete;

  CORBA::ORB_ptr get() const { return orb_.in(); }

private:
  std::vector<std::string> args_;
  CORBA::ORB_var orb_;
};

int serve(const standin::Options& options)
{
  standin::CallLog log;
  if (!options.callsFile.empty())
    log = standin::CallLog(options.callsFile);

  OrbHolder orb(orbArguments(options));
  // omniORB's INS POA gives the object the fixed key "StavaController", so
  // a stand-in restarted on the same port serves the references of the
  // previous run, as a persistent application would.
  CORBA::Object_var insObject = orb.get()->resolve_initial_references("omniINSPOA");
  PortableServer::POA_var poa = PortableServer::POA::_narrow(insObject);
  PortableServer::Servant_var<standin::Controller> servant = new standin::Controller(log, options.delaysMs);
  PortableServer::ObjectId_var id = PortableServer::string_to_ObjectId("StavaController");
  poa->activate_object_with_id(id.in(), servant);
  CORBA::Object_var reference = poa->id_to_reference(id.in());
  PortableServer::POAManager_var manager = poa->the_POAManager();
  manager->activate();

  CORBA::String_var ior = orb.get()->object_to_string(reference);
  standin::writeFileAtomically(options.refFile, std::string(ior.in()) + "\n");

  standin::waitForStop(options.maxSeconds);
  return 0;
}

} // namespace

int main(int argc, char** argv)
{
  standin::Options options;
  try {
    options = standin::parseOptions(argc, argv);
  } catch (const std::invalid_argument& e) {
    std::cerr << "stava-standin: " << e.what() << "\n" << standin::usageText();
    return 2;
  }
  standin::blockStopSignals();
  try {
    return serve(options);
  } catch (const CORBA::Exception& e) {
    std::cerr << "stava-standin: CORBA exception " << e._name() << "\n";
  } catch (const std::exception& e) {
    std::cerr << "stava-standin: " << e.what() << "\n";
  }
  return 1;
}
