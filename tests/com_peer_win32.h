// The far end of a serial line under Wine, played by a thread as an interface would. A Windows
// program cannot open a pseudo-terminal's master, so tests/com_pairs.py joins two pseudo-terminals
// into a null-modem cable before the suite starts: COM21 for the driver, COM22 for this peer, each a
// Wine COM port linked to one of them. The peer reads every command the driver writes to COM21 and
// writes back on COM22 what the answer function says (peer_replies.h).
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "peer_replies.h"

namespace velomat::testing {

class ComPeer final : public PeerEnd<ComPeer> {
 public:
  explicit ComPeer(Answer answer, bool keepCommands = true,
                   std::chrono::nanoseconds byteTime = std::chrono::nanoseconds::zero())
      : PeerEnd(std::move(answer), keepCommands, byteTime) {
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

  // What the driver opens.
  const std::string& path() const { return path_; }

 private:
  friend class PeerEnd<ComPeer>;

  bool writeBytes(const uint8_t* data, size_t size) {
    DWORD written = 0;
    return size == 0 ||
           (WriteFile(port_, data, static_cast<DWORD>(size), &written, nullptr) && written == size);
  }
  static void sleepUntil(std::chrono::steady_clock::time_point t) { std::this_thread::sleep_until(t); }
  [[noreturn]] static void hangUp() { throw std::logic_error("a null-modem cable cannot hang up"); }

  void run() {
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
      if (!take(buffer, n + more)) return;
    }
  }

  HANDLE port_ = INVALID_HANDLE_VALUE;
  std::string path_ = "\\\\.\\COM21";
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

using PtyPeer = ComPeer;

}  // namespace velomat::testing
