// Reporting a failed controller call to the automation client and the log.
#ifndef BRIDGE_MODEL_FAILURE_H
#define BRIDGE_MODEL_FAILURE_H

#include <windows.h>

// Writes "<method> failed: <description>" to the log, then sets the thread's
// error information (interface IModel, source
// "StavaAutomationBridge.Model.<method>", `description` as ANSI text) as the
// last action; never throws. Returns `hr`, or E_FAIL if `hr` is not a failure code.
HRESULT ReportModelFailure(const char* method, HRESULT hr, const char* description) noexcept;

#endif
