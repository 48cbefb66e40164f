// A bit-level model of the parallel interface behind the parallel-port seam, written from the public
// description of the interface (the pulse diagram and block diagram of fischertechnik's manual, and
// the parts of its circuit: a 4094 shift-and-store register for the outputs, a 4014 register for the
// inputs, NE556 timers).
//
// Each module: an 8-bit output shift register whose bit k is Q(k+1) (motor m+1 on bits 2m, 2m+1),
// taking DATA OUT (or the previous module's Q8) on a rising CLOCK edge; a store that follows the
// shift register while LOAD OUT is high; an input register loaded from E1..E8 on a rising CLOCK edge
// while LOAD IN is high and shifting otherwise, with its Q8 (E8 after a load) on DATA IN and the
// next module's Q8 (or a pulled-down input at the end of the chain) shifted in; and a retriggerable
// timer that enables the outputs for 0.5 s after each CLOCK pulse, switched off at once while the
// store holds both direction bits of any motor. Two analog timers start on a falling TRIGGER X / Y,
// run while it is held and for their pulse time after. DATA/COUNT IN is the first module's Q8 ORed
// with both timers and inverted; the port's status register shows that pin inverted again in bit 7.
//
// Time is the model's own: each port access takes kAccessTime, pause() and advance() move it on, so
// the tests never wait for a clock.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

#include "link/drivers/parallel/parallel_intelligent_interface.h"
#include "link/drivers/parallel/parallel_port.h"

namespace velomat::testing {

class ParallelInterfaceModel final : public ParallelPort {
 public:
  using Time = std::chrono::nanoseconds;
  static constexpr Time kAccessTime = std::chrono::microseconds(1);  // one access on a PC port
  static constexpr Time kEnableTime = std::chrono::milliseconds(500);
  static constexpr Time kForever = Time::max();

  // The hardware.
  std::string devicePath = "/dev/parport0";  // the one port present
  bool attached = true;                      // an interface hangs on the cable
  int modules = 1;                           // 1, or 2 with the second module
  bool floatingBusyLow = false;              // without an interface the BUSY pin reads low
  uint8_t otherStatusBits = 0x7F;            // what the port shows in bits 0..6; nothing of the interface
  // Set by EX and EY; with nothing on them 1.1 R C of the circuit's 100 kOhm + 470 Ohm and 470 nF.
  Time pulseX = std::chrono::microseconds(51'943), pulseY = std::chrono::microseconds(51'943);
  long failAfter = -1;  // when >= 0: this many more accesses work, then the port is gone

  // What the driver did.
  int claims = 0, releases = 0;
  bool claimed = false;
  std::string claimedPath;
  long accesses = 0;
  int setupViolations = 0;  // DATA OUT, LOAD IN or LOAD OUT changed with a rising CLOCK
  int unclaimedAccesses = 0;
  int latchChanges = 0;  // how often a store took a new value

  bool claim(const char* path) override {
    release();
    ++claims;
    if (path == nullptr || devicePath.empty() || path != devicePath) return false;
    claimed = true;
    claimedPath = path;
    return true;
  }

  bool writeData(uint8_t lines) override {
    if (!access()) return false;
    const uint8_t old = lines_;
    lines_ = lines;
    if (!attached) return true;
    const bool rising = (old & lpt::kClock) == 0 && (lines & lpt::kClock) != 0;
    if (rising && ((old ^ lines) & (lpt::kDataOut | lpt::kLoadIn | lpt::kLoadOut)) != 0) ++setupViolations;
    if (rising) clockEdge(lines);
    if ((lines & lpt::kLoadOut) != 0) {
      for (int m = 0; m < modules; ++m) {
        if (store_[m] != shift_[m]) ++latchChanges;
        store_[m] = shift_[m];
      }
    }
    trigger(x_, old & lpt::kTriggerX, lines & lpt::kTriggerX);
    trigger(y_, old & lpt::kTriggerY, lines & lpt::kTriggerY);
    return true;
  }

  bool readStatus(uint8_t& status) override {
    if (!access()) return false;
    const bool pinLow =
        attached ? (input_[0] & 0x80) != 0 || running(x_, pulseX) || running(y_, pulseY) : floatingBusyLow;
    status = static_cast<uint8_t>((otherStatusBits & 0x7F) | (pinLow ? lpt::kLineActive : 0));
    return true;
  }

  void pause(std::chrono::microseconds duration) override { now_ += duration; }

  void release() override {
    if (!claimed) return;
    claimed = false;
    ++releases;
  }

  // The inputs: E(k+1) for k = 0..15; E9..E16 are the second module's.
  void setInput(int k, bool closed) {
    const uint8_t bit = static_cast<uint8_t>(1u << (k % 8));
    inputs_[k / 8] = closed ? inputs_[k / 8] | bit : inputs_[k / 8] & ~bit;
  }
  void setInputs(uint32_t word) {
    for (int k = 0; k < 16; ++k) setInput(k, (word >> k) & 1);
  }

  Time now() const override { return now_; }
  void advance(Time duration) { now_ += duration; }
  // The analog timer X as the power-on left it: running for `remaining` more.
  void startTimerX(Time remaining) {
    x_ = {true, false, now_};
    pulseX = remaining;
  }

  // The stores of both modules (module 2 in bits 8..15), whether driven or not.
  uint32_t latched() const { return store_[0] | static_cast<uint32_t>(store_[1]) << 8; }
  // The outputs as the motors see them now: a module's store while its timer runs and the store holds
  // no motor with both bits; 0 otherwise.
  uint32_t driven() const {
    uint32_t word = 0;
    for (int m = 0; m < modules; ++m) {
      const bool forbidden = (store_[m] & (store_[m] >> 1) & 0x55) != 0;
      const bool enabled = attached && clocked_ && now_ - lastClock_ < kEnableTime && !forbidden;
      if (enabled) word |= static_cast<uint32_t>(store_[m]) << (8 * m);
    }
    return word;
  }

 private:
  struct Timer {
    bool started = false, held = false;
    Time fall{};
  };

  bool access() {
    if (!claimed) {
      ++unclaimedAccesses;
      return false;
    }
    if (failAfter == 0) return false;
    if (failAfter > 0) --failAfter;
    ++accesses;
    now_ += kAccessTime;
    return true;
  }

  void clockEdge(uint8_t lines) {
    clocked_ = true;
    lastClock_ = now_;
    uint8_t carry = (lines & lpt::kDataOut) != 0 ? 1 : 0;
    for (int m = 0; m < modules; ++m) {
      const uint8_t out = shift_[m] >> 7;
      shift_[m] = static_cast<uint8_t>(shift_[m] << 1 | carry);
      carry = out;
    }
    const std::array<uint8_t, 2> before = input_;
    for (int m = 0; m < modules; ++m) {
      const uint8_t serialIn = m + 1 < modules ? before[m + 1] >> 7 : 0;  // the end is pulled down
      input_[m] = (lines & lpt::kLoadIn) != 0 ? inputs_[m] : static_cast<uint8_t>(before[m] << 1 | serialIn);
    }
  }

  // TRIGGER is active low. Like any NE556 monoflop, the timer runs while its trigger is held and for
  // its pulse time from the falling edge.
  void trigger(Timer& timer, bool wasHigh, bool isHigh) {
    if (wasHigh && !isHigh) timer = {true, true, now_};
    if (!wasHigh && isHigh) timer.held = false;
  }
  bool running(const Timer& timer, Time pulse) const {
    return timer.started && (timer.held || now_ - timer.fall < pulse);
  }

  Time now_{};
  uint8_t lines_ = 0;
  bool clocked_ = false;
  Time lastClock_{};
  std::array<uint8_t, 2> shift_{}, store_{}, input_{}, inputs_{};
  Timer x_, y_;
};

}  // namespace velomat::testing
