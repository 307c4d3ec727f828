#include "StandinProcess.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace standin_test {

namespace {

constexpr auto pollInterval = std::chrono::milliseconds(20);

} // namespace

TempDir::TempDir()
{
  std::string pattern = (std::filesystem::temp_directory_path() / "standin-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir()
{
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::file(const std::string& name) const
{
  return path_ + "/" + name;
}

StandinProcess::StandinProcess(const std::vector<std::string>& args)
{
  // Everything the child needs is prepared before fork: after it, only exec.
  std::vector<std::string> all{STANDIN_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all)
    argv.push_back(arg.data());
  argv.push_back(nullptr);

  pid_ = ::fork();
  if (pid_ < 0)
    throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
}

StandinProcess::~StandinProcess()
{
  if (status_ == -1)
    stop();
}

int StandinProcess::waitForExit(int seconds)
{
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (status_ == -1) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_)
      status_ = status;
    else if (std::chrono::steady_clock::now() >= deadline)
      break;
    else
      std::this_thread::sleep_for(pollInterval);
  }
  return status_;
}

int StandinProcess::stop()
{
  if (status_ != -1)
    return status_;
  ::kill(pid_, SIGTERM);
  if (waitForExit(10) == -1) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status_, 0);
  }
  return status_;
}

std::string StandinProcess::waitForRef(const std::string& path)
{
  // The stand-in renames a complete file into place, so the first line seen is whole.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::vector<std::string> lines = readLines(path);
    if (!lines.empty())
      return lines.front();
    if (waitForExit(0) != -1)
      throw std::runtime_error("stand-in ended before writing " + path);
    std::this_thread::sleep_for(pollInterval);
  }
  throw std::runtime_error("no reference in " + path + " after 10 s");
}

std::vector<std::string> readLines(const std::string& path)
{
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

std::string describeIor(const std::string& ior)
{
  struct Closer {
    void operator()(std::FILE* pipe) const { ::pclose(pipe); }
  };
  // An IOR is "IOR:" and hex digits; anything else must not reach the shell.
  if (ior.find_first_not_of("IOR:0123456789abcdefABCDEF") != std::string::npos)
    throw std::runtime_error("not a stringified IOR: " + ior);
  const std::string command = std::string(CATIOR_PATH) + " '" + ior + "'";
  std::unique_ptr<std::FILE, Closer> pipe(::popen(command.c_str(), "r"));
  if (!pipe)
    throw std::runtime_error("cannot run catior");
  std::string output;
  char chunk[256];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe.get())) > 0;)
    output.append(chunk, n);
  return output;
}

} // namespace standin_test
