#include <windows.h>

#include <QWinEventNotifier>
#include <utility>

#include "app/wake_up.h"

namespace velomat {

WakeUp::WakeUp(QObject& owner, std::function<void()> onWake) {
  // Auto-reset: the notifier's wait takes the event back, so wake-ups before it are one.
  HANDLE event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (event == nullptr) return;
  handle_ = reinterpret_cast<intptr_t>(event);
  auto* notifier = new QWinEventNotifier(event, &owner);
  watcher_ = notifier;
  QObject::connect(notifier, &QWinEventNotifier::activated, &owner,
                   [onWake = std::move(onWake)] { onWake(); });
}

WakeUp::~WakeUp() {
  delete watcher_;
  if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

void WakeUp::raise() noexcept {
  if (handle_ != -1) ::SetEvent(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace velomat
