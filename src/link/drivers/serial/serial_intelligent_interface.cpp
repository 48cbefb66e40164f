#include "link/drivers/serial/serial_intelligent_interface.h"

#include <cstring>
#include <string_view>
#include <utility>

namespace velomat {

namespace {

constexpr int kBaud = 9600;
constexpr uint8_t kExchange = 0xC1;
constexpr uint8_t kExchangeWithExtension = 0xC2;

}  // namespace

SerialIntelligentInterface::SerialIntelligentInterface(PortResolver ports) : ports_(std::move(ports)) {}

uint32_t SerialIntelligentInterface::open(IntIntRecord& record, const char* portName) {
  if (token_.issued()) {
    port_.close();
    token_.withdraw();
  }
  const int32_t type = record.interfaceType;
  if (portName == nullptr || (type != kIntIntSerial && type != kIntIntSerialWithExtension)) {
    return kIntIntFailure;
  }
  path_ = ports_ ? ports_(std::string_view(portName, strnlen(portName, kPortNameSize))) : std::string();
  if (path_.empty() || !port_.open(path_.c_str(), kBaud)) return kIntIntFailure;

  extension_ = type == kIntIntSerialWithExtension;
  if (transfer(0) == kIntIntFailure) {
    port_.close();
    return kIntIntFailure;
  }
  token_.issue(record);
  return 0;
}

uint32_t SerialIntelligentInterface::exchange(IntIntRecord& record, uint32_t outputWord) {
  if (!token_.owns(record)) return kIntIntFailure;
  // A port that vanished was closed; the adapter may be back under the same path.
  if (!port_.isOpen() && !port_.open(path_.c_str(), kBaud)) return kIntIntFailure;
  return transfer(outputWord);
}

uint32_t SerialIntelligentInterface::transfer(uint32_t outputWord) {
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
    return kIntIntFailure;
  }
  return replySize == 2 ? static_cast<uint32_t>(reply_[0] | reply_[1] << 8) : reply_[0];
}

void SerialIntelligentInterface::close(IntIntRecord& record) {
  if (!token_.owns(record)) return;
  port_.close();
  token_.withdraw(record);
}

}  // namespace velomat
