#include "control/output_stage.h"

#include <algorithm>
#include <cmath>

namespace velomat {

void shapeSpeeds(RunState& run, const SharedState& state) {
  const bool intelligentInterface = state.connection.isIntelligentInterface();
  const int outputs = outputCount(state.connection.motorCount);
  for (int o = 0; o < outputs; ++o) {
    const auto out = static_cast<size_t>(o);
    const double x = run.speed[out] * 0.01;
    if (intelligentInterface) {
      double c = x;
      if (c > kPwmShareMax) c = kPwmShareMax;
      if (c < kPwmShareMin) c = kPwmShareMin;
      double v = c <= 0.5 ? 1 / c - 2 : 2 - 1 / (1 - c);
      // |v| * 100000 reaches 9,999,800,000: more than 32 bits.
      v = static_cast<double>(static_cast<int64_t>(v * kPwmResolution)) * (1 / kPwmResolution);
      run.shapedSpeed[out] = v;
    } else {
      run.shapedSpeed[out] = x * kRoboLevels;
    }
    run.directionBits[out] = static_cast<uint32_t>(run.direction[out]) << (2 * o);  // direction * 4^o
  }
}

uint32_t driveOutputs(RunState& run, SharedState& state, RunLink& link) {
  const int outputs = outputCount(state.connection.motorCount);
  uint32_t outputWord = 0;
  uint32_t speedWord = 0;
  if (state.connection.isIntelligentInterface()) {
    for (int o = 0; o < outputs; ++o) {
      const auto out = static_cast<size_t>(o);
      const double v = run.shapedSpeed[out];
      const double a = std::fabs(v);
      double& accumulator = state.io.pwmAccumulator[out];
      // At a steady speed the accumulator stays within -2 .. a. A speed held near 0 % or 100 % brings
      // a pulse cycle only once in 100000 cycles, so without this bound the accumulator would wind up
      // for as long as the speed is held and keep the old speed going for as long again. Within the
      // bound every pattern is unchanged and a new speed acts within one pulse period.
      accumulator = std::clamp(accumulator, -2.0, a);
      // The accumulator rises by 1 a cycle and falls by a + 2 in a pulse cycle, so pulse cycles come
      // at a rate of 1 / (a + 2): the output is on in pulse cycles for shares up to one half, and in
      // all other cycles above.
      bool on;
      if (a - 1 < accumulator) {
        on = v >= 0;
        accumulator -= a + 2;
      } else {
        on = v < 0;
      }
      if (on) outputWord |= run.directionBits[out];
      accumulator += 1;
    }
  } else {
    for (int o = 0; o < outputs; ++o) {
      const auto out = static_cast<size_t>(o);
      outputWord |= run.directionBits[out];
      // A level above 7 is sent as 0 (checked before the cut, so no value can overflow it).
      const double a = std::fabs(run.shapedSpeed[out]);
      const uint32_t level = a < kRoboLevels + 1 ? static_cast<uint32_t>(a) : 0;
      speedWord += level << (4 * o);
    }
  }

  run.outputWord = outputWord;
  run.speedWord = speedWord;
  const uint32_t inputWord = link.exchangeIo(outputWord, speedWord);
  if (state.stopRequested.load(std::memory_order_relaxed)) return 0;

  const int inputs = inputCount(state.connection.motorCount);
  for (int k = 0; k < inputs; ++k) state.io.inputOn[static_cast<size_t>(k)] = (inputWord >> k) & 1u;
  return inputWord;
}

}  // namespace velomat
