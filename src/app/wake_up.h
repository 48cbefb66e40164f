// A wake-up of the GUI thread that another thread raises without allocating or taking a lock: the
// worker's end-of-run report. Raised any number of times before the GUI thread gets to it, it calls its
// handler once. The hand-over goes through the system (an eventfd, an event object), where the race
// detector sees it, not through the toolkit's event queue.
#pragma once

#include <QObject>
#include <QPointer>
#include <cstdint>
#include <functional>

namespace velomat {

class WakeUp {
 public:
  // `onWake` runs on the thread of `owner`; the watcher is a child of `owner` and goes with it.
  WakeUp(QObject& owner, std::function<void()> onWake);
  WakeUp(const WakeUp&) = delete;
  WakeUp& operator=(const WakeUp&) = delete;
  ~WakeUp();

  // Any thread. Never blocks.
  void raise() noexcept;

 private:
  intptr_t handle_ = -1;       // the eventfd, or the event object's handle
  QPointer<QObject> watcher_;  // goes before the handle it watches
};

}  // namespace velomat
