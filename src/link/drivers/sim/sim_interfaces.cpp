#include "link/drivers/sim/sim_interfaces.h"

#include <algorithm>

namespace velomat::sim {

uint8_t directionInWord(uint32_t outputWord, int output) {
  switch ((outputWord >> (2 * output)) & 3u) {
    case 1:
      return 1;
    case 2:
      return 2;
    default:
      return 0;  // no bit, or both: the interface switches the motor off
  }
}

namespace {
void setBit(std::atomic<uint32_t>& word, int k, bool on) {
  if (k < 0 || k >= 32) return;
  if (on) {
    word.fetch_or(1u << k);
  } else {
    word.fetch_and(~(1u << k));
  }
}
}  // namespace

SimIntelligentInterface::SimIntelligentInterface(SimOptions options)
    : wire_(kIntIntExchangeTime, options.paced) {}

bool SimIntelligentInterface::open(IntIntPort port, int32_t) {
  opens_.fetch_add(1);
  if (wire_.openFails()) return false;
  port_.store(static_cast<int>(port));
  switch (port) {
    case IntIntPort::SerialWithExtension:
      wire_.setExchangeTime(kIntIntExtensionExchangeTime);
      break;
    case IntIntPort::Parallel:
      wire_.setExchangeTime(kIntIntParallelExchangeTime);
      break;
    case IntIntPort::Serial:
      wire_.setExchangeTime(kIntIntExchangeTime);
      break;
  }
  // A new connection starts a new record of the outputs; no exchange runs during an open.
  firstExchange_.store(kNever);
  held_.store(kNever);
  open_.store(true);
  return true;
}

std::optional<IntIntPort> SimIntelligentInterface::port() const {
  const int port = port_.load();
  return port < 0 ? std::nullopt : std::optional(static_cast<IntIntPort>(port));
}

bool SimIntelligentInterface::hasExtension() const {
  const std::optional<IntIntPort> wired = port();
  return module_.load() && (wired == IntIntPort::SerialWithExtension || wired == IntIntPort::Parallel);
}

Inputs SimIntelligentInterface::exchange(uint32_t outputWord) {
  if (!open_.load() || !wire_.exchange()) return std::nullopt;
  // Decided once per exchange: the module may be plugged in or out meanwhile.
  const bool extension = hasExtension();
  const int outputs = extension ? 8 : 4;
  const uint32_t word = outputWord & (extension ? 0xFFFFu : 0xFFu);
  lastOutputWord_.store(word);

  uint8_t driven = 0;
  for (int o = 0; o < outputs; ++o) {
    const uint8_t direction = directionInWord(word, o);
    if (direction != 0) {
      driven |= static_cast<uint8_t>(1u << o);
      lastDriven_[static_cast<size_t>(o)].store(direction);
    }
  }

  // What the last exchange set has held until now, or until the watchdog switched it off. This thread
  // alone writes the record: its stores publish (release), readers take them with acquire loads.
  const Clock::time_point at = wire_.lastExchange();
  const int64_t last = held_.load(std::memory_order_relaxed);
  if (last == kNever) {
    firstExchange_.store(at.time_since_epoch().count(), std::memory_order_release);
  } else {
    const Clock::time_point since = heldSince(last);
    credit(since, std::min(at, since + kIntIntWatchdog), static_cast<uint8_t>(last & 0xFF));
  }
  held_.store(heldWord(at, driven), std::memory_order_release);

  return inputs_.load() & (extension ? 0xFFFFu : 0xFFu);
}

int64_t SimIntelligentInterface::heldWord(Clock::time_point at, uint8_t outputs) {
  return std::chrono::duration_cast<std::chrono::microseconds>(at.time_since_epoch()).count() << 8 | outputs;
}

Clock::time_point SimIntelligentInterface::heldSince(int64_t word) {
  return Clock::time_point(std::chrono::microseconds(word >> 8));
}

void SimIntelligentInterface::credit(Clock::time_point from, Clock::time_point to, uint8_t outputs) {
  if (outputs == 0) return;  // a slice that is not credited reads as not driven once it is stale
  for (Clock::time_point t = from; t < to;) {
    const int64_t index = t.time_since_epoch() / kShareSlice;
    const Clock::time_point end = std::min(to, Clock::time_point(kShareSlice * (index + 1)));
    ShareSlice& slice = slices_[static_cast<size_t>(index % static_cast<int64_t>(slices_.size()))];
    if (slice.index.load(std::memory_order_relaxed) != index) {
      // Marked as no slice while it is emptied: a reader that takes a time written from here on sees
      // the mark when it looks at the slice's index again, and leaves the slice out.
      slice.index.store(-1, std::memory_order_release);
      for (auto& driven : slice.driven) driven.store(0, std::memory_order_release);
      slice.index.store(index, std::memory_order_release);
    }
    for (int o = 0; o < kSimOutputs; ++o) {
      if (((outputs >> o) & 1) == 0) continue;
      auto& driven = slice.driven[static_cast<size_t>(o)];  // one writer: no read-modify-write needed
      driven.store(driven.load(std::memory_order_relaxed) + (end - t).count(), std::memory_order_release);
    }
    t = end;
  }
}

void SimIntelligentInterface::close() {
  closes_.fetch_add(1);
  open_.store(false);
}

void SimIntelligentInterface::setInput(int k, bool closed) {
  setBit(inputs_, k, closed);
}

bool SimIntelligentInterface::watchdogTripped(Clock::time_point now) const {
  return now - wire_.lastExchange() > kIntIntWatchdog;
}

uint8_t SimIntelligentInterface::direction(int output, Clock::time_point now) const {
  if (output < 0 || output >= outputCount() || watchdogTripped(now)) return 0;
  // Held since the last exchange, or driven within the share's window: a motor under the software PWM
  // keeps its direction between its pulses.
  const int64_t last = held_.load(std::memory_order_acquire);
  const bool held = last != kNever && ((last >> output) & 1) != 0;
  return held || onShare(output, now) > 0 ? lastDriven_[static_cast<size_t>(output)].load() : 0;
}

double SimIntelligentInterface::onShare(int output, Clock::time_point now) const {
  if (output < 0 || output >= outputCount() || watchdogTripped(now)) return 0;
  const size_t o = static_cast<size_t>(output);
  double share = 0;
  // An exchange that comes while the slices are read may start a slice anew that the window counts
  // on: the read is made again then, a few times at most.
  for (int tries = 0; tries < 4; ++tries) {
    const Clock::rep first = firstExchange_.load(std::memory_order_acquire);
    const int64_t last = held_.load(std::memory_order_acquire);
    if (first == kNever || last == kNever) return 0;
    const bool held = ((last >> output) & 1) != 0;
    const Clock::time_point since = heldSince(last);
    const Clock::time_point at = std::max(now, since);  // the record keeps no time before its last exchange
    // The window: whole slices up to the one `at` lies in, from the first exchange on.
    const int64_t atIndex = at.time_since_epoch() / kShareSlice;
    const int64_t lowIndex = atIndex - (kShareSlices - 1);
    const Clock::time_point start =
        std::max(Clock::time_point(kShareSlice * lowIndex), Clock::time_point(Clock::duration(first)));
    if (at <= start) return held ? 1 : 0;

    Clock::rep driven = 0;
    for (const ShareSlice& slice : slices_) {
      const int64_t index = slice.index.load(std::memory_order_acquire);
      if (index < lowIndex || index > atIndex) continue;
      const Clock::rep time = slice.driven[o].load(std::memory_order_acquire);
      if (slice.index.load(std::memory_order_relaxed) == index) driven += time;  // not begun anew meanwhile
    }
    // What the last exchange set still holds, until the watchdog ends it.
    if (held) {
      const Clock::time_point from = std::max(start, since), to = std::min(at, since + kIntIntWatchdog);
      if (to > from) driven += (to - from).count();
    }
    share = static_cast<double>(driven) / static_cast<double>((at - start).count());
    if (held_.load(std::memory_order_acquire) == last) break;
  }
  return std::clamp(share, 0.0, 1.0);
}

SimRoboInterface::SimRoboInterface(SimOptions options) : wire_(kRoboExchangeTime, options.paced) {}

bool SimRoboInterface::open(RoboPort, int32_t) {
  opens_.fetch_add(1);
  if (wire_.openFails()) return false;
  open_.store(true);
  return true;
}

bool SimRoboInterface::sendOutputs(uint32_t outputWord, uint32_t speedWord) {
  if (!open_.load() || !wire_.exchange()) return false;
  // Motors 5..8 exist only on the extension: without it their bits and levels reach nothing.
  const bool extension = module_.load();
  lastOutputWord_.store(outputWord & (extension ? 0xFFFFu : 0xFFu));
  lastSpeedWord_.store(speedWord & (extension ? 0xFFFFFFFFu : 0xFFFFu));
  return true;
}

Inputs SimRoboInterface::readInputs() {
  if (!open_.load()) return std::nullopt;
  // E9..E16 are the extension's; without it they read open.
  return inputs_.load() & (module_.load() ? 0xFFFFu : 0xFFu);
}

void SimRoboInterface::close() {
  closes_.fetch_add(1);
  open_.store(false);
}

void SimRoboInterface::setInput(int k, bool closed) {
  setBit(inputs_, k, closed);
}

int SimRoboInterface::level(int output) const {
  if (output < 0 || output >= kSimOutputs || direction(output) == 0) return 0;
  return static_cast<int>((lastSpeedWord() >> (4 * output)) & 0xFu);
}

}  // namespace velomat::sim
