#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace standin {

// The file that receives one line per call. Each line is flushed at once, so a
// test that has seen the reply of a call also finds its line in the file.
class CallLog {
public:
  // A log that writes nothing (no file was asked for).
  CallLog() = default;
  // Creates or truncates the file at path; throws std::runtime_error if it cannot.
  explicit CallLog(const std::string& path);

  // Appends line and a newline, and flushes.
  void write(const std::string& line);

private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
};

} // namespace standin
