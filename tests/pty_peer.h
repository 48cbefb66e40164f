// The far end of a pseudo-terminal, played by a thread as an interface would: it reads every command
// a driver writes to the terminal and writes back what the answer function says (peer_replies.h).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "peer_replies.h"

namespace velomat::testing {

class PtyPeer final : public PeerEnd<PtyPeer> {
 public:
  explicit PtyPeer(Answer answer, bool keepCommands = true,
                   std::chrono::nanoseconds byteTime = std::chrono::nanoseconds::zero())
      : PeerEnd(std::move(answer), keepCommands, byteTime) {
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

  const std::string& path() const { return path_; }

 private:
  friend class PeerEnd<PtyPeer>;

  bool writeBytes(const uint8_t* data, size_t size) { return size == 0 || write(master_, data, size) >= 0; }
  // steady_clock is CLOCK_MONOTONIC on Linux.
  static void sleepUntil(std::chrono::steady_clock::time_point t) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
    const timespec when{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &when, nullptr) != 0) {
    }
  }
  void hangUp() {
    close(master_);
    master_ = -1;
  }

  void run() {
    uint8_t buffer[256];
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 5) <= 0 || (p.revents & POLLIN) == 0) continue;
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n > 0 && !take(buffer, static_cast<size_t>(n))) return;
    }
  }

  int master_ = -1;
  int slave_ = -1;
  std::string path_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace velomat::testing
