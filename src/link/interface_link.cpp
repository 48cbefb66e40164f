#include "link/interface_link.h"

#include <cstdio>
#include <cstring>
#include <thread>

namespace velomat {

namespace {

class RealSwitchOffClock final : public SwitchOffClock {
 public:
  std::chrono::steady_clock::time_point now() override { return std::chrono::steady_clock::now(); }
  void sleepFor(std::chrono::milliseconds pause) override { std::this_thread::sleep_for(pause); }
};

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

SwitchOffClock& realSwitchOffClock() {
  static RealSwitchOffClock clock;
  return clock;
}

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

uint32_t InterfaceLink::send(uint32_t outputWord, uint32_t speedWord, uint32_t extraWord) {
  if (connection_.isIntelligentInterface()) return intInt_.exchange(intIntRecord_, outputWord);
  // Outputs first, inputs second; a failed send is not followed by a read.
  const uint32_t sent = robo_.sendOutputs(roboHandle_, outputWord, speedWord, extraWord);
  return sent == kRoboFailure ? sent : robo_.readInputs(roboHandle_);
}

bool InterfaceLink::askRetry() {
  ++asked_;
  if (boxes_.show(kLostConnectionText, {}, BoxButtons::RetryCancel) != BoxAnswer::Cancel) return true;
  cancelled_.store(true, std::memory_order_release);
  beginEnding();
  return false;
}

void InterfaceLink::beginEnding() {
  ending_.store(true, std::memory_order_release);
  stopRequested_.store(1, std::memory_order_relaxed);
}

uint32_t InterfaceLink::exchangeIo(uint32_t outputWord, uint32_t speedWord, uint32_t extraWord) {
  for (;;) {
    const uint32_t result = send(outputWord, speedWord, extraWord);
    if (!isLinkFailure(result)) return result;
    // A user who is ending the program is not asked about the line; nor is one whose box was taken
    // away because the program is ending meanwhile.
    if (ending() || !askRetry() || ending()) return 0;
    // After a stop the words of the exchange under way must not go out again: the run ends, and its
    // all-off exchange is the next one.
    if (stopRequested_.load(std::memory_order_relaxed) != 0) return 0;
  }
}

bool InterfaceLink::switchOff() {
  using Clock = std::chrono::steady_clock;
  Clock::time_point giveUp{};
  for (;;) {
    if (!isLinkFailure(send(0, 0, 0))) return true;
    if (!ending() && askRetry() && !ending()) continue;
    // Ending: a glitch may be over within a few tries, so try again for a while before giving up.
    const Clock::time_point now = switchOffClock_->now();
    if (giveUp == Clock::time_point{}) giveUp = now + kSwitchOffWindow;
    if (now >= giveUp) return false;
    switchOffClock_->sleepFor(kSwitchOffPause);
  }
}

bool InterfaceLink::readInputsSwitchedOff(uint32_t& inputWord) {
  const uint32_t result = send(0, 0, 0);
  if (isLinkFailure(result)) return false;
  inputWord = result;
  return true;
}

void InterfaceLink::closeInterface() {
  if (connection_.isIntelligentInterface()) {
    intInt_.close(intIntRecord_);
  } else {
    robo_.close(roboHandle_);
  }
}

}  // namespace velomat
