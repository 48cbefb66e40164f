#include <sys/eventfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cstdint>
#include <utility>

#include "app/wake_up.h"

namespace velomat {

WakeUp::WakeUp(QObject& owner, std::function<void()> onWake) {
  const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  handle_ = fd;
  if (fd < 0) return;
  auto* notifier = new QSocketNotifier(static_cast<qintptr>(fd), QSocketNotifier::Read, &owner);
  watcher_ = notifier;
  QObject::connect(notifier, &QSocketNotifier::activated, &owner, [fd, onWake = std::move(onWake)] {
    uint64_t count;
    [[maybe_unused]] const ssize_t got = ::read(fd, &count, sizeof count);
    onWake();
  });
}

WakeUp::~WakeUp() {
  delete watcher_;
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

void WakeUp::raise() noexcept {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(static_cast<int>(handle_), &one, sizeof one);
}

}  // namespace velomat
