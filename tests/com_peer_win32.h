// The far end of a serial line under Wine, played by a thread as an interface would. A Windows
// program cannot open a pseudo-terminal's master, so tests/com_pairs.py joins two pseudo-terminals
// into a null-modem cable before the suite starts: COM21 for the driver, COM22 for this peer, each a
// Wine COM port linked to one of them. The peer reads every command the driver writes to COM21 and
// writes back on COM22 what the answer function says.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "peer_replies.h"

namespace velomat::testing {

class ComPeer {
 public:
  using Answer = std::function<PeerReply(const Bytes& command, int number)>;

  // As PtyPeer: with a `byteTime` each byte of a reply is written when a real line would deliver it.
  explicit ComPeer(Answer answer, bool keepCommands = true,
                   std::chrono::nanoseconds byteTime = std::chrono::nanoseconds::zero())
      : answer_(std::move(answer)), keep_(keepCommands), byteTime_(byteTime) {
    port_ = CreateFileW(L"\\\\.\\COM22", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (port_ == INVALID_HANDLE_VALUE || !GetCommState(port_, &dcb)) {
      throw std::runtime_error("no COM22: start the suite with tests/com_pairs.py");
    }
    dcb.BaudRate = 38400;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fOutX = dcb.fInX = dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = FALSE;
    // A read of one byte returns once it is there, or after 5 ms. (Wine ends a read that returns
    // with whatever came first only at its time-out, a command's time too late.)
    COMMTIMEOUTS timeouts{0, 0, 5, 0, 1000};
    if (!SetCommState(port_, &dcb) || !SetCommTimeouts(port_, &timeouts)) {
      throw std::runtime_error("COM22 is no serial port");
    }
    PurgeComm(port_, PURGE_RXCLEAR | PURGE_TXCLEAR);
    thread_ = std::thread([this] { run(); });
  }
  ComPeer(const ComPeer&) = delete;
  ComPeer& operator=(const ComPeer&) = delete;
  ~ComPeer() {
    stop_ = true;
    thread_.join();
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
  }

  // Whether every byte after a reply's first went out on time, as a wire would carry it. A machine too
  // busy to wake this thread when a byte is due breaks the line's timing, which no wire does: a
  // test of timing faults then runs again.
  bool paceKept() const { return paceKept_; }
  // What the driver opens.
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
  bool write(const uint8_t* data, size_t size) {
    DWORD written = 0;
    return size == 0 || (WriteFile(port_, data, static_cast<DWORD>(size), &written, nullptr) && written == size);
  }

  bool send(const PeerReply& reply, size_t commandSize) {
    auto next = std::chrono::steady_clock::now() + reply.late + byteTime_ * static_cast<long>(commandSize);
    if (reply.late.count() != 0 || byteTime_.count() != 0) std::this_thread::sleep_until(next);
    if (byteTime_.count() == 0) {
      const size_t head = std::min(reply.pauseAt, reply.bytes.size());
      if (!write(reply.bytes.data(), head)) return false;
      if (reply.pause.count() != 0) std::this_thread::sleep_for(reply.pause);
      return write(reply.bytes.data() + head, reply.bytes.size() - head);
    }
    for (size_t i = 0; i < reply.bytes.size(); ++i) {
      next += byteTime_ + (i == reply.pauseAt ? reply.pause : std::chrono::milliseconds::zero());
      std::this_thread::sleep_until(next);
      notePace(i, next);
      if (!write(&reply.bytes[i], 1)) return false;
    }
    return true;
  }

  void run() {
    Bytes pending;
    int number = 0;
    uint8_t buffer[256];
    while (!stop_) {
      DWORD n = 0;
      if (!ReadFile(port_, buffer, 1, &n, nullptr)) return;
      COMSTAT status{};
      DWORD errors = 0, more = 0;
      if (n == 1 && ClearCommError(port_, &errors, &status) && status.cbInQue > 0 &&
          !ReadFile(port_, buffer + 1, std::min<DWORD>(status.cbInQue, sizeof buffer - 1), &more, nullptr)) {
        return;
      }
      pending.insert(pending.end(), buffer, buffer + n + more);
      while (!pending.empty() && pending.size() >= commandSizeOf(pending[0])) {
        const Bytes command(pending.begin(), pending.begin() + static_cast<long>(commandSizeOf(pending[0])));
        pending.erase(pending.begin(), pending.begin() + static_cast<long>(command.size()));
        if (keep_) {
          std::lock_guard lock(mutex_);
          commands_.push_back(command);
        }
        const PeerReply reply = answer_(command, number++);
        if (!send(reply, command.size())) return;
        if (reply.hangUp) throw std::logic_error("a null-modem cable cannot hang up");
      }
    }
  }

  Answer answer_;
  const bool keep_;
  const std::chrono::nanoseconds byteTime_;
  HANDLE port_ = INVALID_HANDLE_VALUE;
  std::string path_ = "\\\\.\\COM21";
  std::atomic<bool> stop_{false};
  std::atomic<bool> paceKept_{true};
  mutable std::mutex mutex_;
  std::vector<Bytes> commands_;
  std::thread thread_;
};

using PtyPeer = ComPeer;

}  // namespace velomat::testing
