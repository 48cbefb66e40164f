// The parallel port on Windows: a user program reaches its registers only through a kernel driver of
// its own, which Velomat does not install. Every claim is refused at once, with its reason, so that
// the connection dialog can say so; nothing waits and nothing is touched.
#include <chrono>
#include <thread>

#include "link/drivers/parallel/ppdev_port.h"

namespace velomat {

bool PpdevPort::claim(const char*) {
  openError_ = PortOpenError::Unsupported;
  return false;
}

bool PpdevPort::writeData(uint8_t) {
  return false;
}

bool PpdevPort::readStatus(uint8_t&) {
  return false;
}

void PpdevPort::pause(std::chrono::microseconds duration) {
  std::this_thread::sleep_for(duration);
}

std::chrono::nanoseconds PpdevPort::now() const {
  return std::chrono::steady_clock::now().time_since_epoch();
}

void PpdevPort::release() {}

}  // namespace velomat
