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
    : wire_(kIntIntExchangeTime, options.paced),
      window_(static_cast<size_t>(std::max(options.shareWindow, 1)), 0) {}

uint32_t SimIntelligentInterface::open(IntIntRecord& record, const char*) {
  opens_.fetch_add(1);
  if (wire_.openFails()) return kIntIntFailure;
  type_.store(record.interfaceType);
  switch (record.interfaceType) {
    case kIntIntSerialWithExtension:
      wire_.setExchangeTime(kIntIntExtensionExchangeTime);
      break;
    case kIntIntParallel:
      wire_.setExchangeTime(kIntIntParallelExchangeTime);
      break;
    default:
      wire_.setExchangeTime(kIntIntExchangeTime);
      break;
  }
  open_.store(true);
  return 0;
}

bool SimIntelligentInterface::hasExtension() const {
  const int32_t type = type_.load();
  return module_.load() && (type == kIntIntSerialWithExtension || type == kIntIntParallel);
}

uint32_t SimIntelligentInterface::exchange(IntIntRecord&, uint32_t outputWord) {
  if (!open_.load() || !wire_.exchange()) return kIntIntFailure;
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
  // Slide the window on by one exchange. The window grows before the counts do, so a reader on
  // another thread never sees more "on" exchanges than exchanges.
  const uint8_t leaving = window_[next_];
  const bool full = filled_.load() == window_.size();
  if (!full) filled_.fetch_add(1);
  for (int o = 0; o < kSimOutputs; ++o) {
    const int delta = ((driven >> o) & 1) - (full ? ((leaving >> o) & 1) : 0);
    if (delta != 0) onCount_[static_cast<size_t>(o)].fetch_add(static_cast<uint32_t>(delta));
  }
  window_[next_] = driven;
  next_ = (next_ + 1) % window_.size();

  return inputs_.load() & (extension ? 0xFFFFu : 0xFFu);
}

void SimIntelligentInterface::close(IntIntRecord&) {
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
  return onShare(output, now) > 0 ? lastDriven_[static_cast<size_t>(output)].load() : 0;
}

double SimIntelligentInterface::onShare(int output, Clock::time_point now) const {
  const uint32_t filled = filled_.load();
  if (output < 0 || output >= outputCount() || filled == 0 || watchdogTripped(now)) return 0;
  return std::min(1.0, static_cast<double>(onCount_[static_cast<size_t>(output)].load()) / filled);
}

SimRoboInterface::SimRoboInterface(SimOptions options) : wire_(kRoboExchangeTime, options.paced) {}

uint32_t SimRoboInterface::opened() {
  opens_.fetch_add(1);
  if (wire_.openFails()) return kRoboFailure;
  open_.store(true);
  return kHandle;
}

uint32_t SimRoboInterface::openUsbOrRadio(uint32_t, uint32_t) {
  return opened();
}

uint32_t SimRoboInterface::openSerial(uint32_t, uint32_t, uint32_t) {
  return opened();
}

uint32_t SimRoboInterface::sendOutputs(uint32_t handle, uint32_t outputWord, uint32_t speedWord, uint32_t) {
  if (!sent(handle) || !wire_.exchange()) return kRoboFailure;
  lastOutputWord_.store(outputWord);
  lastSpeedWord_.store(speedWord);
  return 0;
}

uint32_t SimRoboInterface::readInputs(uint32_t handle) {
  if (!sent(handle)) return kRoboFailure;
  return inputs_.load() & 0xFFu;
}

void SimRoboInterface::close(uint32_t) {
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
