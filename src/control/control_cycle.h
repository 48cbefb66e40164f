// One pass of the control loop: sample the joystick and decide every output's direction and speed.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "config/config_table.h"
#include "control/run_monitor.h"
#include "link/joystick.h"
#include "records/connection.h"

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

// The flags and PWM phases the loop carries from pass to pass. Only the control worker touches them
// during a run.
struct ControlIo {
  std::array<uint8_t, kButtonFlags> buttonDown{};    // entry k: button k+1 pressed in the latest sample
  std::array<uint8_t, kMaxInputs> inputOn{};         // entry k: input E(k+1) closed at the last exchange
  std::array<double, kMaxOutputs> pwmAccumulator{};  // software PWM phase of each output
};

// The stop controls of the main window ("Aus-Button:", "Aus-Taster:") as they stand. The GUI thread
// keeps them current; the control worker reads them in every iteration.
struct StopControls {
  std::atomic<uint8_t> buttonOn{0};    // "Aus-Button:" ticked
  std::atomic<int32_t> buttonSel{-1};  // its list's selected index, -1 for none
  std::atomic<uint8_t> inputOn{0};     // "Aus-Taster:" ticked
  std::atomic<int32_t> inputSel{-1};
};

// Everything the program shares between its threads, in one place that lives as long as the program.
struct SharedState {
  ConfigTable table;
  ConnectionSettings connection;
  JoystickCaps joystickCaps;
  uint32_t joystickId = 0;
  JoySample joySample;  // the bindings refer to its fields
  ControlIo io;
  StopControls stopControls;
  std::atomic<uint8_t> stopRequested{0};  // 1 ends the current run at its next test
  RunMonitor monitor;                     // what the runs show, for the live view
};

// The working record of one run, cleared at its start and carried from cycle to cycle.
struct RunState {
  std::array<uint8_t, kMaxOutputs> direction{};
  std::array<uint8_t, kMaxOutputs> lastDirection{};
  std::array<double, kMaxOutputs> speed{};
  std::array<double, kMaxOutputs> shapedSpeed{};
  std::array<uint32_t, kMaxOutputs> directionBits{};
  uint32_t outputWord = 0;  // the words of the last exchange, as driveOutputs composed them
  uint32_t speedWord = 0;
  uint32_t lastInputWord = 0;
};

// Button k+1 is pressed in the latest sample. An index that names no button (at or above the
// joystick's button count, 255 from a list without selection, -1) reads as released.
bool buttonDown(const SharedState& state, int index);

// Interface input E(index+1) was closed at the last exchange. An index that names no input (at or
// above 2 * motorCount, 255, -1) reads as open.
bool inputOn(const SharedState& state, int index);

// The direction a hat at `pov` (hundredths of a degree, 65535 centred) gives in mode kPov1 ("POV1": left
// and right) or kPov2 ("POV2": forward and backward).
uint8_t hatDirection(uint8_t povMode, uint32_t pov);

// Reads the joystick into joySample and rebuilds buttonDown. False when the joystick did not answer:
// the sample and the buttons then stay as they were.
bool sampleJoystick(SharedState& state, JoystickSource& joystick);

// One pass over `run`: sampleJoystick, then direction, speed, end switches and the PWM reset on a change
// of direction for every output. False when the joystick did not answer: then nothing is decided, and
// the run must end rather than drive the motors from a stale sample.
// Runs in the control loop: no wait, no lock, no allocation.
bool controlCycle(RunState& run, SharedState& state, JoystickSource& joystick);

}  // namespace velomat
