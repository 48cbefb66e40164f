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
#include "link/drivers/record_token.h"
#include "link/drivers/serial/port_names.h"
#include "link/drivers/serial/serial_port.h"

namespace velomat {

class SerialIntelligentInterface final : public IntelligentInterfaceDriver {
 public:
  // `ports` turns "COM1".."COM4" into a device path (systemPortResolver() in the program).
  explicit SerialIntelligentInterface(PortResolver ports);

  // Opens the port for record.interfaceType 1 (serial) or 2 (serial with extension module) and makes
  // an all-off exchange; kIntIntFailure when the port cannot be opened or the interface does not
  // answer. A parallel port (type 10, "LPT1".."LPT3", "LPT") is not this driver's: it fails here, like
  // every other type; ParallelIntelligentInterface drives it over ppdev, and IntelligentInterfaceByPort
  // hands each open to the driver of its port. Opening again closes what was open.
  uint32_t open(IntIntRecord& record, const char* portName) override;
  // One exchange; the input word, or kIntIntFailure for a lost connection: no reply within
  // kReplyBound, a short or surplus reply, or a vanished port. After a lost connection every call
  // opens the port again when it is closed, so the exchange goes on once the interface is back, and
  // the first command after it waits until late bytes have been dropped and the line is quiet (see
  // SerialPort::settle): a reply is never taken for that of another command.
  uint32_t exchange(IntIntRecord& record, uint32_t outputWord) override;
  // Closes the port. Sends nothing: the program makes an all-off exchange before. Harmless for a
  // record that was never opened.
  void close(IntIntRecord& record) override;

 private:
  uint32_t transfer(uint32_t outputWord);

  PortResolver ports_;
  SerialPort port_;
  std::string path_;  // kept from the open, so that a lost port is opened again without allocating
  bool extension_ = false;
  RecordToken token_;
  std::array<uint8_t, 3> command_{};
  std::array<uint8_t, 2> reply_{};
};

}  // namespace velomat
