// What both simulated interfaces share: the time an exchange takes on the wire, the exchange count
// and rate, and the faults a test or the simulation window can inject.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace velomat::sim {

using Clock = std::chrono::steady_clock;

class SimWire {
 public:
  // `paced`: each exchange lasts as long as on the real link, and the simulation's clock is the steady
  // clock. Unpaced, an exchange returns at once and the simulation's own clock moves on by the time
  // the exchange would have lasted: what the interface measures over time (the gauges' on-share, the
  // watchdog, the exchange rate) comes out as on the real link, only sooner.
  SimWire(Clock::duration exchangeTime, bool paced) : exchangeTime_(exchangeTime.count()), paced_(paced) {}

  // The simulation's clock. Any thread.
  Clock::time_point now() const {
    return paced_ ? Clock::now() : Clock::time_point(Clock::duration(unpacedNow_.load()));
  }

  void setExchangeTime(Clock::duration time) { exchangeTime_.store(time.count(), std::memory_order_relaxed); }
  Clock::duration exchangeTime() const {
    return Clock::duration(exchangeTime_.load(std::memory_order_relaxed));
  }
  bool paced() const { return paced_; }

  // Faults. An open fails while openFails is set; the next `count` exchanges fail; a lost connection
  // fails every exchange until it is restored.
  void setOpenFails(bool fails) { openFails_.store(fails); }
  bool openFails() const { return openFails_.load(); }
  void failExchanges(int count) { failuresLeft_.store(count); }
  void setConnectionLost(bool lost) { lost_.store(lost); }
  bool connectionLost() const { return lost_.load(); }

  // One exchange on the wire: waits for its time, counts it, and tells whether it came through.
  // Runs on the control worker's thread.
  bool exchange();

  uint64_t exchangeCount() const { return count_.load(std::memory_order_relaxed); }
  uint64_t failedExchangeCount() const { return failed_.load(std::memory_order_relaxed); }
  // Exchanges per second over the last exchanges (0 before there are two).
  double exchangeRate() const { return rate_.load(std::memory_order_relaxed); }
  // When the last exchange that came through ended (the epoch before the first).
  Clock::time_point lastExchange() const { return Clock::time_point(Clock::duration(last_.load())); }

 private:
  static constexpr int kRateWindow = 64;

  std::atomic<Clock::rep> exchangeTime_;
  const bool paced_;
  std::atomic<Clock::rep> unpacedNow_{0};  // the unpaced clock: the exchanges' time so far
  std::atomic<bool> openFails_{false};
  std::atomic<int> failuresLeft_{0};
  std::atomic<bool> lost_{false};
  std::atomic<uint64_t> count_{0};
  std::atomic<uint64_t> failed_{0};
  std::atomic<double> rate_{0};
  std::atomic<Clock::rep> last_{0};
  // Only the exchanging thread touches these.
  Clock::time_point windowStart_{};
  int inWindow_ = 0;
};

}  // namespace velomat::sim
