#include "link/interface_link.h"

namespace velomat {

bool InterfaceLink::openInterface() {
  const ConnectionSettings& c = connection_;
  if (c.isIntelligentInterface()) {
    // On a parallel port the chain carries both modules whether or not the extension is ticked.
    const IntIntPort port = c.parallelPort   ? IntIntPort::Parallel
                            : c.hasExtension ? IntIntPort::SerialWithExtension
                                             : IntIntPort::Serial;
    return intInt_.open(port, c.portNumber);
  }
  // Every ROBO kind but USB and serial opens by radio.
  const RoboPort port = c.interfaceKind == kRoboUsb      ? RoboPort::Usb
                        : c.interfaceKind == kRoboSerial ? RoboPort::Serial
                                                         : RoboPort::Radio;
  return robo_.open(port, c.portNumber);
}

std::string InterfaceLink::openFailureReason() const {
  const ConnectionSettings& c = connection_;
  if (c.isIntelligentInterface()) {
    const bool anyLpt = c.parallelPort && c.portNumber >= 4;
    const std::string name = anyLpt ? "LPT" : (c.parallelPort ? "LPT" : "COM") + std::to_string(c.portNumber);
    return portOpenErrorText(intInt_.openError(), name);
  }
  const std::string name = c.interfaceKind == kRoboSerial ? "COM" + std::to_string(c.portNumber) : "USB";
  return portOpenErrorText(robo_.openError(), name);
}

Inputs InterfaceLink::exchangeIo(uint32_t outputWord, uint32_t speedWord) {
  if (connection_.isIntelligentInterface()) return intInt_.exchange(outputWord);
  if (!robo_.sendOutputs(outputWord, speedWord)) return std::nullopt;
  return robo_.readInputs();
}

void InterfaceLink::closeInterface() {
  if (connection_.isIntelligentInterface()) {
    intInt_.close();
  } else {
    robo_.close();
  }
}

}  // namespace velomat
