// The interface link as the control worker uses it: a lost connection is put to the user
// ("Verbindung zum Interface verloren", Retry or Cancel) until the program is ending, and the all-off
// exchange that ends a run is tried again for a while once it is.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "link/interface_link.h"
#include "link/message_box.h"

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

class RunLink {
 public:
  RunLink(InterfaceLink& link, std::atomic<uint8_t>& stopRequested, MessageBoxes& boxes)
      : link_(link), stopRequested_(stopRequested), boxes_(boxes) {}
  RunLink(const RunLink&) = delete;
  RunLink& operator=(const RunLink&) = delete;

  // One exchange: sends the words and returns the input word. A lost connection asks with Retry and
  // Cancel:
  //  - Retry sends the same words again, unless a stop has been asked for meanwhile: then it returns 0
  //    without sending, and the run's all-off exchange is the next thing the interface gets.
  //  - Cancel ends the program (see beginEnding) and returns 0; the run then ends with its all-off
  //    exchange and the program ends after it (RunEnd::Cancelled).
  // Once the program is ending nothing is asked: a failed exchange returns 0 at once.
  // Runs in the control loop.
  uint32_t exchangeIo(uint32_t outputWord, uint32_t speedWord);

  // The all-off exchange that ends every run: output and speed word 0. A lost connection asks as
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

  // Between runs, for the inputs: one all-off exchange that asks nobody when it fails. Control
  // worker's thread.
  Inputs readInputsSwitchedOff() { return link_.exchangeIo(0, 0); }

  // The clock switchOff's tries at the end run on (the real one unless set). Before the worker runs.
  void setSwitchOffClock(SwitchOffClock& clock) { switchOffClock_ = &clock; }

  // How often the user has been asked about a lost connection. Control worker's thread.
  unsigned asked() const { return asked_; }

 private:
  // Asks the user about a lost connection. True for Retry; Cancel begins the end.
  bool askRetry();

  InterfaceLink& link_;
  std::atomic<uint8_t>& stopRequested_;
  MessageBoxes& boxes_;
  SwitchOffClock* switchOffClock_ = &realSwitchOffClock();
  std::atomic<bool> ending_{false};
  std::atomic<bool> cancelled_{false};
  unsigned asked_ = 0;
};

}  // namespace velomat
