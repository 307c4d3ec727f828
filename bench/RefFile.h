// The stringified reference the application stand-in wrote.
#ifndef BENCH_REF_FILE_H
#define BENCH_REF_FILE_H

#include <string>

// The first line of path; throws std::runtime_error if it cannot be read.
std::string readRefFile(const std::string& path);

#endif
