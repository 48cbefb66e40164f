// What a far end that plays an interface answers, whatever carries its bytes: a pseudo-terminal
// (pty_peer.h) or, under Wine, a COM port (com_peer_win32.h).
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace velomat::testing {

using Bytes = std::vector<uint8_t>;

// One byte on a line at `baud`: start bit, eight data bits, stop bit.
constexpr std::chrono::nanoseconds byteTimeAt(int baud) {
  return std::chrono::nanoseconds(10'000'000'000LL / baud);
}

struct PeerReply {
  Bytes bytes;                        // written back at once; none: the peer stays silent
  bool hangUp = false;                // then the peer closes its end, as an unplugged adapter would
  std::chrono::milliseconds late{0};  // the reply starts this much later than the wire allows
  size_t pauseAt = 0;                 // the line stops `pause` long before this byte of the reply
  std::chrono::milliseconds pause{0};
};

// The length of a command by its first byte; an unknown byte counts as a command of its own.
inline size_t commandSizeOf(uint8_t first) {
  return first == 0xC1 ? 2 : first == 0xC2 ? 3 : first == 0xA1 ? 14 : first == 0xF2 ? 17 : 1;
}

// What every far end does with the bytes a driver sends, whatever carries them. `Line`, the class
// built on it, writes bytes (`bool writeBytes(const uint8_t*, size_t)`, true for none), waits until a
// time (`sleepUntil`) and hangs up (`hangUp`), and hands what it reads to `take`.
template <typename Line>
class PeerEnd {
 public:
  // `answer` gets each command and its number (0 for the first) and runs on the peer's thread.
  using Answer = std::function<PeerReply(const Bytes& command, int number)>;

  // With a `byteTime` each byte takes that long on the wire, as on a real line: the reply begins
  // when the command's last byte would have arrived, and each of its bytes is written when it would
  // have arrived, one at a time. Without one the reply is written at once.
  PeerEnd(Answer answer, bool keepCommands, std::chrono::nanoseconds byteTime)
      : answer_(std::move(answer)), keep_(keepCommands), byteTime_(byteTime) {}

  // Whether every byte after a reply's first went out on time, as a wire would carry it. A machine too
  // busy to wake the peer's thread when a byte is due breaks the line's timing, which no wire does: a
  // test of timing faults then runs again.
  bool paceKept() const { return paceKept_; }
  std::vector<Bytes> commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
  }

 protected:
  // Takes `size` bytes the driver sent and answers each whole command among them. False once the end
  // answers no more: a write failed, or a reply hung up.
  bool take(const uint8_t* data, size_t size) {
    pending_.insert(pending_.end(), data, data + size);
    while (!pending_.empty() && pending_.size() >= commandSizeOf(pending_[0])) {
      const auto end = pending_.begin() + static_cast<long>(commandSizeOf(pending_[0]));
      const Bytes command(pending_.begin(), end);
      pending_.erase(pending_.begin(), end);
      if (keep_) {
        std::lock_guard lock(mutex_);
        commands_.push_back(command);
      }
      const PeerReply reply = answer_(command, number_++);
      if (!send(reply, command.size())) return false;
      if (reply.hangUp) {
        line().hangUp();
        return false;
      }
    }
    return true;
  }

 private:
  // A byte that went out more than kPaceSlack after its time, behind the reply's first, breaks the
  // pace the reply was meant to keep.
  static constexpr std::chrono::microseconds kPaceSlack{1500};

  Line& line() { return static_cast<Line&>(*this); }

  bool send(const PeerReply& reply, size_t commandSize) {
    using Clock = std::chrono::steady_clock;
    auto next = Clock::now() + reply.late + byteTime_ * static_cast<long>(commandSize);
    if (reply.late.count() != 0 || byteTime_.count() != 0) line().sleepUntil(next);
    if (byteTime_.count() == 0) {
      const size_t head = std::min(reply.pauseAt, reply.bytes.size());
      if (!line().writeBytes(reply.bytes.data(), head)) return false;
      if (reply.pause.count() != 0) line().sleepUntil(Clock::now() + reply.pause);
      return line().writeBytes(reply.bytes.data() + head, reply.bytes.size() - head);
    }
    for (size_t i = 0; i < reply.bytes.size(); ++i) {
      next += byteTime_ + (i == reply.pauseAt ? reply.pause : std::chrono::milliseconds::zero());
      line().sleepUntil(next);
      if (i > 0 && Clock::now() - next > kPaceSlack) paceKept_ = false;
      if (!line().writeBytes(&reply.bytes[i], 1)) return false;
    }
    return true;
  }

  Answer answer_;
  const bool keep_;
  const std::chrono::nanoseconds byteTime_;
  std::atomic<bool> paceKept_{true};
  mutable std::mutex mutex_;
  std::vector<Bytes> commands_;
  Bytes pending_;   // the start of a command not yet whole
  int number_ = 0;  // of the next command
};

// The Intelligent Interface: it answers 0xC1 with the low byte of `inputs` and 0xC2 with both bytes.
inline PeerReply intelligentInterfaceReply(const Bytes& command, uint16_t inputs) {
  const uint8_t low = inputs & 0xFF, high = inputs >> 8;
  return command[0] == 0xC1 ? PeerReply{{low}} : command[0] == 0xC2 ? PeerReply{{low, high}} : PeerReply{};
}

// The ROBO Interface on a serial port: session open and close, and 21 bytes for each command with
// the inputs E1..E8 in byte 0 and E9..E16 (its first I/O extension) in byte 1.
inline PeerReply roboInterfaceReply(const Bytes& command, uint16_t inputs) {
  Bytes reply(21, 0xEE);
  reply[0] = inputs & 0xFF;
  reply[1] = inputs >> 8;
  return command[0] == 0xA1   ? PeerReply{{0x5E, 0x01, 0x02, 0x03, 0x04}}
         : command[0] == 0xA2 ? PeerReply{{0x5D}}
         : command[0] == 0xF2 ? PeerReply{reply}
                              : PeerReply{};
}

}  // namespace velomat::testing
