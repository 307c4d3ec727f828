// The CALL line of the benchmark programs.
#include "CallFigures.h"

#include <cstdio>

void printCallFigures(const char* name, const CallFigures& f) {
    std::printf("CALL %s %.2f %.2f %.0f %.2f\n", name, f.medianMicros, f.p99Micros, f.callsPerSecond,
                f.allocationsPerCall);
    std::fflush(stdout);
}
