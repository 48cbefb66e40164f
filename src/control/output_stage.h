// The output stage: directions and speeds become the output word and, for the ROBO Interface, the
// speed word; one exchange; the returned inputs feed the next cycle's end switches.
#pragma once

#include <cstdint>

#include "control/control_cycle.h"
#include "control/run_link.h"

namespace velomat {

inline constexpr double kRoboLevels = 7;  // ROBO speed levels 0..7

// Fills shapedSpeed and directionBits of every output from speed and direction. Intelligent Interface:
// the PWM ratio value (SoftPwm::ratio); ROBO Interface: the speed on the scale 0..7. Keeps no state.
// Runs in the control loop.
void shapeSpeeds(RunState& run, const SharedState& state);

struct OutputWords {
  uint32_t outputWord = 0;
  uint32_t speedWord = 0;
};

// The words of one exchange. Intelligent Interface: the direction bits of the outputs that are on in
// this cycle (bit o of `onOutputs`), no speed word. ROBO Interface: every direction bit, and each
// output's level in four bits. Runs in the control loop.
OutputWords composeWords(const RunState& run, bool intelligentInterface, int outputs, uint32_t onOutputs);

// Moves the PWM on by a cycle, composes the words, makes the one exchange, rebuilds inputOn and returns
// the input word. When a stop was requested during the exchange it returns 0 and leaves inputOn as it
// was. Runs in the control loop.
uint32_t driveOutputs(RunState& run, const SharedState& state, RunLink& link);

}  // namespace velomat
