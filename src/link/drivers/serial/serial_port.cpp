#include "link/drivers/serial/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "link/drivers/reply_bound.h"

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
    return false;
  }
  // A second program on the same port would garble every exchange. TIOCEXCL makes further opens fail
  // (root may still open); where a device does not support it the port is used without.
  ioctl(fd, TIOCEXCL);
  tcflush(fd, TCIOFLUSH);
  fd_ = fd;
  wakeCount_ = 1;
  byteTime_ = std::chrono::nanoseconds(10'000'000'000LL / baud);  // start, 8 data and stop bit
  lineFreeAt_ = Clock::now();
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
  wakeCount_ = 0;
}

PortResult SerialPort::vanished() {
  close();
  return PortResult::Vanished;
}

PortResult SerialPort::waitFor(short events, Clock::time_point deadline) {
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
      return vanished();
    }
    if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return vanished();
    if ((p.revents & events) != 0) return PortResult::Ok;
    if (ms == 0) return PortResult::TimedOut;
  }
}

void SerialPort::waitOffTheLine(Clock::time_point until) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(until.time_since_epoch()).count();
  const timespec at{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
  // steady_clock is CLOCK_MONOTONIC; an absolute time makes a wait cut short by a signal go on.
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
  }
}

bool SerialPort::wakeAfter(size_t count) {
  count = std::clamp<size_t>(count, 1, 255);
  if (count == wakeCount_) return true;
  termios tio{};
  if (tcgetattr(fd_, &tio) != 0) return false;
  tio.c_cc[VMIN] = static_cast<cc_t>(count);
  if (tcsetattr(fd_, TCSANOW, &tio) != 0) return false;
  wakeCount_ = count;
  return true;
}

PortResult SerialPort::failed(PortResult result) {
  if (result != PortResult::Ok) {
    owed_ = true;
    // A reply that came out of step has come: only the line's falling quiet is waited for then.
    lateBytesOwed_ = lateBytesOwed_ || result != PortResult::Garbled;
    failedAt_ = Clock::now();  // late bytes are counted from the last failure
  }
  return result;
}

void SerialPort::unsettle() {
  failed(PortResult::Garbled);
}

PortResult SerialPort::settle() {
  if (!owed_) return PortResult::Ok;
  if (fd_ < 0) return PortResult::Vanished;
  if (!wakeAfter(1)) return vanished();
  const Clock::time_point windowEnd = lateBytesOwed_ ? failedAt_ + kLateReplyWindow : failedAt_;
  const Clock::time_point giveUp = std::max(windowEnd, Clock::now()) + kReplyBound;
  Clock::time_point lastByte = failedAt_;
  for (;;) {
    const Clock::time_point quietAt = std::max(windowEnd, lastByte + kQuietGap);
    const Clock::time_point now = Clock::now();
    if (now >= quietAt) break;
    if (now >= giveUp) return PortResult::TimedOut;  // still talking: the next command tries again
    const PortResult waited = waitFor(POLLIN, std::min(quietAt, giveUp));
    if (waited == PortResult::Vanished) return waited;
    if (waited == PortResult::TimedOut) continue;
    const ssize_t n = ::read(fd_, in_.data(), in_.size());
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) return vanished();
    if (n > 0) lastByte = Clock::now();
  }
  tcflush(fd_, TCIFLUSH);
  owed_ = false;
  lateBytesOwed_ = false;
  checkNextReply_ = true;
  return PortResult::Ok;
}

PortResult SerialPort::writeAll(const uint8_t* data, size_t size, Clock::time_point deadline) {
  if (fd_ < 0) return PortResult::Vanished;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd_, data + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      // The bytes leave at the baud rate once they are handed over.
      lineFreeAt_ = std::max(lineFreeAt_, Clock::now()) + byteTime_ * n;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return failed(vanished());  // EIO, ENXIO, EPIPE
    const PortResult waited = waitFor(POLLOUT, deadline);
    if (waited != PortResult::Ok) return failed(waited);
  }
  return PortResult::Ok;
}

PortResult SerialPort::send(const uint8_t* data, size_t size) {
  if (fd_ < 0) return failed(PortResult::Vanished);
  if (size == 0 || size > command_.size()) return failed(PortResult::Garbled);
  std::memcpy(command_.data(), data, size);
  commandSize_ = size;
  // After a failure, late bytes are waited out first: the reply read next must be this command's.
  const PortResult settled = settle();
  if (settled != PortResult::Ok) return settled;
  // Whatever came in unasked is dropped, so that it cannot pass for the reply.
  tcflush(fd_, TCIFLUSH);
  replyDeadline_ = Clock::now() + kReplyBound;
  return writeAll(command_.data(), commandSize_, replyDeadline_);
}

PortResult SerialPort::quietUntil(Clock::time_point until) {
  if (!wakeAfter(1)) return vanished();
  const PortResult waited = waitFor(POLLIN, until);
  return waited == PortResult::TimedOut ? PortResult::Ok
         : waited == PortResult::Ok     ? PortResult::Garbled
                                        : waited;
}

ssize_t SerialPort::readMore(size_t& done) {
  // Room for more than the reply, so that bytes beyond it are seen.
  const ssize_t n = ::read(fd_, in_.data() + done, in_.size() - done);
  if (n > 0) done += static_cast<size_t>(n);
  if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
  return n == 0 ? -1 : n;  // end of file: the other end has hung up; EIO, ENXIO: the device has gone
}

PortResult SerialPort::readOnce(size_t size, Clock::time_point deadline) {
  // The interface answers once the command has crossed the wire, so no byte of its reply can be here
  // before another byte time has passed; half a byte is left for a clock that saw the command leave
  // a little late.
  const Clock::time_point firstByteAt = lineFreeAt_ + byteTime_ / 2;
  const Clock::time_point wholeAt = lineFreeAt_ + byteTime_ * static_cast<long>(size);
  // The reply is waited for on the clock: a thread that waits on a terminal is woken for every byte
  // the line brings. One look before its first byte can be here finds a byte that is not its; a look
  // at a set time, not the time a wake-up came, so that a thread the system runs late is not fooled.
  waitOffTheLine(std::min(firstByteAt, deadline));
  size_t done = 0;
  if (readMore(done) < 0) return vanished();
  const bool soon = done > 0;
  if (soon) {
    // Sooner than any reply: a stray byte, or a peer without a wire (a pseudo-terminal's far end).
    // Such a reply counts only when it is whole with nothing behind it once its last byte would have
    // come.
    waitOffTheLine(std::min(wholeAt + byteTime_ + kSurplusMargin, deadline));
    if (readMore(done) < 0) return vanished();
  } else if (size > 1) {
    waitOffTheLine(std::min(wholeAt - byteTime_ / 2, deadline));
    // Most of the reply is here by now: taken at once, the wait below is set for what is missing.
    if (readMore(done) < 0) return vanished();
  }
  bool waited = false;
  while (done < size) {
    // Bytes still missing: poll wakes this thread once all of them are there.
    if (!wakeAfter(size - done)) return vanished();
    const PortResult ready = waitFor(POLLIN, deadline);
    if (ready != PortResult::Ok) return ready;
    if (readMore(done) < 0) return vanished();
    waited = true;
  }
  // The interface answers with exactly the reply; more bytes mean that something else is talking on
  // the line, and the reply cannot be trusted.
  if (done != size) return PortResult::Garbled;
  if (soon && waited) return quietUntil(Clock::now() + byteTime_ + kSurplusMargin);
  return PortResult::Ok;
}

PortResult SerialPort::readReply(uint8_t* data, size_t size) {
  if (fd_ < 0) return failed(PortResult::Vanished);
  if (size == 0 || size > kMaxReply || commandSize_ == 0) return failed(PortResult::Garbled);
  PortResult result = readOnce(size, replyDeadline_);
  if (result == PortResult::Garbled) {
    // Out of step: once the line is quiet the same command goes out again, and its reply counts.
    failed(result);
    result = send(command_.data(), commandSize_);
    if (result == PortResult::Ok) result = readOnce(size, replyDeadline_);
  }
  if (result == PortResult::Ok && checkNextReply_) {
    // The first reply after a failure may still be one that came later than the late-reply window.
    // An interface answers its commands in turn, so the reply to this command would then follow it
    // at once: the line has to stay quiet a while before the reply counts.
    checkNextReply_ = false;
    result = quietUntil(Clock::now() + kQuietGap);
  }
  if (result != PortResult::Ok) return failed(result);
  std::memcpy(data, in_.data(), size);
  return PortResult::Ok;
}

}  // namespace velomat
