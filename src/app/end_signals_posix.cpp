#include <sys/eventfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <initializer_list>
#include <utility>

#include "app/end_signals.h"

namespace velomat {

namespace {

int signalEvent = -1;

extern "C" void onEndSignal(int) {
  const int saved = errno;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(signalEvent, &one, sizeof one);
  errno = saved;
}

// Installs the handlers once per process and returns the eventfd they write to (readable once a
// signal came), or -1 when it could not be made.
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

}  // namespace

void watchEndRequests(QObject& owner, std::function<void()> onEnd) {
  const int fd = installEndSignals();
  if (fd < 0) return;
  auto* notifier = new QSocketNotifier(static_cast<qintptr>(fd), QSocketNotifier::Read, &owner);
  QObject::connect(notifier, &QSocketNotifier::activated, &owner, [fd, onEnd = std::move(onEnd)] {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = ::read(fd, &count, sizeof count);
    onEnd();
  });
}

}  // namespace velomat
