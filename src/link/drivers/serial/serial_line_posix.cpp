// A serial line over POSIX termios and poll.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "link/drivers/serial/serial_line.h"

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

PortOpenError openErrorFor(int error) {
  switch (error) {
    case EBUSY:  // held exclusively (TIOCEXCL) by another program
      return PortOpenError::InUse;
    case EACCES:
    case EPERM:
      return PortOpenError::NoAccess;
    default:  // ENOENT, ENXIO, ENODEV, EIO
      return PortOpenError::NoSuchPort;
  }
}

class PosixSerialLine final : public SerialLine {
 public:
  ~PosixSerialLine() override { close(); }

  PortOpenError open(const char* path, int baud) override;
  bool isOpen() const override { return fd_ >= 0; }
  void close() override;
  Clock::time_point now() const override { return Clock::now(); }
  long write(const uint8_t* data, size_t size) override;
  Wait waitWritable(Clock::time_point deadline) override { return waitFor(POLLOUT, deadline); }
  long read(uint8_t* data, size_t room) override;
  Wait waitReadable(size_t count, Clock::time_point deadline) override;
  void sleepUntil(Clock::time_point until) override;
  void dropInput() override { tcflush(fd_, TCIFLUSH); }

 private:
  Wait waitFor(short events, Clock::time_point deadline);
  Wait gone() {
    close();
    return Wait::Gone;
  }

  int fd_ = -1;
  size_t wakeCount_ = 0;  // VMIN as set on the open port; 0: not known
};

PortOpenError PosixSerialLine::open(const char* path, int baud) {
  close();
  speed_t speed;
  if (!speedFor(baud, speed)) return PortOpenError::WrongDevice;

  // Non-blocking from the start: a port that waits for a carrier would otherwise hold open() forever.
  const int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return openErrorFor(errno);

  termios tio{};
  if (tcgetattr(fd, &tio) != 0) {  // not a terminal
    ::close(fd);
    return PortOpenError::WrongDevice;
  }
  cfmakeraw(&tio);
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP);
  tio.c_iflag |= IGNBRK;
  tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  // The interfaces use no modem line. The control flags are set whole, as the public ROBO Interface
  // library sets them: without HUPCL a close leaves DTR and RTS as they are, so that the reopen of a
  // "Wiederholen" does not toggle lines that an adapter or a cable may pass on; and nothing the port
  // kept from another program (flow control, two stop bits) stays.
  tio.c_cflag = CS8 | CREAD | CLOCAL;
  // A read never blocks (O_NONBLOCK); VMIN only tells poll how many bytes make the port readable,
  // and it does so only while VTIME is 0.
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0 || tcsetattr(fd, TCSANOW, &tio) != 0) {
    ::close(fd);
    return PortOpenError::WrongDevice;
  }
  // A second program on the same port would garble every exchange. TIOCEXCL makes further opens fail
  // (root may still open); where a device does not support it the port is used without.
  ioctl(fd, TIOCEXCL);
  tcflush(fd, TCIOFLUSH);
  fd_ = fd;
  wakeCount_ = 1;
  return PortOpenError::None;
}

void PosixSerialLine::close() {
  if (fd_ < 0) return;
  // The exclusive flag belongs to the terminal, not to this descriptor: give it back, so that this
  // program can open the port again while another descriptor (a test's, a terminal program's) keeps
  // it alive.
  ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
  wakeCount_ = 0;
}

long PosixSerialLine::write(const uint8_t* data, size_t size) {
  const ssize_t n = ::write(fd_, data, size);
  if (n >= 0) return n;
  if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) return 0;
  return -1;  // EIO, ENXIO, EPIPE
}

long PosixSerialLine::read(uint8_t* data, size_t room) {
  const ssize_t n = ::read(fd_, data, room);
  if (n > 0) return n;
  if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
  return -1;  // end of file: the other end has hung up; EIO, ENXIO: the device has gone
}

SerialLine::Wait PosixSerialLine::waitReadable(size_t count, Clock::time_point deadline) {
  if (fd_ < 0) return Wait::Gone;
  // poll wakes this thread once VMIN bytes are there, not once for each byte the line brings.
  count = std::clamp<size_t>(count, 1, 255);
  if (count != wakeCount_) {
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) return gone();
    tio.c_cc[VMIN] = static_cast<cc_t>(count);
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) return gone();
    wakeCount_ = count;
  }
  return waitFor(POLLIN, deadline);
}

SerialLine::Wait PosixSerialLine::waitFor(short events, Clock::time_point deadline) {
  if (fd_ < 0) return Wait::Gone;
  for (;;) {
    const auto left = deadline - Clock::now();
    // Rounded up, so that a rest below a millisecond waits instead of spinning. Past the deadline
    // one look without waiting: a thread that was kept from running until then still finds what
    // came in time.
    const auto ms =
        left > Clock::duration::zero() ? std::chrono::ceil<std::chrono::milliseconds>(left).count() : 0;
    pollfd p{fd_, events, 0};
    const int ready = poll(&p, 1, static_cast<int>(ms));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return gone();
    }
    if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return gone();
    if ((p.revents & events) != 0) return Wait::Ready;
    if (ms == 0) return Wait::TimedOut;
  }
}

void PosixSerialLine::sleepUntil(Clock::time_point until) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(until.time_since_epoch()).count();
  const timespec at{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
  // steady_clock is CLOCK_MONOTONIC; an absolute time makes a wait cut short by a signal go on.
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
  }
}

}  // namespace

std::unique_ptr<SerialLine> platformSerialLine() {
  return std::make_unique<PosixSerialLine>();
}

}  // namespace velomat
