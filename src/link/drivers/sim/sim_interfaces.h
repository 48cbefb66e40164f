// Simulated interfaces behind the driver seam: what velomat-sim drives and what the tests drive.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

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
// An output's on-share is the part of this time during which the interface drove it: short enough that
// a gauge follows the stick at once, long enough to even out the software PWM's pulses.
inline constexpr auto kShareWindow = 150ms;
inline constexpr auto kShareSlice = 10ms;  // the share is kept in slices of this time

struct SimOptions {
  bool paced = true;  // each exchange lasts as long as on the real link (see SimWire)
};

// Direction code of output o in an output word: 1 left, 2 right, 0 off (no bit, or both bits).
uint8_t directionInWord(uint32_t outputWord, int output);

// The Intelligent Interface: on/off per output, with or without an extension module. Outputs 5..8 and
// inputs E9..E16 are the module's; they work only when the module is attached and the exchange reaches
// it: on the serial port when the program addresses it (IntIntPort::SerialWithExtension), on the
// parallel port always.
class SimIntelligentInterface final : public IntelligentInterfaceDriver {
 public:
  explicit SimIntelligentInterface(SimOptions options = {});

  bool open(IntIntPort port, int32_t portNumber) override;
  Inputs exchange(uint32_t outputWord) override;
  void close() override;

  SimWire& wire() { return wire_; }
  const SimWire& wire() const { return wire_; }
  bool isOpen() const { return open_.load(); }

  // Whether an extension module hangs on the interface: a fact of the hardware, whatever the program
  // writes at open. Any thread; plugging it in or out takes effect from the next exchange.
  void setExtensionModule(bool attached) { module_.store(attached); }
  bool extensionModule() const { return module_.load(); }
  // The port of the last open (nothing before the first).
  std::optional<IntIntPort> port() const;
  // Whether the exchanges reach the extension module, and so how many outputs and inputs work.
  bool hasExtension() const;
  int outputCount() const { return hasExtension() ? 8 : 4; }
  int inputCount() const { return hasExtension() ? 16 : 8; }
  int openCount() const { return opens_.load(); }
  int closeCount() const { return closes_.load(); }

  // Closes (true) or opens input E(k+1), k = 0..15. Any thread.
  void setInput(int k, bool closed);
  uint32_t inputs() const { return inputs_.load(); }

  // The outputs as the interface drives them at `now` (without it: now on the simulation's clock):
  // all off once the watchdog has tripped. Any thread.
  uint32_t lastOutputWord() const { return lastOutputWord_.load(); }
  bool watchdogTripped(Clock::time_point now) const;
  bool watchdogTripped() const { return watchdogTripped(wire_.now()); }
  // The direction of the output's last driven exchange while it is driven or its on-share is above 0.
  uint8_t direction(int output, Clock::time_point now) const;
  uint8_t direction(int output) const { return direction(output, wire_.now()); }
  // The part of the last kShareWindow (of the time since the first exchange, if that is shorter)
  // during which the interface drove the output, 0..1: an output holds what an exchange set until the
  // next exchange, or until the watchdog switches it off.
  double onShare(int output, Clock::time_point now) const;
  double onShare(int output) const { return onShare(output, wire_.now()); }

 private:
  static constexpr int kShareSlices = static_cast<int>(kShareWindow / kShareSlice);
  static constexpr Clock::rep kNever = -1;

  // How long each output was driven within one slice of time.
  struct ShareSlice {
    std::atomic<int64_t> index{-1};  // which slice since the clock's epoch these times belong to
    std::array<std::atomic<Clock::rep>, kSimOutputs> driven{};
  };

  // Adds [from, to) to the driven time of the outputs in `outputs` (bit o: output o). Exchanging thread.
  void credit(Clock::time_point from, Clock::time_point to, uint8_t outputs);
  static int64_t heldWord(Clock::time_point at, uint8_t outputs);
  static Clock::time_point heldSince(int64_t word);

  SimWire wire_;
  std::atomic<bool> open_{false};
  std::atomic<bool> module_{false};
  std::atomic<int> port_{-1};  // an IntIntPort, -1 before the first open
  std::atomic<int> opens_{0};
  std::atomic<int> closes_{0};
  std::atomic<uint32_t> inputs_{0};
  std::atomic<uint32_t> lastOutputWord_{0};
  std::array<std::atomic<uint8_t>, kSimOutputs> lastDriven_{};  // direction of the last "on" exchange

  // The on-share's record, written by the exchanging thread alone and read by any thread without a
  // lock: a read that meets an exchange half done counts the time since the previous exchange once
  // too often or too few, which the next read puts right.
  std::atomic<Clock::rep> firstExchange_{kNever};  // since the open
  // The last exchange: its time in microseconds since the clock's epoch, shifted up by 8, and below
  // it bit o set for output o driven since then (kNever before the first exchange). One word, so a
  // reader never pairs one exchange's time with another's outputs.
  std::atomic<int64_t> held_{kNever};
  std::array<ShareSlice, kShareSlices + 1> slices_{};  // one more than the window: the one being filled
};

// The ROBO Interface: a speed level 0..7 per output, 8 inputs; with its first I/O extension plugged in,
// motors 5..8 and inputs E9..E16 as well, and the extension counted in every reply.
class SimRoboInterface final : public RoboInterfaceDriver {
 public:
  explicit SimRoboInterface(SimOptions options = {});

  bool open(RoboPort port, int32_t portNumber) override;
  bool sendOutputs(uint32_t outputWord, uint32_t speedWord) override;
  Inputs readInputs() override;
  void close() override;
  // The I/O extensions the interface counts behind it: 1 with the extension plugged in, else 0.
  int extensionModules() const override { return module_.load() ? 1 : 0; }

  SimWire& wire() { return wire_; }
  const SimWire& wire() const { return wire_; }
  bool isOpen() const { return open_.load(); }
  int openCount() const { return opens_.load(); }
  int closeCount() const { return closes_.load(); }
  // Whether the first I/O extension hangs on the interface. Any thread; plugging it in or out takes
  // effect from the next exchange.
  void setExtensionModule(bool attached) { module_.store(attached); }
  bool extensionModule() const { return module_.load(); }
  int outputCount() const { return extensionModule() ? 8 : 4; }
  int inputCount() const { return extensionModule() ? 16 : 8; }

  void setInput(int k, bool closed);
  uint32_t inputs() const { return inputs_.load(); }

  uint32_t lastOutputWord() const { return lastOutputWord_.load(); }
  uint32_t lastSpeedWord() const { return lastSpeedWord_.load(); }
  uint8_t direction(int output) const { return directionInWord(lastOutputWord(), output); }
  // The level 0..7 of a driven output (0 when it has no direction).
  int level(int output) const;

 private:
  SimWire wire_;
  std::atomic<bool> open_{false};
  std::atomic<bool> module_{false};
  std::atomic<int> opens_{0};
  std::atomic<int> closes_{0};
  std::atomic<uint32_t> inputs_{0};
  std::atomic<uint32_t> lastOutputWord_{0};
  std::atomic<uint32_t> lastSpeedWord_{0};
};

}  // namespace velomat::sim
