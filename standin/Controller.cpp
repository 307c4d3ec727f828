#include "Controller.h"

#include <chrono>
#include <thread>

namespace standin {

void Controller::delay(const CallText& call) const
{
  // A call's line begins with its operation name.
  const std::string& line = call.line();
  const auto found = delaysMs_.find(line.substr(0, line.find(' ')));
  if (found != delaysMs_.end())
    std::this_thread::sleep_for(std::chrono::milliseconds(found->second));
}

void Controller::resetApp()
{
  serve(CallText("resetApp"), [](Model& m) { m.reset(); });
}

void Controller::lock()
{
  serve(CallText("lock"), [](Model& m) { m.lock(); });
}

void Controller::unlock()
{
  serve(CallText("unlock"), [](Model& m) { m.unlock(); });
}

CORBA::Long Controller::addNode(CORBA::Double x, CORBA::Double z)
{
  return serve(CallText("addNode").real(x).real(z), [&](Model& m) { return m.addNode(x, z); });
}

CORBA::Long Controller::addEBBeam(CORBA::Long n1, CORBA::Long n2)
{
  return serve(CallText("addEBBeam").number(n1).number(n2),
               [&](Model& m) { return m.addEBBeam(n1, n2); });
}

CORBA::Long Controller::addTruss(CORBA::Long n1, CORBA::Long n2)
{
  return serve(CallText("addTruss").number(n1).number(n2),
               [&](Model& m) { return m.addTruss(n1, n2); });
}

void Controller::setConstraints(CORBA::Long n, CORBA::Boolean cX, CORBA::Boolean cZ, CORBA::Boolean cR)
{
  serve(CallText("setConstraints").number(n).flag(cX).flag(cZ).flag(cR),
        [&](Model& m) { m.setConstraints(n, cX, cZ, cR); });
}

void Controller::setForces(CORBA::Long n, CORBA::Double Fx, CORBA::Double Fz, CORBA::Double M)
{
  serve(CallText("setForces").number(n).real(Fx).real(Fz).real(M),
        [&](Model& m) { m.setForces(n, Fx, Fz, M); });
}

void Controller::setNodeLabel(CORBA::Long n, const char* label)
{
  serve(CallText("setNodeLabel").number(n).text(label), [&](Model& m) { m.setNodeLabel(n, label); });
}

void Controller::setBeamLabel(CORBA::Long b, const char* label)
{
  serve(CallText("setBeamLabel").number(b).text(label), [&](Model& m) { m.setElementLabel(b, label); });
}

void Controller::setEBBeamHinges(CORBA::Long b, CORBA::Boolean hiN, CORBA::Boolean hiV, CORBA::Boolean hiM,
                                 CORBA::Boolean hkN, CORBA::Boolean hkV, CORBA::Boolean hkM)
{
  serve(CallText("setEBBeamHinges").number(b).flag(hiN).flag(hiV).flag(hiM).flag(hkN).flag(hkV).flag(hkM),
        [&](Model& m) { m.setBeamHinges(b, {hiN, hiV, hiM, hkN, hkV, hkM}); });
}

void Controller::setEBBeamLoads(CORBA::Long b, CORBA::Double vi, CORBA::Double vk, CORBA::Double ni,
                                CORBA::Double nk)
{
  serve(CallText("setEBBeamLoads").number(b).real(vi).real(vk).real(ni).real(nk),
        [&](Model& m) { m.setBeamLoads(b, vi, vk, ni, nk); });
}

void Controller::setEBBeamSectionalVals(CORBA::Long beam, CORBA::Double ei, CORBA::Double ea)
{
  serve(CallText("setEBBeamSectionalVals").number(beam).real(ei).real(ea),
        [&](Model& m) { m.setBeamSection(beam, ei, ea); });
}

void Controller::setTrussSectionalVals(CORBA::Long truss, CORBA::Double ea)
{
  serve(CallText("setTrussSectionalVals").number(truss).real(ea),
        [&](Model& m) { m.setTrussSection(truss, ea); });
}

} // namespace standin
