#include "link/drivers/usb/hardware_robo_interface.h"

#include <cstdio>
#include <utility>

#include "link/drivers/reply_bound.h"

namespace velomat {

namespace {

constexpr uint8_t kCommand = 0xF2;
constexpr int kSerialBaud = 38400;
constexpr uint32_t kSerialConnection = 70;
constexpr uint8_t kSerialOpen[] = {0xA1, 'f', 't', '-', 'R', 'o', 'b', 'o', '-', 'O', 'N', '-', 'V', '1'};
constexpr size_t kSerialOpenReplySize = 5;
constexpr uint8_t kSerialOpenReply = 0x5E;
constexpr uint8_t kSerialClose = 0xA2;

SerialPort::Clock::time_point replyDeadline() {
  return SerialPort::Clock::now() + kReplyBound;
}

}  // namespace

void encodeRoboCommand(std::array<uint8_t, kRoboCommandSize>& packet, uint32_t outputWord,
                       uint32_t speedWord) {
  packet.fill(0);
  packet[0] = kCommand;
  packet[1] = static_cast<uint8_t>(outputWord & 0xFF);
  // Halves M1A, M1B, M2A, M2B, ... M4B, three bits each, from bit 0 of byte 2 on.
  uint32_t levels = 0;
  for (int half = 0; half < 8; ++half) {
    const uint32_t level = (speedWord >> (4 * (half / 2))) & 7u;
    levels |= level << (3 * half);
  }
  packet[2] = static_cast<uint8_t>(levels & 0xFF);
  packet[3] = static_cast<uint8_t>((levels >> 8) & 0xFF);
  packet[4] = static_cast<uint8_t>((levels >> 16) & 0xFF);
}

HardwareRoboInterface::HardwareRoboInterface(UsbTransport& usb, PortResolver ports)
    : usb_(usb), ports_(std::move(ports)) {}

HardwareRoboInterface::~HardwareRoboInterface() {
  closeConnection();
}

uint32_t HardwareRoboInterface::openUsbOrRadio(uint32_t connectionCode, uint32_t) {
  closeConnection();
  return openWith(connectionCode == 0 ? Kind::Usb : Kind::Radio);
}

uint32_t HardwareRoboInterface::openSerial(uint32_t connectionCode, uint32_t portNumber, uint32_t) {
  closeConnection();
  if (connectionCode != kSerialConnection) return kRoboFailure;
  char name[16];
  std::snprintf(name, sizeof name, "COM%u", static_cast<unsigned>(portNumber));
  path_ = ports_ ? ports_(name) : std::string();
  if (path_.empty()) return kRoboFailure;
  return openWith(Kind::Serial);
}

uint32_t HardwareRoboInterface::openWith(Kind kind) {
  kind_ = kind;
  encodeRoboCommand(command_, 0, 0);
  if (!relink() || !transmit() || !receive()) {
    closeConnection();  // ends a session that was opened
    return kRoboFailure;
  }
  do {
    ++lastHandle_;
  } while (lastHandle_ == kRoboFailure || lastHandle_ == kRoboNoHandle);
  handle_ = lastHandle_;
  return handle_;
}

bool HardwareRoboInterface::relink() {
  replyPending_ = false;
  switch (kind_) {
    case Kind::Usb:
      linked_ = usb_.open(kUsbInterface);
      break;
    case Kind::Radio: {
      uint8_t answer[8];
      linked_ =
          usb_.open(kRadioLink) && usb_.controlIn(kRadioSessionOpen, answer, sizeof answer, kReplyBound) >= 0;
      if (!linked_) usb_.close();
      break;
    }
    case Kind::Serial:
      linked_ = (port_.isOpen() || port_.open(path_.c_str(), kSerialBaud)) && serialSession();
      break;
    case Kind::None:
      linked_ = false;
      break;
  }
  return linked_;
}

bool HardwareRoboInterface::serialSession() {
  // Late bytes of an exchange that failed must not pass for the session's answer.
  if (port_.settle() != PortResult::Ok) return false;
  const SerialPort::Clock::time_point deadline = replyDeadline();
  port_.flushInput();
  if (port_.writeAll(kSerialOpen, sizeof kSerialOpen, deadline) != PortResult::Ok ||
      port_.readReply(reply_.data(), kSerialOpenReplySize, deadline) != PortResult::Ok) {
    return false;
  }
  if (reply_[0] != kSerialOpenReply) {
    port_.unsettle();
    return false;
  }
  return true;
}

void HardwareRoboInterface::endRadioSession() {
  uint8_t answer[8];
  usb_.controlIn(kRadioSessionClose, answer, sizeof answer, kReplyBound);  // the answer is not needed
}

// After a failed transfer nothing is known about the other end: the device is closed (a vanished
// serial port closed itself; one that is still there stays open) and the next call starts afresh.
void HardwareRoboInterface::unlink() {
  switch (kind_) {
    case Kind::Radio:
      endRadioSession();
      usb_.close();
      break;
    case Kind::Usb:
      usb_.close();
      break;
    case Kind::Serial:
    case Kind::None:
      break;
  }
  linked_ = false;
  replyPending_ = false;
}

void HardwareRoboInterface::closeConnection() {
  switch (kind_) {
    case Kind::Radio:
      if (linked_) endRadioSession();
      usb_.close();
      break;
    case Kind::Usb:
      usb_.close();
      break;
    case Kind::Serial:
      if (linked_ && port_.settle() == PortResult::Ok) {
        // The answer (0x5D) is awaited so that the interface has the request before the port
        // closes; what it says changes nothing.
        const SerialPort::Clock::time_point deadline = replyDeadline();
        port_.flushInput();
        uint8_t answer = 0;
        if (port_.writeAll(&kSerialClose, 1, deadline) == PortResult::Ok)
          port_.readReply(&answer, 1, deadline);
      }
      port_.close();
      break;
    case Kind::None:
      break;
  }
  kind_ = Kind::None;
  linked_ = false;
  replyPending_ = false;
}

bool HardwareRoboInterface::transmit() {
  if (kind_ == Kind::Serial) {
    if (port_.settle() != PortResult::Ok) return false;
    port_.flushInput();
    return port_.writeAll(command_.data(), command_.size(), replyDeadline()) == PortResult::Ok;
  }
  return usb_.interruptOut(command_.data(), static_cast<int>(command_.size()), kReplyBound) ==
         static_cast<int>(command_.size());
}

bool HardwareRoboInterface::receive() {
  if (kind_ == Kind::Serial) {
    return port_.readReply(reply_.data(), reply_.size(), replyDeadline()) == PortResult::Ok;
  }
  return usb_.interruptIn(reply_.data(), static_cast<int>(reply_.size()), kReplyBound) ==
         static_cast<int>(reply_.size());
}

uint32_t HardwareRoboInterface::sendOutputs(uint32_t handle, uint32_t outputWord, uint32_t speedWord,
                                            uint32_t) {
  if (!owns(handle)) return kRoboFailure;
  encodeRoboCommand(command_, outputWord, speedWord);
  if (!linked_ && !relink()) return kRoboFailure;
  if (!transmit()) {
    unlink();
    return kRoboFailure;
  }
  replyPending_ = true;
  return 0;
}

uint32_t HardwareRoboInterface::readInputs(uint32_t handle) {
  if (!owns(handle)) return kRoboFailure;
  if (!linked_ && !relink()) return kRoboFailure;
  if (!replyPending_ && !transmit()) {
    unlink();
    return kRoboFailure;
  }
  replyPending_ = false;
  if (!receive()) {
    unlink();
    return kRoboFailure;
  }
  return reply_[0];
}

void HardwareRoboInterface::close(uint32_t handle) {
  if (owns(handle)) closeConnection();
}

}  // namespace velomat
