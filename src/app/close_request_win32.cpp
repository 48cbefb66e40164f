#include <QApplication>
#include <QWidget>
#include <utility>

#include "app/close_request.h"
#include "app/end_requests_win32.h"

namespace velomat {

void watchBlockedCloseRequests(QWidget& window, std::function<void()> onClose) {
  QWidget* watched = &window;
  auto* filter = new BlockedWindowCloses(
      reinterpret_cast<void*>(window.winId()), [] { return QApplication::activeModalWidget() != nullptr; },
      [watched, onClose = std::move(onClose)] {
        QMetaObject::invokeMethod(watched, onClose, Qt::QueuedConnection);
      });
  qApp->installNativeEventFilter(filter);
  QObject::connect(&window, &QObject::destroyed, [filter] {
    qApp->removeNativeEventFilter(filter);
    delete filter;
  });
}

}  // namespace velomat
