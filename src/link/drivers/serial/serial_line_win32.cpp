// A serial line over the comm functions of Win32.
//
// Windows' timer ticks every 15.6 ms by default, and a default-resolution wait (Sleep, a time-out)
// ends on a tick: a run paced by such waits would make a fifth of the exchanges the wire allows. So
// no exchange waits for one. A wait for reply bytes is a read with the port's own read time-out,
// which returns as soon as the bytes are there; only its time-out, which means a lost reply or a
// quiet line, ends on a tick. A wait on the clock is a high-resolution waitable timer; where the
// system has none (before Windows 10, version 1803) an ordinary one, with the timer resolution raised
// to 1 ms while the port is open and given back when it closes. docs/windows.md says more.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "link/drivers/reply_bound.h"
#include "link/drivers/serial/serial_line.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace velomat {

namespace {

using namespace std::chrono;

PortOpenError openErrorFor(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:  // a comm port is opened for one program at a time
    case ERROR_SHARING_VIOLATION:
      return PortOpenError::InUse;
    default:  // ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND
      return PortOpenError::NoSuchPort;
  }
}

class Win32SerialLine final : public SerialLine {
 public:
  ~Win32SerialLine() override {
    close();
    if (timer_ != nullptr) CloseHandle(timer_);
  }

  PortOpenError open(const char* path, int baud) override;
  bool isOpen() const override { return port_ != INVALID_HANDLE_VALUE; }
  void close() override;
  Clock::time_point now() const override { return Clock::now(); }
  long write(const uint8_t* data, size_t size) override;
  // WriteFile itself waits, bounded by the write time-out set at the open.
  Wait waitWritable(Clock::time_point deadline) override {
    return !isOpen() ? Wait::Gone : now() < deadline ? Wait::Ready : Wait::TimedOut;
  }
  long read(uint8_t* data, size_t room) override;
  Wait waitReadable(size_t count, Clock::time_point deadline) override;
  void sleepUntil(Clock::time_point until) override;
  void dropInput() override;

 private:
  // The read time-outs, set only when they change.
  bool readTimeouts(DWORD interval, DWORD total);
  Wait gone() {
    close();
    return Wait::Gone;
  }

  HANDLE port_ = INVALID_HANDLE_VALUE;
  HANDLE timer_ = nullptr;     // for waits on the clock
  bool coarseTimer_ = false;   // timer_ has the system's resolution, raised to 1 ms while a port is open
  bool periodRaised_ = false;  // timeBeginPeriod(1) is held
  DWORD readInterval_ = 0, readTotal_ = 0;
  // Bytes a wait for the reply has read already, handed out by read() before the port's own.
  std::array<uint8_t, 64> held_{};
  size_t heldFrom_ = 0, heldTo_ = 0;
};

PortOpenError Win32SerialLine::open(const char* path, int baud) {
  close();
  std::wstring name;
  for (const char* c = path; *c != '\0'; ++c) name.push_back(static_cast<unsigned char>(*c));
  // No sharing: a comm port is this program's alone while it is open.
  const HANDLE port = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (port == INVALID_HANDLE_VALUE) return openErrorFor(GetLastError());

  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(port, &dcb)) {  // no comm device
    CloseHandle(port);
    return PortOpenError::WrongDevice;
  }
  dcb.BaudRate = static_cast<DWORD>(baud);
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  // No flow control of any kind, and no byte is replaced or dropped: the replies are binary.
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fTXContinueOnXoff = TRUE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;  // a framing error must not stop every later read and write
  // DTR and RTS raised and left so, as an open on Linux leaves them: no handshake on either.
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;  // a read returns at once with what is there
  timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(kReplyBound.count());
  if (!SetCommState(port, &dcb) || !SetCommTimeouts(port, &timeouts)) {
    CloseHandle(port);
    return PortOpenError::WrongDevice;
  }
  PurgeComm(port, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
  port_ = port;
  readInterval_ = MAXDWORD;
  readTotal_ = 0;
  heldFrom_ = heldTo_ = 0;

  if (timer_ == nullptr) {
    timer_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (timer_ == nullptr) {
      timer_ = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
      coarseTimer_ = true;
    }
  }
  if (coarseTimer_ && !periodRaised_) periodRaised_ = timeBeginPeriod(1) == TIMERR_NOERROR;
  return PortOpenError::None;
}

void Win32SerialLine::close() {
  if (periodRaised_) timeEndPeriod(1);
  periodRaised_ = false;
  if (port_ == INVALID_HANDLE_VALUE) return;
  CloseHandle(port_);
  port_ = INVALID_HANDLE_VALUE;
  heldFrom_ = heldTo_ = 0;
}

bool Win32SerialLine::readTimeouts(DWORD interval, DWORD total) {
  if (interval == readInterval_ && total == readTotal_) return true;
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = interval;
  timeouts.ReadTotalTimeoutConstant = total;
  timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(kReplyBound.count());
  if (!SetCommTimeouts(port_, &timeouts)) return false;
  readInterval_ = interval;
  readTotal_ = total;
  return true;
}

long Win32SerialLine::write(const uint8_t* data, size_t size) {
  DWORD written = 0;
  if (!WriteFile(port_, data, static_cast<DWORD>(size), &written, nullptr)) return -1;  // unplugged
  return static_cast<long>(written);
}

long Win32SerialLine::read(uint8_t* data, size_t room) {
  const size_t held = std::min(room, heldTo_ - heldFrom_);
  std::memcpy(data, held_.data() + heldFrom_, held);
  heldFrom_ += held;
  if (held == room) return static_cast<long>(held);
  DWORD got = 0;
  if (!readTimeouts(MAXDWORD, 0) || !ReadFile(port_, data + held, static_cast<DWORD>(room - held), &got, nullptr)) {
    if (held > 0) return static_cast<long>(held);  // the next read finds the port gone
    close();
    return -1;
  }
  return static_cast<long>(held + got);
}

SerialLine::Wait Win32SerialLine::waitReadable(size_t count, Clock::time_point deadline) {
  if (!isOpen()) return Wait::Gone;
  for (;;) {
    COMSTAT status{};
    DWORD errors = 0;  // framing and overrun errors are cleared; the reply logic sees their bytes
    if (!ClearCommError(port_, &errors, &status)) return gone();
    const size_t held = heldTo_ - heldFrom_;
    if (held + status.cbInQue >= count) return Wait::Ready;
    const auto left = deadline - now();
    if (left <= Clock::duration::zero()) return Wait::TimedOut;
    if (heldFrom_ > 0) {  // room at the back for the missing bytes
      std::memmove(held_.data(), held_.data() + heldFrom_, held);
      heldFrom_ = 0;
      heldTo_ = held;
    }
    const size_t missing = std::min(count - held, held_.size() - heldTo_);
    if (missing == 0) return Wait::Ready;
    // The read returns when the missing bytes are there, or at the time-out.
    const DWORD ms = static_cast<DWORD>(std::max<long long>(1, ceil<milliseconds>(left).count()));
    DWORD got = 0;
    if (!readTimeouts(0, ms) ||
        !ReadFile(port_, held_.data() + heldTo_, static_cast<DWORD>(missing), &got, nullptr)) {
      return gone();
    }
    heldTo_ += got;
  }
}

void Win32SerialLine::sleepUntil(Clock::time_point until) {
  const auto left = until - now();
  if (left <= Clock::duration::zero()) return;
  LARGE_INTEGER due{};
  due.QuadPart = -std::max<long long>(1, ceil<duration<long long, std::ratio<1, 10'000'000>>>(left).count());
  if (timer_ != nullptr && SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE)) {
    // Bounded, in case the timer never fires.
    WaitForSingleObject(timer_, static_cast<DWORD>(ceil<milliseconds>(left).count()) + 100);
    return;
  }
  Sleep(static_cast<DWORD>(ceil<milliseconds>(left).count()));
}

void Win32SerialLine::dropInput() {
  heldFrom_ = heldTo_ = 0;
  if (isOpen()) PurgeComm(port_, PURGE_RXCLEAR);
}

}  // namespace

std::unique_ptr<SerialLine> platformSerialLine() {
  return std::make_unique<Win32SerialLine>();
}

}  // namespace velomat
