// The parallel interface on a PC parallel port: shift registers and no microcontroller, so the driver
// clocks every bit itself.
//
// The data lines: D0 LOAD OUT (pin 2), D1 LOAD IN (3), D2 DATA OUT (4), D3 CLOCK (5), D4 TRIGGER X (6)
// and D5 TRIGGER Y (7), both triggers active low. The interface answers on BUSY (pin 11), DATA/COUNT
// IN: the digital input chain and the two analog timers, ORed and inverted, so that a closed input or a
// running timer pulls the pin low, and the PC's status register shows a low BUSY as bit 7 set.
//
// Outputs: 8 bits per module, most significant first, each taken on a rising CLOCK edge and passed on
// to the next module's register, then copied to the outputs by a rising LOAD OUT. The first byte
// shifted ends in the last module, so a second module's byte (motors 5-8) goes first. A timer in the
// interface keeps the outputs on for about 0.5 s after the last CLOCK pulse. A motor with both
// direction bits set makes the interface switch off all outputs of its module.
//
// Inputs: LOAD IN high and one CLOCK pulse load E1-E8 into the input register; then DATA IN shows one
// bit per CLOCK pulse, E8 first and E1 last, followed by E16..E9 of a second module. The last module's
// chain ends in a pulled-down input, so after all bits the line rests.
#pragma once

#include <cstdint>
#include <string>

#include "link/drivers.h"
#include "link/drivers/parallel/parallel_port.h"
#include "link/drivers/serial/port_names.h"

namespace velomat {

// The data lines and the status bit of the interface.
namespace lpt {
inline constexpr uint8_t kLoadOut = 0x01;
inline constexpr uint8_t kLoadIn = 0x02;
inline constexpr uint8_t kDataOut = 0x04;
inline constexpr uint8_t kClock = 0x08;
inline constexpr uint8_t kTriggerX = 0x10;    // active low
inline constexpr uint8_t kTriggerY = 0x20;    // active low
inline constexpr uint8_t kLineActive = 0x80;  // status bit 7: DATA/COUNT IN pulled low
// Between exchanges: CLOCK high, both triggers idle, both loads low.
inline constexpr uint8_t kRest = kClock | kTriggerX | kTriggerY;
}  // namespace lpt

// The chain is always clocked for two modules: the interface cannot tell whether a second module hangs
// on it, and 16 bits drive one module as well (the first byte falls off the end of its register) while
// E9..E16 read as open without the second.
inline constexpr int kParallelChainBits = 16;

class ParallelIntelligentInterface final : public IntelligentInterfaceDriver {
 public:
  // `port` carries the bits; `ports` turns a port number into a device path
  // (systemParallelPortResolver() in the program).
  ParallelIntelligentInterface(ParallelPort& port, PortResolver ports);
  ~ParallelIntelligentInterface() override;

  // Opens parallel port `portNumber`: claims it, switches every output off and checks that an
  // interface answers (the analog timer X must pull DATA/COUNT IN while TRIGGER X is held, and let
  // go again within kRestBound). False when the number has no device, the port cannot be claimed, no
  // interface answers, or the port is a serial one. Opening again closes what was open.
  bool open(IntIntPort port, int32_t portNumber) override;
  // One pass over the chain: the inputs E1..E16 and the outputs of both modules latched; a motor with
  // both bits set is sent as off, so that the other motors of its module keep running. Nothing when
  // the port is gone; the next call claims it again. Runs in the control loop: 52 port accesses, no
  // wait, no allocation.
  Inputs exchange(uint32_t outputWord) override;
  // Gives the port back. Sends nothing: the program makes an all-off exchange before, and the
  // interface's own timer switches the outputs off 0.5 s after the last CLOCK pulse anyway.
  void close() override;
  PortOpenError openError() const override { return port_.lastOpenError(); }

 private:
  bool pass(uint32_t outputWord, uint32_t& inputWord);
  bool interfaceAnswers();
  bool waitForRest();
  void releasePort();

  ParallelPort& port_;
  PortResolver ports_;
  std::string path_;  // kept from the open, so that a lost port is claimed again without allocating
  bool claimed_ = false;
  bool opened_ = false;  // between a successful open and the close
};

}  // namespace velomat
