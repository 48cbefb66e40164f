#include <xcb/xcb.h>

#include <QApplication>
#include <QByteArray>
#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "app/close_request.h"

namespace velomat {

BlockedCloseRequests::BlockedCloseRequests(uint32_t deleteWindowAtom, uint32_t window,
                                           std::function<bool()> blocked, std::function<void()> onClose)
    : deleteWindowAtom_(deleteWindowAtom),
      window_(window),
      blocked_(std::move(blocked)),
      onClose_(std::move(onClose)) {}

bool BlockedCloseRequests::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (eventType != "xcb_generic_event_t" || message == nullptr) return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE) return false;
  const auto* request = static_cast<const xcb_client_message_event_t*>(message);
  if (request->format != 32 || request->window != window_ || request->data.data32[0] != deleteWindowAtom_) {
    return false;
  }
  // An unblocked window gets the toolkit's own close event.
  if (!blocked_()) return false;
  onClose_();
  return true;
}

namespace {

uint32_t internAtom(xcb_connection_t* connection, const char* name) {
  const xcb_intern_atom_cookie_t cookie =
      xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
  if (reply == nullptr) return XCB_ATOM_NONE;
  const uint32_t atom = reply->atom;
  std::free(reply);
  return atom;
}

}  // namespace

void watchBlockedCloseRequests(QWidget& window, std::function<void()> onClose) {
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr || x11->connection() == nullptr) return;  // not on X11
  const uint32_t atom = internAtom(x11->connection(), "WM_DELETE_WINDOW");
  if (atom == XCB_ATOM_NONE) return;
  const auto handle = static_cast<uint32_t>(window.winId());
  installCloseFilter(window, std::move(onClose), [atom, handle](auto blocked, auto queued) {
    return new BlockedCloseRequests(atom, handle, std::move(blocked), std::move(queued));
  });
}

}  // namespace velomat
