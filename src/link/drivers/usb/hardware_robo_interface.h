// The ROBO Interface over USB, over the RF Data Link (radio) or over a serial port.
//
// One exchange is the same on every connection: 17 bytes to the interface (0xF2, the direction byte,
// eight 3-bit speed levels packed from the lowest bit of byte 2 on, zeros) and 21 bytes back, of which
// byte 0 holds the inputs E1..E8. Over the serial port (38400 baud, 8N1) a session is opened with
// 0xA1 "ft-Robo-ON-V1" (answered with 5 bytes starting 0x5E) and closed with 0xA2 (answered 0x5D).
// The RF Data Link opens its session to the interface with a vendor request (0xC0, 0xFB) and closes
// it with another (0xC0, 0x21).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "link/drivers.h"
#include "link/drivers/serial/port_names.h"
#include "link/drivers/serial/serial_port.h"
#include "link/drivers/usb/usb_transport.h"

namespace velomat {

inline constexpr size_t kRoboCommandSize = 17;
inline constexpr size_t kRoboReplySize = 21;

// The command packet for the direction bits (outputWord bits 0..7: bit 2m motor m+1 left, 2m+1 right)
// and the speed levels (speedWord bits 4m..4m+2: the level 0..7 of motor m+1, given to both of its
// halves A and B). Bits beyond these are not sent.
void encodeRoboCommand(std::array<uint8_t, kRoboCommandSize>& packet, uint32_t outputWord,
                       uint32_t speedWord);

class HardwareRoboInterface final : public RoboInterfaceDriver {
 public:
  static constexpr UsbDeviceId kUsbInterface{0x146A, 0x0001, 0, 0x01, 0x81};
  static constexpr UsbDeviceId kRadioLink{0x146A, 0x0003, 0, 0x02, 0x82};
  // The RF Data Link can serve several interfaces; Velomat talks to the first (n = 1).
  static constexpr uint16_t kRadioInterface = 1;
  static constexpr UsbControlRequest kRadioSessionOpen{0xC0, 0xFB, kRadioInterface << 8 | 2, 1};
  static constexpr UsbControlRequest kRadioSessionClose{0xC0, 0x21, 0, 0};

  // `usb` reaches USB devices (a LibusbTransport in the program) and must outlive this object;
  // `ports` turns "COM1".."COM4" into a device path (systemPortResolver()).
  HardwareRoboInterface(UsbTransport& usb, PortResolver ports);
  // Closes an open connection as close() does.
  ~HardwareRoboInterface() override;

  // Connection code 0 opens the ROBO Interface on USB, any other code the first interface on the RF
  // Data Link. Serial needs code 70 and a port number (COM<portNumber>). Each open makes an all-off
  // exchange and returns a new handle, or kRoboFailure when there is no device, its interface cannot
  // be claimed, the session is refused or the interface does not answer. One connection at a time:
  // an open closes the one before, and its handle stops working.
  uint32_t openUsbOrRadio(uint32_t connectionCode, uint32_t reserved) override;
  uint32_t openSerial(uint32_t connectionCode, uint32_t portNumber, uint32_t reserved) override;

  // After a failed transfer the connection is given up (USB device closed, radio session ended);
  // the next call looks for the device again (same vendor and product, or the same port path),
  // claims it, opens a new session and goes on. An unknown or closed handle fails.

  // Sends the 17 command bytes: 0, or kRoboFailure when the transfer fails. extraWord is not used.
  uint32_t sendOutputs(uint32_t handle, uint32_t outputWord, uint32_t speedWord, uint32_t extraWord) override;
  // Receives the 21 reply bytes: the inputs E1..E8, or kRoboFailure when no full reply comes within
  // kReplyBound. Without a send since the last read the last command goes out again first.
  uint32_t readInputs(uint32_t handle) override;
  // Ends the session (radio: its close request; serial: 0xA2) and closes the device.
  void close(uint32_t handle) override;

 private:
  enum class Kind { None, Usb, Radio, Serial };

  uint32_t openWith(Kind kind);
  bool owns(uint32_t handle) const { return kind_ != Kind::None && handle == handle_; }
  bool relink();
  void unlink();
  void closeConnection();
  bool transmit();
  bool receive();
  bool serialSession();
  void endRadioSession();

  UsbTransport& usb_;
  PortResolver ports_;
  SerialPort port_;
  std::string path_;
  Kind kind_ = Kind::None;
  bool linked_ = false;        // the device is open and its session stands
  bool replyPending_ = false;  // a command went out whose reply has not been read
  uint32_t handle_ = 0;
  uint32_t lastHandle_ = 0;
  std::array<uint8_t, kRoboCommandSize> command_{};
  std::array<uint8_t, kRoboReplySize> reply_{};
};

}  // namespace velomat
