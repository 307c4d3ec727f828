#include "CallLog.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace standin {

CallLog::CallLog(const std::string& path) : file_(std::fopen(path.c_str(), "w"))
{
  if (!file_)
    throw std::runtime_error("cannot open call log " + path + ": " + std::strerror(errno));
}

void CallLog::write(const std::string& line)
{
  if (!file_)
    return;
  std::fputs(line.c_str(), file_.get());
  std::fputc('\n', file_.get());
  std::fflush(file_.get());
}

} // namespace standin
