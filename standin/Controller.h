#pragma once

#include "CallLog.h"
#include "CallText.h"
#include "Model.h"
#include "StavaController.hh"

#include <map>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>

namespace standin {

// The servant of StavaController: applies each call to the model and writes
// its line to the call log before the reply leaves. A call that names an
// unknown node or element (or the wrong kind, or equal end nodes) is answered
// with BAD_PARAM, minor 0, COMPLETED_NO and changes nothing. omniORB may
// dispatch calls on several threads; one mutex serialises them, so the log
// shows the order in which they were applied.
class Controller : public POA_StavaController {
public:
  // log must outlive the servant. Each call of an operation named in
  // delaysMs waits that many milliseconds before it is applied, holding the
  // model, so calls that arrive meanwhile wait their turn.
  Controller(CallLog& log, std::map<std::string, unsigned> delaysMs)
      : log_(log), delaysMs_(std::move(delaysMs)) {}

  void resetApp() override;
  void lock() override;
  void unlock() override;
  CORBA::Long addNode(CORBA::Double x, CORBA::Double z) override;
  CORBA::Long addEBBeam(CORBA::Long n1, CORBA::Long n2) override;
  CORBA::Long addTruss(CORBA::Long n1, CORBA::Long n2) override;
  void setConstraints(CORBA::Long n, CORBA::Boolean cX, CORBA::Boolean cZ, CORBA::Boolean cR) override;
  void setForces(CORBA::Long n, CORBA::Double Fx, CORBA::Double Fz, CORBA::Double M) override;
  void setNodeLabel(CORBA::Long n, const char* label) override;
  void setBeamLabel(CORBA::Long b, const char* label) override;
  void setEBBeamHinges(CORBA::Long b, CORBA::Boolean hiN, CORBA::Boolean hiV, CORBA::Boolean hiM,
                       CORBA::Boolean hkN, CORBA::Boolean hkV, CORBA::Boolean hkM) override;
  void setEBBeamLoads(CORBA::Long b, CORBA::Double vi, CORBA::Double vk, CORBA::Double ni,
                      CORBA::Double nk) override;
  void setEBBeamSectionalVals(CORBA::Long beam, CORBA::Double ei, CORBA::Double ea) override;
  void setTrussSectionalVals(CORBA::Long truss, CORBA::Double ea) override;

private:
  // Runs apply on the model under the lock and logs call with its outcome.
  template <class Apply>
  auto serve(const CallText& call, Apply apply) -> decltype(apply(std::declval<Model&>()));

  // Waits the delay configured for the operation of call, if any.
  void delay(const CallText& call) const;

  std::mutex mutex_;
  Model model_;
  CallLog& log_;
  const std::map<std::string, unsigned> delaysMs_;
};

template <class Apply>
auto Controller::serve(const CallText& call, Apply apply) -> decltype(apply(std::declval<Model&>()))
{
  const std::lock_guard<std::mutex> guard(mutex_);
  delay(call);
  try {
    if constexpr (std::is_void_v<decltype(apply(model_))>) {
      apply(model_);
      log_.write(call.line());
    } else {
      const auto result = apply(model_);
      log_.write(call.returning(result));
      return result;
    }
  } catch (const Model::Rejected&) {
    log_.write(call.raising("BAD_PARAM"));
    throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
  }
}

} // namespace standin
