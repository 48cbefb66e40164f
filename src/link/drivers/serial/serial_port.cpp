#include "link/drivers/serial/serial_port.h"

#include <algorithm>
#include <cstring>

#include "link/drivers/reply_bound.h"

namespace velomat {

SerialPort::SerialPort() : own_(platformSerialLine()), line_(*own_) {}

SerialPort::SerialPort(SerialLine& line) : line_(line) {}

bool SerialPort::open(const char* path, int baud) {
  close();
  if (path == nullptr || (baud != 9600 && baud != 38400)) {
    openError_ = PortOpenError::WrongDevice;
    return false;
  }
  openError_ = line_.open(path, baud);
  if (openError_ != PortOpenError::None) return false;
  byteTime_ = std::chrono::nanoseconds(10'000'000'000LL / baud);  // start, 8 data and stop bit
  lineFreeAt_ = line_.now();
  return true;
}

PortResult SerialPort::vanished() {
  close();
  return PortResult::Vanished;
}

PortResult SerialPort::waitForBytes(size_t count, Clock::time_point deadline) {
  switch (line_.waitReadable(count, deadline)) {
    case SerialLine::Wait::Ready:
      return PortResult::Ok;
    case SerialLine::Wait::TimedOut:
      return PortResult::TimedOut;
    case SerialLine::Wait::Gone:
      break;
  }
  return vanished();
}

PortResult SerialPort::failed(PortResult result) {
  if (result != PortResult::Ok) {
    owed_ = true;
    // A reply that came out of step has come: only the line's falling quiet is waited for then.
    lateBytesOwed_ = lateBytesOwed_ || result != PortResult::Garbled;
    failedAt_ = line_.now();  // late bytes are counted from the last failure
  }
  return result;
}

void SerialPort::unsettle() {
  failed(PortResult::Garbled);
}

PortResult SerialPort::settle() {
  if (!owed_) return PortResult::Ok;
  if (!line_.isOpen()) return PortResult::Vanished;
  const Clock::time_point windowEnd = lateBytesOwed_ ? failedAt_ + kLateReplyWindow : failedAt_;
  const Clock::time_point giveUp = std::max(windowEnd, line_.now()) + kReplyBound;
  Clock::time_point lastByte = failedAt_;
  for (;;) {
    const Clock::time_point quietAt = std::max(windowEnd, lastByte + kQuietGap);
    const Clock::time_point now = line_.now();
    if (now >= quietAt) break;
    if (now >= giveUp) return PortResult::TimedOut;  // still talking: the next command tries again
    const PortResult waited = waitForBytes(1, std::min(quietAt, giveUp));
    if (waited == PortResult::Vanished) return waited;
    if (waited == PortResult::TimedOut) continue;
    const long n = line_.read(in_.data(), in_.size());
    if (n < 0) return vanished();
    if (n > 0) lastByte = line_.now();
  }
  line_.dropInput();
  owed_ = false;
  lateBytesOwed_ = false;
  checkNextReply_ = true;
  return PortResult::Ok;
}

PortResult SerialPort::writeAll(const uint8_t* data, size_t size, Clock::time_point deadline) {
  if (!line_.isOpen()) return PortResult::Vanished;
  size_t done = 0;
  while (done < size) {
    const long n = line_.write(data + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      // The bytes leave at the baud rate once they are handed over.
      lineFreeAt_ = std::max(lineFreeAt_, line_.now()) + byteTime_ * n;
      continue;
    }
    if (n < 0) return failed(vanished());
    const SerialLine::Wait waited = line_.waitWritable(deadline);
    if (waited == SerialLine::Wait::Gone) return failed(vanished());
    if (waited == SerialLine::Wait::TimedOut) return failed(PortResult::TimedOut);
  }
  return PortResult::Ok;
}

PortResult SerialPort::send(const uint8_t* data, size_t size) {
  if (!line_.isOpen()) return failed(PortResult::Vanished);
  if (size == 0 || size > command_.size()) return failed(PortResult::Garbled);
  std::memcpy(command_.data(), data, size);
  commandSize_ = size;
  // After a failure, late bytes are waited out first: the reply read next must be this command's.
  const PortResult settled = settle();
  if (settled != PortResult::Ok) return settled;
  // Whatever came in unasked is dropped, so that it cannot pass for the reply.
  line_.dropInput();
  replyDeadline_ = line_.now() + kReplyBound;
  return writeAll(command_.data(), commandSize_, replyDeadline_);
}

PortResult SerialPort::quietUntil(Clock::time_point until) {
  const PortResult waited = waitForBytes(1, until);
  return waited == PortResult::TimedOut ? PortResult::Ok
         : waited == PortResult::Ok     ? PortResult::Garbled
                                        : waited;
}

long SerialPort::readMore(size_t& done) {
  // Room for more than the reply, so that bytes beyond it are seen.
  const long n = line_.read(in_.data() + done, in_.size() - done);
  if (n > 0) done += static_cast<size_t>(n);
  return n;
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
  line_.sleepUntil(std::min(firstByteAt, deadline));
  size_t done = 0;
  if (readMore(done) < 0) return vanished();
  const bool soon = done > 0;
  if (soon) {
    // Sooner than any reply: a stray byte, or a peer without a wire (a pseudo-terminal's far end).
    // Such a reply counts only when it is whole with nothing behind it once its last byte would have
    // come.
    line_.sleepUntil(std::min(wholeAt + byteTime_ + kSurplusMargin, deadline));
    if (readMore(done) < 0) return vanished();
  } else if (size > 1) {
    line_.sleepUntil(std::min(wholeAt - byteTime_ / 2, deadline));
    // Most of the reply is here by now: taken at once, the wait below is set for what is missing.
    if (readMore(done) < 0) return vanished();
  }
  bool waited = false;
  while (done < size) {
    // Bytes still missing: the line wakes this thread once all of them are there.
    const PortResult ready = waitForBytes(size - done, deadline);
    if (ready != PortResult::Ok) return ready;
    if (readMore(done) < 0) return vanished();
    waited = true;
  }
  // The interface answers with exactly the reply; more bytes mean that something else is talking on
  // the line, and the reply cannot be trusted.
  if (done != size) return PortResult::Garbled;
  if (soon && waited) return quietUntil(line_.now() + byteTime_ + kSurplusMargin);
  return PortResult::Ok;
}

PortResult SerialPort::readReply(uint8_t* data, size_t size) {
  if (!line_.isOpen()) return failed(PortResult::Vanished);
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
    result = quietUntil(line_.now() + kQuietGap);
  }
  if (result != PortResult::Ok) return failed(result);
  std::memcpy(data, in_.data(), size);
  return PortResult::Ok;
}

}  // namespace velomat
