// The few operations on a PC parallel port that the parallel interface needs, behind a seam of their
// own: PpdevPort reaches a real port through ppdev, the tests put a bit-level model of the interface in
// its place.
#pragma once

#include <chrono>
#include <cstdint>

#include "link/drivers/port_open_error.h"

namespace velomat {

// One port at a time; one thread at a time (the GUI thread while opening, then the control worker).
class ParallelPort {
 public:
  ParallelPort() = default;
  ParallelPort(const ParallelPort&) = delete;
  ParallelPort& operator=(const ParallelPort&) = delete;
  virtual ~ParallelPort() = default;

  // Opens the port device at `path` and claims the port for this program alone, so that no printer
  // driver moves the data lines while the interface listens to them. False when the device is missing,
  // is no parallel port, may not be opened by this user, or is claimed by another driver. Releases
  // what was claimed before. May allocate; never called in the control loop.
  virtual bool claim(const char* path) = 0;

  // Drives the data lines D0..D7 (bit k = Dk). False when the port is gone.
  // Runs in the control loop: one port access, must not block or allocate.
  virtual bool writeData(uint8_t lines) = 0;

  // Reads the status register as a PC port shows it: bit 7 is the BUSY pin inverted, bits 3..6 the
  // other status pins. False when the port is gone.
  // Runs in the control loop: one port access, must not block or allocate.
  virtual bool readStatus(uint8_t& status) = 0;

  // Waits for at least `duration`. Only while opening, never in the control loop.
  virtual void pause(std::chrono::microseconds duration) = 0;
  // A monotonic clock, for timing the interface's pulses while opening.
  virtual std::chrono::nanoseconds now() const = 0;

  // Gives the port back and closes the device. Harmless when nothing is claimed.
  virtual void release() = 0;

  // Why the last claim failed where the port said why; None otherwise.
  virtual PortOpenError lastOpenError() const { return PortOpenError::None; }
};

}  // namespace velomat
