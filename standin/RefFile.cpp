#include "RefFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <unistd.h>

namespace standin {

namespace {

struct Closer {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

[[noreturn]] void fail(const std::string& what, const std::string& path)
{
  throw std::runtime_error("cannot " + what + " " + path + ": " + std::strerror(errno));
}

} // namespace

void writeFileAtomically(const std::string& path, const std::string& text)
{
  const std::string temporary = path + ".tmp" + std::to_string(::getpid());
  {
    std::unique_ptr<std::FILE, Closer> file(std::fopen(temporary.c_str(), "w"));
    if (!file)
      fail("create", temporary);
    const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
    const bool closed = std::fclose(file.release()) == 0;
    if (!written || !closed) {
      std::remove(temporary.c_str());
      fail("write", temporary);
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    std::remove(temporary.c_str());
    errno = error;
    fail("rename to", path);
  }
}

} // namespace standin
