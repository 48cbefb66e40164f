// The joystick seam: the two operations every other part of the program uses to reach a joystick
// (numbers 0 and 1).
#pragma once

#include <cstdint>

#include "records/joystick_records.h"

namespace velomat {

// Joysticks 0 and 1. A device has one owner, so the seam is neither copied nor moved.
class JoystickSource {
 public:
  JoystickSource() = default;
  JoystickSource(const JoystickSource&) = delete;
  JoystickSource& operator=(const JoystickSource&) = delete;
  virtual ~JoystickSource() = default;

  // Fills `caps` for joystick `id` (0 or 1). Returns kJoyNoError when the joystick answers, else an
  // error code and `caps` is left as it was. Called on the GUI thread while the program connects.
  virtual uint32_t joyGetDevCaps(uint32_t id, JoyCapsRecord& caps) = 0;

  // Reads one sample of joystick `id` into `sample`. Returns kJoyNoError when the joystick answers;
  // on any failure `sample` keeps every value it had.
  // Runs in the control loop: must not block longer than one exchange, must not allocate.
  virtual uint32_t joyGetPosEx(uint32_t id, JoySample& sample) = 0;
};

}  // namespace velomat
