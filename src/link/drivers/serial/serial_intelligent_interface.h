// The Intelligent Interface on a serial port, with or without extension module.
//
// One exchange at 9600 baud, 8N1: the host sends 0xC1 and the motor byte of motors 1-4 and reads one
// byte with the inputs E1-E8 (3.1 ms on the wire). With the extension module it sends 0xC2 and two
// motor bytes (motors 1-4, then 5-8) and reads two bytes with E1-E8 and E9-E16 (5.2 ms). In a motor
// byte, bit 2m turns motor m+1 left and bit 2m+1 right; both bits switch it off. The interface
// switches its motors off by itself when no command comes for about 300 ms.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "link/drivers.h"
#include "link/drivers/serial/port_names.h"
#include "link/drivers/serial/serial_port.h"

namespace velomat {

class SerialIntelligentInterface final : public IntelligentInterfaceDriver {
 public:
  // `ports` turns a port number into a device path (systemPortResolver() in the program).
  explicit SerialIntelligentInterface(PortResolver ports);

  // Opens serial port `portNumber` for the interface with or without its extension module (C2 or C1
  // exchanges) and makes an all-off exchange; false when the port cannot be opened or the interface
  // does not answer. A parallel port is not this driver's: it fails here; ParallelIntelligentInterface
  // drives it over ppdev, and IntelligentInterfaceByPort hands each open to the driver of its port.
  // Opening again closes what was open.
  bool open(IntIntPort port, int32_t portNumber) override;
  // One exchange; nothing for a lost connection: no reply within kReplyBound, a short or surplus
  // reply, or a vanished port. After a lost connection every call opens the port again when it is
  // closed, so the exchange goes on once the interface is back, and the first command after it waits
  // until late bytes have been dropped and the line is quiet (see SerialPort::settle): a reply is
  // never taken for that of another command.
  Inputs exchange(uint32_t outputWord) override;
  // Closes the port. Sends nothing: the program makes an all-off exchange before. Harmless when
  // nothing is open.
  void close() override;
  PortOpenError openError() const override { return port_.lastOpenError(); }

 private:
  Inputs transfer(uint32_t outputWord);

  PortResolver ports_;
  SerialPort port_;
  std::string path_;  // kept from the open, so that a lost port is opened again without allocating
  bool extension_ = false;
  bool opened_ = false;  // between a successful open and the close
  std::array<uint8_t, 3> command_{};
  std::array<uint8_t, 2> reply_{};
};

}  // namespace velomat
