#include "StopSignals.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <pthread.h>

namespace standin {

namespace {

sigset_t stopSignals()
{
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  return set;
}

} // namespace

void blockStopSignals()
{
  const sigset_t set = stopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int waitForStop(unsigned maxSeconds)
{
  using Clock = std::chrono::steady_clock;
  const sigset_t set = stopSignals();
  const auto deadline = Clock::now() + std::chrono::seconds(maxSeconds);
  for (;;) {
    // Without a limit, wake once an hour only to wait again.
    auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::hours(1));
    if (maxSeconds != 0) {
      wait = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now());
      if (wait.count() <= 0)
        return 0;
    }
    timespec timeout{};
    timeout.tv_sec = static_cast<time_t>(wait.count() / 1000000000);
    timeout.tv_nsec = static_cast<long>(wait.count() % 1000000000);
    const int signal = sigtimedwait(&set, nullptr, &timeout);
    if (signal > 0)
      return signal;
    // EAGAIN: this slice ended; EINTR: another signal interrupted the wait.
  }
}

} // namespace standin
