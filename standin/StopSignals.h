#pragma once

namespace standin {

// Blocks SIGTERM and SIGINT in the calling thread. Call it before any other
// thread starts, so that every thread (omniORB's too) inherits the mask and
// the signals stay pending for waitForStop.
void blockStopSignals();

// Waits until SIGTERM or SIGINT arrives or, if maxSeconds is not 0, until
// maxSeconds have passed; returns the signal number, or 0 on time-out.
int waitForStop(unsigned maxSeconds);

} // namespace standin
