// A serial port that keeps every reply in step with its command: 8N1, raw, no flow control, every
// transfer bounded by a deadline. The platform's part is a SerialLine (serial_line.h).
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "link/drivers/port_open_error.h"
#include "link/drivers/serial/serial_line.h"

namespace velomat {

enum class PortResult {
  Ok,
  TimedOut,  // the deadline passed first; the port stays open
  Garbled,   // more bytes came than the reply has; the port stays open
  Vanished,  // the device is gone (unplugged adapter, closed pty master); the port is closed
};

// The interfaces answer without any mark of which command a reply belongs to. A reply that missed its
// bound may still come, and the rest of a short reply may follow: once an exchange has failed, every
// byte that comes within this time after the failure is taken for such a late byte and dropped.
inline constexpr std::chrono::milliseconds kLateReplyWindow{100};
// After that the line has to stay quiet this long before the next command goes out: longer than the
// 16 ms a common USB serial adapter holds received bytes back, and than any reply takes on the wire
// (5.5 ms, the ROBO Interface's 21 bytes at 38400 baud).
inline constexpr std::chrono::milliseconds kQuietGap{20};
// A reply that was whole sooner than a wire can carry it may be a stray byte and the first bytes of
// the real reply. Its last byte would then follow one byte time behind; this much more is left for a
// USB serial adapter's frame and the system's wake-up before the line counts as quiet.
inline constexpr std::chrono::microseconds kSurplusMargin{2000};

class SerialPort {
 public:
  using Clock = SerialLine::Clock;
  static constexpr size_t kMaxReply = 32;  // the longest reply readReply takes

  // On the platform's line.
  SerialPort();
  // On `line`, which outlives the port.
  explicit SerialPort(SerialLine& line);
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;
  ~SerialPort() { close(); }

  // Opens the device at `path` with `baud` (9600 or 38400), 8N1, raw: every byte value passes as it
  // is, no flow control, exclusive where the system allows it (see SerialLine::open). False when the
  // path is no serial port, is taken, or the baud rate is not one of the two; lastOpenError() says
  // which. Closes an open port first. A resynchronisation still owed from a failure before (see
  // settle) stays owed: the device behind the path may be the same.
  bool open(const char* path, int baud);
  bool isOpen() const { return line_.isOpen(); }
  // Why the last open failed; None after one that succeeded.
  PortOpenError lastOpenError() const { return openError_; }
  // Gives up exclusive use and closes. Harmless on a closed port.
  void close() { line_.close(); }

  // Before a command: when an exchange has failed since the last settle, waits out late bytes as
  // kLateReplyWindow (only after a missing reply or a failed write: a reply that came out of step
  // has come) and kQuietGap say, reading and dropping them. TimedOut when the line does not fall
  // quiet within kReplyBound after the window; Ok at once when nothing is owed. The wait is owed
  // again after every failed send or readReply, and after unsettle().
  PortResult settle();
  // For a reply that came whole but made no sense: its sender may still be talking.
  void unsettle();
  // A command: settles the line (see settle), drops what came in unasked and writes all `size` bytes
  // (1..kMaxReply) within kReplyBound. The command is kept for readReply.
  PortResult send(const uint8_t* data, size_t size);
  // Reads the reply of exactly `size` bytes (1..kMaxReply) to the last command sent, within
  // kReplyBound of that command. A longer reply is waited for on the clock until it can have crossed
  // the wire after the command, so that the thread is woken once for it and not once for each byte.
  //
  // The interfaces send nothing unasked and mark no reply, so one stray byte on the line (noise, a
  // framing error's 0x00, a byte an adapter delivers late) would shift every later reply by one. A
  // byte that is there before any byte of the reply can have crossed the wire (one look at that
  // moment; for a one-byte reply, the time its wake-up came) makes the reply count only when it is
  // whole with nothing behind it once its last byte would have followed (kSurplusMargin). A reply
  // out of step is never taken: the line is settled and the command goes out once more; Garbled
  // when that reply slips too. So a stray byte costs at most the inputs of one exchange, whose reply
  // it entered in the reply's own time, and the next exchange is in step again. Garbled also when
  // more bytes come than the reply has, and, for the first reply after a settle, when more come
  // within kQuietGap after it.
  PortResult readReply(uint8_t* data, size_t size);

 private:
  // Waits until `count` bytes are there or the deadline passes. At the deadline, what is already
  // there still counts.
  PortResult waitForBytes(size_t count, Clock::time_point deadline);
  // Writes all `size` bytes before `deadline`.
  PortResult writeAll(const uint8_t* data, size_t size, Clock::time_point deadline);
  // One look at the reply: its bytes in in_, Garbled when it is out of step with the command.
  PortResult readOnce(size_t size, Clock::time_point deadline);
  // Reads what has come in behind the `done` bytes in in_, without waiting: the count read, or -1
  // when the device is gone.
  long readMore(size_t& done);
  // Whether no byte comes in until `until`; Vanished when the device goes.
  PortResult quietUntil(Clock::time_point until);
  PortResult failed(PortResult result);
  PortResult vanished();

  std::unique_ptr<SerialLine> own_;  // the platform's line, unless a line was given
  SerialLine& line_;
  PortOpenError openError_ = PortOpenError::None;
  std::chrono::nanoseconds byteTime_{0};  // one byte on the wire at the port's baud rate
  Clock::time_point lineFreeAt_{};        // when the bytes written so far have left
  bool owed_ = false;                     // a failure since the last settle
  bool lateBytesOwed_ = false;            // that failure may have left a late reply on its way
  bool checkNextReply_ = false;           // the first reply after a settle is checked for a reply behind it
  Clock::time_point failedAt_{};
  Clock::time_point replyDeadline_{};         // the last command's reply is due by then
  std::array<uint8_t, 64> in_{};              // room for a reply and bytes beyond it
  std::array<uint8_t, kMaxReply> command_{};  // the last command, sent once more when its reply slips
  size_t commandSize_ = 0;
};

}  // namespace velomat
