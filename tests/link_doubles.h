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
  std::vector<uint32_t> args;
  std::string text;  // the port name of an open
  bool operator==(const DriverCall&) const = default;
};

// Takes the next scripted result, or `otherwise` when the script is used up.
inline uint32_t next(std::deque<uint32_t>& script, uint32_t otherwise) {
  if (script.empty()) return otherwise;
  const uint32_t result = script.front();
  script.pop_front();
  return result;
}

class RecordingIntInt final : public IntelligentInterfaceDriver {
 public:
  std::vector<DriverCall> calls;
  std::vector<int32_t> interfaceTypes;  // interfaceType at each open
  std::deque<uint32_t> openResults, exchangeResults;
  uint32_t inputWord = 0;
  std::function<void()> duringExchange;

  uint32_t open(IntIntRecord& record, const char* portName) override {
    calls.push_back({"open", {}, portName});
    interfaceTypes.push_back(record.interfaceType);
    return next(openResults, 0);
  }
  uint32_t exchange(IntIntRecord&, uint32_t outputWord) override {
    calls.push_back({"exchange", {outputWord}, {}});
    if (duringExchange) duringExchange();
    return next(exchangeResults, inputWord);
  }
  void close(IntIntRecord&) override { calls.push_back({"close", {}, {}}); }
};

class RecordingRobo final : public RoboInterfaceDriver {
 public:
  std::vector<DriverCall> calls;
  std::deque<uint32_t> openResults, sendResults, readResults;
  uint32_t handle = 0x1234;
  uint32_t inputWord = 0;

  uint32_t openUsbOrRadio(uint32_t code, uint32_t reserved) override {
    calls.push_back({"openUsbOrRadio", {code, reserved}, {}});
    return next(openResults, handle);
  }
  uint32_t openSerial(uint32_t code, uint32_t port, uint32_t reserved) override {
    calls.push_back({"openSerial", {code, port, reserved}, {}});
    return next(openResults, handle);
  }
  uint32_t sendOutputs(uint32_t h, uint32_t outputWord, uint32_t speedWord, uint32_t extraWord) override {
    calls.push_back({"sendOutputs", {h, outputWord, speedWord, extraWord}, {}});
    return next(sendResults, 0);
  }
  uint32_t readInputs(uint32_t h) override {
    calls.push_back({"readInputs", {h}, {}});
    return next(readResults, inputWord);
  }
  void close(uint32_t h) override { calls.push_back({"close", {h}, {}}); }
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
