// The one way to the interface hardware: open, exchange, close, through the driver of the connected
// interface family (the sign of interfaceKind chooses it on every call).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "link/drivers.h"
#include "link/message_box.h"
#include "records/connection.h"

namespace velomat {

inline constexpr const char* kLostConnectionText = "Verbindung zum Interface verloren";
// Told when the program ends and no all-off exchange reached the interface: only the interface's own
// time-out can switch its motors off then.
inline constexpr const char* kMotorsMayRunText =
    "Das Interface hat den Befehl zum Abschalten der Motoren nicht erhalten.\n\n"
    "Die Motoren können noch laufen. Dann schaltet sie nur noch das Interface selbst ab, wenn es eine "
    "Weile keinen Befehl mehr bekommt (das Intelligent Interface nach 300 ms).\n\n"
    "Schalten Sie das Interface aus, wenn sich das Modell noch bewegt.";
inline constexpr const char* kMotorsMayRunCaption = "Achtung";

// Once the program is ending, how long the all-off exchange is tried again before the program gives up
// on it, and how long it waits between two tries (a glitch on the line is over within a few of them).
inline constexpr std::chrono::milliseconds kSwitchOffWindow{1000};
inline constexpr std::chrono::milliseconds kSwitchOffPause{40};

// The time the all-off exchange's tries at the end are spaced and bounded by. The program runs on the
// real clock; a test drives its own, so the window of tries passes without waiting for it.
class SwitchOffClock {
 public:
  SwitchOffClock() = default;
  SwitchOffClock(const SwitchOffClock&) = delete;
  SwitchOffClock& operator=(const SwitchOffClock&) = delete;
  virtual ~SwitchOffClock() = default;

  // The current time. Control worker's thread.
  virtual std::chrono::steady_clock::time_point now() = 0;
  // Waits `pause` between two tries. Control worker's thread.
  virtual void sleepFor(std::chrono::milliseconds pause) = 0;
};

// std::chrono::steady_clock and std::this_thread::sleep_for.
SwitchOffClock& realSwitchOffClock();

class InterfaceLink {
 public:
  InterfaceLink(IntelligentInterfaceDriver& intInt, RoboInterfaceDriver& robo,
                const ConnectionSettings& connection, std::atomic<uint8_t>& stopRequested,
                MessageBoxes& boxes)
      : intInt_(intInt), robo_(robo), connection_(connection), stopRequested_(stopRequested), boxes_(boxes) {}
  InterfaceLink(const InterfaceLink&) = delete;
  InterfaceLink& operator=(const InterfaceLink&) = delete;

  // Opens the interface the connection settings name. True when the driver reports success. Shows
  // nothing; the caller reports a failure. GUI thread, before the control worker runs.
  bool openInterface();
  // Whether 8 motors are set on a ROBO Interface that counts no I/O extension behind it: motors 5 to 8
  // would be driven into nothing. GUI thread, after a successful open.
  bool extensionMissing() const {
    return !connection_.isIntelligentInterface() && connection_.motorCount == 8 &&
           robo_.extensionModules() == 0;
  }

  // One exchange: sends the words and returns the input word. Never returns a failure value. A lost
  // connection asks "Verbindung zum Interface verloren" with Retry and Cancel:
  //  - Retry sends the same three words again, unless a stop has been asked for meanwhile: then it
  //    returns 0 without sending, and the run's all-off exchange is the next thing the interface gets.
  //  - Cancel ends the program (see beginEnding) and returns 0; the run then ends with its all-off
  //    exchange and the program ends after it (RunEnd::Cancelled).
  // Once the program is ending nothing is asked: a failed exchange returns 0 at once.
  // Runs in the control loop.
  uint32_t exchangeIo(uint32_t outputWord, uint32_t speedWord, uint32_t extraWord);

  // The all-off exchange that ends every run: output, speed and third word 0. A lost connection asks as
  // exchangeIo does, and Retry sends the all-off words again. Once the program is ending it asks
  // nothing and tries again for up to kSwitchOffWindow. True when the all-off exchange reached the
  // interface. Control worker's thread.
  bool switchOff();

  // The program is ending ("Ende", the close box, a signal, Cancel in the lost-connection box): asks
  // for the stop, and from now on a lost connection is not put to the user. Any thread.
  void beginEnding();
  bool ending() const { return ending_.load(std::memory_order_acquire); }
  // Whether the program is ending because the user chose Cancel in the lost-connection box.
  bool cancelled() const { return cancelled_.load(std::memory_order_acquire); }

  // Between runs, for the inputs: one all-off exchange that asks nobody when it fails. True with the
  // input word when it went through. Control worker's thread.
  bool readInputsSwitchedOff(uint32_t& inputWord);

  // The clock switchOff's tries at the end run on (the real one unless set). Before the worker runs.
  void setSwitchOffClock(SwitchOffClock& clock) { switchOffClock_ = &clock; }

  // Closes the driver of the current interface family.
  void closeInterface();

  // How often the user has been asked about a lost connection. Control worker's thread.
  unsigned asked() const { return asked_; }

  const IntIntRecord& intIntRecord() const { return intIntRecord_; }
  uint32_t roboHandle() const { return roboHandle_; }
  const char* portName() const { return portName_; }

 private:
  // One try of the three words on the wire: the input word, or a failure value.
  uint32_t send(uint32_t outputWord, uint32_t speedWord, uint32_t extraWord);
  // Asks the user about a lost connection. True for Retry; Cancel begins the end.
  bool askRetry();

  IntelligentInterfaceDriver& intInt_;
  RoboInterfaceDriver& robo_;
  const ConnectionSettings& connection_;
  std::atomic<uint8_t>& stopRequested_;
  MessageBoxes& boxes_;
  SwitchOffClock* switchOffClock_ = &realSwitchOffClock();
  std::atomic<bool> ending_{false};
  std::atomic<bool> cancelled_{false};
  unsigned asked_ = 0;

  IntIntRecord intIntRecord_;
  uint32_t roboHandle_ = kRoboNoHandle;
  char portName_[kPortNameSize] = {};
};

}  // namespace velomat
