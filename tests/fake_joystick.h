// A joystick double: hands out a prepared sample, or fails.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "link/joystick.h"

namespace velomat::testing {

class FakeJoystick final : public JoystickSource {
 public:
  JoyCapsRecord caps;
  JoySample next;                           // what the next read reports
  uint32_t result = kJoyNoError;            // what every call returns
  std::array<bool, 2> present{true, true};  // a number without joystick fails whatever `result` says
  int reads = 0;
  bool recordAsked = false;        // keeps `asked` (it allocates: not in allocation tests)
  std::vector<std::string> asked;  // "caps 0", "sample 1", ...

  uint32_t joyGetDevCaps(uint32_t id, JoyCapsRecord& out) override {
    if (recordAsked) asked.push_back("caps " + std::to_string(id));
    const uint32_t answer = answerFor(id);
    if (answer == kJoyNoError) out = caps;
    return answer;
  }
  uint32_t joyGetPosEx(uint32_t id, JoySample& sample) override {
    ++reads;
    if (recordAsked) asked.push_back("sample " + std::to_string(id));
    const uint32_t answer = answerFor(id);
    if (answer != kJoyNoError) return answer;
    const uint32_t size = sample.dwSize, flags = sample.dwFlags;
    sample = next;
    sample.dwSize = size;
    sample.dwFlags = flags;
    return kJoyNoError;
  }

 private:
  uint32_t answerFor(uint32_t id) const {
    if (id > 1) return kJoyErrParms;
    return present[id] ? result : kJoyErrUnplugged;
  }
};

}  // namespace velomat::testing
