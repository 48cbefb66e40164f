// What a serial port does on one platform, below the reply logic that SerialPort keeps for all of
// them: termios and poll on Linux (serial_line_posix.cpp), the comm functions of Win32 on Windows
// (serial_line_win32.cpp). Tests put a line of their own in its place, with a clock they drive.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "link/drivers/port_open_error.h"

namespace velomat {

// One port at a time, one thread at a time (the GUI thread while opening, then the control worker).
// Every member but open and close runs in the control loop: none may allocate, and none waits beyond
// the deadline it is given (sleepUntil: beyond its time).
class SerialLine {
 public:
  using Clock = std::chrono::steady_clock;
  enum class Wait {
    Ready,     // what was waited for is there
    TimedOut,  // the deadline passed first
    Gone,      // the device is gone (unplugged adapter, closed pty master); the line is closed
  };

  SerialLine() = default;
  SerialLine(const SerialLine&) = delete;
  SerialLine& operator=(const SerialLine&) = delete;
  virtual ~SerialLine() = default;

  // Opens the device at `path` with `baud` (9600 or 38400), 8N1, raw (every byte value passes as it
  // is), no flow control of any kind, for this program alone where the system allows it; what came in
  // before is dropped. None on success. Closes an open line first. May allocate.
  virtual PortOpenError open(const char* path, int baud) = 0;
  virtual bool isOpen() const = 0;
  // Gives the device back. Harmless on a closed line.
  virtual void close() = 0;

  // The clock every deadline and time below is on.
  virtual Clock::time_point now() const = 0;
  // Hands over as many of the `size` bytes as the line takes now: the count, 0 when it takes none
  // yet, -1 when the device is gone.
  virtual long write(const uint8_t* data, size_t size) = 0;
  // Waits until the line takes bytes again, or the deadline passes.
  virtual Wait waitWritable(Clock::time_point deadline) = 0;
  // Reads what has come in, at most `room` bytes, without waiting: the count (0: nothing yet), -1
  // when the device is gone.
  virtual long read(uint8_t* data, size_t room) = 0;
  // Waits until `count` (1..255) bytes have come in unread, or the deadline passes. A wait that
  // bytes end wakes the thread once, when the last of them is there, not once for each. At the
  // deadline, what is there already counts.
  virtual Wait waitReadable(size_t count, Clock::time_point deadline) = 0;
  // Waits on the clock, not on the line, until `until`, to well below a millisecond.
  virtual void sleepUntil(Clock::time_point until) = 0;
  // Drops what has come in and not been read.
  virtual void dropInput() = 0;
};

// The line of the platform the program is built for.
std::unique_ptr<SerialLine> platformSerialLine();

}  // namespace velomat
