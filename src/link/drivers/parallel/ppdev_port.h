// A parallel port reached through the kernel's ppdev driver (/dev/parportN). Opening the device needs
// write access to it: the group lp on Debian. Windows gives a user program no way to a parallel port
// without a kernel driver of its own: there every claim is refused (ppdev_port_win32.cpp).
#pragma once

#include "link/drivers/parallel/parallel_port.h"
#include "link/drivers/port_open_error.h"

namespace velomat {

class PpdevPort final : public ParallelPort {
 public:
  PpdevPort() = default;
  ~PpdevPort() override { release(); }

  // Opens the device and asks for it exclusively (PPEXCL, then PPCLAIM): the claim fails while
  // another driver, such as the printer driver lp, has the port.
  bool claim(const char* path) override;
  bool writeData(uint8_t lines) override;     // PPWDATA
  bool readStatus(uint8_t& status) override;  // PPRSTATUS
  void pause(std::chrono::microseconds duration) override;
  std::chrono::nanoseconds now() const override;
  void release() override;  // PPRELEASE, then close

  bool isClaimed() const { return fd_ >= 0; }
  // Why the last claim failed; None after one that succeeded. Unsupported on Windows.
  PortOpenError lastOpenError() const override { return openError_; }

 private:
  int fd_ = -1;
  PortOpenError openError_ = PortOpenError::None;
};

}  // namespace velomat
