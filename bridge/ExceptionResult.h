// Automation results of CORBA failures, following the OMG COM/CORBA
// interworking mapping of system exceptions, so that scripting clients see
// which exception ended a call.
#ifndef BRIDGE_EXCEPTION_RESULT_H
#define BRIDGE_EXCEPTION_RESULT_H

#include <OB/Basic.h>
#include <OB/Except.h>

#include <cstdint>
#include <string>

// FACILITY_ITF code of e: 0x80040200 plus the exception's index among the
// standard system exceptions (UNKNOWN 0, BAD_PARAM 1, ... COMM_FAILURE 4 ...),
// plus 0x1000 for COMPLETED_YES and 0x2000 for COMPLETED_MAYBE. An exception
// outside the standard set maps as UNKNOWN.
std::int32_t SystemExceptionResult(const CORBA_SystemException& e);

// The code of a user exception that the interface does not declare.
const std::int32_t UserExceptionResult = static_cast<std::int32_t>(0x800402FF);

// The ORB's diagnostic text of e ("System exception `NAME'" ...).
std::string SystemExceptionDescription(const CORBA_SystemException& e);

#endif
