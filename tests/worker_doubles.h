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
  template <typename Ask>
  uint32_t record(uint32_t outputWord, uint32_t speedWord, Ask ask) {
    if (!recording) return ask();
    size_t index;
    {
      std::lock_guard lock(mutex_);
      index = log_.size();
      log_.push_back({outputWord, speedWord, false});
    }
    if (during) during(index);
    const uint32_t result = ask();
    if (isLinkFailure(result)) {
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
  uint32_t open(IntIntRecord& record, const char* portName) override { return inner_.open(record, portName); }
  uint32_t exchange(IntIntRecord& record, uint32_t outputWord) override {
    return log_.record(outputWord, 0, [&] { return inner_.exchange(record, outputWord); });
  }
  void close(IntIntRecord& record) override { inner_.close(record); }

 private:
  IntelligentInterfaceDriver& inner_;
  ExchangeLog& log_;
};

class LoggedRobo final : public RoboInterfaceDriver {
 public:
  LoggedRobo(RoboInterfaceDriver& inner, ExchangeLog& log) : inner_(inner), log_(log) {}
  uint32_t openUsbOrRadio(uint32_t code, uint32_t reserved) override {
    return inner_.openUsbOrRadio(code, reserved);
  }
  uint32_t openSerial(uint32_t code, uint32_t port, uint32_t reserved) override {
    return inner_.openSerial(code, port, reserved);
  }
  uint32_t sendOutputs(uint32_t handle, uint32_t outputWord, uint32_t speedWord,
                       uint32_t extraWord) override {
    return log_.record(outputWord, speedWord,
                       [&] { return inner_.sendOutputs(handle, outputWord, speedWord, extraWord); });
  }
  uint32_t readInputs(uint32_t handle) override { return inner_.readInputs(handle); }
  void close(uint32_t handle) override { inner_.close(handle); }

 private:
  RoboInterfaceDriver& inner_;
  ExchangeLog& log_;
};

}  // namespace velomat::testing
