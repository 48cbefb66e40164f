// A serial port over POSIX termios: 8N1, raw, no flow control, every transfer bounded by a deadline.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace velomat {

enum class PortResult {
  Ok,
  TimedOut,  // the deadline passed first; the port stays open
  Vanished,  // the device is gone (unplugged adapter, closed pty master); the port is closed
};

class SerialPort {
 public:
  using Clock = std::chrono::steady_clock;

  SerialPort() = default;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;
  ~SerialPort() { close(); }

  // Opens the terminal device at `path` with `baud` (9600 or 38400), 8N1, raw: no echo, no canonical
  // mode, no signals, no flow control, no CR/LF translation; not as controlling terminal, and
  // exclusive where the system allows it. False when the path is no terminal, is taken, or the baud
  // rate is not one of the two. Closes an open port first.
  bool open(const char* path, int baud);
  bool isOpen() const { return fd_ >= 0; }
  // Gives up exclusive use and closes. Harmless on a closed port.
  void close();

  // Drops whatever has come in and was not read, so that a late byte of an earlier exchange cannot
  // pass for a reply.
  void flushInput();
  // Writes all `size` bytes before `deadline`.
  PortResult writeAll(const uint8_t* data, size_t size, Clock::time_point deadline);
  // Reads exactly `size` bytes before `deadline`.
  PortResult readExact(uint8_t* data, size_t size, Clock::time_point deadline);
  // Bytes that have come in and wait to be read; 0 on a closed port.
  size_t pendingInput() const;

 private:
  // Waits until the port is ready for `events` or the deadline passes.
  PortResult waitFor(short events, Clock::time_point deadline);
  PortResult vanished();

  int fd_ = -1;
};

}  // namespace velomat
