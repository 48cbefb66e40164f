// Windows' own requests to end, as window messages the toolkit hands to its native event filters. Only
// the Windows build has them; they are classes so that the tests can hand them messages.
#pragma once

#include <QAbstractNativeEventFilter>
#include <functional>

namespace velomat {

// The end of the session (log-off, shut-down). WM_QUERYENDSESSION is agreed to at once; WM_ENDSESSION
// that says the session ends calls `onEnd` right there, since the system may end the process as soon
// as the message is answered. Each top-level window gets the messages: only the first one ends.
class SessionEndRequests final : public QAbstractNativeEventFilter {
 public:
  explicit SessionEndRequests(std::function<void()> onEnd);
  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  std::function<void()> onEnd_;
  bool ending_ = false;
};

// WM_CLOSE for `window` (`taskkill` without /F, the close box) while a modal box blocks it: the toolkit
// would drop it, so it is handed to `onClose` instead. An unblocked window gets the toolkit's own close
// event, which ends as the close box does.
class BlockedWindowCloses final : public QAbstractNativeEventFilter {
 public:
  BlockedWindowCloses(void* window, std::function<bool()> blocked, std::function<void()> onClose);
  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  void* window_;  // HWND
  std::function<bool()> blocked_;
  std::function<void()> onClose_;
};

}  // namespace velomat
