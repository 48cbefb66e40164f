// The driver seam: one abstract class per interface family, one member per operation, in the program's
// own terms. A driver serves one connection at a time: an open closes the one before, and after a
// close every exchange fails until the next open.
#pragma once

#include <cstdint>
#include <optional>

#include "link/drivers/port_open_error.h"

namespace velomat {

// The inputs an exchange brought back (bit k is input E(k+1)), or nothing: the connection is lost.
using Inputs = std::optional<uint32_t>;

// Where an Intelligent Interface hangs and how it is addressed: on a serial port with or without its
// extension module (one motor byte and one input byte, or two of each), or on a parallel port, whose
// chain always carries both modules.
enum class IntIntPort : uint8_t { Serial, SerialWithExtension, Parallel };

// How a ROBO Interface is reached.
enum class RoboPort : uint8_t { Usb, Radio, Serial };

// The Intelligent Interface. A device has one owner: no copies, no moves.
class IntelligentInterfaceDriver {
 public:
  IntelligentInterfaceDriver() = default;
  IntelligentInterfaceDriver(const IntelligentInterfaceDriver&) = delete;
  IntelligentInterfaceDriver& operator=(const IntelligentInterfaceDriver&) = delete;
  virtual ~IntelligentInterfaceDriver() = default;

  // Opens the interface on port `portNumber` (COMn, or LPTn on a parallel port, where 4 and above
  // stand for the first parallel port there is) and makes an all-off exchange. False when the port
  // has no device or the interface does not answer. GUI thread.
  virtual bool open(IntIntPort port, int32_t portNumber) = 0;

  // Sets the outputs (two bits per motor: bit 2m left, 2m+1 right) and returns the inputs.
  // Runs in the control loop: blocks for one exchange on the wire at most, must not allocate.
  virtual Inputs exchange(uint32_t outputWord) = 0;

  // Closes the interface. Sends nothing: the program makes its all-off exchange before.
  virtual void close() = 0;

  // Why the last open failed where the port itself said no (another program holds it, the system
  // cannot reach such a port); None otherwise. GUI thread.
  virtual PortOpenError openError() const { return PortOpenError::None; }
};

// The ROBO Interface.
class RoboInterfaceDriver {
 public:
  RoboInterfaceDriver() = default;
  RoboInterfaceDriver(const RoboInterfaceDriver&) = delete;
  RoboInterfaceDriver& operator=(const RoboInterfaceDriver&) = delete;
  virtual ~RoboInterfaceDriver() = default;

  // Opens a ROBO Interface over USB, radio or serial port `portNumber` (COMn; not used otherwise) and
  // makes an all-off exchange. False when there is no such device or the interface does not answer.
  // GUI thread.
  virtual bool open(RoboPort port, int32_t portNumber) = 0;

  // Sends the direction bits and the speed levels (four bits per output). False when the connection
  // is lost.
  // Runs in the control loop: blocks for one exchange on the wire at most, must not allocate.
  virtual bool sendOutputs(uint32_t outputWord, uint32_t speedWord) = 0;

  // The interface's inputs. Runs in the control loop, right after sendOutputs.
  virtual Inputs readInputs() = 0;

  // Closes the interface.
  virtual void close() = 0;

  // How many I/O extensions the interface counted in its last reply, or -1 when none has said. GUI
  // thread, after an open; never in the control loop.
  virtual int extensionModules() const { return -1; }

  // As IntelligentInterfaceDriver::openError; also a USB device the system gives no driver to reach.
  virtual PortOpenError openError() const { return PortOpenError::None; }
};

}  // namespace velomat
