// The main window's close box while a box of the program is up. The toolkit drops a close request for a
// window that a modal box blocks, so the user's wish to end would be lost while, say, "Verbindung zum
// Interface verloren" waits for an answer. On X11 the window manager's request (WM_DELETE_WINDOW) is
// caught before the toolkit drops it and handed on.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <utility>

namespace velomat {

class BlockedCloseRequests final : public QAbstractNativeEventFilter {
 public:
  // `deleteWindowAtom` is the X11 atom WM_DELETE_WINDOW; `window` the X11 window of the watched one.
  // `blocked` tells whether a modal box blocks the window now; `onClose` gets each request the toolkit
  // would drop (it runs inside event handling: queue what it does).
  BlockedCloseRequests(uint32_t deleteWindowAtom, uint32_t window, std::function<bool()> blocked,
                       std::function<void()> onClose);

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  uint32_t deleteWindowAtom_;
  uint32_t window_;
  std::function<bool()> blocked_;
  std::function<void()> onClose_;
};

// Watches `window`'s close box while a modal box blocks it, on X11; elsewhere the toolkit's own close
// event serves and nothing is installed. `onClose` is queued onto the GUI thread. The filter lives as
// long as `window`.
void watchBlockedCloseRequests(QWidget& window, std::function<void()> onClose);

// Installs `filter`, which it takes, for as long as `owner` lives.
inline void installWhileAlive(QObject& owner, QAbstractNativeEventFilter* filter) {
  qApp->installNativeEventFilter(filter);
  QObject::connect(&owner, &QObject::destroyed, [filter] {
    qApp->removeNativeEventFilter(filter);
    delete filter;
  });
}

// What each window system's watch shares: the filter `make(blocked, onClose)` gets a test of whether a
// modal box blocks now and `onClose` queued onto `window`'s thread, and is installed for as long as
// `window` lives.
template <typename Make>
void installCloseFilter(QWidget& window, std::function<void()> onClose, Make make) {
  QWidget* watched = &window;
  QAbstractNativeEventFilter* filter =
      make([] { return QApplication::activeModalWidget() != nullptr; },
           [watched, onClose = std::move(onClose)] {
             QMetaObject::invokeMethod(watched, onClose, Qt::QueuedConnection);
           });
  installWhileAlive(window, filter);
}

}  // namespace velomat
