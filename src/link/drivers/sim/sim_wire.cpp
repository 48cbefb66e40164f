#include "link/drivers/sim/sim_wire.h"

#include <thread>

namespace velomat::sim {

bool SimWire::exchange() {
  Clock::time_point end;
  if (paced_) {
    std::this_thread::sleep_until(Clock::now() + exchangeTime());
    end = Clock::now();
  } else {
    const Clock::rep lasting = exchangeTime_.load(std::memory_order_relaxed);
    end = Clock::time_point(Clock::duration(unpacedNow_.fetch_add(lasting) + lasting));
  }

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
