#include "link/drivers/parallel/ppdev_port.h"

#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace velomat {

namespace {

// An ioctl that a signal interrupted is asked again.
template <typename... Args>
int ioctlAgain(int fd, unsigned long request, Args... args) {
  int result;
  do {
    result = ::ioctl(fd, request, args...);
  } while (result < 0 && errno == EINTR);
  return result;
}

}  // namespace

bool PpdevPort::claim(const char* path) {
  release();
  openError_ = PortOpenError::NoSuchPort;
  if (path == nullptr) return false;
  int fd;
  do {
    fd = ::open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (errno == EACCES || errno == EPERM) openError_ = PortOpenError::NoAccess;
    return false;
  }
  // Exclusive, so that the printer driver cannot clock stray bytes into the interface's registers.
  if (ioctlAgain(fd, PPEXCL) != 0 || ioctlAgain(fd, PPCLAIM) != 0) {
    // ENOTTY: no ppdev device; anything else: another driver holds the port.
    openError_ = errno == ENOTTY ? PortOpenError::WrongDevice : PortOpenError::InUse;
    ::close(fd);
    return false;
  }
  fd_ = fd;
  openError_ = PortOpenError::None;
  return true;
}

bool PpdevPort::writeData(uint8_t lines) {
  return fd_ >= 0 && ioctlAgain(fd_, PPWDATA, &lines) == 0;
}

bool PpdevPort::readStatus(uint8_t& status) {
  return fd_ >= 0 && ioctlAgain(fd_, PPRSTATUS, &status) == 0;
}

void PpdevPort::pause(std::chrono::microseconds duration) {
  std::this_thread::sleep_for(duration);
}

std::chrono::nanoseconds PpdevPort::now() const {
  return std::chrono::steady_clock::now().time_since_epoch();
}

void PpdevPort::release() {
  if (fd_ < 0) return;
  ioctlAgain(fd_, PPRELEASE);
  ::close(fd_);
  fd_ = -1;
}

}  // namespace velomat
