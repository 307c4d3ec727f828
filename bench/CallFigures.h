// Latency and throughput of one kind of call, measured with std::chrono and
// printed as one "CALL" line that bench/run.sh turns into the table.
#ifndef BENCH_CALL_FIGURES_H
#define BENCH_CALL_FIGURES_H

#include "AllocationCount.h"

#include <algorithm>
#include <chrono>
#include <vector>

// Calls made before measuring (connection set-up, caches, lazy lookups).
const int BenchWarmupCalls = 2000;
// Calls in each measurement: once timed one by one, once back to back.
const int BenchMeasuredCalls = 20000;

struct CallFigures {
    double medianMicros = 0;
    double p99Micros = 0;
    double callsPerSecond = 0;
    double allocationsPerCall = 0;
};

// Median and 99th percentile of individually timed calls, then calls per
// second and allocations per call over back-to-back calls.
template<class Call> CallFigures measureCalls(Call call) {
    using Clock = std::chrono::steady_clock;
    for (int i = 0; i < BenchWarmupCalls; ++i)
        call();

    std::vector<double> micros(BenchMeasuredCalls);
    for (double& m : micros) {
        const Clock::time_point start = Clock::now();
        call();
        m = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    }
    std::sort(micros.begin(), micros.end());

    const std::uint64_t allocationsBefore = benchAllocations();
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < BenchMeasuredCalls; ++i)
        call();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const std::uint64_t allocations = benchAllocations() - allocationsBefore;

    CallFigures f;
    f.medianMicros = micros[micros.size() / 2];
    f.p99Micros = micros[micros.size() * 99 / 100];
    f.callsPerSecond = BenchMeasuredCalls / seconds;
    f.allocationsPerCall = double(allocations) / BenchMeasuredCalls;
    return f;
}

// Prints "CALL name median_us p99_us calls_per_s allocations_per_call".
void printCallFigures(const char* name, const CallFigures& f);

#endif
