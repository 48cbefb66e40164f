// The output stage: directions and speeds become the output word and, for the ROBO Interface, the
// speed word; one exchange; the returned inputs feed the next cycle's end switches.
#pragma once

#include <cstdint>

#include "control/control_cycle.h"
#include "control/run_link.h"

namespace velomat {

inline constexpr double kPwmShareMin = 0.00001;   // even speed 0 pulses once in 100000 cycles
inline constexpr double kPwmShareMax = 0.99999;   // even full speed pauses once in 100000 cycles
inline constexpr double kPwmResolution = 100000;  // the ratio value is cut to multiples of 1/100000
inline constexpr double kRoboLevels = 7;          // ROBO speed levels 0..7

// Fills shapedSpeed and directionBits of every output from speed and direction. Intelligent Interface:
// the signed PWM ratio value (v >= 0 for a share up to one half, |v| + 2 cycles between pulse cycles);
// ROBO Interface: the speed on the scale 0..7. Keeps no state. Runs in the control loop.
void shapeSpeeds(RunState& run, const SharedState& state);

// Composes the output and speed words (software PWM for the Intelligent Interface), makes the one
// exchange, rebuilds inputOn and returns the input word. When a stop was requested during the
// exchange it returns 0 and leaves inputOn as it was. Runs in the control loop.
uint32_t driveOutputs(RunState& run, SharedState& state, RunLink& link);

}  // namespace velomat
