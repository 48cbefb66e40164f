#include "control/output_stage.h"

#include <algorithm>
#include <cmath>

namespace velomat {

double SoftPwm::ratio(double speedPercent) {
  const double c = std::clamp(speedPercent * 0.01, kPwmShareMin, kPwmShareMax);
  const double v = c <= 0.5 ? 1 / c - 2 : 2 - 1 / (1 - c);
  // |v| * 100000 reaches 9,999,800,000: more than 32 bits.
  return static_cast<double>(static_cast<int64_t>(v * kPwmResolution)) * (1 / kPwmResolution);
}

uint32_t SoftPwm::step(const std::array<double, kMaxOutputs>& ratios, int outputs) {
  uint32_t on = 0;
  for (int o = 0; o < outputs; ++o) {
    const double v = ratios[static_cast<size_t>(o)];
    const double a = std::fabs(v);
    double& accumulator = pwmAccumulator[static_cast<size_t>(o)];
    // At a steady speed the accumulator stays within -2 .. a. A speed held near 0 % or 100 % brings
    // a pulse cycle only once in 100000 cycles, so without this bound the accumulator would wind up
    // for as long as the speed is held and keep the old speed going for as long again. Within the
    // bound every pattern is unchanged and a new speed acts within one pulse period.
    accumulator = std::clamp(accumulator, -2.0, a);
    // The accumulator rises by 1 a cycle and falls by a + 2 in a pulse cycle, so pulse cycles come
    // at a rate of 1 / (a + 2): the output is on in pulse cycles for shares up to one half, and in
    // all other cycles above.
    const bool pulse = a - 1 < accumulator;
    if (pulse) accumulator -= a + 2;
    accumulator += 1;
    if (pulse == (v >= 0)) on |= 1u << o;
  }
  return on;
}

void shapeSpeeds(RunState& run, const SharedState& state) {
  const bool intelligentInterface = state.connection.isIntelligentInterface();
  const int outputs = outputCount(state.connection.motorCount);
  for (int o = 0; o < outputs; ++o) {
    const auto out = static_cast<size_t>(o);
    run.shapedSpeed[out] = intelligentInterface ? SoftPwm::ratio(run.speed[out])
                                                : run.speed[out] * 0.01 * kRoboLevels;
    run.directionBits[out] = static_cast<uint32_t>(run.direction[out]) << (2 * o);  // direction * 4^o
  }
}

OutputWords composeWords(const RunState& run, bool intelligentInterface, int outputs, uint32_t onOutputs) {
  OutputWords words;
  for (int o = 0; o < outputs; ++o) {
    const auto out = static_cast<size_t>(o);
    if ((onOutputs >> o) & 1u) words.outputWord |= run.directionBits[out];
    if (intelligentInterface) continue;
    // A level above 7 is sent as 0 (checked before the cut, so no value can overflow it).
    const double a = std::fabs(run.shapedSpeed[out]);
    const uint32_t level = a < kRoboLevels + 1 ? static_cast<uint32_t>(a) : 0;
    words.speedWord += level << (4 * o);
  }
  return words;
}

uint32_t driveOutputs(RunState& run, const SharedState& state, RunLink& link) {
  const bool intelligentInterface = state.connection.isIntelligentInterface();
  const int outputs = outputCount(state.connection.motorCount);
  const uint32_t on = intelligentInterface ? run.pwm.step(run.shapedSpeed, outputs) : 0xFFu;
  const OutputWords words = composeWords(run, intelligentInterface, outputs, on);
  run.outputWord = words.outputWord;
  run.speedWord = words.speedWord;
  const uint32_t inputWord = link.exchangeIo(words.outputWord, words.speedWord);
  if (state.stopRequested.load(std::memory_order_relaxed)) return 0;

  const int inputs = inputCount(state.connection.motorCount);
  for (int k = 0; k < inputs; ++k) run.inputOn[static_cast<size_t>(k)] = (inputWord >> k) & 1u;
  return inputWord;
}

}  // namespace velomat
