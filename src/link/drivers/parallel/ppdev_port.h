// A parallel port reached through the kernel's ppdev driver (/dev/parportN). Opening the device needs
// write access to it: the group lp on Debian.
#pragma once

#include "link/drivers/parallel/parallel_port.h"

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

 private:
  int fd_ = -1;
};

}  // namespace velomat
