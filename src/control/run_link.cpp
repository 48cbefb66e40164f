#include "control/run_link.h"

#include <thread>

namespace velomat {

namespace {

class RealSwitchOffClock final : public SwitchOffClock {
 public:
  std::chrono::steady_clock::time_point now() override { return std::chrono::steady_clock::now(); }
  void sleepFor(std::chrono::milliseconds pause) override { std::this_thread::sleep_for(pause); }
};

}  // namespace

SwitchOffClock& realSwitchOffClock() {
  static RealSwitchOffClock clock;
  return clock;
}

bool RunLink::askRetry() {
  ++asked_;
  if (boxes_.show(kLostConnectionText, {}, BoxButtons::RetryCancel) != BoxAnswer::Cancel) return true;
  cancelled_.store(true, std::memory_order_release);
  beginEnding();
  return false;
}

void RunLink::beginEnding() {
  ending_.store(true, std::memory_order_release);
  stopRequested_.store(1, std::memory_order_relaxed);
}

uint32_t RunLink::exchangeIo(uint32_t outputWord, uint32_t speedWord) {
  for (;;) {
    if (const Inputs inputs = link_.exchangeIo(outputWord, speedWord)) return *inputs;
    // A user who is ending the program is not asked about the line; nor is one whose box was taken
    // away because the program is ending meanwhile.
    if (ending() || !askRetry() || ending()) return 0;
    // After a stop the words of the exchange under way must not go out again: the run ends, and its
    // all-off exchange is the next one.
    if (stopRequested_.load(std::memory_order_relaxed) != 0) return 0;
  }
}

bool RunLink::switchOff() {
  using Clock = std::chrono::steady_clock;
  Clock::time_point giveUp{};
  for (;;) {
    if (link_.exchangeIo(0, 0)) return true;
    if (!ending() && askRetry() && !ending()) continue;
    // Ending: a glitch may be over within a few tries, so try again for a while before giving up.
    const Clock::time_point now = switchOffClock_->now();
    if (giveUp == Clock::time_point{}) giveUp = now + kSwitchOffWindow;
    if (now >= giveUp) return false;
    switchOffClock_->sleepFor(kSwitchOffPause);
  }
}

}  // namespace velomat
