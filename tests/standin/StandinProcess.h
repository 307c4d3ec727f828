#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace standin_test {

// A temporary directory, removed with its contents on destruction.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // path/name inside the directory.
  std::string file(const std::string& name) const;

private:
  std::string path_;
};

// A running stava-standin. The destructor stops it (SIGTERM, then SIGKILL
// after a bounded wait), so no stand-in outlives its test.
class StandinProcess {
public:
  // Starts the stand-in with args after the program name; throws std::runtime_error if fork fails.
  explicit StandinProcess(const std::vector<std::string>& args);
  ~StandinProcess();
  StandinProcess(const StandinProcess&) = delete;
  StandinProcess& operator=(const StandinProcess&) = delete;

  // Waits up to seconds for the process to end by itself; returns its wait
  // status, or -1 if it is still running.
  int waitForExit(int seconds);
  // Sends SIGTERM and returns the wait status (SIGKILL if it does not end within 10 s).
  int stop();
  // Returns the first line of path once the stand-in has written it. Throws
  // std::runtime_error if the process ends first or 10 s pass.
  std::string waitForRef(const std::string& path);

private:
  pid_t pid_ = -1;
  int status_ = -1;
};

// Reads every line of path (no file: no lines).
std::vector<std::string> readLines(const std::string& path);

// The output of catior for the stringified reference ior.
std::string describeIor(const std::string& ior);

} // namespace standin_test
