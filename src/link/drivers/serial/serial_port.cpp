#include "link/drivers/serial/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace velomat {

namespace {

bool speedFor(int baud, speed_t& speed) {
  switch (baud) {
    case 9600:
      speed = B9600;
      return true;
    case 38400:
      speed = B38400;
      return true;
    default:
      return false;
  }
}

}  // namespace

bool SerialPort::open(const char* path, int baud) {
  close();
  speed_t speed;
  if (path == nullptr || !speedFor(baud, speed)) return false;

  // Non-blocking from the start: a port that waits for a carrier would otherwise hold open() forever.
  const int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;

  termios tio{};
  if (tcgetattr(fd, &tio) != 0) {  // not a terminal
    ::close(fd);
    return false;
  }
  cfmakeraw(&tio);
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP);
  tio.c_iflag |= IGNBRK;
  tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CREAD | CLOCAL;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0 || tcsetattr(fd, TCSANOW, &tio) != 0) {
    ::close(fd);
    return false;
  }
  // A second program on the same port would garble every exchange. TIOCEXCL makes further opens fail
  // (root may still open); where a device does not support it the port is used without.
  ioctl(fd, TIOCEXCL);
  tcflush(fd, TCIOFLUSH);
  fd_ = fd;
  return true;
}

void SerialPort::close() {
  if (fd_ < 0) return;
  // The exclusive flag belongs to the terminal, not to this descriptor: give it back, so that this
  // program can open the port again while another descriptor (a test's, a terminal program's) keeps
  // it alive.
  ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
}

void SerialPort::flushInput() {
  if (fd_ >= 0) tcflush(fd_, TCIFLUSH);
}

PortResult SerialPort::vanished() {
  close();
  return PortResult::Vanished;
}

PortResult SerialPort::waitFor(short events, Clock::time_point deadline) {
  for (;;) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return PortResult::TimedOut;
    // Rounded up, so that a rest below a millisecond waits instead of spinning.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    pollfd p{fd_, events, 0};
    const int ready = poll(&p, 1, static_cast<int>(ms));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return vanished();
    }
    if (ready == 0) continue;  // the loop head decides whether the deadline has passed
    if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return vanished();
    if ((p.revents & events) != 0) return PortResult::Ok;
  }
}

PortResult SerialPort::writeAll(const uint8_t* data, size_t size, Clock::time_point deadline) {
  if (fd_ < 0) return PortResult::Vanished;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd_, data + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return vanished();  // EIO, ENXIO, EPIPE
    const PortResult waited = waitFor(POLLOUT, deadline);
    if (waited != PortResult::Ok) return waited;
  }
  return PortResult::Ok;
}

PortResult SerialPort::readExact(uint8_t* data, size_t size, Clock::time_point deadline) {
  if (fd_ < 0) return PortResult::Vanished;
  size_t done = 0;
  while (done < size) {
    const PortResult waited = waitFor(POLLIN, deadline);
    if (waited != PortResult::Ok) return waited;
    const ssize_t n = ::read(fd_, data + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n == 0) {
      return vanished();  // end of file: the other end has hung up
    } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      return vanished();  // EIO, ENXIO, ENODEV: the device has gone away
    }
  }
  return PortResult::Ok;
}

size_t SerialPort::pendingInput() const {
  int count = 0;
  if (fd_ < 0 || ioctl(fd_, FIONREAD, &count) != 0 || count < 0) return 0;
  return static_cast<size_t>(count);
}

}  // namespace velomat
