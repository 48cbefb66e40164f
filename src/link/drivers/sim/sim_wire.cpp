#include "link/drivers/sim/sim_wire.h"

#include <thread>

namespace velomat::sim {

bool SimWire::exchange() {
  const Clock::time_point start = Clock::now();
  if (paced_) std::this_thread::sleep_until(start + exchangeTime());
  const Clock::time_point end = paced_ ? Clock::now() : start;

  count_.fetch_add(1, std::memory_order_relaxed);
  if (inWindow_ == 0) windowStart_ = end;
  if (++inWindow_ > kRateWindow) {
    const double seconds = std::chrono::duration<double>(end - windowStart_).count();
    rate_.store(seconds > 0 ? (inWindow_ - 1) / seconds : 0, std::memory_order_relaxed);
    windowStart_ = end;
    inWindow_ = 1;
  }

  int left = failuresLeft_.load();
  bool fails = lost_.load();
  while (!fails && left > 0) {
    if (failuresLeft_.compare_exchange_weak(left, left - 1)) fails = true;
  }
  if (fails) {
    failed_.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  last_.store(end.time_since_epoch().count());
  return true;
}

}  // namespace velomat::sim
