#include "link/drivers/robo/hardware_robo_interface.h"

#include <utility>

#include "link/drivers/reply_bound.h"

namespace velomat {

namespace {

constexpr int kSerialBaud = 38400;
constexpr uint8_t kSerialOpen[] = {0xA1, 'f', 't', '-', 'R', 'o', 'b', 'o', '-', 'O', 'N', '-', 'V', '1'};
constexpr size_t kSerialOpenReplySize = 5;
constexpr uint8_t kSerialOpenReply = 0x5E;
constexpr uint8_t kSerialClose = 0xA2;
constexpr uint8_t kRadioProbeAnswer[] = {0xFA, 0x00};
// A drained IN endpoint brings nothing within this time; a late reply is already in the device then.
constexpr std::chrono::milliseconds kUsbQuiet{20};
constexpr int kUsbDrainLimit = 4;  // late replies dropped at most; more means the device keeps talking
// A vendor request to the RF Data Link is given up after this, as the public ROBO Interface library
// does: the link answers a probe at once, but may take its time for the session's open and close.
constexpr std::chrono::milliseconds kRadioRequestTimeout{1000};

// The four bytes of one module: its direction byte and the levels of its four motors, each given to
// both halves, three bits a half from the lowest bit on.
void encodeModule(uint8_t* block, uint32_t directions, uint32_t levelsOfFourMotors) {
  block[0] = static_cast<uint8_t>(directions & 0xFF);
  uint32_t halves = 0;
  for (int half = 0; half < 8; ++half) {
    const uint32_t level = (levelsOfFourMotors >> (4 * (half / 2))) & 7u;
    halves |= level << (3 * half);
  }
  block[1] = static_cast<uint8_t>(halves & 0xFF);
  block[2] = static_cast<uint8_t>((halves >> 8) & 0xFF);
  block[3] = static_cast<uint8_t>((halves >> 16) & 0xFF);
}

}  // namespace

void encodeRoboCommand(RoboPacket& packet, uint8_t command, uint32_t outputWord, uint32_t speedWord) {
  packet.fill(0);
  packet[0] = command;
  encodeModule(&packet[1], outputWord, speedWord & 0xFFFF);    // motors 1..4
  encodeModule(&packet[5], outputWord >> 8, speedWord >> 16);  // motors 5..8: first I/O extension
}

HardwareRoboInterface::HardwareRoboInterface(UsbTransport& usb, PortResolver ports)
    : usb_(usb), ports_(std::move(ports)) {}

HardwareRoboInterface::~HardwareRoboInterface() {
  closeConnection();
}

bool HardwareRoboInterface::open(RoboPort port, int32_t portNumber) {
  closeConnection();
  lastOpen_ = port;
  switch (port) {
    case RoboPort::Usb:
      return openWith(Kind::Usb);
    case RoboPort::Radio:
      return openWith(Kind::Radio);
    case RoboPort::Serial:
      path_ = ports_ ? ports_(portNumber) : std::string();
      return !path_.empty() && openWith(Kind::Serial);
  }
  return false;
}

PortOpenError HardwareRoboInterface::openError() const {
  if (lastOpen_ != RoboPort::Serial) return usb_.lastOpenError();
  return path_.empty() ? PortOpenError::NoSuchPort : port_.lastOpenError();
}

bool HardwareRoboInterface::openWith(Kind kind) {
  kind_ = kind;
  callSign_ = 0;
  commandSize_ = kind == Kind::Radio ? kRadioCommandSize : kRoboCommandSize;
  replySize_ = kind == Kind::Radio ? kRadioReplySize : kRoboReplySize;
  encode(0, 0);
  if (!relink() || !transmit() || !receive()) {
    closeConnection();  // ends a session that was opened
    return false;
  }
  extensions_.store(reply_[kRoboReplyExtensions], std::memory_order_relaxed);
  return true;
}

void HardwareRoboInterface::encode(uint32_t outputWord, uint32_t speedWord) {
  encodeRoboCommand(command_, kind_ == Kind::Radio ? kRadioCommand : kRoboCommand, outputWord, speedWord);
}

bool HardwareRoboInterface::relink() {
  replyPending_ = false;
  switch (kind_) {
    case Kind::Usb:
      linked_ = usb_.open(kUsbInterface);
      break;
    case Kind::Radio:
      // The open finds the call sign; a reconnection asks for that one only.
      linked_ = usb_.open(kRadioLink) &&
                (callSign_ == 0 ? findCallSign() : probe(callSign_) == Probe::There) && radioSession();
      if (!linked_) usb_.close();
      break;
    case Kind::Serial:
      linked_ = (port_.isOpen() || port_.open(path_.c_str(), kSerialBaud)) && serialSession();
      break;
    case Kind::None:
      linked_ = false;
      break;
  }
  if (linked_ && usbStale_) {
    // A stalled endpoint stays halted across the close and the open: cleared, it answers again.
    usb_.clearHalts();
    drainUsbReplies();
  }
  return linked_;
}

HardwareRoboInterface::Probe HardwareRoboInterface::probe(uint16_t callSign) {
  uint8_t answer[kRadioProbeSize] = {};
  const int got = usb_.controlIn(radioProbe(callSign), answer, kRadioProbeSize, kRadioRequestTimeout);
  if (got < 0) return Probe::NoAnswer;
  return got >= 2 && answer[0] == kRadioProbeAnswer[0] && answer[1] == kRadioProbeAnswer[1] ? Probe::There
                                                                                            : Probe::NotThere;
}

bool HardwareRoboInterface::findCallSign() {
  for (uint16_t n = kFirstCallSign; n <= kLastCallSign; ++n) {
    const Probe found = probe(n);
    // A link that answers no request would hold the open for a time-out on every call sign.
    if (found == Probe::NoAnswer) return false;
    if (found == Probe::There) {
      callSign_ = n;
      return true;
    }
  }
  return false;
}

bool HardwareRoboInterface::radioSession() {
  uint8_t answer[kRadioSessionOpenSize] = {};
  return usb_.controlIn(radioSessionOpen(callSign_), answer, kRadioSessionOpenSize, kRadioRequestTimeout) ==
         kRadioSessionOpenSize;
}

void HardwareRoboInterface::endRadioSession() {
  // The link answers 0xD7; the connection ends whatever it says.
  uint8_t answer[kRadioSessionCloseSize] = {};
  usb_.controlIn(radioSessionClose(callSign_), answer, kRadioSessionCloseSize, kRadioRequestTimeout);
}

// A reply that missed its bound stays in the device until the host asks for it: it would pass for the
// reply of the next command. Asked for with a short wait, it is dropped before any command goes out.
void HardwareRoboInterface::drainUsbReplies() {
  for (int i = 0; i < kUsbDrainLimit; ++i) {
    if (usb_.interruptIn(reply_.data(), static_cast<int>(replySize_), kUsbQuiet) < 0) break;
  }
  usbStale_ = false;
}

bool HardwareRoboInterface::serialSession() {
  // Late bytes of an exchange that failed must not pass for the session's answer (send settles).
  if (port_.send(kSerialOpen, sizeof kSerialOpen) != PortResult::Ok ||
      port_.readReply(reply_.data(), kSerialOpenReplySize) != PortResult::Ok) {
    return false;
  }
  if (reply_[0] != kSerialOpenReply) {
    port_.unsettle();
    return false;
  }
  return true;
}

// After a failed transfer nothing is known about the other end: the device is closed (a vanished
// serial port closed itself; one that is still there stays open) and the next call starts afresh.
void HardwareRoboInterface::unlink() {
  switch (kind_) {
    case Kind::Radio:
      endRadioSession();
      usb_.close();
      usbStale_ = true;
      break;
    case Kind::Usb:
      usb_.close();
      usbStale_ = true;
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
      if (linked_) {
        // The answer (0x5D) is awaited so that the interface has the request before the port
        // closes; what it says changes nothing.
        uint8_t answer = 0;
        if (port_.send(&kSerialClose, 1) == PortResult::Ok) port_.readReply(&answer, 1);
      }
      port_.close();
      break;
    case Kind::None:
      break;
  }
  kind_ = Kind::None;
  extensions_.store(-1, std::memory_order_relaxed);
  linked_ = false;
  replyPending_ = false;
  usbStale_ = false;
}

bool HardwareRoboInterface::transmit() {
  if (kind_ == Kind::Serial) {
    return port_.send(command_.data(), commandSize_) == PortResult::Ok;
  }
  return usb_.interruptOut(command_.data(), static_cast<int>(commandSize_), kReplyBound) ==
         static_cast<int>(commandSize_);
}

bool HardwareRoboInterface::receive() {
  if (kind_ == Kind::Serial) {
    return port_.readReply(reply_.data(), replySize_) == PortResult::Ok;
  }
  // Asked for with its own length: asking for more would wait for one more packet when the reply
  // happens to fill its last one.
  return usb_.interruptIn(reply_.data(), static_cast<int>(replySize_), kReplyBound) ==
         static_cast<int>(replySize_);
}

bool HardwareRoboInterface::sendOutputs(uint32_t outputWord, uint32_t speedWord) {
  if (kind_ == Kind::None) return false;
  encode(outputWord, speedWord);
  if (!linked_ && !relink()) return false;
  if (!transmit()) {
    unlink();
    return false;
  }
  replyPending_ = true;
  return true;
}

Inputs HardwareRoboInterface::readInputs() {
  if (kind_ == Kind::None) return std::nullopt;
  if (!linked_ && !relink()) return std::nullopt;
  if (!replyPending_ && !transmit()) {
    unlink();
    return std::nullopt;
  }
  replyPending_ = false;
  if (!receive()) {
    unlink();
    return std::nullopt;
  }
  extensions_.store(reply_[kRoboReplyExtensions], std::memory_order_relaxed);
  return decodeRoboInputs(reply_.data());
}

void HardwareRoboInterface::close() {
  closeConnection();
}

}  // namespace velomat
