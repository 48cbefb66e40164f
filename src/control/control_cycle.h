// One pass of the control loop: sample the joystick and decide every output's direction and speed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "control/shared_state.h"
#include "link/joystick.h"

namespace velomat {

inline constexpr int kButtonFlags = 32;

// Thresholds of the cycle. Axis and hat values are unsigned, speeds are doubles in percent.
inline constexpr uint32_t kDeadBandLow = 26000;  // the dead band keeps a centred stick still
inline constexpr uint32_t kDeadBandHigh = 39000;
inline constexpr double kRoboAxisCentre = 32767;  // the ROBO speed scale measures from the centre
inline constexpr double kIntIntAxisSpan = 26000;  // the Intelligent Interface scale starts at the band edge
inline constexpr double kHatSector = 9000;        // 90 degrees in hundredths
inline constexpr uint32_t kHatFullCircle = 36000;
inline constexpr double kThrottleFullScale = 65535;
inline constexpr double kThrottleLowCut = 2;    // at or below: speed 0
inline constexpr double kThrottleHighCut = 95;  // at or above: speed 100
inline constexpr double kSpeedClampFrom = 95;
inline constexpr double kIntIntFullSpeed = 99.999;  // the PWM needs one off cycle in 100000
inline constexpr double kRoboFullSpeed = 100;

inline constexpr double kPwmShareMin = 0.00001;   // even speed 0 pulses once in 100000 cycles
inline constexpr double kPwmShareMax = 0.99999;   // even full speed pauses once in 100000 cycles
inline constexpr double kPwmResolution = 100000;  // the ratio value is cut to multiples of 1/100000

// The Intelligent Interface switches an output only on or off: a speed is a pattern of on and off
// cycles. One phase per output, which a run starts at 0.
struct SoftPwm {
  std::array<double, kMaxOutputs> pwmAccumulator{};

  // The signed ratio value of a speed in percent: v >= 0 for a share up to one half, v < 0 above;
  // |v| + 2 cycles lie between two pulse cycles.
  static double ratio(double speedPercent);
  // Starts output o's pattern afresh.
  void restart(size_t o) { pwmAccumulator[o] = 0; }
  // Moves the patterns of the first `outputs` outputs on by one cycle at their ratio values: bit o of
  // the result is set when output o is on in this cycle.
  uint32_t step(const std::array<double, kMaxOutputs>& ratios, int outputs);
};

// The working record of one run, cleared at its start and carried from cycle to cycle. Only the
// control worker touches it.
struct RunState {
  std::array<uint8_t, kMaxOutputs> direction{};
  std::array<uint8_t, kMaxOutputs> lastDirection{};
  std::array<double, kMaxOutputs> speed{};
  std::array<double, kMaxOutputs> shapedSpeed{};
  std::array<uint32_t, kMaxOutputs> directionBits{};
  uint32_t outputWord = 0;  // the words of the last exchange, as driveOutputs composed them
  uint32_t speedWord = 0;
  uint32_t lastInputWord = 0;
  std::array<uint8_t, kButtonFlags> buttonDown{};  // entry k: button k+1 pressed in the latest sample
  std::array<uint8_t, kMaxInputs> inputOn{};       // entry k: input E(k+1) closed at the last exchange
  SoftPwm pwm;
};

// Button k+1 is pressed in the latest sample. An index that names no button (at or above the
// joystick's button count, 255 from a list without selection, -1) reads as released.
bool buttonDown(const RunState& run, const SharedState& state, int index);

// Interface input E(index+1) was closed at the last exchange. An index that names no input (at or
// above 2 * motorCount, 255, -1) reads as open.
bool inputOn(const RunState& run, const SharedState& state, int index);

// The direction a hat at `pov` (hundredths of a degree, 65535 centred) gives in mode kPov1 ("POV1": left
// and right) or kPov2 ("POV2": forward and backward).
uint8_t hatDirection(uint8_t povMode, uint32_t pov);

// Reads the joystick into joySample and rebuilds the run's buttonDown. False when the joystick did not answer:
// the sample and the buttons then stay as they were.
bool sampleJoystick(RunState& run, SharedState& state, JoystickSource& joystick);

// One pass over `run`: sampleJoystick, then direction, speed, end switches and the PWM reset on a change
// of direction for every output. False when the joystick did not answer: then nothing is decided, and
// the run must end rather than drive the motors from a stale sample.
// Runs in the control loop: no wait, no lock, no allocation.
bool controlCycle(RunState& run, SharedState& state, JoystickSource& joystick);

}  // namespace velomat
