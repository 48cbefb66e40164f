#include "app/end_signals.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <initializer_list>

namespace velomat {

namespace {

int signalEvent = -1;
volatile std::sig_atomic_t lastSignal = 0;

extern "C" void onEndSignal(int number) {
  const int saved = errno;
  lastSignal = number;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(signalEvent, &one, sizeof one);
  errno = saved;
}

}  // namespace

int installEndSignals() {
  static const int fd = [] {
    signalEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (signalEvent < 0) return -1;
    struct sigaction action {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) sigaction(number, &action, nullptr);
    return signalEvent;
  }();
  return fd;
}

int takeEndSignal() {
  uint64_t count = 0;
  if (signalEvent >= 0) {
    [[maybe_unused]] const ssize_t got = ::read(signalEvent, &count, sizeof count);
  }
  return static_cast<int>(lastSignal);
}

}  // namespace velomat
