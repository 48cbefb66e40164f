#include <QApplication>
#include <QWidget>
#include <utility>

#include "app/close_request.h"
#include "app/end_requests_win32.h"

namespace velomat {

void watchBlockedCloseRequests(QWidget& window, std::function<void()> onClose) {
  const auto handle = reinterpret_cast<void*>(window.winId());
  installCloseFilter(window, std::move(onClose), [handle](auto blocked, auto queued) {
    return new BlockedWindowCloses(handle, std::move(blocked), std::move(queued));
  });
}

}  // namespace velomat
