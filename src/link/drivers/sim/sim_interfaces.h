// Simulated interfaces behind the driver seam: what velomat-sim drives and what the tests drive.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

#include "link/drivers.h"
#include "link/drivers/sim/sim_wire.h"

namespace velomat::sim {

using namespace std::chrono_literals;

inline constexpr auto kIntIntExchangeTime = 3100us;           // 0xC1, one motor byte, one input byte
inline constexpr auto kIntIntExtensionExchangeTime = 5200us;  // 0xC2, two bytes each way
// On the parallel port there is no controller in the interface: the driver clocks the output bits of both
// modules into the shift registers and the input bits out of them itself, a few port accesses per bit
// with waits between the clock edges for the interface's slow logic and the long cable. That comes to
// about a millisecond, the same with or without a module, since the driver cannot see what hangs on
// the chain.
inline constexpr auto kIntIntParallelExchangeTime = 1ms;
inline constexpr auto kRoboExchangeTime = 10ms;
inline constexpr auto kIntIntWatchdog = 300ms;  // without an exchange the interface switches off
inline constexpr int kSimOutputs = 8;

struct SimOptions {
  bool paced = true;       // each exchange lasts as long as on the real link
  int shareWindow = 1000;  // exchanges over which an output's on-share is measured
};

// Direction code of output o in an output word: 1 left, 2 right, 0 off (no bit, or both bits).
uint8_t directionInWord(uint32_t outputWord, int output);

// The Intelligent Interface: on/off per output, with or without an extension module. Outputs 5..8 and
// inputs E9..E16 are the module's; they work only when the module is attached and the exchange reaches
// it: on the serial port when the program addresses it (interfaceType 2), on the parallel port always.
class SimIntelligentInterface final : public IntelligentInterfaceDriver {
 public:
  explicit SimIntelligentInterface(SimOptions options = {});

  uint32_t open(IntIntRecord& record, const char* portName) override;
  uint32_t exchange(IntIntRecord& record, uint32_t outputWord) override;
  void close(IntIntRecord& record) override;

  SimWire& wire() { return wire_; }
  const SimWire& wire() const { return wire_; }
  bool isOpen() const { return open_.load(); }

  // Whether an extension module hangs on the interface: a fact of the hardware, whatever the program
  // writes at open. Any thread; plugging it in or out takes effect from the next exchange.
  void setExtensionModule(bool attached) { module_.store(attached); }
  bool extensionModule() const { return module_.load(); }
  // The interfaceType of the last open (0 before the first).
  int32_t interfaceType() const { return type_.load(); }
  // Whether the exchanges reach the extension module, and so how many outputs and inputs work.
  bool hasExtension() const;
  int outputCount() const { return hasExtension() ? 8 : 4; }
  int inputCount() const { return hasExtension() ? 16 : 8; }
  int openCount() const { return opens_.load(); }
  int closeCount() const { return closes_.load(); }

  // Closes (true) or opens input E(k+1), k = 0..15. Any thread.
  void setInput(int k, bool closed);
  uint32_t inputs() const { return inputs_.load(); }

  // The outputs as the interface drives them at `now`: all off once the watchdog has tripped.
  uint32_t lastOutputWord() const { return lastOutputWord_.load(); }
  bool watchdogTripped(Clock::time_point now = Clock::now()) const;
  uint8_t direction(int output, Clock::time_point now = Clock::now()) const;
  // Share of the last exchanges (up to the window) in which the output was driven, 0..1.
  double onShare(int output, Clock::time_point now = Clock::now()) const;

 private:
  SimWire wire_;
  std::atomic<bool> open_{false};
  std::atomic<bool> module_{false};
  std::atomic<int32_t> type_{0};
  std::atomic<int> opens_{0};
  std::atomic<int> closes_{0};
  std::atomic<uint32_t> inputs_{0};
  std::atomic<uint32_t> lastOutputWord_{0};
  std::array<std::atomic<uint8_t>, kSimOutputs> lastDriven_{};  // direction of the last "on" exchange
  std::array<std::atomic<uint32_t>, kSimOutputs> onCount_{};    // "on" exchanges in the window
  std::atomic<uint32_t> filled_{0};                             // exchanges in the window
  std::vector<uint8_t> window_;  // bit o: output o driven; ring written by the exchanging thread
  size_t next_ = 0;
};

// The ROBO Interface: a speed level 0..7 per output, 8 inputs.
class SimRoboInterface final : public RoboInterfaceDriver {
 public:
  static constexpr uint32_t kHandle = 0x524F424F;

  explicit SimRoboInterface(SimOptions options = {});

  uint32_t openUsbOrRadio(uint32_t connectionCode, uint32_t reserved) override;
  uint32_t openSerial(uint32_t connectionCode, uint32_t portNumber, uint32_t reserved) override;
  uint32_t sendOutputs(uint32_t handle, uint32_t outputWord, uint32_t speedWord, uint32_t extraWord) override;
  uint32_t readInputs(uint32_t handle) override;
  void close(uint32_t handle) override;

  SimWire& wire() { return wire_; }
  const SimWire& wire() const { return wire_; }
  bool isOpen() const { return open_.load(); }
  int openCount() const { return opens_.load(); }
  int closeCount() const { return closes_.load(); }
  int outputCount() const { return 4; }
  int inputCount() const { return 8; }

  void setInput(int k, bool closed);
  uint32_t inputs() const { return inputs_.load(); }

  uint32_t lastOutputWord() const { return lastOutputWord_.load(); }
  uint32_t lastSpeedWord() const { return lastSpeedWord_.load(); }
  uint8_t direction(int output) const { return directionInWord(lastOutputWord(), output); }
  // The level 0..7 of a driven output (0 when it has no direction).
  int level(int output) const;

 private:
  uint32_t opened();
  bool sent(uint32_t handle) const { return open_.load() && handle == kHandle; }

  SimWire wire_;
  std::atomic<bool> open_{false};
  std::atomic<int> opens_{0};
  std::atomic<int> closes_{0};
  std::atomic<uint32_t> inputs_{0};
  std::atomic<uint32_t> lastOutputWord_{0};
  std::atomic<uint32_t> lastSpeedWord_{0};
};

}  // namespace velomat::sim
