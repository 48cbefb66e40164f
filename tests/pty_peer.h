// The far end of a pseudo-terminal, played by a thread as an interface would: it reads every command
// a driver writes to the terminal and writes back what the answer function says.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "peer_replies.h"

namespace velomat::testing {

class PtyPeer {
 public:
  // `answer` gets each command and its number (0 for the first) and runs on the peer's thread.
  using Answer = std::function<PeerReply(const Bytes& command, int number)>;

  // With a `byteTime` each byte takes that long on the wire, as on a real line: the reply begins
  // when the command's last byte would have arrived, and each of its bytes is written when it would
  // have arrived, one at a time. Without one the reply is written at once.
  explicit PtyPeer(Answer answer, bool keepCommands = true,
                   std::chrono::nanoseconds byteTime = std::chrono::nanoseconds::zero())
      : answer_(std::move(answer)), keep_(keepCommands), byteTime_(byteTime) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[64];
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, name, sizeof name) != 0) {
      throw std::runtime_error("no pseudo-terminal");
    }
    path_ = name;
    // Held open so that the master does not see a hang-up before the driver opens the terminal and
    // after it closes it. It reads nothing and leaves the terminal's settings alone.
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    thread_ = std::thread([this] { run(); });
  }
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;
  ~PtyPeer() {
    stop_ = true;
    thread_.join();
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
  }

  // Whether every byte after a reply's first went out on time, as a wire would carry it. A machine too
  // busy to wake this thread when a byte is due breaks the line's timing, which no wire does: a
  // test of timing faults then runs again.
  bool paceKept() const { return paceKept_; }
  const std::string& path() const { return path_; }
  std::vector<Bytes> commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
  }

 private:
  // A byte that went out more than kPaceSlack after its time, behind the reply's first, breaks the
  // pace the reply was meant to keep.
  static constexpr std::chrono::microseconds kPaceSlack{1500};
  void notePace(size_t i, std::chrono::steady_clock::time_point due) {
    if (i > 0 && std::chrono::steady_clock::now() - due > kPaceSlack) paceKept_ = false;
  }
  static timespec at(std::chrono::steady_clock::time_point t) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
    return {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
  }
  // steady_clock is CLOCK_MONOTONIC on Linux.
  static void sleepUntil(std::chrono::steady_clock::time_point t) {
    const timespec when = at(t);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &when, nullptr) != 0) {
    }
  }

  bool send(const PeerReply& reply, size_t commandSize) {
    auto next = std::chrono::steady_clock::now() + reply.late + byteTime_ * static_cast<long>(commandSize);
    if (reply.late.count() != 0 || byteTime_.count() != 0) sleepUntil(next);
    if (byteTime_.count() == 0) {
      const size_t head = std::min(reply.pauseAt, reply.bytes.size());
      if (head > 0 && write(master_, reply.bytes.data(), head) < 0) return false;
      if (reply.pause.count() != 0) sleepUntil(std::chrono::steady_clock::now() + reply.pause);
      return head == reply.bytes.size() ||
             write(master_, reply.bytes.data() + head, reply.bytes.size() - head) >= 0;
    }
    for (size_t i = 0; i < reply.bytes.size(); ++i) {
      next += byteTime_ + (i == reply.pauseAt ? reply.pause : std::chrono::milliseconds::zero());
      sleepUntil(next);
      notePace(i, next);
      if (write(master_, &reply.bytes[i], 1) < 0) return false;
    }
    return true;
  }

  void run() {
    Bytes pending;
    int number = 0;
    uint8_t buffer[256];
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 5) <= 0 || (p.revents & POLLIN) == 0) continue;
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) continue;
      pending.insert(pending.end(), buffer, buffer + n);
      while (!pending.empty() && pending.size() >= commandSizeOf(pending[0])) {
        const Bytes command(pending.begin(), pending.begin() + static_cast<long>(commandSizeOf(pending[0])));
        pending.erase(pending.begin(), pending.begin() + static_cast<long>(command.size()));
        if (keep_) {
          std::lock_guard lock(mutex_);
          commands_.push_back(command);
        }
        const PeerReply reply = answer_(command, number++);
        if (!send(reply, command.size())) return;
        if (reply.hangUp) {
          close(master_);
          master_ = -1;
          return;
        }
      }
    }
  }

  Answer answer_;
  const bool keep_;
  const std::chrono::nanoseconds byteTime_;
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> paceKept_{true};
  mutable std::mutex mutex_;
  std::vector<Bytes> commands_;
  std::thread thread_;
};

}  // namespace velomat::testing
