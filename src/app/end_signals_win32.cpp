#include <windows.h>

#include <QCoreApplication>
#include <QWinEventNotifier>
#include <utility>

#include "app/close_request.h"
#include "app/end_requests_win32.h"
#include "app/end_signals.h"

namespace velomat {

namespace {

HANDLE consoleEvent = nullptr;

// Runs on a thread the system makes for it. Ctrl+C and Ctrl+Break only ask: the GUI thread ends the
// program. Closing the console ends the process as soon as this returns, so it waits for the GUI
// thread's end, which ends the process itself (the system allows a few seconds).
BOOL WINAPI onConsoleEvent(DWORD event) {
  ::SetEvent(consoleEvent);
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    ::Sleep(INFINITE);
  }
  return TRUE;
}

}  // namespace

SessionEndRequests::SessionEndRequests(std::function<void()> onEnd) : onEnd_(std::move(onEnd)) {}

bool SessionEndRequests::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) {
  if (eventType != "windows_generic_MSG" || message == nullptr) return false;
  const MSG* msg = static_cast<const MSG*>(message);
  if (msg->message == WM_QUERYENDSESSION) {
    if (result != nullptr) *result = TRUE;  // the session may end: this program ends with it
    return true;
  }
  if (msg->message != WM_ENDSESSION) return false;
  if (result != nullptr) *result = 0;
  if (msg->wParam == FALSE || ending_) return true;  // the end was called off, or is under way
  ending_ = true;
  onEnd_();
  return true;
}

BlockedWindowCloses::BlockedWindowCloses(void* window, std::function<bool()> blocked,
                                         std::function<void()> onClose)
    : window_(window), blocked_(std::move(blocked)), onClose_(std::move(onClose)) {}

bool BlockedWindowCloses::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) {
  if (eventType != "windows_generic_MSG" || message == nullptr) return false;
  const MSG* msg = static_cast<const MSG*>(message);
  if (msg->message != WM_CLOSE || msg->hwnd != static_cast<HWND>(window_) || !blocked_()) return false;
  if (result != nullptr) *result = 0;
  onClose_();
  return true;
}

void watchEndRequests(QObject& owner, std::function<void()> onEnd) {
  static const bool installed = [] {
    // Auto-reset: each event from the console is one request, as each signal is on POSIX systems.
    consoleEvent = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return consoleEvent != nullptr && ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
  }();
  if (installed) {
    auto* notifier = new QWinEventNotifier(consoleEvent, &owner);
    QObject::connect(notifier, &QWinEventNotifier::activated, &owner, onEnd);
  }
  installWhileAlive(owner, new SessionEndRequests(std::move(onEnd)));
}

}  // namespace velomat
