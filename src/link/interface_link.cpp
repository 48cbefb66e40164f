#include "link/interface_link.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace velomat {

void endProcess(int code) {
  std::fflush(nullptr);
  std::_Exit(code);
}

namespace {

// "COM3", "LPT2", or the plain prefix. A port number from a damaged file is cut to the eight bytes of
// the name (the driver then refuses the port) instead of running past them.
void formatPortName(char (&name)[kPortNameSize], const char* prefix, const int32_t* number) {
  char text[24];
  if (number != nullptr) {
    std::snprintf(text, sizeof text, "%s%1d", prefix, *number);
  } else {
    std::snprintf(text, sizeof text, "%s", prefix);
  }
  std::memcpy(name, text, kPortNameSize - 1);
  name[kPortNameSize - 1] = '\0';
}

}  // namespace

bool InterfaceLink::openInterface() {
  if (connection_.isIntelligentInterface()) {
    if (connection_.parallelPort) {
      intIntRecord_.interfaceType = kIntIntParallel;
      formatPortName(portName_, "LPT", connection_.portNumber < 4 ? &connection_.portNumber : nullptr);
    } else {
      intIntRecord_.interfaceType = connection_.hasExtension ? kIntIntSerialWithExtension : kIntIntSerial;
      formatPortName(portName_, "COM", &connection_.portNumber);
    }
    return intInt_.open(intIntRecord_, portName_) != kIntIntFailure;
  }

  if (connection_.interfaceKind == kRoboSerial) {
    roboHandle_ = robo_.openSerial(kRoboSerial, static_cast<uint32_t>(connection_.portNumber), 0);
  } else {
    // Every ROBO kind but USB and serial opens by radio.
    roboHandle_ = robo_.openUsbOrRadio(connection_.interfaceKind == kRoboUsb ? kRoboUsb : kRoboRadio, 0);
  }
  return roboHandle_ != kRoboFailure;
}

uint32_t InterfaceLink::exchangeIo(uint32_t outputWord, uint32_t speedWord, uint32_t extraWord) {
  for (;;) {
    uint32_t result;
    if (connection_.isIntelligentInterface()) {
      result = intInt_.exchange(intIntRecord_, outputWord);
    } else {
      // Outputs first, inputs second; a failed send is not followed by a read.
      result = robo_.sendOutputs(roboHandle_, outputWord, speedWord, extraWord);
      if (result != kRoboFailure) result = robo_.readInputs(roboHandle_);
    }
    if (!isLinkFailure(result)) return result;
    if (boxes_.show(kLostConnectionText, {}, BoxButtons::RetryCancel) == BoxAnswer::Cancel) {
      stopRequested_.store(1, std::memory_order_relaxed);
      endProcess(0);
    }
  }
}

void InterfaceLink::closeInterface() {
  if (connection_.isIntelligentInterface()) {
    intInt_.close(intIntRecord_);
  } else {
    robo_.close(roboHandle_);
  }
}

}  // namespace velomat
