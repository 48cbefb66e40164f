// Decorators for the simulated interfaces that log every exchange the control worker makes and let a
// test act at a chosen exchange (on the worker's thread, while the exchange is under way).
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "link/drivers.h"

namespace velomat::testing {

struct Exchange {
  uint32_t outputWord = 0;
  uint32_t speedWord = 0;
  bool failed = false;
  bool operator==(const Exchange&) const = default;
};

class ExchangeLog {
 public:
  // Runs during exchange number `index` (0, 1, ...), before the interface answers.
  std::function<void(size_t index)> during;
  // Off: the exchanges go straight to the interface, unlogged (set it before a run, not during one).
  bool recording = true;

  size_t count() const {
    std::lock_guard lock(mutex_);
    return log_.size();
  }
  std::vector<Exchange> all() const {
    std::lock_guard lock(mutex_);
    return log_;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    log_.clear();
  }
  Exchange at(size_t index) const {
    std::lock_guard lock(mutex_);
    return log_.at(index);
  }
  // Logs an exchange, lets the test act, then asks the interface.
  // `ask` gives the interface's answer: false or nothing for a lost connection.
  template <typename Ask>
  auto record(uint32_t outputWord, uint32_t speedWord, Ask ask) {
    if (!recording) return ask();
    size_t index;
    {
      std::lock_guard lock(mutex_);
      index = log_.size();
      log_.push_back({outputWord, speedWord, false});
    }
    if (during) during(index);
    const auto result = ask();
    if (!result) {
      std::lock_guard lock(mutex_);
      log_[index].failed = true;
    }
    return result;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Exchange> log_;
};

class LoggedIntInt final : public IntelligentInterfaceDriver {
 public:
  LoggedIntInt(IntelligentInterfaceDriver& inner, ExchangeLog& log) : inner_(inner), log_(log) {}
  bool open(IntIntPort port, int32_t portNumber) override { return inner_.open(port, portNumber); }
  Inputs exchange(uint32_t outputWord) override {
    return log_.record(outputWord, 0, [&] { return inner_.exchange(outputWord); });
  }
  void close() override { inner_.close(); }

 private:
  IntelligentInterfaceDriver& inner_;
  ExchangeLog& log_;
};

class LoggedRobo final : public RoboInterfaceDriver {
 public:
  LoggedRobo(RoboInterfaceDriver& inner, ExchangeLog& log) : inner_(inner), log_(log) {}
  bool open(RoboPort port, int32_t portNumber) override { return inner_.open(port, portNumber); }
  bool sendOutputs(uint32_t outputWord, uint32_t speedWord) override {
    return log_.record(outputWord, speedWord, [&] { return inner_.sendOutputs(outputWord, speedWord); });
  }
  Inputs readInputs() override { return inner_.readInputs(); }
  void close() override { inner_.close(); }

 private:
  RoboInterfaceDriver& inner_;
  ExchangeLog& log_;
};

}  // namespace velomat::testing
