// Doubles for the driver seam and the message boxes: they record every call and answer from a script.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/drivers.h"
#include "link/message_box.h"

namespace velomat::testing {

struct DriverCall {
  std::string role;
  std::vector<uint32_t> args;  // an open's port kind and port number, or the words
  bool operator==(const DriverCall&) const = default;
};

// An open's call: the port kind as its number, then the port number.
template <typename Port>
DriverCall openCall(Port port, int32_t portNumber) {
  return {"open", {static_cast<uint32_t>(port), static_cast<uint32_t>(portNumber)}};
}

// Takes the next scripted result, or `otherwise` when the script is used up.
template <typename Result>
Result next(std::deque<Result>& script, Result otherwise) {
  if (script.empty()) return otherwise;
  const Result result = script.front();
  script.pop_front();
  return result;
}

class RecordingIntInt final : public IntelligentInterfaceDriver {
 public:
  std::vector<DriverCall> calls;
  std::vector<IntIntPort> ports;  // the port kind at each open
  std::deque<bool> openResults;
  std::deque<Inputs> exchangeResults;
  uint32_t inputWord = 0;
  std::function<void()> duringExchange;
  PortOpenError whyNotOpened = PortOpenError::None;

  bool open(IntIntPort port, int32_t portNumber) override {
    calls.push_back(openCall(port, portNumber));
    ports.push_back(port);
    return next(openResults, true);
  }
  Inputs exchange(uint32_t outputWord) override {
    calls.push_back({"exchange", {outputWord}});
    if (duringExchange) duringExchange();
    return next(exchangeResults, Inputs(inputWord));
  }
  void close() override { calls.push_back({"close", {}}); }
  PortOpenError openError() const override { return whyNotOpened; }
};

class RecordingRobo final : public RoboInterfaceDriver {
 public:
  std::vector<DriverCall> calls;
  std::deque<bool> openResults, sendResults;
  std::deque<Inputs> readResults;
  uint32_t inputWord = 0;

  bool open(RoboPort port, int32_t portNumber) override {
    calls.push_back(openCall(port, portNumber));
    return next(openResults, true);
  }
  bool sendOutputs(uint32_t outputWord, uint32_t speedWord) override {
    calls.push_back({"sendOutputs", {outputWord, speedWord}});
    return next(sendResults, true);
  }
  Inputs readInputs() override {
    calls.push_back({"readInputs", {}});
    return next(readResults, Inputs(inputWord));
  }
  void close() override { calls.push_back({"close", {}}); }
};

struct ShownBox {
  std::string text, caption;
  BoxButtons buttons;
};

// Answers from a script (Cancel once it is used up). Safe to ask from the control worker's thread.
class ScriptedBoxes final : public MessageBoxes {
 public:
  std::deque<BoxAnswer> answers;
  std::vector<ShownBox> shown;
  bool echo = false;                            // also write the text to stderr (for death tests)
  std::function<void(const ShownBox&)> onShow;  // runs before the answer, on the asking thread
  // Throw once the script is used up instead of answering Cancel. Cancel in the lost-connection box
  // ends the process with exit code 0, which would end a test binary halfway as a success.
  bool throwWhenUsedUp = false;

  BoxAnswer show(std::string_view text, std::string_view caption, BoxButtons buttons) override {
    std::lock_guard lock(mutex_);
    shown.push_back({std::string(text), std::string(caption), buttons});
    if (echo) fprintf(stderr, "box: %.*s\n", static_cast<int>(text.size()), text.data());
    if (onShow) onShow(shown.back());
    if (answers.empty()) {
      if (throwWhenUsedUp) {
        throw std::logic_error("no answer scripted for the box \"" + std::string(text) + "\"");
      }
      return BoxAnswer::Cancel;
    }
    const BoxAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::vector<ShownBox> seen() const {
    std::lock_guard lock(mutex_);
    return shown;
  }

 private:
  mutable std::mutex mutex_;
};

}  // namespace velomat::testing
