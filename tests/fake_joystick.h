// A joystick double: hands out a prepared sample, or fails.
#pragma once

#include "link/joystick.h"

namespace velomat::testing {

class FakeJoystick final : public JoystickSource {
 public:
  JoyCapsRecord caps;
  JoySample next;                 // what the next read reports
  uint32_t result = kJoyNoError;  // what every call returns
  int reads = 0;

  uint32_t joyGetDevCaps(uint32_t, JoyCapsRecord& out) override {
    if (result == kJoyNoError) out = caps;
    return result;
  }
  uint32_t joyGetPosEx(uint32_t, JoySample& sample) override {
    ++reads;
    if (result != kJoyNoError) return result;
    const uint32_t size = sample.dwSize, flags = sample.dwFlags;
    sample = next;
    sample.dwSize = size;
    sample.dwFlags = flags;
    return kJoyNoError;
  }
};

}  // namespace velomat::testing
