// The ROBO Interface over USB, over the RF Data Link (radio) or over a serial port.
//
// A command packet holds, after its command byte, one block of four bytes for the interface itself
// and one for each I/O extension behind it: the direction byte (bit 2m motor m+1 left, 2m+1 right),
// then the eight 3-bit speed levels of the halves M1A, M1B, ... M4B, packed from the lowest bit on.
// Velomat drives the interface (bytes 1..4) and the first I/O extension (bytes 5..8: motors 5 to 8);
// the rest is 0. In the reply byte 0 holds the inputs E1..E8, byte 1 those of the first I/O extension,
// E9..E16.
//
// On USB and on a serial port the command is 0xF2 with 17 bytes, the reply 21 bytes. Over the serial
// port (38400 baud, 8N1) a session is opened with 0xA1 "ft-Robo-ON-V1" (answered with 5 bytes
// starting 0x5E) and closed with 0xA2 (answered 0x5D).
//
// The RF Data Link (USB product 0x0003) carries the command 0x8B with 32 bytes and a reply of 42, on
// endpoints 0x02 and 0x82. It reaches interfaces by their call sign 1..8: the open asks each call sign
// in turn (vendor request 0x52, answered FA 00 where an interface is) and talks to the first that
// answers, in a session opened with the vendor request 0xFB and closed with 0x21.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "link/drivers.h"
#include "link/drivers/serial/port_names.h"
#include "link/drivers/serial/serial_port.h"
#include "link/drivers/usb/usb_transport.h"

namespace velomat {

inline constexpr uint8_t kRoboCommand = 0xF2;  // USB and serial
inline constexpr size_t kRoboCommandSize = 17;
inline constexpr size_t kRoboReplySize = 21;
inline constexpr uint8_t kRadioCommand = 0x8B;  // RF Data Link
inline constexpr size_t kRadioCommandSize = 32;
inline constexpr size_t kRadioReplySize = 42;

using RoboPacket = std::array<uint8_t, kRadioCommandSize>;

// Fills `packet` with the command byte, the direction bits (outputWord bits 0..7 the interface's
// motors 1..4, bits 8..15 motors 5..8 on the first I/O extension) and the speed levels (speedWord bits
// 4o..4o+2: the level 0..7 of motor o+1, given to both of its halves A and B). Bits beyond these are
// not sent; every other byte is 0.
void encodeRoboCommand(RoboPacket& packet, uint8_t command, uint32_t outputWord, uint32_t speedWord);

// Where a reply counts the I/O extensions behind the interface (USB, serial and radio alike).
inline constexpr size_t kRoboReplyExtensions = 15;

// The input word of a reply: E1..E8 from byte 0, E9..E16 from byte 1.
inline uint32_t decodeRoboInputs(const uint8_t* reply) {
  return static_cast<uint32_t>(reply[0]) | static_cast<uint32_t>(reply[1]) << 8;
}

class HardwareRoboInterface final : public RoboInterfaceDriver {
 public:
  static constexpr UsbDeviceId kUsbInterface{0x146A, 0x0001, 0, 0x01, 0x81};
  static constexpr UsbDeviceId kRadioLink{0x146A, 0x0003, 0, 0x02, 0x82};
  static constexpr uint16_t kFirstCallSign = 1, kLastCallSign = 8;
  // Whether an interface answers on call sign n: wValue n << 8 | 5, 35 answer bytes beginning FA 00
  // (FA FF: none there).
  static constexpr UsbControlRequest radioProbe(uint16_t n) { return {0xC0, 0x52, uint16_t(n << 8 | 5), 0}; }
  static constexpr int kRadioProbeSize = 35;
  // The session with the interface on call sign n: opened with exactly 2 answer bytes, closed with
  // the one byte 0xD7.
  static constexpr UsbControlRequest radioSessionOpen(uint16_t n) {
    return {0xC0, 0xFB, uint16_t(n << 8 | 2), 1};
  }
  static constexpr int kRadioSessionOpenSize = 2;
  static constexpr UsbControlRequest radioSessionClose(uint16_t n) {
    return {0xC0, 0x21, uint16_t(n << 8), 0};
  }
  static constexpr int kRadioSessionCloseSize = 1;

  // `usb` reaches USB devices (a LibusbTransport in the program) and must outlive this object;
  // `ports` turns a serial port number into a device path (systemPortResolver()).
  HardwareRoboInterface(UsbTransport& usb, PortResolver ports);
  // Closes an open connection as close() does.
  ~HardwareRoboInterface() override;

  // Opens the ROBO Interface on USB, the interface on the first call sign that answers on the RF Data
  // Link, or the interface on serial port `portNumber`. Each open makes an all-off exchange; false
  // when there is no device, its interface cannot be claimed, no interface answers the radio link,
  // the session is refused or the interface does not answer. One connection at a time: an open
  // closes the one before.
  bool open(RoboPort port, int32_t portNumber) override;

  // After a failed transfer the connection is given up (USB device closed, radio session ended);
  // the next call looks for the device again (same vendor and product, or the same port path),
  // claims it, opens a new session and goes on. Over radio it talks to the same call sign again: it
  // never drives another model than the one it was opened for. Before the first command after a
  // failure, a reply that comes late is dropped (see SerialPort::settle; on USB whatever the IN
  // endpoint still holds), so that no reply is ever taken for that of a later command. After a close
  // both fail until the next open.

  // Sends the command; false when the transfer fails.
  bool sendOutputs(uint32_t outputWord, uint32_t speedWord) override;
  // Receives the reply: the inputs E1..E16, or nothing when no whole reply comes within kReplyBound.
  // Without a send since the last read the last command goes out again first.
  Inputs readInputs() override;
  // Ends the session (radio: its close request; serial: 0xA2) and closes the device.
  void close() override;
  // Byte 15 of the last reply, on every transport.
  int extensionModules() const override { return extensions_.load(std::memory_order_relaxed); }
  PortOpenError openError() const override;

 private:
  enum class Kind { None, Usb, Radio, Serial };
  enum class Probe { There, NotThere, NoAnswer };  // an interface on a call sign, or the link is silent

  bool openWith(Kind kind);
  bool relink();
  void unlink();
  void closeConnection();
  void encode(uint32_t outputWord, uint32_t speedWord);
  bool transmit();
  bool receive();
  bool serialSession();
  Probe probe(uint16_t callSign);
  bool findCallSign();
  bool radioSession();
  void endRadioSession();
  void drainUsbReplies();

  UsbTransport& usb_;
  PortResolver ports_;
  SerialPort port_;
  std::string path_;
  Kind kind_ = Kind::None;
  RoboPort lastOpen_ = RoboPort::Usb;  // how the last open tried to reach the interface
  bool linked_ = false;              // the device is open and its session stands
  bool replyPending_ = false;        // a command went out whose reply has not been read
  bool usbStale_ = false;            // a USB transfer failed: the IN endpoint may still hold a late reply
  uint16_t callSign_ = 0;            // radio: the interface's call sign; 0 until the open finds it
  std::atomic<int> extensions_{-1};  // written by the control loop, read by the GUI after an open
  size_t commandSize_ = kRoboCommandSize;
  size_t replySize_ = kRoboReplySize;
  RoboPacket command_{};
  std::array<uint8_t, kRadioReplySize> reply_{};  // room for the longest reply
};

}  // namespace velomat
