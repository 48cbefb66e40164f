#include "link/drivers/parallel/parallel_intelligent_interface.h"

#include <chrono>
#include <utility>

namespace velomat {

namespace {

using namespace std::chrono_literals;
using namespace lpt;

// How long the analog timer's pulse may last after TRIGGER X. It is longest with nothing on EX:
// 1.1 R C of 100 kOhm + 470 Ohm and 470 nF, about 52 ms. Twice that leaves room for the parts'
// tolerance (a capacitor alone may be 20 % off); a line still active then is no interface's.
constexpr auto kRestBound = 100ms;
constexpr auto kPollInterval = 100us;

// Both bits of a motor set would switch off its whole module: such a motor is sent as off instead.
uint32_t withoutForbiddenPairs(uint32_t outputWord) {
  const uint32_t both = outputWord & (outputWord >> 1) & 0x5555;
  return outputWord & ~(both | both << 1);
}

}  // namespace

ParallelIntelligentInterface::ParallelIntelligentInterface(ParallelPort& port, PortResolver ports)
    : port_(port), ports_(std::move(ports)) {}

ParallelIntelligentInterface::~ParallelIntelligentInterface() {
  releasePort();
}

void ParallelIntelligentInterface::releasePort() {
  if (claimed_) port_.release();
  claimed_ = false;
}

bool ParallelIntelligentInterface::open(IntIntPort port, int32_t portNumber) {
  releasePort();
  opened_ = false;
  if (port != IntIntPort::Parallel) return false;
  path_ = ports_ ? ports_(portNumber) : std::string();
  if (path_.empty() || !port_.claim(path_.c_str())) return false;
  claimed_ = true;

  uint32_t inputs = 0;
  if (!port_.writeData(kRest) || !pass(0, inputs) || !interfaceAnswers()) {
    releasePort();
    return false;
  }
  opened_ = true;
  return true;
}

// A port with nothing on it shows BUSY at one level or the other, but never in answer to a trigger.
// Held low, TRIGGER X keeps the timer of EX running whatever hangs on EX, so DATA/COUNT IN must be
// pulled now; released, the pulse ends after a time set by EX. The CLOCK pulse beside the trigger is
// the one the interface's pulse diagram shows; it only shifts the chains, which hold nothing.
bool ParallelIntelligentInterface::interfaceAnswers() {
  uint8_t status = 0;
  if (!waitForRest()) return false;  // after the pass the input chain is empty; a timer may still run
  if (!port_.writeData(kRest & ~(kTriggerX | kClock)) || !port_.readStatus(status)) return false;
  const bool answered = (status & kLineActive) != 0;
  if (!port_.writeData(kRest)) return false;
  return answered && waitForRest();
}

// Timed by the clock: a pause may last longer than asked, and counting pauses would stretch the bound.
bool ParallelIntelligentInterface::waitForRest() {
  const auto giveUp = port_.now() + kRestBound;
  for (;;) {
    const bool late = port_.now() > giveUp;  // read before the line: a last look still counts
    uint8_t status = 0;
    if (!port_.readStatus(status)) return false;
    if ((status & kLineActive) == 0) return true;
    if (late) return false;
    port_.pause(kPollInterval);
  }
}

Inputs ParallelIntelligentInterface::exchange(uint32_t outputWord) {
  if (!opened_) return std::nullopt;
  // A port that failed was given back; it may answer again (claim allocates nothing: path_ is kept).
  if (!claimed_) {
    if (!port_.claim(path_.c_str())) return std::nullopt;
    claimed_ = true;
  }
  uint32_t inputWord = 0;
  if (!pass(withoutForbiddenPairs(outputWord), inputWord)) {
    releasePort();
    return std::nullopt;
  }
  return inputWord;
}

// Loads the inputs, then clocks the 16 output bits in while the 16 input bits come out on the same
// CLOCK pulses, and latches the outputs. Each bit is set up with CLOCK low and taken on its rising
// edge; neither load line changes together with a rising CLOCK.
bool ParallelIntelligentInterface::pass(uint32_t outputWord, uint32_t& inputWord) {
  constexpr uint8_t triggers = kTriggerX | kTriggerY;
  bool ok = port_.writeData(triggers | kLoadIn) && port_.writeData(triggers | kLoadIn | kClock);
  uint32_t inputs = 0;
  for (int k = 0; ok && k < kParallelChainBits; ++k) {
    uint8_t status = 0;
    ok = port_.readStatus(status);
    // Read k is E8..E1 of the first module for k = 0..7, then E16..E9 of the second.
    if ((status & kLineActive) != 0) inputs |= 1u << ((k / 8) * 8 + 7 - k % 8);
    const uint8_t data = (outputWord >> (kParallelChainBits - 1 - k)) & 1 ? kDataOut : 0;
    ok = ok && port_.writeData(triggers | data) && port_.writeData(triggers | data | kClock);
  }
  ok = ok && port_.writeData(kRest | kLoadOut) && port_.writeData(kRest);
  inputWord = inputs;
  return ok;
}

void ParallelIntelligentInterface::close() {
  releasePort();
  opened_ = false;
}

}  // namespace velomat
