#include "link/drivers/serial/serial_intelligent_interface.h"

#include <utility>

namespace velomat {

namespace {

constexpr int kBaud = 9600;
constexpr uint8_t kExchange = 0xC1;
constexpr uint8_t kExchangeWithExtension = 0xC2;

}  // namespace

SerialIntelligentInterface::SerialIntelligentInterface(PortResolver ports) : ports_(std::move(ports)) {}

bool SerialIntelligentInterface::open(IntIntPort port, int32_t portNumber) {
  close();
  if (port == IntIntPort::Parallel) return false;
  path_ = ports_ ? ports_(portNumber) : std::string();
  if (path_.empty() || !port_.open(path_.c_str(), kBaud)) return false;

  extension_ = port == IntIntPort::SerialWithExtension;
  if (!transfer(0)) {
    port_.close();
    return false;
  }
  opened_ = true;
  return true;
}

Inputs SerialIntelligentInterface::exchange(uint32_t outputWord) {
  if (!opened_) return std::nullopt;
  // A port that vanished was closed; the adapter may be back under the same path.
  if (!port_.isOpen() && !port_.open(path_.c_str(), kBaud)) return std::nullopt;
  return transfer(outputWord);
}

Inputs SerialIntelligentInterface::transfer(uint32_t outputWord) {
  size_t commandSize = 2, replySize = 1;
  command_[0] = kExchange;
  command_[1] = static_cast<uint8_t>(outputWord & 0xFF);
  if (extension_) {
    command_[0] = kExchangeWithExtension;
    command_[2] = static_cast<uint8_t>((outputWord >> 8) & 0xFF);
    commandSize = 3;
    replySize = 2;
  }

  if (port_.send(command_.data(), commandSize) != PortResult::Ok ||
      port_.readReply(reply_.data(), replySize) != PortResult::Ok) {
    return std::nullopt;
  }
  return replySize == 2 ? static_cast<uint32_t>(reply_[0] | reply_[1] << 8) : reply_[0];
}

void SerialIntelligentInterface::close() {
  if (!opened_) return;
  port_.close();
  opened_ = false;
}

}  // namespace velomat
