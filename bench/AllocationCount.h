// Heap allocations made through the global operator new in this benchmark
// program (CountingNew.cpp replaces it with a counting version).
#ifndef BENCH_ALLOCATION_COUNT_H
#define BENCH_ALLOCATION_COUNT_H

#include <cstdint>

// Number of allocations since the program started; safe from any thread.
std::uint64_t benchAllocations();

#endif
